#include "platform/region.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

namespace {

struct RegionDeleter {
  void operator()(Region* region) const { DeleteRegion(region); }
};
using RegionPointer = std::unique_ptr<Region, RegionDeleter>;

RegionPointer Rectangle(int32_t left, int32_t top, int32_t right, int32_t bottom) {
  return RegionPointer(CreateRectangleRegion({left, top, right, bottom}));
}

std::vector<Rect> Rectangles(const Region* region) {
  std::vector<Rect> rects(static_cast<size_t>(GetRegionRectangles(region, nullptr, 0)));
  GetRegionRectangles(region, rects.data(), static_cast<int32_t>(rects.size()));
  return rects;
}

// The pixels of a region inside a small area, one character per pixel.
std::string Picture(const Region* region, int32_t width, int32_t height) {
  std::string text;
  for (int32_t y = 0; y < height; ++y) {
    for (int32_t x = 0; x < width; ++x) text += RegionContainsPoint(region, x, y) ? '#' : '.';
    text += '\n';
  }
  return text;
}

// Two overlapping squares: a = (1,1)-(5,5), b = (3,3)-(7,7), combined each
// way, checked pixel by pixel against the set the operation means.
TEST(RegionTest, CombinationsMatchTheirSets) {
  struct Case {
    RegionOperation operation;
    RegionKind kind;
    bool (*inside)(bool inA, bool inB);
  };
  const Case cases[] = {
      {RegionOperation::kAnd, kRegionRectangle, [](bool a, bool b) { return a && b; }},
      {RegionOperation::kOr, kRegionComplex, [](bool a, bool b) { return a || b; }},
      {RegionOperation::kXor, kRegionComplex, [](bool a, bool b) { return a != b; }},
      {RegionOperation::kDifference, kRegionComplex, [](bool a, bool b) { return a && !b; }},
  };
  RegionPointer a = Rectangle(1, 1, 5, 5);
  RegionPointer b = Rectangle(3, 3, 7, 7);
  for (const Case& c : cases) {
    RegionPointer result(CreateEmptyRegion());
    EXPECT_EQ(CombineRegions(result.get(), a.get(), b.get(), c.operation), c.kind);
    for (int32_t y = 0; y < 9; ++y) {
      for (int32_t x = 0; x < 9; ++x) {
        bool inA = x >= 1 && x < 5 && y >= 1 && y < 5;
        bool inB = x >= 3 && x < 7 && y >= 3 && y < 7;
        EXPECT_EQ(RegionContainsPoint(result.get(), x, y), c.inside(inA, inB))
            << "operation " << static_cast<int>(c.operation) << " at " << x << "," << y;
      }
    }
  }
}

TEST(RegionTest, DestinationMayBeAnOperand) {
  RegionPointer a = Rectangle(0, 0, 4, 4);
  RegionPointer b = Rectangle(2, 0, 6, 4);
  EXPECT_EQ(CombineRegions(a.get(), a.get(), b.get(), RegionOperation::kOr), kRegionRectangle);
  Rect box;
  EXPECT_EQ(GetRegionBox(a.get(), &box), kRegionRectangle);
  EXPECT_EQ(box.left, 0);
  EXPECT_EQ(box.right, 6);
  EXPECT_EQ(CombineRegions(b.get(), a.get(), b.get(), RegionOperation::kDifference),
            kRegionRectangle);
  EXPECT_EQ(Rectangles(b.get()).size(), 1u);
  EXPECT_TRUE(RegionContainsPoint(b.get(), 1, 1));
  EXPECT_FALSE(RegionContainsPoint(b.get(), 2, 1));
}

// The same set reached in different ways has the same description, so
// equality and the rectangle list do not depend on history.
TEST(RegionTest, EqualSetsHaveEqualDescriptions) {
  // A ring built from four strips and as a square minus a hole.
  const Rect strips[] = {{0, 0, 6, 2}, {0, 4, 6, 6}, {0, 2, 2, 4}, {4, 2, 6, 4}};
  RegionPointer fromStrips(CreateRegionFromRectangles(strips, 4));
  RegionPointer square = Rectangle(0, 0, 6, 6);
  RegionPointer hole = Rectangle(2, 2, 4, 4);
  RegionPointer ring(CreateEmptyRegion());
  CombineRegions(ring.get(), square.get(), hole.get(), RegionOperation::kDifference);
  EXPECT_TRUE(RegionsEqual(fromStrips.get(), ring.get()));
  EXPECT_EQ(Rectangles(ring.get()).size(), 4u);  // top band, two sides, bottom band
  EXPECT_EQ(Picture(ring.get(), 6, 6),
            "######\n"
            "######\n"
            "##..##\n"
            "##..##\n"
            "######\n"
            "######\n");
  // Rows of one pixel each, as a cell's opaque runs arrive, merge to bands.
  std::vector<Rect> rows;
  for (int32_t y = 0; y < 50; ++y) rows.push_back({3, y, 9, y + 1});
  RegionPointer fromRows(
      CreateRegionFromRectangles(rows.data(), static_cast<int32_t>(rows.size())));
  RegionPointer block = Rectangle(3, 0, 9, 50);
  EXPECT_TRUE(RegionsEqual(fromRows.get(), block.get()));
  EXPECT_EQ(Rectangles(fromRows.get()).size(), 1u);
}

TEST(RegionTest, EmptyRegions) {
  RegionPointer empty = Rectangle(5, 5, 5, 9);  // no width
  Rect box{1, 2, 3, 4};
  EXPECT_EQ(GetRegionBox(empty.get(), &box), kRegionEmpty);
  EXPECT_EQ(box.right, 0);
  EXPECT_FALSE(RegionContainsPoint(empty.get(), 5, 5));
  RegionPointer a = Rectangle(0, 0, 2, 2);
  RegionPointer b = Rectangle(2, 0, 4, 2);  // touches a, shares no pixel
  RegionPointer result(CreateEmptyRegion());
  EXPECT_EQ(CombineRegions(result.get(), a.get(), b.get(), RegionOperation::kAnd), kRegionEmpty);
  EXPECT_EQ(CombineRegions(result.get(), a.get(), a.get(), RegionOperation::kXor), kRegionEmpty);
  EXPECT_EQ(GetRegionRectangles(result.get(), nullptr, 0), 0);
}

TEST(RegionTest, OffsetMovesEveryPixel) {
  const Rect parts[] = {{0, 0, 2, 1}, {1, 1, 3, 2}};
  RegionPointer region(CreateRegionFromRectangles(parts, 2));
  EXPECT_EQ(OffsetRegion(region.get(), 10, -5), kRegionComplex);
  EXPECT_TRUE(RegionContainsPoint(region.get(), 10, -5));
  EXPECT_TRUE(RegionContainsPoint(region.get(), 12, -4));
  EXPECT_FALSE(RegionContainsPoint(region.get(), 10, -4));
  EXPECT_FALSE(RegionContainsPoint(region.get(), 0, 0));
  Rect box;
  GetRegionBox(region.get(), &box);
  EXPECT_EQ(box.left, 10);
  EXPECT_EQ(box.top, -5);
  EXPECT_EQ(box.right, 13);
  EXPECT_EQ(box.bottom, -3);
}

// Hit testing at the edges: right and bottom are outside.
TEST(RegionTest, EdgesAreHalfOpen) {
  RegionPointer region = Rectangle(2, 3, 4, 5);
  EXPECT_TRUE(RegionContainsPoint(region.get(), 2, 3));
  EXPECT_TRUE(RegionContainsPoint(region.get(), 3, 4));
  EXPECT_FALSE(RegionContainsPoint(region.get(), 4, 3));
  EXPECT_FALSE(RegionContainsPoint(region.get(), 2, 5));
  EXPECT_FALSE(RegionContainsPoint(region.get(), 1, 3));
  EXPECT_FALSE(RegionContainsPoint(region.get(), 2, 2));
}

// A rectangle list with its header, as a cell's region is handed over.
std::vector<uint8_t> Data(const RegionDataHeader& header, const std::vector<Rect>& rects) {
  std::vector<uint8_t> bytes(sizeof header + rects.size() * sizeof(Rect));
  std::memcpy(bytes.data(), &header, sizeof header);
  if (!rects.empty())
    std::memcpy(bytes.data() + sizeof header, rects.data(), rects.size() * sizeof(Rect));
  return bytes;
}

TEST(RegionTest, FromDataClipsToTheBounds) {
  RegionDataHeader header;
  header.count = 2;
  header.bounds = {0, 0, 4, 4};
  std::vector<uint8_t> bytes = Data(header, {{-2, 0, 2, 1}, {3, 3, 9, 9}});
  RegionPointer region(CreateRegionFromData(reinterpret_cast<const RegionDataHeader*>(bytes.data()),
                                            static_cast<uint32_t>(bytes.size())));
  ASSERT_TRUE(region);
  EXPECT_EQ(Picture(region.get(), 5, 5),
            "##...\n"
            ".....\n"
            ".....\n"
            "...#.\n"
            ".....\n");
}

TEST(RegionTest, FromDataRefusesDataThatDoesNotFit) {
  RegionDataHeader header;
  header.count = 3;
  std::vector<uint8_t> bytes = Data(header, {{0, 0, 1, 1}, {1, 1, 2, 2}});  // one missing
  EXPECT_EQ(CreateRegionFromData(reinterpret_cast<const RegionDataHeader*>(bytes.data()),
                                 static_cast<uint32_t>(bytes.size())),
            nullptr);
  header.count = 0xFFFFFFFF;
  bytes = Data(header, {});
  EXPECT_EQ(CreateRegionFromData(reinterpret_cast<const RegionDataHeader*>(bytes.data()),
                                 static_cast<uint32_t>(bytes.size())),
            nullptr);
  header.count = 0;
  header.size = 4000;  // a header claiming more than the data holds
  bytes = Data(header, {});
  EXPECT_EQ(CreateRegionFromData(reinterpret_cast<const RegionDataHeader*>(bytes.data()),
                                 static_cast<uint32_t>(bytes.size())),
            nullptr);
  EXPECT_EQ(CreateRegionFromData(nullptr, 0), nullptr);
}

}  // namespace
