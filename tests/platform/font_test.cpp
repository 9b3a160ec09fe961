#include "platform/font.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace {

struct FontDeleter {
  void operator()(Font* font) const { DeleteFont(font); }
};
using FontPointer = std::unique_ptr<Font, FontDeleter>;

FontPointer MakeFont(const std::string& face, int32_t size, int32_t weight = kFontWeightNormal,
                     bool italic = false, bool underline = false) {
  FontDescription description;
  description.face = face;
  description.size = size;
  description.weight = weight;
  description.italic = italic;
  description.underline = underline;
  return FontPointer(CreateFont(description));
}

constexpr Color kWhite = MakeColor(255, 255, 255);
constexpr Color kBlack = MakeColor(0, 0, 0);
constexpr Color kBlue = MakeColor(0, 0, 255);
constexpr Color kRed = MakeColor(255, 0, 0);

// A 32-bit bitmap in a memory context, filled with one colour, whose pixels
// the tests read back.
class Canvas {
 public:
  Canvas(int32_t width, int32_t height, Color fill = kWhite) : width_(width), height_(height) {
    bitmap_ = CreateBitmap(width, height, 32, nullptr);
    dc_ = CreateMemoryDC(nullptr);
    previous_ = SelectBitmap(dc_, bitmap_);
    FillRectangle(dc_, {0, 0, width, height}, fill);
    SetTextColor(dc_, kBlack);
    SetBackgroundMode(dc_, kBackgroundTransparent);
  }
  ~Canvas() {
    SelectFont(dc_, nullptr);
    SelectBitmap(dc_, previous_);
    DeleteMemoryDC(dc_);
    DeleteBitmap(bitmap_);
  }
  DeviceContext* dc() const { return dc_; }

  Color At(int32_t x, int32_t y) const { return GetPixelColor(dc_, x, y); }

  std::vector<Color> Pixels() const {
    std::vector<Color> pixels;
    for (int32_t y = 0; y < height_; ++y) {
      for (int32_t x = 0; x < width_; ++x) pixels.push_back(At(x, y));
    }
    return pixels;
  }

  // The smallest rectangle holding every pixel that is not the colour given;
  // empty when there is none.
  Rect InkBox(Color background = kWhite) const {
    return InkBox(background, {0, 0, width_, height_});
  }
  Rect InkBox(Color background, const Rect& area) const {
    Rect box{area.right, area.bottom, area.left, area.top};
    for (int32_t y = area.top; y < area.bottom; ++y) {
      for (int32_t x = area.left; x < area.right; ++x) {
        if (At(x, y) == background) continue;
        box.left = std::min(box.left, x);
        box.top = std::min(box.top, y);
        box.right = std::max(box.right, x + 1);
        box.bottom = std::max(box.bottom, y + 1);
      }
    }
    if (box.right <= box.left) return Rect{};
    return box;
  }

  int32_t Count(Color color, const Rect& area) const {
    int32_t count = 0;
    for (int32_t y = area.top; y < area.bottom; ++y) {
      for (int32_t x = area.left; x < area.right; ++x) count += At(x, y) == color ? 1 : 0;
    }
    return count;
  }

 private:
  int32_t width_;
  int32_t height_;
  Bitmap* bitmap_ = nullptr;
  Bitmap* previous_ = nullptr;
  DeviceContext* dc_ = nullptr;
};

// The picture a text makes in a font, for comparing two ways of drawing it.
template <typename Unit>
std::vector<Color> Picture(Font* font, const Unit* text) {
  Canvas canvas(200, 40);
  SelectFont(canvas.dc(), font);
  Rect rect{4, 4, 196, 36};
  DrawText(canvas.dc(), text, -1, &rect, kTextNoPrefix);
  return canvas.Pixels();
}

// DejaVu Sans Mono advances 1233/2048 of the character height: 12 pixels for
// a height of 20.
constexpr int32_t kMonoHeight = -20;
constexpr int32_t kMonoWidth = 12;

