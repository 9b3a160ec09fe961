#include "foundation/tl_dialog.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace {

std::vector<std::string> g_lines;
void Collect(const char* text) { g_lines.push_back(text); }

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

}  // namespace
