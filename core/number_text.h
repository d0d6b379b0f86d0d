#pragma once

#include <QLocale>
#include <QString>
#include <QtGlobal>

namespace tellavo {

// Why a stored text could not become a number, in the terms of the error box.
enum class ConversionError { None, TypeMismatch, Overflow };

// The Italian name of the failure, as the error box shows it.
QString conversionErrorText(ConversionError error);

template <typename T>
struct Converted {
    T value = 0;
    ConversionError error = ConversionError::None;
    bool ok() const { return error == ConversionError::None; }
};
using ByteResult = Converted<quint8>;
using SingleResult = Converted<float>;

// The store keeps numbers as texts in the user's locale.
// Text to unsigned byte: a decimal number in the locale, rounded half to even,
// which must then lie in 0..255.
ByteResult textToByte(const QString& text, const QLocale& locale = QLocale());

// Text to single precision: a decimal number in the locale.
SingleResult textToSingle(const QString& text, const QLocale& locale = QLocale());

// Single precision to text: general form with at most seven significant digits,
// a leading minus for negatives, the locale's decimal separator only where there
// is a fraction, no group separators ("735", "-120", "12,5" in Italian).
QString singleToText(float value, const QLocale& locale = QLocale());

// The stored always-on-top text, matched exactly.
enum class SippSetting { On, Off, FirstRun };
SippSetting readSipp(const QString& text);
QString sippToText(qint16 sipp);  // "1" when set (any non-zero), "-1" otherwise

}  // namespace tellavo
