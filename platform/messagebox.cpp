#include "platform/messagebox.h"

#include <algorithm>
#include <atomic>
#include <cstring>
#include <mutex>
#include <string>
#include <vector>

#include "platform/controls.h"
#include "platform/encoding.h"
#include "platform/font.h"
#include "platform/graphics.h"
#include "platform/screen.h"
#include "platform/trace.h"

namespace {

const char16_t kMessageBoxClassName[] = u"MessageBoxWindow";

constexpr int32_t kMargin = 12;
constexpr int32_t kIconSize = 32;
constexpr int32_t kTextWidth = 360;
constexpr int32_t kButtonWidth = 75;
constexpr int32_t kButtonHeight = 23;
constexpr int32_t kButtonGap = 8;
constexpr int32_t kMinimumWidth = 200;

std::atomic<MessageBoxObserver> g_observer{nullptr};

struct ButtonSpec {
  uint16_t id;
  const char16_t* label;
};

std::vector<ButtonSpec> ButtonsOf(uint32_t type) {
  switch (type & kMessageBoxButtonMask) {
    case kMessageBoxOkCancel:
      return {{kCommandOk, u"OK"}, {kCommandCancel, u"Cancel"}};
    case kMessageBoxAbortRetryIgnore:
      return {{kCommandAbort, u"&Abort"}, {kCommandRetry, u"&Retry"}, {kCommandIgnore, u"&Ignore"}};
    case kMessageBoxYesNoCancel:
      return {{kCommandYes, u"&Yes"}, {kCommandNo, u"&No"}, {kCommandCancel, u"Cancel"}};
    case kMessageBoxYesNo:
      return {{kCommandYes, u"&Yes"}, {kCommandNo, u"&No"}};
    case kMessageBoxRetryCancel:
      return {{kCommandRetry, u"&Retry"}, {kCommandCancel, u"Cancel"}};
    default:
      return {{kCommandOk, u"OK"}};
  }
}

// What the close box and Escape answer: Cancel when there is one, OK when
// it stands alone, otherwise nothing (the box stays).
int32_t CloseAnswer(uint32_t type) {
  for (const ButtonSpec& button : ButtonsOf(type)) {
    if (button.id == kCommandCancel) return kCommandCancel;
  }
  return (type & kMessageBoxButtonMask) == kMessageBoxOk ? kCommandOk : 0;
}

struct BoxState {
  uint32_t type = 0;
  std::u16string text;
  Rect textRect;
  int32_t stripTop = 0;
  Font* font = nullptr;
  Font* iconFont = nullptr;
  int32_t answer = 0;
  bool ended = false;
};

BoxState* StateOf(WindowHandle box) {
  return reinterpret_cast<BoxState*>(GetWindowWord(box, 0));
}

void Finish(WindowHandle box, BoxState* state, int32_t answer) {
  if (answer == 0 || state->ended) return;
  state->answer = answer;
  state->ended = true;
  PostWindowMessage(box, kMessageNull, 0, 0);
}

template <class InsideTest>
void DrawShape(DeviceContext* dc, const Rect& box, Color color, InsideTest inside) {
  int32_t width = box.Width();
  int32_t height = box.Height();
  std::vector<uint8_t> coverage(static_cast<size_t>(width) * height);
  for (int32_t y = 0; y < height; ++y) {
    for (int32_t x = 0; x < width; ++x) {
      int32_t hits = 0;
      for (int32_t sy = 0; sy < 4; ++sy) {
        for (int32_t sx = 0; sx < 4; ++sx) {
          if (inside(x + (sx + 0.5) / 4.0, y + (sy + 0.5) / 4.0)) ++hits;
        }
      }
      coverage[static_cast<size_t>(y) * width + x] = static_cast<uint8_t>(hits * 255 / 16);
    }
  }
  DrawCoverage(dc, box.left, box.top, coverage.data(), width, height, width, color);
}

bool NearSegment(double px, double py, double ax, double ay, double bx, double by, double radius) {
  double dx = bx - ax;
  double dy = by - ay;
  double t = std::clamp(((px - ax) * dx + (py - ay) * dy) / (dx * dx + dy * dy), 0.0, 1.0);
  double ex = ax + t * dx - px;
  double ey = ay + t * dy - py;
  return ex * ex + ey * ey <= radius * radius;
}

void DrawIcon(DeviceContext* dc, const BoxState* state, int32_t left, int32_t top) {
  uint32_t icon = state->type & kMessageBoxIconMask;
  Rect box{left, top, left + kIconSize, top + kIconSize};
  auto circle = [](double x, double y) {
    double dx = x - 16.0, dy = y - 16.0;
    return dx * dx + dy * dy <= 15.5 * 15.5;
  };
  const char16_t* glyph = nullptr;
  Color glyphColor = kColorHighlight;
  switch (icon) {
    case kMessageBoxIconStop:
      DrawShape(dc, box, MakeColor(0xD0, 0x30, 0x28), circle);
      DrawShape(dc, box, kColorHighlight, [](double x, double y) {
        return NearSegment(x, y, 10.5, 10.5, 21.5, 21.5, 2.0) ||
               NearSegment(x, y, 21.5, 10.5, 10.5, 21.5, 2.0);
      });
      return;
    case kMessageBoxIconQuestion:
      DrawShape(dc, box, MakeColor(0x30, 0x70, 0xD0), circle);
      glyph = u"?";
      break;
    case kMessageBoxIconWarning:
      DrawShape(dc, box, MakeColor(0xF0, 0xC0, 0x20), [](double x, double y) {
        // A triangle with its point up: inside all three edges.
        auto side = [](double ax, double ay, double bx, double by, double px, double py) {
          return (bx - ax) * (py - ay) - (by - ay) * (px - ax);
        };
        return side(16, 1.5, 31, 29.5, x, y) >= 0 && side(31, 29.5, 1, 29.5, x, y) >= 0 &&
               side(1, 29.5, 16, 1.5, x, y) >= 0;
      });
      glyph = u"!";
      glyphColor = kColorWindowText;
      box.top += 5;
      break;
    default:
      DrawShape(dc, box, MakeColor(0x30, 0x70, 0xD0), circle);
      glyph = u"i";
      break;
  }
  Font* previous = SelectFont(dc, state->iconFont);
  SetBackgroundMode(dc, kBackgroundTransparent);
  SetTextColor(dc, glyphColor);
  DrawText(dc, glyph, 1, &box, kTextCenter | kTextVerticalCenter | kTextSingleLine | kTextNoPrefix);
  SelectFont(dc, previous);
}

void PaintBox(WindowHandle box, BoxState* state) {
  PaintInfo paint;
  DeviceContext* dc = BeginPaint(box, &paint);
  if (!dc) return;
  Rect client;
  GetClientRectangle(box, &client);
  FillRectangle(dc, Rect{0, 0, client.right, state->stripTop}, kColorWindow);
  FillRectangle(dc, Rect{0, state->stripTop, client.right, client.bottom}, kColorFace);
  FillRectangle(dc, Rect{0, state->stripTop, client.right, state->stripTop + 1}, kColorShadow);
  if (state->type & kMessageBoxIconMask) DrawIcon(dc, state, kMargin, kMargin);
  Font* previous = SelectFont(dc, state->font);
  SetBackgroundMode(dc, kBackgroundTransparent);
  SetTextColor(dc, kColorWindowText);
  Rect text = state->textRect;
  DrawText(dc, state->text.c_str(), static_cast<int32_t>(state->text.size()), &text,
           kTextWordBreak | kTextNoPrefix);
  SelectFont(dc, previous);
  EndPaint(box, &paint);
}

MessageResult BoxProcedure(WindowHandle box, uint32_t message, MessageWord word,
                           MessageLong value) {
  BoxState* state = StateOf(box);
  if (!state) return DefaultWindowProcedure(box, message, word, value);
  switch (message) {
    case kMessagePaint:
      PaintBox(box, state);
      return 0;
    case kMessageEraseBackground:
      return 1;
    case kMessageCommand: {
      uint16_t id = LowWord(word);
      bool isButton = false;
      for (const ButtonSpec& button : ButtonsOf(state->type)) isButton |= button.id == id;
      if (isButton) {
        Finish(box, state, id);
      } else if (id == kCommandCancel) {
        Finish(box, state, CloseAnswer(state->type));  // Escape on a box without Cancel
      }
      return 0;
    }
    case kMessageClose:
      Finish(box, state, CloseAnswer(state->type));
      return 0;
    default:
      return DefaultWindowProcedure(box, message, word, value);
  }
}

void EnsureBoxClass() {
  static std::once_flag once;
  std::call_once(once, [] {
    RegisterStandardControls();
    WindowClass description;
    description.name = kMessageBoxClassName;
    description.procedure = BoxProcedure;
    description.windowWords = 1;
    description.cursor = 1;
    RegisterWindowClass(description);
  });
}

// Paints a window and its children now, so that an observer sees the box.
void PaintNow(WindowHandle window) {
  UpdateWindow(window);
  for (WindowHandle child = GetFirstChild(window); child; child = GetNextSibling(child)) {
    PaintNow(child);
  }
}

}  // namespace

