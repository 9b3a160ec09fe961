#include "common/language.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "foundation/tl_dialog.h"
#include "foundation/tl_string.h"
#include "platform/encoding.h"
#include "platform/font.h"
#include "platform/registry.h"

namespace {

constexpr const TCHAR* kProduct = TXT("Vorlan CE");
constexpr const char16_t* kChoice = u"Lang-Vorlan CE";
constexpr const char16_t* kList = u"Opt-Vorlan CE";

// Text ids of data/language.rc.
constexpr uint32_t kListEnEo = 1;
constexpr uint32_t kListDoubleComma = 2;
constexpr uint32_t kListMissing = 3;
constexpr uint32_t kListEoFirst = 4;
constexpr uint32_t kTextLow = 6;
constexpr uint32_t kTextContinued = 8;
constexpr uint32_t kTextProgress = 14;

std::string Utf8(const char16_t* text) { return Utf16ToUtf8(text); }

std::string Utf8(const string& text) {
  return Utf8(text.Wide());
}

constexpr const char16_t* kSelectionKey = u"Software\\Qualen\\NLS";

// What a value of the selection key holds; "<missing>" when it is absent.
std::string ReadSelection(const char16_t* name) {
  RegistryKey key;
  if (RegistryOpenKey(kRegistryLocalMachine, kSelectionKey, &key) != kErrorSuccess) {
    return "<missing>";
  }
  RegistryValueType type;
  uint32_t size = 0;
  std::string text = "<missing>";
  if (RegistryQueryValue(key, name, &type, nullptr, &size) == kErrorSuccess) {
    std::vector<char16_t> data(size / 2 + 1);
    EXPECT_EQ(RegistryQueryValue(key, name, &type, data.data(), &size), kErrorSuccess);
    EXPECT_EQ(type, RegistryValueType::String);
    EXPECT_EQ(data[size / 2 - 1], 0) << "written without its terminator";
    text = Utf8(data.data());
  }
  RegistryCloseKey(key);
  return text;
}

void WriteSelection(const char16_t* name, RegistryValueType type, const void* data, uint32_t size) {
  RegistryKey key;
  ASSERT_EQ(RegistryCreateKey(kRegistryLocalMachine, kSelectionKey, &key), kErrorSuccess);
  ASSERT_EQ(RegistrySetValue(key, name, type, data, size), kErrorSuccess);
  RegistryCloseKey(key);
}

void WriteSelection(const char16_t* name, const std::u16string& text) {
  WriteSelection(name, RegistryValueType::String, text.c_str(),
                 static_cast<uint32_t>((text.size() + 1) * sizeof(char16_t)));
}

// Each test has a registry of its own and the program's own resources.
class Language : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/language_test.XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    folder_ = pattern;
    std::string path = folder_ + "/registry.db";
    setenv("VORLAN_REGISTRY", path.c_str(), 1);
    ASSERT_TRUE(RegistrySelectDefaultStore(path.c_str()));
    SetResourceModule(ResourceModule{});
  }
  void TearDown() override {
    RegistrySelectDefaultStore(":memory:");
    std::filesystem::remove_all(folder_);
  }

  std::string folder_;
};

TEST_F(Language, NoStoredChoiceTakesTheFirstOfferedAndStoresIt) {
  InitLanguage(kProduct, kListEnEo);
  EXPECT_EQ(GetLanguageId(), 1033);
  EXPECT_EQ(GetLanguageOffset(), 0u);
  EXPECT_EQ(GetLanguageStep(), 2u);
  EXPECT_EQ(ReadSelection(kChoice), "EN");
  EXPECT_EQ(ReadSelection(kList), "EN,EO");
}

