#include "platform/encoding.h"

#include <gtest/gtest.h>

#include <string>

namespace {

TEST(EncodingTest, Windows1252EveryByteSurvivesARoundTrip) {
  for (int value = 0; value < 256; ++value) {
    char byte = static_cast<char>(value);
    char16_t unit = Windows1252ToUnit(byte);
    char back = 0;
    ASSERT_TRUE(UnitToWindows1252(unit, &back)) << value;
    EXPECT_EQ(back, byte) << value;
  }
}

TEST(EncodingTest, Windows1252ByteTable) {
  struct Case {
    unsigned char byte;
    char16_t unit;
  };
  const Case cases[] = {
      {0x41, u'A'},     {0x80, 0x20AC}, {0x81, 0x0081}, {0x8A, 0x0160},
      {0x9D, 0x009D},   {0x9F, 0x0178}, {0xA0, 0x00A0}, {0xFF, 0x00FF},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Windows1252ToUnit(static_cast<char>(c.byte)), c.unit) << int(c.byte);
  }
  char byte = 0;
  EXPECT_FALSE(UnitToWindows1252(0x0080, &byte));  // the page puts the euro there
  EXPECT_FALSE(UnitToWindows1252(0x0108, &byte));
  EXPECT_FALSE(UnitToWindows1252(0xD800, &byte));
}

TEST(EncodingTest, Iso8859_3Bytes) {
  EXPECT_EQ(Iso8859_3ToUnit('\x41'), u'A');
  EXPECT_EQ(Iso8859_3ToUnit('\x85'), 0x0085);  // no characters below 0xA0
  EXPECT_EQ(Iso8859_3ToUnit('\xC6'), 0x0108);
  EXPECT_EQ(Iso8859_3ToUnit('\xFD'), 0x016D);
  EXPECT_EQ(Iso8859_3ToUnit('\xA5'), 0x00A5);  // unassigned: Latin-1
  EXPECT_EQ(Iso8859_3ToUnit('\xFF'), 0x02D9);
}

TEST(EncodingTest, Utf16ToWindows1252ReplacesWhatThePageLacks) {
  EXPECT_EQ(Utf16ToWindows1252(u"a\u20ACb"), "a\x80" "b");
  // A pair is one character; a lone surrogate does not swallow its neighbour.
  EXPECT_EQ(Utf16ToWindows1252(u"x\U0001F600y"), "x?y");
  EXPECT_EQ(Utf16ToWindows1252(std::u16string{u'x', 0xD800, u'y'}), "x?y");
  EXPECT_EQ(Utf16ToWindows1252(std::u16string{u'x', 0xDC00, u'y'}), "x?y");
  EXPECT_EQ(Utf16ToWindows1252(u"\u0108", '_'), "_");
  EXPECT_EQ(Windows1252ToUtf16(std::string("\x80\0z", 3)), (std::u16string{0x20AC, 0, u'z'}));
}

TEST(EncodingTest, Utf16ToUtf8) {
  EXPECT_EQ(Utf16ToUtf8(u"a\u00E9\u20AC\U0001F600"), "a\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80");
  const std::u16string lone = {u'a', 0xD83D, u'b', 0xDE00};
  EXPECT_EQ(Utf16ToUtf8(lone), "a\xEF\xBF\xBD" "b\xEF\xBF\xBD");
  EXPECT_EQ(Utf16ToUtf8(lone, LoneSurrogate::kKeep), "a\xED\xA0\xBD" "b\xED\xB8\x80");
  const std::u16string trailingHigh = {u'a', 0xD83D};
  EXPECT_EQ(Utf16ToUtf8(trailingHigh), "a\xEF\xBF\xBD");
}

TEST(EncodingTest, Utf8ToUtf16) {
  struct Case {
    const char* utf8;
    std::u16string utf16;
  };
  const Case cases[] = {
      {"a\xC3\xA9\xE2\x82\xAC", u"a\u00E9\u20AC"},
      {"\xF0\x9F\x98\x80", u"\U0001F600"},
      {"\xFF" "a", u"\uFFFD" "a"},                   // bad lead byte
      {"\xC3" "a", u"\uFFFD" "a"},                   // cut short: 'a' is kept
      {"\xE2\x82", u"\uFFFD"},                       // cut short by the end
      {"\xED\xA0\x80", u"\uFFFD"},                   // an encoded surrogate
      {"\xF4\x90\x80\x80", u"\uFFFD"},               // above U+10FFFF
      {"\x80\x80", u"\uFFFD\uFFFD"},                 // stray continuation bytes
  };
  for (const Case& c : cases) EXPECT_EQ(Utf8ToUtf16(c.utf8), c.utf16) << c.utf8;
}

TEST(EncodingTest, Utf8RoundTripOfEveryPlane) {
  for (char32_t code : {0x7Fu, 0x80u, 0x7FFu, 0x800u, 0xFFFFu, 0x10000u, 0x10FFFFu}) {
    std::u16string wide;
    if (code >= 0x10000) {
      wide = {static_cast<char16_t>(0xD800 + ((code - 0x10000) >> 10)),
              static_cast<char16_t>(0xDC00 + ((code - 0x10000) & 0x3FF))};
    } else {
      wide = {static_cast<char16_t>(code)};
    }
    EXPECT_EQ(Utf8ToUtf16(Utf16ToUtf8(wide)), wide) << static_cast<uint32_t>(code);
  }
}

}  // namespace
