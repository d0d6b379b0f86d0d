// The store's number texts on arbitrary text in a handful of locales (Latin
// and non-Latin digits, comma and point separators), checked against their
// header: a byte read is a number that rounds into 0..255, a single read is a
// finite float, both readers agree on what is a number, and what we write
// reads back in the same locale. Every input is read in every locale.
#include "number_text.h"

#include <QLocale>
#include <QString>

#include <cfloat>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <vector>

using namespace tellavo;

namespace {

[[noreturn]] void fail(const char* what, const QLocale& locale, const QString& text, double got)
{
    std::fprintf(stderr, "fuzz_number_text: %s\n  locale %s, text \"%s\", value %.9g\n", what,
                 qPrintable(locale.name()), text.toUtf8().constData(), got);
    std::fflush(stderr);
    __builtin_trap();
}

const std::vector<QLocale>& locales()
{
    static const std::vector<QLocale> all = {
        QLocale::c(),
        QLocale(QLocale::Italian, QLocale::Italy),
        QLocale(QLocale::English, QLocale::UnitedStates),
        QLocale(QLocale::German, QLocale::Germany),
        QLocale(QLocale::German, QLocale::Switzerland),  // ’ as group separator
        QLocale(QLocale::French, QLocale::France),       // narrow no-break space groups
        QLocale(QLocale::Arabic, QLocale::Egypt),        // Arabic-Indic digits, ٫
        QLocale(QLocale::Persian, QLocale::Iran),        // Persian digits, own minus
        QLocale(QLocale::Hindi, QLocale::India),
        QLocale(QLocale::Bengali, QLocale::Bangladesh),  // Bengali digits
        QLocale(QLocale::Spanish, QLocale::Spain),
        QLocale(QLocale::Russian, QLocale::Russia),
    };
    return all;
}

void checkReaders(const QString& text, const QLocale& locale)
{
    const ByteResult b = textToByte(text, locale);
    const SingleResult s = textToSingle(text, locale);
    // The error box names every failure.
    if (!b.ok() && conversionErrorText(b.error).isEmpty())
        fail("byte failure without a name", locale, text, b.value);
    if (!s.ok() && conversionErrorText(s.error).isEmpty())
        fail("single failure without a name", locale, text, double(s.value));
    if (!std::isfinite(s.value))
        fail("single read is not finite", locale, text, double(s.value));

    // Both take "a decimal number in the locale": they agree on what is one.
    if ((b.error == ConversionError::TypeMismatch) != (s.error == ConversionError::TypeMismatch))
        fail("byte and single disagree on whether the text is a number", locale, text,
             double(s.value));
    if (!s.ok())
        return;
    const double v = double(s.value);
    // The byte is the number rounded to a whole one; the single is that number
    // to float precision, so the two lie at most half a unit (and a float's
    // rounding at 256) apart.
    if (b.ok() && std::fabs(v - double(b.value)) > 0.5 + 1e-4)
        fail("byte is not the number rounded", locale, text, b.value);
    if (!b.ok() && v >= -0.49 && v <= 255.49)
        fail("a number that rounds into 0..255 is refused as a byte", locale, text, v);
    if (b.ok() && (v < -0.51 || v > 255.51))
        fail("a number outside 0..255 is taken as a byte", locale, text, v);
}

void checkSingleWriter(float value, const QLocale& locale)
{
    const QString text = singleToText(value, locale);
    if (!std::isfinite(value))
        return;  // the store never holds one; only that it does not crash
    const QString point = locale.decimalPoint();
    // Latin digits, a plain minus, "E+" / "E-", the locale's separator.
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        if ((c >= QLatin1Char('0') && c <= QLatin1Char('9')) || c == QLatin1Char('-') ||
            c == QLatin1Char('+') || c == QLatin1Char('E'))
            continue;
        if (QStringView(text).mid(i).startsWith(point)) {
            i += point.size() - 1;
            continue;
        }
        fail("single written with a character other than digits, sign, exponent, separator", locale,
             text, double(value));
    }
    if (text.startsWith(QLatin1Char('-')) != (value < 0.0f))
        fail("leading minus does not match the sign", locale, text, double(value));
    // A whole number below a million is its digits: no separator, no exponent.
    if (std::fabs(value) < 1e6f && value == std::trunc(value) &&
        text != QString::number(qint64(value)))
        fail("whole number not written as its digits", locale, text, double(value));
    // An exponent is "E", its sign and at least two digits.
    const qsizetype exp = text.indexOf(QLatin1Char('E'));
    if (exp >= 0) {
        const QStringView tail = QStringView(text).mid(exp + 1);
        bool digits = tail.size() >= 3;
        for (qsizetype i = 1; digits && i < tail.size(); ++i)
            digits = tail[i] >= QLatin1Char('0') && tail[i] <= QLatin1Char('9');
        if (!digits || (tail[0] != QLatin1Char('+') && tail[0] != QLatin1Char('-')))
            fail("exponent not written as E, sign, two digits", locale, text, double(value));
    }
    // A separator only where a fraction follows it: never last, no trailing 0.
    const qsizetype at = text.indexOf(point);
    if (at >= 0) {
        const qsizetype end = exp >= 0 ? exp : text.size();
        if (at + point.size() >= end || text[end - 1] == QLatin1Char('0'))
            fail("separator without a fraction", locale, text, double(value));
    }
    // Seven significant digits read back in the same locale: within half a unit
    // of the seventh digit, and float rounding.
    const SingleResult back = textToSingle(text, locale);
    if (!back.ok())
        fail("written single does not read back", locale, text, double(value));
    const double err = std::fabs(double(back.value) - double(value));
    if (err > 6e-7 * std::fabs(double(value)) + double(FLT_TRUE_MIN))
        fail("written single reads back as another number", locale, text, double(back.value));
}

