#include "platform/graphics.h"

#include <algorithm>
#include <array>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <mutex>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

#include "platform/region.h"
#include "platform/trace.h"

struct Bitmap {
  int32_t width = 0;
  int32_t height = 0;
  int32_t depth = 0;
  int32_t pitch = 0;
  bool monochrome = false;
  // A window's picture on an 8-bit display: its colours are the display's
  // realised palette, not a table of its own.
  bool displayPalette = false;
  std::unique_ptr<uint8_t[]> pixels;
  std::array<PaletteQuad, 256> palette{};
  DeviceContext* selectedIn = nullptr;
};

struct Palette {
  std::vector<PaletteColor> entries;
  int32_t selections = 0;
};

struct DeviceContext {
  enum class Kind { kMemory, kWindow, kScreen } kind = Kind::kMemory;
  Bitmap* bitmap = nullptr;
  Bitmap* defaultBitmap = nullptr;  // the 1 × 1 bitmap of a new memory context
  std::shared_ptr<Bitmap> keep;     // a window's picture stays alive while drawn into
  Point origin;                     // of the context's coordinates in the bitmap
  bool windowClipped = false;       // window contexts: only windowClip can be drawn
  std::vector<Rect> windowClip;     // bitmap coordinates
  Region* userClip = nullptr;       // context coordinates, or null
  Color text = 0;
  Color background = 0xFFFFFF;
  int32_t backgroundMode = kBackgroundOpaque;
  int32_t stretchMode = kStretchBlackOnWhite;
  Font* font = nullptr;
  Palette* palette = nullptr;
  Rect drawn;  // bitmap coordinates of everything drawn since the last look
};

namespace graphics_detail {
std::shared_ptr<Bitmap> CreateSurface(int32_t width, int32_t height);
void CopySurface(Bitmap* destination, const Bitmap* source);
DeviceContext* CreateWindowContext(std::shared_ptr<Bitmap> surface, Point origin,
                                   std::vector<Rect> clip);
bool DestroyWindowContext(DeviceContext* dc, Rect* drawn);
bool ReadColors(const Bitmap* bitmap, const Rect& area, uint32_t* pixels, int32_t pitch);
}  // namespace graphics_detail

namespace window_detail {
void DisplayPaletteChanged();
}

