// The user's settings store on real files: raw texts in, complete and atomic
// saves out, failures reported.
#include "file_tree.h"
#include "ini_format.h"
#include "settings_store.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include <sys/mount.h>

using namespace tellavo;
using tellavo::test::writeFile;

namespace {

const QStringList kKeys = {QStringLiteral("Soglia"), QStringLiteral("SIPP"), QStringLiteral("Sx"),
                           QStringLiteral("Top"), QStringLiteral("Messaggio")};

// Points the store at <base>/Ambrovia/Ambrovia.ini for this process.
QString useBase(const QString& base)
{
    QSettings::setPath(ini::format(), QSettings::UserScope, base);
    return base + QStringLiteral("/Ambrovia/Ambrovia.ini");
}

QByteArray readFile(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

QList<QPair<QString, QString>> fiveValues(const QString& messaggio)
{
    return {{QStringLiteral("Soglia"), QStringLiteral("20")},
            {QStringLiteral("SIPP"), QStringLiteral("1")},
            {QStringLiteral("Sx"), QStringLiteral("735")},
            {QStringLiteral("Top"), QStringLiteral("-120")},
            {QStringLiteral("Messaggio"), messaggio}};
}

}  // namespace

class TestSettingsStore : public QObject {
    Q_OBJECT
private slots:
    void fileIsInXdgConfigHome();
    void readsRawText_data();
    void readsRawText();
    void absentAndEmpty();
    void noFallbackToSystemFiles();
    void saveKeepsOtherEntries();
    void newProcessReadsSave_data();
    void newProcessReadsSave();
    void saveFailureReported();
    void directoryInsteadOfFile();
    void fullDiskKeepsOldFile();
};

void TestSettingsStore::fileIsInXdgConfigHome()
{
    // In a fresh process the file lies under XDG_CONFIG_HOME (the test runner sets it).
    QProcess self;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    QTemporaryDir dir;
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), dir.path());
    env.insert(QStringLiteral("TST_STORE_FILENAME"), QStringLiteral("1"));
    self.setProcessEnvironment(env);
    self.start(QCoreApplication::applicationFilePath(), {});
    QVERIFY(self.waitForFinished(20000));
    QCOMPARE(QString::fromUtf8(self.readAllStandardOutput()).trimmed(),
             dir.path() + QStringLiteral("/Ambrovia/Ambrovia.ini"));
}

void TestSettingsStore::readsRawText_data()
{
    QTest::addColumn<QByteArray>("line");
    QTest::addColumn<QString>("value");
    QTest::newRow("list-like") << QByteArray("Messaggio=a, b") << "a, b";
    QTest::newRow("variant-like") << QByteArray("Messaggio=@Variant(\\0\\0\\0)")
                                  << "@Variant(\\0\\0\\0)";
    QTest::newRow("blanks") << QByteArray("Messaggio=  ciao  ") << "  ciao  ";
    QTest::newRow("comment-like") << QByteArray("Messaggio=ciao ; commento") << "ciao ; commento";
    QTest::newRow("escape-like") << QByteArray("Messaggio=\\x00e8") << "\\x00e8";
}

void TestSettingsStore::readsRawText()
{
    QFETCH(QByteArray, line);
    QFETCH(QString, value);
    QTemporaryDir dir;
    const QString path = useBase(dir.path());
    QVERIFY(writeFile(path, "[Generale]\nSoglia=5\n" + line + "\n"));
    SettingsStore store;
    QCOMPARE(store.read(QStringLiteral("Messaggio"), QStringLiteral("default")), value);
    QCOMPARE(store.read(QStringLiteral("Soglia"), QStringLiteral("0")), QStringLiteral("5"));
}

void TestSettingsStore::absentAndEmpty()
{
    QTemporaryDir dir;
    const QString path = useBase(dir.path());
    QVERIFY(writeFile(path, "[Generale]\nMessaggio=\n"));
    SettingsStore store;
    QString reason;
    QVERIFY(store.isReadable(reason));
    QCOMPARE(store.read(QStringLiteral("Messaggio"), QStringLiteral("default")), QString());
    QCOMPARE(store.read(QStringLiteral("Sx"), QStringLiteral("100")), QStringLiteral("100"));
}

void TestSettingsStore::noFallbackToSystemFiles()
{
    QTemporaryDir user, system;
    useBase(user.path());
    QSettings::setPath(ini::format(), QSettings::SystemScope, system.path());
    QVERIFY(writeFile(system.path() + QStringLiteral("/Ambrovia/Ambrovia.ini"),
                      "[Generale]\nSoglia=77\n"));
    SettingsStore store;
    QCOMPARE(store.read(QStringLiteral("Soglia"), QStringLiteral("0")), QStringLiteral("0"));
}

void TestSettingsStore::saveKeepsOtherEntries()
{
    QTemporaryDir dir;
    const QString path = useBase(dir.path());
    QVERIFY(writeFile(path, "[Generale]\nSoglia=3\nAltro=tenuto\n[Estraneo]\nx=a, b\n"));
    SettingsStore store;
    QString reason;
    QVERIFY2(store.write(fiveValues(QStringLiteral("ciao")), reason), qPrintable(reason));
    const QSettings::SettingsMap onDisk = ini::parse(readFile(path));
    QCOMPARE(onDisk.value(QStringLiteral("Generale/Soglia")).toString(), QStringLiteral("20"));
    QCOMPARE(onDisk.value(QStringLiteral("Generale/Top")).toString(), QStringLiteral("-120"));
    QCOMPARE(onDisk.value(QStringLiteral("Generale/Altro")).toString(), QStringLiteral("tenuto"));
    QCOMPARE(onDisk.value(QStringLiteral("Estraneo/x")).toString(), QStringLiteral("a, b"));
}

