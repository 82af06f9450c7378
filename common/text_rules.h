// The program's two text rules: the one upper-casing used for every
// comparison without regard to letter case, and the one way a text becomes a
// number.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

// a-z to A-Z, and seven small letters of code page 437 to their capitals;
// every other byte unchanged.
unsigned char FoldUpperChar(unsigned char c);
std::string FoldUpper(std::string_view text);

// Reads the number at the start of `text` (after spaces, tabs and line feeds):
// &H/&O/&Q/&B prefixes, & directly followed by an octal digit, or a decimal
// number with sign, one "." and an E/e/D/d exponent. Reading stops at the
// first character that cannot continue the number; no number gives 0.
double NumberFromText(std::string_view text);

// The nearest integer, a half going to the even neighbour.
double RoundHalfEven(double value);

// The users' rule for a whole number: rounded half to even, and a value outside
// the signed 32-bit range (or not a number) becomes -2147483648.
int32_t Int32FromNumber(double value);
