#pragma once
// How the main dialog turns field values into edit-box text and back.
//
// Window-free on purpose: the rules are the whole contract of the dialog's
// validation, so they are tested (and can be fuzzed) without a screen.
//
// Reading (text -> field) follows one fixed recipe:
//  1. only the first kExchangeReadLimit characters of the text count;
//  2. leading blanks (spaces and tabs) are skipped;
//  3. an optionally signed base-10 integer, or a decimal floating-point
//     number, is read;
//  4. trailing blanks are skipped and the text must end there;
//  5. a value of 0 is taken only when the first non-blank character is the
//     digit 0, so "-0", "+0" and ".0" are refused;
//  6. integers outside the 32-bit range are clamped to its limits; numbers
//     are read in double precision and stored in single precision.
// Blanks inside the value ("4 2") or trailing junk ("42x") are refused.
//
// A "number" is plain decimal floating point as a person types it: digits
// with an optional '.', or a '.' followed by digits, then an optional
// exponent (e or E, optional sign, digits). Spellings a dialog user does not
// mean - "inf", "nan", hexadecimal floats such as "0x1p3" - are refused, and
// so is any value too large to be stored in single precision (it would
// become infinity). Reading never depends on the process locale: the decimal
// separator is always '.'.
//
// Writing uses "%d" for integers and "%.*g" with precision 6 for numbers
// (3.8f shows as "3.8", 14 as "14", 0.033f as "0.033"), again
// locale-independent.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace orbelt {

// At most this many characters of a control's text are read; the rest is cut.
inline constexpr std::size_t kExchangeReadLimit = 31;

// Significant digits of a number written into a control.
inline constexpr int kExchangeNumberPrecision = 6;

// Shown when an integer box does not hold an integer.
inline constexpr const char* kIntegerRequiredMessage = "정수를 입력하십시오.";
// Shown when a number box does not hold a number.
inline constexpr const char* kNumberRequiredMessage = "숫자를 입력하십시오.";

// The part of `utf8` that the exchange reads: its first kExchangeReadLimit
// characters (code points; a malformed byte counts as one character).
std::string_view exchangeReadWindow(std::string_view utf8);

// The integer the text holds under the rules above, or nothing when it is
// refused. Applies the read window itself.
std::optional<std::int32_t> parseExchangeInteger(std::string_view utf8);

// The number the text holds under the rules above, rounded to single
// precision, or nothing when it is refused. Applies the read window itself.
std::optional<float> parseExchangeNumber(std::string_view utf8);

// "%d"
std::string formatExchangeInteger(std::int32_t value);

// "%.*g" with precision kExchangeNumberPrecision, of the value widened to
// double.
std::string formatExchangeNumber(float value);

}  // namespace orbelt
