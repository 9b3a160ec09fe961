// Every node, block and item of the containers is a record of the memory
// manager, tagged, and released again when the container lets go of it.
#include <gtest/gtest.h>

#include <cstring>

#include "cetl/list.h"
#include "cetl/map.h"
#include "cetl/vector.h"
#include "foundation/tl_memory.h"

namespace {

uint32_t LiveBlocks() {
  return MemGetStatistics().liveBlocks;
}

bool EndsWith(const char* text, const char* tail) {
  size_t length = std::strlen(text);
  size_t tailLength = std::strlen(tail);
  return length >= tailLength && std::strcmp(text + length - tailLength, tail) == 0;
}

TEST(Allocation, ListNodesAreRecordedAndReleased) {
  uint32_t before = LiveBlocks();
  {
    cetl::list<int> values;
    for (int i = 0; i < 3; ++i) values.push_back(i);
    EXPECT_EQ(LiveBlocks(), before + 3);
    values.pop_front();
    values.erase(values.begin());
    EXPECT_EQ(LiveBlocks(), before + 1);
  }
  EXPECT_EQ(LiveBlocks(), before);
}

TEST(Allocation, VectorItemsBlocksAndArraysAreRecordedAndReleased) {
  uint32_t before = LiveBlocks();
  {
    cetl::vector<int> values;
    for (int i = 0; i < 600; ++i) values.push_back(i);
    // 600 items; 3 blocks, each with its pointer array and its node in the block list.
    EXPECT_EQ(LiveBlocks(), before + 600 + 3 * 3);

    MemBlockInfo item;
    ASSERT_TRUE(MemGetBlockInfo(&values[599], &item));  // the value opens its item record
    EXPECT_STREQ(item.typeTag, "myitemtype");
    EXPECT_TRUE(EndsWith(item.sourceFile, "vector.h")) << item.sourceFile;

    for (int i = 0; i < 88; ++i) values.erase(512u);  // empties the last block
    EXPECT_EQ(LiveBlocks(), before + 512 + 2 * 3);
  }
  EXPECT_EQ(LiveBlocks(), before);
}

TEST(Allocation, MapNodesAreRecordedAndReleased) {
  uint32_t before = LiveBlocks();
  {
    cetl::map<int, int> values;
    for (int i = 0; i < 50; ++i) values[i] = i;
    EXPECT_EQ(LiveBlocks(), before + 50);
    values.erase(7);
    values.erase(values.begin());
    EXPECT_EQ(LiveBlocks(), before + 48);
    cetl::map<int, int> copy = values;
    EXPECT_EQ(LiveBlocks(), before + 96);
  }
  EXPECT_EQ(LiveBlocks(), before);
}

}  // namespace
