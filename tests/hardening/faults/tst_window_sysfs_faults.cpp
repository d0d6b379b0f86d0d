// The whole battery window over the power status the program reads
// (SystemPowerStatus) with no system bus (ctest points DBUS_SYSTEM_BUS_ADDRESS
// at nothing), so every reading comes from a power supply tree the test
// builds and spoils: files that vanish while the window lists and reads them,
// FIFOs and devices where values belong, a 100 MB file, garbage bytes.
//
// The threshold is 50. Each bad file stands for a value that, read leniently,
// would give a different label or a different warning than passing it over
// does; the label and the warning boxes show which happened.
#include "figures.h"
#include "file_tree.h"
#include "system_power_status.h"
#include "window_harness.h"

#include <QDir>
#include <QFile>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <thread>

using namespace tellavo;
using namespace tellavo::test;

namespace {

constexpr int kSoglia = 50;

// On battery (a mains charger offline, the battery discharging) at 40 %, by
// capacity and by energy alike: a capacity passed over still reads 40.
Files laptop()
{
    return {{"AC/type", "Mains\n"},
            {"AC/online", "0\n"},
            {"BAT0/type", "Battery\n"},
            {"BAT0/present", "1\n"},
            {"BAT0/status", "Discharging\n"},
            {"BAT0/capacity", "40\n"},
            {"BAT0/energy_full", "100000000\n"},
            {"BAT0/energy_now", "40000000\n"}};
}

}  // namespace

class TestWindowSysfsFaults : public CountedTest {
    Q_OBJECT
private slots:
    void initTestCase();

    void badFiles_data();
    void badFiles();
    void badRoot_data();
    void badRoot();
    void filesVanishWhileRead();
};

void TestWindowSysfsFaults::initTestCase()
{
    const QByteArray address = qgetenv("DBUS_SYSTEM_BUS_ADDRESS");
    QVERIFY2(address.startsWith("unix:path=") && !QFile::exists(address.mid(10)),
             "run by ctest, with DBUS_SYSTEM_BUS_ADDRESS pointing nowhere");
}

