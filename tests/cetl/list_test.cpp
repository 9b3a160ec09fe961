#include "cetl/list.h"

#include <gtest/gtest.h>

#include <vector>

#include "tests/cetl/cetl_expect.h"

namespace {

std::vector<int> Forwards(const cetl::list<int>& values) {
  return std::vector<int>(values.begin(), values.end());
}

std::vector<int> Backwards(const cetl::list<int>& values) {
  std::vector<int> seen;
  for (auto position = values.end(); position != values.begin();) seen.push_back(*--position);
  return seen;
}

TEST(List, KeepsOrderThroughEveryKindOfInsertAndRemove) {
  cetl::list<int> values;
  values.push_back(2);
  values.push_front(1);
  values.push_back(4);
  values.insert(values.find(4), 3);
  values.insert(values.end(), 5);
  values.insert(values.begin(), 0);
  EXPECT_EQ(Forwards(values), (std::vector<int>{0, 1, 2, 3, 4, 5}));
  EXPECT_EQ(Backwards(values), (std::vector<int>{5, 4, 3, 2, 1, 0}));
  EXPECT_EQ(values.size(), 6u);

  EXPECT_EQ(values.pop_front(), 0);
  auto after = values.erase(values.find(3));
  EXPECT_EQ(*after, 4);
  values.erase(values.find(5));  // the last node: the list's end moves back
  EXPECT_EQ(values.back(), 4);
  EXPECT_EQ(Forwards(values), (std::vector<int>{1, 2, 4}));
  EXPECT_EQ(Backwards(values), (std::vector<int>{4, 2, 1}));
  EXPECT_EQ(values.size(), 3u);

  values.clear();
  EXPECT_TRUE(values.empty());
  EXPECT_EQ(values.begin(), values.end());
  values.push_back(7);  // still usable after clear
  EXPECT_EQ(Forwards(values), (std::vector<int>{7}));
}

TEST(List, CopiesAreIndependent) {
  cetl::list<int> original;
  for (int value : {1, 2, 3}) original.push_back(value);
  cetl::list<int> copy = original;
  copy.pop_front();
  copy.push_back(9);
  EXPECT_EQ(Forwards(original), (std::vector<int>{1, 2, 3}));
  EXPECT_EQ(Forwards(copy), (std::vector<int>{2, 3, 9}));
  original = copy;
  EXPECT_EQ(Forwards(original), (std::vector<int>{2, 3, 9}));
  cetl::list<int> moved = std::move(copy);
  EXPECT_EQ(Forwards(moved), (std::vector<int>{2, 3, 9}));
}

TEST(List, MisuseThrowsTheFixedTexts) {
  cetl::list<int> empty;
  EXPECT_CETL_THROW(empty.pop_front(), "the list is empty");
  EXPECT_CETL_THROW(empty.front(), "the list is empty");
  EXPECT_CETL_THROW(empty.back(), "the list is empty");
  EXPECT_CETL_THROW(--empty.end(),
                    "the iterator has already reached the beginning of the container");

  cetl::list<int> values;
  values.push_back(1);
  values.push_back(2);
  EXPECT_CETL_THROW(values.find(3), "the item specified does not exist within the list");
  EXPECT_CETL_THROW(*values.end(), "the iterator does not reference a valid object");
  EXPECT_CETL_THROW(++values.end(), "the iterator has already reached the end of the container");
  EXPECT_CETL_THROW(--values.begin(),
                    "the iterator has already reached the beginning of the container");
  EXPECT_CETL_THROW(values.erase(values.end()), "the iterator does not reference a valid object");
  EXPECT_CETL_THROW(values.erase(empty.begin()), "the iterator does not reference a valid object");
  EXPECT_CETL_THROW(*cetl::list<int>::iterator(), "the iterator does not reference a valid object");
  EXPECT_EQ(Forwards(values), (std::vector<int>{1, 2}));  // nothing was disturbed
}

}  // namespace
