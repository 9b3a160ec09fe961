#include "platform/font.h"

#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_OUTLINE_H
#include FT_SIZES_H
#include FT_TRUETYPE_TABLES_H

#include <algorithm>
#include <cstdio>
#include <map>
#include <memory>
#include <mutex>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "platform/encoding.h"
#include "platform/trace.h"

namespace {

constexpr const char kFontDirectory[] = "/usr/share/fonts/truetype/dejavu/";
constexpr int32_t kLargestPixelHeight = 1024;
constexpr int32_t kDefaultGuiPixelHeight = 11;
constexpr int32_t kSystemPixelHeight = 13;
constexpr const char kDefaultFace[] = "DejaVu Sans";
constexpr const char kEsperantoSuffix[] = " Eo";

// A family's four files: regular, bold, slanted, bold slanted. A missing file
// is made up from the regular one by emboldening or slanting its outlines.
struct Family {
  const char* name;
  const char* files[4];
};
constexpr Family kFamilies[] = {
    {"DejaVu Sans",
     {"DejaVuSans", "DejaVuSans-Bold", "DejaVuSans-Oblique", "DejaVuSans-BoldOblique"}},
    {"DejaVu Sans Mono",
     {"DejaVuSansMono", "DejaVuSansMono-Bold", "DejaVuSansMono-Oblique",
      "DejaVuSansMono-BoldOblique"}},
    {"DejaVu Serif",
     {"DejaVuSerif", "DejaVuSerif-Bold", "DejaVuSerif-Italic", "DejaVuSerif-BoldItalic"}},
    {"DejaVu Sans Condensed",
     {"DejaVuSansCondensed", "DejaVuSansCondensed-Bold", "DejaVuSansCondensed-Oblique",
      "DejaVuSansCondensed-BoldOblique"}},
    {"DejaVu Serif Condensed",
     {"DejaVuSerifCondensed", "DejaVuSerifCondensed-Bold", "DejaVuSerifCondensed-Italic",
      "DejaVuSerifCondensed-BoldItalic"}},
};

struct Glyph {
  int32_t advance = 0;
  int32_t left = 0;  // bitmap's left edge from the pen position
  int32_t top = 0;   // bitmap's top row above the baseline
  int32_t width = 0;
  int32_t height = 0;
  std::vector<uint8_t> coverage;
};

// One opened font file, shared by every font drawn from it; each font keeps
// its own size object on it.
struct FaceFile {
  FT_Face face = nullptr;
};

// Everything FreeType touches is guarded by this one lock: a library and its
// faces may not be used from two threads at once.
std::mutex gLock;
FT_Library gLibrary = nullptr;
std::map<std::string, std::unique_ptr<FaceFile>>* gFaceFiles = nullptr;
std::unordered_set<const Font*>* gLiveFonts = nullptr;

void Trace(const char* text) {
  TraceOutput(text);
}

void TraceWithAddress(const char* format, const void* address) {
  char line[160];
  std::snprintf(line, sizeof line, format,
                static_cast<unsigned long>(reinterpret_cast<uintptr_t>(address)));
  TraceOutput(line);
}

bool EqualWithoutCase(const std::string& a, const char* b) {
  size_t i = 0;
  for (; i < a.size() && b[i]; ++i) {
    char x = a[i], y = b[i];
    if (x >= 'A' && x <= 'Z') x = static_cast<char>(x - 'A' + 'a');
    if (y >= 'A' && y <= 'Z') y = static_cast<char>(y - 'A' + 'a');
    if (x != y) return false;
  }
  return i == a.size() && b[i] == 0;
}

std::string Trimmed(const std::string& text) {
  size_t first = text.find_first_not_of(' ');
  if (first == std::string::npos) return std::string();
  size_t last = text.find_last_not_of(' ');
  return text.substr(first, last - first + 1);
}

// Called with the lock held.
FT_Face OpenFaceFile(const std::string& base) {
  if (!gLibrary) {
    if (FT_Init_FreeType(&gLibrary) != 0) {
      gLibrary = nullptr;
      Trace("CreateFont could not start FreeType\n");
      return nullptr;
    }
    gFaceFiles = new std::map<std::string, std::unique_ptr<FaceFile>>();
  }
  auto found = gFaceFiles->find(base);
  if (found != gFaceFiles->end()) return found->second->face;
  std::string path = std::string(kFontDirectory) + base + ".ttf";
  FT_Face face = nullptr;
  if (FT_New_Face(gLibrary, path.c_str(), 0, &face) != 0) return nullptr;
  if (!FT_IS_SCALABLE(face)) {
    FT_Done_Face(face);
    return nullptr;
  }
  auto file = std::make_unique<FaceFile>();
  file->face = face;
  (*gFaceFiles)[base] = std::move(file);
  return face;
}

}  // namespace