void checkByteWriter(quint8 value, const QLocale& locale)
{
    const QString text = QString::number(value);  // as the store writes it
    const ByteResult back = textToByte(text, locale);
    if (!back.ok() || back.value != value)
        fail("written byte does not read back", locale, text, back.value);
    // Halfway goes to the even neighbour.
    if (value < 255) {
        const QString half = text + locale.decimalPoint() + QLatin1Char('5');
        const ByteResult r = textToByte(half, locale);
        const int even = value % 2 == 0 ? value : value + 1;
        if (!r.ok() || r.value != even)
            fail("halfway not rounded to even", locale, half, r.value);
    }
}

void checkSipp(const QString& text, qint16 sipp)
{
    const SippSetting read = readSipp(sippToText(sipp));
    if (read != (sipp != 0 ? SippSetting::On : SippSetting::Off))
        fail("written always-on-top does not read back", QLocale::c(), sippToText(sipp), sipp);
    // Matched exactly: only "1" is on and only "0" is the first run.
    const SippSetting r = readSipp(text);
    if ((r == SippSetting::On) != (text == QLatin1String("1")) ||
        (r == SippSetting::FirstRun) != (text == QLatin1String("0")))
        fail("always-on-top text not matched exactly", QLocale::c(), text, 0);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const QString text = QString::fromUtf8(reinterpret_cast<const char*>(data), qsizetype(size));
    // The first bytes also serve as a float's bits, a byte and a 16-bit flag
    // for the writers.
    std::uint8_t raw[4] = {0, 0, 0, 0};
    std::memcpy(raw, data, size < 4 ? size : 4);
    float bits = 0.0f;
    std::memcpy(&bits, raw, sizeof bits);
    qint16 sipp = 0;
    std::memcpy(&sipp, raw, sizeof sipp);

    for (const QLocale& locale : locales()) {
        checkReaders(text, locale);
        const SingleResult s = textToSingle(text, locale);
        if (s.ok())
            checkSingleWriter(s.value, locale);
        checkSingleWriter(bits, locale);
        checkByteWriter(raw[0], locale);
    }
    checkSipp(text, sipp);
    return 0;
}
