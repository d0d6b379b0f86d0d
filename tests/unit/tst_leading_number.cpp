// The threshold text's leading-number rule and the two ranges built on it.
#include "leading_number.h"
#include "threshold_rules.h"

#include <QTest>

#include <cmath>

using namespace tellavo;

class TestLeadingNumber : public QObject {
    Q_OBJECT
private slots:
    void read_data();
    void read();
    void slider_data();
    void slider();
    void threshold_data();
    void threshold();
};

void TestLeadingNumber::read_data()
{
    const double inf = std::numeric_limits<double>::infinity();
    QTest::addColumn<QString>("text");
    QTest::addColumn<double>("value");
    // The rule's own examples.
    QTest::newRow("12a") << "12a" << 12.0;
    QTest::newRow("abc") << "abc" << 0.0;
    QTest::newRow("empty") << "" << 0.0;
    QTest::newRow("blank 7") << " 7" << 7.0;
    QTest::newRow("-5") << "-5" << -5.0;
    QTest::newRow("1e2") << "1e2" << 100.0;
    QTest::newRow("&HF") << "&HF" << 15.0;
    QTest::newRow("5,5") << "5,5" << 5.0;
    QTest::newRow("2.5") << "2.5" << 2.5;
    // Blanks, tabs and line feeds skipped wherever they stand.
    QTest::newRow("blanks inside digits") << "1 2\t3" << 123.0;
    QTest::newRow("blank after sign") << "- 4" << -4.0;
    QTest::newRow("line feed inside") << "1\n5" << 15.0;
    QTest::newRow("carriage return stops") << "1\r5" << 1.0;
    QTest::newRow("blank in exponent") << "1 e 2" << 100.0;
    // Signs, points and exponents.
    QTest::newRow("plus sign") << "+8" << 8.0;
    QTest::newRow("lone sign") << "-" << 0.0;
    QTest::newRow("lone plus") << "+" << 0.0;
    QTest::newRow("two signs") << "--5" << 0.0;
    QTest::newRow("sign then letter") << "-x" << 0.0;
    QTest::newRow("lone point") << "." << 0.0;
    QTest::newRow("point first") << ".5" << 0.5;
    QTest::newRow("point last") << "5." << 5.0;
    QTest::newRow("1.2.3") << "1.2.3" << 1.2;
    QTest::newRow("exponent D") << "1D3" << 1000.0;
    QTest::newRow("exponent lower d") << "2d1" << 20.0;
    QTest::newRow("exponent negative") << "25e-1" << 2.5;
    QTest::newRow("exponent without digits") << "7e" << 7.0;
    QTest::newRow("exponent sign without digits") << "7e+" << 7.0;
    QTest::newRow("exponent then letters") << "7ex" << 7.0;
    QTest::newRow("negative zero") << "-0" << 0.0;
    // Hex and octal.
    QTest::newRow("&H no digits") << "&H" << 0.0;
    QTest::newRow("& alone") << "&" << 0.0;
    QTest::newRow("&X unknown") << "&X1" << 0.0;
    QTest::newRow("&hff lower case") << "&hff" << 255.0;
    QTest::newRow("&O17") << "&O17" << 15.0;
    QTest::newRow("&O8 not octal") << "&O8" << 0.0;
    QTest::newRow("&HFFFF is 16-bit -1") << "&HFFFF" << -1.0;
    QTest::newRow("&H7FFF") << "&H7FFF" << 32767.0;
    QTest::newRow("&H10000 is 32-bit") << "&H10000" << 65536.0;
    QTest::newRow("&HFFFFFFFF is -1") << "&HFFFFFFFF" << -1.0;
    QTest::newRow("&H beyond 32 bits") << "&H100000000" << inf;
    QTest::newRow("&H with blanks") << "& H 1 0" << 16.0;
    QTest::newRow("hex stops at g") << "&H1G" << 1.0;
    // Digit strings that break naive parsers.
    QTest::newRow("400 nines") << QString(400, QLatin1Char('9')) << inf;
    QTest::newRow("-400 nines") << "-" + QString(400, QLatin1Char('9')) << -inf;
    QTest::newRow("1e400") << "1e400" << inf;
    QTest::newRow("1e-400") << "1e-400" << 0.0;
    QTest::newRow("huge exponent digits") << "1e99999999999999999999" << inf;
    QTest::newRow("zero with huge exponent") << "0e99999999" << 0.0;
    QTest::newRow("tiny fraction huge exponent")
        << "0." + QString(1000, QLatin1Char('0')) + "1e10" << 0.0;
    QTest::newRow("long zeros then 5") << QString(500, QLatin1Char('0')) + "5" << 5.0;
    QTest::newRow("arabic digits not digits") << QString::fromUtf8("\xd9\xa5") << 0.0;
    QTest::newRow("full-width digit") << QString::fromUtf8("\xef\xbc\x95") << 0.0;
}

void TestLeadingNumber::read()
{
    QFETCH(QString, text);
    QFETCH(double, value);
    const double got = readLeadingNumber(text);
    QCOMPARE(got, value);
    QVERIFY(!std::signbit(got) || got != 0.0);
}

void TestLeadingNumber::slider_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("value");  // -1: the slider stays
    QTest::newRow("20") << "20" << 20;
    QTest::newRow("9.5 to 10") << "9.5" << 10;
    QTest::newRow("2.5 to 2") << "2.5" << 2;
    QTest::newRow("abc to 0") << "abc" << 0;
    QTest::newRow("empty to 0") << "" << 0;
    QTest::newRow("100") << "100" << 100;
    QTest::newRow("100.5 to 100") << "100.5" << 100;
    QTest::newRow("100.6 refused") << "100.6" << -1;
    QTest::newRow("150 refused") << "150" << -1;
    QTest::newRow("-1 refused") << "-1" << -1;
    QTest::newRow("-0.5 to 0") << "-0.5" << 0;
    QTest::newRow("beyond 32 bits refused") << "1e10" << -1;
    QTest::newRow("infinite refused") << "1e400" << -1;
}

void TestLeadingNumber::slider()
{
    QFETCH(QString, text);
    QFETCH(int, value);
    const std::optional<int> got = sliderValueForText(text);
    QCOMPARE(got.value_or(-1), value);
}

void TestLeadingNumber::threshold_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("value");  // -1: refused
    QTest::newRow("150") << "150" << 150;
    QTest::newRow("255") << "255" << 255;
    QTest::newRow("255.5 is 256") << "255.5" << -1;
    QTest::newRow("2.5") << "2.5" << 2;
    QTest::newRow("3.5") << "3.5" << 4;
    QTest::newRow("9.5") << "9.5" << 10;
    QTest::newRow("300") << "300" << -1;
    QTest::newRow("-5") << "-5" << -1;
    QTest::newRow("-1") << "-1" << -1;
    QTest::newRow("1e9") << "1e9" << -1;
    QTest::newRow("&HFFFF") << "&HFFFF" << -1;
    QTest::newRow("&HFF") << "&HFF" << 255;
    QTest::newRow("abc") << "abc" << 0;
}

void TestLeadingNumber::threshold()
{
    QFETCH(QString, text);
    QFETCH(int, value);
    const std::optional<quint8> got = thresholdForText(text);
    QCOMPARE(got ? int(*got) : -1, value);
}

QTEST_GUILESS_MAIN(TestLeadingNumber)
#include "tst_leading_number.moc"
