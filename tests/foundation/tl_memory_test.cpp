#include "foundation/tl_memory.h"

#include <gtest/gtest-spi.h>
#include <gtest/gtest.h>

#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <random>
#include <string>
#include <thread>
#include <vector>

namespace {

constexpr uint32_t kHeaderSize = 112;
constexpr uint32_t kOverhead = kHeaderSize + 4;

unsigned char* Bytes(void* address) { return static_cast<unsigned char*>(address); }

std::string BoxText(const char* message, const void* address, const char* file, long line) {
  char text[1024];
  std::snprintf(text, sizeof text,
                "%s\n\n   Address: 0x%08lX\n   Current: %s line %ld\n\nClick OK to dismiss\nClick X to debug",
                message, static_cast<unsigned long>(reinterpret_cast<uintptr_t>(address)), file, line);
  return text;
}

struct BlockReport {
  const void* block;
  std::string file;
  int32_t line;
  std::string message;
};

// Captures what the report box and the block report hook are shown.
class MemoryReports : public ::testing::Test {
 protected:
  void SetUp() override {
    Captured().boxes.clear();
    Captured().blockReports.clear();
    previousBox_ = MemSetReportBox(CaptureBox);
    previousHook_ = MemSetBlockReportHook(CaptureBlockReport);
  }
  void TearDown() override {
    MemSetReportBox(previousBox_);
    MemSetBlockReportHook(previousHook_);
  }

  static const std::vector<std::string>& Boxes() { return Captured().boxes; }
  static const std::vector<BlockReport>& BlockReports() { return Captured().blockReports; }

 private:
  struct Capture {
    std::mutex lock;
    std::vector<std::string> boxes;
    std::vector<BlockReport> blockReports;
  };
  static Capture& Captured() {
    static Capture capture;
    return capture;
  }
  static MemReportAnswer CaptureBox(const char* caption, const char* text) {
    EXPECT_STREQ(caption, "Memory Manager");
    std::lock_guard<std::mutex> guard(Captured().lock);
    Captured().boxes.push_back(text);
    return MemReportAnswer::Continue;
  }
  static void CaptureBlockReport(const void* block, const char* file, int32_t line, const char* message) {
    std::lock_guard<std::mutex> guard(Captured().lock);
    Captured().blockReports.push_back({block, file, line, message});
  }

  MemReportBoxFunction previousBox_ = nullptr;
  MemBlockReportFunction previousHook_ = nullptr;
};

// Chunk counts and the exact block a request receives depend on everything
// the process freed before; such cases run in a fresh copy of this program.
// The parent sees only the child's standard error, so the child collects its
// failures and writes them there.
template <class Body>
void RunInFreshProcess(Body body) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(
      {
        ::testing::TestPartResultArray results;
        {
          ::testing::ScopedFakeTestPartResultReporter collect(
              ::testing::ScopedFakeTestPartResultReporter::INTERCEPT_ALL_THREADS, &results);
          body();
        }
        int failures = 0;
        for (int i = 0; i < results.size(); ++i) {
          const ::testing::TestPartResult& result = results.GetTestPartResult(i);
          if (!result.failed()) continue;
          ++failures;
          std::fprintf(stderr, "%s:%d: %s\n", result.file_name() ? result.file_name() : "?",
                       result.line_number(), result.message());
        }
        std::exit(failures ? 1 : 0);
      },
      ::testing::ExitedWithCode(0), "");
}

MemBlockInfo InfoOf(const void* address) {
  MemBlockInfo info{};
  EXPECT_TRUE(MemGetBlockInfo(address, &info)) << "not a live block: " << address;
  return info;
}

bool IsLive(const void* address) {
  MemBlockInfo info;
  return MemGetBlockInfo(address, &info);
}

