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
QString typeMismatch(const char* key, const QString& text)
{
    return valueError("Tipo non corrispondente", key, text);
}
QString overflow(const char* key, const QString& text)
{
    return valueError("Overflow", key, text);
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

    // Every key absent, in files that are there.
    QTest::newRow("only the section line") << section("") << c << firstRun() << false;
    QTest::newRow("only other sections")
        << QByteArray("[Altro]\nSoglia=50\nSIPP=1\nSx=5\n") << c << firstRun() << true;
    QTest::newRow("keys in another case")
        << QByteArray("[generale]\nSoglia=50\n[Generale]\nsoglia=9\nsipp=1\nSX=5\nMESSAGGIO=x\n")
        << c << firstRun() << false;
    QTest::newRow("keys outside any section")
        << QByteArray("Soglia=50\nSIPP=1\nMessaggio=x\n[Generale]\n") << c << firstRun() << false;
    QTest::newRow("keys only in comments")
        << QByteArray("; [Generale]\n;Soglia=50\n# SIPP=1\n[Generale]\n  ; Sx=5\n") << c
        << firstRun() << false;
    QTest::newRow("blank lines and CRLFs only")
        << QByteArray("\r\n\r\n   \n\t\n\r\n") << c << firstRun() << false;
    QTest::newRow("percent-encoded key name")
        << section(on + "%53oglia=20\n") << c << starts(0, -1) << false;

    // Empty values.
    QTest::newRow("all five keys empty") << section("Soglia=\nSIPP=\nSx=\nTop=\nMessaggio=\n") << c
                                         << fails(typeMismatch("Soglia", ""), false) << false;
    QTest::newRow("Sx empty") << section(on + "Sx=\n") << c << fails(typeMismatch("Sx", ""), true)
                              << false;
    QTest::newRow("Top blank") << section(on + "Top=   \n") << c
                               << fails(typeMismatch("Top", "   "), true) << false;

    // Blanks around values and keys.
    QTest::newRow("Soglia blank-padded")
        << section(on + "Soglia=  20  \n") << c << starts(20, -1) << false;
    QTest::newRow("Soglia tab-padded")
        << section(on + "Soglia=\t20\t\n") << c << starts(20, -1) << false;
    QTest::newRow("SIPP blank-padded is not 1")
        << section("SIPP= 1\n") << c << starts(0, 0) << false;
    QTest::newRow("SIPP 0 blank-padded is no first run")
        << section("SIPP=0 \n") << c << starts(0, 0) << false;
    QTest::newRow("Sx and Top blank-padded")
        << section(on + "Sx= 735 \nTop=\t-120\n") << c << starts(0, -1, 735, -120) << false;
    QTest::newRow("Messaggio blank-padded kept through a save")
        << section(on + "Messaggio=  Presto!\t \n") << c
        << withMessaggio(QStringLiteral("  Presto!\t ")) << true;
    QTest::newRow("key blank-padded")
        << section(on + "  Soglia\t =20\n") << c << starts(20, -1) << false;

    // Very long values and lines.
    {
        const QString big = lettersOf(1 << 20);
        QTest::newRow("Messaggio of 1 MB through a save")
            << section(on + "Messaggio=" + big.toUtf8() + "\n") << c << withMessaggio(big) << true;
        const QByteArray nines(1 << 20, '9');
        QTest::newRow("Soglia of 1 MB of digits")
            << section(on + "Soglia=" + nines + "\n") << c
            << fails(overflow("Soglia", QString(200, QLatin1Char('9'))), false) << false;
        QTest::newRow("Sx of 100 kB of digits")
            << section(on + "Sx=" + QByteArray(100000, '7') + "\n") << c
            << fails(overflow("Sx", QString(200, QLatin1Char('7'))), true) << false;
        QTest::newRow("Soglia with 100 kB of leading zeros")
            << section(on + "Soglia=" + QByteArray(100000, '0') + "12\n") << c << starts(12, -1)
            << false;
        QTest::newRow("1 MB line without equals before the keys")
            << section(QByteArray(1 << 20, 'k') + "\nSoglia=20\n" + on) << c << starts(20, -1)
            << false;
        QTest::newRow("Messaggio of 300 kB of multi-byte characters")
            << section(on + "Messaggio=" +
                       QByteArray(300000 / 3, 'x').replace("x", "\xe2\x82\xac") + "\n")
            << c << withMessaggio(QString(100000, QChar(0x20AC))) << false;
    }

    // Binary garbage.
    QTest::newRow("NUL bytes in Messaggio through a save")
        << section(on + QByteArray("Messaggio=a\0b\0\0c\n", 17)) << c
        << withMessaggio(QString::fromUtf8("a\0b\0\0c", 6)) << true;
    QTest::newRow("4 kB of garbage before the section")
        << garbage(4096, 1) + "\n" + section("Soglia=20\n" + on) << c << starts(20, -1) << false;
    QTest::newRow("a file of nothing but garbage")
        << garbage(65536, 2).replace('[', 'x').replace('=', 'y') << c << firstRun() << false;
    QTest::newRow("garbage Soglia")
        << section(QByteArray("Soglia=\x01\x02\xff\x00\x7f\n", 13)) << c
        << fails(typeMismatch("Soglia", QString::fromUtf8("\x01\x02\xff\x00\x7f", 5)), false)
        << false;
    QTest::newRow("terminal escapes in Messaggio")
        << section(on + "Messaggio=\x1b[2J\x1b]0;x\x07\x08\n") << c
        << withMessaggio(QString::fromUtf8("\x1b[2J\x1b]0;x\x07\x08")) << true;

    // Invalid UTF-8: each bad byte reads as U+FFFD, and a save keeps that text.
    QTest::newRow("Latin-1 in Messaggio through a save")
        << section(on + "Messaggio=perch\xe8 \xff\xfe fine\n") << c
        << withMessaggio(QStringLiteral("perch\uFFFD \uFFFD\uFFFD fine")) << true;
    QTest::newRow("UTF-8 cut at the end of the file")
        << section(on + "Messaggio=caf\xc3") << c << withMessaggio(QStringLiteral("caf\uFFFD"))
        << false;
    QTest::newRow("invalid UTF-8 inside Soglia")
        << section(
               "Soglia=2\xff"
               "0\n")
        << c << fails(typeMismatch("Soglia", QStringLiteral("2\uFFFD0")), false) << false;
    QTest::newRow("overlong encoding of = is no =") << section(on +
                                                               "Soglia\xc0\xbd"
                                                               "20\n")
                                                    << c << starts(0, -1) << false;
    QTest::newRow("a UTF-16 file") << utf16File(QStringLiteral("[Generale]\nSoglia=20\nSIPP=-1\n"))
                                   << c << firstRun() << false;
    QTest::newRow("CRLF line ends throughout")
        << QByteArray(
               "[Generale]\r\nSoglia=20\r\nSIPP=1\r\nSx=735\r\nTop=-120\r\nMessaggio=ciao\r\n")
        << c << starts(20, -1, 735, -120, QStringLiteral("ciao")) << true;

    QTest::newRow("section line with a comment after it")
        << QByteArray("[Generale] ; impostazioni\nSoglia=20\nSIPP=1\n") << c << starts(20, -1)
        << false;
    QTest::newRow("NUL inside a key name")
        << section(on + QByteArray("Sog\0lia=20\n", 11)) << c << starts(0, -1) << false;
    QTest::newRow("carriage return inside Messaggio through a save")
        << section(on + "Messaggio=a\rb\r\r\n") << c << withMessaggio(QStringLiteral("a\rb\r"))
        << true;
    {
        QByteArray many;
        for (int i = 0; i < 100000; ++i)
            many += "Chiave" + QByteArray::number(i) + "=a, b\n";
        QTest::newRow("100 000 unknown keys beside ours through a save")
            << section(many + "Soglia=20\n" + on) << c << starts(20, -1) << true;
    }

    // Duplicate keys: the later one stands, and a save leaves one of each.
    QTest::newRow("Soglia twice, later good")
        << section("Soglia=300\n" + on + "Soglia=20\n") << c << starts(20, -1) << true;
    QTest::newRow("Soglia twice, later bad") << section("Soglia=20\n" + on + "Soglia=300\n") << c
                                             << fails(overflow("Soglia", "300"), false) << false;
    QTest::newRow("SIPP 0 then 1") << section("SIPP=0\nSIPP=1\n") << c << starts(0, -1) << false;
    QTest::newRow("Messaggio three times")
        << section(on + "Messaggio=uno\nMessaggio=due\nMessaggio=tre\n") << c
        << withMessaggio(QStringLiteral("tre")) << true;

    // Lines without "=".
    QTest::newRow("lines without equals among the keys")
        << section("Soglia 30\nSoglia=20\nSIPP\n1\nSIPP=1\nMessaggio\n") << c << starts(20, -1)
        << false;
    QTest::newRow("only lines without equals")
        << section("Soglia 20\nSIPP 1\nMessaggio ciao\n") << c << firstRun() << false;

    // The section twice.
    QTest::newRow("[Generale] twice, keys split")
        << QByteArray("[Generale]\nSoglia=20\n[Altro]\nSoglia=99\n[Generale]\nSIPP=1\nSx=735\n")
        << c << starts(20, -1, 735, 100) << true;
    QTest::newRow("[Generale] twice, second overrides")
        << QByteArray("[Generale]\nSoglia=20\nSIPP=1\n[Generale]\nSoglia=30\n") << c
        << starts(30, -1) << false;

    // What Qt's stock INI format would read as lists, variants, quoted or
    // escaped text: here the raw text, which is no number.
    QTest::newRow("list-like Messaggio through a save")
        << section(on + "Messaggio=a, b, c\n") << c << withMessaggio(QStringLiteral("a, b, c"))
        << true;
    QTest::newRow("list-like Soglia") << section("Soglia=20, 30\n") << c
                                      << fails(typeMismatch("Soglia", "20, 30"), false) << false;
    QTest::newRow("list-like Sx") << section(on + "Sx=1, 2\n") << c
                                  << fails(typeMismatch("Sx", "1, 2"), true) << false;
    QTest::newRow("@Variant Messaggio through a save")
        << section(on + "Messaggio=@Variant(\\0\\0\\0\\x7f\\0\\0\\0\\aQString)\n") << c
        << withMessaggio(QStringLiteral("@Variant(\\0\\0\\0\\x7f\\0\\0\\0\\aQString)")) << true;
    QTest::newRow("@Variant Soglia")
        << section("Soglia=@Variant(\\0\\0\\0\\x2\\0\\0\\0\\x14)\n") << c
        << fails(typeMismatch("Soglia", "@Variant(\\0\\0\\0\\x2\\0\\0\\0\\x14)"), false) << false;
    QTest::newRow("@ByteArray Messaggio")
        << section(on + "Messaggio=@ByteArray(ciao)\n") << c
        << withMessaggio(QStringLiteral("@ByteArray(ciao)")) << false;
    QTest::newRow("quoted Messaggio")
        << section(on + "Messaggio=\"  ciao, mondo  \"\n") << c
        << withMessaggio(QStringLiteral("\"  ciao, mondo  \"")) << true;
    QTest::newRow("quoted Soglia") << section("Soglia=\"20\"\n") << c
                                   << fails(typeMismatch("Soglia", "\"20\""), false) << false;
    QTest::newRow("escapes only stock INI decodes")
        << section(on + "Messaggio=a\\tb\\x41\\101\\\"\\;\n") << c
        << withMessaggio(QStringLiteral("a\\tb\\x41\\101\\\"\\;")) << true;
    QTest::newRow("backslash at line end continues nothing")
        << section(on + "Messaggio=prima\\\nSoglia=20\n") << c
        << starts(20, -1, 100, 100, QStringLiteral("prima\\")) << false;
    QTest::newRow("comment after Soglia")
        << section("Soglia=20 ; soglia\n") << c
        << fails(typeMismatch("Soglia", "20 ; soglia"), false) << false;

    // Numbers in the user's locale (the store's texts are locale numbers).
    QTest::newRow("C: 12.5 rounds to 12")
        << section(on + "Soglia=12.5\n") << c << starts(12, -1) << false;
    QTest::newRow("C: 12,5 is no number") << section(on + "Soglia=12,5\n") << c
                                          << fails(typeMismatch("Soglia", "12,5"), false) << false;
    QTest::newRow("it: 12,5 rounds to 12")
        << section(on + "Soglia=12,5\n") << it << starts(12, -1) << false;
    QTest::newRow("it: 13,5 rounds to 14")
        << section(on + "Soglia=13,5\n") << it << starts(14, -1) << false;
    QTest::newRow("it: 12.5 written elsewhere reads too")
        << section(on + "Soglia=12.5\n") << it << starts(12, -1) << false;
    QTest::newRow("it: fractional places through a save")
        << section(on + "Sx=187,5\nTop=-0,25\n") << it << starts(0, -1, 187.5f, -0.25f) << true;
    QTest::newRow("it: 1.000 is a thousand") << section(on + "Soglia=1.000\n") << it
                                             << fails(overflow("Soglia", "1.000"), false) << false;
    QTest::newRow("de: 1.5 written elsewhere reads too")
        << section(on + "Sx=1.5\n") << de << starts(0, -1, 1.5f) << false;
    QTest::newRow("ar: native digits")
        << section(on + "Soglia=\u0662\u0660\n") << ar << starts(20, -1) << false;

    // Soglia at and beyond its range.
    QTest::newRow("Soglia 255") << section(on + "Soglia=255\n") << c << starts(255, -1) << false;
    QTest::newRow("Soglia 256") << section(on + "Soglia=256\n") << c
                                << fails(overflow("Soglia", "256"), false) << false;
    QTest::newRow("Soglia -1") << section(on + "Soglia=-1\n") << c
                               << fails(overflow("Soglia", "-1"), false) << false;
    QTest::newRow("Soglia 13.5") << section(on + "Soglia=13.5\n") << c << starts(14, -1) << false;
    QTest::newRow("Soglia 254.5 rounds down to even")
        << section(on + "Soglia=254.5\n") << c << starts(254, -1) << false;
    QTest::newRow("Soglia 255.5 rounds up past the range")
        << section(on + "Soglia=255.5\n") << c << fails(overflow("Soglia", "255.5"), false)
        << false;
    QTest::newRow("Soglia -0.5 rounds to 0")
        << section(on + "Soglia=-0.5\n") << c << starts(0, -1) << false;
    QTest::newRow("Soglia -0.51 rounds to -1")
        << section(on + "Soglia=-0.51\n") << c << fails(overflow("Soglia", "-0.51"), false)
        << false;
    QTest::newRow("Soglia 1e3") << section(on + "Soglia=1e3\n") << c
                                << fails(overflow("Soglia", "1e3"), false) << false;
    QTest::newRow("Soglia 2.55e2")
        << section(on + "Soglia=2.55e2\n") << c << starts(255, -1) << false;
    QTest::newRow("Soglia 1e400") << section(on + "Soglia=1e400\n") << c
                                  << fails(overflow("Soglia", "1e400"), false) << false;
    QTest::newRow("Soglia +7") << section(on + "Soglia=+7\n") << c << starts(7, -1) << false;
    QTest::newRow("Soglia 0x10") << section(on + "Soglia=0x10\n") << c
                                 << fails(typeMismatch("Soglia", "0x10"), false) << false;
    QTest::newRow("Soglia nan") << section(on + "Soglia=nan\n") << c
                                << fails(typeMismatch("Soglia", "nan"), false) << false;
    QTest::newRow("Soglia inf") << section(on + "Soglia=inf\n") << c
                                << fails(typeMismatch("Soglia", "inf"), false) << false;
    QTest::newRow("Soglia 20%") << section(on + "Soglia=20%\n") << c
                                << fails(typeMismatch("Soglia", "20%"), false) << false;

    // Sx and Top: huge, negative, fractional, not a number.
    QTest::newRow("Sx huge, within single")
        << section(on + "Sx=3.4e38\nTop=1e30\n") << c << starts(0, -1, 3.4e38f, 1e30f) << false;
    QTest::newRow("Sx beyond single")
        << section(on + "Sx=3.5e38\n") << c << fails(overflow("Sx", "3.5e38"), true) << false;
    QTest::newRow("Top beyond single, negative")
        << section(on + "Top=-3.5e38\n") << c << fails(overflow("Top", "-3.5e38"), true) << false;
    QTest::newRow("Sx beyond double")
        << section(on + "Sx=1e400\n") << c << fails(overflow("Sx", "1e400"), true) << false;
    QTest::newRow("Sx and Top negative, far off") << section(on + "Sx=-100000\nTop=-2000000\n") << c
                                                  << starts(0, -1, -100000, -2000000) << true;
    QTest::newRow("Sx and Top fractional")
        << section(on + "Sx=12.5\nTop=0.001\n") << c << starts(0, -1, 12.5f, 0.001f) << true;
    QTest::newRow("Sx too small for single reads as 0")
        << section(on + "Sx=1e-50\n") << c << starts(0, -1, 0.0f) << false;
    QTest::newRow("Sx too small even for double reads as 0")
        << section(on + "Sx=1e-400\nTop=-1e-400\n") << c << starts(0, -1, 0.0f, 0.0f) << false;
    QTest::newRow("Soglia too small even for double reads as 0")
        << section(on + "Soglia=1e-400\n") << c << starts(0, -1) << false;
    QTest::newRow("Sx with a unit")
        << section(on + "Sx=12px\n") << c << fails(typeMismatch("Sx", "12px"), true) << false;
    QTest::newRow("Top nan") << section(on + "Top=nan\n") << c
                             << fails(typeMismatch("Top", "nan"), true) << false;
    QTest::newRow("Sx and Top both bad: Sx named")
        << section(on + "Sx=x\nTop=y\n") << c << fails(typeMismatch("Sx", "x"), true) << false;
    QTest::newRow("Sx bad after SIPP 0: welcome first")
        << section("SIPP=0\nSx=x\n") << c << welcomed(fails(typeMismatch("Sx", "x"), true))
        << false;
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
