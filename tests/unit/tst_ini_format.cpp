// The settings file format: hand-written values come back as written, our own
// values round-trip, and a short write fails the save.
#include "data_row.h"
#include "ini_format.h"

#include <QBuffer>
#include <QTest>

using tellavo::test::row;

using namespace tellavo;

namespace {

// A device that takes only the first `room` bytes, as a full disk does.
class ShortDevice : public QIODevice {
public:
    explicit ShortDevice(qint64 room) : m_room(room) { open(QIODevice::WriteOnly); }

protected:
    qint64 readData(char*, qint64) override { return -1; }
    qint64 writeData(const char*, qint64 len) override
    {
        const qint64 n = qMin(len, m_room);
        m_room -= n;
        return n;
    }

private:
    qint64 m_room;
};

}  // namespace

class TestIniFormat : public QObject {
    Q_OBJECT
private slots:
    void handWritten_data();
    void handWritten();
    void structure_data();
    void structure();
    void roundTrip_data();
    void roundTrip();
    void foreignKeysSurviveSave_data();
    void foreignKeysSurviveSave();
    void shortWriteFails_data();
    void shortWriteFails();
};

void TestIniFormat::handWritten_data()
{
    QTest::addColumn<QByteArray>("line");
    QTest::addColumn<QString>("value");
    row("list-like", QByteArray("Messaggio=a, b"), "a, b");
    row("comment-like tail", QByteArray("Messaggio=a, b ; c  "), "a, b ; c  ");
    row("variant-like", QByteArray("Messaggio=@Variant(garbage)"), "@Variant(garbage)");
    row("blanks kept", QByteArray("Messaggio=  ciao  "), "  ciao  ");
    row("quotes kept", QByteArray("Messaggio=\"ciao\""), "\"ciao\"");
    row("equals in value", QByteArray("Messaggio=a=b"), "a=b");
    row("empty value", QByteArray("Messaggio="), "");
    row("lone backslash", QByteArray("Messaggio=C:\\temp\\x00e8"), "C:\\temp\\x00e8");
    row("trailing backslash", QByteArray("Messaggio=fine\\"), "fine\\");
    row("escaped backslash", QByteArray("Messaggio=a\\\\b"), "a\\b");
    row("escaped line break", QByteArray("Messaggio=a\\nb"), "a\nb");
    row("accents utf-8", QByteArray("Messaggio=perch\xc3\xa8 \xe2\x82\xac"),
        QString::fromUtf8("perch\xc3\xa8 \xe2\x82\xac"));
    row("CRLF line end", QByteArray("Messaggio=ciao\r"), "ciao");
    row("blank around key", QByteArray("  Messaggio\t= x"), " x");
}

void TestIniFormat::handWritten()
{
    QFETCH(QByteArray, line);
    QFETCH(QString, value);
    const QSettings::SettingsMap map = ini::parse("[Generale]\n" + line + "\n");
    QCOMPARE(map.value(QStringLiteral("Generale/Messaggio")).toString(), value);
    QCOMPARE(map.value(QStringLiteral("Generale/Messaggio")).typeId(), int(QMetaType::QString));
}

void TestIniFormat::structure_data()
{
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<QString>("key");
    QTest::addColumn<QString>("value");  // "<absent>" when the key must not exist
    row("later duplicate wins", QByteArray("[Generale]\nSoglia=1\nSoglia=2\n"), "Generale/Soglia",
        "2");
    row("section twice merged",
        QByteArray("[Generale]\nSoglia=5\n[Altro]\nx=1\n[Generale]\nSx=7\n"), "Generale/Soglia",
        "5");
    row("second part of merged section",
        QByteArray("[Generale]\nSoglia=5\n[Altro]\nx=1\n[Generale]\nSx=7\n"), "Generale/Sx", "7");
    row("line without equals skipped", QByteArray("[Generale]\nSoglia\nSx=3\n"), "Generale/Soglia",
        "<absent>");
    row("comment skipped", QByteArray("[Generale]\n;Soglia=9\n#Sx=1\n"), "Generale/Soglia",
        "<absent>");
    row("key before any section", QByteArray("Soglia=4\n[Generale]\nSx=1\n"), "Soglia", "4");
    row("other section not ours", QByteArray("[Altro]\nSoglia=4\n"), "Generale/Soglia", "<absent>");
    row("byte-order mark", QByteArray("\xef\xbb\xbf[Generale]\nSoglia=8\n"), "Generale/Soglia",
        "8");
    row("no final line break", QByteArray("[Generale]\nSoglia=8"), "Generale/Soglia", "8");
    row("section with blanks", QByteArray("[ Generale ]\nSoglia=8\n"), "Generale/Soglia", "8");
    row("unclosed section", QByteArray("[Generale\nSoglia=8\n"), "Generale/Soglia", "8");
    row("empty key skipped", QByteArray("[Generale]\n=8\n"), "Generale/", "<absent>");
    row("binary garbage", QByteArray("\x00\xff\xfe\n[Generale]\x01\n\x80\x81=\x00\nSoglia=3\n", 30),
        "Generale/Soglia", "3");
}

