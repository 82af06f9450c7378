#include "common/text_rules.h"

#include <cmath>
#include <cstdlib>
#include <limits>

unsigned char FoldUpperChar(unsigned char c) {
  if (c >= 'a' && c <= 'z') return static_cast<unsigned char>(c - 'a' + 'A');
  switch (c) {
    case 0x84: return 0x8E;  // a-umlaut
    case 0x94: return 0x99;  // o-umlaut
    case 0x81: return 0x9A;  // u-umlaut
    case 0x82: return 0x90;  // e-acute
    case 0xA4: return 0xA5;  // n-tilde
    case 0x86: return 0x8F;  // a-ring
    case 0x87: return 0x80;  // c-cedilla
    default: return c;
  }
}

std::string FoldUpper(std::string_view text) {
  std::string folded(text);
  for (char& c : folded) c = static_cast<char>(FoldUpperChar(static_cast<unsigned char>(c)));
  return folded;
}

namespace {

int DigitValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return 99;
}

double ReadDigitsInBase(std::string_view text, size_t pos, int base) {
  double value = 0;
  for (; pos < text.size(); ++pos) {
    int digit = DigitValue(text[pos]);
    if (digit >= base) break;
    value = value * base + digit;
  }
  return value;
}

bool IsDecimalDigit(char c) { return c >= '0' && c <= '9'; }

}  // namespace

double NumberFromText(std::string_view text) {
  size_t pos = 0;
  while (pos < text.size() && (text[pos] == ' ' || text[pos] == '\t' || text[pos] == '\n')) ++pos;
  if (pos >= text.size()) return 0;

  if (text[pos] == '&') {
    if (pos + 1 >= text.size()) return 0;
    char kind = text[pos + 1];
    switch (kind) {
      case 'H': case 'h': return ReadDigitsInBase(text, pos + 2, 16);
      case 'O': case 'o': case 'Q': case 'q': return ReadDigitsInBase(text, pos + 2, 8);
      case 'B': case 'b': return ReadDigitsInBase(text, pos + 2, 2);
      default:
        if (IsDecimalDigit(kind)) return ReadDigitsInBase(text, pos + 1, 8);
        return 0;
    }
  }

  // Collect the longest decimal number into a C-locale form for strtod.
  std::string number;
  if (text[pos] == '+' || text[pos] == '-') number += text[pos++];
  bool anyDigit = false;
  bool seenPoint = false;
  for (; pos < text.size(); ++pos) {
    char c = text[pos];
    if (IsDecimalDigit(c)) {
      anyDigit = true;
      number += c;
    } else if (c == '.' && !seenPoint) {
      seenPoint = true;
      number += c;
    } else {
      break;
    }
  }
  if (!anyDigit) return 0;
  if (pos < text.size() && (text[pos] == 'E' || text[pos] == 'e' || text[pos] == 'D' ||
                            text[pos] == 'd')) {
    size_t expPos = pos + 1;
    std::string exponent = "e";
    if (expPos < text.size() && (text[expPos] == '+' || text[expPos] == '-')) {
      exponent += text[expPos++];
    }
    bool expDigit = false;
    while (expPos < text.size() && IsDecimalDigit(text[expPos])) {
      exponent += text[expPos++];
      expDigit = true;
    }
    if (expDigit) number += exponent;
  }
  return std::strtod(number.c_str(), nullptr);
}

double RoundHalfEven(double value) {
  if (!std::isfinite(value)) return value;
  double floor = std::floor(value);
  double diff = value - floor;
  if (diff > 0.5) return floor + 1;
  if (diff < 0.5) return floor;
  return std::fmod(floor, 2.0) == 0 ? floor : floor + 1;
}

int32_t Int32FromNumber(double value) {
  double rounded = RoundHalfEven(value);
  if (!(rounded >= -2147483648.0 && rounded <= 2147483647.0)) {
    return std::numeric_limits<int32_t>::min();
  }
  return static_cast<int32_t>(rounded);
}