TEST(FontTest, MonospacedExtentIsTheSumOfItsCharacters) {
  FontPointer mono = MakeFont("DejaVu Sans Mono", kMonoHeight);
  ASSERT_TRUE(mono);
  FontMetrics metrics;
  ASSERT_TRUE(GetFontMetrics(mono.get(), &metrics));
  EXPECT_EQ(metrics.height, metrics.ascent + metrics.descent);
  EXPECT_GE(metrics.height, 20);
  EXPECT_EQ(metrics.internalLeading, metrics.height - 20);
  EXPECT_EQ(metrics.averageCharacterWidth, kMonoWidth);

  struct Case {
    const char* text;
    int32_t count;
    int32_t width;
  };
  const Case cases[] = {
      {"M", -1, kMonoWidth},
      {"Hello, world", -1, 12 * kMonoWidth},
      {"Hello, world", 5, 5 * kMonoWidth},
      {"a&b", -1, 3 * kMonoWidth},  // measured as drawn at a point: "&" is a character
      {"tab\there", -1, 8 * kMonoWidth},
      {"line\nfeed", -1, 8 * kMonoWidth},  // control characters take no room
      {"", -1, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    TextExtent extent;
    ASSERT_TRUE(GetTextExtent(mono.get(), c.text, c.count, &extent));
    EXPECT_EQ(extent.width, c.width);
    EXPECT_EQ(extent.height, metrics.height);
    std::u16string wide(c.text, c.text + std::char_traits<char>::length(c.text));
    ASSERT_TRUE(GetTextExtent(mono.get(), wide.c_str(), c.count, &extent));
    EXPECT_EQ(extent.width, c.width);
  }

  // Through a device context, with the font selected and without one.
  Canvas canvas(8, 8);
  TextExtent system;
  ASSERT_TRUE(GetTextExtent(canvas.dc(), "MMMM", -1, &system));
  EXPECT_GT(system.width, 0);
  SelectFont(canvas.dc(), mono.get());
  TextExtent selected;
  ASSERT_TRUE(GetTextExtent(canvas.dc(), u"MMMM", -1, &selected));
  EXPECT_EQ(selected.width, 4 * kMonoWidth);
  EXPECT_EQ(selected.height, metrics.height);
}

TEST(FontTest, SizesInPointsAndPixels) {
  // 10 points at 96 pixels per inch is 13 pixels (13.33, truncated).
  FontPointer points = MakeFont("DejaVu Sans", 10);
  FontPointer pixels = MakeFont("DejaVu Sans", -13);
  FontPointer fourteen = MakeFont("DejaVu Sans", -14);
  ASSERT_TRUE(points && pixels && fourteen);
  TextExtent a, b, c;
  ASSERT_TRUE(GetTextExtent(points.get(), "Sample text", -1, &a));
  ASSERT_TRUE(GetTextExtent(pixels.get(), "Sample text", -1, &b));
  ASSERT_TRUE(GetTextExtent(fourteen.get(), "Sample text", -1, &c));
  EXPECT_EQ(a.width, b.width);
  EXPECT_EQ(a.height, b.height);
  EXPECT_LT(b.width, c.width);

  // Size 0 is the default GUI font's size.
  FontPointer standard = MakeFont("", 0);
  ASSERT_TRUE(standard);
  ASSERT_TRUE(GetTextExtent(standard.get(), "Sample text", -1, &a));
  ASSERT_TRUE(GetTextExtent(GetDefaultGuiFont(), "Sample text", -1, &b));
  EXPECT_EQ(a.width, b.width);
  EXPECT_EQ(a.height, b.height);

  EXPECT_FALSE(MakeFont("DejaVu Sans", -1025));
  EXPECT_FALSE(MakeFont("DejaVu Sans", 2000000000));
}

TEST(FontTest, WrapsAtBlanksAndLineBreaks) {
  FontPointer mono = MakeFont("DejaVu Sans Mono", kMonoHeight);
  ASSERT_TRUE(mono);
  FontMetrics metrics;
  ASSERT_TRUE(GetFontMetrics(mono.get(), &metrics));
  const int32_t w = kMonoWidth;

  struct Case {
    const char* text;
    int32_t width;
    uint32_t flags;
    int32_t lines;
    int32_t widest;
  };
  const Case cases[] = {
      {"aaa bbb ccc", 7 * w, kTextWordBreak, 2, 7 * w},
      {"aaa bbb ccc", 7 * w - 1, kTextWordBreak, 3, 3 * w},
      {"aaa bbb ccc", 11 * w, kTextWordBreak, 1, 11 * w},
      {"aaa     bbb", 4 * w, kTextWordBreak, 2, 3 * w},    // blanks at a break vanish
      {"aaaaaaaaaa b", 5 * w, kTextWordBreak, 2, 10 * w},  // a long word keeps its line
      {"aaa bbb ccc", 2 * w, kTextNoPrefix, 1, 11 * w},    // no breaking without the flag
      {"a\nbb\r\nccc", 100 * w, 0, 3, 3 * w},
      {"a\r\rb", 100 * w, 0, 3, w},
      {"aa\n\nbbb cc", 4 * w, kTextWordBreak, 4, 3 * w},
      {"a\nbb", 100 * w, kTextSingleLine, 1, 3 * w},
      {"", 100 * w, kTextWordBreak, 1, 0},
      {"&File", 100 * w, 0, 1, 4 * w},
      {"&File", 100 * w, kTextNoPrefix, 1, 5 * w},
      {"Fish && Chips", 100 * w, 0, 1, 12 * w},
      {"end&", 100 * w, 0, 1, 3 * w},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    Rect rect{10, 20, 10 + c.width, 30};
    int32_t height =
        CalculateTextRectangle(mono.get(), c.text, -1, &rect, c.flags | kTextCalculateRectangle);
    EXPECT_EQ(height, c.lines * metrics.height);
    EXPECT_EQ(rect.left, 10);
    EXPECT_EQ(rect.top, 20);
    EXPECT_EQ(rect.right, 10 + c.widest);
    EXPECT_EQ(rect.bottom, 20 + c.lines * metrics.height);

    // The same through a device context, which draws nothing.
    Canvas canvas(40, 40);
    SelectFont(canvas.dc(), mono.get());
    Rect again{10, 20, 10 + c.width, 30};
    EXPECT_EQ(DrawText(canvas.dc(), c.text, -1, &again, c.flags | kTextCalculateRectangle), height);
    EXPECT_EQ(again.right, rect.right);
    EXPECT_EQ(canvas.InkBox().Width(), 0);
  }
}

TEST(FontTest, UnknownFacesFallBackToDejaVuSansKeepingWeightAndSlant) {
  struct Case {
    const char* face;
    int32_t weight;
    bool italic;
  };
  const Case cases[] = {
      {"Arial", kFontWeightNormal, false},
      {"Tahoma", kFontWeightBold, false},
      {"MS Sans Serif", kFontWeightNormal, true},
      {"Arial", kFontWeightBold, true},
      {"  ", kFontWeightBold, false},
  };
  const char16_t text[] = u"Vorlan Hamburgefonts";
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.face) + (c.weight >= 700 ? " bold" : "") +
                 (c.italic ? " italic" : ""));
    FontPointer unknown = MakeFont(c.face, -16, c.weight, c.italic);
    FontPointer same = MakeFont("DejaVu Sans", -16, c.weight, c.italic);
    FontPointer plain = MakeFont("DejaVu Sans", -16);
    ASSERT_TRUE(unknown && same && plain);
    std::vector<Color> picture = Picture(unknown.get(), text);
    EXPECT_EQ(picture, Picture(same.get(), text));
    if (c.weight >= kFontWeightBold || c.italic) {
      EXPECT_NE(picture, Picture(plain.get(), text));
    }
    FontDescription description;
    ASSERT_TRUE(GetFontDescription(unknown.get(), &description));
    EXPECT_EQ(description.face, c.face);
  }

  // Known families are found without regard to case, and are not DejaVu Sans.
  FontPointer mono = MakeFont("dejavu SANS mono", -16);
  FontPointer sans = MakeFont("DejaVu Sans", -16);
  FontPointer serif = MakeFont("DejaVu Serif", -16, kFontWeightBold, true);
  FontPointer serifSans = MakeFont("DejaVu Sans", -16, kFontWeightBold, true);
  TextExtent narrow, wide;
  ASSERT_TRUE(GetTextExtent(mono.get(), "i", -1, &narrow));
  ASSERT_TRUE(GetTextExtent(mono.get(), "W", -1, &wide));
  EXPECT_EQ(narrow.width, wide.width);
  ASSERT_TRUE(GetTextExtent(sans.get(), "i", -1, &narrow));
  EXPECT_LT(narrow.width, wide.width);
  EXPECT_NE(Picture(serif.get(), text), Picture(serifSans.get(), text));
}

