#include "foundation/tl_dialog.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "foundation/tl_memory.h"
#include "platform/input.h"
#include "platform/messagebox.h"
#include "platform/resource.h"

namespace {

std::vector<std::string> g_lines;
void Collect(const char* text) {
  g_lines.push_back(text);
}

class TraceCapture : public ::testing::Test {
 protected:
  void SetUp() override {
    g_lines.clear();
    previous_ = SetDebugTraceSink(Collect);
  }
  void TearDown() override { SetDebugTraceSink(previous_); }

 private:
  DebugTraceSink previous_ = nullptr;
};

// First in the file: the platform reads VORLAN_TRACE_FILE when it first
// traces, and CTest runs every case in a process of its own.
TEST(DebugTraceOutput, ReachesThePlatformTraceFileAsUtf8) {
  std::string path = ::testing::TempDir() + "tl_dialog_trace.txt";
  std::remove(path.c_str());
  setenv("VORLAN_TRACE_FILE", path.c_str(), 1);
  unsetenv("VORLAN_TRACE");
  DebugTrace(u"caf\u00E9 %s", "ok");
  DebugTrace("second\n");
  std::ifstream in(path, std::ios::binary);
  std::stringstream content;
  content << in.rdbuf();
  EXPECT_EQ(content.str(), "caf\xC3\xA9 ok\nsecond\n");
}

TEST_F(TraceCapture, LineFeedIsAddedOnlyWhenThereIsNone) {
  struct Case {
    const char* format;
    const char* expected;
  };
  const Case cases[] = {
      {"plain", "plain\n"},
      {"ends\n", "ends\n"},
      {"middle\nof the text", "middle\nof the text"},
      {"", "\n"},
  };
  for (const Case& item : cases) {
    g_lines.clear();
    DebugTrace(item.format);
    ASSERT_EQ(g_lines.size(), 1u);
    EXPECT_EQ(g_lines[0], item.expected);
  }
}

TEST_F(TraceCapture, FormatsLikeSformatInBothWidths) {
  DebugTrace("%{ld,s}%2 is %1", 5, "x");
  DebugTrace(u"%{ld,s}%2 is %1", 6, u"y");
  DebugTrace("Graphic::GetDC called on invalid graphic (0x%08lX)", 0x1234);
  DebugTrace(u"%s", static_cast<const char16_t*>(nullptr));
  ASSERT_EQ(g_lines.size(), 4u);
  EXPECT_EQ(g_lines[0], "x is 5\n");
  EXPECT_EQ(g_lines[1], "y is 6\n");
  EXPECT_EQ(g_lines[2], "Graphic::GetDC called on invalid graphic (0x00001234)\n");
  EXPECT_EQ(g_lines[3], "(null)\n");
}

TEST_F(TraceCapture, LongLinesArriveWhole) {
  std::string text(5000, 'a');
  DebugTrace("%s", text.c_str());
  ASSERT_EQ(g_lines.size(), 1u);
  EXPECT_EQ(g_lines[0], text + "\n");
}

// Message boxes are answered by an observer that looks at the box and
// clicks one of its buttons, as a person would.

const int kHeadless = setenv("VORLAN_BACKEND", "headless", 1);

struct SeenBox {
  uint32_t type = 0;
  std::string caption;
};
std::vector<SeenBox> g_boxes;
uint16_t g_click = kCommandOk;
std::atomic<bool> g_release{true};
std::atomic<bool> g_answered{false};

void ClickAnswer(WindowHandle box, uint32_t type) {
  while (!g_release.load()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  char caption[64];
  GetWindowText(box, caption, 64);
  g_boxes.push_back({type, caption});
  InjectClick(GetChildById(box, g_click), 4, 4);
  g_answered = true;
}

class BoxTest : public ::testing::Test {
 protected:
  void SetUp() override {
    g_boxes.clear();
    g_click = kCommandOk;
    g_release = true;
    g_answered = false;
    previous_ = SetMessageBoxObserver(ClickAnswer);
  }
  void TearDown() override { SetMessageBoxObserver(previous_); }

 private:
  MessageBoxObserver previous_ = nullptr;
};

TEST_F(BoxTest, ShowMessageBoxAddsAnIconOnlyWhenTheTypeHasNone) {
  struct Case {
    uint32_t type;
    uint32_t shown;
  } const cases[] = {
      {0x00, 0x40},                // OK alone: information
      {0x01, 0x21},                // buttons: question
      {0x04, 0x24}, {0x30, 0x30},  // an icon of its own stays
      {0x13, 0x13},
  };
  for (const Case& c : cases) {
    g_boxes.clear();
    g_click = (c.type & 0x0F) == 0x04 || (c.type & 0x0F) == 0x03 ? kCommandYes : kCommandOk;
    EXPECT_EQ(ShowMessageBox(c.type, string("Caption"), string("Text")), g_click) << c.type;
    ASSERT_EQ(g_boxes.size(), 1u);
    EXPECT_EQ(g_boxes[0].type, c.shown) << c.type;
    EXPECT_EQ(g_boxes[0].caption, "Caption");
  }
}

TEST_F(BoxTest, OwnThreadBoxAnswersZeroAtOnceAndFreesItsRecord) {
  string caption("Vorlan");
  string text(u"Instalado fini\u011Dis");
  uint32_t before = MemGetStatistics().liveBlocks;
  g_release = false;
  EXPECT_EQ(ShowMessageBox(kMessageBoxOwnThread | kMessageBoxOk, caption, text), 0);
  EXPECT_FALSE(g_answered.load()) << "the call returned before the box was answered";
  g_release = true;
  auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while ((!g_answered || MemGetStatistics().liveBlocks != before) &&
         std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  EXPECT_TRUE(g_answered.load());
  EXPECT_EQ(MemGetStatistics().liveBlocks, before);
  ASSERT_EQ(g_boxes.size(), 1u);
  EXPECT_EQ(g_boxes[0].type, 0x40u) << "bit 31 is cleared and the icon rule applied";
}

TEST_F(BoxTest, DebugAlertTracesInMode1AndAsksInMode0) {
  g_lines.clear();
  DebugTraceSink previous = SetDebugTraceSink(Collect);
  DebugAlert(1, "Trace %ld", 1);
  EXPECT_TRUE(g_boxes.empty());
  DebugAlert(0, "Graphic 0x%08lX is %s", 0x10, "bad");
  SetDebugTraceSink(previous);
  ASSERT_EQ(g_lines.size(), 1u);
  EXPECT_EQ(g_lines[0], "Trace 1\n");
  ASSERT_EQ(g_boxes.size(), 1u);
  EXPECT_EQ(g_boxes[0].type, 0x41u);
  EXPECT_EQ(g_boxes[0].caption, "OK=Continue X=Quit");
}

TEST_F(BoxTest, DebugAlertCancelEndsTheProcessWithCodeZero) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  g_click = kCommandCancel;
  EXPECT_EXIT(
      {
        DebugAlert(0, u"stop here");
        std::_Exit(3);
      },
      ::testing::ExitedWithCode(0), "");
}

TEST_F(BoxTest, MemoryManagerReportBoxContinuesOnOkAndBreaksOnCancel) {
  MemReportBoxFunction before = MemSetReportBox(nullptr);
  InstallMemoryReportBox();
  int local = 0;
  MemFree(&local, __FILE__, __LINE__);
  ASSERT_EQ(g_boxes.size(), 1u);
  EXPECT_EQ(g_boxes[0].type, kMessageBoxOkCancel | kMessageBoxIconStop);
  EXPECT_EQ(g_boxes[0].caption, "Memory Manager");
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  g_click = kCommandCancel;
  EXPECT_EXIT(MemFree(&local, __FILE__, __LINE__), ::testing::KilledBySignal(SIGTRAP), "");
  MemSetReportBox(before);
}

// Dialog templates of the current language.

std::vector<uint8_t> TemplateWithCaption(const std::u16string& caption) {
  std::vector<uint8_t> bytes(sizeof(resource_format::DialogHeader));
  resource_format::DialogHeader header{};
  header.signature = resource_format::kDialogSignature;
  header.style = kStylePopup;
  header.width = 100;
  header.height = 50;
  std::memcpy(bytes.data(), &header, sizeof(header));
  auto text = [&bytes](const std::u16string& value) {
    auto count = static_cast<uint16_t>(value.size());
    const auto* raw = reinterpret_cast<const uint8_t*>(&count);
    bytes.insert(bytes.end(), raw, raw + 2);
    raw = reinterpret_cast<const uint8_t*>(value.data());
    bytes.insert(bytes.end(), raw, raw + 2 * value.size());
  };
  text(caption);
  text(u"");
  text(u"");
  return bytes;
}

std::vector<uint32_t> g_requested;
std::vector<uint8_t> g_template = TemplateWithCaption(u"Bonvenon");
uint32_t EsperantoOffset() {
  return 1;
}
const uint8_t* FindTestTemplate(uint32_t id, uint32_t* size) {
  g_requested.push_back(id);
  if (id != 104) return nullptr;
  *size = static_cast<uint32_t>(g_template.size());
  return g_template.data();
}
constexpr DialogLanguage kEsperanto = {EsperantoOffset, FindTestTemplate};

MessageResult EndAtOnce(WindowHandle dialog, uint32_t message, MessageWord, MessageLong value) {
  if (message == kMessageInitDialog) EndDialog(dialog, value);
  return 0;
}

TEST_F(TraceCapture, LangDialogsUseTheTemplateOfTheLanguage) {
  g_requested.clear();
  SetDialogLanguage(&kEsperanto);
  WindowHandle dialog = CreateLangDialog(103, WindowHandle{}, EndAtOnce, 0);
  ASSERT_TRUE(dialog);
  char caption[32];
  GetWindowText(dialog, caption, 32);
  EXPECT_STREQ(caption, "Bonvenon");
  DestroyWindow(dialog);
  EXPECT_EQ(LangDialogBox(103, WindowHandle{}, EndAtOnce, 55), 55);
  EXPECT_EQ(LangDialogBox(200, WindowHandle{}, EndAtOnce, 55), -1);
  EXPECT_FALSE(CreateLangDialog(0xFFFF, WindowHandle{}, EndAtOnce, 0));
  // An id whose sum with the offset passes 32 bits names no template either.
  EXPECT_EQ(LangDialogBox(0xFFFFFFFF, WindowHandle{}, EndAtOnce, 55), -1);
  EXPECT_EQ(g_requested, (std::vector<uint32_t>{104, 104, 201}));
  ASSERT_EQ(g_lines.size(), 3u);
  EXPECT_EQ(g_lines[0], "LangDialogBox could not find dialog template 201\n");
  EXPECT_EQ(g_lines[1], "CreateLangDialog could not find dialog template 65536\n");

  // Without a language: offset 0 and the program's own resources, of which
  // this test has none.
  SetDialogLanguage(nullptr);
  EXPECT_FALSE(CreateLangDialog(103, WindowHandle{}, EndAtOnce, 0));
}

}  // namespace
