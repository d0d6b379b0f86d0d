#include "bus_probe.h"

#include <QFile>
#include <QSocketNotifier>

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstddef>
#include <cstring>

namespace tellavo {
namespace {

const QString kSystemBus = QStringLiteral("unix:path=/var/run/dbus/system_bus_socket");

// The socket a unix bus address entry names, its path or its abstract name;
// false for any other kind, or escapes in it.
bool unixSocket(const QString& entry, QByteArray& name, bool& abstract)
{
    if (!entry.startsWith(QLatin1String("unix:")) || entry.contains(QLatin1Char('%')))
        return false;
    for (const QString& pair : entry.mid(5).split(QLatin1Char(','))) {
        abstract = pair.startsWith(QLatin1String("abstract="));
        if (abstract)
            name = pair.mid(9).toUtf8();
        else if (pair.startsWith(QLatin1String("path=")))
            name = QFile::encodeName(pair.mid(5));
        else
            continue;
        return !name.isEmpty();
    }
    return false;
}

}  // namespace

BusProbe::BusProbe(QObject* parent) : QObject(parent)
{
    m_timeout.setSingleShot(true);
    m_timeout.callOnTimeout(this, [this] {
        close();
        emit finished(Result::Silent);
    });
}

BusProbe::~BusProbe()
{
    close();
}

void BusProbe::start(const QString& address, int timeoutMs)
{
    close();
    // A client tries the entries in turn and keeps the first that connects.
    for (const QString& entry :
         (address.isEmpty() ? kSystemBus : address).split(QLatin1Char(';'), Qt::SkipEmptyParts)) {
        QByteArray name;
        bool abstract = false;
        if (!unixSocket(entry, name, abstract)) {
            emit finished(Result::Unprobed);
            return;
        }
        // A bus that is not running, the common case, costs this one call.
        if (!abstract && ::access(name.constData(), F_OK) != 0)
            continue;
        sockaddr_un where{};
        where.sun_family = AF_UNIX;
        const int offset = abstract ? 1 : 0;  // an abstract name starts with a NUL
        if (name.size() + offset >= int(sizeof where.sun_path))
            continue;
        std::memcpy(where.sun_path + offset, name.constData(), std::size_t(name.size()));
        const socklen_t length =
            socklen_t(offsetof(sockaddr_un, sun_path) + offset + name.size() + (abstract ? 0 : 1));
        m_fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
        // A daemon that is stopped still has the kernel take the connection
        // into its backlog: connect() comes back at once either way.
        if (m_fd >= 0 && ::connect(m_fd, reinterpret_cast<sockaddr*>(&where), length) == 0) {
            ask(timeoutMs);
            return;
        }
        close();
    }
    emit finished(Result::Absent);
}

void BusProbe::ask(int timeoutMs)
{
    // AUTH with no mechanism asks for the daemon's list of them: its loop
    // answers REJECTED at once, with no credentials or message of ours.
    static const char kAuth[] = "\0AUTH\r\n";
    if (::send(m_fd, kAuth, sizeof kAuth - 1, MSG_NOSIGNAL) != ssize_t(sizeof kAuth - 1)) {
        close();
        emit finished(Result::Answers);  // refused at once: Qt will not wait either
        return;
    }
    m_notifier = new QSocketNotifier(m_fd, QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, [this] {
        char buffer[256];
        if (::recv(m_fd, buffer, sizeof buffer, 0) < 0 && (errno == EAGAIN || errno == EINTR))
            return;
        // Its answer, a close or an error: it answered all the same, and quickly.
        close();
        emit finished(Result::Answers);
    });
    m_timeout.start(timeoutMs);
}

void BusProbe::close()
{
    m_timeout.stop();
    delete m_notifier;
    m_notifier = nullptr;
    if (m_fd >= 0)
        ::close(m_fd);
    m_fd = -1;
}

}  // namespace tellavo
