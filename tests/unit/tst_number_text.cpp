// The number texts of the settings store, rounding, and the SIPP rule.
#include "number_text.h"
#include "rounding.h"

#include <QTest>

#include <clocale>

using namespace tellavo;

Q_DECLARE_METATYPE(tellavo::ConversionError)
Q_DECLARE_METATYPE(tellavo::SippSetting)

namespace {
const QLocale kC = QLocale::c();
const QLocale kItalian(QLocale::Italian, QLocale::Italy);
}  // namespace

class TestNumberText : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void roundHalfEven_data();
    void roundHalfEven();
    void textToByte_data();
    void textToByte();
    void singleToText_data();
    void singleToText();
    void textToSingle_data();
    void textToSingle();
    void wholeTwipsRoundTrip_data();
    void wholeTwipsRoundTrip();
    void sipp_data();
    void sipp();
    void sippWritten();
};

void TestNumberText::initTestCase()
{
    // The C locale a run asks for is the one in force: the Italian run would
    // otherwise test the C locale again where it_IT is not installed.
    if (qEnvironmentVariableIsSet("LC_ALL"))
        QCOMPARE(QByteArray(std::setlocale(LC_ALL, nullptr)), qgetenv("LC_ALL"));
}

void TestNumberText::roundHalfEven_data()
{
    QTest::addColumn<double>("in");
    QTest::addColumn<double>("out");
    QTest::newRow("0.5") << 0.5 << 0.0;
    QTest::newRow("1.5") << 1.5 << 2.0;
    QTest::newRow("2.5") << 2.5 << 2.0;
    QTest::newRow("3.5") << 3.5 << 4.0;
    QTest::newRow("14.5") << 14.5 << 14.0;
    QTest::newRow("23.5") << 23.5 << 24.0;
    QTest::newRow("2.4999") << 2.4999 << 2.0;
    QTest::newRow("2.5000001") << 2.5000001 << 3.0;
    QTest::newRow("-0.5") << -0.5 << 0.0;
    QTest::newRow("-1.5") << -1.5 << -2.0;
    QTest::newRow("-2.5") << -2.5 << -2.0;
    QTest::newRow("-2.6") << -2.6 << -3.0;
    QTest::newRow("6.6667") << 100.0 / 15.0 << 7.0;
    QTest::newRow("huge") << 1e300 << 1e300;
    QTest::newRow("2^53+1 region") << 9007199254740993.0 << 9007199254740992.0;
}

void TestNumberText::roundHalfEven()
{
    QFETCH(double, in);
    QFETCH(double, out);
    QCOMPARE(tellavo::roundHalfEven(in), out);
}