namespace {

constexpr int32_t kMaxDimension = 1 << 15;

bool IsEmpty(const Rect& rect) {
  return rect.right <= rect.left || rect.bottom <= rect.top;
}

Rect Intersect(const Rect& a, const Rect& b) {
  Rect result{std::max(a.left, b.left), std::max(a.top, b.top), std::min(a.right, b.right),
              std::min(a.bottom, b.bottom)};
  if (IsEmpty(result)) return {};
  return result;
}

Rect Unite(const Rect& a, const Rect& b) {
  if (IsEmpty(a)) return b;
  if (IsEmpty(b)) return a;
  return {std::min(a.left, b.left), std::min(a.top, b.top), std::max(a.right, b.right),
          std::max(a.bottom, b.bottom)};
}

void Trace(const char* text) {
  TraceOutput(text);
}

bool CheckDC(const DeviceContext* dc, const char* operation) {
  if (dc) return true;
  std::string text = std::string(operation) + " called with a null device context\n";
  TraceOutput(text.c_str());
  return false;
}

// The system palette: the 16 basic colours, 4 more static ones, and a
// 6 × 6 × 6 colour cube (with a few greys) filling the middle.
std::array<PaletteColor, 256> MakeSystemPalette() {
  std::array<PaletteColor, 256> table{};
  const uint8_t low[10][3] = {{0, 0, 0},       {128, 0, 0},    {0, 128, 0},   {128, 128, 0},
                              {0, 0, 128},     {128, 0, 128},  {0, 128, 128}, {192, 192, 192},
                              {192, 220, 192}, {166, 202, 240}};
  const uint8_t high[10][3] = {{255, 251, 240}, {160, 160, 164}, {128, 128, 128}, {255, 0, 0},
                               {0, 255, 0},     {255, 255, 0},   {0, 0, 255},     {255, 0, 255},
                               {0, 255, 255},   {255, 255, 255}};
  for (int i = 0; i < 10; ++i) {
    table[i] = {low[i][0], low[i][1], low[i][2], 0};
    table[246 + i] = {high[i][0], high[i][1], high[i][2], 0};
  }
  int index = 10;
  for (int r = 0; r < 6 && index < 246; ++r) {
    for (int g = 0; g < 6 && index < 246; ++g) {
      for (int b = 0; b < 6 && index < 246; ++b) {
        table[index++] = {static_cast<uint8_t>(r * 51), static_cast<uint8_t>(g * 51),
                          static_cast<uint8_t>(b * 51), 0};
      }
    }
  }
  for (int grey = 1; index < 246; ++grey) {
    uint8_t level = static_cast<uint8_t>(grey * 8);
    table[index++] = {level, level, level, 0};
  }
  return table;
}

const std::array<PaletteColor, 256>& SystemPalette() {
  static const std::array<PaletteColor, 256> table = MakeSystemPalette();
  return table;
}

// Small palettes take the 16 basic colours: the eight dark ones at the
// start of the system palette, then grey and the eight bright ones from its
// end.
PaletteColor SystemEntry(int32_t index, int32_t count) {
  const auto& table = SystemPalette();
  if (count <= 16 && index >= 8 && index < 16) return table[240 + index];
  return table[index];
}

struct DisplayState {
  std::mutex mutex;
  std::array<PaletteQuad, 256> realised{};
};

DisplayState& Display() {
  static DisplayState* state = [] {
    auto* created = new DisplayState;
    for (int i = 0; i < 256; ++i) {
      PaletteColor entry = SystemPalette()[i];
      created->realised[i] = {entry.blue, entry.green, entry.red, 0};
    }
    return created;
  }();
  return *state;
}

// Pixel values.

uint32_t ReadValue(const Bitmap& bitmap, int32_t x, int32_t y) {
  const uint8_t* row = bitmap.pixels.get() + static_cast<size_t>(y) * bitmap.pitch;
  switch (bitmap.depth) {
    case 1:
      return (row[x >> 3] >> (7 - (x & 7))) & 1;
    case 2:
      return (row[x >> 2] >> (6 - 2 * (x & 3))) & 3;
    case 4:
      return (row[x >> 1] >> (4 - 4 * (x & 1))) & 15;
    case 8:
      return row[x];
    case 16:
      return static_cast<uint32_t>(row[2 * x] | (row[2 * x + 1] << 8));
    case 24:
      return static_cast<uint32_t>(row[3 * x] | (row[3 * x + 1] << 8) | (row[3 * x + 2] << 16));
    default: {
      uint32_t value;
      std::memcpy(&value, row + 4 * x, 4);
      return value & 0x00FFFFFF;
    }
  }
}

void WriteValue(Bitmap& bitmap, int32_t x, int32_t y, uint32_t value) {
  uint8_t* row = bitmap.pixels.get() + static_cast<size_t>(y) * bitmap.pitch;
  switch (bitmap.depth) {
    case 1: {
      int shift = 7 - (x & 7);
      row[x >> 3] = static_cast<uint8_t>((row[x >> 3] & ~(1 << shift)) | ((value & 1) << shift));
      break;
    }
    case 2: {
      int shift = 6 - 2 * (x & 3);
      row[x >> 2] = static_cast<uint8_t>((row[x >> 2] & ~(3 << shift)) | ((value & 3) << shift));
      break;
    }
    case 4: {
      int shift = 4 - 4 * (x & 1);
      row[x >> 1] = static_cast<uint8_t>((row[x >> 1] & ~(15 << shift)) | ((value & 15) << shift));
      break;
    }
    case 8:
      row[x] = static_cast<uint8_t>(value);
      break;
    case 16:
      row[2 * x] = static_cast<uint8_t>(value);
      row[2 * x + 1] = static_cast<uint8_t>((value >> 8) & 0x7F);
      break;
    case 24:
      row[3 * x] = static_cast<uint8_t>(value);
      row[3 * x + 1] = static_cast<uint8_t>(value >> 8);
      row[3 * x + 2] = static_cast<uint8_t>(value >> 16);
      break;
    default: {
      // The top byte of a 32-bit pixel is not ours to change.
      uint32_t old;
      std::memcpy(&old, row + 4 * x, 4);
      value = (old & 0xFF000000) | (value & 0x00FFFFFF);
      std::memcpy(row + 4 * x, &value, 4);
      break;
    }
  }
}

uint32_t ValueMask(int32_t depth) {
  switch (depth) {
    case 16:
      return 0x7FFF;
    case 24:
    case 32:
      return 0x00FFFFFF;
    default:
      return (1u << depth) - 1;
  }
}

// The colours of a palette bitmap, as seen at this moment.
struct ColorTable {
  int32_t size = 0;
  std::array<PaletteQuad, 256> entries{};
};

ColorTable TableOf(const Bitmap& bitmap) {
  ColorTable table;
  if (bitmap.depth > 8) return table;
  table.size = 1 << bitmap.depth;
  if (bitmap.displayPalette) {
    std::lock_guard<std::mutex> lock(Display().mutex);
    table.entries = Display().realised;
  } else {
    table.entries = bitmap.palette;
  }
  return table;
}

Color QuadColor(const PaletteQuad& quad) {
  return MakeColor(quad.red, quad.green, quad.blue);
}

int32_t Nearest(const ColorTable& table, Color color) {
  int32_t best = 0;
  int32_t bestDistance = INT32_MAX;
  int r = ColorRed(color), g = ColorGreen(color), b = ColorBlue(color);
  for (int32_t i = 0; i < table.size; ++i) {
    const PaletteQuad& e = table.entries[i];
    int dr = e.red - r, dg = e.green - g, db = e.blue - b;
    int32_t distance = dr * dr + dg * dg + db * db;
    if (distance < bestDistance) {
      bestDistance = distance;
      best = i;
      if (distance == 0) break;
    }
  }
  return best;
}

uint32_t TrueColorValue(int32_t depth, Color color) {
  if (depth == 16) {
    return static_cast<uint32_t>(((ColorRed(color) >> 3) << 10) | ((ColorGreen(color) >> 3) << 5) |
                                 (ColorBlue(color) >> 3));
  }
  return static_cast<uint32_t>((ColorRed(color) << 16) | (ColorGreen(color) << 8) |
                               ColorBlue(color));
}

Color TrueColorOf(int32_t depth, uint32_t value) {
  if (depth == 16) {
    return MakeColor(static_cast<uint8_t>(((value >> 10) & 31) << 3),
                     static_cast<uint8_t>(((value >> 5) & 31) << 3),
                     static_cast<uint8_t>((value & 31) << 3));
  }
  return MakeColor(static_cast<uint8_t>(value >> 16), static_cast<uint8_t>(value >> 8),
                   static_cast<uint8_t>(value));
}

// How colours become pixel values of one target and back. A palette
// selected into a window's context on an 8-bit display decides the nearest
// entry, as realisation made its indices the display's.
struct Target {
  const Bitmap* bitmap = nullptr;
  ColorTable table;
  std::unordered_map<Color, uint32_t> cache;

  Target(const DeviceContext* dc, const Bitmap* target) : bitmap(target) {
    table = TableOf(*target);
    if (dc && dc->palette && target->displayPalette) {
      int32_t count =
          std::min<int32_t>(table.size, static_cast<int32_t>(dc->palette->entries.size()));
      for (int32_t i = 0; i < count; ++i) {
        const PaletteColor& e = dc->palette->entries[i];
        table.entries[i] = {e.blue, e.green, e.red, 0};
      }
    }
  }

  // A monochrome target answers 1 for colours nearer white than black.
  uint32_t ValueOf(Color color) {
    color &= 0x00FFFFFF;
    if (bitmap->monochrome) {
      return ColorRed(color) + ColorGreen(color) + ColorBlue(color) >= 384 ? 1 : 0;
    }
    if (bitmap->depth > 8) return TrueColorValue(bitmap->depth, color);
    auto found = cache.find(color);
    if (found != cache.end()) return found->second;
    uint32_t value = static_cast<uint32_t>(Nearest(table, color));
    cache.emplace(color, value);
    return value;
  }

