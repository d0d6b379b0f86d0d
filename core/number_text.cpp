#include "number_text.h"

#include "rounding.h"

#include <QRegularExpression>

#include <locale.h>
#include <stdlib.h>

#include <cerrno>
#include <cfloat>
#include <cmath>

namespace tellavo {

namespace {

// A plain decimal number with an optional exponent, nothing else: the only
// texts whose failure to read is one of range, not of type.
bool isPlainDecimal(const QString& text)
{
    static const QRegularExpression plain(
        QStringLiteral("^\\s*[+-]?(\\d+\\.?\\d*|\\.\\d+)([eE][+-]?\\d+)?\\s*$"));
    return plain.match(text).hasMatch();
}

// The locale's reader, then the same text with the locale's decimal separator
// read as a point and Latin digits (what we write, whatever the digits of the
// locale). Qt's "nan" and "inf" are not numbers anyone stored: they fail.
// Qt fails a number beyond a double's range the same way as a word; that is
// an overflow ("1e400", a thousand digits), and one too small to hold
// ("1e-400") is 0, as a user who typed it would expect.
ConversionError readLocaleNumber(const QString& text, const QLocale& locale, double* out)
{
    bool ok = false;
    double value = locale.toDouble(text, &ok);
    QString latin = text;
    if (!ok) {
        latin.replace(locale.decimalPoint(), QLatin1String("."));
        value = QLocale::c().toDouble(latin, &ok);
    }
    if (ok && std::isfinite(value)) {
        *out = value;
        return ConversionError::None;
    }
    if (ok || !isPlainDecimal(latin))
        return ConversionError::TypeMismatch;
    const QByteArray digits = latin.trimmed().toLatin1();
    // Qt has set the C library's locale from the environment, whose decimal
    // separator may be a comma: this text has a point.
    static const locale_t c = newlocale(LC_ALL_MASK, "C", locale_t(0));
    errno = 0;
    const double range = strtod_l(digits.constData(), nullptr, c);
    if (std::isinf(range))
        return ConversionError::Overflow;
    if (errno == ERANGE && std::fabs(range) <= DBL_MIN) {
        *out = 0.0;
        return ConversionError::None;
    }
    return ConversionError::TypeMismatch;
}

}  // namespace

QString conversionErrorText(ConversionError error)
{
    return error == ConversionError::TypeMismatch ? QStringLiteral("Tipo non corrispondente")
           : error == ConversionError::Overflow   ? QStringLiteral("Overflow")
                                                  : QString();
}

ByteResult textToByte(const QString& text, const QLocale& locale)
{
    double value = 0.0;
    const ConversionError read = readLocaleNumber(text, locale, &value);
    if (read != ConversionError::None)
        return {0, read};
    const double rounded = roundHalfEven(value);
    if (rounded < 0.0 || rounded > 255.0)
        return {0, ConversionError::Overflow};
    return {static_cast<quint8>(rounded), ConversionError::None};
}

SingleResult textToSingle(const QString& text, const QLocale& locale)
{
    double value = 0.0;
    const ConversionError read = readLocaleNumber(text, locale, &value);
    if (read != ConversionError::None)
        return {0, read};
    if (std::fabs(value) > double(FLT_MAX))
        return {0.0f, ConversionError::Overflow};
    return {static_cast<float>(value), ConversionError::None};
}

QString singleToText(float value, const QLocale& locale)
{
    if (value == 0.0f)
        value = 0.0f;  // no "-0"
    // Latin digits and a plain minus in every locale, so that any reader of
    // the file (and a later start in another locale) takes the number; only
    // the decimal separator is the user's.
    // 'G': a large or small value as "1.234568E+07", with the sign and two
    // exponent digits.
    QLocale c = QLocale::c();
    c.setNumberOptions(QLocale::OmitGroupSeparator);
    QString text = c.toString(double(value), 'G', 7);
    text.replace(QLatin1Char('.'), locale.decimalPoint());
    return text;
}

SippSetting readSipp(const QString& text)
{
    if (text == QLatin1String("1"))
        return SippSetting::On;
    if (text == QLatin1String("0"))
        return SippSetting::FirstRun;
    return SippSetting::Off;  // "-1" and anything else
}

QString sippToText(qint16 sipp)
{
    return sipp != 0 ? QStringLiteral("1") : QStringLiteral("-1");
}

}  // namespace tellavo