struct Font {
  FontDescription description;
  FT_Face face = nullptr;
  FT_Size size = nullptr;
  bool emboldened = false;  // bold made up from the regular outlines
  bool slanted = false;     // slant made up from the upright outlines
  bool esperanto = false;   // 8-bit text is ISO 8859-3
  bool stock = false;
  int32_t pixelHeight = 0;
  FontMetrics metrics;
  int32_t underlineOffset = 0;  // top row of the underline below the baseline
  int32_t underlineThickness = 1;
  FT_Pos emboldenStrength = 0;
  std::unordered_map<char32_t, Glyph> glyphs;
};

namespace {

// Called with the lock held. Picks the file for the family and style, falling
// back to made-up styles and then to DejaVu Sans.
bool ChooseFace(Font* font, const std::string& familyName, bool bold, bool italic) {
  const Family* family = &kFamilies[0];
  for (const Family& candidate : kFamilies) {
    if (EqualWithoutCase(familyName, candidate.name)) family = &candidate;
  }
  const Family* order[2] = {family, &kFamilies[0]};
  for (const Family* choice : order) {
    int style = (bold ? 1 : 0) + (italic ? 2 : 0);
    if (FT_Face face = OpenFaceFile(choice->files[style])) {
      font->face = face;
      return true;
    }
    // A slanted face without its bold file: bold from the slanted one, then
    // both made up from the regular one.
    if (style == 3) {
      if (FT_Face face = OpenFaceFile(choice->files[2])) {
        font->face = face;
        font->emboldened = true;
        return true;
      }
    }
    if (style == 3 || style == 2) {
      if (FT_Face face = OpenFaceFile(choice->files[bold ? 1 : 0])) {
        font->face = face;
        font->slanted = true;
        return true;
      }
    }
    if (FT_Face face = OpenFaceFile(choice->files[0])) {
      font->face = face;
      font->emboldened = bold;
      font->slanted = italic;
      return true;
    }
  }
  return false;
}

int32_t PixelsFromUnits(const Font* font, int32_t units) {
  int64_t scaled = static_cast<int64_t>(units) * font->pixelHeight;
  int64_t em = font->face->units_per_EM;
  return static_cast<int32_t>((scaled >= 0 ? scaled + em / 2 : scaled - em / 2) / em);
}

// Called with the lock held.
bool SizeFont(Font* font) {
  if (FT_New_Size(font->face, &font->size) != 0) return false;
  FT_Activate_Size(font->size);
  if (FT_Set_Pixel_Sizes(font->face, 0, static_cast<FT_UInt>(font->pixelHeight)) != 0) {
    FT_Done_Size(font->size);
    font->size = nullptr;
    return false;
  }
  const FT_Size_Metrics& sized = font->size->metrics;
  FontMetrics& metrics = font->metrics;
  metrics.ascent = static_cast<int32_t>((sized.ascender + 63) >> 6);
  metrics.descent = static_cast<int32_t>((-sized.descender + 63) >> 6);
  metrics.height = metrics.ascent + metrics.descent;
  metrics.internalLeading = std::max(0, metrics.height - font->pixelHeight);
  metrics.maximumCharacterWidth = static_cast<int32_t>((sized.max_advance + 63) >> 6);
  auto* os2 = static_cast<TT_OS2*>(FT_Get_Sfnt_Table(font->face, FT_SFNT_OS2));
  if (os2 && os2->xAvgCharWidth > 0) {
    metrics.averageCharacterWidth = PixelsFromUnits(font, os2->xAvgCharWidth);
  } else {
    metrics.averageCharacterWidth = font->pixelHeight / 2;
  }
  if (font->emboldened) {
    font->emboldenStrength = FT_MulFix(font->face->units_per_EM, sized.y_scale) / 24;
    metrics.averageCharacterWidth += static_cast<int32_t>(font->emboldenStrength >> 6);
    metrics.maximumCharacterWidth += static_cast<int32_t>(font->emboldenStrength >> 6);
  }
  // The underline's centre lies underline_position below the baseline.
  font->underlineThickness = std::max(1, PixelsFromUnits(font, font->face->underline_thickness));
  int32_t centre = -PixelsFromUnits(font, font->face->underline_position);
  font->underlineOffset = std::max(1, centre - font->underlineThickness / 2);
  if (font->underlineOffset + font->underlineThickness > metrics.descent) {
    font->underlineOffset = std::max(0, metrics.descent - font->underlineThickness);
  }
  return true;
}

// Called with the lock held.
const Glyph& LoadGlyph(Font* font, char32_t code) {
  auto found = font->glyphs.find(code);
  if (found != font->glyphs.end()) return found->second;
  Glyph& glyph = font->glyphs[code];
  bool control = (code < 0x20 && code != '\t') || (code >= 0x7F && code < 0xA0);
  if (control) return glyph;  // control characters take no room
  if (code == '\t') code = ' ';
  FT_Activate_Size(font->size);
  bool antialiased = font->description.quality != kFontQualityNonAntialiased;
  FT_Int32 flags = antialiased ? FT_LOAD_TARGET_LIGHT : FT_LOAD_TARGET_MONO;
  if (font->emboldened || font->slanted) flags |= FT_LOAD_NO_BITMAP;
  FT_UInt index = FT_Get_Char_Index(font->face, code);
  if (FT_Load_Glyph(font->face, index, flags) != 0) return glyph;
  FT_GlyphSlot slot = font->face->glyph;
  FT_Pos advance = slot->advance.x;
  if (slot->format == FT_GLYPH_FORMAT_OUTLINE) {
    if (font->slanted) {
      FT_Matrix shear = {0x10000, 0x0366A, 0, 0x10000};
      FT_Outline_Transform(&slot->outline, &shear);
    }
    if (font->emboldened) {
      FT_Outline_EmboldenXY(&slot->outline, font->emboldenStrength, 0);
      advance += font->emboldenStrength;
    }
  }
  glyph.advance = static_cast<int32_t>((advance + 32) >> 6);
  if (FT_Render_Glyph(slot, antialiased ? FT_RENDER_MODE_LIGHT : FT_RENDER_MODE_MONO) != 0) {
    return glyph;
  }
  const FT_Bitmap& bitmap = slot->bitmap;
  glyph.left = slot->bitmap_left;
  glyph.top = slot->bitmap_top;
  glyph.width = static_cast<int32_t>(bitmap.width);
  glyph.height = static_cast<int32_t>(bitmap.rows);
  glyph.coverage.assign(static_cast<size_t>(glyph.width) * glyph.height, 0);
  for (int32_t row = 0; row < glyph.height; ++row) {
    const unsigned char* source = bitmap.buffer + static_cast<ptrdiff_t>(row) * bitmap.pitch;
    uint8_t* target = glyph.coverage.data() + static_cast<size_t>(row) * glyph.width;
    for (int32_t column = 0; column < glyph.width; ++column) {
      if (bitmap.pixel_mode == FT_PIXEL_MODE_MONO) {
        target[column] = (source[column >> 3] & (0x80 >> (column & 7))) ? 255 : 0;
      } else if (bitmap.pixel_mode == FT_PIXEL_MODE_GRAY) {
        unsigned grays = bitmap.num_grays > 1 ? bitmap.num_grays - 1 : 255;
        target[column] = static_cast<uint8_t>(source[column] * 255u / grays);
      }
    }
  }
  return glyph;
}

// Text decoded to characters, with the marks left by "&" prefixes.
struct Characters {
  std::vector<char32_t> codes;
  std::vector<bool> marked;  // underlined as an access key
};

// Esperanto fonts read 8-bit text as ISO 8859-3, which has no characters at
// 0x80-0x9F: those bytes stay the control characters of the same value.
char32_t DecodeByte(char byte, bool esperanto) {
  return esperanto ? Iso8859_3ToUnit(byte) : Windows1252ToUnit(byte);
}

bool Decode(const Font* font, const char* text, int32_t count, Characters* out) {
  if (!text || count < -1) return false;
  size_t length = count == -1 ? std::char_traits<char>::length(text) : static_cast<size_t>(count);
  out->codes.reserve(length);
  for (size_t i = 0; i < length; ++i) {
    out->codes.push_back(DecodeByte(text[i], font->esperanto));
  }
  return true;
}

bool Decode(const Font* font, const char16_t* text, int32_t count, Characters* out) {
  if (!text || count < -1) return false;
  size_t length =
      count == -1 ? std::char_traits<char16_t>::length(text) : static_cast<size_t>(count);
  out->codes.reserve(length);
  std::u16string_view units(text, length);
  for (size_t i = 0; i < length;) {
    char32_t code = ReadUtf16(units, &i);
    if (IsSurrogate(code)) {
      code = 0xFFFD;
    } else if (font->esperanto && code >= 0xA0 && code <= 0xFF) {
      code = Iso8859_3ToUnit(static_cast<char>(code));
    }
    out->codes.push_back(code);
  }
  return true;
}

// "&&" becomes "&"; "&x" becomes a marked x; a lone "&" at the end is dropped.
void ApplyPrefixes(Characters* characters) {
  Characters result;
  const std::vector<char32_t>& codes = characters->codes;
  for (size_t i = 0; i < codes.size(); ++i) {
    if (codes[i] == '&') {
      if (i + 1 >= codes.size()) break;
      ++i;
      result.codes.push_back(codes[i]);
      result.marked.push_back(codes[i] != '&');
    } else {
      result.codes.push_back(codes[i]);
      result.marked.push_back(false);
    }
  }
  *characters = std::move(result);
}

// Called with the lock held.
int32_t Width(Font* font, const std::vector<char32_t>& codes, size_t begin, size_t end) {
  int32_t width = 0;
  for (size_t i = begin; i < end; ++i) width += LoadGlyph(font, codes[i]).advance;
  return width;
}

struct Line {
  size_t begin = 0;
  size_t end = 0;
  int32_t width = 0;
};

bool IsLineEnd(char32_t code) {
  return code == '\n' || code == '\r';
}
bool IsBlank(char32_t code) {
  return code == ' ' || code == '\t';
}

// Called with the lock held. Splits the text into lines: at line feeds and
// carriage returns unless single-line, and at blanks to fit the width with
// word breaking.
std::vector<Line> BreakLines(Font* font, const std::vector<char32_t>& codes, int32_t width,
                             uint32_t flags) {
  std::vector<Line> lines;
  size_t n = codes.size();
  if (flags & kTextSingleLine) {
    lines.push_back({0, n, Width(font, codes, 0, n)});
    return lines;
  }
  bool wrap = (flags & kTextWordBreak) != 0;
  size_t paragraph = 0;
  while (true) {
    size_t paragraphEnd = paragraph;
    while (paragraphEnd < n && !IsLineEnd(codes[paragraphEnd])) ++paragraphEnd;
    size_t start = paragraph;
    do {
      Line line{start, paragraphEnd, 0};
      if (wrap) {
        // The longest run of whole words that fits; a first word that does
        // not fit stands alone. Blanks at the break belong to neither line.
        int32_t used = 0;
        size_t i = start;
        size_t lastFit = start;
        bool anyWord = false;
        while (i < paragraphEnd) {
          size_t wordEnd = i;
          while (wordEnd < paragraphEnd && IsBlank(codes[wordEnd])) ++wordEnd;
          while (wordEnd < paragraphEnd && !IsBlank(codes[wordEnd])) ++wordEnd;
          int32_t wordWidth = Width(font, codes, i, wordEnd);
          if (anyWord && used + wordWidth > width) break;
          used += wordWidth;
          lastFit = wordEnd;
          anyWord = true;
          i = wordEnd;
          if (used > width) break;
        }
        line.end = lastFit;
        size_t next = lastFit;
        while (next < paragraphEnd && IsBlank(codes[next])) ++next;
        size_t trimmed = line.end;
        while (trimmed > line.begin && IsBlank(codes[trimmed - 1]) && next < paragraphEnd) {
          --trimmed;
        }
        line.end = trimmed;
        start = next;
      } else {
        start = paragraphEnd;
      }
      line.width = Width(font, codes, line.begin, line.end);
      lines.push_back(line);
    } while (start < paragraphEnd);
    if (paragraphEnd >= n) break;
    // A carriage return and line feed together end one line.
    paragraph = paragraphEnd + 1;
    if (codes[paragraphEnd] == '\r' && paragraph < n && codes[paragraph] == '\n') ++paragraph;
  }
  return lines;
}

// A line's coverage, ready to blend: origin is the buffer's top-left in the
// target's coordinates.
struct Coverage {
  int32_t x = 0;
  int32_t y = 0;
  int32_t width = 0;
  int32_t height = 0;
  std::vector<uint8_t> pixels;
};

Rect Intersect(const Rect& a, const Rect& b) {
  Rect r{std::max(a.left, b.left), std::max(a.top, b.top), std::min(a.right, b.right),
         std::min(a.bottom, b.bottom)};
  if (r.right < r.left) r.right = r.left;
  if (r.bottom < r.top) r.bottom = r.top;
  return r;
}

// Called with the lock held. Renders the characters [begin, end) with the
// line's top-left at (x, y); only the pixels inside bounds are kept.
Coverage RenderLine(Font* font, const Characters& characters, size_t begin, size_t end, int32_t x,
                    int32_t y, const Rect& bounds) {
  Coverage coverage;
  const std::vector<char32_t>& codes = characters.codes;
  int32_t baseline = y + font->metrics.ascent;
  // The ink can reach beyond the line's cell (slanted tails, accents above
  // capitals), so the buffer spans every glyph's bitmap as well.
  Rect ink{x, y, x, y + font->metrics.height};
  int32_t pen = x;
  for (size_t i = begin; i < end; ++i) {
    const Glyph& glyph = LoadGlyph(font, codes[i]);
    if (glyph.width > 0 && glyph.height > 0) {
      ink.left = std::min(ink.left, pen + glyph.left);
      ink.right = std::max(ink.right, pen + glyph.left + glyph.width);
      ink.top = std::min(ink.top, baseline - glyph.top);
      ink.bottom = std::max(ink.bottom, baseline - glyph.top + glyph.height);
    }
    pen += glyph.advance;
  }
  ink.right = std::max(ink.right, pen);
  Rect area = Intersect(ink, bounds);
  if (area.Width() <= 0 || area.Height() <= 0) return coverage;
  coverage.x = area.left;
  coverage.y = area.top;
  coverage.width = area.Width();
  coverage.height = area.Height();
  coverage.pixels.assign(static_cast<size_t>(coverage.width) * coverage.height, 0);
  auto plot = [&](int32_t px, int32_t py, uint8_t value) {
    if (px < area.left || px >= area.right || py < area.top || py >= area.bottom) return;
    uint8_t& target =
        coverage.pixels[static_cast<size_t>(py - area.top) * coverage.width + (px - area.left)];
    target = std::max(target, value);
  };
  auto underline = [&](int32_t from, int32_t to) {
    int32_t top = baseline + font->underlineOffset;
    for (int32_t row = top; row < top + font->underlineThickness; ++row) {
      for (int32_t column = from; column < to; ++column) plot(column, row, 255);
    }
  };
  pen = x;
  for (size_t i = begin; i < end; ++i) {
    const Glyph& glyph = LoadGlyph(font, codes[i]);
    for (int32_t row = 0; row < glyph.height; ++row) {
      for (int32_t column = 0; column < glyph.width; ++column) {
        uint8_t value = glyph.coverage[static_cast<size_t>(row) * glyph.width + column];
        if (value) plot(pen + glyph.left + column, baseline - glyph.top + row, value);
      }
    }
    if (!characters.marked.empty() && characters.marked[i]) underline(pen, pen + glyph.advance);
    pen += glyph.advance;
  }
  if (font->description.underline) underline(x, pen);
  return coverage;
}

const Rect kEverywhere{INT32_MIN / 2, INT32_MIN / 2, INT32_MAX / 2, INT32_MAX / 2};

// Called with the lock held.
bool IsLive(const Font* font) {
  return gLiveFonts && gLiveFonts->count(font) != 0;
}

Font* MakeFont(const FontDescription& description, bool stock);

Font* StockFont(Font** slot, const FontDescription& description) {
  std::lock_guard<std::mutex> hold(gLock);
  if (!*slot) *slot = MakeFont(description, true);
  return *slot;
}

// Called with the lock held. The font a context draws with; a font deleted
// while selected is traced and replaced by the system font.
Font* FontOf(const DeviceContext* dc, const char* operation);

Font* gDefaultGuiFont = nullptr;
Font* gSystemFont = nullptr;

FontDescription DefaultGuiDescription() {
  FontDescription description;
  description.size = -kDefaultGuiPixelHeight;
  description.face = kDefaultFace;
  return description;
}

FontDescription SystemDescription() {
  FontDescription description;
  description.size = -kSystemPixelHeight;
  description.weight = kFontWeightBold;
  description.face = kDefaultFace;
  return description;
}

Font* MakeFont(const FontDescription& description, bool stock) {
  // Points become pixels at 96 per inch, truncating; negative sizes are
  // pixels already.
  int64_t pixels = description.size < 0   ? -static_cast<int64_t>(description.size)
                   : description.size > 0 ? int64_t{kScreenPixelsPerInch} * description.size / 72
                                          : kDefaultGuiPixelHeight;
  if (pixels > kLargestPixelHeight) {
    Trace("CreateFont called with a size beyond 1024 pixels\n");
    return nullptr;
  }
  auto font = std::make_unique<Font>();
  font->description = description;
  font->stock = stock;
  font->pixelHeight = static_cast<int32_t>(std::max<int64_t>(pixels, 1));
  std::string face = description.face;
  size_t suffix = sizeof kEsperantoSuffix - 1;
  if (face.size() >= suffix && face.compare(face.size() - suffix, suffix, kEsperantoSuffix) == 0) {
    font->esperanto = true;
    face.resize(face.size() - suffix);
  }
  face = Trimmed(face);
  if (face.empty()) face = kDefaultFace;
  if (!ChooseFace(font.get(), face, description.weight >= 600, description.italic)) {
    Trace("CreateFont found no DejaVu font file\n");
    return nullptr;
  }
  if (!SizeFont(font.get())) {
    Trace("CreateFont could not size the face\n");
    return nullptr;
  }
  if (!gLiveFonts) gLiveFonts = new std::unordered_set<const Font*>();
  gLiveFonts->insert(font.get());
  return font.release();
}

Font* FontOf(const DeviceContext* dc, const char* operation) {
  Font* font = GetSelectedFont(dc);
  if (font && !IsLive(font)) {
    char line[160];
    std::snprintf(line, sizeof line, "%s called with a deleted font (0x%08lX) selected\n",
                  operation, static_cast<unsigned long>(reinterpret_cast<uintptr_t>(font)));
    Trace(line);
    font = nullptr;
  }
  if (!font) {
    if (!gSystemFont) gSystemFont = MakeFont(SystemDescription(), true);
    font = gSystemFont;
  }
  return font;
}

template <typename Unit>
bool MeasureLine(Font* font, const Unit* text, int32_t count, TextExtent* extent) {
  Characters characters;
  if (!extent || !Decode(font, text, count, &characters)) {
    Trace("GetTextExtent called without text or extent\n");
    return false;
  }
  extent->width = Width(font, characters.codes, 0, characters.codes.size());
  extent->height = font->metrics.height;
  return true;
}

template <typename Unit>
bool MeasureWithFont(const Font* font, const Unit* text, int32_t count, TextExtent* extent) {
  std::lock_guard<std::mutex> hold(gLock);
  if (!IsLive(font)) {
    TraceWithAddress("GetTextExtent called on invalid font (0x%08lX)\n", font);
    return false;
  }
  return MeasureLine(const_cast<Font*>(font), text, count, extent);
}

template <typename Unit>
bool MeasureWithContext(const DeviceContext* dc, const Unit* text, int32_t count,
                        TextExtent* extent) {
  if (!dc) {
    Trace("GetTextExtent called without a device context\n");
    return false;
  }
  std::lock_guard<std::mutex> hold(gLock);
  Font* font = FontOf(dc, "GetTextExtent");
  return font && MeasureLine(font, text, count, extent);
}

// Fills the opaque background and blends the coverage: outside the lock,
// since the device context has rules of its own.
void Paint(DeviceContext* dc, const std::vector<Rect>& backgrounds,
           const std::vector<Coverage>& coverages) {
  if (GetBackgroundMode(dc) == kBackgroundOpaque) {
    Color background = GetBackgroundColor(dc);
    for (const Rect& rect : backgrounds) {
      if (rect.Width() > 0 && rect.Height() > 0) FillRectangle(dc, rect, background);
    }
  }
  Color color = GetTextColor(dc);
  for (const Coverage& coverage : coverages) {
    if (coverage.pixels.empty()) continue;
    DrawCoverage(dc, coverage.x, coverage.y, coverage.pixels.data(), coverage.width,
                 coverage.height, coverage.width, color);
  }
}

template <typename Unit>
bool DrawLineAt(DeviceContext* dc, int32_t x, int32_t y, const Unit* text, int32_t count,
                const Rect* clip) {
  if (!dc) {
    Trace("DrawTextAt called without a device context\n");
    return false;
  }
  std::vector<Rect> backgrounds;
  std::vector<Coverage> coverages;
  {
    std::lock_guard<std::mutex> hold(gLock);
    Font* font = FontOf(dc, "DrawTextAt");
    if (!font) return false;
    Characters characters;
    if (!Decode(font, text, count, &characters)) {
      Trace("DrawTextAt called without text\n");
      return false;
    }
    Rect bounds = clip ? *clip : kEverywhere;
    int32_t width = Width(font, characters.codes, 0, characters.codes.size());
    backgrounds.push_back(Intersect({x, y, x + width, y + font->metrics.height}, bounds));
    coverages.push_back(RenderLine(font, characters, 0, characters.codes.size(), x, y, bounds));
  }
  Paint(dc, backgrounds, coverages);
  return true;
}

// Called with the lock held. Lays the text out in the rectangle; with
// coverages, renders each line too. Answers the text's height.
int32_t Format(Font* font, Characters* characters, Rect* rect, uint32_t flags,
               std::vector<Rect>* backgrounds, std::vector<Coverage>* coverages) {
  if (!(flags & kTextNoPrefix)) ApplyPrefixes(characters);
  std::vector<Line> lines = BreakLines(font, characters->codes, rect->Width(), flags);
  int32_t lineHeight = font->metrics.height;
  int32_t total = lineHeight * static_cast<int32_t>(lines.size());
  if (flags & kTextCalculateRectangle) {
    int32_t widest = 0;
    for (const Line& line : lines) widest = std::max(widest, line.width);
    rect->right = rect->left + widest;
    rect->bottom = rect->top + total;
    return total;
  }
  int32_t y = rect->top;
  if (flags & kTextSingleLine) {
    if (flags & kTextVerticalCenter) {
      y = rect->top + (rect->Height() - lineHeight) / 2;
    } else if (flags & kTextBottom) {
      y = rect->bottom - lineHeight;
    }
  }
  Rect bounds = (flags & kTextNoClip) ? kEverywhere : *rect;
  for (const Line& line : lines) {
    int32_t x = rect->left;
    if (flags & kTextRight) {
      x = rect->right - line.width;
    } else if (flags & kTextCenter) {
      x = rect->left + (rect->Width() - line.width) / 2;
    }
    backgrounds->push_back(Intersect({x, y, x + line.width, y + lineHeight}, bounds));
    coverages->push_back(RenderLine(font, *characters, line.begin, line.end, x, y, bounds));
    y += lineHeight;
  }
  // Placed vertically, the answer is where the text ends below the top.
  if ((flags & kTextSingleLine) && (flags & (kTextVerticalCenter | kTextBottom))) {
    return y - rect->top;
  }
  return total;
}

template <typename Unit>
int32_t DrawFormatted(DeviceContext* dc, const Unit* text, int32_t count, Rect* rect,
                      uint32_t flags) {
  if (!dc || !rect) {
    Trace("DrawText called without a device context or rectangle\n");
    return 0;
  }
  std::vector<Rect> backgrounds;
  std::vector<Coverage> coverages;
  int32_t height = 0;
  {
    std::lock_guard<std::mutex> hold(gLock);
    Font* font = FontOf(dc, "DrawText");
    if (!font) return 0;
    Characters characters;
    if (!Decode(font, text, count, &characters)) {
      Trace("DrawText called without text\n");
      return 0;
    }
    height = Format(font, &characters, rect, flags, &backgrounds, &coverages);
  }
  Paint(dc, backgrounds, coverages);
  return height;
}

template <typename Unit>
int32_t CalculateWithFont(const Font* font, const Unit* text, int32_t count, Rect* rect,
                          uint32_t flags) {
  std::lock_guard<std::mutex> hold(gLock);
  if (!IsLive(font)) {
    TraceWithAddress("CalculateTextRectangle called on invalid font (0x%08lX)\n", font);
    return 0;
  }
  Characters characters;
  if (!rect || !Decode(font, text, count, &characters)) {
    Trace("CalculateTextRectangle called without text or rectangle\n");
    return 0;
  }
  std::vector<Rect> backgrounds;
  std::vector<Coverage> coverages;
  return Format(const_cast<Font*>(font), &characters, rect, flags | kTextCalculateRectangle,
                &backgrounds, &coverages);
}

}  // namespace