// kind: "bytes" (the file holds `contents`), "fifo" (a FIFO; with contents,
// the test holds it open and has written them into it), "link" (a symbolic
// link to `contents`), "sparse" (`contents`, then a hole up to 100 MB),
// "gone" (no such file).
void TestWindowSysfsFaults::badFiles_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QByteArray>("contents");
    QTest::addColumn<QStringList>("remove");
    QTest::addColumn<QString>("label");
    QTest::addColumn<int>("boxes");

    const auto row = [](const char* tag, const char* file, const char* kind,
                        const QByteArray& contents, const QString& label, int boxes,
                        const QStringList& remove = {}) {
        QTest::newRow(tag) << QString::fromLatin1(file) << QString::fromLatin1(kind) << contents
                           << remove << label << boxes;
    };
    const QString forty = QStringLiteral(" 40%");
    const QString bang = QStringLiteral("!");

    // A capacity that would read 42 or 57 if taken; passed over, energy says 40.
    row("capacity a FIFO holding 42", "BAT0/capacity", "fifo", "42\n", forty, 1);
    row("capacity a FIFO nobody writes", "BAT0/capacity", "fifo", "", forty, 1);
    row("capacity /dev/zero", "BAT0/capacity", "link", "/dev/zero", forty, 1);
    row("capacity /dev/urandom", "BAT0/capacity", "link", "/dev/urandom", forty, 1);
    row("capacity /dev/null", "BAT0/capacity", "link", "/dev/null", forty, 1);
    row("capacity 42 and a 100 MB hole", "BAT0/capacity", "sparse", "42\n", forty, 1);
    row("capacity 42 and 100 MB of line ends", "BAT0/capacity", "bytes",
        "42" + QByteArray(100 << 20, '\n'), forty, 1);
    row("capacity 42 in UTF-16", "BAT0/capacity", "bytes",
        QByteArray("\xff\xfe\x34\x00\x32\x00", 6), forty, 1);
    row("capacity in Arabic-Indic digits", "BAT0/capacity", "bytes", "\xd9\xa4\xd9\xa2\n", forty,
        1);
    row("capacity in fullwidth digits", "BAT0/capacity", "bytes", "\xef\xbc\x94\xef\xbc\x92\n",
        forty, 1);
    row("capacity with a carriage return", "BAT0/capacity", "bytes", "42\r\n", forty, 1);
    row("capacity with a plus sign", "BAT0/capacity", "bytes", "+42\n", forty, 1);
    row("capacity in hexadecimal", "BAT0/capacity", "bytes", "0x2a\n", forty, 1);
    row("capacity with an exponent", "BAT0/capacity", "bytes", "4.2e1\n", forty, 1);
    row("capacity after a terminal escape", "BAT0/capacity", "bytes", "\x1b[31m42\n", forty, 1);
    row("capacity 63 bytes of noise", "BAT0/capacity", "bytes",
        QByteArray("\x01\x80\xfe\x7f\x00\x35\x37", 7).repeated(9), forty, 1);

    // Energy that cannot be read and no capacity: no reading at all (taken,
    // the FIFO's figure would give 40 %).
    row("energy_now /dev/zero, no capacity", "BAT0/energy_now", "link", "/dev/zero", bang, 0,
        {"BAT0/capacity"});
    row("energy_full a FIFO holding its value, no capacity", "BAT0/energy_full", "fifo",
        "100000000\n", bang, 0, {"BAT0/capacity"});

    // The line status: a charger's online that would read 1 (mains, no
    // warning) if taken; passed over, the discharging battery says battery.
    row("online a FIFO holding 1", "AC/online", "fifo", "1\n", forty, 1);
    row("online 1 and garbage", "AC/online", "bytes", "1\xff\n", forty, 1);
    row("online 1 and a 100 MB hole", "AC/online", "sparse", "1\n", forty, 1);
    // No charger listed: the battery's status decides, and one that would
    // read "Discharging" if taken says nothing when passed over (unknown
    // counts as mains: no warning).
    row("status a FIFO holding Discharging", "BAT0/status", "fifo", "Discharging\n", forty, 0,
        {"AC/type", "AC/online"});
    row("status Discharging and a NUL", "BAT0/status", "bytes", QByteArray("Discharging\0x\n", 14),
        forty, 0, {"AC/type", "AC/online"});
    row("status /dev/urandom", "BAT0/status", "link", "/dev/urandom", forty, 0,
        {"AC/type", "AC/online"});
    // A type that cannot be read: the battery is none, the charger says battery.
    row("type a FIFO holding Battery", "BAT0/type", "fifo", "Battery\n", bang, 0);
    row("type Battery in UTF-16", "BAT0/type", "bytes", QByteArray("B\0a\0t\0t\0e\0r\0y\0", 14),
        bang, 0);
}

