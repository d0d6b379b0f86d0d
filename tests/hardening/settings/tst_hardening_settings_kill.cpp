// Saving under kill -9: two copies of the program save the five values over
// and over into one settings file (settings_driver loop), and are killed at
// random moments, one or both at a time. After every kill the file must parse
// and hold one complete save: the five values of one copy's one turn, never a
// mix of two, never a torn, short or empty file, never an older turn of the
// same run than one already seen. A killed copy starts again on that file, and
// the saves must go on past the lock it left.
#include "harness.h"
#include "ini_format.h"
#include "loop_text.h"

#include <QDateTime>
#include <QHash>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QTest>
#include <QThread>

#include <memory>

using namespace settings_hardening;

namespace {

constexpr int kInstances = 2;
constexpr int kStallBoundMs = 40000;

// The folder's names, with the lock files' bytes and ages, for a failure.
QString describeFolder(const QString& folder)
{
    QStringList parts;
    for (const QString& name : listing(folder)) {
        const QFileInfo info(folder + QLatin1Char('/') + name);
        QString part = QStringLiteral("%1 (%2 bytes, %3 s old)")
                           .arg(name)
                           .arg(info.size())
                           .arg(info.lastModified().secsTo(QDateTime::currentDateTime()));
        if (name.endsWith(QLatin1String("lock")))
            part += QStringLiteral(" \"%1\"").arg(
                QString::fromLatin1(bytesOrNote(info.filePath()).toPercentEncoding("/ ", "")));
        parts << part;
    }
    return parts.join(QLatin1String("; "));
}

struct Copy {
    int id = 0;
    int life = 0;
    std::unique_ptr<QProcess> process;
};

// One complete save as the file shows it, or why the file is not one.
struct Seen {
    int instance = 0, life = 0, iteration = 0;
    QString error;
};

Seen readSave(const QByteArray& bytes)
{
    Seen seen;
    const QSettings::SettingsMap map = tellavo::ini::parse(bytes);
    QStringList keys = map.keys();
    keys.sort();
    const QStringList five = {"Generale/Messaggio", "Generale/SIPP", "Generale/Soglia",
                              "Generale/Sx", "Generale/Top"};
    if (keys != five) {
        seen.error = QStringLiteral("keys %1 in a file of %2 bytes")
                         .arg(keys.join(QLatin1Char(',')))
                         .arg(bytes.size());
        return seen;
    }
    const QString messaggio = map.value(QStringLiteral("Generale/Messaggio")).toString();
    static const QRegularExpression head(QStringLiteral("^inst (\\d+) life (\\d+) iter (\\d+)\\|"));
    const QRegularExpressionMatch m = head.match(messaggio);
    if (!m.hasMatch()) {
        seen.error = QStringLiteral("Messaggio begins \"%1\"").arg(messaggio.left(60));
        return seen;
    }
    seen.instance = m.captured(1).toInt();
    seen.life = m.captured(2).toInt();
    seen.iteration = m.captured(3).toInt();
    const auto value = [&](const char* key) {
        return map.value(QLatin1String("Generale/") + QLatin1String(key)).toString();
    };
    const QString sipp = seen.iteration % 2 == 0 ? QStringLiteral("1") : QStringLiteral("-1");
    if (messaggio != loopMessage(seen.instance, seen.life, seen.iteration))
        seen.error = QStringLiteral("Messaggio of %1 characters is not turn %2's whole text")
                         .arg(messaggio.size())
                         .arg(seen.iteration);
    else if (value("Soglia") != QString::number(seen.instance))
        seen.error = QStringLiteral("Soglia %1 beside copy %2's Messaggio")
                         .arg(value("Soglia"))
                         .arg(seen.instance);
    else if (value("Sx") != QString::number(seen.iteration) ||
             value("Top") != QString::number(-seen.iteration) || value("SIPP") != sipp)
        seen.error = QStringLiteral("Sx %1, Top %2, SIPP %3 beside turn %4's Messaggio")
                         .arg(value("Sx"), value("Top"), value("SIPP"))
                         .arg(seen.iteration);
    return seen;
}

}  // namespace

class TestKill : public CountedTest {
    Q_OBJECT
private slots:
    void killedWhileSaving_data();
    void killedWhileSaving();

private:
    bool startCopy(Copy& copy, const QString& configHome, QString* why);
};

bool TestKill::startCopy(Copy& copy, const QString& configHome, QString* why)
{
    ++copy.life;
    copy.process = std::make_unique<QProcess>();
    copy.process->setProcessEnvironment(
        driverEnvironment(configHome, QStringLiteral("C.UTF-8"), false));
    copy.process->start(
        QStringLiteral(SETTINGS_DRIVER),
        {QStringLiteral("loop"), QString::number(copy.id), QString::number(copy.life)});
    QByteArray out;
    while (!out.contains("ready\n")) {
        if (!copy.process->waitForReadyRead(20000)) {
            *why = QStringLiteral("copy %1 life %2 did not start: status %3, %4")
                       .arg(copy.id)
                       .arg(copy.life)
                       .arg(copy.process->exitCode())
                       .arg(QString::fromLocal8Bit(copy.process->readAllStandardError()));
            return false;
        }
        out += copy.process->readAllStandardOutput();
    }
    return true;
}

