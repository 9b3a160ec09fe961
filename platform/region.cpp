#include "platform/region.h"

#include <algorithm>
#include <climits>
#include <cstring>
#include <string>
#include <vector>

#include "platform/trace.h"

// Rows top to bottom, grouped into bands of equal spans. Bands never touch
// with equal spans (they would have been merged) and never hold an empty
// span list, so two equal sets always have the same bands.
struct Band {
  int32_t top = 0;
  int32_t bottom = 0;
  std::vector<int32_t> spans;  // left, right pairs, sorted, disjoint, not touching
};

struct Region {
  std::vector<Band> bands;
};

namespace {

bool IsEmptyRect(const Rect& rect) {
  return rect.right <= rect.left || rect.bottom <= rect.top;
}

void AppendBand(std::vector<Band>& bands, int32_t top, int32_t bottom,
                std::vector<int32_t>&& spans) {
  if (spans.empty() || bottom <= top) return;
  if (!bands.empty() && bands.back().bottom == top && bands.back().spans == spans) {
    bands.back().bottom = bottom;
    return;
  }
  bands.push_back({top, bottom, std::move(spans)});
}

const std::vector<int32_t>* SpansAt(const std::vector<Band>& bands, size_t& cursor, int32_t y) {
  while (cursor < bands.size() && bands[cursor].bottom <= y) ++cursor;
  if (cursor < bands.size() && bands[cursor].top <= y) return &bands[cursor].spans;
  return nullptr;
}

bool Keep(RegionOperation operation, bool inA, bool inB) {
  switch (operation) {
    case RegionOperation::kAnd:
      return inA && inB;
    case RegionOperation::kOr:
      return inA || inB;
    case RegionOperation::kXor:
      return inA != inB;
    case RegionOperation::kDifference:
      return inA && !inB;
    case RegionOperation::kCopy:
      return inA;
  }
  return false;
}

// Combines two span lists by sweeping over their edges.
std::vector<int32_t> CombineSpans(const std::vector<int32_t>* a, const std::vector<int32_t>* b,
                                  RegionOperation operation) {
  static const std::vector<int32_t> none;
  const std::vector<int32_t>& left = a ? *a : none;
  const std::vector<int32_t>& right = b ? *b : none;
  std::vector<int32_t> edges;
  edges.reserve(left.size() + right.size());
  edges.insert(edges.end(), left.begin(), left.end());
  edges.insert(edges.end(), right.begin(), right.end());
  std::sort(edges.begin(), edges.end());
  edges.erase(std::unique(edges.begin(), edges.end()), edges.end());
  std::vector<int32_t> result;
  size_t i = 0, j = 0;
  for (size_t e = 0; e + 1 < edges.size(); ++e) {
    int32_t x = edges[e];
    while (i < left.size() && left[i + 1] <= x) i += 2;
    while (j < right.size() && right[j + 1] <= x) j += 2;
    bool inA = i < left.size() && left[i] <= x;
    bool inB = j < right.size() && right[j] <= x;
    if (!Keep(operation, inA, inB)) continue;
    if (!result.empty() && result.back() == x) {
      result.back() = edges[e + 1];
    } else {
      result.push_back(x);
      result.push_back(edges[e + 1]);
    }
  }
  return result;
}

std::vector<Band> Combine(const std::vector<Band>& a, const std::vector<Band>& b,
                          RegionOperation operation) {
  std::vector<int32_t> rows;
  rows.reserve(2 * (a.size() + b.size()));
  for (const Band& band : a) rows.insert(rows.end(), {band.top, band.bottom});
  for (const Band& band : b) rows.insert(rows.end(), {band.top, band.bottom});
  std::sort(rows.begin(), rows.end());
  rows.erase(std::unique(rows.begin(), rows.end()), rows.end());
  std::vector<Band> result;
  size_t cursorA = 0, cursorB = 0;
  for (size_t r = 0; r + 1 < rows.size(); ++r) {
    const std::vector<int32_t>* spansA = SpansAt(a, cursorA, rows[r]);
    const std::vector<int32_t>* spansB = SpansAt(b, cursorB, rows[r]);
    if (!spansA && !spansB) continue;
    AppendBand(result, rows[r], rows[r + 1], CombineSpans(spansA, spansB, operation));
  }
  return result;
}

RegionKind KindOf(const Region& region) {
  if (region.bands.empty()) return kRegionEmpty;
  if (region.bands.size() == 1 && region.bands[0].spans.size() == 2) return kRegionRectangle;
  return kRegionComplex;
}

void SetRectangle(Region& region, const Rect& rect) {
  region.bands.clear();
  if (!IsEmptyRect(rect)) region.bands.push_back({rect.top, rect.bottom, {rect.left, rect.right}});
}

// Builds from many rectangles by merging halves, so a region of one
// rectangle per pixel row stays fast.
std::vector<Band> FromRectangles(const Rect* rects, int32_t count) {
  if (count <= 0) return {};
  if (count == 1) {
    Region single;
    SetRectangle(single, rects[0]);
    return std::move(single.bands);
  }
  int32_t half = count / 2;
  return Combine(FromRectangles(rects, half), FromRectangles(rects + half, count - half),
                 RegionOperation::kOr);
}

bool Check(const void* region, const char* operation) {
  if (region) return true;
  std::string text = std::string(operation) + " called with a null region\n";
  TraceOutput(text.c_str());
  return false;
}

}  // namespace

