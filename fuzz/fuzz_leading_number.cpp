// The threshold text's leading number on arbitrary text, checked against what
// its header promises: blanks, tabs and line feeds skipped wherever they stand,
// reading stops at the first character that does not fit, no NaN, overflow
// reads as an infinity, and the value itself against the C library's reader of
// the same number.
#include "leading_number.h"

#include <QString>

#include <cerrno>
#include <cfloat>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

using tellavo::readLeadingNumber;

namespace {

[[noreturn]] void fail(const char* what, const QString& text, double got, double want)
{
    std::fprintf(stderr, "fuzz_leading_number: %s\n  text (UTF-16 units):", what);
    for (const QChar c : text)
        std::fprintf(stderr, " %04x", unsigned(c.unicode()));
    std::fprintf(stderr, "\n  got %.17g, want %.17g\n", got, want);
    std::fflush(stderr);
    __builtin_trap();
}

bool skipped(QChar c)
{
    return c == QLatin1Char(' ') || c == QLatin1Char('\t') || c == QLatin1Char('\n');
}

bool isAsciiDigit(QChar c)
{
    return c.unicode() >= u'0' && c.unicode() <= u'9';
}

bool isDigitOf(QChar c, int base)
{
    const char16_t u = c.unicode();
    if (base == 8)
        return u >= u'0' && u <= u'7';
    return isAsciiDigit(c) || (u >= u'a' && u <= u'f') || (u >= u'A' && u <= u'F');
}

// The number the text begins with by the header's grammar, read by strtod /
// strtoull, so that the product's own arithmetic is checked by another reader.
// Returns false when the reference cannot judge (a result in the subnormal
// range, where the header promises nothing).
bool reference(const QString& text, double* want)
{
    QString s;
    for (const QChar c : text)
        if (!skipped(c))
            s += c;
    qsizetype p = 0;
    if (s.startsWith(QLatin1Char('&'))) {
        int base = 0;
        if (s.size() >= 2 && (s[1] == QLatin1Char('H') || s[1] == QLatin1Char('h')))
            base = 16;
        else if (s.size() >= 2 && (s[1] == QLatin1Char('O') || s[1] == QLatin1Char('o')))
            base = 8;
        if (base == 0) {
            *want = 0.0;
            return true;
        }
        std::string digits;
        for (p = 2; p < s.size() && isDigitOf(s[p], base); ++p)
            digits += char(s[p].unicode());
        if (digits.empty()) {
            *want = 0.0;
            return true;
        }
        errno = 0;
        const unsigned long long v = std::strtoull(digits.c_str(), nullptr, base);
        if (errno == ERANGE || v > 0xFFFFFFFFull)
            *want = HUGE_VAL;
        else if (v <= 0xFFFFull)
            *want = double(std::int16_t(std::uint16_t(v)));
        else
            *want = double(std::int32_t(std::uint32_t(v)));
        return true;
    }
    std::string number;
    if (p < s.size() && (s[p] == QLatin1Char('+') || s[p] == QLatin1Char('-')))
        number += char(s[p++].unicode());
    bool digits = false;
    bool point = false;
    for (; p < s.size(); ++p) {
        if (isAsciiDigit(s[p])) {
            digits = true;
        } else if (s[p] == QLatin1Char('.') && !point) {
            point = true;
        } else {
            break;
        }
        number += char(s[p].unicode());
    }
    if (!digits) {
        *want = 0.0;
        return true;
    }
    if (p < s.size()) {
        const char16_t e = s[p].unicode();
        if (e == u'E' || e == u'e' || e == u'D' || e == u'd') {
            qsizetype q = p + 1;
            std::string exponent = "e";
            if (q < s.size() && (s[q] == QLatin1Char('+') || s[q] == QLatin1Char('-')))
                exponent += char(s[q++].unicode());
            const qsizetype firstDigit = q;
            for (; q < s.size() && isAsciiDigit(s[q]); ++q)
                exponent += char(s[q].unicode());
            if (q > firstDigit)
                number += exponent;
        }
    }
    errno = 0;
    const double v = std::strtod(number.c_str(), nullptr);
    if (v != 0.0 && std::fabs(v) < DBL_MIN)
        return false;  // subnormal: the header does not say
    if (errno == ERANGE && std::fabs(v) < 1.0)
        return false;  // underflow
    *want = v;
    return true;
}

void check(const QString& text)
{
    const double got = readLeadingNumber(text);
    if (std::isnan(got))
        fail("NaN", text, got, 0.0);

    double want = 0.0;
    if (reference(text, &want) && got != want)
        fail("value differs from the number the text begins with", text, got, want);

    // Blanks, tabs and line feeds count for nothing, in front or inside.
    const QString prefixed = QStringLiteral(" \t\n ") + text;
    if (readLeadingNumber(prefixed) != got)
        fail("leading blanks change the value", prefixed, readLeadingNumber(prefixed), got);
    QString stripped;
    for (const QChar c : text)
        if (!skipped(c))
            stripped += c;
    if (readLeadingNumber(stripped) != got)
        fail("blanks inside change the value", stripped, readLeadingNumber(stripped), got);

    // Reading stops at the first character that does not fit: "!" never fits,
    // so whatever follows it is not read.
    for (const qsizetype cut : {qsizetype(0), text.size() / 2, text.size()}) {
        const QString stopped = text.left(cut) + QLatin1Char('!') + text.mid(cut);
        const double head = readLeadingNumber(text.left(cut));
        if (readLeadingNumber(stopped) != head)
            fail("text after a stop character was read", stopped, readLeadingNumber(stopped), head);
    }

    if (stripped.isEmpty())
        return;
    const QChar first = stripped[0];
    // A text that does not begin with a number reads as 0.
    if (!first.isNumber() && first != QLatin1Char('+') && first != QLatin1Char('-') &&
        first != QLatin1Char('.') && first != QLatin1Char('&') && got != 0.0)
        fail("text without a leading number is not 0", text, got, 0.0);
    // The sign is the number's sign.
    if (isAsciiDigit(first) || first == QLatin1Char('.')) {
        if (got < 0.0)
            fail("unsigned decimal reads negative", text, got, -got);
        const QString minus = QLatin1Char('-') + text;
        if (readLeadingNumber(minus) != -got)
            fail("a minus does not negate", minus, readLeadingNumber(minus), -got);
        const QString plus = QLatin1Char('+') + text;
        if (readLeadingNumber(plus) != got)
            fail("a plus changes the value", plus, readLeadingNumber(plus), got);
    }
    // Hex and octal: whole 16- or 32-bit values, or an infinity beyond 32 bits.
    if (first == QLatin1Char('&') && !std::isinf(got) &&
        (got != std::floor(got) || got < -2147483648.0 || got > 2147483647.0))
        fail("hex/octal value is not a 16/32-bit whole number", text, got, 0.0);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const char* bytes = reinterpret_cast<const char*>(data);
    const qsizetype n = qsizetype(size);
    check(QString::fromUtf8(bytes, n));
    check(QString::fromLatin1(bytes, n));
    // Raw UTF-16 units too, unpaired surrogates included, as a text box may hold.
    QString units(n / 2, Qt::Uninitialized);
    std::memcpy(units.data(), data, size_t(units.size()) * sizeof(QChar));
    check(units);
    return 0;
}