TEST_F(Language, StoredChoice) {
  struct Case {
    std::u16string stored;
    uint16_t language;
    uint32_t offset;
    const char* storedAfter;
  };
  const Case cases[] = {
      {u"eo", 0, 1, "eo"},                             // any spelling of an offered code
      {u"EN", 1033, 0, "EN"}, {u"FR", 1033, 0, "EN"},  // known, but not offered
      {u"XX", 1033, 0, "EN"},                          // unknown
      {u"E", 1033, 0, "EN"},  {u"", 1033, 0, "EN"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(Utf8(c.stored.c_str()));
    WriteSelection(kChoice, c.stored);
    InitLanguage(kProduct, kListEnEo);
    EXPECT_EQ(GetLanguageId(), c.language);
    EXPECT_EQ(GetLanguageOffset(), c.offset);
    EXPECT_EQ(GetLanguageStep(), 2u);
    EXPECT_EQ(ReadSelection(kChoice), c.storedAfter);
  }
}

TEST_F(Language, StoredChoiceThatIsNotTextCountsAsNone) {
  const uint8_t bytes[] = {'E', 0, 'O', 0, 0, 0};
  WriteSelection(kChoice, RegistryValueType::Binary, bytes, sizeof(bytes));
  InitLanguage(kProduct, kListEnEo);
  EXPECT_EQ(GetLanguageId(), 1033);
  EXPECT_EQ(ReadSelection(kChoice), "EN");

  // Nor does a text stored without its terminator read past its end.
  const char16_t unterminated[] = {u'E', u'O'};
  WriteSelection(kChoice, RegistryValueType::String, unterminated, sizeof(unterminated));
  InitLanguage(kProduct, kListEnEo);
  EXPECT_EQ(GetLanguageId(), 0);
}

TEST_F(Language, Lists) {
  struct Case {
    uint32_t listId;
    const char16_t* stored;  // null: nothing stored
    const char* list;
    uint16_t language;
    uint32_t offset;
    uint32_t step;
    const char* storedAfter;
  };
  const Case cases[] = {
      {kListDoubleComma, nullptr, "EN,,EO", 1033, 0, 2, "EN"},
      {kListDoubleComma, u"EO", "EN,,EO", 0, 1, 2, "EO"},
      {kListMissing, u"EO", "EN", 1033, 0, 1, "EN"},
      {kListEoFirst, nullptr, "eo,EN", 0, 0, 2, "eo"},
      {kListEoFirst, u"en", "eo,EN", 1033, 1, 2, "en"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.listId);
    SCOPED_TRACE(c.list);
    // The list is read in the language current so far, which the previous
    // case may have left at Esperanto; English is where the lists are.
    SetLanguage(1033);
    RegistryDeleteTree(kRegistryLocalMachine, kSelectionKey);
    if (c.stored) WriteSelection(kChoice, c.stored);
    InitLanguage(kProduct, c.listId);
    EXPECT_EQ(GetLanguageId(), c.language);
    EXPECT_EQ(GetLanguageOffset(), c.offset);
    EXPECT_EQ(GetLanguageStep(), c.step);
    EXPECT_EQ(ReadSelection(kList), c.list);
    EXPECT_EQ(ReadSelection(kChoice), c.storedAfter);
  }
}

TEST_F(Language, SetLanguageOnlyToAnOfferedLanguage) {
  InitLanguage(kProduct, kListEnEo);
  EXPECT_FALSE(SetLanguage(1036));
  EXPECT_FALSE(SetLanguage(kLanguageUnknown));
  EXPECT_EQ(GetLanguageId(), 1033);
  EXPECT_EQ(GetLanguageOffset(), 0u);
  EXPECT_EQ(ReadSelection(kChoice), "EN");

  EXPECT_TRUE(SetLanguage(kLanguageEsperanto));
  EXPECT_EQ(GetLanguageId(), 0);
  EXPECT_EQ(GetLanguageOffset(), 1u);
  EXPECT_EQ(GetLanguageStep(), 2u);
  EXPECT_EQ(ReadSelection(kChoice), "EO");

  // A later start finds the choice.
  InitLanguage(kProduct, kListEnEo);
  EXPECT_EQ(GetLanguageOffset(), 1u);

  // Once initialised, a start without a product keeps everything.
  InitLanguage(nullptr, kListMissing);
  EXPECT_EQ(GetLanguageId(), 0);
  EXPECT_EQ(GetLanguageStep(), 2u);
}

// A start for another product recomputes everything from that product's
// values, and later choices are stored for it alone.
TEST_F(Language, LaterStartForAnotherProduct) {
  WriteSelection(u"Lang-Other", u"EO");
  InitLanguage(kProduct, kListEnEo);
  ASSERT_EQ(GetLanguageId(), 1033);
  InitLanguage(TXT("Other"), kListEnEo);
  EXPECT_EQ(GetLanguageId(), 0);
  EXPECT_EQ(GetLanguageOffset(), 1u);
  EXPECT_EQ(ReadSelection(u"Opt-Other"), "EN,EO");
  EXPECT_TRUE(SetLanguage(1033));
  EXPECT_EQ(ReadSelection(u"Lang-Other"), "EN");
  EXPECT_EQ(GetLanguageFor(TXT("Vorlan CE")), 1033);
  ASSERT_TRUE(SetLanguageFor(TXT("Vorlan CE"), kLanguageEsperanto));
  EXPECT_EQ(ReadSelection(kChoice), "EO");
  EXPECT_EQ(GetLanguageId(), 1033);
}

TEST_F(Language, OtherProducts) {
  const TCHAR* other = TXT("Other");
  WriteSelection(u"Opt-Other", u"DE,,fr");
  InitLanguage(kProduct, kListEnEo);

  EXPECT_EQ(GetOfferedLanguage(other, 0), 1031);
  EXPECT_EQ(GetOfferedLanguage(other, 1), 1036);
  EXPECT_EQ(GetOfferedLanguage(other, 2), kLanguageUnknown);
  EXPECT_EQ(GetOfferedLanguage(TXT("Nobody"), 0), kLanguageUnknown);
  EXPECT_EQ(GetOfferedLanguage(kProduct, 1), 0);

  EXPECT_EQ(GetLanguageFor(other), kLanguageUnknown);
  EXPECT_FALSE(SetLanguageFor(other, kLanguageEsperanto));
  EXPECT_EQ(ReadSelection(u"Lang-Other"), "<missing>");
  EXPECT_TRUE(SetLanguageFor(other, 1036));
  EXPECT_EQ(ReadSelection(u"Lang-Other"), "fr");
  EXPECT_EQ(GetLanguageFor(other), 1036);
  EXPECT_FALSE(SetLanguageFor(TXT("Nobody"), 1033));
  // None of that touches the current language.
  EXPECT_EQ(GetLanguageId(), 1033);

  // The current product, in any case, or none at all, is the current language.
  EXPECT_TRUE(SetLanguageFor(TXT("VORLAN ce"), kLanguageEsperanto));
  EXPECT_EQ(GetLanguageOffset(), 1u);
  EXPECT_EQ(ReadSelection(kChoice), "EO");
  EXPECT_EQ(GetLanguageFor(TXT("vorlan CE")), 0);
  EXPECT_TRUE(SetLanguageFor(nullptr, 1033));
  EXPECT_EQ(GetLanguageFor(TXT("")), 1033);
}

TEST(LanguageCodes, CodeToId) {
  struct Case {
    const char* code;
    uint16_t language;
  };
  const Case cases[] = {{"EO", 0},    {"eo", 0},       {"En", 1033},      {"FR", 1036},
                        {"de", 1031}, {"ES", 1034},    {"EN ", 0xFFFF},   {"E", 0xFFFF},
                        {"", 0xFFFF}, {"ENG", 0xFFFF}, {nullptr, 0xFFFF}, {"IT", 0xFFFF}};
  for (const Case& c : cases) {
    EXPECT_EQ(LanguageCodeToId(c.code), c.language) << (c.code ? c.code : "(null)");
  }
}

// The texts of the table through string, sformat and "%m": the language's
// offset picks the entry, its step the continuation.
TEST_F(Language, TableTexts) {
  InitLanguage(kProduct, kListEnEo);
  struct Case {
    uint16_t language;
    const char16_t* low;
    const char16_t* continued;
    const char16_t* progress;
  };
  const Case cases[] = {
      {1033, u"Low", u"First part second part third part", u"Installing readme.txt: 40%"},
      {0, u"Malforta \u0109e\u0125", u"Unua parto dua parto", u"Instalas readme.txt: 40%"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.language);
    ASSERT_TRUE(SetLanguage(c.language));
    // Made in the same language, the expected texts narrow as the loaded ones.
    std::string low = Utf8(string(c.low));
    EXPECT_EQ(Utf8(string(StringId(kTextLow))), low);
    EXPECT_EQ(Utf8(istring(StringId(kTextLow))), low);
    EXPECT_EQ(Utf8(string(StringId(kTextContinued))), Utf8(c.continued));
    EXPECT_EQ(Utf8(sformat(StringId(kTextProgress), 40, TXT("readme.txt"))), Utf8(c.progress));
    EXPECT_EQ(Utf8(sformat("[%m]", StringId(kTextLow))), "[" + low + "]");
  }
  // Id 6 in Esperanto is entry 7.
  ASSERT_TRUE(SetLanguage(kLanguageEsperanto));
  const char16_t* entry = GetStringEntry(7);
  ASSERT_NE(entry, nullptr);
  EXPECT_EQ(std::u16string(entry + 1, entry[0]), u"Malforta \u0109e\u0125");
  EXPECT_EQ(GetStringEntry(5), nullptr);
  EXPECT_EQ(GetStringEntry(0xFFFFFFFF), nullptr);
  EXPECT_TRUE(string(StringId(2)).IsEmpty());  // entry 3 is missing
}

// While Esperanto is current its letters narrow to their ISO 8859-3 bytes;
// in English to their plain letters.
TEST_F(Language, NarrowingFollowsTheLanguage) {
  InitLanguage(kProduct, kListEnEo);
  ASSERT_TRUE(SetLanguage(kLanguageEsperanto));
  EXPECT_EQ(std::string(string(StringId(kTextLow)).Narrow()),
            "Malforta \xE6"
            "e\xB6");
  ASSERT_TRUE(SetLanguage(1033));
  EXPECT_EQ(std::string(string(u"\u0109e\u0125").Narrow()), "ceh");
}

TEST_F(Language, FindLangResourceFallsBackInOrder) {
  struct Case {
    uint16_t language;
    const char* userLanguage;
    uint16_t block;
    const char* text;  // entry 0 of the block; null: no block at all
  };
  const Case cases[] = {
      {0, "C", 2, "dek ses"},
      {0x407, "C", 2, "sechzehn"},
      {0x40C, "de_DE.UTF-8", 2, "sechzehn"},   // the user's language
      {0x40C, "C", 2, "sixteen"},              // then English
      {0x409, "C", 3, "zweiunddrei\u00DFig"},  // then any
      {0x409, "C", 9, nullptr},
  };
  const char* saved = getenv("LC_ALL");
  std::string savedValue = saved ? saved : "";
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.language << " " << c.userLanguage << " " << c.block);
    setenv("LC_ALL", c.userLanguage, 1);
    uint32_t size = 0;
    const uint8_t* block = FindLangResource(kResourceTypeString, c.block, c.language, &size);
    if (!c.text) {
      EXPECT_EQ(block, nullptr);
      EXPECT_EQ(size, 0u);
      continue;
    }
    ASSERT_NE(block, nullptr);
    const char16_t* entry = FindStringBlockEntry(block, size, 0);
    ASSERT_NE(entry, nullptr);
    EXPECT_EQ(Utf8(std::u16string(entry + 1, entry[0]).c_str()), c.text);
  }
  if (saved) {
    setenv("LC_ALL", savedValue.c_str(), 1);
  } else {
    unsetenv("LC_ALL");
  }
  // Another module's resources, when set; this program has no other.
  SetResourceModule(ResourceModule{0x7FFFFFFF});
  EXPECT_EQ(FindLangResource(kResourceTypeString, 2, 0x409), nullptr);
  SetResourceModule(ResourceModule{});
  EXPECT_EQ(GetResourceModule(), GetProgramResourceModule());
}

