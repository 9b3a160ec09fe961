#include "foundation/tl_string.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include "foundation/tl_codepage.h"
#include "foundation/tl_dialog.h"
#include "foundation/tl_memory.h"
#include "platform/encoding.h"

namespace {

// Texts as UTF-8 so that failures print readably in both widths.
std::string Utf8(const char16_t* text) { return Utf16ToUtf8(text); }

std::string Utf8(const string& text) {
  return Utf8(text.Wide());
}

// The 8-bit view as bytes, for the code page cases.
std::string Bytes(const string& text) {
  return std::string(text.Narrow());
}

// A string table installed through the language hook, with the language's
// offset, step and system-language answer under the test's control.
struct TestLanguage {
  static inline std::map<uint32_t, std::u16string> entries;
  static inline uint32_t offset = 0;
  static inline uint32_t step = 1;
  static inline bool systemLanguage = true;

  static const char16_t* Lookup(uint32_t id, size_t* length) {
    auto found = entries.find(id);
    if (found == entries.end()) return nullptr;
    *length = found->second.size();
    return found->second.data();
  }
  static constexpr StringTableLanguage kHooks = {[] { return offset; }, [] { return step; },
                                                 [] { return systemLanguage; }, Lookup};
};

class StringTable : public ::testing::Test {
 protected:
  void SetUp() override {
    TestLanguage::entries.clear();
    TestLanguage::offset = 0;
    TestLanguage::step = 1;
    TestLanguage::systemLanguage = true;
    SetStringTableLanguage(&TestLanguage::kHooks);
  }
  void TearDown() override { SetStringTableLanguage(nullptr); }
};

std::vector<std::string>* g_traceLines = nullptr;
void CollectTrace(const char* text) {
  g_traceLines->push_back(text);
}

// ---------------------------------------------------------------------------
// The format engine

struct FormatCase {
  const TCHAR* format;
  std::vector<FormatArgument> arguments;
  const char* expected;
};

std::string Format(const FormatCase& item) {
  return Utf8(
      sformat(item.format, FormatArgumentList{item.arguments.data(), item.arguments.size()}));
}

TEST(Sformat, ProducesTheDocumentedTexts) {
  const FormatCase cases[] = {
      {TXT("%{ld,s} Installing %2\n%1%% complete"),
       {40, TXT("readme.txt")},
       "Installing readme.txt\n40% complete"},
      {TXT("%{-6s}[%1]"), {TXT("ab")}, "[ab    ]"},
      {TXT("[%6s]"), {TXT("ab")}, "[    ab]"},
      {TXT("%05ld"), {42}, "00042"},
      {TXT("%05ld"), {-42}, "00-42"},  // the zeros go in front of the sign
      {TXT("%lx"), {255}, "ff"},
      {TXT("%lX"), {255}, "FF"},
      {TXT("%lx"), {-1}, "-1"},
      {TXT("%lu"), {-1}, "4294967295"},
      {TXT("%.1lf"), {2.97}, "2.9"},
      {TXT("%.1lf"), {0.5}, ".5"},
      {TXT("%lf"), {1.5}, "1.50000000"},
      {TXT("%.0lf"), {0.7}, "0"},
      {TXT("%.3s"), {TXT("abcdef")}, "abc"},
  };
  for (const FormatCase& item : cases) EXPECT_EQ(Format(item), item.expected) << item.expected;
}

TEST(Sformat, PercentAndUnknownSpecifications) {
  const FormatCase cases[] = {
      {TXT("100%%"), {}, "100%"},
      {TXT("%%%%d"), {}, "%%d"},
      {TXT("%{ld,s}%5"), {1, TXT("a")}, "(?)"},
      {TXT("%{ld}%0"), {1}, "(?)"},
      {TXT("abc%"), {}, "abc(?)"},
      {TXT("%q"), {}, "(?)q"},
      {TXT("%-6s%s"), {TXT("ab")}, "(?)-6sab"},  // not a specification: takes no argument
      {TXT("%+ld|%s"), {TXT("x")}, "(?)+ld|x"},  // "+" only in the header
      {TXT("%{"), {}, ""},
      {TXT("x%{ld}"), {5}, "x(?){ld}"},  // a header only at the start
      {TXT("%{}%1"), {}, "(?)"},
      {TXT("%l5d"), {}, "(?)5d"},           // after "l" no digits are taken
      {TXT("%{q}[%1]%ld"), {7}, "[(?)]7"},  // an unknown header entry takes nothing
  };
  for (const FormatCase& item : cases) EXPECT_EQ(Format(item), item.expected) << item.expected;
}

TEST(Sformat, PositionalReferences) {
  const FormatCase cases[] = {
      {TXT("%{ld,ld,ld}%3 %1 %2 %1"), {1, 2, 3}, "3 1 2 1"},
      {TXT("%{s}%1."), {TXT("x")}, "x."},  // the dot goes back to the text
      {TXT("%{s}%1.5l!"), {TXT("x")}, "x.5l!"},
      {TXT("%{s}%1.5lf"), {TXT("x")}, "(?)"},        // a conversion, with no argument left
      {TXT("%{ld;s}\t%2%1"), {9, TXT("n")}, "n9"},   // ";" separates, one tab is skipped
      {TXT("%{ld,s}  two"), {1, TXT("a")}, " two"},  // only one space is skipped
      {TXT("%{ld,,s}%3%2"), {1, TXT("x")}, "x(?)"},  // an empty entry is a value of its own
      {TXT("%{ld}%1 %ld"), {1, 2}, "1 2"},           // the header's arguments come first
      {TXT("%{ld}%99999999999"), {1}, "(?)"},
      {TXT("%{+ld,+ld}%1 %2"), {5, -5}, "+5 -5"},
      {TXT("%{0.2lf,.2lf}%1 %2"), {0.25, 0.25}, "0.25 .25"},
      {TXT("%{-4ld,04ld}[%1][%2]"), {7, 7}, "[7   ][0007]"},
  };
  for (const FormatCase& item : cases) EXPECT_EQ(Format(item), item.expected) << item.expected;
}

TEST(Sformat, NumbersAndCharacters) {
  const FormatCase cases[] = {
      {TXT("%ld"), {-2147483647 - 1}, "-2147483648"},
      {TXT("%ld"), {int64_t{0x100000005}}, "5"},  // a 32-bit slot
      {TXT("%d|%u|%x"), {0, 0, 0}, "0|0|0"},
      {TXT("%hd"), {65535}, "-1"},
      {TXT("%hu"), {65535}, "65535"},
      {TXT("%08lX"), {0xBEEF}, "0000BEEF"},
      {TXT("%c%c"), {'o', 'k'}, "ok"},
      {TXT("[%3c]"), {'z'}, "[  z]"},
      {TXT("%.2f"), {0.1f}, ".10"},
      {TXT("%.0lf"), {1e20}, "100000000000000000000"},
      {TXT("%.3lf"), {-1.9999}, "-1.999"},
      {TXT("%lf"), {std::nan("")}, "nan"},
      {TXT("%{+lf}%1"), {HUGE_VAL}, "+inf"},
      {TXT("%8.2lf|"), {3.14159}, "    3.14|"},
  };
  for (const FormatCase& item : cases) EXPECT_EQ(Format(item), item.expected) << item.expected;
}

TEST(Sformat, MismatchedOrMissingArgumentsPrintUnknown) {
  const FormatCase cases[] = {
      {TXT("%ld"), {TXT("text")}, "(?)"},
      {TXT("%s|%ld"), {5, 6}, "(?)|6"},  // the mismatch still uses up its argument
      {TXT("%lf"), {1}, "(?)"},
      {TXT("%ld %ld"), {1}, "1 (?)"},
      {TXT("%m"), {1.5}, "(?)"},
      {TXT("%s"), {static_cast<const char*>(nullptr)}, "(null)"},
      {TXT("%ls|%hs"), {u"wide", "narrow"}, "wide|narrow"},
  };
  for (const FormatCase& item : cases) EXPECT_EQ(Format(item), item.expected) << item.expected;
}

TEST(Sformat, WidthAndPrecisionAreBounded) {
  EXPECT_EQ(sformat(TXT("%99999999999s"), TXT("x")).Length(), 4096u);
  EXPECT_EQ(sformat(TXT("%.99999999lf"), 0.5).Length(), 4097u);
}

TEST(Sformat, TakesItsArgumentsAtTheCallSite) {
  string name(TXT("readme.txt"));
  sformat progress(TXT("%{ld,s} Installing %2\n%1%% complete"), 40, name);
  EXPECT_EQ(Utf8(progress), "Installing readme.txt\n40% complete");
  // Both format widths work in both builds.
  EXPECT_EQ(Utf8(sformat("%s=%ld", u"k", 3)), "k=3");
  EXPECT_EQ(Utf8(sformat(u"%s=%ld", "k", 3)), "k=3");
  // An object's address is printed whole, however wide it is.
  int local = 0;
  char expected[32];
  std::snprintf(expected, sizeof(expected), "%llX",
                static_cast<unsigned long long>(reinterpret_cast<uintptr_t>(&local)));
  EXPECT_EQ(Utf8(sformat(TXT("%lX"), &local)), expected);
}

// ---------------------------------------------------------------------------
// Comparison

template <class Left, class Right>
void ExpectOrder(const Left& left, const Right& right, int sign, const char* what) {
  EXPECT_EQ(left < right, sign < 0) << what;
  EXPECT_EQ(left > right, sign > 0) << what;
  EXPECT_EQ(left <= right, sign <= 0) << what;
  EXPECT_EQ(left >= right, sign >= 0) << what;
  EXPECT_EQ(left == right, sign == 0) << what;
  EXPECT_EQ(left != right, sign != 0) << what;
}

TEST(StringCompare, IstringOnEitherSideIgnoresCase) {
  string plainUpper(TXT("Apple"));
  string plainLower(TXT("apple"));
  istring blindUpper(TXT("Apple"));
  istring blindLower(TXT("apple"));
  string banana(TXT("Banana"));
  istring blindBanana(TXT("Banana"));

  ExpectOrder(plainUpper, plainLower, -1, "string < string, with case");
  ExpectOrder(plainUpper, "apple", -1, "string < 8-bit, with case");
  ExpectOrder(plainUpper, u"apple", -1, "string < UTF-16, with case");
  ExpectOrder(plainLower, banana, 1, "'a' after 'B' with case");

  ExpectOrder(blindUpper, plainLower, 0, "istring == string");
  ExpectOrder(blindUpper, "APPLE", 0, "istring == 8-bit");
  ExpectOrder(blindUpper, u"aPPLE", 0, "istring == UTF-16");
  ExpectOrder(plainUpper, blindLower, 0, "string == istring");
  ExpectOrder(blindUpper, blindLower, 0, "istring == istring");
  ExpectOrder(plainLower, blindBanana, -1, "string < istring ignores case");
  ExpectOrder(blindLower, banana, -1, "istring < string ignores case");
  ExpectOrder(blindBanana, "apple", 1, "istring > 8-bit ignores case");
}

TEST(StringCompare, CountsNullsAndLetters) {
  string text(TXT("Hello, world"));
  EXPECT_EQ(text.Compare("Hello"), ',' - 0);
  EXPECT_EQ(text.Compare("Hello there", 5), 0);
  EXPECT_EQ(text.Compare(u"Hellp", 5), 'o' - 'p');
  EXPECT_EQ(text.CompareNoCase("HELLO, WORLD"), 0);
  EXPECT_EQ(text.CompareNoCase(u"hello, World"), 0);
  EXPECT_EQ(text.Compare(static_cast<const char*>(nullptr)), -1);
  EXPECT_EQ(text.CompareNoCase(static_cast<const char16_t*>(nullptr)), -1);
  // Only A-Z are folded; characters above 0x7F sort after ASCII.
  EXPECT_NE(string(u"\u00C9").CompareNoCase(u"\u00E9"), 0);
  EXPECT_GT(string(u"\u00E9").Compare("z"), 0);
  EXPECT_TRUE(string().IsEmpty());
}

// ---------------------------------------------------------------------------
// Code page

TEST(CodePage, EveryByteSurvivesTheRoundTrip) {
  for (int byte = 1; byte < 256; ++byte) {
    char16_t wide = WidenCharacter(static_cast<char>(byte));
    EXPECT_EQ(static_cast<unsigned char>(NarrowCharacter(wide, false)), byte) << byte;
    EXPECT_EQ(static_cast<unsigned char>(NarrowCharacter(wide, true)), byte) << byte;
  }
  EXPECT_EQ(WidenCharacter('\x80'), u'\u20AC');
  EXPECT_EQ(WidenCharacter('\x9F'), u'\u0178');
  EXPECT_EQ(WidenCharacter('\x81'), u'\u0081');
}

TEST_F(StringTable, NarrowingFollowsTheLanguage) {
  struct Case {
    const char16_t* text;
    const char* system;     // with a system language
    const char* esperanto;  // without one: ISO 8859-3 letters
  };
  const Case cases[] = {
      {u"\u0108u \u015Di \u011Dis \u0125ej\u0135o", "Cu si gis hejjo",
       "\xC6u \xFEi \xF8is \xB6"
       "ej\xBCo"},
      {u"\u0124\u011C\u0134\u015C\u016C\u016D", "HGJSUu", "\xA6\xD8\xAC\xDE\xDD\xFD"},
      {u"caf\u00E9 \u20AC5",
       "caf\xE9 \x80"
       "5",
       "caf\xE9 \x80"
       "5"},
      {u"\u0141\u00F3d\u017A",
       "L\xF3"
       "dz",
       "L\xF3"
       "dz"},
      {u"\u4E2D|\u0416", " | ", " | "},  // no base letter: a space
  };
  for (const Case& item : cases) {
    TestLanguage::systemLanguage = true;
    EXPECT_EQ(Bytes(string(item.text)), item.system) << Utf8(item.text);
    TestLanguage::systemLanguage = false;
    EXPECT_EQ(Bytes(string(item.text)), item.esperanto) << Utf8(item.text);
  }
}

TEST_F(StringTable, WideningIsThePlainCodePage) {
  TestLanguage::systemLanguage = false;
  string text("\xC6u \x80\xE9");
  EXPECT_EQ(Utf8(text), "\xC3\x86u \xE2\x82\xAC\xC3\xA9");  // Æ, not Ĉ: the page alone decides
}

TEST(CodePage, ConversionsRespectTheRoom) {
  char narrow[4];
  EXPECT_EQ(NarrowText(narrow, sizeof(narrow), u"abcdef", kWholeText, false), 3u);
  EXPECT_STREQ(narrow, "abc");
  char16_t wide[3];
  EXPECT_EQ(WidenText(wide, 3, "xyz", kWholeText), 2u);
  EXPECT_EQ(std::u16string(wide), u"xy");
  EXPECT_EQ(NarrowText(narrow, 0, u"abc", kWholeText, false), 0u);
  EXPECT_EQ(NarrowText(narrow, sizeof(narrow), u"a\0b", 3, false), 1u);
}

// ---------------------------------------------------------------------------
// Building, growth and the null rules

TEST(StringBuild, NullTextsBecomeNullLiteral) {
  EXPECT_EQ(Utf8(string(static_cast<const char*>(nullptr))), "(null)");
  EXPECT_EQ(Utf8(string(static_cast<const char16_t*>(nullptr))), "(null)");
  string text(TXT("abc"));
  text += static_cast<const char*>(nullptr);
  EXPECT_EQ(Utf8(text), "abc(null)");
  text = static_cast<const char16_t*>(nullptr);
  EXPECT_EQ(Utf8(text), "(null)");
  text.Append(static_cast<const char*>(nullptr), 2, 1);
  EXPECT_EQ(Utf8(text), "(null)(null)");
}

TEST(StringBuild, WritesKeepOrReplaceTheTail) {
  struct Case {
    const TCHAR* start;
    uint32_t position;
    const TCHAR* source;
    uint32_t from;
    int32_t count;
    const char* expected;
  };
  const Case cases[] = {
      {TXT("abc"), 5, TXT("xy"), 0, 2, "abc  xy"},
      {TXT("abcdef"), 1, TXT("XY"), 0, 2, "aXYdef"},
      {TXT("abcdef"), 1, TXT("XY"), 0, -1, "aXY"},
      {TXT("abcdef"), 4, TXT("XYZ"), 0, 3, "abcdXYZ"},
      {TXT("abc"), 0, TXT("uvwxyz"), 2, 2, "wxc"},
      {TXT("abc"), 0, TXT("uv"), 9, -1, ""},  // a start beyond the source's end
      {TXT("abc"), 3, TXT("uv"), 0, 40, "abcuv"},
  };
  for (const Case& item : cases) {
    string text(item.start);
    text.WriteAt(item.position, item.source, item.from, item.count);
    EXPECT_EQ(Utf8(text), item.expected);
  }
  string part(TXT("0123456789"), 2, 3);
  EXPECT_EQ(Utf8(part), "234");
}

TEST(StringBuild, DefaultStringHoldsThirtyThreeCharactersInPlace) {
  string text;
  const TCHAR* first = text.Text();
  EXPECT_EQ(text.GetBuffer(32), first);  // capacity 49: 32 + 1 + 16
  EXPECT_NE(text.GetBuffer(33), first);
}

TEST(StringBuild, AppendingInALoopMovesTheTextRarely) {
  string text;
  const TCHAR* buffer = text.Text();
  int moves = 0;
  for (int i = 0; i < 100000; ++i) {
    text += 'x';
    if (text.Text() != buffer) {
      ++moves;
      buffer = text.Text();
    }
  }
  EXPECT_EQ(text.Length(), 100000u);
  EXPECT_LE(moves, 20);  // each growth adds the current length on top
}

TEST(StringBuild, SourcesInsideTheStringItself) {
  string text(TXT("abc"));
  for (int i = 0; i < 6; ++i) text += text.Text();
  EXPECT_EQ(text.Length(), 192u);
  EXPECT_EQ(text.Find(string(TXT("cabca"))), 2);
  string other(TXT("xyz"));
  other.Replace(1, 1, other);
  EXPECT_EQ(Utf8(other), "xxyzz");
  other += other;
  EXPECT_EQ(Utf8(other), "xxyzzxxyzz");
  other.Write(other.Wide(2), 0, 3);
  EXPECT_EQ(Utf8(other), "yzzzzxxyzz");
  other.Write(other.Narrow(5));
  EXPECT_EQ(Utf8(other), "xxyzz");
}

TEST(StringBuild, MovedFromStringStaysUsable) {
  string source(TXT("payload"));
  string target(std::move(source));
  EXPECT_EQ(Utf8(target), "payload");
  EXPECT_TRUE(source.IsEmpty());
  source += TXT("again");
  EXPECT_EQ(Utf8(source), "again");
  target = std::move(source);
  EXPECT_EQ(Utf8(target), "again");
  istring key(TXT("Key"));
  istring moved(std::move(key));
  EXPECT_TRUE(moved == "KEY");
}

TEST(StringBuild, BufferViewsAndCopies) {
  string text(TXT("hello"));
  TCHAR* buffer = text.GetBuffer(20);
  buffer[5] = '!';
  buffer[6] = 0;
  text.RecomputeLength();
  EXPECT_EQ(Utf8(text), "hello!");
  EXPECT_EQ(text[1], 'e');
  EXPECT_EQ(text[500], 0);  // room is made, but there is only NUL there
  EXPECT_EQ(std::u16string(text.Wide(4)), u"o!");
  EXPECT_EQ(std::string(text.Narrow(9)), "");
  *text.At(0) = 'j';
  EXPECT_EQ(Utf8(text), "jello!");

  char* narrow = text.NewNarrowCopy();
  char16_t* wide = text.NewWideCopy();
  TCHAR* same = text.NewCopy();
  text = TXT("changed");
  EXPECT_STREQ(narrow, "jello!");
  EXPECT_EQ(std::u16string(wide), u"jello!");
  EXPECT_EQ(Utf8(string(same)), "jello!");
  MEM_FREE(narrow);
  MEM_FREE(wide);
  MEM_FREE(same);
}

TEST(StringBuild, ConcatenationAndCharacters) {
  string text(TXT("a"));
  string joined = text + 'b' + u'c' + "de" + u"f" + string(TXT("g"));
  EXPECT_EQ(Utf8(joined), "abcdefg");
  EXPECT_EQ(Utf8(text), "a");
  text += u'\u00E9';
  EXPECT_EQ(Utf8(text), "a\xC3\xA9");
}

TEST(StringMemory, BuffersCarryTheirTagsAndLeaveNothingBehind) {
  uint32_t before = MemGetStatistics().liveBlocks;
  {
    MemBlockInfo info{};
    string text;
    ASSERT_TRUE(MemGetBlockInfo(text.Text(), &info));
    EXPECT_STREQ(info.typeTag, "sizeof(TCHAR) * cchMin");
    EXPECT_EQ(info.requestedSize, 49 * sizeof(TCHAR));
    EXPECT_NE(std::string(info.sourceFile).find("tl_string"), std::string::npos);

    text = TXT("abcd");
#if VORLAN_WIDE_TCHAR
    ASSERT_TRUE(MemGetBlockInfo(text.Narrow(), &info));
    EXPECT_STREQ(info.typeTag, "sizeof(CHAR) * cchMin");
    EXPECT_EQ(info.requestedSize, 4u * 4 + 4 + 48);
#else
    ASSERT_TRUE(MemGetBlockInfo(text.Wide(), &info));
    EXPECT_STREQ(info.typeTag, "sizeof(WCHAR) * cchMin");
    EXPECT_EQ(info.requestedSize, 2u * (4 * 4 + 4 + 48));
#endif
    char* narrow = text.NewNarrowCopy();
    ASSERT_TRUE(MemGetBlockInfo(narrow, &info));
    EXPECT_STREQ(info.typeTag, "1+strlen8(psz)");
    EXPECT_EQ(info.requestedSize, 5u);
    char16_t* wide = text.NewWideCopy();
    ASSERT_TRUE(MemGetBlockInfo(wide, &info));
    EXPECT_STREQ(info.typeTag, "sizeof(WCHAR) * (1+strlen16(psz))");
    EXPECT_EQ(info.requestedSize, 10u);
    MEM_FREE(narrow);
    MEM_FREE(wide);

    // A mixture of everything that allocates on the way.
    istring key(u"Key");
    sformat line(TXT("%{ld,s,ld,ld,ld,ld,ld,ld,ld,ld,ld,ld,ld,ld,ld,ld,ld}%17 %2"), 1, TXT("a"), 3,
                 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 17);
    EXPECT_EQ(Utf8(line), "17 a");
    string path = string(TXT("C:/x")).JoinPath(key) + "/" + line;
    path.ReplaceAll(TXT("\\"), TXT("/"));
    path.Replace(0, 2, key);
    for (int i = 0; i < 300; ++i) path += u'\u0109';
    EXPECT_EQ(Utf8(path.Substring(0, 14)), "Key/x/Key/17 a");
    EXPECT_EQ(path.Length(), 314u);
  }
  EXPECT_EQ(MemGetStatistics().liveBlocks, before);
}

TEST(StringMemory, PersistentStringsTareEveryBuffer) {
  MemBlockInfo info{};
  string text(TXT("x"));
  text.MakePersistent();
  ASSERT_TRUE(MemGetBlockInfo(text.Text(), &info));
  EXPECT_TRUE(info.tared);
  for (int i = 0; i < 200; ++i) text += 'y';
  ASSERT_TRUE(MemGetBlockInfo(text.Text(), &info));
  EXPECT_TRUE(info.tared);
#if VORLAN_WIDE_TCHAR
  ASSERT_TRUE(MemGetBlockInfo(text.Narrow(), &info));
#else
  ASSERT_TRUE(MemGetBlockInfo(text.Wide(), &info));
#endif
  EXPECT_TRUE(info.tared);

  string* owned = MEM_NEW(string, "string", TXT("kept"));
  ASSERT_TRUE(MemGetBlockInfo(owned->Text(), &info));
  EXPECT_FALSE(info.tared);
  owned->MakePersistentWithObject();
  ASSERT_TRUE(MemGetBlockInfo(owned, &info));
  EXPECT_TRUE(info.tared);
  ASSERT_TRUE(MemGetBlockInfo(owned->Text(), &info));
  EXPECT_TRUE(info.tared);
  MEM_DELETE(owned);
}

// ---------------------------------------------------------------------------
// Paths, trimming, replacing, finding

TEST(StringEdit, PathAppendAndJoin) {
  struct Case {
    const TCHAR* base;
    const TCHAR* part;
    const char* expected;
  };
  const Case cases[] = {
      {TXT("C:/Games"), TXT("/Vorlan"), "C:\\Games\\Vorlan"},
      {TXT(""), TXT("a/b"), "a\\b"},
      {TXT("a\\"), TXT("b"), "a\\b"},
      {TXT("a"), TXT("b/"), "a\\b\\"},
      {TXT("a/"), TXT("\\b"), "a\\b"},
      {TXT("a"), TXT(""), "a\\"},
  };
  for (const Case& item : cases) {
    string base(item.base);
    EXPECT_EQ(Utf8(base.JoinPath(string(item.part))), item.expected);
    EXPECT_EQ(Utf8(base), Utf8(string(item.base)));
    base.AppendPath(string(item.part));
    EXPECT_EQ(Utf8(base), item.expected);
  }
  string self(TXT("x/y"));
  self.AppendPath(self);
  EXPECT_EQ(Utf8(self), "x\\y\\x\\y");
}

TEST(StringEdit, TrimAndSubstring) {
  EXPECT_EQ(Utf8(string(TXT(" \t ab c\t ")).Trimmed()), "ab c");
  EXPECT_EQ(Utf8(string(TXT(" \t ")).Trimmed()), "");
  string text(TXT("abcdef"));
  EXPECT_EQ(Utf8(text.Substring(2)), "cdef");
  EXPECT_EQ(Utf8(text.Substring(2, 2)), "cd");
  EXPECT_EQ(Utf8(text.Substring(9)), "");
}

TEST(StringEdit, ReplaceRangesAndEveryOccurrence) {
  string text(TXT("abcdef"));
  text.Replace(1, 2, string(TXT("XYZ")));
  EXPECT_EQ(Utf8(text), "aXYZdef");
  text.Replace(0, 0, string(TXT(">")));
  EXPECT_EQ(Utf8(text), ">aXYZdef");
  text.Replace(4, 100, string());
  EXPECT_EQ(Utf8(text), ">aXY");

  string banana(TXT("banana"));
  EXPECT_TRUE(banana.ReplaceAll("a", "aa"));
  EXPECT_EQ(Utf8(banana), "baanaanaa");
  EXPECT_TRUE(banana.ReplaceAll(u"aa", u""));
  EXPECT_EQ(Utf8(banana), "bnn");
  EXPECT_TRUE(banana.ReplaceAll(string(TXT("n")), string(TXT("N"))));
  EXPECT_EQ(Utf8(banana), "bNN");

  std::vector<std::string> lines;
  g_traceLines = &lines;
  DebugTraceSink previous = SetDebugTraceSink(CollectTrace);
  EXPECT_FALSE(banana.ReplaceAll("", "x"));
  SetDebugTraceSink(previous);
  EXPECT_EQ(Utf8(banana), "bNN");
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_EQ(lines[0].rfind("string::ReplaceAll called with an empty find text", 0), 0u);
}

TEST(StringEdit, FindFirstAndLast) {
  string text(TXT("abcabcab"));
  EXPECT_EQ(text.Find(string(TXT("ca"))), 2);
  EXPECT_EQ(text.Find(string(TXT("ca")), 3), 5);
  EXPECT_EQ(text.Find(string(TXT("ca")), 6), -1);
  EXPECT_EQ(text.Find(string(TXT("abcabcabc"))), -1);
  EXPECT_EQ(text.Find('c', 3), 5);
  EXPECT_EQ(text.Find(u'c', 6), -1);
  EXPECT_EQ(text.FindLast(string(TXT("ab"))), 6);
  EXPECT_EQ(text.FindLast(string(TXT("ab")), 5), 3);
  EXPECT_EQ(text.FindLast(string(TXT("ab")), 0), 0);
  EXPECT_EQ(text.FindLast(string(TXT("x"))), -1);
  EXPECT_EQ(text.FindLast('a'), 6);
  EXPECT_EQ(text.FindLast(u'a', 5), 3);
  EXPECT_EQ(text.FindLast('z'), -1);
  EXPECT_EQ(string().FindLast('a'), -1);
}

// Positions from a -1 that went through an unsigned parameter are far past
// any string: they find nothing and give no room, rather than wrapping round
// to the start of the buffer.
TEST(StringEdit, PositionsAtTheTopOfTheRangeFindAndReserveNothing) {
  string text(TXT("abcabc"));
  for (uint32_t position : {7u, 0x0FFFFFFFu, 0xFFFFFFFEu, 0xFFFFFFFFu}) {
    SCOPED_TRACE(position);
    EXPECT_EQ(text.Find(string(TXT("a")), position), -1);
    EXPECT_EQ(text.Find(string(TXT("bc")), position), -1);
    EXPECT_EQ(text.Find(string(), position), -1);
    EXPECT_EQ(text.Find('a', position), -1);
    EXPECT_EQ(text.Find(u'a', position), -1);
  }
  EXPECT_EQ(text.Find(string(), 6), 6);
  EXPECT_EQ(text.At(0xFFFFFFFF), nullptr);
  EXPECT_EQ(text.GetBuffer(0xFFFFFFFF), nullptr);
  EXPECT_EQ(text[0xFFFFFFFF], 0);
  EXPECT_EQ(Utf8(text), "abcabc");
}

// ---------------------------------------------------------------------------
// String-table texts

TEST_F(StringTable, ContinuedTextsFollowTheStep) {
  TestLanguage::step = 2;
  TestLanguage::entries = {{20, u"First part +"}, {22, u"second part"}};
  EXPECT_EQ(Utf8(string(StringId(20))), "First part second part");
  EXPECT_EQ(Utf8(istring(StringId(20))), "First part second part");
}

TEST_F(StringTable, LanguageOffsetIsAdded) {
  TestLanguage::offset = 1;
  TestLanguage::step = 2;
  TestLanguage::entries = {{6, u"English"}, {7, u"Esperanto +"}, {9, u"plu"}};
  EXPECT_EQ(Utf8(string(StringId(6))), "Esperanto plu");
}

TEST_F(StringTable, MissingEmptyOrBrokenEntriesStopTheLoad) {
  TestLanguage::entries = {{1, u"only +"}, {3, u""},  {4, std::u16string(u"a\0b", 3)},
                           {5, u"x+"},     {6, u"+"}, {7, u"tail"}};
  EXPECT_EQ(Utf8(string(StringId(1))), "only ");  // the continuation is missing
  EXPECT_EQ(Utf8(string(StringId(2))), "");
  EXPECT_EQ(Utf8(string(StringId(3))), "");
  EXPECT_EQ(Utf8(string(StringId(4))), "");
  EXPECT_EQ(Utf8(string(StringId(5))), "xtail");
}

TEST_F(StringTable, EndlessContinuationEnds) {
  static const char16_t kPlus[] = u"+";
  static constexpr StringTableLanguage kEndless = {nullptr, nullptr, nullptr,
                                                   [](uint32_t, size_t* length) -> const char16_t* {
                                                     *length = 1;
                                                     return kPlus;
                                                   }};
  SetStringTableLanguage(&kEndless);
  EXPECT_EQ(string(StringId(1)).Length(), 0u);
}

TEST_F(StringTable, FormatsAndMSpecifierLoadTableTexts) {
  TestLanguage::entries = {{30, u"%{s,ld}%2 files in %1"}, {31, u"Program +"}, {32, u"Files"}};
  EXPECT_EQ(Utf8(sformat(StringId(30), TXT("C:\\Games"), 12)), "12 files in C:\\Games");
  EXPECT_EQ(Utf8(sformat(TXT("[%m|%.4m|%12m]"), 31, StringId(31), 99)),
            "[Program Files|Prog|            ]");
  EXPECT_TRUE(string(StringId(77)).IsEmpty());
}

TEST(StringTableDefault, WithoutALanguageIdsLoadNothing) {
  SetStringTableLanguage(nullptr);
  EXPECT_TRUE(string(StringId(1)).IsEmpty());
  EXPECT_EQ(Bytes(string(u"\u0108")), "C");
}

}  // namespace
