// Drawing as a frame does it: the game's 240 × 294 board art (8 bits) copied
// into a window picture of the display's default depth (16 bits) and of 32
// bits, a 40 × 40 piece drawn the masked way (AND then OR), and the board
// stretched to twice its size. The peer of the 8-bit copy is a bare loop
// through a 256-entry colour table, what a copy cannot do faster; the ratio
// follows the table.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <vector>

#include "bench/bench_report.h"
#include "platform/graphics.h"

namespace {

constexpr int32_t kWidth = 240;
constexpr int32_t kHeight = 294;

// A bitmap in its own memory context, filled with a pattern.
class Canvas {
 public:
  Canvas(int32_t width, int32_t height, int32_t depth, bool monochrome = false) {
    std::vector<PaletteQuad> palette(256);
    for (int i = 0; i < 256; ++i) {
      palette[i] = {static_cast<uint8_t>(i), static_cast<uint8_t>(255 - i),
                    static_cast<uint8_t>(i * 7), 0};
    }
    bitmap_ = monochrome ? CreateMonochromeBitmap(width, height)
                         : CreateBitmap(width, height, depth, palette.data());
    dc_ = CreateMemoryDC(nullptr);
    previous_ = SelectBitmap(dc_, bitmap_);
    GetBitmapLayout(bitmap_, &layout_);
    for (int32_t y = 0; y < height; ++y) {
      for (int32_t x = 0; x < layout_.pitch; ++x) {
        layout_.bits[y * layout_.pitch + x] = static_cast<uint8_t>(x * 3 + y);
      }
    }
  }
  ~Canvas() {
    SelectBitmap(dc_, previous_);
    DeleteMemoryDC(dc_);
    DeleteBitmap(bitmap_);
  }
  DeviceContext* dc() const { return dc_; }
  const BitmapLayout& layout() const { return layout_; }

 private:
  Bitmap* bitmap_ = nullptr;
  Bitmap* previous_ = nullptr;
  DeviceContext* dc_ = nullptr;
  BitmapLayout layout_;
};

void BoardInto16Bits(benchmark::State& state) {
  Canvas art(kWidth, kHeight, 8);
  Canvas window(kWidth, kHeight, 16);
  for (auto _ : state) {
    BlitBits(window.dc(), 0, 0, kWidth, kHeight, art.dc(), 0, 0, kRasterCopy);
    benchmark::ClobberMemory();
  }
}

void BoardInto32Bits(benchmark::State& state) {
  Canvas art(kWidth, kHeight, 8);
  Canvas window(kWidth, kHeight, 32);
  for (auto _ : state) {
    BlitBits(window.dc(), 0, 0, kWidth, kHeight, art.dc(), 0, 0, kRasterCopy);
    benchmark::ClobberMemory();
  }
}

// The peer: each 8-bit pixel through a table of ready 32-bit values.
void BoardInto32BitsByTable(benchmark::State& state) {
  Canvas art(kWidth, kHeight, 8);
  Canvas window(kWidth, kHeight, 32);
  uint32_t table[256];
  for (uint32_t i = 0; i < 256; ++i) table[i] = i * 0x010203u;
  const BitmapLayout& in = art.layout();
  const BitmapLayout& out = window.layout();
  for (auto _ : state) {
    for (int32_t y = 0; y < kHeight; ++y) {
      const uint8_t* source = in.bits + y * in.pitch;
      auto* target = reinterpret_cast<uint32_t*>(out.bits + y * out.pitch);
      for (int32_t x = 0; x < kWidth; ++x) target[x] = table[source[x]];
    }
    benchmark::ClobberMemory();
  }
}

void MaskedPiece(benchmark::State& state) {
  Canvas piece(40, 40, 8);
  Canvas mask(40, 40, 1, true);
  Canvas window(kWidth, kHeight, 32);
  SetBackgroundColor(piece.dc(), MakeColor(0, 255, 0));
  BlitBits(mask.dc(), 0, 0, 40, 40, piece.dc(), 0, 0, kRasterCopy);
  for (auto _ : state) {
    BlitBits(window.dc(), 100, 100, 40, 40, mask.dc(), 0, 0, kRasterAnd);
    BlitBits(window.dc(), 100, 100, 40, 40, piece.dc(), 0, 0, kRasterPaint);
    benchmark::ClobberMemory();
  }
}

void BoardStretchedTwice(benchmark::State& state) {
  Canvas board(kWidth, kHeight, 32);
  Canvas large(2 * kWidth, 2 * kHeight, 32);
  SetStretchMode(large.dc(), kStretchColorOnColor);
  for (auto _ : state) {
    StretchBits(large.dc(), 0, 0, 2 * kWidth, 2 * kHeight, board.dc(), 0, 0, kWidth, kHeight,
                kRasterCopy);
    benchmark::ClobberMemory();
  }
}

BENCHMARK(BoardInto16Bits);
BENCHMARK(BoardInto32Bits);
BENCHMARK(BoardInto32BitsByTable);
BENCHMARK(MaskedPiece);
BENCHMARK(BoardStretchedTwice);

}  // namespace

int main(int argc, char** argv) {
  RatioReporter reporter;
  return RunWithRatios(argc, argv, reporter, [](const RatioReporter& report) {
    report.PrintRatio("8-bit board into 32 bits: BlitBits / bare table loop", "BoardInto32Bits",
                      "BoardInto32BitsByTable");
  });
}