TEST(MemoryBlocks, RequestSizeChoosesTheSmallestClassAboveItsOverhead) {
  RunInFreshProcess([] {
    struct Case {
      size_t request;
      uint32_t blockSize;
      bool large;
    };
    const Case cases[] = {
        {0, 128, false},        {11, 128, false},       {12, 256, false},
        {56, 256, false},       {57, 256, false},       {139, 256, false},
        {140, 384, false},      {1000, 1152, false},    {524288 - kOverhead - 1, 524288, false},
        {524288 - kOverhead, 524416, true},             {3000000, 3000192, true},
    };
    std::vector<void*> live;
    for (const Case& c : cases) {
      void* p = MemAlloc(c.request, "cbCase", "case.cpp", 7);
      ASSERT_NE(p, nullptr);
      EXPECT_EQ(reinterpret_cast<uintptr_t>(p) % 16, 0u) << c.request;
      MemBlockInfo info = InfoOf(p);
      EXPECT_EQ(info.blockSize, c.blockSize) << c.request;
      EXPECT_EQ(info.capacity, c.blockSize - kOverhead) << c.request;
      EXPECT_EQ(info.requestedSize, c.request);
      EXPECT_EQ(info.large, c.large) << c.request;
      EXPECT_FALSE(info.object);
      std::memset(p, 0xA5, c.request);  // the whole request is usable
      live.push_back(p);
    }
    EXPECT_EQ(MemGetStatistics().largeBlocks, 2u);
    for (void* p : live) MemFree(p, "case.cpp", 9);
    EXPECT_EQ(MemGetStatistics().liveBlocks, 0u);
    EXPECT_EQ(MemGetStatistics().largeBlocks, 0u);
  });
}

TEST(MemoryBlocks, SignaturesFrameTheCallersBytes) {
  for (size_t request : {size_t{10}, size_t{700000}}) {
    void* p = MemAlloc(request, "cbText", __FILE__, __LINE__);
    ASSERT_NE(p, nullptr);
    MemBlockInfo info = InfoOf(p);
    if (request == 10) { EXPECT_EQ(info.capacity, 12u); }
    EXPECT_EQ(std::memcmp(Bytes(p) - kHeaderSize, "!meM", 4), 0) << request;
    EXPECT_EQ(std::memcmp(Bytes(p) + info.capacity, "yakO", 4), 0) << request;
    MemFree(p, __FILE__, __LINE__);
  }
}

TEST(MemoryBlocks, RecordsTagFileAndLine) {
  void* p = MEM_ALLOC(40, "sizeof(TCHAR) * cchMin");
  int expectedLine = __LINE__ - 1;
  MemBlockInfo info = InfoOf(p);
  EXPECT_STREQ(info.typeTag, "sizeof(TCHAR) * cchMin");
  EXPECT_STREQ(info.sourceFile, __FILE__);
  EXPECT_EQ(info.line, expectedLine);
  EXPECT_FALSE(info.tared);
  MEM_FREE(p);
  EXPECT_FALSE(IsLive(p));
}

TEST(MemoryBlocks, FreedBlockIsReusedWithinSixteenClassesAndKeepsItsCapacity) {
  RunInFreshProcess([] {
    struct Case {
      uint32_t freedBlockSize;
      uint32_t requestBlockSize;
      bool reused;
    };
    const Case cases[] = {
        {128, 128, true},    {512, 128, true},   {17 * 128, 128, true},
        {18 * 128, 128, false}, {128, 256, false},
    };
    for (const Case& c : cases) {
      void* freed = MemAlloc(c.freedBlockSize - kOverhead - 1, "first", "case.cpp", 1);
      MemFree(freed, "case.cpp", 2);
      void* taken = MemAlloc(c.requestBlockSize - kOverhead - 1, "second", "case.cpp", 3);
      EXPECT_EQ(taken == freed, c.reused) << c.freedBlockSize << " for " << c.requestBlockSize;
      if (c.reused) { EXPECT_EQ(InfoOf(taken).blockSize, c.freedBlockSize); }
      MemFree(taken, "case.cpp", 4);
      // Leave no free block behind that a later case could pick up.
      void* drain = MemAlloc(c.freedBlockSize - kOverhead - 1, "drain", "case.cpp", 5);
      EXPECT_EQ(drain, freed);
    }
  });
}

