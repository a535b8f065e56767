#include "app/ExchangeParsing.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <limits>
#include <system_error>

namespace orbelt {

namespace {

bool isBlank(char c) { return c == ' ' || c == '\t'; }
bool isDigit(char c) { return c >= '0' && c <= '9'; }

std::size_t skipBlanks(std::string_view text, std::size_t i) {
  while (i < text.size() && isBlank(text[i])) ++i;
  return i;
}

std::size_t skipDigits(std::string_view text, std::size_t i) {
  while (i < text.size() && isDigit(text[i])) ++i;
  return i;
}

// Where a decimal number starting at `i` (after its sign) ends, or `i` when
// there is none. An 'e' that is not followed by exponent digits is not part
// of the number, so "1e" leaves the "e" behind as trailing junk.
std::size_t scanDecimal(std::string_view text, std::size_t i) {
  const std::size_t intEnd = skipDigits(text, i);
  std::size_t end = intEnd;
  std::size_t fracDigits = 0;
  if (end < text.size() && text[end] == '.') {
    const std::size_t fracEnd = skipDigits(text, end + 1);
    fracDigits = fracEnd - (end + 1);
    end = fracEnd;
  }
  if (intEnd == i && fracDigits == 0) return i;  // no digit at all: "", ".", "e5"
  if (end < text.size() && (text[end] == 'e' || text[end] == 'E')) {
    std::size_t e = end + 1;
    if (e < text.size() && (text[e] == '+' || text[e] == '-')) ++e;
    const std::size_t expEnd = skipDigits(text, e);
    if (expEnd > e) end = expEnd;
  }
  return end;
}

// Decimal order of magnitude of a scanned number that the converter reported
// as out of range: >= 0 means it overflowed, < 0 that it underflowed to zero.
long long decimalMagnitude(std::string_view number) {
  long long exponent = 0;
  const std::size_t ePos = number.find_first_of("eE");
  if (ePos != std::string_view::npos) {
    std::size_t i = ePos + 1;
    const bool negative = i < number.size() && number[i] == '-';
    if (i < number.size() && (number[i] == '+' || number[i] == '-')) ++i;
    for (; i < number.size(); ++i) {
      exponent = std::min<long long>(exponent * 10 + (number[i] - '0'), 1'000'000'000LL);
    }
    if (negative) exponent = -exponent;
  }
  const std::string_view mantissa = number.substr(0, ePos);
  const std::size_t point = std::min(mantissa.find('.'), mantissa.size());
  for (std::size_t i = 0; i < mantissa.size(); ++i) {
    if (mantissa[i] >= '1' && mantissa[i] <= '9') {
      const long long position = i < point ? static_cast<long long>(point - i - 1) : -static_cast<long long>(i - point);
      return exponent + position;
    }
  }
  return std::numeric_limits<long long>::min();  // all zeros: never out of range
}

// Smallest double that rounds to infinity in single precision:
// FLT_MAX plus half of its last place (a tie rounds to the even infinity).
constexpr double kFloatOverflowThreshold = 0x1.ffffffp127;

}  // namespace

std::string_view exchangeReadWindow(std::string_view utf8) {
  std::size_t characters = 0;
  for (std::size_t i = 0; i < utf8.size(); ++i) {
    const auto byte = static_cast<unsigned char>(utf8[i]);
    if ((byte & 0xC0) == 0x80) continue;  // continuation byte of the current character
    if (characters == kExchangeReadLimit) return utf8.substr(0, i);
    ++characters;
  }
  return utf8;
}

std::optional<std::int32_t> parseExchangeInteger(std::string_view utf8) {
  const std::string_view text = exchangeReadWindow(utf8);
  const std::size_t first = skipBlanks(text, 0);
  std::size_t i = first;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
  const std::size_t digitsEnd = skipDigits(text, i);
  if (digitsEnd == i) return std::nullopt;

  // Saturate well above the 32-bit range; the clamp below does the rest.
  constexpr long long kSaturation = 1LL << 40;
  long long magnitude = 0;
  for (std::size_t k = i; k < digitsEnd; ++k) {
    magnitude = std::min(magnitude * 10 + (text[k] - '0'), kSaturation);
  }
  if (skipBlanks(text, digitsEnd) != text.size()) return std::nullopt;

  const long long value = negative ? -magnitude : magnitude;
  if (value == 0 && text[first] != '0') return std::nullopt;
  constexpr long long kMin = std::numeric_limits<std::int32_t>::min();
  constexpr long long kMax = std::numeric_limits<std::int32_t>::max();
  return static_cast<std::int32_t>(std::clamp(value, kMin, kMax));
}

std::optional<float> parseExchangeNumber(std::string_view utf8) {
  const std::string_view text = exchangeReadWindow(utf8);
  const std::size_t first = skipBlanks(text, 0);
  std::size_t i = first;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
  const std::size_t end = scanDecimal(text, i);
  if (end == i) return std::nullopt;
  if (skipBlanks(text, end) != text.size()) return std::nullopt;

  const std::string_view number = text.substr(i, end - i);
  double magnitude = 0.0;
  const auto [ptr, ec] =
      std::from_chars(number.data(), number.data() + number.size(), magnitude, std::chars_format::general);
  if (ptr != number.data() + number.size()) return std::nullopt;  // cannot happen after the scan
  if (ec == std::errc::result_out_of_range) {
    if (decimalMagnitude(number) >= 0) return std::nullopt;  // beyond double: infinity
    magnitude = 0.0;                                         // below double: zero
  } else if (ec != std::errc()) {
    return std::nullopt;
  }
  const double value = negative ? -magnitude : magnitude;
  if (value == 0.0 && text[first] != '0') return std::nullopt;
  if (std::fabs(value) >= kFloatOverflowThreshold) return std::nullopt;
  return static_cast<float>(value);
}

std::string formatExchangeInteger(std::int32_t value) {
  char buf[16];
  const auto [ptr, ec] = std::to_chars(buf, buf + sizeof buf, value);
  return std::string(buf, ec == std::errc() ? ptr : buf);
}

std::string formatExchangeNumber(float value) {
  char buf[32];
  const auto [ptr, ec] = std::to_chars(buf, buf + sizeof buf, static_cast<double>(value), std::chars_format::general,
                                       kExchangeNumberPrecision);
  return std::string(buf, ec == std::errc() ? ptr : buf);
}

}  // namespace orbelt