// Blocks built by hand: counts, then units.
std::vector<uint16_t> Block(std::initializer_list<std::u16string> entries) {
  std::vector<uint16_t> units;
  for (const std::u16string& entry : entries) {
    units.push_back(static_cast<uint16_t>(entry.size()));
    units.insert(units.end(), entry.begin(), entry.end());
  }
  return units;
}

TEST(StringBlock, Walk) {
  std::vector<uint16_t> block = Block({u"", u"ab", std::u16string(u"x\0y", 3), u"c"});
  const uint8_t* bytes = reinterpret_cast<const uint8_t*>(block.data());
  uint32_t size = static_cast<uint32_t>(block.size() * 2);
  struct Case {
    uint32_t index;
    uint32_t size;
    const char* text;  // null: refused
  };
  const Case cases[] = {
      {0, size, nullptr},                          // empty
      {1, size, "ab"},        {2, size, nullptr},  // holds a NUL
      {3, size, "c"},         {4, size, nullptr},  // past the last
      {16, size, nullptr},                         // not an entry of a block
      {3, size - 2, nullptr},                      // its text cut off
      {1, 7, nullptr},        {1, 8, "ab"},       {0, 0, nullptr},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.index << " of " << c.size);
    const char16_t* entry = FindStringBlockEntry(bytes, c.size, c.index);
    if (!c.text) {
      EXPECT_EQ(entry, nullptr);
    } else {
      ASSERT_NE(entry, nullptr);
      EXPECT_EQ(Utf8(std::u16string(entry + 1, entry[0]).c_str()), c.text);
    }
  }
  EXPECT_EQ(FindStringBlockEntry(nullptr, 8, 0), nullptr);
  std::vector<uint8_t> shifted(size + 1);
  std::memcpy(shifted.data() + 1, bytes, size);
  EXPECT_EQ(FindStringBlockEntry(shifted.data() + 1, size, 1), nullptr);
}