TEST(MemoryBlocks, ObjectsAreRecordedWhereNewPutThem) {
  struct Record {
    explicit Record(int v) : value(v) {}
    int value;
    char payload[300];
  };
  Record* record = MEM_NEW(Record, "RECORD", 42);
  ASSERT_NE(record, nullptr);
  EXPECT_EQ(record->value, 42);
  MemBlockInfo info = InfoOf(record);
  EXPECT_TRUE(info.object);
  EXPECT_EQ(info.blockSize, 128u);  // only the record lives in the block
  EXPECT_EQ(info.requestedSize, sizeof(Record));
  EXPECT_STREQ(info.typeTag, "RECORD");
  MEM_DELETE(record);
  EXPECT_FALSE(IsLive(record));
}

TEST(MemoryBlocks, LargeBlocksGoBackToTheSystem) {
  MemStatistics before = MemGetStatistics();
  void* p = MemAlloc(600000, "cbLarge", __FILE__, __LINE__);
  ASSERT_NE(p, nullptr);
  std::memset(p, 1, 600000);
  MemStatistics during = MemGetStatistics();
  EXPECT_EQ(during.largeBlocks, before.largeBlocks + 1);
  EXPECT_EQ(during.chunks, before.chunks);
  MemFree(p, __FILE__, __LINE__);
  EXPECT_EQ(MemGetStatistics().largeBlocks, before.largeBlocks);
  EXPECT_FALSE(IsLive(p));
}

TEST(MemoryBlocks, UnrepresentableSizeYieldsNull) {
  EXPECT_EQ(MemAlloc(SIZE_MAX, "huge", __FILE__, __LINE__), nullptr);
  EXPECT_EQ(MemAlloc(size_t{UINT32_MAX}, "huge", __FILE__, __LINE__), nullptr);
}

using MemoryFailures = MemoryReports;

TEST_F(MemoryFailures, SecondFreeShowsTheBoxAndChangesNothing) {
  void* p = MemAlloc(20, "cb", "first.cpp", 1);
  MemFree(p, "first.cpp", 2);
  MemStatistics before = MemGetStatistics();
  MemFree(p, "second.cpp", 77);
  ASSERT_EQ(Boxes().size(), 1u);
  EXPECT_EQ(Boxes()[0], BoxText("An invalid address was deleted.", p, "second.cpp", 77));
  MemStatistics after = MemGetStatistics();
  EXPECT_EQ(after.liveBlocks, before.liveBlocks);
  EXPECT_EQ(after.chunks, before.chunks);
  EXPECT_TRUE(BlockReports().empty());
}

TEST_F(MemoryFailures, UnknownAddressesAreReported) {
  int onTheStack = 0;
  void* p = MemAlloc(300, "cb", __FILE__, __LINE__);
  enum class Operation { Free, Unregister, Tare };
  struct Case {
    const char* name;
    void* address;
    Operation operation;
    const char* message;
  };
  const Case cases[] = {
      {"stack object freed", &onTheStack, Operation::Free, "An invalid address was deleted."},
      {"inside a block freed", Bytes(p) + 16, Operation::Free, "An invalid address was deleted."},
      {"null freed", nullptr, Operation::Free, "An invalid address was deleted."},
      {"stack object unregistered", &onTheStack, Operation::Unregister, "An invalid address was deleted."},
      {"stack object tared", &onTheStack, Operation::Tare, "An invalid address was tared."},
  };
  for (const Case& c : cases) {
    size_t shown = Boxes().size();
    switch (c.operation) {
      case Operation::Free: MemFree(c.address, "where.cpp", 5); break;
      case Operation::Unregister: MemUnregisterObject(c.address, "where.cpp", 5); break;
      case Operation::Tare: MemTare(c.address, "where.cpp", 5); break;
    }
    ASSERT_EQ(Boxes().size(), shown + 1) << c.name;
    EXPECT_EQ(Boxes().back(), BoxText(c.message, c.address, "where.cpp", 5)) << c.name;
  }
  EXPECT_TRUE(IsLive(p));
  MemFree(p, __FILE__, __LINE__);
  EXPECT_EQ(Boxes().size(), std::size(cases));
}