int32_t RunMessageBox(WindowHandle owner, const char16_t* text, const char16_t* caption,
                      uint32_t type) {
  std::u16string body = text ? text : u"";
  std::u16string title = caption ? caption : u"Error";
  std::vector<ButtonSpec> buttons = ButtonsOf(type);
  MessageBoxObserver observer = g_observer.load(std::memory_order_acquire);
  if (!observer && std::strcmp(GetScreenBackend()->Name(), "headless") == 0) {
    std::string line = "Message box \"" + Utf16ToUtf8(title) + "\": " + Utf16ToUtf8(body) + "\n";
    TraceOutput(line.c_str());
    return buttons.front().id;
  }
  EnsureBoxClass();

  BoxState state;
  state.type = type;
  state.text = body;
  state.font = GetDefaultGuiFont();
  FontDescription iconFace;
  iconFace.size = -24;
  iconFace.weight = kFontWeightBold;
  iconFace.face = "DejaVu Sans";
  state.iconFont = CreateFont(iconFace);
  if (!state.iconFont) state.iconFont = GetSystemFont();

  // Lay the box out around its text.
  bool hasIcon = (type & kMessageBoxIconMask) != 0;
  int32_t textLeft = kMargin + (hasIcon ? kIconSize + kMargin : 0);
  Rect measured{0, 0, kTextWidth, 0};
  CalculateTextRectangle(state.font, body.c_str(), static_cast<int32_t>(body.size()), &measured,
                         kTextWordBreak | kTextNoPrefix);
  int32_t textHeight = measured.Height();
  int32_t textTop =
      kMargin + (hasIcon && textHeight < kIconSize ? (kIconSize - textHeight) / 2 : 0);
  state.textRect = Rect{textLeft, textTop, textLeft + measured.Width(), textTop + textHeight};
  int32_t count = static_cast<int32_t>(buttons.size());
  int32_t buttonsWidth = count * kButtonWidth + (count - 1) * kButtonGap;
  int32_t width =
      std::max({state.textRect.right + kMargin, buttonsWidth + 2 * kMargin, kMinimumWidth});
  int32_t contentBottom = std::max(state.textRect.bottom, hasIcon ? kMargin + kIconSize : 0);
  state.stripTop = contentBottom + kMargin;
  int32_t buttonTop = state.stripTop + 10;
  int32_t height = buttonTop + kButtonHeight + 10;

  Rect area = GetScreenBackend()->GetWorkArea();
  Rect ownerRect;
  if (owner && GetWindowRectangle(owner, &ownerRect)) area = ownerRect;
  int32_t x = area.left + (area.Width() - width) / 2;
  int32_t y = area.top + (area.Height() - height) / 2;

  bool ownerDisabled = false;
  if (owner && IsWindowEnabled(owner)) {
    EnableWindow(owner, false);
    ownerDisabled = true;
  }
  WindowHandle box = CreateWindowOfClass(kMessageBoxClassName, title.c_str(),
                                         kStylePopup | kStyleCaption | kStyleSystemMenu, x, y,
                                         width, height, owner, 0, nullptr);
  if (!box) {
    if (ownerDisabled) EnableWindow(owner, true);
    if (state.iconFont != GetSystemFont()) DeleteFont(state.iconFont);
    TraceOutput("RunMessageBox could not create the box\n");
    return 0;
  }
  SetWindowWord(box, 0, reinterpret_cast<intptr_t>(&state));
  int32_t buttonLeft = width - kMargin - buttonsWidth;
  WindowHandle first;
  for (int32_t i = 0; i < count; ++i) {
    uint32_t style = kStyleChild | kStyleVisible | kStyleTabStop |
                     (i == 0 ? kButtonDefaultPush | kStyleGroup : kButtonPush);
    WindowHandle button =
        CreateWindowOfClass(kButtonClassName, buttons[static_cast<size_t>(i)].label, style,
                            buttonLeft + i * (kButtonWidth + kButtonGap), buttonTop, kButtonWidth,
                            kButtonHeight, box, buttons[static_cast<size_t>(i)].id, nullptr);
    if (button)
      SendWindowMessage(button, kMessageSetFont, reinterpret_cast<MessageWord>(state.font), 0);
    if (i == 0) first = button;
  }
  ShowWindow(box, kShowNormal);
  if (first) SetFocus(first);
  if (observer) {
    PaintNow(box);
    observer(box, type);
  }
  bool quit = false;
  int32_t quitCode = 0;
  while (!state.ended && WindowExists(box)) {
    Message message;
    if (!GetNextMessage(&message)) {
      quit = true;
      quitCode = static_cast<int32_t>(message.word);
      break;
    }
    DispatchWindowMessage(message);
  }
  if (ownerDisabled) EnableWindow(owner, true);
  if (WindowExists(box)) {
    SetWindowWord(box, 0, 0);
    DestroyWindow(box);
  }
  if (state.iconFont != GetSystemFont()) DeleteFont(state.iconFont);
  if (quit) PostQuit(quitCode);
  return state.answer;
}

int32_t RunMessageBox(WindowHandle owner, const char* text, const char* caption, uint32_t type) {
  std::u16string wideText = Windows1252ToUtf16(text ? text : "");
  std::u16string wideCaption = caption ? Windows1252ToUtf16(caption) : std::u16string(u"Error");
  return RunMessageBox(owner, wideText.c_str(), wideCaption.c_str(), type);
}

MessageBoxObserver SetMessageBoxObserver(MessageBoxObserver observer) {
  return g_observer.exchange(observer, std::memory_order_acq_rel);
}