// The first request initialises by itself, without a product: list 1, and
// nothing stored. Run in a fresh process, where nothing has initialised yet.
TEST_F(Language, FirstRequestInitialises) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(
      {
        bool fresh = string(StringId(kTextLow)).IsEmpty();  // no table before
        bool ok = fresh && GetLanguageStep() == 2 && GetLanguageId() == 1033 &&
                  GetLanguageOffset() == 0 && ReadSelection(kList) == "<missing>" &&
                  ReadSelection(u"Lang-") == "<missing>" &&
                  Utf8(string(StringId(kTextLow))) == "Low";
        // Without a product a choice is made but stored nowhere.
        ok = ok && SetLanguage(kLanguageEsperanto) && GetLanguageOffset() == 1 &&
             ReadSelection(u"Lang-") == "<missing>";
        // The child ends without TearDown: it clears its own registry folder.
        std::filesystem::remove_all(folder_);
        std::exit(ok ? 0 : 1);
      },
      testing::ExitedWithCode(0), "");
}

// Fonts from specification texts.

const int kHeadless = setenv("VORLAN_BACKEND", "headless", 1);

struct FontCase {
  const TCHAR* specification;
  const char* face;  // null: the default GUI font's face
  int32_t size;      // 0: the default GUI font's size
  bool bold, italic, underline;
};