Font* CreateFont(const FontDescription& description) {
  std::lock_guard<std::mutex> hold(gLock);
  return MakeFont(description, false);
}

bool DeleteFont(Font* font) {
  std::lock_guard<std::mutex> hold(gLock);
  if (!IsLive(font)) {
    TraceWithAddress("DeleteFont called on invalid font (0x%08lX)\n", font);
    return false;
  }
  if (font->stock) return true;
  gLiveFonts->erase(font);
  if (font->size) FT_Done_Size(font->size);
  delete font;
  return true;
}

bool GetFontDescription(const Font* font, FontDescription* description) {
  std::lock_guard<std::mutex> hold(gLock);
  if (!IsLive(font) || !description) {
    TraceWithAddress("GetFontDescription called on invalid font (0x%08lX)\n", font);
    return false;
  }
  *description = font->description;
  return true;
}

Font* GetDefaultGuiFont() {
  return StockFont(&gDefaultGuiFont, DefaultGuiDescription());
}

Font* GetSystemFont() {
  return StockFont(&gSystemFont, SystemDescription());
}

bool GetFontMetrics(const Font* font, FontMetrics* metrics) {
  std::lock_guard<std::mutex> hold(gLock);
  if (!IsLive(font) || !metrics) {
    TraceWithAddress("GetFontMetrics called on invalid font (0x%08lX)\n", font);
    return false;
  }
  *metrics = font->metrics;
  return true;
}

