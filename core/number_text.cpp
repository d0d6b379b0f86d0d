#include "number_text.h"

#include "rounding.h"

#include <cfloat>
#include <cmath>

namespace tellavo {

namespace {

// The locale's reader, then the same text with the locale's decimal separator
// read as a point and Latin digits (what we write, whatever the digits of the
// locale). Qt's "nan" and "inf" are not numbers anyone stored: they fail.
bool readLocaleNumber(const QString& text, const QLocale& locale, double* out)
{
    bool ok = false;
    double value = locale.toDouble(text, &ok);
    if (!ok) {
        QString latin = text;
        latin.replace(locale.decimalPoint(), QLatin1String("."));
        value = QLocale::c().toDouble(latin, &ok);
    }
    if (!ok || !std::isfinite(value))
        return false;
    *out = value;
    return true;
}

}  // namespace

QString conversionErrorText(ConversionError error)
{
    switch (error) {
        case ConversionError::TypeMismatch:
            return QStringLiteral("Tipo non corrispondente");
        case ConversionError::Overflow:
            return QStringLiteral("Overflow");
        case ConversionError::None:
            break;
    }
    return QString();
}

ByteResult textToByte(const QString& text, const QLocale& locale)
{
    double value = 0.0;
    if (!readLocaleNumber(text, locale, &value))
        return {0, ConversionError::TypeMismatch};
    const double rounded = roundHalfEven(value);
    if (rounded < 0.0 || rounded > 255.0)
        return {0, ConversionError::Overflow};
    return {static_cast<quint8>(rounded), ConversionError::None};
}

QString byteToText(quint8 value)
{
    return QString::number(value);
}

SingleResult textToSingle(const QString& text, const QLocale& locale)
{
    double value = 0.0;
    if (!readLocaleNumber(text, locale, &value))
        return {0.0f, ConversionError::TypeMismatch};
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
    QLocale c = QLocale::c();
    c.setNumberOptions(QLocale::OmitGroupSeparator | QLocale::OmitLeadingZeroInExponent);
    QString text = c.toString(double(value), 'g', 7);
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
