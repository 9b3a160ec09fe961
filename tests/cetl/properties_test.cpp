#include "cetl/properties.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <string>
#include <utility>
#include <vector>

#include "foundation/tchar.h"

namespace {

using Entries = std::vector<std::pair<std::string, std::string>>;

Entries Contents(const cetl::PROPERTIES& properties) {
  Entries seen;
  for (const auto& [key, value] : properties)
    seen.emplace_back(key.Narrow(), value.text().Narrow());
  return seen;
}

TEST(PropertiesValue, TextReadAsColourAndInteger) {
  struct Case {
    const char* text;
    uint32_t color;
    int32_t integer;
  };
  const Case cases[] = {
      {"#0000FF", 0x02FF0000, 0},
      {"#FFFFFF", 0x02FFFFFF, 0},
      {"#abcDEF", 0x02EFCDAB, 0},
      {"A0B0C0", 0x02C0B0A0, 0},
      {"#12G456", 0, 0},
      {"#12345", 0, 0},
      {"#", 0, 0},
      {"", 0, 0},
      {"#1234567", 0x02563412, 0},  // only the six digits count
      {"123456", 0x02563412, 123456},
      {"42", 0, 42},
      {"+8", 0, 8},
      {"-17px", 0, -17},
      {"-", 0, 0},
      {"px5", 0, 0},
      {"-2147483648", 0, std::numeric_limits<int32_t>::min()},
      {"99999999999", 0x02999999, std::numeric_limits<int32_t>::max()},
      {"-99999999999", 0, std::numeric_limits<int32_t>::min()},
  };
  for (const Case& test : cases) {
    SCOPED_TRACE(test.text);
    cetl::PROPERTIESVALUE value(test.text);
    EXPECT_EQ(value.color(), test.color);
    EXPECT_EQ(value.integer(), test.integer);
    EXPECT_STREQ(value.text().Narrow(), test.text);
  }
}

TEST(PropertiesValue, NumbersFollowTheTextWhenItIsSetAgain) {
  cetl::PROPERTIESVALUE value(string("12"));
  value = string("#00FF00");
  EXPECT_EQ(value.integer(), 0);
  EXPECT_EQ(value.color(), 0x0200FF00u);
  value = string("");
  EXPECT_EQ(value.color(), 0u);
}

// A settings text with every kind of line; read in the storing mode.
class SkinSettings : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(
        properties.parse(string(TXT("  \t# pbutton font = Arial,-14,I\r\n"
                                    "font=Tahoma,10\r\n"
                                    "= a line that starts with equals\n"
                                    "a line without the sign\n"
                                    "\tframe border \t=\t 20 \t\n"
                                    "background color = #FF0000 # not a comment\n"
                                    "FONT = Arial,-11,B\n"  // replaces the earlier font
                                    "empty =\n"
                                    "equation = a = b\r"
                                    "\r\n\n   \n"
                                    "last = no line break"))));
  }
  cetl::PROPERTIES properties;
};

TEST_F(SkinSettings, StoringModeKeepsEveryKeyValueLine) {
  EXPECT_EQ(Contents(properties), (Entries{
                                      {"background color", "#FF0000 # not a comment"},
                                      {"empty", ""},
                                      {"equation", "a = b"},
                                      {"font", "Arial,-11,B"},
                                      {"frame border", "20"},
                                      {"last", "no line break"},
                                  }));
  EXPECT_EQ(properties["Frame Border"].integer(), 20);
  EXPECT_EQ(properties["background color"].color(), 0x020000FFu);  // text after the six digits
  EXPECT_TRUE(properties.contains("EMPTY"));                       // present, though empty
}

TEST_F(SkinSettings, AbsentKeysReadAsEmptyWithoutBeingStored) {
  const cetl::PROPERTIESVALUE& absent = properties["pbutton font"];
  EXPECT_TRUE(absent.text().IsEmpty());
  EXPECT_EQ(absent.color(), 0u);
  EXPECT_EQ(absent.integer(), 0);
  EXPECT_FALSE(properties.contains("pbutton font"));
  EXPECT_EQ(properties.size(), 6u);
}

TEST_F(SkinSettings, RemovingModeDropsTheNamedKeys) {
  ASSERT_TRUE(properties.parse(string(TXT("Font = whatever\n"
                                          "missing = 1\n"
                                          "empty\n"  // no "=": not a removal
                                          "# equation = x\n"
                                          "frame border=")),
                               cetl::PROPERTIES::kRemove));
  EXPECT_EQ(Contents(properties), (Entries{
                                      {"background color", "#FF0000 # not a comment"},
                                      {"empty", ""},
                                      {"equation", "a = b"},
                                      {"last", "no line break"},
                                  }));
}

TEST(Properties, TextEndsAtItsLengthOrAtANul) {
  const char text[] = "a = 1\nb = 2\0c = 3\n";
  cetl::PROPERTIES properties;
  ASSERT_TRUE(properties.parse_text(text, 9));  // ends just after "b ="
  EXPECT_EQ(Contents(properties), (Entries{{"a", "1"}, {"b", ""}}));
  properties.clear();
  ASSERT_TRUE(properties.parse_text(text, sizeof text - 1));
  EXPECT_EQ(Contents(properties), (Entries{{"a", "1"}, {"b", "2"}}));

  const char16_t wide[] = u"x = \u0109i\n";
  ASSERT_TRUE(properties.parse_text(wide, sizeof wide / sizeof wide[0] - 1));
  EXPECT_EQ(properties["X"].text(), string(u"\u0109i"));
}

TEST(Properties, UnknownModeChangesNothing) {
  cetl::PROPERTIES properties;
  ASSERT_TRUE(properties.parse(string("a = 1")));
  EXPECT_FALSE(properties.parse(string("a = 2\nb = 3"), 2));
  EXPECT_EQ(Contents(properties), (Entries{{"a", "1"}}));
}

TEST(StringMap, KeysMatchAndSortWithoutCase) {
  cetl::stringmap<int> values(-1);
  values.set("b", 2);
  values.set("A", 1);
  values.set("C", 3);
  values.set("B", 20);
  EXPECT_EQ(values.size(), 3u);
  EXPECT_EQ(values["b"], 20);
  EXPECT_EQ(values[TXT("c")], 3);
  EXPECT_EQ(values["d"], -1);
  std::vector<std::string> keys;
  for (const auto& [key, value] : values) keys.push_back(key.Narrow());
  EXPECT_EQ(keys, (std::vector<std::string>{"A", "b", "C"}));  // the first spelling is kept
  EXPECT_TRUE(values.erase("a"));
  EXPECT_FALSE(values.contains("A"));
}

}  // namespace
