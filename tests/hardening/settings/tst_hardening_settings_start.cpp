// Start-up on hand-edited, damaged and odd settings files: each row either
// starts normally with exactly the values it names, or shows the one error box
// it names and ends with status 1; never a crash or a hang, and the file is
// left byte for byte as it was unless the row saves.
#include "harness.h"

#include <QTest>

#include <sys/stat.h>

using namespace settings_hardening;

namespace {

const QString kDefaultMessaggio = QStringLiteral("Attacca la spina!!");

// The start-up error box for a stored value that does not convert.
QString valueError(const char* failure, const char* key, const QString& text)
{
    return QStringLiteral(
               "%1\n\nIl valore di \"%2\" nelle impostazioni non è valido: \"%3\"."
               "\n\nFile delle impostazioni:\n%FILE%")
        .arg(QLatin1String(failure), QLatin1String(key), text);
}

// Any error box naming the file, where what goes wrong is ours to word.
const QString kAnyError = QStringLiteral("<any error naming the file>");

QByteArray section(const QByteArray& body)
{
    return "[Generale]\n" + body;
}

QString lettersOf(int size)
{
    QString s;
    s.reserve(size);
    for (int i = 0; i < size; ++i)
        s += QChar(u'a' + i % 26);
    return s;
}

struct Outcome {
    int status = 0;      // 0: starts; 1: error box and end
    QString error;       // the one error box, with %FILE%
    bool window = true;  // the battery window was made before the error
    bool welcome = false;
    int soglia = 0;
    int sipp = 0;
    float sx = 100, top = 100;
    QString messaggio = kDefaultMessaggio;
};

}  // namespace

Q_DECLARE_METATYPE(Outcome)

class TestStart : public CountedTest {
    Q_OBJECT
private slots:
    void storedValues_data();
    void storedValues();
    void notAPlainFile_data();
    void notAPlainFile();

private:
    void checkStart(const DriverRun& run, const Outcome& want, const QString& path);
};

namespace {

// A normal start with these values.
Outcome starts(int soglia, int sipp, float sx = 100, float top = 100,
               const QString& messaggio = kDefaultMessaggio, bool welcome = false)
{
    Outcome o;
    o.soglia = soglia;
    o.sipp = sipp;
    o.sx = sx;
    o.top = top;
    o.messaggio = messaggio;
    o.welcome = welcome;
    return o;
}
Outcome firstRun()
{
    return starts(0, -1, 100, 100, kDefaultMessaggio, true);
}
Outcome withMessaggio(const QString& messaggio)
{
    return starts(0, -1, 100, 100, messaggio);
}
// An error box before the window is made (a stored Soglia) or after it (Sx, Top).
Outcome fails(const QString& error, bool window)
{
    Outcome o;
    o.status = 1;
    o.error = error;
    o.window = window;
    return o;
}
Outcome welcomed(Outcome o)
{
    o.welcome = true;
    return o;
}
// A stored value that does not convert: Soglia is read before the window is
// made, Sx and Top after it.
Outcome typeMismatch(const char* key, const QString& text)
{
    return fails(valueError("Tipo non corrispondente", key, text), qstrcmp(key, "Soglia") != 0);
}
Outcome overflow(const char* key, const QString& text)
{
    return fails(valueError("Overflow", key, text), qstrcmp(key, "Soglia") != 0);
}

// The file's text in UTF-16 (little endian) with its byte-order mark.
QByteArray utf16File(const QString& text)
{
    QByteArray out("\xff\xfe");
    for (const QChar ch : text) {
        out += char(ch.unicode() & 0xff);
        out += char(ch.unicode() >> 8);
    }
    return out;
}

// How many lines of the section [Generale] set the key.
int timesSet(const QByteArray& file, const QByteArray& key)
{
    int count = 0;
    bool inSection = false;
    for (const QByteArray& line : file.split('\n')) {
        if (line.startsWith('['))
            inSection = line.trimmed() == "[Generale]";
        else if (inSection && line.startsWith(key + '='))
            ++count;
    }
    return count;
}

}  // namespace