TEST(FontTest, EsperantoFacesReadIso8859_3) {
  // The twelve Esperanto letters as ISO 8859-3 bytes and as Unicode.
  const char bytes[] = "\xC6\xE6\xD8\xF8\xA6\xB6\xAC\xBC\xDE\xFE\xDD\xFD";
  const char16_t letters[] =
      u"\u0108\u0109\u011C\u011D\u0124\u0125\u0134\u0135\u015C\u015D"
      u"\u016C\u016D";
  FontPointer esperanto = MakeFont("Arial Eo", -16);
  FontPointer plain = MakeFont("Arial", -16);
  FontPointer lowerSuffix = MakeFont("Arial eo", -16);  // the suffix is compared with case
  ASSERT_TRUE(esperanto && plain && lowerSuffix);

  std::vector<Color> shown = Picture(esperanto.get(), bytes);
  EXPECT_EQ(shown, Picture(plain.get(), letters));
  EXPECT_NE(shown, Picture(plain.get(), bytes));
  EXPECT_EQ(Picture(lowerSuffix.get(), bytes), Picture(plain.get(), bytes));

  // Without the suffix the bytes are Windows-1252.
  EXPECT_EQ(Picture(plain.get(), "\xE6\x80\x9C"), Picture(plain.get(), u"\u00E6\u20AC\u0153"));
  // 8-bit text widened as Windows-1252 still shows its Esperanto letters,
  // while the real letters show as they are.
  EXPECT_EQ(Picture(esperanto.get(), u"\u00C6\u00E6"), Picture(plain.get(), u"\u0108\u0109"));
  EXPECT_EQ(Picture(esperanto.get(), letters), Picture(plain.get(), letters));
  // Plain ASCII is the same in both.
  EXPECT_EQ(Picture(esperanto.get(), "Saluton"), Picture(plain.get(), "Saluton"));

  FontDescription description;
  ASSERT_TRUE(GetFontDescription(esperanto.get(), &description));
  EXPECT_EQ(description.face, "Arial Eo");
}