  Color ColorOf(uint32_t value) const {
    if (bitmap->monochrome) return value ? 0xFFFFFF : 0;
    if (bitmap->depth > 8) return TrueColorOf(bitmap->depth, value);
    return QuadColor(table.entries[std::min<int32_t>(static_cast<int32_t>(value), table.size - 1)]);
  }
};

// The rectangles (bitmap coordinates) a context may draw into.
std::vector<Rect> ClipRects(const DeviceContext* dc) {
  std::vector<Rect> rects;
  if (!dc->bitmap) return rects;
  Rect bounds{0, 0, dc->bitmap->width, dc->bitmap->height};
  if (dc->windowClipped) {
    for (const Rect& r : dc->windowClip) {
      Rect piece = Intersect(r, bounds);
      if (!IsEmpty(piece)) rects.push_back(piece);
    }
  } else {
    rects.push_back(bounds);
  }
  if (dc->userClip) {
    int32_t count = GetRegionRectangles(dc->userClip, nullptr, 0);
    std::vector<Rect> user(static_cast<size_t>(count));
    GetRegionRectangles(dc->userClip, user.data(), count);
    std::vector<Rect> result;
    for (Rect u : user) {
      u = {u.left + dc->origin.x, u.top + dc->origin.y, u.right + dc->origin.x,
           u.bottom + dc->origin.y};
      for (const Rect& r : rects) {
        Rect piece = Intersect(r, u);
        if (!IsEmpty(piece)) result.push_back(piece);
      }
    }
    rects = std::move(result);
  }
  return rects;
}

uint32_t Combine(uint32_t operation, uint32_t destination, uint32_t source, uint32_t mask) {
  switch (operation) {
    case kRasterAnd:
      return destination & source;
    case kRasterPaint:
      return destination | source;
    case kRasterErase:
      return destination & ~source & mask;
    default:
      return source;
  }
}

bool KnownOperation(uint32_t operation) {
  switch (operation) {
    case kRasterCopy:
    case kRasterAnd:
    case kRasterPaint:
    case kRasterErase:
    case kRasterWhiteness:
    case kRasterBlackness:
      return true;
    default:
      return false;
  }
}

// Converts source pixel values to destination pixel values for one blit.
class Converter {
 public:
  Converter(DeviceContext* destination, const DeviceContext* source)
      : target_(destination, destination->bitmap), source_(source->bitmap) {
    const Bitmap& s = *source_;
    const Bitmap& d = *destination->bitmap;
    if (s.monochrome) {
      mono_[0] = d.monochrome ? 0 : target_.ValueOf(destination->text);
      mono_[1] = d.monochrome ? 1 : target_.ValueOf(destination->background);
      kind_ = Kind::kFromMono;
    } else if (d.monochrome) {
      // The source context's background colour in the source's own terms.
      Target sourceTarget(source, source_);
      sourceBackground_ = sourceTarget.ValueOf(source->background);
      kind_ = Kind::kToMono;
    } else if (s.depth <= 8) {
      ColorTable table = TableOf(s);
      int32_t size = 1 << s.depth;
      bool same = d.depth == s.depth && target_.table.size == size &&
                  std::memcmp(table.entries.data(), target_.table.entries.data(),
                              sizeof(PaletteQuad) * size) == 0;
      for (int32_t i = 0; i < size; ++i) {
        lookup_[i] = same ? static_cast<uint32_t>(i) : target_.ValueOf(QuadColor(table.entries[i]));
      }
      kind_ = Kind::kLookup;
    } else if (d.depth == s.depth || (d.depth > 16 && s.depth > 16)) {
      kind_ = Kind::kSame;
    } else {
      kind_ = Kind::kThroughColor;
    }
  }

  uint32_t Convert(uint32_t value) {
    switch (kind_) {
      case Kind::kFromMono:
        return mono_[value & 1];
      case Kind::kToMono:
        return value == sourceBackground_ ? 1 : 0;
      case Kind::kLookup:
        return lookup_[value & 255];
      case Kind::kSame:
        return value;
      case Kind::kThroughColor:
        return target_.ValueOf(TrueColorOf(source_->depth, value));
    }
    return value;
  }

  Target& target() { return target_; }
  // Values pass unchanged (same layout, or identical palettes).
  bool Identity() const {
    if (kind_ == Kind::kSame) return true;
    if (kind_ != Kind::kLookup) return false;
    int32_t size = 1 << source_->depth;
    for (int32_t i = 0; i < size; ++i) {
      if (lookup_[i] != static_cast<uint32_t>(i)) return false;
    }
    return true;
  }
  bool FromEightBits() const { return kind_ == Kind::kLookup && source_->depth == 8; }
  const std::array<uint32_t, 256>& lookup() const { return lookup_; }