void TestStart::checkStart(const DriverRun& run, const Outcome& want, const QString& path)
{
    QVERIFY2(run.trouble().isEmpty(), qPrintable(run.trouble()));
    QCOMPARE(run.out.value(QLatin1String("file")).toString(), path);
    QCOMPARE(run.exitCode, want.status);
    QCOMPARE(run.out.value(QLatin1String("mainStatus")).toInt(), want.status);
    const QStringList errors = run.strings("startErrors");
    if (want.status == 0) {
        QCOMPARE(errors, QStringList());
    } else {
        QCOMPARE(errors.size(), 1);
        if (want.error == kAnyError)
            QVERIFY2(errors[0].contains(path), qPrintable(errors[0]));
        else
            QCOMPARE(errors[0], withFile(want.error, path));
    }
    QCOMPARE(run.out.value(QLatin1String("window")).toBool(), want.window);
    // Avvisato is cleared first, whatever follows.
    QCOMPARE(run.out.value(QLatin1String("avvisato")).toInt(), 0);
    QCOMPARE(run.out.value(QLatin1String("welcome")).toInt(), want.welcome ? 1 : 0);
    if (want.status != 0)
        return;
    QCOMPARE(run.out.value(QLatin1String("soglia")).toInt(), want.soglia);
    QCOMPARE(run.out.value(QLatin1String("sipp")).toInt(), want.sipp);
    QCOMPARE(float(run.out.value(QLatin1String("sx")).toDouble()), want.sx);
    QCOMPARE(float(run.out.value(QLatin1String("top")).toDouble()), want.top);
    const QString messaggio = run.out.value(QLatin1String("messaggio")).toString();
    if (messaggio != want.messaggio)
        QFAIL(qPrintable(QStringLiteral("Messaggio: %1 characters \"%2\", want %3 \"%4\"")
                             .arg(messaggio.size())
                             .arg(messaggio.left(80))
                             .arg(want.messaggio.size())
                             .arg(want.messaggio.left(80))));
}

