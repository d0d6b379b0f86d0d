#include "leading_number.h"

#include <charconv>
#include <limits>
#include <string>

namespace tellavo {

namespace {

constexpr double kInfinity = std::numeric_limits<double>::infinity();

bool skipped(QChar c)
{
    return c == QLatin1Char(' ') || c == QLatin1Char('\t') || c == QLatin1Char('\n');
}

int digitValue(QChar c, int base)
{
    int v = -1;
    const char16_t u = c.unicode();
    if (u >= u'0' && u <= u'9')
        v = u - u'0';
    else if (u >= u'a' && u <= u'f')
        v = u - u'a' + 10;
    else if (u >= u'A' && u <= u'F')
        v = u - u'A' + 10;
    return v >= 0 && v < base ? v : -1;
}

double readRadix(const QString& s, qsizetype pos, int base)
{
    quint64 value = 0;
    for (; pos < s.size(); ++pos) {
        const int d = digitValue(s[pos], base);
        if (d < 0)
            break;
        value = value * base + quint64(d);
        if (value > 0xFFFFFFFFull)
            return kInfinity;  // beyond a 32-bit value: cannot be taken
    }
    if (value <= 0xFFFFull)
        return double(qint16(quint16(value)));
    return double(qint32(quint32(value)));
}

double readDecimal(const QString& s, qsizetype pos)
{
    std::string mantissa;
    bool negative = false;
    if (pos < s.size() && (s[pos] == QLatin1Char('+') || s[pos] == QLatin1Char('-'))) {
        negative = s[pos] == QLatin1Char('-');
        ++pos;
    }
    bool point = false;
    bool digits = false;
    // Where the first significant digit stands, to tell overflow from underflow.
    long long leadingWhole = 0;   // significant digits before the point
    long long fractionZeros = 0;  // zeros after the point before the first significant digit
    bool significant = false;
    for (; pos < s.size(); ++pos) {
        const QChar c = s[pos];
        if (c.unicode() >= u'0' && c.unicode() <= u'9') {
            digits = true;
            if (c != QLatin1Char('0'))
                significant = true;
            if (!point && significant)
                ++leadingWhole;
            else if (point && !significant)
                ++fractionZeros;
            mantissa += char(c.unicode());
        } else if (c == QLatin1Char('.') && !point) {
            point = true;
            mantissa += '.';
        } else {
            break;
        }
    }
    if (!digits)
        return 0.0;

    long long exponent = 0;
    if (pos < s.size()) {
        const QChar e = s[pos].toUpper();
        if (e == QLatin1Char('E') || e == QLatin1Char('D')) {
            qsizetype p = pos + 1;
            bool expNegative = false;
            if (p < s.size() && (s[p] == QLatin1Char('+') || s[p] == QLatin1Char('-'))) {
                expNegative = s[p] == QLatin1Char('-');
                ++p;
            }
            for (; p < s.size() && s[p].unicode() >= u'0' && s[p].unicode() <= u'9'; ++p) {
                if (exponent < 100000000)  // enough to overflow or vanish any double
                    exponent = exponent * 10 + (s[p].unicode() - u'0');
            }
            if (expNegative)
                exponent = -exponent;
        }
    }
    const std::string text = mantissa + 'e' + std::to_string(exponent);
    double value = 0.0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    (void)end;
    if (ec == std::errc::result_out_of_range) {
        if (!significant)
            value = 0.0;
        else
            value = ((leadingWhole > 0 ? leadingWhole : -fractionZeros) + exponent > 0) ? kInfinity
                                                                                        : 0.0;
    } else if (ec != std::errc()) {
        value = 0.0;
    }
    return negative ? -value : value;
}

}  // namespace

double readLeadingNumber(const QString& text)
{
    QString s;
    s.reserve(text.size());
    for (const QChar c : text)
        if (!skipped(c))
            s += c;

    if (s.startsWith(QLatin1Char('&'))) {
        if (s.size() >= 2) {
            const QChar kind = s[1].toUpper();
            if (kind == QLatin1Char('H'))
                return readRadix(s, 2, 16);
            if (kind == QLatin1Char('O'))
                return readRadix(s, 2, 8);
        }
        return 0.0;
    }
    const double value = readDecimal(s, 0);
    return value == 0.0 ? 0.0 : value;  // no -0
}

}  // namespace tellavo