TEST(FontTest, AlignmentFlagsPlaceTheText) {
  FontPointer mono = MakeFont("DejaVu Sans Mono", -10);
  ASSERT_TRUE(mono);
  FontMetrics metrics;
  ASSERT_TRUE(GetFontMetrics(mono.get(), &metrics));
  TextExtent extent;
  ASSERT_TRUE(GetTextExtent(mono.get(), "Ab", -1, &extent));
  const Rect box{5, 3, 75, 35};
  const int32_t freeWidth = box.Width() - extent.width;
  const int32_t freeHeight = box.Height() - metrics.height;

  // The answer is the text's height, measured from the rectangle's top when
  // the line is placed vertically.
  auto inkOf = [&](uint32_t flags, int32_t answer) {
    Canvas canvas(80, 40);
    SelectFont(canvas.dc(), mono.get());
    Rect rect = box;
    EXPECT_EQ(DrawText(canvas.dc(), "Ab", -1, &rect, flags), answer);
    return canvas.InkBox();
  };
  Rect left = inkOf(kTextLeft, metrics.height);
  ASSERT_GT(left.Width(), 0);
  // The ink starts near the rectangle's corner, inside the line's cell.
  EXPECT_GE(left.left, box.left);
  EXPECT_LE(left.left, box.left + 2);
  EXPECT_GE(left.top, box.top);
  EXPECT_LE(left.bottom, box.top + metrics.height);

  struct Case {
    uint32_t flags;
    int32_t dx;
    int32_t dy;
  };
  const Case cases[] = {
      {kTextCenter, freeWidth / 2, 0},
      {kTextRight, freeWidth, 0},
      {kTextSingleLine | kTextVerticalCenter, 0, freeHeight / 2},
      {kTextSingleLine | kTextBottom, 0, freeHeight},
      {kTextSingleLine | kTextVerticalCenter | kTextCenter, freeWidth / 2, freeHeight / 2},
      {kTextSingleLine | kTextVerticalCenter | kTextRight, freeWidth, freeHeight / 2},
      {kTextVerticalCenter, 0, 0},  // vertical placement needs a single line
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.flags);
    Rect ink = inkOf(c.flags, c.dy + metrics.height);
    EXPECT_EQ(ink.left, left.left + c.dx);
    EXPECT_EQ(ink.right, left.right + c.dx);
    EXPECT_EQ(ink.top, left.top + c.dy);
    EXPECT_EQ(ink.bottom, left.bottom + c.dy);
  }

  // Each wrapped line is aligned on its own: "AAAA" on the first, "AA" on
  // the second, both ending at the right edge.
  const int32_t w = extent.width / 2;
  Canvas canvas(80, 60);
  SelectFont(canvas.dc(), mono.get());
  Rect rect{10, 0, 10 + 4 * w + 3, 60};
  EXPECT_EQ(DrawText(canvas.dc(), "AAAA AA", -1, &rect, kTextWordBreak | kTextRight),
            2 * metrics.height);
  Rect first = canvas.InkBox(kWhite, {0, 0, 80, metrics.height});
  Rect second = canvas.InkBox(kWhite, {0, metrics.height, 80, 2 * metrics.height});
  Rect single = inkOf(kTextLeft, metrics.height);  // "Ab" at the box's left
  EXPECT_EQ(first.left, rect.right - 4 * w + (single.left - box.left));
  EXPECT_EQ(second.left, rect.right - 2 * w + (single.left - box.left));
  EXPECT_EQ(first.right, second.right);
}

