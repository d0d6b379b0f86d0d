#pragma once
// Shared by the settings hardening tests: their QObject with its figures, a
// settings folder of the test's own, file helpers that work on raw bytes and
// modes, and the driver (the program's start-up and exit path in a child
// process) with a watchdog, so that a hang or a crash is a failed row and
// never a stuck or dead test.
#include "../figures.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRandomGenerator>
#include <QString>
#include <QTemporaryDir>

#include <sys/stat.h>
#include <sys/time.h>
#include <unistd.h>

#include <optional>

namespace settings_hardening {

constexpr uid_t kNobody = 65534;
constexpr gid_t kNogroup = 65534;

inline bool isRoot()
{
    return geteuid() == 0;
}

// A settings home (what XDG_CONFIG_HOME points at) that an unprivileged
// child can walk into: QTemporaryDir makes its folder 0700.
struct Home {
    QTemporaryDir dir;
    QString base;    // XDG_CONFIG_HOME
    QString folder;  // <base>/Ambrovia
    QString path;    // <base>/Ambrovia/Ambrovia.ini

    explicit Home(const QString& under = QString())
        : dir(under.isEmpty() ? QDir::tempPath() + QStringLiteral("/tellavo-hard-XXXXXX")
                              : under + QStringLiteral("/home-XXXXXX"))
    {
        base = dir.path() + QStringLiteral("/config");
        folder = base + QStringLiteral("/Ambrovia");
        path = folder + QStringLiteral("/Ambrovia.ini");
        QDir().mkpath(base);
        ::chmod(QFile::encodeName(dir.path()).constData(), 0755);
        ::chmod(QFile::encodeName(base).constData(), 0755);
    }
    // Gives the whole tree back to root with modes it can remove.
    ~Home() { restoreModes(dir.path()); }

    static void restoreModes(const QString& top)
    {
        ::chmod(QFile::encodeName(top).constData(), 0755);
        QDir d(top);
        const auto entries =
            d.entryInfoList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System);
        for (const QFileInfo& e : entries) {
            if (e.isDir() && !e.isSymLink())
                restoreModes(e.filePath());
            else if (!e.isSymLink())
                ::chmod(QFile::encodeName(e.filePath()).constData(), 0644);
        }
    }
};

inline bool writeBytes(const QString& path, const QByteArray& data)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile f(path);
    return f.open(QIODevice::WriteOnly | QIODevice::Truncate) && f.write(data) == data.size();
}

// The file's bytes, or nothing when it cannot be read as a regular file.
inline std::optional<QByteArray> readBytes(const QString& path)
{
    if (!QFileInfo(path).isFile())
        return std::nullopt;
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return std::nullopt;
    return f.readAll();
}

// The bytes, or a note that stands out in a failed comparison.
inline QByteArray bytesOrNote(const QString& path)
{
    return readBytes(path).value_or(QByteArray("<no readable regular file>"));
}

inline bool setMode(const QString& path, mode_t mode)
{
    return ::chmod(QFile::encodeName(path).constData(), mode) == 0;
}

inline bool giveToNobody(const QString& path)
{
    return !isRoot() || ::lchown(QFile::encodeName(path).constData(), kNobody, kNogroup) == 0;
}

// Sets a file's (or a link's own) modification time `ageSeconds` in the past
// (negative: in the future).
inline bool setAge(const QString& path, int ageSeconds)
{
    struct timeval now;
    gettimeofday(&now, nullptr);
    struct timeval times[2] = {now, now};
    times[0].tv_sec -= ageSeconds;
    times[1].tv_sec -= ageSeconds;
    return ::lutimes(QFile::encodeName(path).constData(), times) == 0;
}

// Seeded, so that a failing row can be rerun with the same bytes.
inline QByteArray garbage(int size, quint32 seed)
{
    QRandomGenerator gen(seed);
    QByteArray out(size, '\0');
    for (char& c : out)
        c = char(gen.bounded(256));
    return out;
}