void TestWindowSysfsFaults::badFiles()
{
    QFETCH(QString, file);
    QFETCH(QString, kind);
    QFETCH(QByteArray, contents);
    QFETCH(QStringList, remove);
    QFETCH(QString, label);
    QFETCH(int, boxes);

    QTemporaryDir tmp;
    const QString root = tmp.filePath(QStringLiteral("power_supply"));
    QVERIFY(writeTree(root, laptop()));
    for (const QString& r : remove)
        QVERIFY(QFile::remove(root + QLatin1Char('/') + r));
    const QString path = root + QLatin1Char('/') + file;
    const QByteArray p = QFile::encodeName(path);
    QFile::remove(path);
    int fifoFd = -1;
    if (kind == QLatin1String("bytes")) {
        QVERIFY(writeFile(path, contents));
    } else if (kind == QLatin1String("link")) {
        QVERIFY(QFile::link(QString::fromLatin1(contents), path));
    } else if (kind == QLatin1String("sparse")) {
        QVERIFY(writeFile(path, contents));
        QVERIFY(QFile::resize(path, qint64(100) << 20));
    } else if (kind == QLatin1String("fifo")) {
        QCOMPARE(::mkfifo(p.constData(), 0644), 0);
        if (!contents.isEmpty()) {
            // Read-write never waits for the other end; the bytes stay in the
            // pipe for whoever opens it next.
            fifoFd = ::open(p.constData(), O_RDWR | O_NONBLOCK | O_CLOEXEC);
            QVERIFY(fifoFd >= 0);
            QCOMPARE(::write(fifoFd, contents.constData(), size_t(contents.size())),
                     ssize_t(contents.size()));
        }
    }
    ++inputs_;

    SystemPowerStatus status(root, UPowerTimings(), 0);  // listed at every reading
    BoxCounter counter;
    {
        WindowHarness h(status, kSoglia);
        QVERIFY(h.w);
        Ticker ticker{h};
        ticker.during(200);  // ten ticks: the window comes back from each
        QCOMPARE(h.label(), label);
        QCOMPARE(named<QProgressBar>(h.w, "ProgressBar")->value(),
                 label == QLatin1String("!") ? 100 : 40);
        QCOMPARE(counter.shown(), boxes);
        QVERIFY2(ticker.insane.isEmpty(), qPrintable(ticker.insane.join(QLatin1Char('|'))));

        // The battery registered anew with a good capacity (written aside and
        // moved in whole, as sysfs shows it): the label follows.
        Files good = laptop();
        good["BAT0/capacity"] = "60\n";
        QVERIFY(putAnew(root, QStringLiteral("BAT0"), good));
        QVERIFY(ticker.until(QStringLiteral(" 60%"), 3000));
    }
    if (fifoFd >= 0)
        ::close(fifoFd);
}

// The root itself is no tree of supplies: no reading, and no wait.
void TestWindowSysfsFaults::badRoot_data()
{
    QTest::addColumn<QString>("kind");
    QTest::newRow("a FIFO") << "fifo";
    QTest::newRow("a link to itself") << "loop";
    QTest::newRow("a link to /dev/zero") << "zero";
    QTest::newRow("a link to /proc/self") << "proc";
    QTest::newRow("a 100 MB file") << "huge";
}

void TestWindowSysfsFaults::badRoot()
{
    QFETCH(QString, kind);
    QTemporaryDir tmp;
    const QString root = tmp.filePath(QStringLiteral("power_supply"));
    const QByteArray p = QFile::encodeName(root);
    if (kind == QLatin1String("fifo"))
        QCOMPARE(::mkfifo(p.constData(), 0644), 0);
    else if (kind == QLatin1String("loop"))
        QVERIFY(QFile::link(root, root));
    else if (kind == QLatin1String("zero"))
        QVERIFY(QFile::link(QStringLiteral("/dev/zero"), root));
    else if (kind == QLatin1String("proc"))
        QVERIFY(QFile::link(QStringLiteral("/proc/self"), root));
    else if (kind == QLatin1String("huge"))
        QVERIFY(writeFile(root, "Battery\n") && QFile::resize(root, qint64(100) << 20));
    ++inputs_;

    SystemPowerStatus status(root, UPowerTimings());
    BoxCounter counter;
    WindowHarness h(status, 100);  // "!" on battery would warn; on unknown it must not
    QVERIFY(h.w);
    Ticker ticker{h};
    ticker.during(200);
    QCOMPARE(h.label(), QStringLiteral("!"));
    QCOMPARE(counter.shown(), 0);

    // A real tree takes the root's place: readings come.
    QVERIFY(QFile::remove(root) || QDir(root).removeRecursively());
    QVERIFY(writeTree(root, laptop()));
    QVERIFY(ticker.until(QStringLiteral(" 40%"), 3000));
    ticker.during(100);
    QCOMPARE(counter.shown(), 1);
}

