// vorlan-gallery: every standard control (in English and in Esperanto),
// fonts in several sizes and styles, a shaped window and the message boxes.
// Without options the windows open on the desktop; with --save DIR the
// gallery runs headless and saves one PNG picture per screen into DIR.

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/controls.h"
#include "platform/dialog.h"
#include "platform/font.h"
#include "platform/graphics.h"
#include "platform/input.h"
#include "platform/messagebox.h"
#include "platform/picture.h"
#include "platform/region.h"
#include "platform/resource.h"
#include "platform/window.h"

namespace {

constexpr uint32_t kControlsDialog = 100;  // English; Esperanto at 101
constexpr uint32_t kMessageBoxButton = 1050;

const char16_t kFontsClassName[] = u"GalleryFonts";
const char16_t kShapeClassName[] = u"GalleryShape";

std::string g_saveFolder;  // empty: on the desktop
int g_saved = 0;
bool g_failed = false;

void Save(WindowHandle window, const char* name) {
  char file[64];
  std::snprintf(file, sizeof(file), "%02d-%s.png", ++g_saved, name);
  std::string path = g_saveFolder + "/" + file;
  if (SaveWindowPicture(window, path.c_str())) {
    std::printf("%s\n", path.c_str());
  } else {
    std::fprintf(stderr, "vorlan-gallery: could not save %s\n", path.c_str());
    g_failed = true;
  }
}

// The message boxes the gallery shows, one per icon.
struct BoxSample {
  uint32_t type;
  const char16_t* caption;
  const char16_t* text;
  const char* name;
};
const BoxSample kBoxes[] = {
    {kMessageBoxOk | kMessageBoxIconInformation, u"Vorlan",
     u"The game was installed on the desktop and on the handheld.", "messagebox-information"},
    {kMessageBoxYesNoCancel | kMessageBoxIconQuestion, u"Vorlan",
     u"\u0108u vi volas konservi la ludon anta\u016D ol fini?", "messagebox-question"},
    {kMessageBoxOkCancel | kMessageBoxIconWarning, u"Vorlan Setup",
     u"The handheld does not answer. Connect it and press OK, or Cancel to install on the "
     u"desktop alone.",
     "messagebox-warning"},
    {kMessageBoxOkCancel | kMessageBoxIconStop, u"Memory Manager",
     u"An invalid address was deleted.\n\n   Address: 0x00001234\n   Current: main.cpp line 42"
     u"\n\nClick OK to dismiss\nClick X to debug",
     "messagebox-stop"},
    {kMessageBoxAbortRetryIgnore, u"Vorlan", u"The file could not be copied.",
     "messagebox-buttons"},
};
size_t g_nextBox = 0;

// On the desktop the person answers; saving, the picture is taken and the
// first button pressed.
void SaveAndAnswer(WindowHandle box, uint32_t) {
  Save(box, kBoxes[g_nextBox].name);
  InjectKey(kKeyReturn, u'\r');
}

// Controls.

MessageResult ControlsProcedure(WindowHandle dialog, uint32_t message, MessageWord word,
                                MessageLong value) {
  bool esperanto = value != 0;
  switch (message) {
    case kMessageInitDialog:
      CheckDialogButton(dialog, 1015, kChecked);
      CheckDialogButton(dialog, 1021, kChecked);
      CheckDialogButton(dialog, 1025, kChecked);
      CheckDialogButton(dialog, 1032, kChecked);
      CheckDialogButton(dialog, 1034, kChecked);
      AddDialogItemEntry(dialog, 1013, u"English", 1033);
      AddDialogItemEntry(dialog, 1013, u"Esperanto", 0);
      SetDialogItemSelection(dialog, 1013, esperanto ? 1 : 0);
      AddDialogItemEntry(dialog, 1040, esperanto ? u"Ligno" : u"Wood", 0);
      AddDialogItemEntry(dialog, 1040, esperanto ? u"\u015Atono" : u"Stone", 1);
      AddDialogItemEntry(dialog, 1040, esperanto ? u"Vitro" : u"Glass", 2);
      AddDialogItemEntry(dialog, 1040, esperanto ? u"Marmoro" : u"Marble", 3);
      SetDialogItemSelection(dialog, 1040, 1);
      return 1;
    case kMessageCommand:
      if (LowWord(word) == kMessageBoxButton) {
        const BoxSample& box = kBoxes[g_nextBox];
        RunMessageBox(dialog, box.text, box.caption, box.type);
        g_nextBox = (g_nextBox + 1) % std::size(kBoxes);
        return 1;
      }
      if (LowWord(word) == kCommandOk || LowWord(word) == kCommandCancel) {
        if (g_saveFolder.empty()) PostQuit(0);
        return 1;
      }
      return 0;
    default:
      return 0;
  }
}

WindowHandle CreateControls(uint32_t id, bool esperanto) {
  ResourceHandle resource =
      FindResource(GetProgramResourceModule(), kResourceTypeDialog, static_cast<uint16_t>(id));
  if (!resource) return {};
  return CreateDialogFromTemplate(LoadResourceData(resource), GetResourceSize(resource), {},
                                  ControlsProcedure, esperanto ? 1 : 0);
}

// Fonts.

struct FontSample {
  const char* face;
  int32_t points;
  int32_t weight;
  bool italic;
  bool underline;
  const char* label;
};
const FontSample kFontSamples[] = {
    {"DejaVu Sans", 8, kFontWeightNormal, false, false, "Sans 8 pt"},
    {"DejaVu Sans", 10, kFontWeightNormal, false, false, "Sans 10 pt"},
    {"DejaVu Sans", 12, kFontWeightNormal, false, false, "Sans 12 pt"},
    {"DejaVu Sans", 16, kFontWeightNormal, false, false, "Sans 16 pt"},
    {"DejaVu Sans", 12, kFontWeightBold, false, false, "Sans bold"},
    {"DejaVu Sans", 12, kFontWeightNormal, true, false, "Sans italic"},
    {"DejaVu Sans", 12, kFontWeightBold, true, true, "Bold italic underlined"},
    {"DejaVu Serif", 12, kFontWeightNormal, false, false, "Serif 12 pt"},
    {"DejaVu Sans Mono", 12, kFontWeightNormal, false, false, "Mono 12 pt"},
    {"DejaVu Sans Condensed", 12, kFontWeightNormal, false, false, "Condensed 12 pt"},
    {"Arial", 12, kFontWeightNormal, false, false, "Arial (drawn as Sans)"},
};

// The Esperanto letters as UTF-16, and the same sentence as the ISO 8859-3
// bytes a face ending in " Eo" reads.
const char16_t kEsperantoWide[] =
    u"\u0108iu\u0135a\u016Dde e\u0125o\u015Dan\u011Do - \u0124\u0134\u015C\u016C";
const char kEsperantoBytes[] =
    "\xC6iu\xBC"
    "a\xFD"
    "de e\xB6o\xFE"
    "an\xF8o - \xA6\xAC\xDE\xDD";

void PaintFonts(WindowHandle window) {
  PaintInfo paint;
  DeviceContext* dc = BeginPaint(window, &paint);
  if (!dc) return;
  Rect client;
  GetClientRectangle(window, &client);
  FillRectangle(dc, client, kColorWindow);
  SetBackgroundMode(dc, kBackgroundTransparent);
  Font* labelFont = GetDefaultGuiFont();
  int32_t y = 8;
  for (const FontSample& sample : kFontSamples) {
    FontDescription description;
    description.face = sample.face;
    description.size = sample.points;
    description.weight = sample.weight;
    description.italic = sample.italic;
    description.underline = sample.underline;
    Font* font = CreateFont(description);
    if (!font) continue;
    SelectFont(dc, labelFont);
    SetTextColor(dc, kColorGrayText);
    DrawTextAt(dc, 8, y + 3, sample.label, -1, nullptr);
    SelectFont(dc, font);
    SetTextColor(dc, kColorWindowText);
    DrawTextAt(dc, 150, y, kEsperantoWide, -1, nullptr);
    FontMetrics metrics;
    GetFontMetrics(font, &metrics);
    SelectFont(dc, nullptr);
    DeleteFont(font);
    y += metrics.height + 6;
  }
  // 8-bit text through an " Eo" face, and the drawing flags.
  FontDescription eo;
  eo.face = "DejaVu Sans Eo";
  eo.size = 12;
  Font* eoFont = CreateFont(eo);
  if (eoFont) {
    SelectFont(dc, labelFont);
    SetTextColor(dc, kColorGrayText);
    DrawTextAt(dc, 8, y + 3, "8-bit, face \"Sans Eo\"", -1, nullptr);
    SelectFont(dc, eoFont);
    SetTextColor(dc, MakeColor(0x20, 0x50, 0xA0));
    DrawTextAt(dc, 150, y, kEsperantoBytes, -1, nullptr);
    y += 26;
    SelectFont(dc, nullptr);
    DeleteFont(eoFont);
  }
  SelectFont(dc, labelFont);
  SetTextColor(dc, kColorWindowText);
  const struct {
    uint32_t flags;
    const char16_t* text;
  } boxes[] = {
      {kTextLeft | kTextSingleLine | kTextVerticalCenter, u"Left, centred vertically"},
      {kTextCenter | kTextSingleLine | kTextVerticalCenter, u"Centred"},
      {kTextRight | kTextSingleLine | kTextVerticalCenter, u"Right"},
      {kTextWordBreak,
       u"Word wrap: long lines break at the blanks to fit the box, "
       u"\u0109iu vorto sur sia loko."},
  };
  int32_t boxWidth = (client.Width() - 16 - 3 * 6) / 4;
  for (int32_t i = 0; i < 4; ++i) {
    Rect box{8 + i * (boxWidth + 6), y, 8 + i * (boxWidth + 6) + boxWidth, y + 54};
    FillRectangle(dc, box, kColorFace);
    DrawText(dc, boxes[i].text, -1, &box, boxes[i].flags | kTextNoPrefix);
  }
  SetBackgroundMode(dc, kBackgroundOpaque);
  SetBackgroundColor(dc, MakeColor(0xFF, 0xE8, 0x80));
  DrawTextAt(dc, 8, y + 62, u"Opaque background, \"&\" drawn as it stands", -1, nullptr);
  Rect prefix{client.Width() / 2, y + 62, client.right - 8, y + 80};
  SetBackgroundMode(dc, kBackgroundTransparent);
  DrawText(dc, u"&Prefix marks the access key", -1, &prefix, kTextLeft | kTextSingleLine);
  SelectFont(dc, nullptr);
  EndPaint(window, &paint);
}

MessageResult FontsProcedure(WindowHandle window, uint32_t message, MessageWord word,
                             MessageLong value) {
  if (message == kMessagePaint) {
    PaintFonts(window);
    return 0;
  }
  return DefaultWindowProcedure(window, message, word, value);
}

// The shaped window: a disc with a tab below it.

constexpr int32_t kShapeSize = 240;

Region* ShapeRegion() {
  std::vector<Rect> rows;
  const double radius = 100.0;
  const double centre = 110.0;
  for (int32_t y = 0; y < 2 * static_cast<int32_t>(centre); ++y) {
    double dy = y + 0.5 - centre;
    if (std::fabs(dy) >= radius) continue;
    auto half = static_cast<int32_t>(std::lround(std::sqrt(radius * radius - dy * dy)));
    rows.push_back(Rect{static_cast<int32_t>(kShapeSize / 2) - half, y,
                        static_cast<int32_t>(kShapeSize / 2) + half, y + 1});
  }
  rows.push_back(Rect{80, 200, 160, kShapeSize});
  return CreateRegionFromRectangles(rows.data(), static_cast<int32_t>(rows.size()));
}

MessageResult ShapeProcedure(WindowHandle window, uint32_t message, MessageWord word,
                             MessageLong value) {
  switch (message) {
    case kMessagePaint: {
      PaintInfo paint;
      DeviceContext* dc = BeginPaint(window, &paint);
      if (!dc) return 0;
      for (int32_t y = 0; y < kShapeSize; ++y) {
        auto shade = static_cast<uint8_t>(60 + y * 140 / kShapeSize);
        FillRectangle(dc, Rect{0, y, kShapeSize, y + 1}, MakeColor(30, shade, 200 - shade / 2));
      }
      FontDescription description;
      description.size = 16;
      description.weight = kFontWeightBold;
      Font* font = CreateFont(description);
      SelectFont(dc, font);
      SetBackgroundMode(dc, kBackgroundTransparent);
      SetTextColor(dc, kColorHighlight);
      Rect text{0, 80, kShapeSize, 140};
      DrawText(dc, u"Shaped\nwindow", -1, &text, kTextCenter);
      SelectFont(dc, nullptr);
      DeleteFont(font);
      EndPaint(window, &paint);
      return 0;
    }
    case kMessageLeftButtonUp:
      // A click on the disc (outside it there is no window to click) closes it.
      DestroyWindow(window);
      return 0;
    default:
      return DefaultWindowProcedure(window, message, word, value);
  }
}

bool RegisterGalleryClasses() {
  WindowClass fonts;
  fonts.name = kFontsClassName;
  fonts.procedure = FontsProcedure;
  fonts.cursor = 1;
  WindowClass shape;
  shape.name = kShapeClassName;
  shape.procedure = ShapeProcedure;
  shape.cursor = 1;
  return RegisterWindowClass(fonts) && RegisterWindowClass(shape);
}

WindowHandle CreateFontsWindow(int32_t x, int32_t y) {
  return CreateWindowOfClass(kFontsClassName, u"Vorlan gallery - fonts",
                             kStylePopup | kStyleCaption | kStyleSystemMenu, x, y, 640, 470, {}, 0,
                             nullptr);
}

WindowHandle CreateShapeWindow(int32_t x, int32_t y) {
  WindowHandle window =
      CreateWindowOfClass(kShapeClassName, u"Vorlan gallery - shaped window", kStylePopup, x, y,
                          kShapeSize, kShapeSize, {}, 0, nullptr);
  if (window) SetWindowRegion(window, ShapeRegion(), false);
  return window;
}

void Show(WindowHandle window) {
  ShowWindow(window, kShowNormal);
  DispatchPendingMessages();
}

int SaveScreens() {
  WindowHandle english = CreateControls(kControlsDialog, false);
  WindowHandle esperanto = CreateControls(kControlsDialog + 1, true);
  if (!english || !esperanto) {
    std::fprintf(stderr, "vorlan-gallery: the controls dialogs could not be made\n");
    return 1;
  }
  Show(english);
  Save(english, "controls-english");
  DestroyWindow(english);
  Show(esperanto);
  Save(esperanto, "controls-esperanto");
  // The drop-down list open, then a click in the list box and on a check box
  // to show the pressed and chosen states.
  SendDialogItemMessage(esperanto, 1040, kMessageComboShowDropDown, 1, 0);
  DispatchPendingMessages();
  WindowHandle dropList = GetCapture();
  if (dropList) {
    Save(dropList, "dropdown-list");
    InjectClick(dropList, 10, 5);
    DispatchPendingMessages();
  }
  WindowHandle sound = GetDialogItem(esperanto, 1032);
  InjectClick(sound, 5, 5);
  InjectMouse(GetDialogItem(esperanto, 1050), kMessageLeftButtonDown, 10, 10);
  DispatchPendingMessages();
  Save(esperanto, "controls-after-clicks");
  InjectMouse(GetDialogItem(esperanto, 1050), kMessageLeftButtonUp, 200, 200);
  DispatchPendingMessages();
  DestroyWindow(esperanto);

  WindowHandle fonts = CreateFontsWindow(0, 0);
  if (fonts) {
    Show(fonts);
    Save(fonts, "fonts");
    DestroyWindow(fonts);
  }
  WindowHandle shape = CreateShapeWindow(0, 0);
  if (shape) {
    Show(shape);
    Save(shape, "shaped-window");
    DestroyWindow(shape);
  }
  SetMessageBoxObserver(SaveAndAnswer);
  for (g_nextBox = 0; g_nextBox < std::size(kBoxes); ++g_nextBox) {
    const BoxSample& box = kBoxes[g_nextBox];
    RunMessageBox({}, box.text, box.caption, box.type);
  }
  SetMessageBoxObserver(nullptr);
  return g_failed ? 1 : 0;
}

int ShowOnDesktop() {
  WindowHandle english = CreateControls(kControlsDialog, false);
  WindowHandle esperanto = CreateControls(kControlsDialog + 1, true);
  if (!english || !esperanto) {
    std::fprintf(stderr, "vorlan-gallery: the controls dialogs could not be made\n");
    return 1;
  }
  Rect rect;
  GetWindowRectangle(english, &rect);
  MoveWindow(english, 40, 40, rect.Width(), rect.Height());
  MoveWindow(esperanto, 60 + rect.Width(), 40, rect.Width(), rect.Height());
  Show(english);
  Show(esperanto);
  WindowHandle fonts = CreateFontsWindow(40, 80 + rect.Height());
  if (fonts) Show(fonts);
  WindowHandle shape = CreateShapeWindow(700, 80 + rect.Height());
  if (shape) Show(shape);
  // Both controls pages end the gallery with Done, Cancel or their close box.
  Message message;
  while (GetNextMessage(&message)) DispatchWindowMessage(message);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--save") == 0 && i + 1 < argc) {
      g_saveFolder = argv[++i];
    } else {
      std::fprintf(stderr,
                   "usage: vorlan-gallery [--save FOLDER]\n"
                   "  Shows every control, fonts, a shaped window and the message boxes;\n"
                   "  with --save, runs without a display and saves one PNG per screen.\n");
      return 2;
    }
  }
  if (!g_saveFolder.empty()) {
    std::error_code error;
    std::filesystem::create_directories(g_saveFolder, error);
    if (error) {
      std::fprintf(stderr, "vorlan-gallery: could not make %s: %s\n", g_saveFolder.c_str(),
                   error.message().c_str());
      return 1;
    }
    // Saving never needs a display; the choice is made at the first window.
    setenv("VORLAN_BACKEND", "headless", 1);
  }
  if (!RegisterGalleryClasses()) {
    std::fprintf(stderr, "vorlan-gallery: the window classes could not be registered\n");
    return 1;
  }
  return g_saveFolder.empty() ? ShowOnDesktop() : SaveScreens();
}