void TestKill::killedWhileSaving_data()
{
    QTest::addColumn<int>("kills");
    QTest::addColumn<quint32>("seed");  // of the kill moments and victims
    QTest::newRow("two copies, 200 kills") << 200 << quint32(20261207);
}

void TestKill::killedWhileSaving()
{
    QFETCH(int, kills);
    QFETCH(quint32, seed);
    faults_ = 0;
    Home home;
    Copy copies[kInstances];
    const auto stopAll = qScopeGuard([&] {
        for (Copy& c : copies) {
            if (c.process) {
                c.process->kill();
                c.process->waitForFinished(5000);
            }
        }
    });
    QString why;
    for (int i = 0; i < kInstances; ++i) {
        copies[i].id = i + 1;
        QVERIFY2(startCopy(copies[i], home.base, &why), qPrintable(why));
    }
    QVERIFY(QTest::qWaitFor([&] { return QFileInfo::exists(home.path); }, 20000));

    QRandomGenerator rng(seed);
    QHash<QString, int> lastTurn;  // per copy and life: the latest turn seen
    int seenBy[kInstances] = {};
    for (int k = 0; k < kills;) {
        for (const Copy& c : copies)
            QVERIFY2(
                c.process->state() == QProcess::Running,
                qPrintable(QStringLiteral("copy %1 ended by itself, status %2: %3")
                               .arg(c.id)
                               .arg(c.process->exitCode())
                               .arg(QString::fromLocal8Bit(c.process->readAllStandardError()))));
        QThread::usleep(rng.bounded(60000));
        // Mostly one copy, now and then both at the same moment.
        const int pick = rng.bounded(10);
        QList<Copy*> victims;
        if (pick == 0)
            victims = {&copies[0], &copies[1]};
        else
            victims = {&copies[pick % 2]};
        for (Copy* v : victims)
            v->process->kill();
        for (Copy* v : victims)
            QVERIFY(v->process->waitForFinished(10000));
        k += int(victims.size());
        faults_ = k;

        const std::optional<QByteArray> bytes = readBytes(home.path);
        QVERIFY2(bytes, qPrintable(QStringLiteral("after kill %1 there is no file").arg(k)));
        const Seen seen = readSave(*bytes);
        QVERIFY2(
            seen.error.isEmpty(),
            qPrintable(
                QStringLiteral("after kill %1 (seed %2): %3").arg(k).arg(seed).arg(seen.error)));
        QVERIFY(seen.instance >= 1 && seen.instance <= kInstances);
        QVERIFY(seen.life <= copies[seen.instance - 1].life);
        const QString run = QStringLiteral("%1/%2").arg(seen.instance).arg(seen.life);
        QVERIFY2(seen.iteration >= lastTurn.value(run, 0),
                 qPrintable(QStringLiteral("after kill %1 the file went back from turn %2 to %3 "
                                           "of copy %4")
                                .arg(k)
                                .arg(lastTurn.value(run))
                                .arg(seen.iteration)
                                .arg(run)));
        lastTurn[run] = seen.iteration;
        ++seenBy[seen.instance - 1];

        // The killed copies start again on this file, and the saves go on
        // past whatever lock the kill left.
        for (Copy* v : victims)
            QVERIFY2(startCopy(*v, home.base, &why), qPrintable(why));
        // A kill between the lock file's creation and its first bytes leaves
        // a lock no one can read, which QLockFile takes over only once it is
        // 30 s old: the saves may stall that long, and no longer.
        if (!QTest::qWaitFor([&] { return bytesOrNote(home.path) != *bytes; }, kStallBoundMs))
            QFAIL(qPrintable(QStringLiteral("no save went through for %1 s after kill %2; "
                                            "beside the file: %3")
                                 .arg(kStallBoundMs / 1000)
                                 .arg(k)
                                 .arg(describeFolder(home.folder))));
    }
    // Both copies' saves got through to the file between kills.
    qInfo("complete saves seen after the kills: %d of copy 1, %d of copy 2", seenBy[0], seenBy[1]);
    QVERIFY(seenBy[0] > 0 && seenBy[1] > 0);

    for (Copy& c : copies) {
        c.process->kill();
        c.process->waitForFinished(5000);
        c.process.reset();
    }
    // What the kills left beside the file.
    const QStringList left = listing(home.folder);
    qInfo("left in the settings folder after %d kills: %s", kills,
          qPrintable(left.join(QLatin1String(", "))));
    // A new start on what is left, and a new save through it.
    const DriverRun saved = runDriver(saving({"--soglia", "99", "--messaggio", "dopo"}), home.base);
    QVERIFY2(saved.trouble().isEmpty(), qPrintable(saved.trouble()));
    QCOMPARE(saved.out.value(QLatin1String("mainStatus")).toInt(), 0);
    QCOMPARE(saved.out.value(QLatin1String("esciStatus")).toInt(), 0);
    const QSettings::SettingsMap map = tellavo::ini::parse(bytesOrNote(home.path));
    QCOMPARE(map.value(QStringLiteral("Generale/Soglia")).toString(), QStringLiteral("99"));
    QCOMPARE(map.value(QStringLiteral("Generale/Messaggio")).toString(), QStringLiteral("dopo"));
}

QTEST_GUILESS_MAIN(TestKill)

#include "tst_hardening_settings_kill.moc"