 private:
  enum class Kind { kFromMono, kToMono, kLookup, kSame, kThroughColor };
  Target target_;
  const Bitmap* source_;
  Kind kind_ = Kind::kSame;
  uint32_t mono_[2] = {0, 1};
  uint32_t sourceBackground_ = 0;
  std::array<uint32_t, 256> lookup_{};
};

void NoteDrawn(DeviceContext* dc, const Rect& area) {
  dc->drawn = Unite(dc->drawn, area);
}

// The heart of both blits. Destination rectangle in bitmap coordinates; each
// destination pixel (x, y) takes the source pixel at the coordinates map
// gives. Source pixels are gathered first, so overlapping copies within one
// bitmap read what was there before.
template <class MapX, class MapY>
void Transfer(DeviceContext* destination, const Rect& area, DeviceContext* source, MapX mapX,
              MapY mapY, uint32_t operation) {
  Bitmap& d = *destination->bitmap;
  uint32_t mask = d.monochrome ? 1 : ValueMask(d.depth);
  std::unique_ptr<Converter> converter;
  uint32_t fixed = 0;
  if (operation == kRasterWhiteness || operation == kRasterBlackness) {
    Target target(destination, &d);
    fixed = target.ValueOf(operation == kRasterWhiteness ? 0xFFFFFF : 0);
  } else {
    converter = std::make_unique<Converter>(destination, source);
  }
  for (const Rect& clip : ClipRects(destination)) {
    Rect piece = Intersect(clip, area);
    if (IsEmpty(piece)) continue;
    std::vector<uint32_t> values(static_cast<size_t>(piece.Width()) * piece.Height(), fixed);
    if (converter) {
      // The source column of each destination column, worked out once.
      std::vector<int32_t> columns(static_cast<size_t>(piece.Width()));
      for (int32_t x = piece.left; x < piece.right; ++x) columns[x - piece.left] = mapX(x);
      size_t n = 0;
      for (int32_t y = piece.top; y < piece.bottom; ++y) {
        int32_t row = mapY(y);
        for (int32_t column : columns) {
          values[n++] = converter->Convert(ReadValue(*source->bitmap, column, row));
        }
      }
    }
    size_t n = 0;
    for (int32_t y = piece.top; y < piece.bottom; ++y) {
      for (int32_t x = piece.left; x < piece.right; ++x) {
        uint32_t value = values[n++];
        if (operation != kRasterCopy && converter) {
          value = Combine(operation, ReadValue(d, x, y), value, mask);
        }
        WriteValue(d, x, y, value & mask);
      }
    }
    NoteDrawn(destination, piece);
  }
}

// Plain copies between two bitmaps row by row: the same layout, and 8-bit
// art into true-colour pictures, the common case of drawing to windows.
// False when the copy needs the general path.
bool FastCopy(DeviceContext* destination, const Rect& area, DeviceContext* source, int32_t offsetX,
              int32_t offsetY) {
  Bitmap& d = *destination->bitmap;
  const Bitmap& s = *source->bitmap;
  if (&d == &s || d.monochrome || s.monochrome) return false;
  Converter converter(destination, source);
  bool same = d.depth == s.depth && d.depth >= 8 && converter.Identity();
  bool widen = converter.FromEightBits() && d.depth >= 16;
  if (!same && !widen) return false;
  const std::array<uint32_t, 256>& lookup = converter.lookup();
  for (const Rect& clip : ClipRects(destination)) {
    Rect piece = Intersect(clip, area);
    if (IsEmpty(piece)) continue;
    for (int32_t y = piece.top; y < piece.bottom; ++y) {
      uint8_t* out = d.pixels.get() + static_cast<size_t>(y) * d.pitch;
      const uint8_t* in = s.pixels.get() + static_cast<size_t>(y + offsetY) * s.pitch;
      if (same && d.depth != 32) {
        size_t bytes = static_cast<size_t>(d.depth / 8);
        std::memcpy(out + piece.left * bytes, in + (piece.left + offsetX) * bytes,
                    piece.Width() * bytes);
        continue;
      }
      // Each depth has its own loop, so the inner one does no dispatch.
      auto value = [&](int32_t x) {
        return same ? ReadValue(s, x + offsetX, y + offsetY) : lookup[in[x + offsetX]];
      };
      switch (d.depth) {
        case 16:
          for (int32_t x = piece.left; x < piece.right; ++x) {
            uint16_t pixel = static_cast<uint16_t>(value(x));
            std::memcpy(out + 2 * x, &pixel, 2);
          }
          break;
        case 24:
          for (int32_t x = piece.left; x < piece.right; ++x) {
            uint32_t pixel = value(x);
            out[3 * x] = static_cast<uint8_t>(pixel);
            out[3 * x + 1] = static_cast<uint8_t>(pixel >> 8);
            out[3 * x + 2] = static_cast<uint8_t>(pixel >> 16);
          }
          break;
        default:
          // The top byte of a 32-bit pixel stays as it was.
          for (int32_t x = piece.left; x < piece.right; ++x) {
            uint32_t pixel;
            std::memcpy(&pixel, out + 4 * x, 4);
            pixel = (pixel & 0xFF000000) | (value(x) & 0x00FFFFFF);
            std::memcpy(out + 4 * x, &pixel, 4);
          }
          break;
      }
    }
    NoteDrawn(destination, piece);
  }
  return true;
}

bool NeedsSource(uint32_t operation) {
  return operation != kRasterWhiteness && operation != kRasterBlackness;
}

std::unique_ptr<Bitmap> NewBitmap(int32_t width, int32_t height, int32_t depth) {
  if (width < 0 || height < 0 || width > kMaxDimension || height > kMaxDimension) return nullptr;
  auto bitmap = std::make_unique<Bitmap>();
  bitmap->width = width;
  bitmap->height = height;
  bitmap->depth = depth;
  bitmap->pitch = BitmapPitch(width, depth);
  size_t size = static_cast<size_t>(bitmap->pitch) * height;
  bitmap->pixels.reset(new (std::nothrow) uint8_t[size > 0 ? size : 1]());
  if (!bitmap->pixels) return nullptr;
  return bitmap;
}

bool ValidDepth(int32_t depth) {
  return depth == 1 || depth == 2 || depth == 4 || depth == 8 || depth == 16 || depth == 24 ||
         depth == 32;
}

void FillDefaultPalette(Bitmap& bitmap) {
  if (bitmap.depth == 1) {
    bitmap.palette[0] = {0, 0, 0, 0};
    bitmap.palette[1] = {255, 255, 255, 0};
    return;
  }
  if (bitmap.depth > 8) return;
  int32_t count = 1 << bitmap.depth;
  for (int32_t i = 0; i < count; ++i) {
    PaletteColor entry = SystemEntry(i, count);
    bitmap.palette[i] = {entry.blue, entry.green, entry.red, 0};
  }
}

}  // namespace

// Bitmaps.

