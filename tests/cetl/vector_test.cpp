#include "cetl/vector.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <random>
#include <vector>

#include "tests/cetl/cetl_expect.h"

namespace {

std::vector<uint32_t> Blocks(const cetl::vector<int>& values) {
  std::vector<uint32_t> sizes;
  for (uint32_t block = 0; block < values.block_count(); ++block)
    sizes.push_back(values.block_size(block));
  return sizes;
}

std::vector<int> Contents(const cetl::vector<int>& values) {
  return std::vector<int>(values.begin(), values.end());
}

TEST(Vector, AppendsFillBlocksOf256) {
  cetl::vector<int> values;
  for (int i = 0; i < 600; ++i) values.push_back(i);
  EXPECT_EQ(values.size(), 600u);
  EXPECT_EQ(Blocks(values), (std::vector<uint32_t>{256, 256, 88}));
  for (uint32_t i = 0; i < 600; ++i) ASSERT_EQ(values[i], static_cast<int>(i));
}

// One block filled to 512 by inserts in its middle, never at the end.
class FullBlock : public ::testing::Test {
 protected:
  void SetUp() override {
    for (int i = 0; i < 256; ++i) Insert(static_cast<uint32_t>(model.size()), i);
    for (int i = 0; i < 256; ++i) Insert(1, 1000 + i);
    ASSERT_EQ(Blocks(values), (std::vector<uint32_t>{512}));
    for (uint32_t i = 0; i < values.size(); ++i) addresses.push_back(&values[i]);
  }
  void Insert(uint32_t index, int value) {
    values.insert(index, value);
    model.insert(model.begin() + index, value);
  }
  // Every item still lives where it was first allocated.
  void ExpectItemsStayed() {
    for (int* address : addresses) {
      bool found = false;
      for (uint32_t i = 0; i < values.size() && !found; ++i) found = &values[i] == address;
      EXPECT_TRUE(found);
    }
  }

  cetl::vector<int> values;
  std::vector<int> model;
  std::vector<int*> addresses;
};

TEST_F(FullBlock, InsertInTheUpperHalfSplitsBeforeInserting) {
  Insert(300, -1);
  EXPECT_EQ(Blocks(values), (std::vector<uint32_t>{256, 257}));
  EXPECT_EQ(Contents(values), model);
  ExpectItemsStayed();
}

TEST_F(FullBlock, InsertInTheLowerHalfSplitsBeforeInserting) {
  Insert(100, -1);
  EXPECT_EQ(Blocks(values), (std::vector<uint32_t>{257, 256}));
  EXPECT_EQ(Contents(values), model);
  ExpectItemsStayed();
}

TEST_F(FullBlock, InsertAtTheVeryEndStartsANewBlock) {
  Insert(512, -1);
  EXPECT_EQ(Blocks(values), (std::vector<uint32_t>{512, 1}));
  EXPECT_EQ(Contents(values), model);
}

// Random inserts and removals at random places against std::vector; the
// indexes and block links the vector keeps must agree with the plain order
// at every step.
TEST(Vector, AgreesWithAPlainVectorUnderRandomEdits) {
  std::mt19937 random(12345);
  cetl::vector<int> values;
  std::vector<int> model;
  for (int step = 0; step < 6000; ++step) {
    uint32_t size = static_cast<uint32_t>(model.size());
    if (size > 0 && random() % 3 == 0) {
      uint32_t index = random() % size;
      values.erase(index);
      model.erase(model.begin() + index);
    } else {
      uint32_t index = random() % 4 == 0 ? size : static_cast<uint32_t>(random() % (size + 1));
      values.insert(index, step);
      model.insert(model.begin() + index, step);
    }
  }
  ASSERT_EQ(values.size(), model.size());
  EXPECT_EQ(Contents(values), model);
  std::vector<int> backwards;
  for (auto position = values.end(); position != values.begin();) backwards.push_back(*--position);
  EXPECT_EQ(backwards, std::vector<int>(model.rbegin(), model.rend()));
  for (uint32_t block = 0; block < values.block_count(); ++block) {
    EXPECT_GT(values.block_size(block), 0u);
    EXPECT_LE(values.block_size(block), 512u);
  }
}

TEST(Vector, EraseThroughIteratorsAndEmptiedBlocks) {
  cetl::vector<int> values;
  for (int i = 0; i < 257; ++i) values.push_back(i);
  ASSERT_EQ(Blocks(values), (std::vector<uint32_t>{256, 1}));
  auto next = values.erase(--values.end());  // empties the second block
  EXPECT_EQ(next, values.end());
  EXPECT_EQ(Blocks(values), (std::vector<uint32_t>{256}));

  auto position = values.begin();
  ++position;
  position = values.erase(position);
  EXPECT_EQ(*position, 2);
  EXPECT_EQ(values[1], 2);
  auto inserted = values.insert(position, 1);
  EXPECT_EQ(*inserted, 1);
  for (uint32_t i = 0; i < values.size(); ++i) ASSERT_EQ(values[i], static_cast<int>(i));
}

TEST(Vector, MisuseThrowsTheFixedTexts) {
  cetl::vector<int> values;
  EXPECT_CETL_THROW(values[0], "the item specified does not exist within the vector");
  EXPECT_CETL_THROW(values.erase(0u), "the item specified does not exist within the vector");
  EXPECT_CETL_THROW(--values.end(),
                    "the iterator has already reached the beginning of the container");
  values.push_back(1);
  values.push_back(2);
  EXPECT_CETL_THROW(values[2], "the item specified does not exist within the vector");
  EXPECT_CETL_THROW(values.erase(2u), "the item specified does not exist within the vector");
  EXPECT_CETL_THROW(values.insert(3u, 0), "the item specified does not exist within the vector");
  EXPECT_CETL_THROW(*values.end(), "the iterator does not reference a valid object");
  EXPECT_CETL_THROW(values.erase(values.end()), "the iterator does not reference a valid object");
  EXPECT_CETL_THROW(++values.end(), "the iterator has already reached the end of the container");
  EXPECT_CETL_THROW(--values.begin(),
                    "the iterator has already reached the beginning of the container");
  cetl::vector<int> other;
  other.push_back(5);
  EXPECT_CETL_THROW(values.insert(other.begin(), 0),
                    "the iterator does not reference a valid object");
  EXPECT_CETL_THROW(values.erase(other.begin()), "the iterator does not reference a valid object");
  EXPECT_EQ(Contents(values), (std::vector<int>{1, 2}));
}

TEST(Vector, CopiesAreIndependent) {
  cetl::vector<int> original;
  for (int i = 0; i < 300; ++i) original.push_back(i);
  cetl::vector<int> copy = original;
  copy[0] = -1;
  copy.erase(299u);
  EXPECT_EQ(original[0], 0);
  EXPECT_EQ(original.size(), 300u);
  EXPECT_EQ(copy.size(), 299u);
  cetl::vector<int> moved = std::move(copy);
  EXPECT_EQ(moved[0], -1);
  EXPECT_EQ(copy.size(), 0u);
}

}  // namespace
