// An 8-bit display: window pictures hold palette indices, and what they show
// is the palette realised last.

#include <gtest/gtest.h>

#include <cstdlib>
#include <vector>

#include "platform/graphics.h"
#include "platform/input.h"
#include "platform/screen.h"
#include "platform/window.h"

namespace {

class PaletteTest : public ::testing::Test {
 protected:
  void SetUp() override {
    WindowClass description;
    description.name = u"PaletteTestWindow";
    description.procedure = DefaultWindowProcedure;
    RegisterWindowClass(description);
    window_ =
        CreateWindowOfClass(u"PaletteTestWindow", u"", kStylePopup, 0, 0, 8, 8, {}, 0, nullptr);
    ShowWindow(window_, kShowNormal);
    DispatchPendingMessages();
  }
  void TearDown() override {
    DestroyWindow(window_);
    UnregisterWindowClass(u"PaletteTestWindow");
  }

  uint32_t Shown(int32_t x, int32_t y) {
    uint32_t pixel = 0;
    EXPECT_TRUE(ReadWindowPicture(window_, {x, y, x + 1, y + 1}, &pixel, 1));
    return pixel;
  }

  // A logical palette of 256 entries: black, white at 255, and the given
  // colour at index 5.
  static Palette* Logical(uint8_t red, uint8_t green, uint8_t blue) {
    std::vector<PaletteColor> entries(256);
    entries[255] = {255, 255, 255, 0};
    entries[5] = {red, green, blue, 0};
    return CreatePalette(entries.data(), 256);
  }

  WindowHandle window_;
};

TEST_F(PaletteTest, TheDisplayIsEightBitsDeep) {
  EXPECT_EQ(GetDisplayDepth(), 8);
  DeviceContext* dc = GetWindowDC(window_);
  EXPECT_EQ(GetDeviceBitsPerPixel(dc), 8);
  ReleaseWindowDC(window_, dc);
  // Before any realisation the display shows the system palette.
  PaletteColor system[256], realised[256];
  GetSystemPaletteEntries(0, 256, system);
  GetRealizedPaletteEntries(0, 256, realised);
  EXPECT_EQ(system[7].red, 192);
  EXPECT_EQ(realised[255].green, 255);
  EXPECT_EQ(realised[0].blue, 0);
}

TEST_F(PaletteTest, PicturesShowTheRealisedColours) {
  Palette* first = Logical(10, 20, 30);
  DeviceContext* dc = GetWindowDC(window_);
  SelectPalette(dc, first);
  EXPECT_GT(RealizePalette(dc), 0);
  // The colour maps to the selected palette's entry, stored as its index.
  FillRectangle(dc, {0, 0, 4, 8}, MakeColor(10, 20, 30));
  FillRectangle(dc, {4, 0, 8, 8}, MakeColor(250, 250, 250));  // nearest: white at 255
  EXPECT_EQ(GetPixelColor(dc, 1, 1), MakeColor(10, 20, 30));
  SelectPalette(dc, nullptr);
  ReleaseWindowDC(window_, dc);
  EXPECT_EQ(Shown(1, 1), 0xFF0A141Eu);
  EXPECT_EQ(Shown(6, 1), 0xFFFFFFFFu);

  // Realising another palette changes what the same indices show, without
  // any drawing.
  Palette* second = Logical(200, 100, 50);
  DeviceContext* other = CreateMemoryDC(nullptr);
  SelectPalette(other, second);
  EXPECT_EQ(RealizePalette(other), 1);  // only entry 5 differs
  EXPECT_EQ(RealizePalette(other), 0);  // nothing left to change
  SelectPalette(other, nullptr);
  DeleteMemoryDC(other);
  EXPECT_EQ(Shown(1, 1), 0xFFC86432u);
  EXPECT_EQ(Shown(6, 1), 0xFFFFFFFFu);
  EXPECT_TRUE(DeletePalette(first));
  EXPECT_TRUE(DeletePalette(second));
}

// An 8-bit bitmap with the realised palette copies into the window index for
// index; one with other colours is matched colour by colour.
TEST_F(PaletteTest, EightBitArtCopiesIntoTheWindow) {
  Palette* logical = Logical(10, 20, 30);
  DeviceContext* screen = GetScreenDC();
  SelectPalette(screen, logical);
  RealizePalette(screen);
  SelectPalette(screen, nullptr);

  std::vector<PaletteQuad> colors(256);
  colors[5] = {30, 20, 10, 0};
  colors[255] = {255, 255, 255, 0};
  colors[9] = {255, 255, 255, 0};  // the same white at another index
  Bitmap* art = CreateBitmap(3, 1, 8, colors.data());
  BitmapLayout layout;
  GetBitmapLayout(art, &layout);
  layout.bits[0] = 5;
  layout.bits[1] = 255;
  layout.bits[2] = 9;
  DeviceContext* memory = CreateMemoryDC(nullptr);
  Bitmap* previous = SelectBitmap(memory, art);
  DeviceContext* dc = GetWindowDC(window_);
  BlitBits(dc, 0, 0, 3, 1, memory, 0, 0, kRasterCopy);
  ReleaseWindowDC(window_, dc);
  EXPECT_EQ(Shown(0, 0), 0xFF0A141Eu);
  EXPECT_EQ(Shown(1, 0), 0xFFFFFFFFu);
  EXPECT_EQ(Shown(2, 0), 0xFFFFFFFFu);
  SelectBitmap(memory, previous);
  DeleteMemoryDC(memory);
  DeleteBitmap(art);
  DeletePalette(logical);
}

}  // namespace

int main(int argc, char** argv) {
  // Fixed before the first use of the display, which reads it once.
  setenv("VORLAN_DISPLAY_DEPTH", "8", 1);
  setenv("VORLAN_BACKEND", "headless", 1);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
