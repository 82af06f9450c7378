// Fuzz target: NumberFromText, the rounding rule RoundHalfEven and the 32-bit
// range rule Int32FromNumber, with FoldUpper on the side. Properties checked:
// no number is NaN; leading spaces, tabs and line feeds and a trailing byte
// that cannot continue a number change nothing; a prefixed (&H, &O, &B, &n)
// number is a whole number of at least 0; rounding gives the nearest whole
// number, halves to the even one; the 32-bit rule keeps exactly the values in
// range; folding keeps the length, is idempotent and only changes a-z and the
// seven code page 437 letters.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

#include "common/text_rules.h"
#include "tests/fuzz/fuzz_fakes.h"

namespace {

bool SameNumber(double a, double b) {
  return std::memcmp(&a, &b, sizeof a) == 0 || (a == b);  // 0 and -0 count as the same
}

void CheckRounding(double value) {
  double rounded = RoundHalfEven(value);
  if (!std::isfinite(value)) {
    FUZZ_CHECK(std::isnan(value) ? std::isnan(rounded) : rounded == value);
    FUZZ_CHECK(Int32FromNumber(value) == INT32_MIN);
    return;
  }
  FUZZ_CHECK_MSG(std::floor(rounded) == rounded, "rounding gave a fraction");
  long double distance = std::fabs(static_cast<long double>(rounded) - value);
  FUZZ_CHECK_MSG(distance <= 0.5L, "rounding went past the nearest whole number");
  if (distance == 0.5L) FUZZ_CHECK_MSG(std::fmod(rounded, 2.0) == 0, "a half went to odd");

  int32_t whole = Int32FromNumber(value);
  if (rounded >= -2147483648.0 && rounded <= 2147483647.0) {
    FUZZ_CHECK(static_cast<double>(whole) == rounded);
  } else {
    FUZZ_CHECK_MSG(whole == INT32_MIN, "a value out of range did not become -2147483648");
  }
}

void CheckFolding(const std::string& text) {
  std::string folded = FoldUpper(text);
  FUZZ_CHECK(folded.size() == text.size());
  FUZZ_CHECK(FoldUpper(folded) == folded);
  static const char kSmall[] = "\x84\x94\x81\x82\xA4\x86\x87";
  static const char kCapital[] = "\x8E\x99\x9A\x90\xA5\x8F\x80";
  for (size_t i = 0; i < text.size(); ++i) {
    char c = text[i];
    char expected = c;
    if (c >= 'a' && c <= 'z') expected = static_cast<char>(c - 'a' + 'A');
    const char* small = c != '\0' ? std::strchr(kSmall, c) : nullptr;
    if (small != nullptr) expected = kCapital[small - kSmall];
    FUZZ_CHECK(folded[i] == expected);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string text(reinterpret_cast<const char*>(data), size);
  double value = NumberFromText(text);
  FUZZ_CHECK_MSG(!std::isnan(value), "a text gave NaN");
  FUZZ_CHECK(SameNumber(NumberFromText(" \t\n" + text), value));
  FUZZ_CHECK(SameNumber(NumberFromText(text + '\x01'), value));
  FUZZ_CHECK(SameNumber(NumberFromText(text + '\0' + "1"), value));

  size_t start = text.find_first_not_of(" \t\n");
  if (start != std::string::npos && text[start] == '&') {
    FUZZ_CHECK(value >= 0 && (std::isinf(value) || std::floor(value) == value));
  }

  CheckRounding(value);
  // The raw input bytes as a double too, for the values text rarely gives.
  if (size == sizeof(double)) {
    double raw;
    std::memcpy(&raw, data, sizeof raw);
    CheckRounding(raw);
  }
  CheckFolding(text);
  return 0;
}
