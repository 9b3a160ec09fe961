#include "platform/graphics.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "platform/region.h"

namespace {

// Colours every depth can hold exactly: 5-5-5 keeps the top 5 bits.
constexpr Color kBlack = MakeColor(0, 0, 0);
constexpr Color kWhite = MakeColor(248, 248, 248);
constexpr Color kRed = MakeColor(248, 0, 0);
constexpr Color kGreen = MakeColor(0, 248, 0);
constexpr Color kBlue = MakeColor(0, 0, 248);
constexpr Color kColors[] = {kBlack, kWhite, kRed, kGreen, kBlue};

int32_t ColorCount(int32_t depth) {
  return depth == 1 ? 2 : depth == 2 ? 4 : 5;
}

PaletteQuad Quad(Color color) {
  return {ColorBlue(color), ColorGreen(color), ColorRed(color), 0};
}

// A bitmap selected into its own memory context.
class Canvas {
 public:
  // depth 0 makes a monochrome bitmap. Palettes hold kColors in order.
  Canvas(int32_t width, int32_t height, int32_t depth) {
    if (depth == 0) {
      bitmap_ = CreateMonochromeBitmap(width, height);
    } else {
      std::vector<PaletteQuad> palette(256);
      for (int32_t i = 0; i < 5; ++i) palette[i] = Quad(kColors[i]);
      bitmap_ = CreateBitmap(width, height, depth, palette.data());
    }
    dc_ = CreateMemoryDC(nullptr);
    previous_ = SelectBitmap(dc_, bitmap_);
  }
  Canvas(int32_t width, int32_t height, int32_t depth, const std::vector<PaletteQuad>& palette) {
    bitmap_ = CreateBitmap(width, height, depth, palette.data());
    dc_ = CreateMemoryDC(nullptr);
    previous_ = SelectBitmap(dc_, bitmap_);
  }
  ~Canvas() {
    SelectBitmap(dc_, previous_);
    DeleteMemoryDC(dc_);
    DeleteBitmap(bitmap_);
  }
  Canvas(const Canvas&) = delete;
  Canvas& operator=(const Canvas&) = delete;

  DeviceContext* dc() { return dc_; }
  Bitmap* bitmap() { return bitmap_; }
  uint8_t* Row(int32_t y) {
    BitmapLayout layout;
    GetBitmapLayout(bitmap_, &layout);
    return layout.bits + y * layout.pitch;
  }