bool GetFontMetrics(const DeviceContext* dc, FontMetrics* metrics) {
  if (!dc || !metrics) {
    Trace("GetFontMetrics called without a device context or metrics\n");
    return false;
  }
  std::lock_guard<std::mutex> hold(gLock);
  Font* font = FontOf(dc, "GetFontMetrics");
  if (!font) return false;
  *metrics = font->metrics;
  return true;
}

bool GetTextExtent(const Font* font, const char* text, int32_t count, TextExtent* extent) {
  return MeasureWithFont(font, text, count, extent);
}
bool GetTextExtent(const Font* font, const char16_t* text, int32_t count, TextExtent* extent) {
  return MeasureWithFont(font, text, count, extent);
}
bool GetTextExtent(const DeviceContext* dc, const char* text, int32_t count, TextExtent* extent) {
  return MeasureWithContext(dc, text, count, extent);
}
bool GetTextExtent(const DeviceContext* dc, const char16_t* text, int32_t count,
                   TextExtent* extent) {
  return MeasureWithContext(dc, text, count, extent);
}

bool DrawTextAt(DeviceContext* dc, int32_t x, int32_t y, const char* text, int32_t count,
                const Rect* clip) {
  return DrawLineAt(dc, x, y, text, count, clip);
}
bool DrawTextAt(DeviceContext* dc, int32_t x, int32_t y, const char16_t* text, int32_t count,
                const Rect* clip) {
  return DrawLineAt(dc, x, y, text, count, clip);
}

int32_t DrawText(DeviceContext* dc, const char* text, int32_t count, Rect* rect, uint32_t flags) {
  return DrawFormatted(dc, text, count, rect, flags);
}
int32_t DrawText(DeviceContext* dc, const char16_t* text, int32_t count, Rect* rect,
                 uint32_t flags) {
  return DrawFormatted(dc, text, count, rect, flags);
}

int32_t CalculateTextRectangle(const Font* font, const char* text, int32_t count, Rect* rect,
                               uint32_t flags) {
  return CalculateWithFont(font, text, count, rect, flags);
}
int32_t CalculateTextRectangle(const Font* font, const char16_t* text, int32_t count, Rect* rect,
                               uint32_t flags) {
  return CalculateWithFont(font, text, count, rect, flags);
}