void ExpectFonts(const FontCase* cases, size_t count, const char* suffix) {
  FontDescription standard;
  ASSERT_TRUE(GetFontDescription(GetDefaultGuiFont(), &standard));
  for (size_t i = 0; i < count; ++i) {
    const FontCase& c = cases[i];
    SCOPED_TRACE(Utf8(string(c.specification ? c.specification : TXT("(null)"))));
    Font* font = CreateFontFromSpec(c.specification);
    ASSERT_NE(font, nullptr);
    FontDescription made;
    ASSERT_TRUE(GetFontDescription(font, &made));
    EXPECT_EQ(made.face, (c.face ? std::string(c.face) : standard.face) + suffix);
    EXPECT_EQ(made.size, c.size ? c.size : standard.size);
    EXPECT_EQ(made.weight, c.bold ? kFontWeightBold : standard.weight);
    EXPECT_EQ(made.italic, c.italic);
    EXPECT_EQ(made.underline, c.underline);
    EXPECT_EQ(made.quality, kFontQualityAntialiased);
    DeleteFont(font);
  }
}

TEST_F(Language, FontFromSpecification) {
  InitLanguage(kProduct, kListEnEo);
  // Points become pixels at 96 per inch, truncating: 12 points are 16
  // pixels, 10 points 13.
  const FontCase cases[] = {
      {TXT("Arial,12,BI"), "Arial", -16, true, true, false},
      {TXT("MS Shell Dlg,10"), "MS Shell Dlg", -13, false, false, false},
      {TXT("Arial,-14,I"), "Arial", -14, false, true, false},
      {TXT("-11"), nullptr, -11, false, false, false},
      {TXT("default,u,9"), nullptr, -12, false, false, true},
      {TXT("bU, Tahoma ,12,-9"), "Tahoma", -9, true, false, true},  // the last size wins
      {TXT("Arial,12pt,B"), "Arial", -16, true, false, false},      // the leading number
      {TXT("Bold"), "Bold", 0, false, false, false},                // not only B, I, U
      {TXT(""), nullptr, 0, false, false, false},
      {nullptr, nullptr, 0, false, false, false},
  };
  ExpectFonts(cases, std::size(cases), "");
}

TEST_F(Language, FontFromSpecificationInEsperanto) {
  WriteSelection(kChoice, u"EO");
  InitLanguage(kProduct, kListEnEo);
  ASSERT_EQ(GetLanguageId(), kLanguageEsperanto);
  const FontCase appended[] = {
      {TXT("Arial,12,BI"), "Arial", -16, true, true, false},
      {TXT("DejaVu Sans EO,8"), "DejaVu Sans EO", -10, false, false, false},  // compared with case
  };
  ExpectFonts(appended, std::size(appended), " Eo");
  const FontCase kept[] = {
      {TXT("Arial Eo,-12"), "Arial Eo", -12, false, false, false},
  };
  ExpectFonts(kept, std::size(kept), "");
}

MessageResult HandlesNothing(WindowHandle, uint32_t, MessageWord, MessageLong) {
  return 0;
}

TEST_F(Language, LangDialogTakesTheTemplateOfTheLanguage) {
  struct Case {
    const char16_t* stored;
    const char* caption;
  } const cases[] = {{u"EN", "Welcome"}, {u"EO", "Bonvenon"}};
  for (const Case& c : cases) {
    WriteSelection(kChoice, c.stored);
    InitLanguage(kProduct, kListEnEo);
    WindowHandle dialog = CreateLangDialog(103, WindowHandle{}, HandlesNothing, 0);
    ASSERT_TRUE(dialog);
    char caption[32];
    GetWindowText(dialog, caption, 32);
    EXPECT_STREQ(caption, c.caption);
    DestroyWindow(dialog);
  }
}

}  // namespace
