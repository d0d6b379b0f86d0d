#pragma once
// Files written for a test: a settings file, or a power supply tree given as
// path under its root -> contents. Missing folders are made on the way.
#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMap>
#include <QString>

#include <cstdio>

namespace tellavo::test {

using Files = QMap<QString, QByteArray>;

inline bool writeFile(const QString& path, const QByteArray& contents)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) &&
           file.write(contents) == contents.size();
}

// Written beside its place, then renamed there: a reader sees the old
// contents or the new, never a part (the tree's own ".aside" is the draft).
inline bool replaceFile(const QString& root, const QString& rel, const QByteArray& contents)
{
    const QString aside = root + QStringLiteral("/.aside");
    return writeFile(aside, contents) &&
           ::rename(QFile::encodeName(aside).constData(),
                    QFile::encodeName(root + '/' + rel).constData()) == 0;
}

inline bool writeTree(const QString& root, const Files& files)
{
    for (auto it = files.begin(); it != files.end(); ++it)
        if (!writeFile(root + QLatin1Char('/') + it.key(), it.value()))
            return false;
    return true;
}

}  // namespace tellavo::test