void TestStart::storedValues_data()
{
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<QString>("locale");
    QTest::addColumn<Outcome>("want");
    QTest::addColumn<bool>("save");  // leave through the exit command, then start again

    const QString c = QStringLiteral("C.UTF-8");
    const QString it = QStringLiteral("it_IT.UTF-8");
    const QString de = QStringLiteral("de_DE.UTF-8");
    const QString ar = QStringLiteral("ar_EG.UTF-8");
    const QByteArray on = "SIPP=1\n";
    const auto row = [&](const char* tag, const QByteArray& file, const Outcome& want,
                         bool save = false, const QString& locale = QString()) {
        QTest::newRow(tag) << file << (locale.isEmpty() ? c : locale) << want << save;
    };
    // The section with SIPP=1 first (no first run), then these lines.
    const auto kept = [&](const QByteArray& lines) { return section(on + lines); };

    // Every key absent, in files that are there.
    row("only the section line", section(""), firstRun());
    row("only other sections", "[Altro]\nSoglia=50\nSIPP=1\nSx=5\n", firstRun(), true);
    row("keys in another case",
        "[generale]\nSoglia=50\n[Generale]\nsoglia=9\nsipp=1\nSX=5\nMESSAGGIO=x\n", firstRun());
    row("keys outside any section", "Soglia=50\nSIPP=1\nMessaggio=x\n[Generale]\n", firstRun());
    row("keys only in comments", "; [Generale]\n;Soglia=50\n# SIPP=1\n[Generale]\n  ; Sx=5\n",
        firstRun());
    row("blank lines and CRLFs only", "\r\n\r\n   \n\t\n\r\n", firstRun());
    row("percent-encoded key name", kept("%53oglia=20\n"), starts(0, -1));

    // Empty values.
    row("all five keys empty", section("Soglia=\nSIPP=\nSx=\nTop=\nMessaggio=\n"),
        typeMismatch("Soglia", ""));
    row("Sx empty", kept("Sx=\n"), typeMismatch("Sx", ""));
    row("Top blank", kept("Top=   \n"), typeMismatch("Top", "   "));

    // Blanks around values and keys.
    row("Soglia blank-padded", kept("Soglia=  20  \n"), starts(20, -1));
    row("Soglia tab-padded", kept("Soglia=\t20\t\n"), starts(20, -1));
    row("SIPP blank-padded is not 1", section("SIPP= 1\n"), starts(0, 0));
    row("SIPP 0 blank-padded is no first run", section("SIPP=0 \n"), starts(0, 0));
    row("Sx and Top blank-padded", kept("Sx= 735 \nTop=\t-120\n"), starts(0, -1, 735, -120));
    row("Messaggio blank-padded kept through a save", kept("Messaggio=  Presto!\t \n"),
        withMessaggio(QStringLiteral("  Presto!\t ")), true);
    row("key blank-padded", kept("  Soglia\t =20\n"), starts(20, -1));

    // Very long values and lines.
    {
        const QString big = lettersOf(1 << 20);
        row("Messaggio of 1 MB through a save", kept("Messaggio=" + big.toUtf8() + "\n"),
            withMessaggio(big), true);
        row("Soglia of 1 MB of digits", kept("Soglia=" + QByteArray(1 << 20, '9') + "\n"),
            overflow("Soglia", QString(200, QLatin1Char('9'))));
        row("Sx of 100 kB of digits", kept("Sx=" + QByteArray(100000, '7') + "\n"),
            overflow("Sx", QString(200, QLatin1Char('7'))));
        row("Soglia with 100 kB of leading zeros",
            kept("Soglia=" + QByteArray(100000, '0') + "12\n"), starts(12, -1));
        row("1 MB line without equals before the keys",
            section(QByteArray(1 << 20, 'k') + "\nSoglia=20\n" + on), starts(20, -1));
        row("Messaggio of 300 kB of multi-byte characters",
            kept("Messaggio=" + QByteArray(300000 / 3, 'x').replace("x", "\xe2\x82\xac") + "\n"),
            withMessaggio(QString(100000, QChar(0x20AC))));
    }

    // Binary garbage.
    row("NUL bytes in Messaggio through a save", kept(QByteArray("Messaggio=a\0b\0\0c\n", 17)),
        withMessaggio(QString::fromUtf8("a\0b\0\0c", 6)), true);
    row("4 kB of garbage before the section", garbage(4096, 1) + "\n" + section("Soglia=20\n" + on),
        starts(20, -1));
    row("a file of nothing but garbage", garbage(65536, 2).replace('[', 'x').replace('=', 'y'),
        firstRun());
    row("garbage Soglia", section(QByteArray("Soglia=\x01\x02\xff\x00\x7f\n", 13)),
        typeMismatch("Soglia", QString::fromUtf8("\x01\x02\xff\x00\x7f", 5)));
    row("terminal escapes in Messaggio", kept("Messaggio=\x1b[2J\x1b]0;x\x07\x08\n"),
        withMessaggio(QString::fromUtf8("\x1b[2J\x1b]0;x\x07\x08")), true);

    // Invalid UTF-8: each bad byte reads as U+FFFD, and a save keeps that text.
    row("Latin-1 in Messaggio through a save", kept("Messaggio=perch\xe8 \xff\xfe fine\n"),
        withMessaggio(QStringLiteral("perch\uFFFD \uFFFD\uFFFD fine")), true);
    row("UTF-8 cut at the end of the file", kept("Messaggio=caf\xc3"),
        withMessaggio(QStringLiteral("caf\uFFFD")));
    row("invalid UTF-8 inside Soglia",
        section("Soglia=2\xff"
                "0\n"),
        typeMismatch("Soglia", QStringLiteral("2\uFFFD0")));
    row("overlong encoding of = is no =",
        kept("Soglia\xc0\xbd"
             "20\n"),
        starts(0, -1));
    row("a UTF-16 file", utf16File(QStringLiteral("[Generale]\nSoglia=20\nSIPP=-1\n")), firstRun());
    row("CRLF line ends throughout",
        "[Generale]\r\nSoglia=20\r\nSIPP=1\r\nSx=735\r\nTop=-120\r\nMessaggio=ciao\r\n",
        starts(20, -1, 735, -120, QStringLiteral("ciao")), true);

    row("section line with a comment after it", "[Generale] ; impostazioni\nSoglia=20\nSIPP=1\n",
        starts(20, -1));
    row("NUL inside a key name", kept(QByteArray("Sog\0lia=20\n", 11)), starts(0, -1));
    row("carriage return inside Messaggio through a save", kept("Messaggio=a\rb\r\r\n"),
        withMessaggio(QStringLiteral("a\rb\r")), true);
    {
        QByteArray many;
        for (int i = 0; i < 100000; ++i)
            many += "Chiave" + QByteArray::number(i) + "=a, b\n";
        row("100 000 unknown keys beside ours through a save", section(many + "Soglia=20\n" + on),
            starts(20, -1), true);
    }

    // Duplicate keys: the later one stands, and a save leaves one of each.
    row("Soglia twice, later good", section("Soglia=300\n" + on + "Soglia=20\n"), starts(20, -1),
        true);
    row("Soglia twice, later bad", section("Soglia=20\n" + on + "Soglia=300\n"),
        overflow("Soglia", "300"));
    row("SIPP 0 then 1", section("SIPP=0\nSIPP=1\n"), starts(0, -1));
    row("Messaggio three times", kept("Messaggio=uno\nMessaggio=due\nMessaggio=tre\n"),
        withMessaggio(QStringLiteral("tre")), true);

    // Lines without "=".
    row("lines without equals among the keys",
        section("Soglia 30\nSoglia=20\nSIPP\n1\nSIPP=1\nMessaggio\n"), starts(20, -1));
    row("only lines without equals", section("Soglia 20\nSIPP 1\nMessaggio ciao\n"), firstRun());

    // The section twice.
    row("[Generale] twice, keys split",
        "[Generale]\nSoglia=20\n[Altro]\nSoglia=99\n[Generale]\nSIPP=1\nSx=735\n",
        starts(20, -1, 735, 100), true);
    row("[Generale] twice, second overrides",
        "[Generale]\nSoglia=20\nSIPP=1\n[Generale]\nSoglia=30\n", starts(30, -1));

    // What Qt's stock INI format would read as lists, variants, quoted or
    // escaped text: here the raw text, which is no number.
    row("list-like Messaggio through a save", kept("Messaggio=a, b, c\n"),
        withMessaggio(QStringLiteral("a, b, c")), true);
    row("list-like Soglia", section("Soglia=20, 30\n"), typeMismatch("Soglia", "20, 30"));
    row("list-like Sx", kept("Sx=1, 2\n"), typeMismatch("Sx", "1, 2"));
    row("@Variant Messaggio through a save",
        kept("Messaggio=@Variant(\\0\\0\\0\\x7f\\0\\0\\0\\aQString)\n"),
        withMessaggio(QStringLiteral("@Variant(\\0\\0\\0\\x7f\\0\\0\\0\\aQString)")), true);
    row("@Variant Soglia", section("Soglia=@Variant(\\0\\0\\0\\x2\\0\\0\\0\\x14)\n"),
        typeMismatch("Soglia", "@Variant(\\0\\0\\0\\x2\\0\\0\\0\\x14)"));
    row("@ByteArray Messaggio", kept("Messaggio=@ByteArray(ciao)\n"),
        withMessaggio(QStringLiteral("@ByteArray(ciao)")));
    row("quoted Messaggio", kept("Messaggio=\"  ciao, mondo  \"\n"),
        withMessaggio(QStringLiteral("\"  ciao, mondo  \"")), true);
    row("quoted Soglia", section("Soglia=\"20\"\n"), typeMismatch("Soglia", "\"20\""));
    row("escapes only stock INI decodes", kept("Messaggio=a\\tb\\x41\\101\\\"\\;\n"),
        withMessaggio(QStringLiteral("a\\tb\\x41\\101\\\"\\;")), true);
    row("backslash at line end continues nothing", kept("Messaggio=prima\\\nSoglia=20\n"),
        starts(20, -1, 100, 100, QStringLiteral("prima\\")));
    row("comment after Soglia", section("Soglia=20 ; soglia\n"),
        typeMismatch("Soglia", "20 ; soglia"));

    // Numbers in the user's locale (the store's texts are locale numbers).
    row("C: 12.5 rounds to 12", kept("Soglia=12.5\n"), starts(12, -1));
    row("C: 12,5 is no number", kept("Soglia=12,5\n"), typeMismatch("Soglia", "12,5"));
    row("it: 12,5 rounds to 12", kept("Soglia=12,5\n"), starts(12, -1), false, it);
    row("it: 13,5 rounds to 14", kept("Soglia=13,5\n"), starts(14, -1), false, it);
    row("it: 12.5 written elsewhere reads too", kept("Soglia=12.5\n"), starts(12, -1), false, it);
    row("it: fractional places through a save", kept("Sx=187,5\nTop=-0,25\n"),
        starts(0, -1, 187.5f, -0.25f), true, it);
    row("it: 1.000 is a thousand", kept("Soglia=1.000\n"), overflow("Soglia", "1.000"), false, it);
    row("de: 1.5 written elsewhere reads too", kept("Sx=1.5\n"), starts(0, -1, 1.5f), false, de);
    row("ar: native digits", kept("Soglia=\u0662\u0660\n"), starts(20, -1), false, ar);

    // Soglia at and beyond its range.
    row("Soglia 255", kept("Soglia=255\n"), starts(255, -1));
    row("Soglia 256", kept("Soglia=256\n"), overflow("Soglia", "256"));
    row("Soglia -1", kept("Soglia=-1\n"), overflow("Soglia", "-1"));
    row("Soglia 13.5", kept("Soglia=13.5\n"), starts(14, -1));
    row("Soglia 254.5 rounds down to even", kept("Soglia=254.5\n"), starts(254, -1));
    row("Soglia 255.5 rounds up past the range", kept("Soglia=255.5\n"),
        overflow("Soglia", "255.5"));
    row("Soglia -0.5 rounds to 0", kept("Soglia=-0.5\n"), starts(0, -1));
    row("Soglia -0.51 rounds to -1", kept("Soglia=-0.51\n"), overflow("Soglia", "-0.51"));
    row("Soglia 1e3", kept("Soglia=1e3\n"), overflow("Soglia", "1e3"));
    row("Soglia 2.55e2", kept("Soglia=2.55e2\n"), starts(255, -1));
    row("Soglia 1e400", kept("Soglia=1e400\n"), overflow("Soglia", "1e400"));
    row("Soglia +7", kept("Soglia=+7\n"), starts(7, -1));
    row("Soglia 0x10", kept("Soglia=0x10\n"), typeMismatch("Soglia", "0x10"));
    row("Soglia nan", kept("Soglia=nan\n"), typeMismatch("Soglia", "nan"));
    row("Soglia inf", kept("Soglia=inf\n"), typeMismatch("Soglia", "inf"));
    row("Soglia 20%", kept("Soglia=20%\n"), typeMismatch("Soglia", "20%"));

    // Sx and Top: huge, negative, fractional, not a number.
    row("Sx huge, within single", kept("Sx=3.4e38\nTop=1e30\n"), starts(0, -1, 3.4e38f, 1e30f));
    row("Sx beyond single", kept("Sx=3.5e38\n"), overflow("Sx", "3.5e38"));
    row("Top beyond single, negative", kept("Top=-3.5e38\n"), overflow("Top", "-3.5e38"));
    row("Sx beyond double", kept("Sx=1e400\n"), overflow("Sx", "1e400"));
    row("Sx and Top negative, far off", kept("Sx=-100000\nTop=-2000000\n"),
        starts(0, -1, -100000, -2000000), true);
    row("Sx and Top fractional", kept("Sx=12.5\nTop=0.001\n"), starts(0, -1, 12.5f, 0.001f), true);
    row("Sx too small for single reads as 0", kept("Sx=1e-50\n"), starts(0, -1, 0.0f));
    row("Sx too small even for double reads as 0", kept("Sx=1e-400\nTop=-1e-400\n"),
        starts(0, -1, 0.0f, 0.0f));
    row("Soglia too small even for double reads as 0", kept("Soglia=1e-400\n"), starts(0, -1));
    row("Sx with a unit", kept("Sx=12px\n"), typeMismatch("Sx", "12px"));
    row("Top nan", kept("Top=nan\n"), typeMismatch("Top", "nan"));
    row("Sx and Top both bad: Sx named", kept("Sx=x\nTop=y\n"), typeMismatch("Sx", "x"));
    row("Sx bad after SIPP 0: welcome first", section("SIPP=0\nSx=x\n"),
        welcomed(typeMismatch("Sx", "x")));
}

