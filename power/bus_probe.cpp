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

// Hello, as a method call to the bus itself (little endian, serial 1).
QByteArray helloMessage()
{
    QByteArray m;
    const auto pad = [&m](int to) {
        while (m.size() % to)
            m.append('\0');
    };
    const auto u32 = [&m](quint32 v) {
        for (int i = 0; i < 4; ++i)
            m.append(char((v >> (8 * i)) & 0xff));
    };
    m.append("l\x01\x00\x01", 4);  // little endian, method call, no flags, version 1
    u32(0);                        // body length
    u32(1);                        // serial
    u32(0);                        // header fields' length, written below
    const int fieldsStart = m.size();
    const auto field = [&](char code, char type, const char* value) {
        pad(8);
        m.append(code);
        m.append('\x01');
        m.append(type);
        m.append('\0');
        pad(4);
        u32(quint32(std::strlen(value)));
        m.append(value);
        m.append('\0');
    };
    field(1, 'o', "/org/freedesktop/DBus");  // path
    field(6, 's', "org.freedesktop.DBus");   // destination
    field(2, 's', "org.freedesktop.DBus");   // interface
    field(3, 's', "Hello");                  // member
    const quint32 fieldsLength = quint32(m.size() - fieldsStart);
    for (int i = 0; i < 4; ++i)
        m[12 + i] = char((fieldsLength >> (8 * i)) & 0xff);
    pad(8);
    return m;
}

}  // namespace

bool unixBusSocket(const QString& entry, QString& socket, bool& abstract)
{
    if (!entry.startsWith(QLatin1String("unix:")) || entry.contains(QLatin1Char('%')))
        return false;
    for (const QString& pair : entry.mid(5).split(QLatin1Char(','))) {
        for (const bool isAbstract : {false, true}) {
            const QLatin1String key =
                isAbstract ? QLatin1String("abstract=") : QLatin1String("path=");
            if (pair.startsWith(key)) {
                socket = pair.mid(key.size());
                abstract = isAbstract;
            }
        }
    }
    return !socket.isEmpty();
}

BusProbe::~BusProbe()
{
    close();
}

void BusProbe::start(const QString& address, int timeoutMs)
{
    close();
    // The first entry is the one a client tries first.
    const QString entry = (address.isEmpty() ? kSystemBus : address)
                              .split(QLatin1Char(';'), Qt::SkipEmptyParts)
                              .value(0);
    QString path;
    bool abstract = false;
    if (!unixBusSocket(entry, path, abstract)) {
        finish(Result::Unprobed);
        return;
    }
    sockaddr_un where{};
    where.sun_family = AF_UNIX;
    const QByteArray name = abstract ? path.toUtf8() : QFile::encodeName(path);
    const int offset = abstract ? 1 : 0;  // an abstract name starts with a NUL
    if (name.size() + offset >= int(sizeof where.sun_path)) {
        finish(Result::Absent);
        return;
    }
    std::memcpy(where.sun_path + offset, name.constData(), std::size_t(name.size()));
    const socklen_t length =
        socklen_t(offsetof(sockaddr_un, sun_path) + offset + name.size() + (abstract ? 0 : 1));
    m_fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    // A daemon that is stopped still has the kernel take the connection into
    // its backlog: connect() comes back at once either way.
    if (m_fd < 0 || ::connect(m_fd, reinterpret_cast<sockaddr*>(&where), length) != 0) {
        close();
        finish(Result::Absent);
        return;
    }
    // The credentials ride on the socket; the uid is told in hex digits.
    const QByteArray auth =
        QByteArray(1, '\0') + "AUTH EXTERNAL " + QByteArray::number(::getuid()).toHex() + "\r\n";
    if (::send(m_fd, auth.constData(), std::size_t(auth.size()), MSG_NOSIGNAL) != auth.size()) {
        close();
        finish(Result::Answers);  // refused at once: Qt will not wait either
        return;
    }
    m_input.clear();
    m_authenticated = false;
    m_notifier = new QSocketNotifier(m_fd, QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, &BusProbe::onReadable);
    m_timeout.setSingleShot(true);
    m_timeout.callOnTimeout(this, [this] {
        close();
        finish(Result::Silent);
    });
    m_timeout.start(timeoutMs);
}

void BusProbe::onReadable()
{
    char buffer[512];
    const ssize_t got = ::recv(m_fd, buffer, sizeof buffer, 0);
    if (got < 0 && (errno == EAGAIN || errno == EINTR))
        return;
    // Closed, or an error: it answered all the same, and quickly.
    if (got <= 0) {
        close();
        finish(Result::Answers);
        return;
    }
    m_input.append(buffer, int(got));
    if (!m_authenticated) {
        const int end = m_input.indexOf("\r\n");
        if (end < 0)
            return;
        if (!m_input.startsWith("OK ")) {
            close();
            finish(Result::Answers);  // rejected: Qt will be told so at once
            return;
        }
        m_authenticated = true;
        m_input.remove(0, end + 2);
        const QByteArray begin = QByteArray("BEGIN\r\n") + helloMessage();
        if (::send(m_fd, begin.constData(), std::size_t(begin.size()), MSG_NOSIGNAL) !=
            begin.size()) {
            close();
            finish(Result::Answers);
            return;
        }
    }
    // Any message back (the reply to Hello, or an error) is an answer.
    if (m_input.size() >= 16) {
        close();
        finish(Result::Answers);
    }
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

void BusProbe::finish(Result result)
{
    emit finished(result);
}

}  // namespace tellavo
