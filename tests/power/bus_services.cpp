#include "bus_services.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QFileInfo>
#include <QTest>

#include <signal.h>
#include <sys/prctl.h>
#include <unistd.h>

namespace tellavo::test {
namespace {

// The system interpreter: the first python3 on PATH may lack dbusmock and gi.
const QString kPython = QStringLiteral("/usr/bin/python3");

// Run in the child between fork and exec: the kernel ends it if we die. It
// gets a process group of its own: a stopped child in the test's group would
// get SIGHUP from the kernel once that group is orphaned (a test run from a
// shell that has gone), and a hung service would end instead of hanging.
void dieWithParent(QProcess& process)
{
    process.setChildProcessModifier([] {
        ::prctl(PR_SET_PDEATHSIG, SIGKILL);
        ::setpgid(0, 0);
    });
}

// Never to one that has ended: pid 0 would signal our own process group.
void sendSignal(const QProcess& process, int sig)
{
    if (process.state() != QProcess::NotRunning)
        ::kill(static_cast<pid_t>(process.processId()), sig);
}

// Until the process has written a whole line; false when it ends or the
// time runs out first.
bool waitForLine(QProcess& process, int timeoutMs)
{
    QDeadlineTimer deadline(timeoutMs);
    while (!process.canReadLine()) {
        if (deadline.hasExpired() || !process.waitForReadyRead(int(deadline.remainingTime())))
            return process.canReadLine();
    }
    return true;
}

void stopProcess(QProcess& process, bool closeInput)
{
    if (process.state() == QProcess::NotRunning)
        return;
    sendSignal(process, SIGCONT);  // a stopped one cannot quit
    if (closeInput) {
        process.closeWriteChannel();
        if (process.waitForFinished(3000))
            return;
    }
    process.terminate();
    if (!process.waitForFinished(3000)) {
        process.kill();
        process.waitForFinished(3000);
    }
}

}  // namespace

QString libDir()
{
    return QStringLiteral(TELLAVO_TEST_LIB_DIR);
}

QString fixturesDir()
{
    return QStringLiteral(TELLAVO_POWER_FIXTURES_DIR);
}

QString fixture(const char* tree)
{
    return fixturesDir() + QLatin1Char('/') + QLatin1String(tree);
}

PrivateBus::PrivateBus(const QString& dir) : m_socket(dir + QStringLiteral("/system_bus_socket"))
{
    dieWithParent(m_process);
}

PrivateBus::~PrivateBus()
{
    stop();
}

bool PrivateBus::start()
{
    m_process.start(
        QStringLiteral("dbus-daemon"),
        {QStringLiteral("--config-file=") + libDir() + QStringLiteral("/private_bus.conf"),
         QStringLiteral("--address=") + address(), QStringLiteral("--nofork"),
         QStringLiteral("--nopidfile"), QStringLiteral("--nosyslog"),
         QStringLiteral("--print-address=1")});
    // It prints its address once it listens.
    if (!waitForLine(m_process, 10000)) {
        m_error = QStringLiteral("dbus-daemon did not start: ") +
                  QString::fromLocal8Bit(m_process.readAllStandardError());
        stop();
        return false;
    }
    m_process.readAll();
    return true;
}

void PrivateBus::pause()
{
    sendSignal(m_process, SIGSTOP);
}

void PrivateBus::resume()
{
    sendSignal(m_process, SIGCONT);
}

void PrivateBus::kill()
{
    m_process.kill();
    m_process.waitForFinished(3000);
}

void PrivateBus::stop()
{
    stopProcess(m_process, false);
}

ServiceDriver::ServiceDriver(const QString& script, const QString& logFile)
    : m_script(libDir() + QLatin1Char('/') + script), m_logFile(logFile)
{
    dieWithParent(m_process);
    m_process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
}

ServiceDriver::~ServiceDriver()
{
    stop();
}

bool ServiceDriver::start(const QStringList& arguments)
{
    stop();
    m_unanswered = 0;
    // What the driver makes (umockdev's testbed, upowerd's history) goes in
    // the test's own folder, gone with it even when the driver was killed.
    // The environment is taken now: the test sets the bus's address late.
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("TMPDIR"), QFileInfo(m_logFile).absolutePath());
    m_process.setProcessEnvironment(env);
    m_process.start(kPython, QStringList{m_script, QStringLiteral("--log"), m_logFile} + arguments);
    // upowerd takes a moment to load its devices; dbusmock is quicker.
    if (!waitForAnswer(20000))
        return false;
    if (m_answer != QLatin1String("ready")) {
        m_answer = QStringLiteral("not ready: ") + m_answer;
        return false;
    }
    return true;
}