 private:
  Bitmap* bitmap_ = nullptr;
  Bitmap* previous_ = nullptr;
  DeviceContext* dc_ = nullptr;
};

TEST(GraphicsTest, RowsArePaddedTo32Bits) {
  const struct {
    int32_t width, depth, pitch;
  } cases[] = {{10, 1, 4}, {33, 1, 8},   {10, 4, 8}, {3, 8, 4},
               {3, 16, 8}, {10, 24, 32}, {3, 32, 12}};
  for (const auto& c : cases) {
    Bitmap* bitmap = CreateBitmap(c.width, 2, c.depth, nullptr);
    ASSERT_NE(bitmap, nullptr);
    BitmapLayout layout;
    ASSERT_TRUE(GetBitmapLayout(bitmap, &layout));
    EXPECT_EQ(layout.pitch, c.pitch) << c.width << " × " << c.depth;
    EXPECT_EQ(BitmapPitch(c.width, c.depth), c.pitch);
    DeleteBitmap(bitmap);
  }
}

// Setting one pixel at x = 1 of each depth touches exactly the bytes that
// the layout puts it in.
TEST(GraphicsTest, PixelsLandInTheLayoutOfTheirDepth) {
  const struct {
    int32_t depth;
    Color color;
    std::vector<uint8_t> row;  // the first bytes of row 0 afterwards
  } cases[] = {
      {1, kWhite, {0x40, 0x00}},                              // leftmost pixel in bit 7
      {2, kRed, {0x20, 0x00}},                                // index 2 in bits 5-4
      {4, kBlue, {0x04, 0x00}},                               // index 4 in the low nibble
      {8, kBlue, {0x00, 0x04, 0x00}},                         // one byte each
      {16, kRed, {0x00, 0x00, 0x00, 0x7C}},                   // 5-5-5, red in bits 10-14
      {24, MakeColor(1, 2, 3), {0, 0, 0, 0x03, 0x02, 0x01}},  // blue first
      {32, MakeColor(1, 2, 3), {0, 0, 0, 0xAB, 0x03, 0x02, 0x01, 0xAB}},
  };
  for (const auto& c : cases) {
    Canvas canvas(4, 1, c.depth);
    // The top byte of a 32-bit pixel is not the layer's to change.
    if (c.depth == 32) canvas.Row(0)[3] = canvas.Row(0)[7] = 0xAB;
    ASSERT_TRUE(SetPixelColor(canvas.dc(), 1, 0, c.color)) << c.depth;
    std::vector<uint8_t> row(canvas.Row(0), canvas.Row(0) + c.row.size());
    EXPECT_EQ(row, c.row) << "depth " << c.depth;
    EXPECT_EQ(GetPixelColor(canvas.dc(), 1, 0), c.color) << c.depth;
  }
}

// Bitmaps made without a palette: the basic colours at the depths that
// cannot hold the system palette.
TEST(GraphicsTest, BitmapsWithoutAPaletteTakeTheSystemColours) {
  const struct {
    int32_t depth, index;
    Color color;
  } cases[] = {
      {1, 0, MakeColor(0, 0, 0)},         {1, 1, MakeColor(255, 255, 255)},
      {2, 1, MakeColor(128, 0, 0)},       {4, 7, MakeColor(192, 192, 192)},
      {4, 8, MakeColor(128, 128, 128)},   {4, 9, MakeColor(255, 0, 0)},
      {4, 15, MakeColor(255, 255, 255)},  {8, 7, MakeColor(192, 192, 192)},
      {8, 9, MakeColor(166, 202, 240)},   {8, 249, MakeColor(255, 0, 0)},
      {8, 255, MakeColor(255, 255, 255)},
  };
  for (const auto& c : cases) {
    Bitmap* bitmap = CreateBitmap(1, 1, c.depth, nullptr);
    PaletteQuad entry;
    ASSERT_EQ(GetBitmapPalette(bitmap, c.index, 1, &entry), 1);
    EXPECT_EQ(MakeColor(entry.red, entry.green, entry.blue), c.color)
        << c.depth << " bits, entry " << c.index;
    DeleteBitmap(bitmap);
  }
}

TEST(GraphicsTest, SectionsTakeOnlyTheKnownLayouts) {
  struct Info {
    BitmapInfoHeader header;
    uint32_t colors[3];
  };
  const struct {
    uint16_t depth;
    uint32_t compression;
    uint32_t masks[3];
    bool accepted;
  } cases[] = {
      {16, kCompressionBitFields, {0x7C00, 0x03E0, 0x001F}, true},
      {16, kCompressionBitFields, {0xF800, 0x07E0, 0x001F}, false},  // 5-6-5
      {32, kCompressionBitFields, {0x00FF0000, 0x0000FF00, 0x000000FF}, true},
      {32, kCompressionBitFields, {0x000000FF, 0x0000FF00, 0x00FF0000}, false},
      {24, kCompressionNone, {}, true},
      {8, 1, {}, false},  // run-length packed
      {12, kCompressionNone, {}, false},
  };
  for (const auto& c : cases) {
    Info info{};
    info.header.width = 3;
    info.header.height = -2;
    info.header.bitCount = c.depth;
    info.header.compression = c.compression;
    std::memcpy(info.colors, c.masks, sizeof c.masks);
    void* bits = reinterpret_cast<void*>(1);
    Bitmap* bitmap = CreateBitmapSection(&info.header, &bits);
    EXPECT_EQ(bitmap != nullptr, c.accepted) << c.depth << " " << c.masks[0];
    if (!bitmap) {
      EXPECT_EQ(bits, nullptr);
      continue;
    }
    BitmapLayout layout;
    GetBitmapLayout(bitmap, &layout);
    EXPECT_EQ(layout.bits, bits);
    EXPECT_EQ(layout.height, 2);
    DeleteBitmap(bitmap);
  }
}

TEST(GraphicsTest, SectionTakesThePaletteAfterItsHeader) {
  struct Info {
    BitmapInfoHeader header;
    PaletteQuad colors[4];
  } info{};
  info.header.width = 4;
  info.header.height = 1;
  info.header.bitCount = 2;
  info.colors[3] = {1, 2, 3, 0};
  void* bits = nullptr;
  Bitmap* bitmap = CreateBitmapSection(&info.header, &bits);
  ASSERT_NE(bitmap, nullptr);
  static_cast<uint8_t*>(bits)[0] = 0x03;  // pixel 3 uses entry 3
  DeviceContext* dc = CreateMemoryDC(nullptr);
  Bitmap* previous = SelectBitmap(dc, bitmap);
  EXPECT_EQ(GetPixelColor(dc, 3, 0), MakeColor(3, 2, 1));
  EXPECT_EQ(GetPixelColor(dc, 0, 0), MakeColor(0, 0, 0));
  EXPECT_FALSE(DeleteBitmap(bitmap));  // still selected
  SelectBitmap(dc, previous);
  DeleteMemoryDC(dc);
  EXPECT_TRUE(DeleteBitmap(bitmap));
}

// A plain copy between every pair of depths keeps every colour both can
// hold, pixel for pixel.
TEST(GraphicsTest, CopiesBetweenEveryPairOfDepthsKeepTheColours) {
  const int32_t depths[] = {1, 2, 4, 8, 16, 24, 32};
  for (int32_t from : depths) {
    for (int32_t to : depths) {
      int32_t count = std::min(ColorCount(from), ColorCount(to));
      Canvas source(7, 3, from);
      Canvas destination(9, 5, to);
      for (int32_t y = 0; y < 3; ++y) {
        for (int32_t x = 0; x < 7; ++x) SetPixelColor(source.dc(), x, y, kColors[(x + y) % count]);
      }
      FillRectangle(destination.dc(), {0, 0, 9, 5}, kBlack);
      ASSERT_TRUE(BlitBits(destination.dc(), 2, 1, 7, 3, source.dc(), 0, 0, kRasterCopy));
      for (int32_t y = 0; y < 5; ++y) {
        for (int32_t x = 0; x < 9; ++x) {
          bool inside = x >= 2 && y >= 1 && y < 4;
          Color expected = inside ? kColors[(x - 2 + y - 1) % count] : kBlack;
          ASSERT_EQ(GetPixelColor(destination.dc(), x, y), expected)
              << from << " → " << to << " at " << x << "," << y;
        }
      }
    }
  }
}

// A true-colour pixel drawn into a palette bitmap takes the nearest entry.
TEST(GraphicsTest, TrueColourIntoAPaletteTakesTheNearestEntry) {
  Canvas source(2, 1, 24);
  Canvas destination(2, 1, 8);
  SetPixelColor(source.dc(), 0, 0, MakeColor(200, 30, 10));  // nearest: red
  SetPixelColor(source.dc(), 1, 0, MakeColor(20, 20, 190));  // nearest: blue
  BlitBits(destination.dc(), 0, 0, 2, 1, source.dc(), 0, 0, kRasterCopy);
  EXPECT_EQ(destination.Row(0)[0], 2);
  EXPECT_EQ(destination.Row(0)[1], 4);
}

// The engine's transparent drawing: a mask from the transparent colour,
// transparent pixels of the image made black, then destination AND mask, OR
// image. On 8 bits that relies on black at index 0 and white at 255.
TEST(GraphicsTest, MaskAndPaintDrawOnlyTheOpaquePixels) {
  constexpr Color kMagenta = MakeColor(248, 0, 248);
  std::vector<PaletteQuad> palette(256);
  palette[1] = Quad(kRed);
  palette[2] = Quad(kGreen);
  palette[3] = Quad(kBlue);
  palette[4] = Quad(kMagenta);
  palette[255] = Quad(MakeColor(255, 255, 255));
  for (int32_t depth : {8, 16, 24, 32}) {
    Canvas image(5, 1, depth, palette);
    Canvas mask(5, 1, 0);
    Canvas target(5, 1, depth, palette);
    const Color pixels[] = {kMagenta, kRed, kMagenta, kGreen, kMagenta};
    for (int32_t x = 0; x < 5; ++x) SetPixelColor(image.dc(), x, 0, pixels[x]);
    FillRectangle(target.dc(), {0, 0, 5, 1}, kBlue);

    SetBackgroundColor(image.dc(), kMagenta);
    ASSERT_TRUE(BlitBits(mask.dc(), 0, 0, 5, 1, image.dc(), 0, 0, kRasterCopy));
    EXPECT_EQ(mask.Row(0)[0], 0xA8) << depth;  // 1 where transparent: 10101

    ASSERT_TRUE(BlitBits(image.dc(), 0, 0, 5, 1, mask.dc(), 0, 0, kRasterErase));
    EXPECT_EQ(GetPixelColor(image.dc(), 0, 0), kBlack) << depth;
    EXPECT_EQ(GetPixelColor(image.dc(), 1, 0), kRed) << depth;

    ASSERT_TRUE(BlitBits(target.dc(), 0, 0, 5, 1, mask.dc(), 0, 0, kRasterAnd));
    ASSERT_TRUE(BlitBits(target.dc(), 0, 0, 5, 1, image.dc(), 0, 0, kRasterPaint));
    const Color expected[] = {kBlue, kRed, kBlue, kGreen, kBlue};
    for (int32_t x = 0; x < 5; ++x) {
      EXPECT_EQ(GetPixelColor(target.dc(), x, 0), expected[x]) << depth << " at " << x;
    }
  }
}

TEST(GraphicsTest, MonochromeSourcesTakeTheDestinationsColours) {
  Canvas mono(2, 1, 0);
  mono.Row(0)[0] = 0x40;  // pixel 1 set
  Canvas target(2, 1, 24);
  SetTextColor(target.dc(), kRed);
  SetBackgroundColor(target.dc(), kBlue);
  BlitBits(target.dc(), 0, 0, 2, 1, mono.dc(), 0, 0, kRasterCopy);
  EXPECT_EQ(GetPixelColor(target.dc(), 0, 0), kRed);
  EXPECT_EQ(GetPixelColor(target.dc(), 1, 0), kBlue);
}

TEST(GraphicsTest, StretchDuplicatesAndDeletesRowsAndColumns) {
  Canvas source(4, 2, 8);
  const Color top[] = {kBlack, kWhite, kRed, kGreen};
  for (int32_t x = 0; x < 4; ++x) {
    SetPixelColor(source.dc(), x, 0, top[x]);
    SetPixelColor(source.dc(), x, 1, kBlue);
  }
  Canvas grown(8, 4, 32);
  SetStretchMode(grown.dc(), kStretchColorOnColor);
  ASSERT_TRUE(StretchBits(grown.dc(), 0, 0, 8, 4, source.dc(), 0, 0, 4, 2, kRasterCopy));
  for (int32_t y = 0; y < 4; ++y) {
    for (int32_t x = 0; x < 8; ++x) {
      EXPECT_EQ(GetPixelColor(grown.dc(), x, y), y < 2 ? top[x / 2] : kBlue) << x << "," << y;
    }
  }
  Canvas shrunk(2, 1, 16);
  ASSERT_TRUE(StretchBits(shrunk.dc(), 0, 0, 2, 1, source.dc(), 0, 0, 4, 2, kRasterCopy));
  EXPECT_EQ(GetPixelColor(shrunk.dc(), 0, 0), kBlack);  // columns 0 and 2 of row 0 stay
  EXPECT_EQ(GetPixelColor(shrunk.dc(), 1, 0), kRed);
}

TEST(GraphicsTest, DrawingStaysInsideTheBitmapAndTheClip) {
  Canvas canvas(6, 6, 24);
  FillRectangle(canvas.dc(), {-10, -10, 100, 100}, kWhite);
  IntersectClipRectangle(canvas.dc(), {1, 1, 3, 6});
  Rect box;
  ASSERT_TRUE(GetClipBox(canvas.dc(), &box));
  EXPECT_EQ(box.left, 1);
  EXPECT_EQ(box.right, 3);
  EXPECT_EQ(box.bottom, 6);
  FillRectangle(canvas.dc(), {0, 0, 6, 2}, kRed);
  EXPECT_EQ(GetPixelColor(canvas.dc(), 1, 0), kColorNone);  // outside the clip
  EXPECT_FALSE(SetPixelColor(canvas.dc(), 4, 4, kRed));
  SelectClipRegion(canvas.dc(), nullptr);
  EXPECT_EQ(GetPixelColor(canvas.dc(), 0, 1), kWhite);
  EXPECT_EQ(GetPixelColor(canvas.dc(), 1, 1), kRed);
  EXPECT_EQ(GetPixelColor(canvas.dc(), 2, 1), kRed);
  EXPECT_EQ(GetPixelColor(canvas.dc(), 3, 1), kWhite);
  EXPECT_EQ(GetPixelColor(canvas.dc(), 1, 2), kWhite);
  EXPECT_EQ(GetPixelColor(canvas.dc(), 6, 0), kColorNone);  // beyond the bitmap
  // A blit from beyond the source's edge copies only what is there.
  Canvas small(2, 2, 24);
  FillRectangle(small.dc(), {0, 0, 2, 2}, kGreen);
  BlitBits(canvas.dc(), 0, 0, 6, 6, small.dc(), -1, -1, kRasterCopy);
  EXPECT_EQ(GetPixelColor(canvas.dc(), 0, 0), kWhite);
  EXPECT_EQ(GetPixelColor(canvas.dc(), 1, 1), kGreen);
  EXPECT_EQ(GetPixelColor(canvas.dc(), 2, 2), kGreen);
  EXPECT_EQ(GetPixelColor(canvas.dc(), 3, 3), kWhite);
}

// A copy within one bitmap that overlaps itself reads the pixels as they
// were before it started.
TEST(GraphicsTest, OverlappingCopyReadsTheOldPixels) {
  Canvas canvas(5, 1, 8);
  for (int32_t x = 0; x < 5; ++x) SetPixelColor(canvas.dc(), x, 0, kColors[x]);
  BlitBits(canvas.dc(), 1, 0, 4, 1, canvas.dc(), 0, 0, kRasterCopy);
  const uint8_t expected[] = {0, 0, 1, 2, 3};
  EXPECT_EQ(std::memcmp(canvas.Row(0), expected, 5), 0);
}

TEST(GraphicsTest, TheTopByteOfAColourIsIgnored) {
  Canvas canvas(1, 1, 24);
  FillRectangle(canvas.dc(), {0, 0, 1, 1}, 0x02000000 | kRed);  // palette-relative
  EXPECT_EQ(GetPixelColor(canvas.dc(), 0, 0), kRed);
  EXPECT_EQ(SetTextColor(canvas.dc(), 0x02000000 | kBlue), 0u);
  EXPECT_EQ(GetTextColor(canvas.dc()), kBlue);
}

TEST(GraphicsTest, CoverageBlendsTheColourIn) {
  Canvas canvas(3, 1, 24);
  FillRectangle(canvas.dc(), {0, 0, 3, 1}, MakeColor(0, 0, 0));
  const uint8_t coverage[] = {0, 255, 128};
  ASSERT_TRUE(DrawCoverage(canvas.dc(), 0, 0, coverage, 3, 1, 3, MakeColor(200, 100, 50)));
  EXPECT_EQ(GetPixelColor(canvas.dc(), 0, 0), MakeColor(0, 0, 0));
  EXPECT_EQ(GetPixelColor(canvas.dc(), 1, 0), MakeColor(200, 100, 50));
  EXPECT_EQ(GetPixelColor(canvas.dc(), 2, 0), MakeColor(100, 50, 25));
}

TEST(GraphicsTest, TrueColourDisplayRealisesNothing) {
  ASSERT_EQ(GetDisplayDepth(), 16);  // the default without VORLAN_DISPLAY_DEPTH
  PaletteColor entries[2] = {{1, 2, 3, 0}, {4, 5, 6, 0}};
  Palette* palette = CreatePalette(entries, 2);
  Canvas canvas(1, 1, 8);
  EXPECT_EQ(SelectPalette(canvas.dc(), palette), nullptr);
  EXPECT_EQ(RealizePalette(canvas.dc()), 0);
  EXPECT_FALSE(DeletePalette(palette));  // still selected
  EXPECT_EQ(SelectPalette(canvas.dc(), nullptr), palette);
  EXPECT_TRUE(DeletePalette(palette));
}

}  // namespace

int main(int argc, char** argv) {
  unsetenv("VORLAN_DISPLAY_DEPTH");
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
