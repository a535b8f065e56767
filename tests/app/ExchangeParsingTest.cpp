// The exchange rules as a user meets them: what each typed text becomes, and
// what is refused.
#include "app/ExchangeParsing.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <optional>
#include <string>

namespace orbelt {
namespace {

struct IntegerCase {
  std::string text;
  std::optional<std::int32_t> expected;  // nothing = refused
};

TEST(ExchangeParsingTest, IntegerTextIsReadOrRefused) {
  constexpr auto kMax = std::numeric_limits<std::int32_t>::max();
  constexpr auto kMin = std::numeric_limits<std::int32_t>::min();
  const IntegerCase cases[] = {
      {"42", 42},
      {"  42  ", 42},
      {"\t42\t", 42},
      {" \t 42 \t ", 42},
      {"+7", 7},
      {"-15", -15},
      {"0", 0},
      {"000", 0},
      {" 0 ", 0},
      {"007", 7},
      {"2147483647", kMax},
      {"2147483648", kMax},  // clamped, not wrapped
      {"99999999999999999999999999", kMax},
      {"-2147483648", kMin},
      {"-2147483649", kMin},
      {"4 2", std::nullopt},  // inner blank
      {"42x", std::nullopt},
      {"x42", std::nullopt},
      {"-0", std::nullopt},  // 0 is taken only when the text starts with the digit 0
      {"+0", std::nullopt},
      {"", std::nullopt},
      {"   ", std::nullopt},
      {"-", std::nullopt},
      {"- 5", std::nullopt},
      {"4.0", std::nullopt},
      {"1e3", std::nullopt},
      {"0x10", std::nullopt},
      {"42\n", std::nullopt},  // only spaces and tabs are blanks
      {"\n42", std::nullopt},
      {"４２", std::nullopt},  // full-width digits are not digits here
  };
  for (const auto& c : cases) {
    SCOPED_TRACE("text \"" + c.text + "\"");
    EXPECT_EQ(parseExchangeInteger(c.text), c.expected);
  }
}

struct NumberCase {
  std::string text;
  std::optional<float> expected;  // nothing = refused
};

TEST(ExchangeParsingTest, NumberTextIsReadInDoubleAndStoredAsFloat) {
  const NumberCase cases[] = {
      {"0.5", 0.5f},
      {"5e-2", 0.05f},  // rounded once from the double 0.05
      {"5E-2", 0.05f},
      {" 3.8 ", 3.8f},
      {"\t14\t", 14.0f},
      {"0.033", 0.033f},
      {"+2.5", 2.5f},
      {"-2.5", -2.5f},
      {"5.", 5.0f},
      {"1e3", 1000.0f},
      {"1e+3", 1000.0f},
      {"0", 0.0f},
      {"0.0", 0.0f},
      {"0e7", 0.0f},
      {"1e-50", 0.0f},                  // below single precision: the double is not 0, so it is taken and rounds to 0
      {"3.4028234e38", 3.4028234e38f},  // the largest float
      {".5", 0.5f},
      {".0", std::nullopt},  // 0 only when the text starts with the digit 0
      {"-0.0", std::nullopt},
      {"+0", std::nullopt},
      {"1e-400", std::nullopt},  // underflows to 0 in double, and does not start with 0
      {"1e39", std::nullopt},    // would be infinity in single precision
      {"1e400", std::nullopt},   // beyond double
      {"-1e39", std::nullopt},
      {"abc", std::nullopt},
      {"inf", std::nullopt},
      {"nan", std::nullopt},
      {"infinity", std::nullopt},
      {"0x1p3", std::nullopt},  // hexadecimal floating point is not a dialog number
      {"1,5", std::nullopt},    // the decimal separator is always '.'
      {"1e", std::nullopt},
      {"1e+", std::nullopt},
      {".", std::nullopt},
      {"e5", std::nullopt},
      {"1.2.3", std::nullopt},
      {"4 2", std::nullopt},
      {"", std::nullopt},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE("text \"" + c.text + "\"");
    EXPECT_EQ(parseExchangeNumber(c.text), c.expected);
  }
}

TEST(ExchangeParsingTest, NumbersJustBelowTheFloatOverflowStillRoundToTheLargestFloat) {
  // FLT_MAX plus a little less than half its last place rounds down to it;
  // from half a place on it would be infinity and is refused.
  EXPECT_EQ(parseExchangeNumber("3.40282356e38"), std::numeric_limits<float>::max());
  EXPECT_EQ(parseExchangeNumber("3.40282357e38"), std::nullopt);
}

TEST(ExchangeParsingTest, OnlyTheFirst31CharactersAreRead) {
  const std::string blanks30(30, ' ');
  // The 31st character is the 4; the 2 after it is cut away.
  EXPECT_EQ(parseExchangeInteger(blanks30 + "42"), 4);
  EXPECT_EQ(parseExchangeNumber(blanks30 + "0.5"), 0.0f);  // "0" remains
  // Junk after the limit is never seen.
  EXPECT_EQ(parseExchangeInteger("42" + std::string(29, ' ') + "x"), 42);
  EXPECT_EQ(parseExchangeInteger(std::string(40, '9')), std::numeric_limits<std::int32_t>::max());
  // The limit counts characters, not bytes: 29 Korean letters (3 bytes
  // each) leave room for exactly two more characters.
  std::string korean;
  for (int i = 0; i < 29; ++i) korean += "가";
  EXPECT_EQ(exchangeReadWindow(korean + "12"), korean + "12");
  EXPECT_EQ(exchangeReadWindow(korean + "123"), korean + "12");
  EXPECT_EQ(exchangeReadWindow("short"), "short");
}

TEST(ExchangeParsingTest, MalformedUtf8IsCutSafely) {
  const std::string stray(40, '\x80');          // continuation bytes only
  EXPECT_EQ(exchangeReadWindow(stray), stray);  // no character starts, nothing to count
  EXPECT_EQ(parseExchangeInteger(stray), std::nullopt);
  EXPECT_EQ(parseExchangeNumber(std::string("\xF0\x9F", 2)), std::nullopt);
}

TEST(ExchangeParsingTest, FieldsAreWrittenWithTheDialogFormats) {
  struct Case {
    float value;
    const char* text;
  };
  const Case numbers[] = {
      {3.8f, "3.8"},    {14.0f, "14"},         {0.033f, "0.033"},
      {0.0f, "0"},      {-2.5f, "-2.5"},       {1234567.0f, "1.23457e+06"},
      {1e-5f, "1e-05"}, {14.000000954f, "14"}, {0.05f, "0.05"},
  };
  for (const auto& c : numbers) EXPECT_EQ(formatExchangeNumber(c.value), c.text) << c.value;
  EXPECT_EQ(formatExchangeInteger(15), "15");
  EXPECT_EQ(formatExchangeInteger(-5), "-5");
  EXPECT_EQ(formatExchangeInteger(std::numeric_limits<std::int32_t>::min()), "-2147483648");
}

TEST(ExchangeParsingTest, WrittenValuesReadBackToThemselves) {
  for (std::int32_t v : {0, 1, -1, 70, 2147483647, -2147483647 - 1}) {
    EXPECT_EQ(parseExchangeInteger(formatExchangeInteger(v)), v);
  }
  // Six significant digits: values that need no more survive the round trip.
  for (float v : {3.8f, 14.0f, 0.033f, 0.5f, 123456.0f, 1e-5f, -7.25f}) {
    EXPECT_EQ(parseExchangeNumber(formatExchangeNumber(v)), v);
  }
}

}  // namespace
}  // namespace orbelt
