#pragma once

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
// the daemon's socket and waits on the event loop for the answer to its first
// word of authentication, which only a turning loop gives.
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

    explicit BusProbe(QObject* parent = nullptr);
    ~BusProbe() override;

    // Asks the bus at address (empty: the standard system bus) at the first
    // socket of it that takes a connection; finished() comes within
    // timeoutMs, and at once (within this call) when no socket is there. A
    // probe under way is given up.
    void start(const QString& address, int timeoutMs);
    bool running() const { return m_fd >= 0; }

signals:
    void finished(tellavo::BusProbe::Result result);

private:
    void ask(int timeoutMs);
    void close();

    int m_fd = -1;
    QSocketNotifier* m_notifier = nullptr;
    QTimer m_timeout;
};

}  // namespace tellavo