TEST_F(MemoryFailures, MismatchedReleaseIsReportedAndStillFrees) {
  struct Widget {
    int value = 7;
  };
  auto* widget = MEM_NEW(Widget, "WIDGET");
  MemFree(widget, "mismatch.cpp", 10);
  ASSERT_EQ(BlockReports().size(), 1u);
  EXPECT_EQ(BlockReports()[0].message, "A C++ object was deleted using the \"free\" method.");
  EXPECT_EQ(BlockReports()[0].block, widget);
  EXPECT_EQ(BlockReports()[0].file, "mismatch.cpp");
  EXPECT_EQ(BlockReports()[0].line, 10);
  EXPECT_FALSE(IsLive(widget));
  delete widget;

  void* buffer = MemAlloc(64, "cb", __FILE__, __LINE__);
  MemUnregisterObject(buffer, "mismatch.cpp", 20);
  ASSERT_EQ(BlockReports().size(), 2u);
  EXPECT_EQ(BlockReports()[1].message, "A non-object memory address was deleted.");
  EXPECT_EQ(BlockReports()[1].block, buffer);
  EXPECT_FALSE(IsLive(buffer));
  EXPECT_TRUE(Boxes().empty());
}

TEST_F(MemoryFailures, OverwrittenSignaturesAreReportedOnFree) {
  struct Case {
    const char* name;
    size_t request;
    bool leading;
    const char* message;
  };
  const Case cases[] = {
      {"overrun of a small buffer", 10, false, "The trailing signature on a memory block was overwritten."},
      {"overrun of a large buffer", 600000, false, "The trailing signature on a memory block was overwritten."},
      {"underrun of a small buffer", 10, true, "The leading signature on a memory block was overwritten."},
      {"underrun of a large buffer", 600000, true, "The leading signature on a memory block was overwritten."},
  };
  for (const Case& c : cases) {
    size_t reported = BlockReports().size();
    void* p = MemAlloc(c.request, "cb", __FILE__, __LINE__);
    ASSERT_NE(p, nullptr);
    uint32_t capacity = InfoOf(p).capacity;
    if (c.leading)
      Bytes(p)[-static_cast<ptrdiff_t>(kHeaderSize)] ^= 0xFF;
    else
      Bytes(p)[capacity] = 0;  // one byte past the usable end
    MemFree(p, "overrun.cpp", 3);
    ASSERT_EQ(BlockReports().size(), reported + 1) << c.name;
    EXPECT_EQ(BlockReports().back().message, c.message) << c.name;
    EXPECT_EQ(BlockReports().back().block, p) << c.name;
    EXPECT_FALSE(IsLive(p)) << c.name;
    // The block was freed as usual, and whoever gets its memory next starts
    // with whole signatures.
    void* again = MemAlloc(c.request, "cb", __FILE__, __LINE__);
    EXPECT_EQ(std::memcmp(Bytes(again) - kHeaderSize, "!meM", 4), 0) << c.name;
    EXPECT_EQ(std::memcmp(Bytes(again) + InfoOf(again).capacity, "yakO", 4), 0) << c.name;
    MemFree(again, __FILE__, __LINE__);
    EXPECT_EQ(BlockReports().size(), reported + 1) << c.name;
  }
  EXPECT_TRUE(Boxes().empty());
}

