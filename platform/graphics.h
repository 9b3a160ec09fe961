#pragma once
// Bitmaps, device contexts, blits, fills, pixels and palettes.
//
// A bitmap is a block of pixels in memory that both the caller and the layer
// read and write: rows run top to bottom, each padded to 32 bits. Its layout
// is fixed by its depth: 1, 2, 4 and 8 bits hold palette indices (the
// leftmost pixel in the highest bits), 16 bits hold 5-5-5 RGB (red in bits
// 10-14), 24 and 32 bits hold 0x00RRGGBB (blue in the lowest byte). A
// monochrome bitmap is 1 bit deep without a palette of its own: in blits it
// takes its colours from the device contexts (see BlitBits).
//
// A device context draws into one target: the bitmap selected into a memory
// context, or a window's part of its top-level window's picture. It keeps the
// drawing state (colours, background mode, stretch mode, font, palette) and
// a clip region. Handles are plain pointers to opaque records; a handle used
// after it was deleted is the caller's fault.
//
// Colours are 0x00BBGGRR. The top byte is ignored wherever a colour is taken
// (0x02 there marks a colour meant relative to a palette: on a palette target
// every colour maps to the nearest palette entry anyway).

#include <cstdint>

#include "platform/window.h"

using Color = uint32_t;
constexpr Color kColorNone = 0xFFFFFFFF;

constexpr Color MakeColor(uint8_t red, uint8_t green, uint8_t blue) {
  return static_cast<Color>(red) | (static_cast<Color>(green) << 8) |
         (static_cast<Color>(blue) << 16);
}
constexpr uint8_t ColorRed(Color color) {
  return static_cast<uint8_t>(color & 0xFF);
}
constexpr uint8_t ColorGreen(Color color) {
  return static_cast<uint8_t>((color >> 8) & 0xFF);
}
constexpr uint8_t ColorBlue(Color color) {
  return static_cast<uint8_t>((color >> 16) & 0xFF);
}

// One palette entry of a bitmap, in the order bitmap files store it.
struct PaletteQuad {
  uint8_t blue = 0;
  uint8_t green = 0;
  uint8_t red = 0;
  uint8_t reserved = 0;
};
static_assert(sizeof(PaletteQuad) == 4);

// One entry of a logical palette, in the order palettes are handed over.
struct PaletteColor {
  uint8_t red = 0;
  uint8_t green = 0;
  uint8_t blue = 0;
  uint8_t flags = 0;
};
static_assert(sizeof(PaletteColor) == 4);

// The 40-byte information header of the bitmap file format. A negative
// height means rows stored top-down.
struct BitmapInfoHeader {
  uint32_t size = 40;
  int32_t width = 0;
  int32_t height = 0;
  uint16_t planes = 1;
  uint16_t bitCount = 0;
  uint32_t compression = 0;  // kCompressionNone or kCompressionBitFields
  uint32_t imageSize = 0;
  int32_t xPixelsPerMeter = 0;
  int32_t yPixelsPerMeter = 0;
  uint32_t colorsUsed = 0;
  uint32_t colorsImportant = 0;
};
static_assert(sizeof(BitmapInfoHeader) == 40);

constexpr uint32_t kCompressionNone = 0;
constexpr uint32_t kCompressionBitFields = 3;

struct Bitmap;
struct DeviceContext;
struct Palette;
struct Region;
struct Font;  // made by the text module

// Bytes per row of a bitmap: rows are padded to 32 bits.
constexpr int32_t BitmapPitch(int32_t width, int32_t depth) {
  return ((width * depth + 31) / 32) * 4;
}

// Bitmaps.

// Creates a bitmap from an information header; the colour table follows the
// header in memory: 2^depth PaletteQuads for depths up to 8 (colorsUsed of
// them when non-zero), three channel masks with bit fields. Only the layouts
// above are accepted (other masks, compressions or depths fail). The height's
// sign is ignored: rows are always top-down. *bits receives the first row.
// New pixels are zero. Null on failure.
Bitmap* CreateBitmapSection(const BitmapInfoHeader* header, void** bits);
// The same from the depth and an optional palette (2^depth entries; null
// gives 8 bits the system palette, 2 and 4 bits the first of the 16 basic
// colours, 1 bit black and white).
Bitmap* CreateBitmap(int32_t width, int32_t height, int32_t depth, const PaletteQuad* palette);
// A monochrome bitmap, all pixels 0.
Bitmap* CreateMonochromeBitmap(int32_t width, int32_t height);
// Fails (false, traced) while the bitmap is selected into a device context.
bool DeleteBitmap(Bitmap* bitmap);

struct BitmapLayout {
  int32_t width = 0;
  int32_t height = 0;
  int32_t depth = 0;
  int32_t pitch = 0;
  bool monochrome = false;
  uint8_t* bits = nullptr;
};
bool GetBitmapLayout(const Bitmap* bitmap, BitmapLayout* layout);
// The colour table of a bitmap of up to 8 bits (count entries from start).
// Answers the entries copied.
int32_t GetBitmapPalette(const Bitmap* bitmap, int32_t start, int32_t count, PaletteQuad* entries);
int32_t SetBitmapPalette(Bitmap* bitmap, int32_t start, int32_t count, const PaletteQuad* entries);

// Device contexts.

// A memory device context in the display's format with a 1 × 1 monochrome
// bitmap selected. The argument is accepted for symmetry and may be null.
DeviceContext* CreateMemoryDC(DeviceContext* compatible);
// Fails for a window's device context (those are released, see window.h).
bool DeleteMemoryDC(DeviceContext* dc);
// Selects a bitmap into a memory context and answers the one selected
// before; null on failure (a window's context, or a bitmap selected
// elsewhere). A bitmap can be selected into one context at a time.
Bitmap* SelectBitmap(DeviceContext* dc, Bitmap* bitmap);
Bitmap* GetSelectedBitmap(const DeviceContext* dc);