TEST(FontTest, DrawingIsClippedToTheRectangle) {
  FontPointer mono = MakeFont("DejaVu Sans Mono", -20);
  ASSERT_TRUE(mono);
  const Rect box{10, 10, 40, 20};  // narrower and lower than the text
  for (bool clipped : {true, false}) {
    SCOPED_TRACE(clipped);
    Canvas canvas(100, 60);
    SelectFont(canvas.dc(), mono.get());
    Rect rect = box;
    DrawText(canvas.dc(), "WWWWWW", -1, &rect, clipped ? uint32_t{0} : uint32_t{kTextNoClip});
    Rect ink = canvas.InkBox();
    ASSERT_GT(ink.Width(), 0);
    if (clipped) {
      EXPECT_GE(ink.left, box.left);
      EXPECT_GE(ink.top, box.top);
      EXPECT_LE(ink.right, box.right);
      EXPECT_LE(ink.bottom, box.bottom);
    } else {
      EXPECT_GT(ink.right, box.right);
      EXPECT_GT(ink.bottom, box.bottom);
    }
  }

  // A line drawn at a point keeps to the clip rectangle given.
  Canvas canvas(100, 60);
  SelectFont(canvas.dc(), mono.get());
  const Rect clip{0, 0, 30, 60};
  ASSERT_TRUE(DrawTextAt(canvas.dc(), 5, 5, "WWWWWW", -1, &clip));
  EXPECT_LE(canvas.InkBox().right, clip.right);
  EXPECT_GT(canvas.InkBox().Width(), 0);
}