void TestNumberText::textToByte_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QLocale>("locale");
    QTest::addColumn<int>("value");
    QTest::addColumn<ConversionError>("error");
    const auto ok = ConversionError::None;
    const auto mismatch = ConversionError::TypeMismatch;
    const auto overflow = ConversionError::Overflow;
    QTest::newRow("0") << "0" << kC << 0 << ok;
    QTest::newRow("20") << "20" << kC << 20 << ok;
    QTest::newRow("255") << "255" << kC << 255 << ok;
    QTest::newRow("256") << "256" << kC << 0 << overflow;
    QTest::newRow("-1") << "-1" << kC << 0 << overflow;
    QTest::newRow("12.5 C") << "12.5" << kC << 12 << ok;
    QTest::newRow("13.5 C") << "13.5" << kC << 14 << ok;
    QTest::newRow("12,5 it") << "12,5" << kItalian << 12 << ok;
    QTest::newRow("13,5 it") << "13,5" << kItalian << 14 << ok;
    QTest::newRow("-0.5 rounds to 0") << "-0.5" << kC << 0 << ok;
    QTest::newRow("-0.6 rounds to -1") << "-0.6" << kC << 0 << overflow;
    QTest::newRow("255.5 rounds to 256") << "255.5" << kC << 0 << overflow;
    QTest::newRow("254.5 rounds to 254") << "254.5" << kC << 254 << ok;
    QTest::newRow("1e2") << "1e2" << kC << 100 << ok;
    QTest::newRow("1e3") << "1e3" << kC << 0 << overflow;
    QTest::newRow("abc") << "abc" << kC << 0 << mismatch;
    QTest::newRow("empty") << "" << kC << 0 << mismatch;
    QTest::newRow("blank") << "  " << kC << 0 << mismatch;
    QTest::newRow("12a") << "12a" << kC << 0 << mismatch;
    QTest::newRow("nan") << "nan" << kC << 0 << mismatch;
    QTest::newRow("inf") << "inf" << kC << 0 << mismatch;
    // Beyond a double: too big is an overflow, not a word; too small is 0.
    QTest::newRow("huge digits") << QString(400, QLatin1Char('9')) << kC << 0 << overflow;
    QTest::newRow("1e400") << "1e400" << kC << 0 << overflow;
    QTest::newRow("-1e400") << "-1e400" << kC << 0 << overflow;
    QTest::newRow("1,5e400 it") << "1,5e400" << kItalian << 0 << overflow;
    QTest::newRow("1e-400") << "1e-400" << kC << 0 << ok;
    QTest::newRow("1,5e-400 it") << "1,5e-400" << kItalian << 0 << ok;
    QTest::newRow("1e400x") << "1e400x" << kC << 0 << mismatch;
    QTest::newRow("comma in C") << "12,5" << kC << 0 << mismatch;
    QTest::newRow("point in it") << "12.5" << kItalian << 12 << ok;
    QTest::newRow("group separator it") << "1.000" << kItalian << 0 << overflow;
}

void TestNumberText::textToByte()
{
    QFETCH(QString, text);
    QFETCH(QLocale, locale);
    QFETCH(int, value);
    QFETCH(ConversionError, error);
    const ByteResult r = tellavo::textToByte(text, locale);
    QCOMPARE(r.error, error);
    if (error == ConversionError::None)
        QCOMPARE(int(r.value), value);
}

void TestNumberText::singleToText_data()
{
    QTest::addColumn<float>("value");
    QTest::addColumn<QLocale>("locale");
    QTest::addColumn<QString>("text");
    QTest::newRow("735") << 735.0f << kC << "735";
    QTest::newRow("-120") << -120.0f << kC << "-120";
    QTest::newRow("0") << 0.0f << kC << "0";
    QTest::newRow("-0") << -0.0f << kC << "0";
    QTest::newRow("1500 no group separator it") << 1500.0f << kItalian << "1500";
    QTest::newRow("1234567 it") << 1234567.0f << kItalian << "1234567";
    QTest::newRow("12.5 C") << 12.5f << kC << "12.5";
    QTest::newRow("12.5 it") << 12.5f << kItalian << "12,5";
    QTest::newRow("-12.25 it") << -12.25f << kItalian << "-12,25";
    QTest::newRow("Latin digits in ar")
        << -12.5f << QLocale(QLocale::Arabic, QLocale::Egypt) << QString::fromUtf8("-12\u066b5");
    QTest::newRow("0.1 seven digits") << 0.1f << kC << "0.1";
    QTest::newRow("1/3 seven digits") << (1.0f / 3.0f) << kC << "0.3333333";
    QTest::newRow("large in exponent form") << 12345678.0f << kC << "1.234568E+07";
    QTest::newRow("large in exponent form it") << -12345678.0f << kItalian << "-1,234568E+07";
    QTest::newRow("small in exponent form") << 1e-7f << kC << "1E-07";
    QTest::newRow("near the largest single") << 1e38f << kC << "1E+38";
}

void TestNumberText::singleToText()
{
    QFETCH(float, value);
    QFETCH(QLocale, locale);
    QFETCH(QString, text);
    QCOMPARE(tellavo::singleToText(value, locale), text);
}