TEST_F(MemoryFailures, HeaderHitBeyondItsSignatureIsNotRecycled) {
  void* p = MemAlloc(5000, "cb", __FILE__, __LINE__);
  // The leading signature, then kind, large and capacity (bytes 48 to 59 of
  // the header) turned to garbage; the address and chain fields survive.
  unsigned char* header = Bytes(p) - kHeaderSize;
  std::memset(header, 0xFF, 4);
  std::memset(header + 48, 0xFF, 12);
  MemFree(p, "wild.cpp", 1);
  ASSERT_EQ(BlockReports().size(), 1u);
  EXPECT_EQ(BlockReports()[0].message, "The leading signature on a memory block was overwritten.");
  EXPECT_FALSE(IsLive(p));
  std::vector<void*> later;
  for (int i = 0; i < 8; ++i) {
    later.push_back(MemAlloc(5000, "cb", __FILE__, __LINE__));
    EXPECT_NE(later.back(), p);
  }
  for (void* q : later) MemFree(q, __FILE__, __LINE__);
  MemFree(p, "wild.cpp", 2);
  ASSERT_EQ(Boxes().size(), 1u);
  EXPECT_EQ(Boxes()[0], BoxText("An invalid address was deleted.", p, "wild.cpp", 2));
}

TEST_F(MemoryFailures, WritesWithinCapacityAreNotReported) {
  void* p = MemAlloc(10, "cb", __FILE__, __LINE__);
  std::memset(p, 0xEE, InfoOf(p).capacity);
  MemFree(p, __FILE__, __LINE__);
  EXPECT_TRUE(BlockReports().empty());
}

TEST(MemoryReportBox, DebugAnswerBreaksIntoTheDebugger) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(
      {
        MemSetReportBox([](const char*, const char*) { return MemReportAnswer::Debug; });
        int onTheStack = 0;
        MemFree(&onTheStack, __FILE__, __LINE__);
        std::exit(0);
      },
      ::testing::KilledBySignal(SIGTRAP), "");
}

TEST(MemoryReportBox, DefaultWritesCaptionAndTextToStandardError) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(
      {
        int onTheStack = 0;
        MemFree(&onTheStack, "default.cpp", 12);
        std::exit(0);
      },
      ::testing::ExitedWithCode(0),
      "Memory Manager\nAn invalid address was deleted.\n\n   Address: 0x[0-9A-F]+\n   Current: default.cpp line 12");
}

using MemoryTaring = MemoryReports;

TEST_F(MemoryTaring, MarksBuffersAndObjects) {
  void* buffer = MemAlloc(30, "static text", __FILE__, __LINE__);
  void* large = MemAlloc(700000, "table", __FILE__, __LINE__);
  auto* object = MEM_NEW(std::string, "STRING", "kept");
  for (void* p : {buffer, large, static_cast<void*>(object)}) {
    EXPECT_FALSE(InfoOf(p).tared);
    MEM_TARE(p);
    EXPECT_TRUE(InfoOf(p).tared);
  }
  Bytes(buffer)[InfoOf(buffer).capacity + 1] = '!';
  MemTare(buffer, "tare.cpp", 8);
  ASSERT_EQ(BlockReports().size(), 1u);
  EXPECT_EQ(BlockReports()[0].message, "The trailing signature on a memory block was overwritten.");
  EXPECT_EQ(BlockReports()[0].line, 8);
  EXPECT_TRUE(IsLive(buffer));  // taring never frees
  EXPECT_TRUE(Boxes().empty());
  Bytes(buffer)[InfoOf(buffer).capacity + 1] = 'a';
  MemFree(buffer, __FILE__, __LINE__);
  MemFree(large, __FILE__, __LINE__);
  MEM_DELETE(object);
  EXPECT_EQ(BlockReports().size(), 1u);
}