bool ServiceDriver::send(const QString& command)
{
    post(command);
    return answered();
}

void ServiceDriver::post(const QString& command)
{
    m_process.write(command.toUtf8() + '\n');
    ++m_unanswered;
}

bool ServiceDriver::answered()
{
    bool ok = true;
    for (; ok && m_unanswered > 0; --m_unanswered)
        ok = waitForAnswer(10000) && m_answer == QLatin1String("ok");
    m_unanswered = 0;
    return ok;
}

bool ServiceDriver::waitForAnswer(int timeoutMs)
{
    if (!waitForLine(m_process, timeoutMs)) {
        m_answer =
            isRunning() ? QStringLiteral("no answer") : QStringLiteral("the driver has ended");
        return false;
    }
    m_answer = QString::fromUtf8(m_process.readLine()).trimmed();
    return true;
}

void ServiceDriver::pause()
{
    sendSignal(m_process, SIGSTOP);
}

void ServiceDriver::resume()
{
    sendSignal(m_process, SIGCONT);
}

void ServiceDriver::kill()
{
    m_process.kill();
    m_process.waitForFinished(3000);
}

void ServiceDriver::stop()
{
    stopProcess(m_process, true);
}

int ServiceDriver::calls(const QString& method, const QString& path) const
{
    QFile log(m_logFile);
    if (!log.open(QIODevice::ReadOnly))
        return 0;
    int count = 0;
    const QByteArray m = method.toUtf8();
    const QByteArray p = path.toUtf8();
    // "<time> <method> <path> <interface>"; a template's own method is
    // logged as "<time> <method> <arguments>".
    while (!log.atEnd()) {
        const QList<QByteArray> words = log.readLine().trimmed().split(' ');
        if (words.size() >= 2 && words[1] == m &&
            (p.isEmpty() || (words.size() >= 3 && words[2] == p)))
            ++count;
    }
    return count;
}

UpowerdOnBus::UpowerdOnBus()
    : m_bus(m_tmp.path()),
      m_upowerd(QStringLiteral("upowerd_umockdev.py"),
                m_tmp.filePath(QStringLiteral("upowerd.log")))
{
}

void UpowerdOnBus::start(const QStringList& more)
{
    QVERIFY2(QFileInfo(QStringLiteral("/usr/libexec/upowerd")).isExecutable(),
             "needs the upower package (scripts/deps.sh test)");
    // One bus for the whole run (libdbus reads its address once), a new
    // upowerd at each start.
    if (!m_bus.isRunning())
        QVERIFY2(m_bus.start(), qPrintable(m_bus.error()));
    qputenv("DBUS_SYSTEM_BUS_ADDRESS", m_bus.address().toUtf8());
    m_upowerd.stop();
    QVERIFY2(m_upowerd.start(QStringList{"--percentage", "57", "--status", "Discharging",
                                         "--ac-online", "0", "--sysfs-link", supplyFolder()} +
                             more),
             qPrintable(m_upowerd.answer()));
}

MockOnBus::MockOnBus()
    : m_bus(m_tmp.path()),
      m_mock(QStringLiteral("upower_mock.py"), m_tmp.filePath(QStringLiteral("mock.log")))
{
    qputenv("DBUS_SYSTEM_BUS_ADDRESS", m_bus.address().toUtf8());
}

bool MockOnBus::startBus()
{
    const bool ok = m_tmp.isValid() && m_bus.start();
    if (!ok)
        qWarning("%s", qPrintable(m_tmp.isValid() ? m_bus.error() : m_tmp.errorString()));
    return ok;
}

bool MockOnBus::startMock(const QStringList& arguments)
{
    if (m_mock.start(arguments))
        return true;
    qWarning("upower_mock.py: %s", qPrintable(m_mock.answer()));
    return false;
}

}  // namespace tellavo::test