void TestNumberText::textToSingle_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QLocale>("locale");
    QTest::addColumn<float>("value");
    QTest::addColumn<ConversionError>("error");
    const auto ok = ConversionError::None;
    QTest::newRow("100") << "100" << kC << 100.0f << ok;
    QTest::newRow("-120") << "-120" << kC << -120.0f << ok;
    QTest::newRow("12,5 it") << "12,5" << kItalian << 12.5f << ok;
    QTest::newRow("12.5 C") << "12.5" << kC << 12.5f << ok;
    QTest::newRow("exponent form") << "1.234568e+07" << kC << 12345680.0f << ok;
    QTest::newRow("exponent form as written") << "1.234568E+07" << kC << 12345680.0f << ok;
    QTest::newRow("exponent form as written it")
        << "-1,234568E+07" << kItalian << -12345680.0f << ok;
    QTest::newRow("abc") << "abc" << kC << 0.0f << ConversionError::TypeMismatch;
    QTest::newRow("empty") << "" << kC << 0.0f << ConversionError::TypeMismatch;
    QTest::newRow("inf") << "inf" << kC << 0.0f << ConversionError::TypeMismatch;
    QTest::newRow("beyond single") << "1e39" << kC << 0.0f << ConversionError::Overflow;
    QTest::newRow("-beyond single") << "-1e39" << kC << 0.0f << ConversionError::Overflow;
    QTest::newRow("largest single") << "3.4e38" << kC << 3.4e38f << ok;
    QTest::newRow("beyond double") << "1e400" << kC << 0.0f << ConversionError::Overflow;
    QTest::newRow("below double") << "-1e-400" << kC << 0.0f << ok;
}

void TestNumberText::textToSingle()
{
    QFETCH(QString, text);
    QFETCH(QLocale, locale);
    QFETCH(float, value);
    QFETCH(ConversionError, error);
    const SingleResult r = tellavo::textToSingle(text, locale);
    QCOMPARE(r.error, error);
    if (error == ConversionError::None)
        QCOMPARE(r.value, value);
}

void TestNumberText::wholeTwipsRoundTrip_data()
{
    QTest::addColumn<QLocale>("locale");
    QTest::newRow("C") << kC;
    QTest::newRow("it") << kItalian;
    QTest::newRow("de") << QLocale(QLocale::German, QLocale::Germany);
    QTest::newRow("ar") << QLocale(QLocale::Arabic, QLocale::Egypt);
}

void TestNumberText::wholeTwipsRoundTrip()
{
    // Every whole pixel position of a 16-bit X screen at 15, 12 and 10 twips
    // per pixel comes back exactly.
    QFETCH(QLocale, locale);
    for (const int perPixel : {15, 12, 10}) {
        for (int px = -32768; px <= 32767; px += 7) {
            const float twips = float(px * perPixel);
            const SingleResult back =
                tellavo::textToSingle(tellavo::singleToText(twips, locale), locale);
            QVERIFY2(back.ok(), qPrintable(QString::number(px)));
            QCOMPARE(back.value, twips);
        }
    }
}

void TestNumberText::sipp_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<SippSetting>("setting");
    QTest::newRow("1") << "1" << SippSetting::On;
    QTest::newRow("-1") << "-1" << SippSetting::Off;
    QTest::newRow("0") << "0" << SippSetting::FirstRun;
    QTest::newRow("empty") << "" << SippSetting::Off;
    QTest::newRow("x") << "x" << SippSetting::Off;
    QTest::newRow("blank 1") << " 1" << SippSetting::Off;
    QTest::newRow("01") << "01" << SippSetting::Off;
    QTest::newRow("true") << "true" << SippSetting::Off;
    QTest::newRow("00") << "00" << SippSetting::Off;
}

void TestNumberText::sipp()
{
    QFETCH(QString, text);
    QFETCH(SippSetting, setting);
    QCOMPARE(tellavo::readSipp(text), setting);
}

void TestNumberText::sippWritten()
{
    QCOMPARE(sippToText(-1), QStringLiteral("1"));
    QCOMPARE(sippToText(0), QStringLiteral("-1"));
    // "0" is never written: it would greet the user again on the next start.
    QCOMPARE(sippToText(1), QStringLiteral("1"));
}

QTEST_GUILESS_MAIN(TestNumberText)
#include "tst_number_text.moc"
