#include "settings_store.h"

#include "ini_format.h"

#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QLockFile>
#include <QSettings>
#include <QSysInfo>
#include <QThread>

#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace tellavo {

namespace {
const QString kApplication = QStringLiteral("Ambrovia");
const QString kSection = QStringLiteral("Generale");

// A save holds QSettings' lock for milliseconds, and QSaveFile makes two
// saves at once harmless (the last one wins, whole): a lock without a live
// owner older than this is left by a save that was killed.
constexpr int kStaleLockMs = 1000;

QString sectionKey(const QString& key)
{
    return kSection + QLatin1Char('/') + key;
}

// Where QSettings keeps the store, asked of it without opening the store
// itself: QSettings reads its file as it is made, and a file that is not a
// plain one (a fifo) would block it there for good.
QString locateFile()
{
    const QSettings probe(ini::format(), QSettings::UserScope, kApplication,
                          QStringLiteral(".tellavo-where"));
    return QFileInfo(probe.fileName()).dir().filePath(kApplication + QStringLiteral(".ini"));
}

// Why the store's file cannot be read, in Italian; empty when it can, or when
// it is not there yet (a first run).
QString problemWith(const QString& path)
{
    struct stat st {};
    if (::stat(QFile::encodeName(path).constData(), &st) != 0) {
        switch (errno) {
            case ENOENT:
            case ENOTDIR:  // a file where the folder goes: nothing stored, saving will say
                return QString();
            case EACCES:
                return QStringLiteral(
                    "La cartella delle impostazioni non si può aprire (permessi mancanti).");
            default:
                return QStringLiteral("Il file delle impostazioni non si può leggere (%1).")
                    .arg(QString::fromLocal8Bit(strerror(errno)));
        }
    }
    if (S_ISDIR(st.st_mode))
        return QStringLiteral("Al posto del file delle impostazioni c'è una cartella.");
    if (!S_ISREG(st.st_mode))
        return QStringLiteral(
            "Al posto del file delle impostazioni c'è un file speciale, non un file normale.");
    if (::access(QFile::encodeName(path).constData(), R_OK) != 0)
        return QStringLiteral("Il file delle impostazioni non si può leggere.");
    return QString();
}

bool isRunning(qint64 pid)
{
    return pid > 0 && (::kill(pid_t(pid), 0) == 0 || errno == EPERM);
}

}  // namespace

SettingsStore::SettingsStore() : m_fileName(locateFile())
{
    open();
}

void SettingsStore::open()
{
    m_problem = problemWith(m_fileName);
    if (!m_problem.isEmpty()) {
        m_settings.reset();
        return;
    }
    m_settings = std::make_unique<QSettings>(ini::format(), QSettings::UserScope, kApplication,
                                             kApplication);
    // Keys missing from the user's file must read as absent, not come from /etc/xdg.
    m_settings->setFallbacksEnabled(false);
}

SettingsStore::~SettingsStore() = default;

bool SettingsStore::isReadable(QString& reason) const
{
    if (!m_problem.isEmpty()) {
        reason = m_problem;
        return false;
    }
    if (m_settings->status() == QSettings::AccessError) {
        reason = QStringLiteral("Il file delle impostazioni non si può leggere.");
        return false;
    }
    return true;
}

QString SettingsStore::read(const QString& key, const QString& defaultValue) const
{
    if (!m_settings)
        return defaultValue;
    const QVariant value = m_settings->value(sectionKey(key));
    if (!value.isValid())
        return defaultValue;
    return value.toString();
}

bool SettingsStore::write(const QList<QPair<QString, QString>>& entries, QString& reason)
{
    // QSettings keeps an error status for good: after a failed save, a fresh
    // object is the only way to learn whether the next one worked.
    if (!m_settings || m_settings->status() != QSettings::NoError)
        open();
    if (!m_settings) {
        reason = m_problem;
        return false;
    }
    if (!clearLock(reason))
        return false;
    for (const auto& entry : entries)
        m_settings->setValue(sectionKey(entry.first), entry.second);
    m_settings->sync();
    switch (m_settings->status()) {
        case QSettings::NoError:
            return true;
        case QSettings::AccessError:
            reason =
                QStringLiteral("Il file non si può scrivere (permessi mancanti o disco pieno).");
            return false;
        case QSettings::FormatError:
            reason = QStringLiteral("Il file delle impostazioni non è valido.");
            return false;
    }
    return false;
}

// QSettings waits for its lock file with no time limit, and removes a stale
// one only when it may open it and it names a process gone, or after 30 s:
// a lock a killed save left behind (empty, garbage, not ours to open, a
// folder, a broken link) would hang the save for 30 s or for good. Such a
// lock is cleared here first; one that a live save holds is left to it.
bool SettingsStore::clearLock(QString& reason)
{
    const QString lockPath = m_fileName + QStringLiteral(".lock");
    const QByteArray path = QFile::encodeName(lockPath);
    for (int attempt = 0;; ++attempt) {
        struct stat st {};
        if (::lstat(path.constData(), &st) != 0)
            return true;  // no lock: QSettings takes it
        if (S_ISREG(st.st_mode)) {
            qint64 pid = 0;
            QString host;
            QString application;
            const bool named = QLockFile(lockPath).getLockInfo(&pid, &host, &application);
            const bool here = host.isEmpty() || host == QSysInfo::machineHostName();
            if (named && here && isRunning(pid))
                return true;  // a live save: it lets go in a moment
            // A save writes its lock's content as it makes it: give one that
            // is empty or garbage that moment before calling it left behind.
            const QFileInfo info(lockPath);
            const qint64 age = qAbs(info.lastModified().msecsTo(QDateTime::currentDateTime()));
            if (!(named && here) && age < kStaleLockMs && attempt == 0) {
                QThread::msleep(kStaleLockMs - age);
                continue;
            }
        }
        const int removed =
            S_ISDIR(st.st_mode) ? ::rmdir(path.constData()) : ::unlink(path.constData());
        if (removed == 0 || errno == ENOENT) {
            // And what a killed remover of a stale lock left (QLockFile's).
            const QString rmlock = lockPath + QStringLiteral(".rmlock");
            const QFileInfo left(rmlock);
            if (left.exists() &&
                qAbs(left.lastModified().msecsTo(QDateTime::currentDateTime())) >= kStaleLockMs)
                QFile::remove(rmlock);
            return true;
        }
        reason = QStringLiteral("Il file di blocco %1 non si può togliere.").arg(lockPath);
        return false;
    }
}

}  // namespace tellavo
