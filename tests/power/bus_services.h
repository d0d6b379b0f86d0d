#pragma once

// The processes the D-Bus power tests run around the code under test: a
// private system bus (dbus-daemon) and a UPower on it, driven through the
// drivers in tests/lib (upower_mock.py: python3-dbusmock's upower template;
// upowerd_umockdev.py: the real upowerd over a fake kernel battery).
//
// Every process is stopped by its PID when its object goes (and by stop()),
// and gets SIGKILL from the kernel if the test process dies first, so a
// crashed or failed test leaves nothing running.

#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

namespace tellavo::test {

// The folder of the shared helpers (tests/lib) and of the sysfs fixtures.
QString libDir();
QString fixturesDir();
// One of the sysfs fixture trees, by name.
QString fixture(const char* tree);

// UPower's two objects, as the mock's call log names them.
inline const QString kRootPath = QStringLiteral("/org/freedesktop/UPower");
inline const QString kDisplayPath = QStringLiteral("/org/freedesktop/UPower/devices/DisplayDevice");

// A dbus-daemon on unix:path=<dir>/system_bus_socket, with the config from
// tests/lib. The same address serves again after a restart (libdbus reads
// DBUS_SYSTEM_BUS_ADDRESS once per process).
class PrivateBus {
public:
    explicit PrivateBus(const QString& dir);
    ~PrivateBus();
    PrivateBus(const PrivateBus&) = delete;
    PrivateBus& operator=(const PrivateBus&) = delete;

    // Starts the daemon and waits until it listens; false with the reason in
    // error() when it does not come up.
    bool start();
    void pause();   // SIGSTOP: the bus hangs with its socket still there
    void resume();  // SIGCONT
    // SIGKILL: the bus vanishes as in a crash, without a goodbye.
    void kill();
    void stop();

    bool isRunning() const { return m_process.state() != QProcess::NotRunning; }
    QString address() const { return QStringLiteral("unix:path=") + m_socket; }
    QString error() const { return m_error; }

private:
    QProcess m_process;
    QString m_socket;
    QString m_error;
};

// One of the drivers in tests/lib, run with /usr/bin/python3: it prints
// "ready" once its service owns its name and answers each command line with
// "ok" or "error <why>" once the change is on the bus.
class ServiceDriver {
public:
    // script: a file in tests/lib. Its --log goes to logFile.
    ServiceDriver(const QString& script, const QString& logFile);
    ~ServiceDriver();
    ServiceDriver(const ServiceDriver&) = delete;
    ServiceDriver& operator=(const ServiceDriver&) = delete;

    // Starts the driver with these arguments and waits for "ready".
    bool start(const QStringList& arguments = {});
    // Sends one command and waits for its answer; true for "ok".
    bool send(const QString& command);
    // Sends one command without waiting; answered() waits for the answers to
    // all such commands, true if each was "ok". The test's event loop goes on
    // meanwhile, as the code under test needs it to.
    void post(const QString& command);
    bool answered();
    // The last answer, or why there was none.
    QString answer() const { return m_answer; }

    void pause();   // SIGSTOP: the service hangs with its name still owned
    void resume();  // SIGCONT
    void kill();    // SIGKILL: the service vanishes at once
    void stop();    // end of stdin, then SIGTERM, then SIGKILL

    bool isRunning() const { return m_process.state() != QProcess::NotRunning; }
    qint64 pid() const { return m_process.processId(); }

    // How many calls of a method (Get, GetAll, ...) on an object path (any,
    // when empty) the service has logged so far (upower_mock.py logs every
    // call it gets).
    int calls(const QString& method, const QString& path) const;

private:
    bool waitForAnswer(int timeoutMs);

    QProcess m_process;
    QString m_script;
    QString m_logFile;
    QString m_answer;
    int m_unanswered = 0;
};

// The real upowerd on a private bus of its own, over a fake battery (BAT0 at
// 57 %, discharging, the charger out), with DBUS_SYSTEM_BUS_ADDRESS pointing
// at the bus. start() checks each step with QVERIFY2: call it from the test's
// init(), so that a step that fails fails the test before it runs.
class UpowerdOnBus {
public:
    UpowerdOnBus();
    // On battery at 57 %, then upowerd_umockdev.py's further arguments; a
    // second start ends the first upowerd and keeps the bus.
    void start(const QStringList& more = {});
    // The fake kernel's /sys/class/power_supply, as a reader outside umockdev
    // sees it.
    QString supplyFolder() const { return m_tmp.filePath(QStringLiteral("power_supply")); }

    ServiceDriver& upowerd() { return m_upowerd; }
    // The test's own folder, which holds the bus socket and upowerd's log.
    QString dir() const { return m_tmp.path(); }

private:
    QTemporaryDir m_tmp;
    PrivateBus m_bus;
    ServiceDriver m_upowerd;
};

// python3-dbusmock's UPower (upower_mock.py) on a private bus, in a folder of
// its own. DBUS_SYSTEM_BUS_ADDRESS names the bus from construction on, before
// the code under test connects: libdbus reads it once per process, so one
// object serves the whole run and its bus may go and come back at the same
// address. Neither process starts by itself; each start logs why it failed.
class MockOnBus {
public:
    MockOnBus();

    bool startBus();
    // Starts the mock with upower_mock.py's arguments (on battery at 57 % when
    // none) and waits until it owns its name; any mock before it is stopped.
    bool startMock(const QStringList& arguments = {});

    PrivateBus& bus() { return m_bus; }
    ServiceDriver& mock() { return m_mock; }
    // A file in the fixture's folder: the bus socket and mock.log are there.
    QString filePath(const QString& name) const { return m_tmp.filePath(name); }

private:
    QTemporaryDir m_tmp;
    PrivateBus m_bus;
    ServiceDriver m_mock;
};

}  // namespace tellavo::test