void TestStart::storedValues()
{
    QFETCH(QByteArray, file);
    QFETCH(QString, locale);
    QFETCH(Outcome, want);
    QFETCH(bool, save);
    inputs_ = 1;
    faults_ = 0;

    Home home;
    QVERIFY(writeBytes(home.path, file));
    const DriverRun first = runDriver({QStringLiteral("start")}, home.base, locale);
    checkStart(first, want, home.path);
    if (QTest::currentTestFailed())
        return;
    QCOMPARE(bytesOrNote(home.path), file);
    if (!save)
        return;

    // Out through the exit command, then a new start: the same values, no
    // welcome, and the file holds each of the five keys once.
    const DriverRun saved = runDriver(saving({}), home.base, locale);
    QVERIFY2(saved.trouble().isEmpty(), qPrintable(saved.trouble()));
    QCOMPARE(saved.out.value(QLatin1String("esciStatus")).toInt(), 0);
    QCOMPARE(saved.strings("saveErrors"), QStringList());
    QCOMPARE(saved.exitCode, 0);
    const QByteArray written = bytesOrNote(home.path);
    for (const char* key : {"Soglia", "SIPP", "Sx", "Top", "Messaggio"})
        QVERIFY2(timesSet(written, key) == 1, key);
    QCOMPARE(written.count("\n[Generale]\n") + (written.startsWith("[Generale]\n") ? 1 : 0), 1);

    Outcome again = want;
    again.welcome = false;
    const DriverRun second = runDriver({QStringLiteral("start")}, home.base, locale);
    checkStart(second, again, home.path);
    QCOMPARE(bytesOrNote(home.path), written);
}

