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

// Rewritten in place, as the kernel rewrites a value, and never emptied first:
// ext4 writes a file emptied and written again out to disk at its close,
// milliseconds a write.
inline bool writeFile(const QString& path, const QByteArray& contents)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    return file.open(QIODevice::ReadWrite) && file.write(contents) == contents.size() &&
           file.resize(contents.size());
}

inline bool writeTree(const QString& root, const Files& files)
{
    for (auto it = files.begin(); it != files.end(); ++it)
        if (!writeFile(root + QLatin1Char('/') + it.key(), it.value()))
            return false;
    return true;
}

// A supply under root (or the whole tree: ".") registered anew, as the kernel
// changes a supply's files: written beside the tree, then moved in whole in
// place of the old one, a new folder that a listing tells apart.
inline bool putAnew(const QString& root, const QString& name, const Files& files)
{
    const QString aside = root + QStringLiteral(".anew");
    const bool whole = name == QLatin1String(".");
    const QString path = whole ? root : root + QLatin1Char('/') + name;
    return writeTree(aside, files) && QDir(path).removeRecursively() &&
           QFile::rename(whole ? aside : aside + QLatin1Char('/') + name, path);
}

}  // namespace tellavo::test
