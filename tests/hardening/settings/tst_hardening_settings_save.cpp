// Saving when the disk or the permissions say no: the exit command must show
// the error box naming the file and end with status 1, the old file must stay
// byte for byte and nothing may be left beside it; once the cause is gone the
// next save must work. Full and read-only disks are small tmpfs mounts in a
// mount namespace of this test's own, which its driver children share.
#include "harness.h"

#include <QCoreApplication>
#include <QScopeGuard>
#include <QTest>

#include <fcntl.h>
#include <sched.h>
#include <sys/mount.h>

#include <cerrno>
#include <functional>
#include <optional>

using namespace settings_hardening;

namespace {

bool g_privateMounts = false;

const QString kSaveFailed = QStringLiteral(
    "Impossibile salvare le impostazioni.\n\nIl file non si può scrivere (permessi mancanti o "
    "disco pieno).\n\nFile:\n%FILE%");

// Writes to `path` until the file system says it is full; true when it did.
bool fillUp(const QString& path)
{
    const int fd = ::open(QFile::encodeName(path).constData(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (fd < 0)
        return false;
    const QByteArray chunk(4096, 'F');
    for (;;) {
        const ssize_t n = ::write(fd, chunk.constData(), size_t(chunk.size()));
        if (n < 0) {
            const bool full = errno == ENOSPC;
            ::close(fd);
            return full;
        }
    }
}

// Creates empty files until no inode is left; true when that happened.
bool useAllInodes(const QString& folder)
{
    for (int i = 0; i < 100000; ++i) {
        const QByteArray name = QFile::encodeName(folder + QStringLiteral("/i%1").arg(i));
        const int fd = ::open(name.constData(), O_WRONLY | O_CREAT | O_EXCL, 0644);
        if (fd < 0)
            return errno == ENOSPC;
        ::close(fd);
    }
    return false;
}

// A small tmpfs at <top>/fs in this process's private mount namespace.
struct SmallDisk {
    QTemporaryDir top;
    QString root;
    bool mounted = false;

    explicit SmallDisk(const QByteArray& options)
    {
        root = top.path() + QStringLiteral("/fs");
        QDir().mkpath(root);
        mounted = ::mount("tellavo-hardening", QFile::encodeName(root).constData(), "tmpfs", 0,
                          options.constData()) == 0;
        if (mounted)
            ::chmod(QFile::encodeName(root).constData(), 0755);
    }
    bool remount(unsigned long flags, const QByteArray& options) const
    {
        return ::mount("tellavo-hardening", QFile::encodeName(root).constData(), "tmpfs",
                       MS_REMOUNT | flags, options.constData()) == 0;
    }
    ~SmallDisk()
    {
        if (mounted)
            ::umount2(QFile::encodeName(root).constData(), MNT_DETACH);
    }
};

}  // namespace

class TestSave : public CountedTest {
    Q_OBJECT
private slots:
    void refusedSave_data();
    void refusedSave();
    void unusualButWritable_data();
    void unusualButWritable();
};

void TestSave::refusedSave_data()
{
    QTest::addColumn<QString>("fault");
    QTest::addColumn<bool>("asNobody");
    QTest::addColumn<bool>("oldFile");      // a save before the fault made a file
    QTest::addColumn<int>("messaggioLen");  // of the refused save

    QTest::newRow("folder read-only") << "folder 555" << true << true << 20;
    QTest::newRow("file read-only") << "file 444" << true << true << 20;
    QTest::newRow("config home read-only, no folder yet") << "home 555" << true << false << 20;
    QTest::newRow("disk full") << "full" << false << true << 20;
    QTest::newRow("disk with room for only some of the save")
        << "room 64k" << false << true << 300000;
    QTest::newRow("no inode left") << "inodes" << false << true << 20;
    QTest::newRow("read-only file system") << "ro" << false << true << 20;
}

void TestSave::refusedSave()
{
    QFETCH(QString, fault);
    QFETCH(bool, asNobody);
    QFETCH(bool, oldFile);
    QFETCH(int, messaggioLen);
    faults_ = 0;  // counted once the fault is in place

    std::optional<SmallDisk> disk;
    const bool onSmallDisk = !fault.contains(QLatin1Char(' ')) || fault.startsWith("room");
    if (onSmallDisk) {
        if (!g_privateMounts)
            QSKIP(
                "no mount namespace of our own here (needs CAP_SYS_ADMIN): cannot mount a "
                "small file system to fill up");
        disk.emplace(fault == QLatin1String("inodes") ? QByteArray("size=4m,nr_inodes=64")
                                                      : QByteArray("size=1m"));
        if (!disk->mounted)
            QSKIP("cannot mount a tmpfs in this mount namespace");
    }
    std::optional<Home> homeHolder;
    homeHolder.emplace(onSmallDisk ? disk->root : QString());
    Home& home = *homeHolder;
    const auto dropHome = qScopeGuard([&] { homeHolder.reset(); });

    if (oldFile) {
        const DriverRun made = runDriver(
            saving({"--soglia", "33", "--place", "735", "-120", "--messaggio", "vecchio"}),
            home.base);
        QVERIFY2(made.trouble().isEmpty(), qPrintable(made.trouble()));
        QCOMPARE(made.exitCode, 0);
    }
    if (asNobody) {
        QVERIFY(giveToNobody(home.base));
        if (oldFile) {
            QVERIFY(giveToNobody(home.folder));
            QVERIFY(giveToNobody(home.path));
        }
    }

    // The fault, and how to take it away again.
    std::function<bool()> undo;
    const QString filler = home.dir.path() + QStringLiteral("/filler");
    if (fault == QLatin1String("folder 555")) {
        QVERIFY(setMode(home.folder, 0555));
        undo = [&] { return setMode(home.folder, 0755); };
    } else if (fault == QLatin1String("file 444")) {
        QVERIFY(setMode(home.path, 0444));
        undo = [&] { return setMode(home.path, 0644); };
    } else if (fault == QLatin1String("home 555")) {
        QVERIFY(setMode(home.base, 0555));
        undo = [&] { return setMode(home.base, 0755); };
    } else if (fault == QLatin1String("full")) {
        QVERIFY(fillUp(filler));
        undo = [&] { return QFile::remove(filler); };
    } else if (fault == QLatin1String("room 64k")) {
        QVERIFY(fillUp(filler));
        QVERIFY(QFile::resize(filler, QFileInfo(filler).size() - 64 * 1024));
        undo = [&] { return QFile::remove(filler); };
    } else if (fault == QLatin1String("inodes")) {
        QVERIFY(QDir().mkpath(filler));
        QVERIFY(useAllInodes(filler));
        undo = [&] { return QDir(filler).removeRecursively(); };
    } else if (fault == QLatin1String("ro")) {
        QVERIFY(disk->remount(MS_RDONLY, "size=1m"));
        undo = [&] { return disk->remount(0, "size=1m"); };
    }
    QVERIFY(undo);

    QCOMPARE(readBytes(home.path).has_value(), oldFile);
    const QByteArray old = bytesOrNote(home.path);
    const QStringList before = listing(home.folder);
    const QStringList args = saving({"--soglia", "77", "--sipp", "0", "--place", "1500", "2500",
                                     "--messaggio-len", QString::number(messaggioLen)},
                                    asNobody);

    const DriverRun refused = runDriver(args, home.base);
    if (refused.finished && refused.exitCode == 65)
        QSKIP("cannot become the user nobody here");
    faults_ = 1;
    QVERIFY2(refused.trouble().isEmpty(), qPrintable(refused.trouble()));
    QCOMPARE(refused.out.value(QLatin1String("mainStatus")).toInt(), 0);
    QCOMPARE(refused.out.value(QLatin1String("esciStatus")).toInt(), 1);
    QCOMPARE(refused.exitCode, 1);
    QCOMPARE(refused.strings("saveErrors"), QStringList{withFile(kSaveFailed, home.path)});
    QCOMPARE(bytesOrNote(home.path), old);
    QCOMPARE(listing(home.folder), before);

    // The cause gone, the same save goes through and a new start reads it.
    QVERIFY(undo());
    const DriverRun saved = runDriver(args, home.base);
    QVERIFY2(saved.trouble().isEmpty(), qPrintable(saved.trouble()));
    QCOMPARE(saved.out.value(QLatin1String("esciStatus")).toInt(), 0);
    QCOMPARE(saved.strings("saveErrors"), QStringList());
    const DriverRun next = runDriver({QStringLiteral("start")}, home.base);
    QVERIFY2(next.trouble().isEmpty(), qPrintable(next.trouble()));
    QCOMPARE(next.exitCode, 0);
    QCOMPARE(next.out.value(QLatin1String("welcome")).toInt(), 0);
    QCOMPARE(next.out.value(QLatin1String("soglia")).toInt(), 77);
    QCOMPARE(next.out.value(QLatin1String("sipp")).toInt(), 0);
    QCOMPARE(next.out.value(QLatin1String("sx")).toDouble(), 1500.0);
    QCOMPARE(next.out.value(QLatin1String("top")).toDouble(), 2500.0);
    QCOMPARE(next.out.value(QLatin1String("messaggio")).toString().size(), messaggioLen);
    QCOMPARE(listing(home.folder), QStringList{QStringLiteral("Ambrovia.ini")});
}

void TestSave::unusualButWritable_data()
{
    QTest::addColumn<QString>("kind");
    QTest::newRow("the file is a symlink: the link stays, its target is saved") << "symlink";
    QTest::newRow("folder writable but not listable") << "folder 300";
    QTest::newRow("a temporary file left by a killed save") << "stray temp";
}

void TestSave::unusualButWritable()
{
    QFETCH(QString, kind);
    faults_ = 0;
    Home home;
    const DriverRun made = runDriver(saving({"--messaggio", "vecchio"}), home.base);
    QVERIFY2(made.trouble().isEmpty(), qPrintable(made.trouble()));
    QCOMPARE(made.exitCode, 0);
    bool asNobody = false;
    const QString target = home.dir.path() + QStringLiteral("/dotfiles/Ambrovia.ini");
    QString stray;
    if (kind == QLatin1String("symlink")) {
        QVERIFY(QDir().mkpath(QFileInfo(target).absolutePath()));
        QVERIFY(QFile::rename(home.path, target));
        QVERIFY(QFile::link(target, home.path));
    } else if (kind == QLatin1String("folder 300")) {
        asNobody = true;
        QVERIFY(giveToNobody(home.base));
        QVERIFY(giveToNobody(home.folder));
        QVERIFY(giveToNobody(home.path));
        QVERIFY(setMode(home.folder, 0300));
    } else {
        stray = home.path + QStringLiteral(".Xy12Ab");
        QVERIFY(writeBytes(stray, "[Generale]\nSoglia=9"));
    }

    const DriverRun saved =
        runDriver(saving({"--soglia", "42", "--messaggio", "nuovo"}, asNobody), home.base);
    if (saved.finished && saved.exitCode == 65)
        QSKIP("cannot become the user nobody here");
    faults_ = 1;
    QVERIFY2(saved.trouble().isEmpty(), qPrintable(saved.trouble()));
    QCOMPARE(saved.out.value(QLatin1String("esciStatus")).toInt(), 0);
    QCOMPARE(saved.strings("saveErrors"), QStringList());
    QVERIFY(setMode(home.folder, 0755));

    const DriverRun next = runDriver({QStringLiteral("start")}, home.base);
    QVERIFY2(next.trouble().isEmpty(), qPrintable(next.trouble()));
    QCOMPARE(next.out.value(QLatin1String("soglia")).toInt(), 42);
    QCOMPARE(next.out.value(QLatin1String("messaggio")).toString(), QStringLiteral("nuovo"));
    if (kind == QLatin1String("symlink")) {
        QVERIFY(QFileInfo(home.path).isSymLink());
        QVERIFY(bytesOrNote(target).contains("Messaggio=nuovo\n"));
    }
    if (!stray.isEmpty())
        QCOMPARE(bytesOrNote(stray), QByteArray("[Generale]\nSoglia=9"));
}

int main(int argc, char** argv)
{
    // A mount namespace of our own before any thread exists: the small file
    // systems below are seen by this test and its children only, and vanish
    // with them.
    g_privateMounts = ::unshare(CLONE_NEWNS) == 0 &&
                      ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) == 0;
    QCoreApplication app(argc, argv);
    TestSave test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_hardening_settings_save.moc"