TEST(FontTest, OpaqueBackgroundFillsTheLineTransparentLeavesIt) {
  FontPointer font = MakeFont("DejaVu Sans", -14);
  ASSERT_TRUE(font);
  TextExtent extent;
  ASSERT_TRUE(GetTextExtent(font.get(), "Opaque", -1, &extent));
  const int32_t x = 6, y = 4;
  const Rect cell{x, y, x + extent.width, y + extent.height};

  for (bool opaque : {true, false}) {
    SCOPED_TRACE(opaque);
    for (bool formatted : {true, false}) {
      SCOPED_TRACE(formatted);
      Canvas canvas(80, 30, kBlue);
      SelectFont(canvas.dc(), font.get());
      SetBackgroundColor(canvas.dc(), kRed);
      SetBackgroundMode(canvas.dc(), opaque ? kBackgroundOpaque : kBackgroundTransparent);
      if (formatted) {
        Rect rect{x, y, 80, 30};
        DrawText(canvas.dc(), "Opaque", -1, &rect, kTextNoPrefix);
      } else {
        DrawTextAt(canvas.dc(), x, y, "Opaque", -1, nullptr);
      }
      const Rect all{0, 0, 80, 30};
      const int32_t cellArea = cell.Width() * cell.Height();
      if (opaque) {
        // The whole cell is red or ink; nothing outside it changed.
        EXPECT_EQ(canvas.Count(kBlue, cell), 0);
        EXPECT_GT(canvas.Count(kRed, cell), cellArea / 2);
        EXPECT_EQ(canvas.Count(kRed, all), canvas.Count(kRed, cell));
        EXPECT_EQ(canvas.Count(kBlue, all), 80 * 30 - cellArea);
      } else {
        EXPECT_EQ(canvas.Count(kRed, all), 0);
        EXPECT_GT(canvas.Count(kBlue, cell), cellArea / 2);
      }
      EXPECT_GT(canvas.Count(kBlack, cell), 0);
    }
  }
}

TEST(FontTest, UnderlinesTheFontAndTheAccessKey) {
  FontPointer mono = MakeFont("DejaVu Sans Mono", kMonoHeight);
  FontPointer underlined =
      MakeFont("DejaVu Sans Mono", kMonoHeight, kFontWeightNormal, false, true);
  ASSERT_TRUE(mono && underlined);
  FontMetrics metrics;
  ASSERT_TRUE(GetFontMetrics(mono.get(), &metrics));

  // Rows below the baseline that differ from the plain drawing of "ab".
  auto underlineColumns = [&](Font* font, const char* text, uint32_t flags) {
    Canvas canvas(60, 40);
    SelectFont(canvas.dc(), font);
    Rect rect{0, 0, 60, 40};
    DrawText(canvas.dc(), text, -1, &rect, flags);
    Canvas plain(60, 40);
    SelectFont(plain.dc(), mono.get());
    Rect again{0, 0, 60, 40};
    DrawText(plain.dc(), "ab", -1, &again, kTextNoPrefix);
    Rect changed{60, 40, 0, 0};
    for (int32_t yy = 0; yy < 40; ++yy) {
      for (int32_t xx = 0; xx < 60; ++xx) {
        if (canvas.At(xx, yy) == plain.At(xx, yy)) continue;
        changed.left = std::min(changed.left, xx);
        changed.right = std::max(changed.right, xx + 1);
        changed.top = std::min(changed.top, yy);
        changed.bottom = std::max(changed.bottom, yy + 1);
      }
    }
    return changed;
  };
  Rect whole = underlineColumns(underlined.get(), "ab", kTextNoPrefix);
  EXPECT_EQ(whole.left, 0);
  EXPECT_EQ(whole.right, 2 * kMonoWidth);
  EXPECT_GE(whole.top, metrics.ascent);
  EXPECT_LE(whole.bottom, metrics.height);

  Rect key = underlineColumns(mono.get(), "a&b", 0);
  EXPECT_EQ(key.left, kMonoWidth);
  EXPECT_EQ(key.right, 2 * kMonoWidth);
  EXPECT_GE(key.top, metrics.ascent);
  EXPECT_LE(key.bottom, metrics.height);
}