void TestIniFormat::structure()
{
    QFETCH(QByteArray, file);
    QFETCH(QString, key);
    QFETCH(QString, value);
    const QSettings::SettingsMap map = ini::parse(file);
    if (value == QLatin1String("<absent>"))
        QVERIFY(!map.contains(key));
    else
        QCOMPARE(map.value(key).toString(), value);
}

void TestIniFormat::roundTrip_data()
{
    QTest::addColumn<QString>("value");
    row("plain", "Attacca la spina!!");
    row("empty", "");
    row("leading and trailing blanks", "  a  ");
    row("tab", "\ta\t");
    row("backslashes", "C:\\n\\\\x\\");
    row("line breaks", "riga 1\nriga 2\r\nriga 3\n");
    row("ini syntax inside", "[Generale]\nSoglia=99 ; x");
    row("hash and semicolon", "; # ciao");
    row("unicode", QString::fromUtf8("\xd7\xa9\xd7\x9c\xd7\x95\xd7\x9d \xf0\x9f\x94\x8b è"));
    row("control chars", QString::fromUtf8("a\x01\x1b[31mb"));
    row("long", QString(100000, QLatin1Char('x')));
}

void TestIniFormat::roundTrip()
{
    QFETCH(QString, value);
    QSettings::SettingsMap map;
    map.insert(QStringLiteral("Generale/Messaggio"), value);
    map.insert(QStringLiteral("Generale/Soglia"), QStringLiteral("20"));
    map.insert(QStringLiteral("Altro/Messaggio"), QStringLiteral("other"));
    map.insert(QStringLiteral("top"), QStringLiteral("level"));
    const QSettings::SettingsMap back = ini::parse(ini::serialize(map));
    QCOMPARE(back.value(QStringLiteral("Generale/Messaggio")).toString(), value);
    QCOMPARE(back, map);
}

// Keys someone wrote by hand that are not ours: a save writes them back so
// that the file reads as it did, none lost, renamed or merged into ours.
void TestIniFormat::foreignKeysSurviveSave_data()
{
    QTest::addColumn<QByteArray>("file");
    row("leading slash", QByteArray("/x=1\n"));
    row("blank before slash", QByteArray("a /b=1\n"));
    row("blank after slash", QByteArray("a/ b=1\n"));
    row("comment sign after slash", QByteArray("a/;b=1\n"));
    row("hash after slash", QByteArray("a/#b=1\n"));
    row("bracket after slash", QByteArray("a/[b=1\n"));
    row("section a slash", QByteArray("[/]\nk=1\n"));
    row("section with inner blank", QByteArray("[a/ b]\nk=1\n"));
    row("like ours, with a blank",
        QByteArray("[Generale]\nSoglia=20\n[Generale ]\nSoglia=99\nGenerale /Soglia=98\n"));
    row("byte-order marks", QByteArray("\xef\xbb\xbf\xef\xbb\xbf\xef\xbb\xbfk=1\n"));
}

void TestIniFormat::foreignKeysSurviveSave()
{
    QFETCH(QByteArray, file);
    QSettings::SettingsMap map = ini::parse(file);
    map.insert(QStringLiteral("Generale/Soglia"), QStringLiteral("20"));
    const QSettings::SettingsMap back = ini::parse(ini::serialize(map));
    QCOMPARE(back, map);
}

void TestIniFormat::shortWriteFails_data()
{
    QTest::addColumn<qint64>("room");
    row("nothing", qint64(0));
    row("one byte", qint64(1));
    row("all but one", qint64(-1));
}

void TestIniFormat::shortWriteFails()
{
    QFETCH(qint64, room);
    QSettings::SettingsMap map;
    map.insert(QStringLiteral("Generale/Messaggio"), QString(1000, QLatin1Char('m')));
    const qint64 size = ini::serialize(map).size();
    ShortDevice device(room < 0 ? size + room : room);
    QVERIFY(!ini::writeDevice(device, map));

    QBuffer full;
    full.open(QIODevice::WriteOnly);
    QVERIFY(ini::writeDevice(full, map));
    QCOMPARE(full.data().size(), size);
}

QTEST_GUILESS_MAIN(TestIniFormat)
#include "tst_ini_format.moc"