Bitmap* CreateBitmapSection(const BitmapInfoHeader* header, void** bits) {
  if (bits) *bits = nullptr;
  if (!header || header->size < sizeof(BitmapInfoHeader)) {
    Trace("CreateBitmapSection called with a bad header\n");
    return nullptr;
  }
  int32_t depth = header->bitCount * std::max<int32_t>(1, header->planes);
  int32_t height = header->height == INT32_MIN ? INT32_MIN : std::abs(header->height);
  if (!ValidDepth(depth) || header->width <= 0 || height <= 0) {
    Trace("CreateBitmapSection called with a bad size or depth\n");
    return nullptr;
  }
  const uint8_t* colors = reinterpret_cast<const uint8_t*>(header) + header->size;
  if (header->compression == kCompressionBitFields) {
    uint32_t masks[3];
    std::memcpy(masks, colors, sizeof masks);
    bool valid =
        (depth == 16 && masks[0] == 0x7C00 && masks[1] == 0x03E0 && masks[2] == 0x001F) ||
        (depth == 32 && masks[0] == 0x00FF0000 && masks[1] == 0x0000FF00 && masks[2] == 0x000000FF);
    if (!valid) {
      Trace("CreateBitmapSection called with channel masks of another layout\n");
      return nullptr;
    }
  } else if (header->compression != kCompressionNone) {
    Trace("CreateBitmapSection called with a compressed layout\n");
    return nullptr;
  }
  std::unique_ptr<Bitmap> bitmap = NewBitmap(header->width, height, depth);
  if (!bitmap) {
    Trace("CreateBitmapSection could not allocate the pixels\n");
    return nullptr;
  }
  if (depth <= 8) {
    uint32_t count = 1u << depth;
    if (header->colorsUsed && header->colorsUsed < count) count = header->colorsUsed;
    std::memcpy(bitmap->palette.data(), colors, count * sizeof(PaletteQuad));
  }
  if (bits) *bits = bitmap->pixels.get();
  return bitmap.release();
}

Bitmap* CreateBitmap(int32_t width, int32_t height, int32_t depth, const PaletteQuad* palette) {
  if (!ValidDepth(depth)) {
    Trace("CreateBitmap called with a bad depth\n");
    return nullptr;
  }
  std::unique_ptr<Bitmap> bitmap = NewBitmap(width, height, depth);
  if (!bitmap) {
    Trace("CreateBitmap called with a bad size\n");
    return nullptr;
  }
  if (depth <= 8) {
    if (palette) {
      std::copy(palette, palette + (1 << depth), bitmap->palette.begin());
    } else {
      FillDefaultPalette(*bitmap);
    }
  }
  return bitmap.release();
}

Bitmap* CreateMonochromeBitmap(int32_t width, int32_t height) {
  std::unique_ptr<Bitmap> bitmap = NewBitmap(width, height, 1);
  if (!bitmap) {
    Trace("CreateMonochromeBitmap called with a bad size\n");
    return nullptr;
  }
  bitmap->monochrome = true;
  FillDefaultPalette(*bitmap);
  return bitmap.release();
}

bool DeleteBitmap(Bitmap* bitmap) {
  if (!bitmap) return false;
  if (bitmap->selectedIn) {
    Trace("DeleteBitmap called for a bitmap still selected into a device context\n");
    return false;
  }
  delete bitmap;
  return true;
}

bool GetBitmapLayout(const Bitmap* bitmap, BitmapLayout* layout) {
  if (!bitmap || !layout) return false;
  *layout = {bitmap->width, bitmap->height,     bitmap->depth,
             bitmap->pitch, bitmap->monochrome, bitmap->pixels.get()};
  return true;
}

int32_t GetBitmapPalette(const Bitmap* bitmap, int32_t start, int32_t count, PaletteQuad* entries) {
  if (!bitmap || !entries || bitmap->depth > 8 || start < 0 || count < 0) return 0;
  ColorTable table = TableOf(*bitmap);
  int32_t copied = std::max(0, std::min(count, table.size - start));
  std::copy_n(table.entries.begin() + start, copied, entries);
  return copied;
}

int32_t SetBitmapPalette(Bitmap* bitmap, int32_t start, int32_t count, const PaletteQuad* entries) {
  if (!bitmap || !entries || bitmap->depth > 8 || bitmap->monochrome || bitmap->displayPalette ||
      start < 0 || count < 0) {
    return 0;
  }
  int32_t copied = std::max(0, std::min(count, (1 << bitmap->depth) - start));
  std::copy_n(entries, copied, bitmap->palette.begin() + start);
  return copied;
}

// Device contexts.

DeviceContext* CreateMemoryDC(DeviceContext*) {
  auto dc = std::make_unique<DeviceContext>();
  dc->defaultBitmap = CreateMonochromeBitmap(1, 1);
  if (!dc->defaultBitmap) return nullptr;
  dc->bitmap = dc->defaultBitmap;
  dc->bitmap->selectedIn = dc.get();
  return dc.release();
}

bool DeleteMemoryDC(DeviceContext* dc) {
  if (!CheckDC(dc, "DeleteMemoryDC")) return false;
  if (dc->kind != DeviceContext::Kind::kMemory) {
    Trace("DeleteMemoryDC called for a context that is not a memory context\n");
    return false;
  }
  if (dc->bitmap) dc->bitmap->selectedIn = nullptr;
  if (dc->palette) --dc->palette->selections;
  delete dc->defaultBitmap;
  if (dc->userClip) DeleteRegion(dc->userClip);
  delete dc;
  return true;
}

Bitmap* SelectBitmap(DeviceContext* dc, Bitmap* bitmap) {
  if (!CheckDC(dc, "SelectBitmap") || !bitmap) return nullptr;
  if (dc->kind != DeviceContext::Kind::kMemory) {
    Trace("SelectBitmap called for a context that is not a memory context\n");
    return nullptr;
  }
  if (bitmap->selectedIn && bitmap->selectedIn != dc) {
    Trace("SelectBitmap called for a bitmap selected into another context\n");
    return nullptr;
  }
  Bitmap* previous = dc->bitmap;
  if (previous) previous->selectedIn = nullptr;
  dc->bitmap = bitmap;
  bitmap->selectedIn = dc;
  dc->drawn = {};
  return previous;
}

Bitmap* GetSelectedBitmap(const DeviceContext* dc) {
  return dc && dc->kind == DeviceContext::Kind::kMemory ? dc->bitmap : nullptr;
}

DeviceContext* GetScreenDC() {
  static DeviceContext* screen = [] {
    auto* dc = new DeviceContext;
    dc->kind = DeviceContext::Kind::kScreen;
    return dc;
  }();
  return screen;
}

