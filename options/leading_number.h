#pragma once

#include <QString>

namespace tellavo {

// Reads the number a text begins with, the same in every locale: blanks, tabs
// and line feeds are skipped wherever they stand; then an optional sign,
// decimal digits with at most one "." and an optional exponent ("E" or "D",
// optional sign, digits); or "&H" / "&O" with hexadecimal / octal digits,
// taken as a 16-bit signed value when they fit in 16 bits and as a 32-bit one
// when they fit in 32 ("&HFFFF" is -1). Reading stops at the first character
// that does not fit; a text that does not begin with a number reads as 0.
// A number too large for a double, or hex/octal digits beyond 32 bits, read
// as an infinity, so that no range check can accept them.
double readLeadingNumber(const QString& text);

}  // namespace tellavo