void TestStart::notAPlainFile_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<bool>("asNobody");
    QTest::addColumn<Outcome>("want");

    const QString unreadable = QStringLiteral(
        "Il file delle impostazioni non si può leggere.\n\nFile delle impostazioni:\n%FILE%");
    const QString folder = QStringLiteral(
        "Al posto del file delle impostazioni c'è una cartella.\n\nFile delle impostazioni:\n"
        "%FILE%");
    QTest::newRow("a directory") << "dir" << false << fails(folder, false);
    QTest::newRow("a directory with files in it")
        << "dir with files" << false << fails(folder, false);
    QTest::newRow("a named pipe") << "fifo" << false << fails(kAnyError, false);
    QTest::newRow("a symlink to a good file") << "symlink" << false << starts(20, -1, 735, -120);
    QTest::newRow("mode 000") << "mode 000" << true << fails(unreadable, false);
    QTest::newRow("write-only") << "mode 200" << true << fails(unreadable, false);
    const QString unsearchable = QStringLiteral(
        "La cartella delle impostazioni non si può aprire (permessi mancanti).\n\n"
        "File delle impostazioni:\n%FILE%");
    QTest::newRow("folder not searchable") << "folder 600" << true << fails(unsearchable, false);
    QTest::newRow("folder read-only: starts, writes nothing")
        << "folder 555" << true << starts(20, -1, 735, -120);
    QTest::newRow("the folder is a file: nothing stored yet")
        << "folder is a file" << false << firstRun();
}

