// Text as the programs draw it every frame: the frame-rate line centred in a
// strip of the game's width, the tutorial's paragraph wrapped into its text
// box, and the marked-up text's fitting, which measures one run many times.
// The peer renders the frame-rate line with FreeType directly, each glyph
// loaded and rendered afresh, as a layer without its glyph cache would; the
// ratio follows the table.
#include <benchmark/benchmark.h>
#include <ft2build.h>
#include FT_FREETYPE_H

#include <cstdint>
#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include "bench/bench_report.h"
#include "platform/font.h"

namespace {

constexpr char kFrameRate[] = " 998.4 FPS ";
constexpr char kParagraph[] =
    "Place your pieces on the board or raise a free piece to a higher layer. "
    "Complete a square of four or a line from edge to edge in your colour and "
    "you may take back up to two of your own free pieces. Whoever occupies the "
    "top of the pyramid wins the game.";

// A 32-bit bitmap of the game's width in a memory context with a font.
class Surface {
 public:
  Surface(int32_t width, int32_t height, int32_t fontHeight) {
    bitmap_ = CreateBitmap(width, height, 32, nullptr);
    dc_ = CreateMemoryDC(nullptr);
    previous_ = SelectBitmap(dc_, bitmap_);
    FontDescription description;
    description.face = "Arial";
    description.size = fontHeight;
    font_ = CreateFont(description);
    SelectFont(dc_, font_);
    SetBackgroundColor(dc_, MakeColor(255, 255, 255));
  }
  ~Surface() {
    SelectFont(dc_, nullptr);
    DeleteFont(font_);
    SelectBitmap(dc_, previous_);
    DeleteMemoryDC(dc_);
    DeleteBitmap(bitmap_);
  }
  DeviceContext* dc() const { return dc_; }

 private:
  Bitmap* bitmap_ = nullptr;
  Bitmap* previous_ = nullptr;
  DeviceContext* dc_ = nullptr;
  Font* font_ = nullptr;
};

void FrameRateLine(benchmark::State& state) {
  Surface surface(240, 16, -11);
  SetBackgroundMode(surface.dc(), kBackgroundOpaque);
  for (auto _ : state) {
    Rect rect{0, 0, 240, 16};
    benchmark::DoNotOptimize(DrawText(surface.dc(), kFrameRate, -1, &rect,
                                      kTextCenter | kTextVerticalCenter | kTextSingleLine));
  }
}

void FrameRateLineThroughFreeType(benchmark::State& state) {
  FT_Library library = nullptr;
  FT_Face face = nullptr;
  if (FT_Init_FreeType(&library) != 0 ||
      FT_New_Face(library, "/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf", 0, &face) != 0) {
    state.SkipWithError("FreeType could not open DejaVu Sans");
    return;
  }
  FT_Set_Pixel_Sizes(face, 0, 11);
  std::vector<uint8_t> coverage(240 * 16);
  for (auto _ : state) {
    int32_t pen = 0;
    for (const char* c = kFrameRate; *c; ++c) {
      if (FT_Load_Char(face, static_cast<unsigned char>(*c),
                       FT_LOAD_RENDER | FT_LOAD_TARGET_LIGHT)) {
        continue;
      }
      const FT_Bitmap& bitmap = face->glyph->bitmap;
      for (unsigned row = 0; row < bitmap.rows && row < 16; ++row) {
        for (unsigned column = 0; column < bitmap.width; ++column) {
          int32_t x = pen + face->glyph->bitmap_left + static_cast<int32_t>(column);
          if (x >= 0 && x < 240)
            coverage[row * 240 + x] = bitmap.buffer[row * bitmap.pitch + column];
        }
      }
      pen += static_cast<int32_t>(face->glyph->advance.x >> 6);
    }
    benchmark::DoNotOptimize(coverage.data());
  }
  FT_Done_Face(face);
  FT_Done_FreeType(library);
}

void TutorialParagraph(benchmark::State& state) {
  Surface surface(240, 160, -11);
  SetBackgroundMode(surface.dc(), kBackgroundTransparent);
  for (auto _ : state) {
    Rect rect{8, 8, 232, 152};
    benchmark::DoNotOptimize(
        DrawText(surface.dc(), kParagraph, -1, &rect, kTextWordBreak | kTextNoPrefix));
  }
}

// The largest count of characters that fits a width, by halving, as the
// marked-up text's layout fits its runs.
void FitRun(benchmark::State& state) {
  Surface surface(8, 8, -11);
  const int32_t length = static_cast<int32_t>(sizeof kParagraph - 1);
  for (auto _ : state) {
    int32_t low = 0, high = length;
    while (low < high) {
      int32_t middle = low + (high - low + 1) / 2;
      TextExtent extent;
      GetTextExtent(surface.dc(), kParagraph, middle, &extent);
      if (extent.width > 193) {
        high = middle - 1;
      } else {
        low = middle;
      }
    }
    benchmark::DoNotOptimize(low);
  }
}

BENCHMARK(FrameRateLine);
BENCHMARK(FrameRateLineThroughFreeType);
BENCHMARK(TutorialParagraph);
BENCHMARK(FitRun);

}  // namespace

int main(int argc, char** argv) {
  RatioReporter reporter;
  return RunWithRatios(argc, argv, reporter, [](const RatioReporter& report) {
    report.PrintRatio("frame-rate line: DrawText / FreeType without a glyph cache",
                      "FrameRateLine", "FrameRateLineThroughFreeType");
  });
}
