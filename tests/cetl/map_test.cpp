#include "cetl/map.h"

#include <gtest/gtest.h>

#include <map>
#include <random>
#include <utility>
#include <vector>

#include "tests/cetl/cetl_expect.h"

namespace {

using Pairs = std::vector<std::pair<int, int>>;

Pairs Forwards(const cetl::map<int, int>& values) {
  Pairs seen;
  for (const auto& [key, value] : values) seen.emplace_back(key, value);
  return seen;
}

Pairs Backwards(const cetl::map<int, int>& values) {
  Pairs seen;
  for (auto position = values.end(); position != values.begin();) {
    --position;
    seen.emplace_back(position->key, position->value);
  }
  return seen;
}

// Random inserts, lookups and erasures against std::map, in a map with few
// and with many skip levels; order must hold both ways after every kind of
// change.
TEST(Map, AgreesWithStdMapUnderRandomEdits) {
  for (int32_t maxLevel : {1, 4, 32, 64}) {
    SCOPED_TRACE(maxLevel);
    std::mt19937 random(static_cast<uint32_t>(maxLevel));
    cetl::map<int, int> values(maxLevel);
    std::map<int, int> model;
    for (int step = 0; step < 4000; ++step) {
      int key = static_cast<int>(random() % 700);
      switch (random() % 4) {
        case 0:
          EXPECT_EQ(values.erase(key), model.erase(key) == 1);
          break;
        case 1: {
          auto found = values.find(key);
          auto expected = model.find(key);
          ASSERT_EQ(found == values.end(), expected == model.end());
          if (found != values.end()) {
            EXPECT_EQ(found->value, expected->second);
          }
          break;
        }
        default:
          values.insert(key, step);
          model[key] = step;
      }
    }
    ASSERT_EQ(values.size(), model.size());
    Pairs expected(model.begin(), model.end());
    EXPECT_EQ(Forwards(values), expected);
    EXPECT_EQ(Backwards(values), Pairs(expected.rbegin(), expected.rend()));
    for (const auto& entry : model) {
      ASSERT_TRUE(values.contains(entry.first));
    }
  }
}

TEST(Map, EraseByPositionWalksOn) {
  cetl::map<int, int> values;
  for (int key : {5, 1, 9, 3, 7}) values[key] = key * 10;
  auto position = values.erase(values.find(3));
  EXPECT_EQ(position->key, 5);
  position = values.erase(values.find(9));
  EXPECT_EQ(position, values.end());
  values.erase(values.begin());
  EXPECT_EQ(Forwards(values), (Pairs{{5, 50}, {7, 70}}));
  EXPECT_EQ(values.front().key, 5);
  EXPECT_EQ(values.back().key, 7);
}

// A moved map keeps the skip levels its nodes were built with, whatever
// levels the map it moves into was made with; erasing from it and moving it
// on must leave no link to an erased node behind.
TEST(Map, MoveBetweenMapsOfDifferentLevels) {
  for (int32_t targetLevel : {1, 4, 64}) {
    SCOPED_TRACE(targetLevel);
    cetl::map<int, int> source(32);
    for (int key = 0; key < 300; ++key) source[key] = key;
    cetl::map<int, int> target(targetLevel);
    target[-1] = -1;
    target = std::move(source);
    for (int key = 0; key < 300; key += 2) ASSERT_TRUE(target.erase(key));
    cetl::map<int, int> onward(32);
    onward = std::move(target);
    Pairs expected;
    for (int key = 1; key < 300; key += 2) expected.emplace_back(key, key);
    EXPECT_EQ(Forwards(onward), expected);
    for (int key = 0; key < 300; ++key) ASSERT_EQ(onward.contains(key), key % 2 == 1) << key;
    onward[1000] = 1;
    EXPECT_EQ(onward.back().key, 1000);
  }
}

TEST(Map, ReadingAndWritingValues) {
  cetl::map<int, int> values;
  values[4] += 2;  // an absent key starts from V()
  EXPECT_EQ(values.at(4), 2);
  values.insert(4, 8);  // an existing key is replaced, never held twice
  EXPECT_EQ(values.size(), 1u);
  EXPECT_EQ(values.at(4), 8);
  for (auto& [key, value] : values) value += key;
  EXPECT_EQ(values.at(4), 12);

  cetl::map<int, int> copy = values;
  copy[1] = 1;
  EXPECT_EQ(values.size(), 1u);
  EXPECT_EQ(Forwards(copy), (Pairs{{1, 1}, {4, 12}}));
  values.clear();
  EXPECT_TRUE(values.empty());
  EXPECT_EQ(values.find(4), values.end());
  values[2] = 3;  // usable after clear
  EXPECT_EQ(Forwards(values), (Pairs{{2, 3}}));
}

TEST(Map, MisuseThrowsTheFixedTexts) {
  cetl::map<int, int> values;
  EXPECT_CETL_THROW(values.front(), "the index specified does not exist within the map");
  EXPECT_CETL_THROW(values.back(), "the index specified does not exist within the map");
  values[1] = 1;
  cetl::map<int, int> other;
  other[1] = 1;
  EXPECT_CETL_THROW(values.at(2), "the index specified does not exist within the map");
  EXPECT_CETL_THROW(values.erase(values.end()),
                    "the index specified does not exist within the map");
  EXPECT_CETL_THROW(values.erase(other.begin()),
                    "the index specified does not exist within the map");
  EXPECT_CETL_THROW(*values.end(), "the iterator does not reference a valid object");
  EXPECT_CETL_THROW(++values.end(), "the iterator has already reached the end of the container");
  EXPECT_CETL_THROW(--values.begin(),
                    "the iterator has already reached the beginning of the container");
  EXPECT_FALSE(values.erase(2));
  EXPECT_EQ(Forwards(values), (Pairs{{1, 1}}));
  EXPECT_EQ(Forwards(other), (Pairs{{1, 1}}));
}

TEST(SafeMap, AbsentKeysReadAsTheDefaultWithoutBeingStored) {
  cetl::safemap<int, int> values(-1);
  EXPECT_EQ(values[3], -1);
  EXPECT_FALSE(values.contains(3));
  EXPECT_EQ(values.size(), 0u);
  values.set(3, 0);
  EXPECT_EQ(values[3], 0);
  EXPECT_TRUE(values.contains(3));  // present even with a value equal to nothing
  values.set(3, 5);
  EXPECT_EQ(values[3], 5);
  EXPECT_EQ(values.size(), 1u);
  EXPECT_TRUE(values.erase(3));
  EXPECT_FALSE(values.erase(3));
  EXPECT_EQ(values[3], -1);
  EXPECT_EQ(values.begin(), values.end());
}

}  // namespace