void TestStart::notAPlainFile()
{
    QFETCH(QString, kind);
    QFETCH(bool, asNobody);
    QFETCH(Outcome, want);
    inputs_ = faults_ = 0;  // counted once the case has run

    const QByteArray good = section("Soglia=20\nSIPP=1\nSx=735\nTop=-120\n");
    Home home;
    QVERIFY(QDir().mkpath(home.folder));
    QVERIFY(giveToNobody(home.folder));
    const QString target = home.dir.path() + QStringLiteral("/elsewhere.ini");
    if (kind == QLatin1String("dir")) {
        QVERIFY(QDir().mkpath(home.path));
    } else if (kind == QLatin1String("dir with files")) {
        QVERIFY(writeBytes(home.path + QStringLiteral("/Ambrovia.ini"), good));
    } else if (kind == QLatin1String("fifo")) {
        QCOMPARE(::mkfifo(QFile::encodeName(home.path).constData(), 0644), 0);
    } else if (kind == QLatin1String("symlink")) {
        QVERIFY(writeBytes(target, good));
        QVERIFY(QFile::link(target, home.path));
    } else if (kind.startsWith(QLatin1String("mode "))) {
        QVERIFY(writeBytes(home.path, good));
        QVERIFY(giveToNobody(home.path));
        QVERIFY(setMode(home.path, kind.mid(5).toUInt(nullptr, 8)));
    } else if (kind.startsWith(QLatin1String("folder "))) {
        if (kind == QLatin1String("folder is a file")) {
            QVERIFY(QDir(home.folder).removeRecursively());
            QVERIFY(writeBytes(home.folder, "non una cartella\n"));
        } else {
            QVERIFY(writeBytes(home.path, good));
            QVERIFY(giveToNobody(home.path));
            QVERIFY(setMode(home.folder, kind.mid(7).toUInt(nullptr, 8)));
        }
    }
    const QStringList before = listing(home.folder);
    const QString kept = kind == QLatin1String("symlink") ? target : home.path;
    const QByteArray bytesBefore = bytesOrNote(kept);

    QStringList args{QStringLiteral("start")};
    if (asNobody)
        args << QStringLiteral("--as-nobody");
    // A start takes well under a second; ten is a hang.
    const DriverRun run = runDriver(args, home.base, QStringLiteral("C.UTF-8"), 10000);
    if (run.finished && run.exitCode == 65)
        QSKIP("cannot become the user nobody here");
    inputs_ = asNobody ? 0 : 1;
    faults_ = asNobody ? 1 : 0;
    checkStart(run, want, home.path);
    if (kind.startsWith(QLatin1String("folder 600")) ||
        kind.startsWith(QLatin1String("folder 555")))
        setMode(home.folder, 0755);  // to compare what is inside
    QCOMPARE(listing(home.folder), before);
    QCOMPARE(bytesOrNote(kept), bytesBefore);
    if (kind == QLatin1String("symlink"))
        QVERIFY(QFileInfo(home.path).isSymLink());
}

QTEST_GUILESS_MAIN(TestStart)

#include "tst_hardening_settings_start.moc"