// The names in a folder, hidden ones included.
inline QStringList listing(const QString& folder)
{
    QStringList names = QDir(folder).entryList(QDir::AllEntries | QDir::NoDotAndDotDot |
                                               QDir::Hidden | QDir::System);
    names.sort();
    return names;
}

struct DriverRun {
    bool finished = false;  // false: it hung and the watchdog killed it
    bool crashed = false;
    int exitCode = -1;
    QJsonObject out;
    QByteArray stdoutBytes;
    QByteArray stderrBytes;

    // Why the run is not a clean, finished process with an answer, or empty.
    QString trouble() const
    {
        if (!finished)
            return QStringLiteral("hung (killed by the watchdog); stderr: ") +
                   QString::fromLocal8Bit(stderrBytes.right(2000));
        if (crashed)
            return QStringLiteral("crashed; stderr: ") +
                   QString::fromLocal8Bit(stderrBytes.right(2000));
        if (out.isEmpty())
            return QStringLiteral("no answer (status %1); stderr: ").arg(exitCode) +
                   QString::fromLocal8Bit(stderrBytes.right(2000));
        return QString();
    }
    QStringList strings(const char* key) const
    {
        QStringList list;
        for (const auto& v : out.value(QLatin1String(key)).toArray())
            list << v.toString();
        return list;
    }
};

// The child's environment: the settings home, the locale, and a runtime
// folder of its own beside the home (Qt makes one under /tmp otherwise), owned
// by whoever the child runs as.
inline QProcessEnvironment driverEnvironment(const QString& configHome, const QString& locale,
                                             bool asNobody)
{
    const QString runtime = QFileInfo(configHome).absolutePath() + QStringLiteral("/runtime");
    QDir().mkpath(runtime);
    ::chmod(QFile::encodeName(runtime).constData(), 0700);
    if (isRoot())
        ::lchown(QFile::encodeName(runtime).constData(), asNobody ? kNobody : 0,
                 asNobody ? kNogroup : 0);
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), configHome);
    env.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtime);
    env.insert(QStringLiteral("QT_QPA_PLATFORM"),
               QStringLiteral("offscreen:configfile=" SETTINGS_SCREEN));
    env.insert(QStringLiteral("LC_ALL"), locale);
    env.insert(QStringLiteral("LANG"), locale);
    return env;
}

// A start that leaves through the exit command, which saves, after setting
// these values (--soglia 42 ...); as the user nobody when asked.
inline QStringList saving(const QStringList& values, bool asNobody = false)
{
    QStringList args = QStringList{QStringLiteral("start"), QStringLiteral("--esci")} + values;
    if (asNobody)
        args << QStringLiteral("--as-nobody");
    return args;
}

inline DriverRun runDriver(const QStringList& args, const QString& configHome,
                           const QString& locale = QStringLiteral("C.UTF-8"),
                           int watchdogMs = 20000)
{
    DriverRun run;
    QProcess p;
    p.setProcessEnvironment(
        driverEnvironment(configHome, locale, args.contains(QStringLiteral("--as-nobody"))));
    p.start(QStringLiteral(SETTINGS_DRIVER), args);
    if (!p.waitForStarted(10000))
        return run;
    run.finished = p.waitForFinished(watchdogMs);
    if (!run.finished) {
        p.kill();
        p.waitForFinished(5000);
    }
    run.crashed = run.finished && p.exitStatus() != QProcess::NormalExit;
    run.exitCode = p.exitCode();
    run.stdoutBytes = p.readAllStandardOutput();
    run.stderrBytes = p.readAllStandardError();
    const QList<QByteArray> lines = run.stdoutBytes.split('\n');
    for (const QByteArray& line : lines) {
        if (line.startsWith('{'))
            run.out = QJsonDocument::fromJson(line).object();
    }
    return run;
}

// The error box text with the settings file's path put in.
inline QString withFile(QString text, const QString& path)
{
    return text.replace(QLatin1String("%FILE%"), path);
}

}  // namespace settings_hardening
