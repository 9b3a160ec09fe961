#pragma once
// Regions: sets of pixels described as rectangles, for window shapes and
// clipping. A region is kept as bands of rows, each band a sorted list of
// disjoint spans, so equal sets have equal descriptions.

#include <cstdint>

#include "platform/window.h"

struct Region;

// What a combination left behind.
enum RegionKind : int32_t {
  kRegionError = 0,
  kRegionEmpty = 1,
  kRegionRectangle = 2,  // a single rectangle
  kRegionComplex = 3,
};

enum class RegionOperation { kAnd, kOr, kXor, kDifference, kCopy };

// The header of a rectangle list handed to CreateRegionFromData: the
// rectangles (Rect, 16 bytes each) follow it directly.
struct RegionDataHeader {
  uint32_t size = 32;  // of this header
  uint32_t type = 1;   // 1: rectangles
  uint32_t count = 0;
  uint32_t rectanglesSize = 0;  // may be 0
  Rect bounds;                  // every rectangle is clipped to it
};
static_assert(sizeof(RegionDataHeader) == 32);
static_assert(sizeof(Rect) == 16);

Region* CreateEmptyRegion();
// An empty rectangle gives an empty region.
Region* CreateRectangleRegion(const Rect& rect);
Region* CreateRegionFromRectangles(const Rect* rects, int32_t count);
// From a header and the rectangles after it, dataSize bytes in all; null
// when the header does not fit the data.
Region* CreateRegionFromData(const RegionDataHeader* data, uint32_t dataSize);
bool DeleteRegion(Region* region);

// destination = a op b (b unused for kCopy); destination may be a or b.
RegionKind CombineRegions(Region* destination, const Region* a, const Region* b,
                          RegionOperation operation);
RegionKind OffsetRegion(Region* region, int32_t dx, int32_t dy);
bool SetRegionToRectangle(Region* region, const Rect& rect);

bool RegionContainsPoint(const Region* region, int32_t x, int32_t y);
// The smallest rectangle around the region (all zero when empty).
RegionKind GetRegionBox(const Region* region, Rect* box);
bool RegionsEqual(const Region* a, const Region* b);
// The rectangles, top to bottom, left to right within a band; answers how
// many there are (copying at most capacity of them).
int32_t GetRegionRectangles(const Region* region, Rect* rects, int32_t capacity);
