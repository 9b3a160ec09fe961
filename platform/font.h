#pragma once
// Fonts and text: faces drawn through FreeType from the DejaVu fonts, the
// measurement of a line, and text drawing into device contexts.
//
// A face name chooses a DejaVu family ("DejaVu Sans", "DejaVu Sans Mono",
// "DejaVu Serif", "DejaVu Sans Condensed", "DejaVu Serif Condensed", compared
// without case). Any other name ("Arial", "Tahoma", "MS Sans Serif" ...) has
// no font file of its own and is drawn with DejaVu Sans, in the weight and
// slant asked for. A face name ending in " Eo" (compared with case) is that
// face reading its 8-bit text as ISO 8859-3 instead of Windows-1252: that is
// how the Esperanto letters stored as ISO 8859-3 bytes reach the screen. Such
// a face shows UTF-16 units 0xA0 to 0xFF through ISO 8859-3 as well, since
// that is what 8-bit text widened through Windows-1252 carries; the real
// Unicode letters are drawn as they are.
//
// The screen has 96 pixels per inch. Glyphs have whole-pixel advances and
// no kerning, so the width of a text is the sum of its characters' widths.
// Font handles are opaque pointers; fonts may be used from any thread.

#include <cstdint>
#include <string>

#include "platform/graphics.h"

constexpr int32_t kScreenPixelsPerInch = 96;

constexpr int32_t kFontWeightNormal = 400;
constexpr int32_t kFontWeightBold = 700;  // 600 and above draws the bold face

enum FontQuality : uint8_t {
  kFontQualityAntialiased = 0,
  kFontQualityNonAntialiased = 1,
};

struct FontDescription {
  // Positive: points at the screen's 96 pixels per inch, truncating; negative:
  // the character height in pixels; 0: the default GUI font's size.
  int32_t size = 0;
  int32_t weight = kFontWeightNormal;
  bool italic = false;
  bool underline = false;
  FontQuality quality = kFontQualityAntialiased;
  std::string face;  // empty: the default GUI font's face
};

// Null (traced) for a size beyond 1024 pixels or when no DejaVu font file
// can be read.
Font* CreateFont(const FontDescription& description);
// Deleting a stock font does nothing. A font must not be selected into a
// device context when it is deleted; one that is found there afterwards is
// traced and replaced by the system font.
bool DeleteFont(Font* font);
// The description the font was created from.
bool GetFontDescription(const Font* font, FontDescription* description);

// Stock fonts, never deleted. The default GUI font is DejaVu Sans of 11
// pixels; the system font, what a device context draws with until a font is
// selected, is DejaVu Sans Bold of 13 pixels.
Font* GetDefaultGuiFont();
Font* GetSystemFont();

// Lines of text are height = ascent + descent pixels high, the baseline
// ascent pixels below the top.
struct FontMetrics {
  int32_t height = 0;
  int32_t ascent = 0;
  int32_t descent = 0;
  int32_t internalLeading = 0;  // height less the character height
  int32_t averageCharacterWidth = 0;
  int32_t maximumCharacterWidth = 0;
};
bool GetFontMetrics(const Font* font, FontMetrics* metrics);
bool GetFontMetrics(const DeviceContext* dc, FontMetrics* metrics);

// Text arguments: a count of -1 reads up to the NUL. 8-bit text is decoded
// as the font's face says; UTF-16 pairs of surrogates are one character.
// Control characters other than tabs (drawn as a blank) take no room.

// The width and height of one line (no line breaks, "&" measured as it
// stands, the way DrawTextAt draws it).
struct TextExtent {
  int32_t width = 0;
  int32_t height = 0;
};
bool GetTextExtent(const Font* font, const char* text, int32_t count, TextExtent* extent);
bool GetTextExtent(const Font* font, const char16_t* text, int32_t count, TextExtent* extent);
// With the font selected into the context.
bool GetTextExtent(const DeviceContext* dc, const char* text, int32_t count, TextExtent* extent);
bool GetTextExtent(const DeviceContext* dc, const char16_t* text, int32_t count,
                   TextExtent* extent);

// Draws one line with its top-left corner at (x, y) in the context's font and
// text colour. An opaque background mode first fills the line's extent with
// the background colour. Nothing is drawn outside clip when one is given.
bool DrawTextAt(DeviceContext* dc, int32_t x, int32_t y, const char* text, int32_t count,
                const Rect* clip);
bool DrawTextAt(DeviceContext* dc, int32_t x, int32_t y, const char16_t* text, int32_t count,
                const Rect* clip);

// Formatted drawing into a rectangle.
enum TextFlags : uint32_t {
  kTextLeft = 0x0000,
  kTextCenter = 0x0001,
  kTextRight = 0x0002,
  kTextVerticalCenter = 0x0004,  // with kTextSingleLine only
  kTextBottom = 0x0008,          // with kTextSingleLine only
  // Breaks lines at blanks to fit the rectangle's width; a word wider than
  // the rectangle keeps a line of its own.
  kTextWordBreak = 0x0010,
  // Line feeds and carriage returns do not break the line.
  kTextSingleLine = 0x0020,
  kTextNoClip = 0x0100,
  // Draws nothing: sets the rectangle's right to its left plus the widest
  // line and its bottom to its top plus the text's height.
  kTextCalculateRectangle = 0x0400,
  // Without this flag "&" marks the next character, which is underlined, and
  // "&&" stands for "&" itself, as controls show their access keys.
  kTextNoPrefix = 0x0800,
};
// Answers the height of the text (lines times the line height); for a single
// line placed by kTextVerticalCenter or kTextBottom, the distance from the
// rectangle's top to the bottom of the text. 0 on failure.
// Lines end at line feeds, carriage returns or both together.
int32_t DrawText(DeviceContext* dc, const char* text, int32_t count, Rect* rect, uint32_t flags);
int32_t DrawText(DeviceContext* dc, const char16_t* text, int32_t count, Rect* rect,
                 uint32_t flags);
// What kTextCalculateRectangle does, for a font that need not be selected
// anywhere.
int32_t CalculateTextRectangle(const Font* font, const char* text, int32_t count, Rect* rect,
                               uint32_t flags);
int32_t CalculateTextRectangle(const Font* font, const char16_t* text, int32_t count, Rect* rect,
                               uint32_t flags);
