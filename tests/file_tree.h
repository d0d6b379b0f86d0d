#pragma once
// Files written for a test: a settings file, or a power supply tree given as
// path under its root -> contents. Missing folders are made on the way.
#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMap>
#include <QString>

namespace tellavo::test {

using Files = QMap<QString, QByteArray>;

inline bool writeFile(const QString& path, const QByteArray& contents)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) &&
           file.write(contents) == contents.size();
}

inline bool writeTree(const QString& root, const Files& files)
{
    for (auto it = files.begin(); it != files.end(); ++it)
        if (!writeFile(root + QLatin1Char('/') + it.key(), it.value()))
            return false;
    return true;
}

}  // namespace tellavo::test