TEST(FontTest, HandlesAreCheckedAndStockFontsStay) {
  FontPointer font = MakeFont("DejaVu Sans", -12);
  ASSERT_TRUE(font);
  Font* raw = font.release();
  EXPECT_TRUE(DeleteFont(raw));
  EXPECT_FALSE(DeleteFont(raw));
  TextExtent extent;
  EXPECT_FALSE(GetTextExtent(raw, "x", -1, &extent));
  EXPECT_FALSE(DeleteFont(nullptr));

  Font* stock = GetDefaultGuiFont();
  ASSERT_TRUE(stock);
  EXPECT_TRUE(DeleteFont(stock));
  EXPECT_EQ(GetDefaultGuiFont(), stock);
  EXPECT_TRUE(GetTextExtent(stock, "x", -1, &extent));
  FontDescription description;
  ASSERT_TRUE(GetFontDescription(stock, &description));
  EXPECT_EQ(description.size, -11);
  ASSERT_TRUE(GetFontDescription(GetSystemFont(), &description));
  EXPECT_EQ(description.weight, kFontWeightBold);

  // Bad arguments are refused rather than read.
  EXPECT_FALSE(GetTextExtent(stock, static_cast<const char*>(nullptr), 3, &extent));
  EXPECT_FALSE(GetTextExtent(stock, "x", -2, &extent));
  Rect rect{0, 0, 10, 10};
  EXPECT_EQ(CalculateTextRectangle(stock, "x", -1, nullptr, 0), 0);
  EXPECT_EQ(DrawText(nullptr, "x", -1, &rect, 0), 0);

  // A font deleted while still selected is replaced by the system font.
  Canvas canvas(60, 30);
  FontPointer doomed = MakeFont("DejaVu Sans", -20);
  Font* selected = doomed.get();
  SelectFont(canvas.dc(), selected);
  doomed.reset();
  TextExtent fallback, system;
  ASSERT_TRUE(GetTextExtent(canvas.dc(), "abc", -1, &fallback));
  ASSERT_TRUE(GetTextExtent(GetSystemFont(), "abc", -1, &system));
  EXPECT_EQ(fallback.width, system.width);
}

TEST(FontTest, UnpairedSurrogatesAndNonAntialiasedText) {
  FontPointer font = MakeFont("DejaVu Sans", -14);
  ASSERT_TRUE(font);
  TextExtent lone, replacement, pair;
  ASSERT_TRUE(GetTextExtent(font.get(), u"\xD800", -1, &lone));
  ASSERT_TRUE(GetTextExtent(font.get(), u"\uFFFD", -1, &replacement));
  EXPECT_EQ(lone.width, replacement.width);
  // A pair is one character, not two.
  ASSERT_TRUE(GetTextExtent(font.get(), u"\U0001F600", -1, &pair));
  TextExtent two;
  ASSERT_TRUE(GetTextExtent(font.get(), u"\U0001F600\U0001F600", -1, &two));
  EXPECT_EQ(two.width, 2 * pair.width);

  // Without antialiasing every pixel is the text colour or untouched.
  FontDescription description;
  description.face = "DejaVu Sans";
  description.size = -14;
  description.quality = kFontQualityNonAntialiased;
  FontPointer sharp(CreateFont(description));
  ASSERT_TRUE(sharp);
  Canvas canvas(80, 20);
  SelectFont(canvas.dc(), sharp.get());
  ASSERT_TRUE(DrawTextAt(canvas.dc(), 0, 0, "Sharp", -1, nullptr));
  const Rect all{0, 0, 80, 20};
  EXPECT_GT(canvas.Count(kBlack, all), 0);
  EXPECT_EQ(canvas.Count(kBlack, all) + canvas.Count(kWhite, all), 80 * 20);
}