Color SetTextColor(DeviceContext* dc, Color color) {
  if (!CheckDC(dc, "SetTextColor")) return kColorNone;
  return std::exchange(dc->text, color & 0x00FFFFFF);
}
Color GetTextColor(const DeviceContext* dc) {
  return dc ? dc->text : kColorNone;
}
Color SetBackgroundColor(DeviceContext* dc, Color color) {
  if (!CheckDC(dc, "SetBackgroundColor")) return kColorNone;
  return std::exchange(dc->background, color & 0x00FFFFFF);
}
Color GetBackgroundColor(const DeviceContext* dc) {
  return dc ? dc->background : kColorNone;
}
int32_t SetBackgroundMode(DeviceContext* dc, int32_t mode) {
  if (!CheckDC(dc, "SetBackgroundMode")) return 0;
  if (mode != kBackgroundTransparent && mode != kBackgroundOpaque) return 0;
  return std::exchange(dc->backgroundMode, mode);
}
int32_t GetBackgroundMode(const DeviceContext* dc) {
  return dc ? dc->backgroundMode : 0;
}
int32_t SetStretchMode(DeviceContext* dc, int32_t mode) {
  if (!CheckDC(dc, "SetStretchMode")) return 0;
  if (mode < kStretchBlackOnWhite || mode > kStretchColorOnColor) return 0;
  return std::exchange(dc->stretchMode, mode);
}
int32_t GetStretchMode(const DeviceContext* dc) {
  return dc ? dc->stretchMode : 0;
}
Font* SelectFont(DeviceContext* dc, Font* font) {
  if (!CheckDC(dc, "SelectFont")) return nullptr;
  return std::exchange(dc->font, font);
}
Font* GetSelectedFont(const DeviceContext* dc) {
  return dc ? dc->font : nullptr;
}

bool SelectClipRegion(DeviceContext* dc, const Region* region) {
  if (!CheckDC(dc, "SelectClipRegion")) return false;
  if (dc->userClip) DeleteRegion(dc->userClip);
  dc->userClip = nullptr;
  if (region) {
    dc->userClip = CreateEmptyRegion();
    CombineRegions(dc->userClip, region, nullptr, RegionOperation::kCopy);
  }
  return true;
}

bool IntersectClipRectangle(DeviceContext* dc, const Rect& rect) {
  if (!CheckDC(dc, "IntersectClipRectangle")) return false;
  Region* limit = CreateRectangleRegion(rect);
  if (dc->userClip) {
    CombineRegions(dc->userClip, dc->userClip, limit, RegionOperation::kAnd);
    DeleteRegion(limit);
  } else {
    dc->userClip = limit;
  }
  return true;
}

bool GetClipBox(const DeviceContext* dc, Rect* box) {
  if (!CheckDC(dc, "GetClipBox") || !box) return false;
  Rect all;
  for (const Rect& r : ClipRects(dc)) all = Unite(all, r);
  *box = IsEmpty(all) ? Rect{}
                      : Rect{all.left - dc->origin.x, all.top - dc->origin.y,
                             all.right - dc->origin.x, all.bottom - dc->origin.y};
  return !IsEmpty(all);
}

int32_t GetDeviceBitsPerPixel(const DeviceContext*) {
  return GetDisplayDepth();
}

int32_t GetVerticalPixelsPerInch(const DeviceContext*) {
  return 96;
}

// Blits.

bool BlitBits(DeviceContext* destination, int32_t x, int32_t y, int32_t width, int32_t height,
              DeviceContext* source, int32_t sourceX, int32_t sourceY, uint32_t operation) {
  if (!CheckDC(destination, "BlitBits") || !destination->bitmap) return false;
  if (!KnownOperation(operation)) {
    Trace("BlitBits called with an unknown raster operation\n");
    return false;
  }
  bool needsSource = NeedsSource(operation);
  if (needsSource && (!CheckDC(source, "BlitBits") || !source->bitmap)) return false;
  if (width <= 0 || height <= 0) return true;
  int32_t dx = x + destination->origin.x, dy = y + destination->origin.y;
  if (needsSource) {
    int32_t sx = sourceX + source->origin.x, sy = sourceY + source->origin.y;
    // Only the part of the source inside its bitmap is copied.
    int32_t left = std::max(0, -sx), top = std::max(0, -sy);
    int32_t right = std::min(width, source->bitmap->width - sx);
    int32_t bottom = std::min(height, source->bitmap->height - sy);
    if (right <= left || bottom <= top) return true;
    Rect area{dx + left, dy + top, dx + right, dy + bottom};
    int32_t offsetX = sx - dx, offsetY = sy - dy;
    if (operation == kRasterCopy && FastCopy(destination, area, source, offsetX, offsetY)) {
      return true;
    }
    Transfer(
        destination, area, source, [offsetX](int32_t px) { return px + offsetX; },
        [offsetY](int32_t py) { return py + offsetY; }, operation);
  } else {
    Rect area{dx, dy, dx + width, dy + height};
    Transfer(
        destination, area, destination, [](int32_t px) { return px; },
        [](int32_t py) { return py; }, operation);
  }
  return true;
}