TEST(MemoryRealloc, GrowsByTheNeededCountPlusTheStepLessOne) {
  struct Case {
    uint32_t count;
    uint32_t needed;
    uint32_t step;
    uint32_t expectedCount;
  };
  const Case cases[] = {
      {3, 5, 4, 8}, {0, 1, 128, 128}, {5, 5, 16, 5}, {9, 5, 16, 9}, {2, 6, 0, 6}, {2, 6, 1, 6},
  };
  for (const Case& c : cases) {
    uint32_t* array = nullptr;
    uint32_t count = 0;
    if (c.count) {
      array = static_cast<uint32_t*>(MemAlloc(c.count * sizeof(uint32_t), "cb", __FILE__, __LINE__));
      count = c.count;
      for (uint32_t i = 0; i < count; ++i) array[i] = 0xC0DE0000u + i;
    }
    uint32_t* old = array;
    void* storage = array;
    ASSERT_EQ(MemRealloc(sizeof(uint32_t), &storage, &count, c.needed, c.step, "grow.cpp", 31), 1);
    array = static_cast<uint32_t*>(storage);
    EXPECT_EQ(count, c.expectedCount) << c.count << "/" << c.needed << "/" << c.step;
    if (c.count >= c.needed) {
      EXPECT_EQ(array, old);
    } else {
      MemBlockInfo info = InfoOf(array);
      EXPECT_STREQ(info.typeTag, "MemRealloc");
      EXPECT_STREQ(info.sourceFile, "grow.cpp");
      EXPECT_EQ(info.line, 31);
      EXPECT_EQ(info.requestedSize, c.expectedCount * sizeof(uint32_t));
      if (old) { EXPECT_FALSE(IsLive(old)); }
    }
    for (uint32_t i = 0; i < count; ++i)
      EXPECT_EQ(array[i], i < c.count ? 0xC0DE0000u + i : 0u) << "element " << i;
    MemFree(array, __FILE__, __LINE__);
  }
}

TEST(MemoryRealloc, FailureLeavesTheArrayAlone) {
  void* array = MemAlloc(4 * sizeof(uint64_t), "cb", __FILE__, __LINE__);
  uint32_t count = 4;
  struct Case {
    size_t elementSize;
    uint32_t needed;
    uint32_t step;
  };
  const Case cases[] = {{size_t{1} << 20, 1u << 20, 1}, {8, UINT32_MAX, 128}, {SIZE_MAX / 2, 6, 1}};
  for (const Case& c : cases) {
    void* storage = array;
    EXPECT_EQ(MemRealloc(c.elementSize, &storage, &count, c.needed, c.step, __FILE__, __LINE__), 0);
    EXPECT_EQ(storage, array);
    EXPECT_EQ(count, 4u);
  }
  EXPECT_TRUE(IsLive(array));
  MemFree(array, __FILE__, __LINE__);
}

TEST(MemoryRealloc, TypedGrowthKeepsTheElements) {
  struct Entry {
    uint16_t from, to;
  };
  Entry* entries = nullptr;
  int32_t count = 0;
  for (uint16_t i = 0; i < 300; ++i) {
    ASSERT_TRUE(MEM_GROW(entries, count, i + 1u, 128));
    entries[i] = {i, static_cast<uint16_t>(i * 2)};
  }
  EXPECT_EQ(count, 384);  // grown at 1, 129 and 257
  for (uint16_t i = 0; i < 300; ++i) EXPECT_EQ(entries[i].to, i * 2);
  MEM_FREE(entries);
}

// One chunk holds 8,191 blocks of 128 bytes (1,048,576 less a 48-byte chunk
// header, 80 bytes left over), or one block of 524,288 bytes.
constexpr uint32_t kSmallBlocksPerChunk = 8191;
constexpr size_t kOneBlockPerChunk = 524288 - kOverhead - 1;