TEST(FontTest, FontsAreSharedAcrossThreads) {
  FontPointer font = MakeFont("DejaVu Serif", -15);
  ASSERT_TRUE(font);
  TextExtent expected;
  ASSERT_TRUE(GetTextExtent(font.get(), "The quick brown fox", -1, &expected));
  std::vector<std::thread> threads;
  std::vector<int> mismatches(4, 0);
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([&, t] {
      for (int i = 0; i < 200; ++i) {
        // Fresh fonts load glyphs while the shared one is measured.
        FontPointer own = MakeFont("DejaVu Sans", -10 - (i % 7));
        TextExtent extent;
        if (!own || !GetTextExtent(own.get(), u"\u0109ambro", -1, &extent)) ++mismatches[t];
        if (!GetTextExtent(font.get(), "The quick brown fox", -1, &extent) ||
            extent.width != expected.width) {
          ++mismatches[t];
        }
      }
    });
  }
  for (std::thread& thread : threads) thread.join();
  for (int t = 0; t < 4; ++t) EXPECT_EQ(mismatches[t], 0);
}

TEST(FontTest, TextOnAPaletteBitmapTakesTheNearestEntries) {
  // Black at 0, a middle grey at 128, white everywhere else: antialiased
  // edges must land on the grey, never on an index outside the three.
  std::vector<PaletteQuad> palette(256, PaletteQuad{255, 255, 255, 0});
  palette[0] = PaletteQuad{0, 0, 0, 0};
  palette[128] = PaletteQuad{128, 128, 128, 0};
  Bitmap* bitmap = CreateBitmap(60, 24, 8, palette.data());
  ASSERT_TRUE(bitmap);
  DeviceContext* dc = CreateMemoryDC(nullptr);
  Bitmap* previous = SelectBitmap(dc, bitmap);
  FillRectangle(dc, {0, 0, 60, 24}, kWhite);
  FontPointer font = MakeFont("DejaVu Sans", -16);
  SelectFont(dc, font.get());
  SetTextColor(dc, kBlack);
  SetBackgroundMode(dc, kBackgroundTransparent);
  ASSERT_TRUE(DrawTextAt(dc, 2, 2, "Sow", -1, nullptr));

  BitmapLayout layout;
  ASSERT_TRUE(GetBitmapLayout(bitmap, &layout));
  int counts[3] = {0, 0, 0};
  int others = 0;
  for (int32_t y = 0; y < layout.height; ++y) {
    for (int32_t x = 0; x < layout.width; ++x) {
      uint8_t index = layout.bits[y * layout.pitch + x];
      if (index == 0) {
        ++counts[0];
      } else if (index == 128) {
        ++counts[1];
      } else if (palette[index].red == 255) {
        ++counts[2];
      } else {
        ++others;
      }
    }
  }
  EXPECT_GT(counts[0], 0);
  EXPECT_GT(counts[1], 0);
  EXPECT_EQ(others, 0);

  SelectFont(dc, nullptr);
  SelectBitmap(dc, previous);
  DeleteMemoryDC(dc);
  DeleteBitmap(bitmap);
}

}  // namespace