// Another thread takes the battery's files and folders away and puts them
// back, as a kernel does when a battery is pulled or its driver reloads,
// while the window ticks as fast as it can: a file can vanish between the
// listing and the read, or between two reads of one tick. Every file is put
// in place whole (written aside, then renamed), and all of them say 57 %, so
// the only right labels are " 57%" and "!" (the battery not there at that
// moment), and no warning ever comes.
void TestWindowSysfsFaults::filesVanishWhileRead()
{
    QTemporaryDir tmp;
    const QString rootPath = tmp.filePath(QStringLiteral("power_supply"));
    Files files = laptop();
    files["BAT0/capacity"] = "57\n";
    files["BAT0/energy_now"] = "57000000\n";
    QVERIFY(writeTree(rootPath, files));
    const std::string root = QFile::encodeName(rootPath).toStdString();

    std::atomic<bool> stop{false};
    std::atomic<int> changes{0};
    std::thread churn([&] {
        const auto put = [&](const std::string& rel, const QByteArray& bytes) {
            const std::string aside = root + "/.aside";
            const int fd = ::open(aside.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
            if (fd < 0)
                return;
            const ssize_t wrote = ::write(fd, bytes.constData(), size_t(bytes.size()));
            ::close(fd);
            if (wrote == bytes.size())
                ::rename(aside.c_str(), (root + '/' + rel).c_str());
        };
        const std::string bat = root + "/BAT0";
        const std::string moved = root + "/BAT9";
        for (int i = 0; !stop.load(); ++i) {
            switch (i % 6) {
                case 0:
                    ::unlink((bat + "/capacity").c_str());
                    break;
                case 1:
                    put("BAT0/capacity", "57\n");
                    break;
                case 2:
                    ::rename(bat.c_str(), moved.c_str());
                    ::rename(moved.c_str(), bat.c_str());
                    break;
                case 3:
                    // The whole battery goes, then comes back file by file.
                    for (auto it = files.cbegin(); it != files.cend(); ++it)
                        if (it.key().startsWith(QLatin1String("BAT0/")))
                            ::unlink((root + '/' + it.key().toStdString()).c_str());
                    ::rmdir(bat.c_str());
                    ::mkdir(bat.c_str(), 0755);
                    for (auto it = files.cbegin(); it != files.cend(); ++it)
                        if (it.key().startsWith(QLatin1String("BAT0/")))
                            put(it.key().toStdString(), it.value());
                    break;
                case 4:
                    ::unlink((root + "/AC/online").c_str());
                    put("AC/online", "0\n");
                    break;
                case 5:
                    ::unlink((bat + "/energy_now").c_str());
                    put("BAT0/energy_now", "57000000\n");
                    break;
            }
            changes.fetch_add(1);
        }
    });

    SystemPowerStatus status(rootPath, UPowerTimings(), 0);  // listed at every reading
    BoxCounter counter;
    WindowHarness h(status, kSoglia);
    QVERIFY(h.w);
    QStringList seen;
    QStringList wrong;
    for (int i = 0; i < 20'000; ++i) {
        h.tick();
        const QString label = h.label();
        if (!seen.contains(label))
            seen << label;
        if (label != QLatin1String(" 57%") && label != QLatin1String("!") && !wrong.contains(label))
            wrong << label;
        if (i % 64 == 0)
            QCoreApplication::processEvents();
    }
    stop = true;
    churn.join();
    faults_ += 3;  // the kinds of change the churn makes (delete, rename, rebuild), however often
    qInfo("%d changes to the tree during 20000 ticks; labels seen: %s", changes.load(),
          qPrintable(seen.join(QLatin1Char('|'))));
    QVERIFY2(wrong.isEmpty(), qPrintable(wrong.join(QLatin1Char('|'))));
    QCOMPARE(counter.shown(), 0);
    QVERIFY(changes.load() > 0);

    // Still: the battery as it was, registered anew (written aside, moved in
    // whole), then lower.
    QVERIFY(putAnew(rootPath, QStringLiteral("BAT0"), files));
    Ticker ticker{h};
    QVERIFY(ticker.until(QStringLiteral(" 57%"), 3000));
    QVERIFY(writeFile(rootPath + QStringLiteral("/BAT0/capacity"), "30\n"));
    QVERIFY(ticker.until(QStringLiteral(" 30%"), 3000));
    QCOMPARE(counter.shown(), 1);
}

QTEST_MAIN(TestWindowSysfsFaults)
#include "tst_window_sysfs_faults.moc"