TEST(MemoryChunks, FourthEmptyChunkIsReturnedToTheSystem) {
  RunInFreshProcess([] {
    std::vector<void*> blocks;
    for (int i = 0; i < 6; ++i) blocks.push_back(MemAlloc(kOneBlockPerChunk, "cb", "chunk.cpp", 1));
    MemStatistics full = MemGetStatistics();
    EXPECT_EQ(full.chunks, 6u);
    EXPECT_EQ(full.emptyChunks, 0u);
    EXPECT_EQ(full.largeBlocks, 0u);

    const uint32_t expectedChunks[] = {6, 6, 6, 5, 4, 3};
    const uint32_t expectedEmpty[] = {1, 2, 3, 3, 3, 3};
    for (int i = 0; i < 6; ++i) {
      MemFree(blocks[i], "chunk.cpp", 2);
      MemStatistics now = MemGetStatistics();
      EXPECT_EQ(now.chunks, expectedChunks[i]) << "after free " << i;
      EXPECT_EQ(now.emptyChunks, expectedEmpty[i]) << "after free " << i;
    }

    // The released chunks' blocks must be off every free list: allocating
    // everything again touches each remaining free block (a stale one would
    // be a use after free).
    blocks.clear();
    for (int i = 0; i < 12; ++i) {
      void* p = MemAlloc(i % 2 ? kOneBlockPerChunk : kOneBlockPerChunk - 128, "cb", "chunk.cpp", 3);
      std::memset(p, i, kOneBlockPerChunk - 128);
      blocks.push_back(p);
    }
    for (void* p : blocks) MemFree(p, "chunk.cpp", 4);
    EXPECT_EQ(MemGetStatistics().emptyChunks, 3u);
    EXPECT_EQ(MemGetStatistics().liveBlocks, 0u);
  });
}

TEST(MemoryChunks, ChunkRestServesSmallerBlocks) {
  RunInFreshProcess([] {
    void* first = MemAlloc(kOneBlockPerChunk, "cb", "rest.cpp", 1);
    void* second = MemAlloc(kOneBlockPerChunk, "cb", "rest.cpp", 2);
    EXPECT_EQ(MemGetStatistics().chunks, 2u);
    // The first chunk's uncarved 524,240 bytes became a free block, within
    // reach of a request ten classes smaller.
    void* fromRest = MemAlloc(kOneBlockPerChunk - 10 * 128, "cb", "rest.cpp", 3);
    EXPECT_EQ(MemGetStatistics().chunks, 2u);
    EXPECT_EQ(Bytes(fromRest), Bytes(first) + 524288);
    EXPECT_EQ(InfoOf(fromRest).blockSize, 524288u - 48u);
    for (void* p : {first, second, fromRest}) MemFree(p, "rest.cpp", 4);
  });
}

TEST(MemoryChunks, SmallBlocksFillAChunkAndReleaseWithIt) {
  RunInFreshProcess([] {
    std::vector<void*> blocks;
    for (uint32_t i = 0; i < kSmallBlocksPerChunk; ++i) blocks.push_back(MemAlloc(1, "cb", "fill.cpp", 1));
    EXPECT_EQ(MemGetStatistics().chunks, 1u);
    blocks.push_back(MemAlloc(1, "cb", "fill.cpp", 2));  // the 80-byte rest is too small to use
    EXPECT_EQ(MemGetStatistics().chunks, 2u);
    for (uint32_t i = 0; i < 3 * kSmallBlocksPerChunk; ++i) blocks.push_back(MemAlloc(1, "cb", "fill.cpp", 3));
    EXPECT_EQ(MemGetStatistics().chunks, 5u);
    for (void* p : blocks) MemFree(p, "fill.cpp", 4);
    MemStatistics empty = MemGetStatistics();
    EXPECT_EQ(empty.chunks, 3u);
    EXPECT_EQ(empty.emptyChunks, 3u);
    // Thousands of blocks of the released chunks were unlinked from the
    // 128-byte list; reusing the list must find only blocks still held.
    blocks.clear();
    for (uint32_t i = 0; i < 4 * kSmallBlocksPerChunk; ++i) {
      void* p = MemAlloc(8, "cb", "fill.cpp", 5);
      std::memset(p, 0x5A, 8);
      blocks.push_back(p);
    }
    for (void* p : blocks) MemFree(p, "fill.cpp", 6);
    EXPECT_EQ(MemGetStatistics().liveBlocks, 0u);
  });
}

