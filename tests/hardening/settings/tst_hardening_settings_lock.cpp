// A lock file left beside the settings file (Ambrovia.ini.lock, the QLockFile
// that QSettings takes for each save) by a program killed in the middle of a
// save, by another program, or as garbage: the next save must still go
// through, in bounded time, and leave no lock behind. The bound is the time
// the lock still needs to reach QLockFile's stale age (30 s), plus slack: a
// lock newer than that may be a live save's, so waiting for it is right, and
// waiting longer is a hang.
#include "harness.h"

#include <QSysInfo>
#include <QTest>

#include <sys/stat.h>

using namespace settings_hardening;

namespace {

constexpr int kStaleSeconds = 30;
constexpr int kSlackMs = 10000;

// The lock a real save leaves when its program is killed while holding it.
QByteArray killedHoldersLock(const QString& lockPath, QString* why)
{
    QProcess holder;
    holder.start(QStringLiteral(SETTINGS_DRIVER), {QStringLiteral("hold-lock"), lockPath});
    if (!holder.waitForReadyRead(10000) || !holder.readAll().startsWith("locked")) {
        *why = QStringLiteral("the lock holder did not take the lock");
        return {};
    }
    holder.kill();
    holder.waitForFinished(5000);
    QFile f(lockPath);
    if (!f.open(QIODevice::ReadOnly)) {
        *why = QStringLiteral("the killed holder left no lock");
        return {};
    }
    return f.readAll();
}

}  // namespace

class TestLock : public CountedTest {
    Q_OBJECT
private slots:
    void leftLock_data();
    void leftLock();
};

void TestLock::leftLock_data()
{
    QTest::addColumn<QString>("lock");
    QTest::addColumn<int>("ageSeconds");  // of the lock's modification time; < 0: in the future
    QTest::addColumn<bool>("asNobody");   // the save runs as an ordinary user

    QTest::newRow("killed holder, new") << "killed" << 0 << false;
    QTest::newRow("killed holder whose pid another program now has")
        << "killed, pid reused" << 0 << false;
    QTest::newRow("killed holder on another host, old") << "other host" << 3600 << false;
    QTest::newRow("garbage, an hour old") << "garbage" << 3600 << false;
    QTest::newRow("garbage, new") << "garbage" << 25 << false;
    QTest::newRow("garbage, dated an hour ahead") << "garbage" << -3600 << false;
    QTest::newRow("empty, an hour old") << "empty" << 3600 << false;
    QTest::newRow("empty, new (left by a full disk)") << "empty" << 25 << false;
    QTest::newRow("garbage with a garbage .rmlock beside it") << "garbage+rmlock" << 3600 << false;
    QTest::newRow("a directory, an hour old") << "directory" << 3600 << false;
    QTest::newRow("a dangling symlink") << "dangling symlink" << 3600 << false;
    QTest::newRow("root's killed holder, saving as an ordinary user") << "killed" << 3600 << true;
}

void TestLock::leftLock()
{
    QFETCH(QString, lock);
    QFETCH(int, ageSeconds);
    QFETCH(bool, asNobody);
    const bool fromKill = lock.startsWith(QLatin1String("killed"));
    inputs_ = faults_ = 0;  // counted once the save has been tried

    if (asNobody && !isRoot())
        QSKIP("needs root: the lock must be another user's than the saving one's");
    Home home;
    const DriverRun made = runDriver(saving({"--messaggio", "vecchio"}), home.base);
    QVERIFY2(made.trouble().isEmpty(), qPrintable(made.trouble()));
    QCOMPARE(made.exitCode, 0);
    const QString lockPath = home.path + QStringLiteral(".lock");
    QCOMPARE(listing(home.folder), QStringList{QStringLiteral("Ambrovia.ini")});

    QProcess otherProgram;
    const auto stopOther = qScopeGuard([&] {
        otherProgram.kill();
        otherProgram.waitForFinished(5000);
    });
    if (fromKill || lock == QLatin1String("other host")) {
        QString why;
        QByteArray content = killedHoldersLock(lockPath, &why);
        QVERIFY2(!content.isEmpty(), qPrintable(why));
        QList<QByteArray> lines = content.split('\n');
        QVERIFY2(lines.size() >= 3, content.constData());
        if (lock == QLatin1String("killed, pid reused")) {
            otherProgram.start(QStringLiteral("sleep"), {QStringLiteral("60")});
            QVERIFY(otherProgram.waitForStarted());
            lines[0] = QByteArray::number(otherProgram.processId());
        } else if (lock == QLatin1String("other host")) {
            QVERIFY(lines[2] == QSysInfo::machineHostName().toUtf8());
            lines[2] = "altrove.example";
            for (int i = 3; i < lines.size(); ++i)
                if (!lines[i].isEmpty())
                    lines[i] = QByteArray(lines[i].size(), 'f');  // another machine's ids
        }
        QVERIFY(writeBytes(lockPath, lines.join('\n')));
    } else if (lock == QLatin1String("garbage") || lock == QLatin1String("garbage+rmlock")) {
        QVERIFY(writeBytes(lockPath, garbage(300, 7)));
        if (lock.endsWith(QLatin1String("rmlock"))) {
            QVERIFY(writeBytes(lockPath + QStringLiteral(".rmlock"), garbage(40, 7)));
            QVERIFY(setAge(lockPath + QStringLiteral(".rmlock"), ageSeconds));
        }
    } else if (lock == QLatin1String("empty")) {
        QVERIFY(writeBytes(lockPath, QByteArray()));
    } else if (lock == QLatin1String("directory")) {
        QVERIFY(QDir().mkpath(lockPath));
    } else if (lock == QLatin1String("dangling symlink")) {
        QVERIFY(QFile::link(home.folder + QStringLiteral("/nessuno"), lockPath));
    }
    QVERIFY(setAge(lockPath, ageSeconds));
    if (asNobody) {
        QVERIFY(giveToNobody(home.base));
        QVERIFY(giveToNobody(home.folder));
        QVERIFY(giveToNobody(home.path));
    }

    const QStringList args = saving({"--soglia", "42", "--messaggio", "nuovo"}, asNobody);
    const int untilStale =
        ageSeconds >= 0 && ageSeconds < kStaleSeconds ? kStaleSeconds - ageSeconds : 0;
    const DriverRun saved =
        runDriver(args, home.base, QStringLiteral("C.UTF-8"), untilStale * 1000 + kSlackMs);
    if (saved.finished && saved.exitCode == 65)
        QSKIP("cannot become the user nobody here");
    inputs_ = fromKill ? 0 : 1;
    faults_ = fromKill ? 1 : 0;
    QVERIFY2(saved.trouble().isEmpty(), qPrintable(saved.trouble()));
    QCOMPARE(saved.strings("saveErrors"), QStringList());
    QCOMPARE(saved.out.value(QLatin1String("esciStatus")).toInt(), 0);

    const DriverRun next = runDriver({QStringLiteral("start")}, home.base);
    QVERIFY2(next.trouble().isEmpty(), qPrintable(next.trouble()));
    QCOMPARE(next.out.value(QLatin1String("soglia")).toInt(), 42);
    QCOMPARE(next.out.value(QLatin1String("messaggio")).toString(), QStringLiteral("nuovo"));
    // The stale lock was taken over and let go: nothing is left to block the
    // save after this one.
    QCOMPARE(listing(home.folder), QStringList{QStringLiteral("Ambrovia.ini")});
}

QTEST_GUILESS_MAIN(TestLock)

#include "tst_hardening_settings_lock.moc"
