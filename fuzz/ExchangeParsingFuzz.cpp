// The dialog's edit-box rules on arbitrary text: no crash, no read past the
// text, and the promises of the contract hold for whatever is accepted.
//   - the read window is a prefix of the text, cut after 31 characters
//     without splitting one;
//   - an accepted number is finite (inf, nan and overflow are refused);
//   - only the read window matters: text after it never changes a result;
//   - what the dialog writes back into a box reads back as the same integer,
//     and as the same number to the six digits shown.
#include <cmath>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

#include "app/ExchangeParsing.h"
#include "fuzz/ByteReader.h"

using orbelt::fuzz::failInvariant;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  // Exactly the fuzzer's bytes, with no terminator after them: a read past
  // the end is an AddressSanitizer report.
  const std::string_view text(reinterpret_cast<const char*>(data), size);

  const std::string_view window = orbelt::exchangeReadWindow(text);
  if (window.size() > text.size() || window.data() != text.data()) failInvariant("read window is not a prefix");
  if (window.size() < text.size()) {
    // Characters, not bytes, are counted, and the cut never splits one: it
    // falls before a byte that starts a character, after exactly 31 starts.
    std::size_t starts = 0;
    for (char c : window) starts += (static_cast<unsigned char>(c) & 0xC0) != 0x80;
    if ((static_cast<unsigned char>(text[window.size()]) & 0xC0) == 0x80)
      failInvariant("the window splits a character");
    if (starts != orbelt::kExchangeReadLimit) failInvariant("the window does not hold 31 characters");
  }

  const std::optional<std::int32_t> integer = orbelt::parseExchangeInteger(text);
  const std::optional<float> number = orbelt::parseExchangeNumber(text);
  if (orbelt::parseExchangeInteger(window) != integer) failInvariant("integer depends on text past the window");
  const std::optional<float> windowNumber = orbelt::parseExchangeNumber(window);
  if (windowNumber.has_value() != number.has_value() ||
      (number && std::memcmp(&*number, &*windowNumber, sizeof(float)) != 0)) {
    failInvariant("number depends on text past the window");
  }

  if (integer) {
    if (orbelt::parseExchangeInteger(orbelt::formatExchangeInteger(*integer)) != integer) {
      failInvariant("a written integer does not read back");
    }
  }
  if (number) {
    if (!std::isfinite(*number)) failInvariant("a non-finite number was accepted");
    // A written 0 may read as refused ("-0" is refused on purpose); any
    // other value must come back within the six digits written.
    if (*number != 0.0f) {
      const std::optional<float> again = orbelt::parseExchangeNumber(orbelt::formatExchangeNumber(*number));
      if (!again) failInvariant("a written number is refused when read back");
      const double relative = std::fabs(static_cast<double>(*again) - *number) / std::fabs(*number);
      // Subnormals hold fewer digits than they print; they round back to
      // themselves or a neighbour.
      const bool subnormal = std::fpclassify(*number) == FP_SUBNORMAL;
      // Six significant digits are off by at most half a unit of the sixth
      // (5e-6 relative); storing in single precision adds at most 2^-24.
      if (!subnormal && relative > 5e-6 + 6e-8) failInvariant("a written number reads back as another value");
    }
  }

  // The integer rules are the number rules' strict subset for plain digits:
  // whatever reads as an integer within float's exact range reads as the same
  // number.
  if (integer && number && std::abs(static_cast<long long>(*integer)) < (1LL << 24) &&
      *number != static_cast<float>(*integer)) {
    failInvariant("integer and number readings of the same text disagree");
  }
  return 0;
}