TEST_F(MemoryReports, ThreadsAllocateAndFreeConcurrently) {
  constexpr int kThreads = 4;
  constexpr int kRounds = 50000;
  MemStatistics before = MemGetStatistics();
  std::mutex exchangeLock;
  std::vector<std::pair<unsigned char*, size_t>> exchange;  // freed by whichever thread takes them
  std::vector<std::thread> threads;
  std::vector<int> corrupted(kThreads, 0);
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&, t] {
      std::mt19937 random(1234 + t);
      std::vector<std::pair<unsigned char*, size_t>> held;
      // Two owners of the same bytes show up at the ends of a block; marking
      // only the ends keeps the large blocks cheap.
      auto ends = [](size_t size, auto visit) {
        for (size_t i = 0; i < size && i < 64; ++i) visit(i);
        for (size_t i = size > 128 ? size - 64 : 64; i < size; ++i) visit(i);
      };
      auto mark = [&](unsigned char* p, size_t size) {
        ends(size, [&](size_t i) { p[i] = static_cast<unsigned char>(size + i); });
      };
      auto check = [&](std::pair<unsigned char*, size_t> block) {
        bool intact = true;
        ends(block.second, [&](size_t i) {
          if (block.first[i] != static_cast<unsigned char>(block.second + i)) intact = false;
        });
        return intact;
      };
      for (int round = 0; round < kRounds; ++round) {
        uint32_t roll = random() % 1000;
        size_t size = roll < 700 ? random() % 200 : roll < 995 ? random() % 20000 : 520000 + random() % 200000;
        auto* p = static_cast<unsigned char*>(MemAlloc(size, "cbThread", __FILE__, __LINE__));
        if (!p) continue;
        mark(p, size);
        if (random() % 4 == 0) {
          std::lock_guard<std::mutex> guard(exchangeLock);
          exchange.push_back({p, size});
        } else {
          held.push_back({p, size});
        }
        if (held.size() > 64 || (random() % 3 == 0 && !held.empty())) {
          size_t index = random() % held.size();
          if (!check(held[index])) ++corrupted[t];
          MemFree(held[index].first, __FILE__, __LINE__);
          held[index] = held.back();
          held.pop_back();
        }
        if (random() % 4 == 0) {
          std::pair<unsigned char*, size_t> taken{nullptr, 0};
          {
            std::lock_guard<std::mutex> guard(exchangeLock);
            if (!exchange.empty()) {
              taken = exchange.back();
              exchange.pop_back();
            }
          }
          if (taken.first) {
            if (!check(taken)) ++corrupted[t];
            MemFree(taken.first, __FILE__, __LINE__);
          }
        }
      }
      for (auto& block : held) {
        if (!check(block)) ++corrupted[t];
        MemFree(block.first, __FILE__, __LINE__);
      }
    });
  }
  for (std::thread& thread : threads) thread.join();
  for (auto& block : exchange) MemFree(block.first, __FILE__, __LINE__);
  for (int t = 0; t < kThreads; ++t) EXPECT_EQ(corrupted[t], 0) << "thread " << t;
  MemStatistics after = MemGetStatistics();
  EXPECT_EQ(after.liveBlocks, before.liveBlocks);
  EXPECT_EQ(after.largeBlocks, before.largeBlocks);
  EXPECT_LE(after.emptyChunks, 3u);
  EXPECT_TRUE(Boxes().empty());
  EXPECT_TRUE(BlockReports().empty());
}

}  // namespace