bool StretchBits(DeviceContext* destination, int32_t x, int32_t y, int32_t width, int32_t height,
                 DeviceContext* source, int32_t sourceX, int32_t sourceY, int32_t sourceWidth,
                 int32_t sourceHeight, uint32_t operation) {
  if (width == sourceWidth && height == sourceHeight && width > 0 && height > 0) {
    return BlitBits(destination, x, y, width, height, source, sourceX, sourceY, operation);
  }
  if (!CheckDC(destination, "StretchBits") || !destination->bitmap) return false;
  if (!KnownOperation(operation)) {
    Trace("StretchBits called with an unknown raster operation\n");
    return false;
  }
  if (!NeedsSource(operation)) {
    return BlitBits(destination, x, y, width, height, nullptr, 0, 0, operation);
  }
  if (!CheckDC(source, "StretchBits") || !source->bitmap) return false;
  if (width == 0 || height == 0 || sourceWidth == 0 || sourceHeight == 0) return true;
  // A negative extent mirrors: normalise to positive extents and flags.
  bool mirrorX = (width < 0) != (sourceWidth < 0);
  bool mirrorY = (height < 0) != (sourceHeight < 0);
  if (width < 0) {
    x += width + 1;
    width = -width;
  }
  if (height < 0) {
    y += height + 1;
    height = -height;
  }
  if (sourceWidth < 0) {
    sourceX += sourceWidth + 1;
    sourceWidth = -sourceWidth;
  }
  if (sourceHeight < 0) {
    sourceY += sourceHeight + 1;
    sourceHeight = -sourceHeight;
  }
  int32_t dx = x + destination->origin.x, dy = y + destination->origin.y;
  int32_t sx = sourceX + source->origin.x, sy = sourceY + source->origin.y;
  const Bitmap& s = *source->bitmap;
  auto mapX = [=](int32_t px) {
    int64_t i = px - dx;
    if (mirrorX) i = width - 1 - i;
    return sx + static_cast<int32_t>(i * sourceWidth / width);
  };
  auto mapY = [=](int32_t py) {
    int64_t i = py - dy;
    if (mirrorY) i = height - 1 - i;
    return sy + static_cast<int32_t>(i * sourceHeight / height);
  };
  // Limit the destination to pixels whose source lies inside the bitmap.
  Rect area{dx, dy, dx + width, dy + height};
  while (area.left < area.right && (mapX(area.left) < 0 || mapX(area.left) >= s.width)) ++area.left;
  while (area.right > area.left && (mapX(area.right - 1) < 0 || mapX(area.right - 1) >= s.width))
    --area.right;
  while (area.top < area.bottom && (mapY(area.top) < 0 || mapY(area.top) >= s.height)) ++area.top;
  while (area.bottom > area.top && (mapY(area.bottom - 1) < 0 || mapY(area.bottom - 1) >= s.height))
    --area.bottom;
  if (IsEmpty(area)) return true;
  // The mapping is monotonic, so the ends bound every pixel in between.
  Transfer(destination, area, source, mapX, mapY, operation);
  return true;
}

// Fills and pixels.

bool FillRectangle(DeviceContext* dc, const Rect& rect, Color color) {
  if (!CheckDC(dc, "FillRectangle") || !dc->bitmap) return false;
  Target target(dc, dc->bitmap);
  uint32_t value = target.ValueOf(color);
  Rect area{rect.left + dc->origin.x, rect.top + dc->origin.y, rect.right + dc->origin.x,
            rect.bottom + dc->origin.y};
  for (const Rect& clip : ClipRects(dc)) {
    Rect piece = Intersect(clip, area);
    if (IsEmpty(piece)) continue;
    for (int32_t y = piece.top; y < piece.bottom; ++y) {
      for (int32_t x = piece.left; x < piece.right; ++x) WriteValue(*dc->bitmap, x, y, value);
    }
    NoteDrawn(dc, piece);
  }
  return true;
}

namespace {

bool InsideClip(const DeviceContext* dc, int32_t x, int32_t y) {
  for (const Rect& r : ClipRects(dc)) {
    if (x >= r.left && x < r.right && y >= r.top && y < r.bottom) return true;
  }
  return false;
}

}  // namespace

Color GetPixelColor(const DeviceContext* dc, int32_t x, int32_t y) {
  if (!dc || !dc->bitmap) return kColorNone;
  x += dc->origin.x;
  y += dc->origin.y;
  if (!InsideClip(dc, x, y)) return kColorNone;
  Target target(dc, dc->bitmap);
  return target.ColorOf(ReadValue(*dc->bitmap, x, y));
}

bool SetPixelColor(DeviceContext* dc, int32_t x, int32_t y, Color color) {
  if (!CheckDC(dc, "SetPixelColor") || !dc->bitmap) return false;
  x += dc->origin.x;
  y += dc->origin.y;
  if (!InsideClip(dc, x, y)) return false;
  Target target(dc, dc->bitmap);
  WriteValue(*dc->bitmap, x, y, target.ValueOf(color));
  NoteDrawn(dc, {x, y, x + 1, y + 1});
  return true;
}

bool DrawCoverage(DeviceContext* dc, int32_t x, int32_t y, const uint8_t* coverage, int32_t width,
                  int32_t height, int32_t pitch, Color color) {
  if (!CheckDC(dc, "DrawCoverage") || !dc->bitmap) return false;
  if (width <= 0 || height <= 0) return true;
  if (!coverage || pitch < width) {
    Trace("DrawCoverage called without a coverage mask\n");
    return false;
  }
  Target target(dc, dc->bitmap);
  color &= 0x00FFFFFF;
  uint32_t full = target.ValueOf(color);
  int32_t dx = x + dc->origin.x, dy = y + dc->origin.y;
  Rect area{dx, dy, dx + width, dy + height};
  for (const Rect& clip : ClipRects(dc)) {
    Rect piece = Intersect(clip, area);
    if (IsEmpty(piece)) continue;
    for (int32_t py = piece.top; py < piece.bottom; ++py) {
      const uint8_t* row = coverage + static_cast<size_t>(py - dy) * pitch;
      for (int32_t px = piece.left; px < piece.right; ++px) {
        uint32_t a = row[px - dx];
        if (a == 0) continue;
        if (a == 255 || dc->bitmap->monochrome) {
          if (a >= 128) WriteValue(*dc->bitmap, px, py, full);
          continue;
        }
        Color under = target.ColorOf(ReadValue(*dc->bitmap, px, py));
        auto blend = [a](int d, int s) {
          return static_cast<uint8_t>(d + static_cast<int>(a) * (s - d) / 255);
        };
        Color mixed = MakeColor(blend(ColorRed(under), ColorRed(color)),
                                blend(ColorGreen(under), ColorGreen(color)),
                                blend(ColorBlue(under), ColorBlue(color)));
        WriteValue(*dc->bitmap, px, py, target.ValueOf(mixed));
      }
    }
    NoteDrawn(dc, piece);
  }
  return true;
}

// Palettes.

int32_t GetDisplayDepth() {
  static const int32_t depth = [] {
    const char* text = std::getenv("VORLAN_DISPLAY_DEPTH");
    int32_t value = text ? std::atoi(text) : 16;
    if (value != 8 && value != 16 && value != 24 && value != 32) {
      if (text) TraceOutput("VORLAN_DISPLAY_DEPTH is not 8, 16, 24 or 32: using 16\n");
      value = 16;
    }
    return value;
  }();
  return depth;
}

