#include "platform/resource.h"

#include <gtest/gtest.h>

#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "platform/error.h"
#include "tools/rescomp/rescomp_script.h"

namespace {

std::vector<uint8_t> ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::vector<uint8_t> Bytes(ResourceHandle resource) {
  const uint8_t* data = LoadResourceData(resource);
  if (!data) return {};
  return std::vector<uint8_t>(data, data + GetResourceSize(resource));
}

std::u16string Text(const StringBlockEntry& entry) {
  return std::u16string(entry.text, entry.count);
}

// Sets one locale variable for the life of a test and clears the others that
// would take precedence.
class LocaleFixture : public testing::Test {
 protected:
  void SetLocale(const char* lang) {
    unsetenv("LC_ALL");
    unsetenv("LC_MESSAGES");
    if (lang) setenv("LANG", lang, 1);
    else unsetenv("LANG");
  }
  void TearDown() override { SetLocale("C"); }
};

// The language chain the language selection builds from these calls: the
// wanted language, the user's, English, then any.
std::u16string TextInChain(uint32_t textId, uint16_t language) {
  ResourceModule module = GetProgramResourceModule();
  ResourceName type = kResourceTypeString;
  ResourceName name = StringBlockId(textId);
  ResourceHandle block = FindResource(module, type, name, language);
  if (!block) block = FindResource(module, type, name, GetUserDefaultLanguage());
  if (!block) block = FindResource(module, type, name, kLanguageEnglish);
  if (!block) block = FindResourceInAnyLanguage(module, type, name);
  StringBlockEntry entry;
  if (!block || !ReadStringBlockEntry(LoadResourceData(block), GetResourceSize(block),
                                      textId % kStringsPerBlock, &entry))
    return u"(missing)";
  return Text(entry);
}

TEST(ResourceStrings, BlockOfSixteenCountedTexts) {
  ResourceHandle block =
      FindResource(GetProgramResourceModule(), kResourceTypeString, StringBlockId(2), 0x409);
  ASSERT_TRUE(block);
  std::vector<uint8_t> bytes = Bytes(block);
  // Every entry is present, the empty ones as a bare zero count.
  const size_t units = std::u16string(u"EN,EO" u"Vorlan" u"First part +" u"second part").size();
  EXPECT_EQ(bytes.size(), 2 * 16 + 2 * units);
  EXPECT_EQ(bytes[0], 0);
  EXPECT_EQ(bytes[1], 0);
  EXPECT_EQ(bytes[2], 5);  // "EN,EO" as the count 5 then its units
  EXPECT_EQ(bytes[3], 0);
  EXPECT_EQ(bytes[4], 'E');
  EXPECT_EQ(bytes[5], 0);

  struct Case {
    uint32_t index;
    std::u16string text;
  } cases[] = {{0, u""},  {1, u"EN,EO"},          {2, u"Vorlan"}, {3, u""},
               {6, u"First part +"}, {7, u""}, {8, u"second part"}, {15, u""}};
  for (const Case& c : cases) {
    StringBlockEntry entry;
    ASSERT_TRUE(ReadStringBlockEntry(bytes.data(), static_cast<uint32_t>(bytes.size()), c.index,
                                     &entry))
        << c.index;
    EXPECT_EQ(Text(entry), c.text) << c.index;
    EXPECT_EQ(static_cast<size_t>(entry.counted[0]), c.text.size());
  }
  // Ids 16-31 are the second block.
  EXPECT_EQ(TextInChain(17, 0x409), u"Block two");
  EXPECT_EQ(TextInChain(20, 0x409), u"Low");
}

TEST(ResourceStrings, ShortBlockIsRefusedEntryByEntry) {
  ResourceHandle block =
      FindResource(GetProgramResourceModule(), kResourceTypeString, StringBlockId(2), 0x409);
  std::vector<uint8_t> bytes = Bytes(block);
  StringBlockEntry entry;
  // Cut in the middle of entry 2's text: entries before it still read.
  uint32_t cut = 2 + 2 + 5 * 2 + 2 + 3 * 2;
  EXPECT_TRUE(ReadStringBlockEntry(bytes.data(), cut, 1, &entry));
  EXPECT_FALSE(ReadStringBlockEntry(bytes.data(), cut, 2, &entry));
  EXPECT_FALSE(ReadStringBlockEntry(bytes.data(), 1, 0, &entry));
  EXPECT_FALSE(ReadStringBlockEntry(bytes.data(), static_cast<uint32_t>(bytes.size()), 16, &entry));
}

TEST_F(LocaleFixture, StringsByLanguageWithFallbacks) {
  struct Case {
    const char* userLocale;
    uint32_t textId;
    uint16_t language;
    std::u16string expected;
  } cases[] = {
      {"C", 2, 0x409, u"Vorlan"},
      {"C", 2, 0x407, u"Vorlan auf Deutsch"},           // adjacent pieces joined
      {"C", 3, 0, u"Malforta \u0109e\u016D"},           // escapes
      {"C", 7, 0, u"Esperanto \u0125"},                 // UTF-8 source text
      {"C", 2, 0x40C, u"Vorlan"},                       // French missing: English
      {"de_DE.UTF-8", 2, 0x40C, u"Vorlan auf Deutsch"},  // the user's language first
      {"eo", 2, 0x40C, u""},  // the Esperanto block 1 is found first; its entry 2 is empty
      {"C", 21, 0x409, u""},
      {"C", 21, 0x40C, u""},
      {"C", 21, 0, u"Malforta"},
  };
  for (const Case& c : cases) {
    SetLocale(c.userLocale);
    EXPECT_EQ(TextInChain(c.textId, c.language), c.expected) << c.textId << " in " << c.language;
  }
}

TEST_F(LocaleFixture, UserDefaultLanguageFromTheEnvironment) {
  struct Case {
    const char* lcAll;
    const char* lang;
    uint16_t expected;
  } cases[] = {{nullptr, "en_GB.UTF-8", 0x409}, {nullptr, "fr_FR", 0x40C}, {nullptr, "de", 0x407},
               {nullptr, "es_ES@euro", 0x40A},  {nullptr, "eo.UTF-8", 0},   {nullptr, "ja_JP", 0x409},
               {nullptr, "C", 0x409},           {nullptr, nullptr, 0x409},  {"fr_CA", "de_DE", 0x40C},
               {"", "de_DE", 0x407}};
  for (const Case& c : cases) {
    SetLocale(c.lang);
    if (c.lcAll) setenv("LC_ALL", c.lcAll, 1);
    EXPECT_EQ(GetUserDefaultLanguage(), c.expected) << (c.lang ? c.lang : "(unset)");
  }
}

TEST(ResourceDialogs, TemplateReadsBackEveryField) {
  ResourceHandle resource =
      FindResource(GetProgramResourceModule(), kResourceTypeDialog, 103, kLanguageEnglish);
  ASSERT_TRUE(resource);
  DialogTemplate dialog;
  ASSERT_TRUE(ParseDialogTemplate(LoadResourceData(resource), GetResourceSize(resource), &dialog));
  EXPECT_EQ(dialog.caption, u"Welcome");
  EXPECT_EQ(dialog.className, u"");
  EXPECT_EQ(dialog.style, 0x40000000u | 0x00040000u | 0x100u);
  EXPECT_EQ(dialog.width, 380);
  EXPECT_EQ(dialog.height, 134);
  EXPECT_EQ(dialog.fontPointSize, 10);
  EXPECT_EQ(dialog.fontWeight, 700);
  EXPECT_TRUE(dialog.fontItalic);
  EXPECT_EQ(dialog.fontFace, u"MS Shell Dlg");

  struct Expected {
    uint16_t id;
    std::u16string className, text;
    uint32_t style;
    int16_t x, y, width, height;
  } expected[] = {
      {65535, u"static", u"Welcome to \"Vorlan\"", 0x50000001u, 165, 26, 193, 79},
      {1001, u"button", u"English", 0x50030009u, 2, 40, 75, 10},
      {1002, u"button", u"Esperanto", 0x50000009u, 2, 54, 75, 10},
      {1000, u"button", u"<b>Install</b>", 0x58000000u, 294, 116, 64, 14},
      {1008, u"static", u"class:progress", 0x40000000u, 34, 78, 80, 8},
  };
  ASSERT_EQ(dialog.items.size(), std::size(expected));
  for (size_t i = 0; i < std::size(expected); ++i) {
    const DialogItemTemplate& item = dialog.items[i];
    EXPECT_EQ(item.id, expected[i].id) << i;
    EXPECT_EQ(item.className, expected[i].className) << i;
    EXPECT_EQ(item.text, expected[i].text) << i;
    EXPECT_EQ(item.style, expected[i].style) << i;
    EXPECT_EQ(item.x, expected[i].x) << i;
    EXPECT_EQ(item.y, expected[i].y) << i;
    EXPECT_EQ(item.width, expected[i].width) << i;
    EXPECT_EQ(item.height, expected[i].height) << i;
  }

  // The game's main window: its own class and one child of an engine class.
  resource = FindResource(GetProgramResourceModule(), kResourceTypeDialog, 100, kLanguageEnglish);
  ASSERT_TRUE(ParseDialogTemplate(LoadResourceData(resource), GetResourceSize(resource), &dialog));
  EXPECT_EQ(dialog.className, u"VorlanClass");
  EXPECT_EQ(dialog.style, 0x80000000u | 0x00C00000u | 0x00080000u);
  ASSERT_EQ(dialog.items.size(), 1u);
  EXPECT_EQ(dialog.items[0].className, u"AnimWindow");
  EXPECT_EQ(dialog.items[0].id, 1001);

  // The Esperanto variant is a separate template of the same id.
  resource = FindResource(GetProgramResourceModule(), kResourceTypeDialog, 103, kLanguageNeutral);
  ASSERT_TRUE(ParseDialogTemplate(LoadResourceData(resource), GetResourceSize(resource), &dialog));
  EXPECT_EQ(dialog.caption, u"Bonvenon");
  EXPECT_TRUE(dialog.items.empty());
}

TEST(ResourceDialogs, TruncatedTemplateFailsAtEveryLength) {
  ResourceHandle resource =
      FindResource(GetProgramResourceModule(), kResourceTypeDialog, 103, kLanguageEnglish);
  const uint8_t* data = LoadResourceData(resource);
  uint32_t size = GetResourceSize(resource);
  DialogTemplate dialog;
  for (uint32_t cut = 0; cut < size; ++cut) {
    SetLastErrorCode(0);
    EXPECT_FALSE(ParseDialogTemplate(data, cut, &dialog)) << cut;
    EXPECT_EQ(GetLastErrorCode(), kErrorInvalidParameter);
  }
}

TEST(ResourceData, BinaryResourcesAreByteExact) {
  std::vector<uint8_t> blob = ReadFile(RESOURCE_TEST_DATA "/blob.bin");
  std::vector<uint8_t> made = ReadFile(RESOURCE_TEST_MADE);
  std::vector<uint8_t> bitmap = ReadFile(RESOURCE_TEST_DATA "/pixel.bmp");
  ASSERT_FALSE(blob.empty());
  ASSERT_FALSE(made.empty());
  ResourceModule module = GetProgramResourceModule();
  struct Case {
    ResourceName type, name;
    std::vector<uint8_t> expected;
  } cases[] = {
      {"COMPRESSED", 103, blob},
      {"compressed", "#103", blob},  // named types ignore case; "#n" is the number n
      {u"Compressed", 103, blob},
      {4999, 5000, made},                      // numeric type, a file made by the build
      {"#4999", 5000, made},
      {"SOUND", "click", made},                // named resource
      {kResourceTypeBitmap, 9, std::vector<uint8_t>(bitmap.begin() + 14, bitmap.end())},
  };
  for (const Case& c : cases) {
    ResourceHandle resource = FindResource(module, c.type, c.name, kLanguageEnglish);
    ASSERT_TRUE(resource);
    EXPECT_EQ(reinterpret_cast<uintptr_t>(LoadResourceData(resource)) % 8, 0u);
    EXPECT_EQ(Bytes(resource), c.expected);
  }
  // ZIP 113 exists only in the neutral language.
  EXPECT_FALSE(FindResource(module, "ZIP", 113, kLanguageEnglish));
  EXPECT_EQ(Bytes(FindResourceInAnyLanguage(module, "ZIP", 113)), blob);
}

TEST_F(LocaleFixture, LookUpWithoutALanguagePrefersNeutralThenTheUser) {
  ResourceModule module = GetProgramResourceModule();
  auto languageOf = [&](ResourceHandle resource) {
    for (uint32_t i = 0; i < CountResources(module); ++i) {
      ResourceInfo info;
      if (GetResourceInfo(module, i, &info) && info.handle == resource) return int32_t{info.language};
    }
    return int32_t{-1};
  };
  struct Case {
    const char* userLocale;
    ResourceName type, name;
    int32_t language;
  } cases[] = {
      {"de_DE", kResourceTypeString, StringBlockId(2), 0},  // English, neutral, German
      {"de_DE", "GREETING", 1, 0x407},                      // English and German
      {"fr_FR", "GREETING", 1, 0x409},
      {"C", "GREETING", 1, 0x409},
      {"de_DE", kResourceTypeDialog, 100, 0x409},           // English only
      {"eo", kResourceTypeDialog, 103, 0},
  };
  for (const Case& c : cases) {
    SetLocale(c.userLocale);
    EXPECT_EQ(languageOf(FindResource(module, c.type, c.name)), c.language) << c.userLocale;
  }
  SetLastErrorCode(0);
  EXPECT_FALSE(FindResource(module, "COMPRESSED", 5));
  EXPECT_EQ(GetLastErrorCode(), kErrorResourceNameNotFound);
}

TEST(ResourceData, GroupIconListsItsImages) {
  ResourceModule module = GetProgramResourceModule();
  ResourceHandle group = FindResource(module, kResourceTypeGroupIcon, 113, kLanguageEnglish);
  ASSERT_TRUE(group);
  std::vector<IconImage> images;
  ASSERT_TRUE(ParseGroupIcon(LoadResourceData(group), GetResourceSize(group), &images));
  ASSERT_EQ(images.size(), 2u);
  EXPECT_EQ(images[0].format, IconImageFormat::Png);
  EXPECT_EQ(images[0].width, 2);
  EXPECT_EQ(images[0].height, 2);
  EXPECT_EQ(images[1].format, IconImageFormat::Bitmap);
  EXPECT_EQ(images[1].width, 1);
  EXPECT_EQ(Bytes(FindResource(module, kResourceTypeIcon, images[0].imageId, kLanguageEnglish)),
            ReadFile(RESOURCE_TEST_DATA "/icon.png"));
  EXPECT_EQ(Bytes(FindResource(module, kResourceTypeIcon, images[1].imageId, kLanguageEnglish)),
            ReadFile(RESOURCE_TEST_DATA "/pixel.bmp"));
}

TEST(ResourceData, MissingResourcesFailWithTheLastError) {
  ResourceModule module = GetProgramResourceModule();
  struct Case {
    ResourceName type, name;
    uint16_t language;
    uint32_t error;
  } cases[] = {
      {"PSP", 103, kLanguageEnglish, kErrorResourceTypeNotFound},
      {"COMPRESSED", 104, kLanguageEnglish, kErrorResourceNameNotFound},
      {"COMPRESSED", "103x", kLanguageEnglish, kErrorResourceNameNotFound},
      {"COMPRESSED", 103, 0x40C, kErrorResourceLanguageNotFound},
      {kResourceTypeDialog, 100, kLanguageNeutral, kErrorResourceLanguageNotFound},
      {"COMPRESSED", "#", kLanguageEnglish, kErrorResourceNameNotFound},
  };
  for (const Case& c : cases) {
    SetLastErrorCode(0);
    EXPECT_FALSE(FindResource(module, c.type, c.name, c.language));
    EXPECT_EQ(GetLastErrorCode(), c.error);
  }
  SetLastErrorCode(0);
  EXPECT_FALSE(FindResourceInAnyLanguage(module, "COMPRESSED", 999));
  EXPECT_EQ(GetLastErrorCode(), kErrorResourceNameNotFound);
  EXPECT_FALSE(FindResource(ResourceModule{}, "COMPRESSED", 103, kLanguageEnglish));
  EXPECT_EQ(GetLastErrorCode(), kErrorResourceDataNotFound);
  SetLastErrorCode(0);
  EXPECT_EQ(LoadResourceData(ResourceHandle{}), nullptr);
  EXPECT_EQ(GetLastErrorCode(), kErrorInvalidHandle);
  EXPECT_EQ(GetResourceSize(ResourceHandle{module.value, 100000}), 0u);
}

TEST(ResourceModules, ProgramModuleIsFoundByNameAndEnumerates) {
  ResourceModule module = GetProgramResourceModule();
  ASSERT_TRUE(module);
  EXPECT_EQ(FindResourceModule("resource_test"), module);
  EXPECT_FALSE(FindResourceModule("elsewhere"));
  // String blocks (2 English, 2 Esperanto, 1 German), 3 dialogs, 7 data,
  // 2 icon images and their group.
  uint32_t count = CountResources(module);
  EXPECT_EQ(count, 2u + 2u + 1u + 3u + 7u + 3u);
  bool sawZip = false;
  for (uint32_t i = 0; i < count; ++i) {
    ResourceInfo info;
    ASSERT_TRUE(GetResourceInfo(module, i, &info));
    if (!info.typeIsNumber && info.typeText == "ZIP") {
      sawZip = true;
      EXPECT_TRUE(info.nameIsNumber);
      EXPECT_EQ(info.nameNumber, 113);
      EXPECT_EQ(info.language, 0);
    }
  }
  EXPECT_TRUE(sawZip);
  ResourceInfo info;
  EXPECT_FALSE(GetResourceInfo(module, count, &info));
}

// Builds a blob from script text with every file read as `fileBytes`.
std::vector<uint8_t> Compile(const std::string& text, std::string* error = nullptr,
                             std::vector<uint8_t> fileBytes = {1, 2, 3}) {
  ResourceScript script;
  std::string message;
  std::vector<uint8_t> blob;
  if (!ParseResourceScript(text, &script, &message) ||
      !BuildResourceBlob(
          script,
          [&](const std::string&, std::vector<uint8_t>* bytes) {
            *bytes = fileBytes;
            return true;
          },
          &blob, &message)) {
    if (error) *error = message;
    return {};
  }
  return blob;
}

TEST(ResourceModules, UnloadedModuleLeavesStaleHandles) {
  std::vector<uint8_t> blob = Compile("data \"X\" 1 file \"a\"\n");
  ASSERT_FALSE(blob.empty());
  ResourceModule module = RegisterResourceModule("library", blob.data(),
                                                 static_cast<uint32_t>(blob.size()), true);
  ASSERT_TRUE(module);
  // Data outside the program's image never claims to be the program's.
  EXPECT_NE(GetProgramResourceModule(), module);
  ResourceHandle resource = FindResource(module, "X", 1, 0);
  EXPECT_EQ(Bytes(resource), (std::vector<uint8_t>{1, 2, 3}));
  UnregisterResourceModule(module);
  SetLastErrorCode(0);
  EXPECT_EQ(LoadResourceData(resource), nullptr);
  EXPECT_EQ(GetLastErrorCode(), kErrorInvalidHandle);
  EXPECT_FALSE(FindResourceModule("library"));
}

TEST(ResourceModules, MalformedBlobsAreRefused) {
  std::vector<uint8_t> good = Compile("data \"NAMED\" \"ALSO\" file \"a\"\n");
  ASSERT_EQ(good.size(), 64u);  // header, entry, two names and the data, each aligned to 8
  using resource_format::BlobEntry;
  using resource_format::BlobHeader;
  auto put32 = [](std::vector<uint8_t>& b, size_t at, uint32_t v) { std::memcpy(&b[at], &v, 4); };
  struct Case {
    const char* what;
    size_t at;
    uint32_t value;
  } cases[] = {
      {"signature", 0, 0x12345678},
      {"version", 4, 2},
      {"entry count past the end", 8, 3},
      {"entry count overflowing", 8, 0x10000000},
      {"total size", 12, 1000},
      {"type name outside", 16, 0x80000000u | 4000},
      {"name text of zero length", 20, 0x80000000u | 64},
      {"number above 16 bits", 16, 70000},
      {"data past the end", 16 + offsetof(BlobEntry, dataSize), 100},
      {"data offset misaligned", 16 + offsetof(BlobEntry, dataOffset), 50},
      {"data offset huge", 16 + offsetof(BlobEntry, dataOffset), 0xFFFFFFF8u},
  };
  std::vector<uint8_t> padded = good;
  padded.resize(padded.size() + 8);  // room for a zero-count name
  put32(padded, 12, static_cast<uint32_t>(padded.size()));
  ResourceModule fine =
      RegisterResourceModule("good", padded.data(), static_cast<uint32_t>(padded.size()), false);
  ASSERT_TRUE(fine);
  UnregisterResourceModule(fine);
  for (const Case& c : cases) {
    std::vector<uint8_t> bad = padded;
    put32(bad, c.at, c.value);
    EXPECT_FALSE(RegisterResourceModule("bad", bad.data(), static_cast<uint32_t>(bad.size()), false))
        << c.what;
  }
  EXPECT_FALSE(RegisterResourceModule("bad", good.data(), 15, false));
  // Data read in place as UTF-16 must be aligned.
  std::vector<uint8_t> shifted(good.size() + 8);
  std::memcpy(shifted.data() + 4, good.data(), good.size());
  EXPECT_FALSE(
      RegisterResourceModule("bad", shifted.data() + 4, static_cast<uint32_t>(good.size()), false));
}

TEST(ResourceScripts, ErrorsNameTheLine) {
  struct Case {
    const char* script;
    const char* error;
  } cases[] = {
      {"strings\n 1 \"a\"\n", "line 1: 'strings' without its 'end'"},
      {"strings\n 1 \"a\"\n 1 \"b\"\nend\n", "line 3: text 1 given twice"},
      {"strings\n 1 \"a\\u0000\"\nend\n", "line 2: escape names no character that a text may hold"},
      {"strings\n 1 \"a\\q\"\nend\n", "line 2: unknown escape \\q"},
      {"strings\n 1 \"\xC3\"\nend\n", "line 2: malformed UTF-8 text"},
      {"strings\n 1 \"open\nend\n", "line 2: text without its closing quote"},
      {"strings\n 70000 \"a\"\nend\n", "line 2: text id out of range"},
      {"dialog 1\n rect 0 0 1 1\n style child | sparkly\nend\n",
       "line 3: unknown style word 'sparkly'"},
      {"dialog 1\n control 5 class \"button\"\nend\n", "line 2: control needs a rect"},
      {"dialog 1\n caption \"x\"\nend\n", "line 1: dialog needs a rect"},
      {"data \"X\" 1\n", "line 1: 'data' needs a file"},
      {"data \"X\" 1 file \"a\"\ndata \"x\" 1 file \"b\"\n",
       "line 2: resource \"X\" 1 in language 0 given twice"},
      {"data \"X\" \"caf\xC3\xA9\" file \"a\"\n", "line 1: resource name must be printable ASCII"},
      {"icon 1 file \"a\"\n", "line 1: \"a\" is neither a PNG nor a bitmap file"},
      {"bitmap 1 file \"a\"\n", "line 1: \"a\" is not a bitmap file"},
      {"sprite 1\n", "line 1: unknown resource kind 'sprite'"},
      {"language 0x10000\n", "line 1: language id out of range"},
  };
  for (const Case& c : cases) {
    std::string error;
    EXPECT_TRUE(Compile(c.script, &error).empty()) << c.script;
    EXPECT_EQ(error, c.error) << c.script;
  }
  // The same name in two languages is two resources.
  EXPECT_FALSE(Compile("data \"X\" 1 file \"a\"\ndata \"X\" 1 language 7 file \"a\"\n").empty());
}

}  // namespace