// The context for the whole display: it has no pixels and serves for
// palette realisation and device capabilities. Never deleted.
DeviceContext* GetScreenDC();

// Drawing state. Each setter answers the previous value (kColorNone, or 0,
// for a bad context).
enum BackgroundMode : int32_t {
  kBackgroundTransparent = 1,
  kBackgroundOpaque = 2,
};
enum StretchMode : int32_t {
  kStretchBlackOnWhite = 1,
  kStretchWhiteOnBlack = 2,
  kStretchColorOnColor = 3,  // deletes rows and columns; no blending
};
Color SetTextColor(DeviceContext* dc, Color color);
Color GetTextColor(const DeviceContext* dc);
Color SetBackgroundColor(DeviceContext* dc, Color color);
Color GetBackgroundColor(const DeviceContext* dc);
int32_t SetBackgroundMode(DeviceContext* dc, int32_t mode);
int32_t GetBackgroundMode(const DeviceContext* dc);
int32_t SetStretchMode(DeviceContext* dc, int32_t mode);
int32_t GetStretchMode(const DeviceContext* dc);
// The font for text drawing; null is the default font. Answers the previous.
Font* SelectFont(DeviceContext* dc, Font* font);
Font* GetSelectedFont(const DeviceContext* dc);

// Clipping, in the context's coordinates. Selecting copies the region; null
// removes the clip. A window's context is always clipped to the window as
// well (its client area, its ancestors and its window region).
bool SelectClipRegion(DeviceContext* dc, const Region* region);
bool IntersectClipRectangle(DeviceContext* dc, const Rect& rect);
// The smallest rectangle around everything drawing can reach; false when
// nothing can be drawn.
bool GetClipBox(const DeviceContext* dc, Rect* box);

// Device capabilities: those of the display, whatever bitmap a memory
// context holds.
int32_t GetDeviceBitsPerPixel(const DeviceContext* dc);
int32_t GetVerticalPixelsPerInch(const DeviceContext* dc);

// Blits. Raster operations combine pixel values bitwise after the source
// is converted to the destination's format: palette sources through their
// colours, true-colour sources to the nearest palette entry of a palette
// destination, identical palettes index for index. A monochrome source
// gives the destination context's text colour for 0 and its background
// colour for 1; a monochrome destination gets 1 where the source pixel
// equals the source context's background colour and 0 elsewhere (that is
// how masks are made). Everything is clipped to both sides.
enum RasterOperation : uint32_t {
  kRasterCopy = 0x00CC0020,       // destination = source
  kRasterAnd = 0x008800C6,        // destination &= source
  kRasterPaint = 0x00EE0086,      // destination |= source
  kRasterErase = 0x00220326,      // destination &= ~source
  kRasterWhiteness = 0x00FF0062,  // destination = white, no source
  kRasterBlackness = 0x00000042,  // destination = black, no source
};
bool BlitBits(DeviceContext* destination, int32_t x, int32_t y, int32_t width, int32_t height,
              DeviceContext* source, int32_t sourceX, int32_t sourceY, uint32_t operation);
// Nearest-neighbour stretching in every stretch mode; a negative extent
// mirrors. Equal extents are a plain blit.
bool StretchBits(DeviceContext* destination, int32_t x, int32_t y, int32_t width, int32_t height,
                 DeviceContext* source, int32_t sourceX, int32_t sourceY, int32_t sourceWidth,
                 int32_t sourceHeight, uint32_t operation);

// Fills and pixels.
bool FillRectangle(DeviceContext* dc, const Rect& rect, Color color);
// kColorNone outside the target or the clip.
Color GetPixelColor(const DeviceContext* dc, int32_t x, int32_t y);
bool SetPixelColor(DeviceContext* dc, int32_t x, int32_t y, Color color);

// Blends a colour into the context through a coverage mask (one byte per
// pixel, 0 = untouched, 255 = the colour), clipped like any drawing. On a
// palette target the result maps to the nearest palette entry. This is how
// text reaches the pixels.
bool DrawCoverage(DeviceContext* dc, int32_t x, int32_t y, const uint8_t* coverage, int32_t width,
                  int32_t height, int32_t pitch, Color color);

// Palettes.

// The display's depth: 16 unless VORLAN_DISPLAY_DEPTH says 8, 24 or 32.
int32_t GetDisplayDepth();
// A fixed table of 256 colours: 20 static colours at 0-9 and 246-255 (the
// 16 basic colours among them) and a colour cube with greys between.
int32_t GetSystemPaletteEntries(int32_t start, int32_t count, PaletteColor* entries);

Palette* CreatePalette(const PaletteColor* entries, int32_t count);
bool DeletePalette(Palette* palette);  // fails while selected
int32_t GetPaletteEntries(const Palette* palette, int32_t start, int32_t count,
                          PaletteColor* entries);
// Selects a palette into a context and answers the one before (null when
// none was). Colours drawn into a palette target map to the selected
// palette's nearest entry.
Palette* SelectPalette(DeviceContext* dc, Palette* palette);
// On a display of 8 bits, makes the context's palette the display's: its
// entries become the colours every window's pixels show. Answers the number
// of entries that changed; 0 on a true-colour display or without a palette.
int32_t RealizePalette(DeviceContext* dc);
// The colours the display shows now (8-bit display).
int32_t GetRealizedPaletteEntries(int32_t start, int32_t count, PaletteColor* entries);