int32_t GetSystemPaletteEntries(int32_t start, int32_t count, PaletteColor* entries) {
  if (!entries || start < 0 || count < 0) return 0;
  int32_t copied = std::max(0, std::min(count, 256 - start));
  std::copy_n(SystemPalette().begin() + start, copied, entries);
  return copied;
}

Palette* CreatePalette(const PaletteColor* entries, int32_t count) {
  if (!entries || count <= 0 || count > 256) {
    Trace("CreatePalette called with a bad entry count\n");
    return nullptr;
  }
  auto* palette = new Palette;
  palette->entries.assign(entries, entries + count);
  return palette;
}

bool DeletePalette(Palette* palette) {
  if (!palette) return false;
  if (palette->selections > 0) {
    Trace("DeletePalette called for a palette still selected into a device context\n");
    return false;
  }
  delete palette;
  return true;
}

int32_t GetPaletteEntries(const Palette* palette, int32_t start, int32_t count,
                          PaletteColor* entries) {
  if (!palette || !entries || start < 0 || count < 0) return 0;
  int32_t size = static_cast<int32_t>(palette->entries.size());
  int32_t copied = std::max(0, std::min(count, size - start));
  std::copy_n(palette->entries.begin() + start, copied, entries);
  return copied;
}

Palette* SelectPalette(DeviceContext* dc, Palette* palette) {
  if (!CheckDC(dc, "SelectPalette")) return nullptr;
  Palette* previous = dc->palette;
  if (previous) --previous->selections;
  dc->palette = palette;
  if (palette) ++palette->selections;
  return previous;
}

int32_t RealizePalette(DeviceContext* dc) {
  if (!CheckDC(dc, "RealizePalette") || !dc->palette || GetDisplayDepth() != 8) return 0;
  int32_t changed = 0;
  {
    DisplayState& display = Display();
    std::lock_guard<std::mutex> lock(display.mutex);
    for (size_t i = 0; i < dc->palette->entries.size() && i < 256; ++i) {
      const PaletteColor& e = dc->palette->entries[i];
      PaletteQuad quad{e.blue, e.green, e.red, 0};
      if (std::memcmp(&quad, &display.realised[i], sizeof quad) != 0) {
        display.realised[i] = quad;
        ++changed;
      }
    }
  }
  if (changed) window_detail::DisplayPaletteChanged();
  return changed;
}

int32_t GetRealizedPaletteEntries(int32_t start, int32_t count, PaletteColor* entries) {
  if (!entries || start < 0 || count < 0) return 0;
  DisplayState& display = Display();
  std::lock_guard<std::mutex> lock(display.mutex);
  int32_t copied = std::max(0, std::min(count, 256 - start));
  for (int32_t i = 0; i < copied; ++i) {
    const PaletteQuad& q = display.realised[start + i];
    entries[i] = {q.red, q.green, q.blue, 0};
  }
  return copied;
}

// What the window module uses.

namespace graphics_detail {

std::shared_ptr<Bitmap> CreateSurface(int32_t width, int32_t height) {
  int32_t depth = GetDisplayDepth();
  std::unique_ptr<Bitmap> bitmap =
      NewBitmap(std::clamp(width, 0, kMaxDimension), std::clamp(height, 0, kMaxDimension), depth);
  if (!bitmap) return nullptr;
  bitmap->displayPalette = depth == 8;
  return std::shared_ptr<Bitmap>(bitmap.release());
}

void CopySurface(Bitmap* destination, const Bitmap* source) {
  if (!destination || !source || destination->depth != source->depth) return;
  int32_t rows = std::min(destination->height, source->height);
  size_t bytes = static_cast<size_t>(std::min(destination->pitch, source->pitch));
  for (int32_t y = 0; y < rows; ++y) {
    std::memcpy(destination->pixels.get() + static_cast<size_t>(y) * destination->pitch,
                source->pixels.get() + static_cast<size_t>(y) * source->pitch, bytes);
  }
}

DeviceContext* CreateWindowContext(std::shared_ptr<Bitmap> surface, Point origin,
                                   std::vector<Rect> clip) {
  auto* dc = new DeviceContext;
  dc->kind = DeviceContext::Kind::kWindow;
  dc->bitmap = surface.get();
  dc->keep = std::move(surface);
  dc->origin = origin;
  dc->windowClipped = true;
  dc->windowClip = std::move(clip);
  return dc;
}

bool DestroyWindowContext(DeviceContext* dc, Rect* drawn) {
  if (!dc || dc->kind != DeviceContext::Kind::kWindow) return false;
  if (drawn) *drawn = dc->drawn;
  if (dc->palette) --dc->palette->selections;
  if (dc->userClip) DeleteRegion(dc->userClip);
  delete dc;
  return true;
}

bool ReadColors(const Bitmap* bitmap, const Rect& area, uint32_t* pixels, int32_t pitch) {
  if (!bitmap || !pixels) return false;
  ColorTable table = TableOf(*bitmap);
  for (int32_t y = area.top; y < area.bottom; ++y) {
    uint32_t* out = pixels + static_cast<size_t>(y - area.top) * pitch;
    for (int32_t x = area.left; x < area.right; ++x) {
      if (x < 0 || y < 0 || x >= bitmap->width || y >= bitmap->height) {
        out[x - area.left] = 0;
        continue;
      }
      uint32_t value = ReadValue(*bitmap, x, y);
      Color color;
      if (bitmap->monochrome) {
        color = value ? 0xFFFFFF : 0;
      } else if (bitmap->depth <= 8) {
        color = QuadColor(table.entries[value]);
      } else {
        color = TrueColorOf(bitmap->depth, value);
      }
      out[x - area.left] = 0xFF000000u | (static_cast<uint32_t>(ColorRed(color)) << 16) |
                           (static_cast<uint32_t>(ColorGreen(color)) << 8) | ColorBlue(color);
    }
  }
  return true;
}

}  // namespace graphics_detail
