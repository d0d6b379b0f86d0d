// The settings file format: hand-written values come back as written, our own
// values round-trip, and a short write fails the save.
#include "ini_format.h"

#include <QBuffer>
#include <QTest>

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
    QTest::newRow("list-like") << QByteArray("Messaggio=a, b") << "a, b";
    QTest::newRow("comment-like tail") << QByteArray("Messaggio=a, b ; c  ") << "a, b ; c  ";
    QTest::newRow("variant-like") << QByteArray("Messaggio=@Variant(garbage)")
                                  << "@Variant(garbage)";
    QTest::newRow("blanks kept") << QByteArray("Messaggio=  ciao  ") << "  ciao  ";
    QTest::newRow("quotes kept") << QByteArray("Messaggio=\"ciao\"") << "\"ciao\"";
    QTest::newRow("equals in value") << QByteArray("Messaggio=a=b") << "a=b";
    QTest::newRow("empty value") << QByteArray("Messaggio=") << "";
    QTest::newRow("lone backslash") << QByteArray("Messaggio=C:\\temp\\x00e8") << "C:\\temp\\x00e8";
    QTest::newRow("trailing backslash") << QByteArray("Messaggio=fine\\") << "fine\\";
    QTest::newRow("escaped backslash") << QByteArray("Messaggio=a\\\\b") << "a\\b";
    QTest::newRow("escaped line break") << QByteArray("Messaggio=a\\nb") << "a\nb";
    QTest::newRow("accents utf-8") << QByteArray("Messaggio=perch\xc3\xa8 \xe2\x82\xac")
                                   << QString::fromUtf8("perch\xc3\xa8 \xe2\x82\xac");
    QTest::newRow("CRLF line end") << QByteArray("Messaggio=ciao\r") << "ciao";
    QTest::newRow("blank around key") << QByteArray("  Messaggio\t= x") << " x";
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
    QTest::newRow("later duplicate wins")
        << QByteArray("[Generale]\nSoglia=1\nSoglia=2\n") << "Generale/Soglia"
        << "2";
    QTest::newRow("section twice merged")
        << QByteArray("[Generale]\nSoglia=5\n[Altro]\nx=1\n[Generale]\nSx=7\n") << "Generale/Soglia"
        << "5";
    QTest::newRow("second part of merged section")
        << QByteArray("[Generale]\nSoglia=5\n[Altro]\nx=1\n[Generale]\nSx=7\n") << "Generale/Sx"
        << "7";
    QTest::newRow("line without equals skipped")
        << QByteArray("[Generale]\nSoglia\nSx=3\n") << "Generale/Soglia"
        << "<absent>";
    QTest::newRow("comment skipped")
        << QByteArray("[Generale]\n;Soglia=9\n#Sx=1\n") << "Generale/Soglia"
        << "<absent>";
    QTest::newRow("key before any section")
        << QByteArray("Soglia=4\n[Generale]\nSx=1\n") << "Soglia"
        << "4";
    QTest::newRow("other section not ours")
        << QByteArray("[Altro]\nSoglia=4\n") << "Generale/Soglia"
        << "<absent>";
    QTest::newRow("byte-order mark")
        << QByteArray("\xef\xbb\xbf[Generale]\nSoglia=8\n") << "Generale/Soglia"
        << "8";
    QTest::newRow("no final line break") << QByteArray("[Generale]\nSoglia=8") << "Generale/Soglia"
                                         << "8";
    QTest::newRow("section with blanks")
        << QByteArray("[ Generale ]\nSoglia=8\n") << "Generale/Soglia"
        << "8";
    QTest::newRow("unclosed section") << QByteArray("[Generale\nSoglia=8\n") << "Generale/Soglia"
                                      << "8";
    QTest::newRow("empty key skipped") << QByteArray("[Generale]\n=8\n") << "Generale/"
                                       << "<absent>";
    QTest::newRow("binary garbage")
        << QByteArray("\x00\xff\xfe\n[Generale]\x01\n\x80\x81=\x00\nSoglia=3\n", 30)
        << "Generale/Soglia"
        << "3";
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
    QTest::newRow("plain") << "Attacca la spina!!";
    QTest::newRow("empty") << "";
    QTest::newRow("leading and trailing blanks") << "  a  ";
    QTest::newRow("tab") << "\ta\t";
    QTest::newRow("backslashes") << "C:\\n\\\\x\\";
    QTest::newRow("line breaks") << "riga 1\nriga 2\r\nriga 3\n";
    QTest::newRow("ini syntax inside") << "[Generale]\nSoglia=99 ; x";
    QTest::newRow("hash and semicolon") << "; # ciao";
    QTest::newRow("unicode") << QString::fromUtf8(
        "\xd7\xa9\xd7\x9c\xd7\x95\xd7\x9d \xf0\x9f\x94\x8b è");
    QTest::newRow("control chars") << QString::fromUtf8("a\x01\x1b[31mb");
    QTest::newRow("long") << QString(100000, QLatin1Char('x'));
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
    QTest::newRow("leading slash") << QByteArray("/x=1\n");
    QTest::newRow("blank before slash") << QByteArray("a /b=1\n");
    QTest::newRow("blank after slash") << QByteArray("a/ b=1\n");
    QTest::newRow("comment sign after slash") << QByteArray("a/;b=1\n");
    QTest::newRow("hash after slash") << QByteArray("a/#b=1\n");
    QTest::newRow("bracket after slash") << QByteArray("a/[b=1\n");
    QTest::newRow("section a slash") << QByteArray("[/]\nk=1\n");
    QTest::newRow("section with inner blank") << QByteArray("[a/ b]\nk=1\n");
    QTest::newRow("like ours, with a blank")
        << QByteArray("[Generale]\nSoglia=20\n[Generale ]\nSoglia=99\nGenerale /Soglia=98\n");
    QTest::newRow("byte-order marks") << QByteArray("\xef\xbb\xbf\xef\xbb\xbf\xef\xbb\xbfk=1\n");
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
    QTest::newRow("nothing") << qint64(0);
    QTest::newRow("one byte") << qint64(1);
    QTest::newRow("all but one") << qint64(-1);
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