Region* CreateEmptyRegion() {
  return new Region;
}

Region* CreateRectangleRegion(const Rect& rect) {
  Region* region = new Region;
  SetRectangle(*region, rect);
  return region;
}

Region* CreateRegionFromRectangles(const Rect* rects, int32_t count) {
  if (count < 0 || (count > 0 && !rects)) return nullptr;
  Region* region = new Region;
  region->bands = FromRectangles(rects, count);
  return region;
}

Region* CreateRegionFromData(const RegionDataHeader* data, uint32_t dataSize) {
  if (!data || dataSize < sizeof(RegionDataHeader) || data->size < sizeof(RegionDataHeader) ||
      data->type != 1 || data->size > dataSize) {
    TraceOutput("CreateRegionFromData called with a bad header\n");
    return nullptr;
  }
  uint64_t available = (dataSize - data->size) / sizeof(Rect);
  if (data->count > available) {
    TraceOutput("CreateRegionFromData called with more rectangles than data\n");
    return nullptr;
  }
  const auto* bytes = reinterpret_cast<const uint8_t*>(data) + data->size;
  std::vector<Rect> rects(data->count);
  if (data->count) std::memcpy(rects.data(), bytes, data->count * sizeof(Rect));
  // The bounding box clips when it is not empty.
  if (!IsEmptyRect(data->bounds)) {
    for (Rect& rect : rects) {
      rect.left = std::max(rect.left, data->bounds.left);
      rect.top = std::max(rect.top, data->bounds.top);
      rect.right = std::min(rect.right, data->bounds.right);
      rect.bottom = std::min(rect.bottom, data->bounds.bottom);
    }
  }
  Region* region = new Region;
  region->bands = FromRectangles(rects.data(), static_cast<int32_t>(rects.size()));
  return region;
}

bool DeleteRegion(Region* region) {
  if (!Check(region, "DeleteRegion")) return false;
  delete region;
  return true;
}

RegionKind CombineRegions(Region* destination, const Region* a, const Region* b,
                          RegionOperation operation) {
  if (!Check(destination, "CombineRegions") || !Check(a, "CombineRegions")) return kRegionError;
  if (operation == RegionOperation::kCopy) {
    if (destination != a) destination->bands = a->bands;
    return KindOf(*destination);
  }
  if (!Check(b, "CombineRegions")) return kRegionError;
  destination->bands = Combine(a->bands, b->bands, operation);
  return KindOf(*destination);
}

RegionKind OffsetRegion(Region* region, int32_t dx, int32_t dy) {
  if (!Check(region, "OffsetRegion")) return kRegionError;
  for (Band& band : region->bands) {
    band.top += dy;
    band.bottom += dy;
    for (int32_t& x : band.spans) x += dx;
  }
  return KindOf(*region);
}

bool SetRegionToRectangle(Region* region, const Rect& rect) {
  if (!Check(region, "SetRegionToRectangle")) return false;
  SetRectangle(*region, rect);
  return true;
}

bool RegionContainsPoint(const Region* region, int32_t x, int32_t y) {
  if (!region) return false;
  auto band = std::upper_bound(region->bands.begin(), region->bands.end(), y,
                               [](int32_t value, const Band& b) { return value < b.bottom; });
  if (band == region->bands.end() || band->top > y) return false;
  const std::vector<int32_t>& spans = band->spans;
  for (size_t i = 0; i < spans.size(); i += 2) {
    if (x < spans[i]) return false;
    if (x < spans[i + 1]) return true;
  }
  return false;
}

RegionKind GetRegionBox(const Region* region, Rect* box) {
  if (!Check(region, "GetRegionBox") || !box) return kRegionError;
  *box = {};
  if (region->bands.empty()) return kRegionEmpty;
  int32_t left = INT32_MAX, right = INT32_MIN;
  for (const Band& band : region->bands) {
    left = std::min(left, band.spans.front());
    right = std::max(right, band.spans.back());
  }
  *box = {left, region->bands.front().top, right, region->bands.back().bottom};
  return KindOf(*region);
}

bool RegionsEqual(const Region* a, const Region* b) {
  if (!a || !b) return false;
  if (a->bands.size() != b->bands.size()) return false;
  for (size_t i = 0; i < a->bands.size(); ++i) {
    const Band& x = a->bands[i];
    const Band& y = b->bands[i];
    if (x.top != y.top || x.bottom != y.bottom || x.spans != y.spans) return false;
  }
  return true;
}

int32_t GetRegionRectangles(const Region* region, Rect* rects, int32_t capacity) {
  if (!Check(region, "GetRegionRectangles")) return 0;
  int32_t count = 0;
  for (const Band& band : region->bands) {
    for (size_t i = 0; i < band.spans.size(); i += 2) {
      if (rects && count < capacity) {
        rects[count] = {band.spans[i], band.top, band.spans[i + 1], band.bottom};
      }
      ++count;
    }
  }
  return count;
}