void TestSettingsStore::newProcessReadsSave_data()
{
    QTest::addColumn<QString>("messaggio");
    QTest::newRow("default text") << "Attacca la spina!!";
    QTest::newRow("empty") << "";
    QTest::newRow("blanks and backslash") << "  C:\\n\\  ";
    QTest::newRow("list-like") << "a, b";
    QTest::newRow("unicode") << QString::fromUtf8("perch\xc3\xa8 \xf0\x9f\x94\x8b");
}

void TestSettingsStore::newProcessReadsSave()
{
    QFETCH(QString, messaggio);
    QTemporaryDir dir;
    useBase(dir.path());
    {
        SettingsStore store;
        QString reason;
        QVERIFY2(store.write(fiveValues(messaggio), reason), qPrintable(reason));
    }
    QProcess self;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), dir.path());
    env.insert(QStringLiteral("TST_STORE_DUMP"), QStringLiteral("1"));
    self.setProcessEnvironment(env);
    self.start(QCoreApplication::applicationFilePath(), {});
    QVERIFY(self.waitForFinished(20000));
    QCOMPARE(self.exitCode(), 0);
    const QStringList lines = QString::fromUtf8(self.readAllStandardOutput()).split(QChar(0));
    QStringList expected;
    for (const auto& entry : fiveValues(messaggio))
        expected << entry.second;
    expected << QString();  // after the last separator
    QCOMPARE(lines, expected);
}

void TestSettingsStore::saveFailureReported()
{
    QTemporaryDir dir;
    useBase(dir.path());
    // A file where the store's folder should be: nothing can be created there,
    // whoever runs the test (root included).
    QVERIFY(writeFile(dir.path() + QStringLiteral("/Ambrovia"), "not a folder"));
    SettingsStore store;
    QString reason;
    QVERIFY(!store.write(fiveValues(QStringLiteral("x")), reason));
    QVERIFY(!reason.isEmpty());
    QCOMPARE(readFile(dir.path() + QStringLiteral("/Ambrovia")), QByteArray("not a folder"));

    // Once the cause is gone, the next save succeeds and says so.
    QVERIFY(QFile::remove(dir.path() + QStringLiteral("/Ambrovia")));
    QVERIFY2(store.write(fiveValues(QStringLiteral("y")), reason), qPrintable(reason));
    const QSettings::SettingsMap disk =
        ini::parse(readFile(dir.path() + QStringLiteral("/Ambrovia/Ambrovia.ini")));
    QCOMPARE(disk.value(QStringLiteral("Generale/Messaggio")).toString(), QStringLiteral("y"));
}

void TestSettingsStore::directoryInsteadOfFile()
{
    QTemporaryDir dir;
    const QString path = useBase(dir.path());
    QVERIFY(QDir().mkpath(path));
    SettingsStore store;
    QString reason;
    QVERIFY(!store.isReadable(reason));
    QVERIFY(reason.contains(QStringLiteral("cartella")));
}

void TestSettingsStore::fullDiskKeepsOldFile()
{
    QTemporaryDir dir;
    const QString mountPoint = dir.path() + QStringLiteral("/small");
    QVERIFY(QDir().mkpath(mountPoint));
    if (::mount("tellavo-test", mountPoint.toLocal8Bit().constData(), "tmpfs", 0, "size=64k") != 0)
        QSKIP("cannot mount a small tmpfs here (needs root or CAP_SYS_ADMIN)");
    const auto unmount =
        qScopeGuard([&] { ::umount2(mountPoint.toLocal8Bit().constData(), MNT_DETACH); });

    const QString path = useBase(mountPoint);
    const QByteArray old = "[Generale]\nSoglia=20\nSIPP=1\nSx=100\nTop=100\nMessaggio=vecchio\n";
    QVERIFY(writeFile(path, old));
    SettingsStore store;
    QString reason;
    QVERIFY(!store.write(fiveValues(QString(200000, QLatin1Char('m'))), reason));
    QVERIFY(!reason.isEmpty());
    QCOMPARE(readFile(path), old);
}

int main(int argc, char** argv)
{
    // Child modes: a fresh process reads the store the way a new start does.
    if (qEnvironmentVariableIsSet("TST_STORE_DUMP") ||
        qEnvironmentVariableIsSet("TST_STORE_FILENAME")) {
        QCoreApplication app(argc, argv);
        SettingsStore store;
        QByteArray out;
        if (qEnvironmentVariableIsSet("TST_STORE_FILENAME")) {
            out = store.fileName().toUtf8();
        } else {
            for (const QString& key : kKeys)
                out += store.read(key, QStringLiteral("<absent>")).toUtf8() + '\0';
        }
        fwrite(out.constData(), 1, size_t(out.size()), stdout);
        return 0;
    }
    QCoreApplication app(argc, argv);
    TestSettingsStore test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_settings_store.moc"
