#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>
#include <QTimer>

class QSocketNotifier;

namespace tellavo {

// Whether a bus daemon answers, asked without ever waiting on it. Qt's own
// connection to a bus waits on the calling thread for the daemon to take it
// (and for every name it is told to watch), and a daemon that accepts the
// connection and then never answers (stopped, or wedged) would hold the
// program there; this asks first, the way any client starts: it connects to
// the daemon's socket, authenticates and says Hello, all on the event loop.
class BusProbe : public QObject {
    Q_OBJECT
public:
    enum class Result {
        Answers,   // it answered (or refused at once): connecting will not hang
        Silent,    // no answer within the time given
        Absent,    // nothing listens where the address says
        Unprobed,  // an address of a kind this cannot ask (tcp, escapes)
    };
    Q_ENUM(Result)

    using QObject::QObject;
    ~BusProbe() override;

    // Asks the bus at address (empty: the standard system bus); finished()
    // comes within timeoutMs, at once for an address that cannot answer.
    // A probe under way is given up.
    void start(const QString& address, int timeoutMs);
    bool running() const { return m_fd >= 0; }

signals:
    void finished(tellavo::BusProbe::Result result);

private:
    void onReadable();
    void finish(Result result);
    void close();

    int m_fd = -1;
    QSocketNotifier* m_notifier = nullptr;
    QTimer m_timeout;
    QByteArray m_input;
    bool m_authenticated = false;
};

// The socket a unix bus address names: its path, or its abstract name
// (abstract true); false for any other kind, or escapes in it.
bool unixBusSocket(const QString& entry, QString& socket, bool& abstract);

}  // namespace tellavo
