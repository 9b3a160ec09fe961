#include "platform/controls.h"

#include <algorithm>
#include <mutex>
#include <string>
#include <vector>

#include "platform/font.h"
#include "platform/input.h"

const char16_t kButtonClassName[] = u"Button";
const char16_t kListBoxClassName[] = u"ListBox";
const char16_t kComboBoxClassName[] = u"ComboBox";

namespace {

// The drop-down part of a combo box: a top-level window of its own, so that
// it may reach beyond the dialog.
const char16_t kDropListClassName[] = u"ComboDropList";

constexpr int32_t kCheckSize = 13;
constexpr int32_t kComboArrowWidth = 17;
constexpr int32_t kDropListMaximumItems = 8;

struct ListItem {
  std::u16string text;
  intptr_t data = 0;
};

// Everything a control remembers beside its window text and style; kept in
// window word 0 and deleted with the window.
struct ControlState {
  Font* font = nullptr;
  uint32_t check = kUnchecked;
  bool pressed = false;   // drawn pushed in
  bool tracking = false;  // the mouse went down on it and is captured
  std::vector<ListItem> items;
  int32_t selection = -1;
  int32_t top = 0;        // first entry shown by a list box
  int32_t hover = -1;     // entry under the mouse in a drop-down list
  WindowHandle dropList;  // a combo box's open drop-down list
  WindowHandle combo;     // the combo box a drop-down list belongs to
};

ControlState* StateOf(WindowHandle window) {
  return reinterpret_cast<ControlState*>(GetWindowWord(window, 0));
}

Font* FontOf(const ControlState* state) {
  return state && state->font ? state->font : GetDefaultGuiFont();
}

std::u16string TextOf(WindowHandle window) {
  int32_t length = GetWindowTextLength(window);
  if (length <= 0) return {};
  std::u16string text(static_cast<size_t>(length) + 1, u'\0');
  int32_t copied = GetWindowText(window, text.data(), length + 1);
  text.resize(static_cast<size_t>(std::max(copied, 0)));
  return text;
}

Point PointOf(MessageLong value) {
  return {PointParameterX(value), PointParameterY(value)};
}

bool Inside(const Rect& rect, Point point) {
  return point.x >= rect.left && point.x < rect.right && point.y >= rect.top &&
         point.y < rect.bottom;
}

Rect ClientOf(WindowHandle window) {
  Rect client;
  GetClientRectangle(window, &client);
  return client;
}

void Notify(WindowHandle control, uint16_t notification) {
  WindowHandle parent = GetParentWindow(control);
  if (!parent) parent = GetOwnerWindow(control);
  if (!parent) return;
  SendWindowMessage(parent, kMessageCommand,
                    MakeWordParameter(static_cast<uint16_t>(GetControlId(control)), notification),
                    control.ToWord());
}

// Drawing.

void FillLine(DeviceContext* dc, int32_t left, int32_t top, int32_t right, int32_t bottom,
              Color color) {
  FillRectangle(dc, Rect{left, top, right, bottom}, color);
}

// A one-pixel frame: top and left in one colour, bottom and right in another.
void DrawFrame(DeviceContext* dc, const Rect& r, Color topLeft, Color bottomRight) {
  if (r.Width() <= 0 || r.Height() <= 0) return;
  FillLine(dc, r.left, r.top, r.right, r.top + 1, topLeft);
  FillLine(dc, r.left, r.top, r.left + 1, r.bottom, topLeft);
  FillLine(dc, r.left, r.bottom - 1, r.right, r.bottom, bottomRight);
  FillLine(dc, r.right - 1, r.top, r.right, r.bottom, bottomRight);
}

Rect Shrink(const Rect& r, int32_t by) {
  return Rect{r.left + by, r.top + by, r.right - by, r.bottom - by};
}

void DrawRaised(DeviceContext* dc, const Rect& r) {
  DrawFrame(dc, r, kColorHighlight, kColorDarkShadow);
  DrawFrame(dc, Shrink(r, 1), kColorFace, kColorShadow);
}

void DrawSunken(DeviceContext* dc, const Rect& r) {
  DrawFrame(dc, r, kColorShadow, kColorHighlight);
  DrawFrame(dc, Shrink(r, 1), kColorDarkShadow, kColorFace);
}

// Every other pixel of a frame, as a focus mark.
void DrawDottedFrame(DeviceContext* dc, const Rect& r, Color color) {
  for (int32_t x = r.left; x < r.right; x += 2) {
    SetPixelColor(dc, x, r.top, color);
    SetPixelColor(dc, x, r.bottom - 1, color);
  }
  for (int32_t y = r.top; y < r.bottom; y += 2) {
    SetPixelColor(dc, r.left, y, color);
    SetPixelColor(dc, r.right - 1, y, color);
  }
}

// Fills the parts of box for which inside(x, y) holds (coordinates relative
// to box), smoothing the edges by sampling each pixel 4 × 4 times.
template <class InsideTest>
void DrawShape(DeviceContext* dc, const Rect& box, Color color, InsideTest inside) {
  int32_t width = box.Width();
  int32_t height = box.Height();
  if (width <= 0 || height <= 0) return;
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

double SegmentDistance(double px, double py, double ax, double ay, double bx, double by) {
  double dx = bx - ax;
  double dy = by - ay;
  double t = ((px - ax) * dx + (py - ay) * dy) / (dx * dx + dy * dy);
  t = std::clamp(t, 0.0, 1.0);
  double ex = ax + t * dx - px;
  double ey = ay + t * dy - py;
  return ex * ex + ey * ey;
}

void DrawCheckMark(DeviceContext* dc, const Rect& box, Color color) {
  DrawShape(dc, box, color, [](double x, double y) {
    constexpr double kHalf = 1.0 * 1.0;
    return SegmentDistance(x, y, 3.0, 6.5, 5.5, 9.0) <= kHalf ||
           SegmentDistance(x, y, 5.5, 9.0, 10.0, 3.5) <= kHalf;
  });
}

void DrawLabel(DeviceContext* dc, WindowHandle window, const ControlState* state, Rect rect,
               uint32_t flags, Color color) {
  std::u16string text = TextOf(window);
  if (text.empty()) return;
  Font* previous = SelectFont(dc, FontOf(state));
  SetBackgroundMode(dc, kBackgroundTransparent);
  SetTextColor(dc, IsWindowEnabled(window) ? color : kColorGrayText);
  DrawText(dc, text.c_str(), static_cast<int32_t>(text.size()), &rect, flags);
  SelectFont(dc, previous);
}

int32_t LineHeight(const ControlState* state) {
  FontMetrics metrics;
  if (!GetFontMetrics(FontOf(state), &metrics)) return 13;
  return metrics.height;
}

// Buttons.

void PaintButton(WindowHandle window, DeviceContext* dc, const ControlState* state) {
  uint32_t style = GetWindowStyle(window);
  uint32_t type = style & kButtonTypeMask;
  Rect client = ClientOf(window);
  FillRectangle(dc, client, kColorFace);
  bool focused = GetFocus() == window;
  switch (type) {
    case kButtonCheckBox:
    case kButtonAutoCheckBox:
    case kButtonThreeState:
    case kButtonAutoThreeState:
    case kButtonRadio:
    case kButtonAutoRadio: {
      bool radio = type == kButtonRadio || type == kButtonAutoRadio;
      int32_t top = (client.Height() - kCheckSize) / 2;
      Rect box{0, top, kCheckSize, top + kCheckSize};
      Color fill = state->pressed || !IsWindowEnabled(window) ? kColorFace : kColorWindow;
      Color mark = IsWindowEnabled(window) ? kColorWindowText : kColorGrayText;
      if (radio) {
        DrawShape(dc, box, kColorShadow, [](double x, double y) {
          double dx = x - 6.5, dy = y - 6.5;
          return dx * dx + dy * dy <= 6.5 * 6.5;
        });
        DrawShape(dc, box, fill, [](double x, double y) {
          double dx = x - 6.5, dy = y - 6.5;
          return dx * dx + dy * dy <= 5.5 * 5.5;
        });
        if (state->check != kUnchecked) {
          DrawShape(dc, box, mark, [](double x, double y) {
            double dx = x - 6.5, dy = y - 6.5;
            return dx * dx + dy * dy <= 2.8 * 2.8;
          });
        }
      } else {
        FillRectangle(dc, box, fill);
        DrawFrame(dc, box, kColorShadow, kColorShadow);
        if (state->check == kChecked) DrawCheckMark(dc, box, mark);
        if (state->check == kIndeterminate) FillRectangle(dc, Shrink(box, 3), kColorShadow);
      }
      Rect label{kCheckSize + 5, 0, client.right, client.bottom};
      DrawLabel(dc, window, state, label, kTextLeft | kTextVerticalCenter | kTextSingleLine,
                kColorWindowText);
      if (focused) {
        Rect mark = label;
        CalculateTextRectangle(FontOf(state), TextOf(window).c_str(), -1, &mark, kTextSingleLine);
        int32_t height = mark.Height();
        mark.top = (client.Height() - height) / 2 - 1;
        mark.bottom = mark.top + height + 2;
        mark.left -= 2;
        mark.right = std::min(mark.right + 2, client.right);
        DrawDottedFrame(dc, mark, kColorDarkShadow);
      }
      return;
    }
    case kButtonGroupBox: {
      int32_t line = LineHeight(state) / 2;
      Rect frame{0, line, client.right, client.bottom};
      DrawFrame(dc, frame, kColorShadow, kColorHighlight);
      DrawFrame(dc, Shrink(frame, 1), kColorHighlight, kColorShadow);
      std::u16string text = TextOf(window);
      if (!text.empty()) {
        Rect label{8, 0, client.right - 8, LineHeight(state)};
        CalculateTextRectangle(FontOf(state), text.c_str(), -1, &label, kTextSingleLine);
        label.right = std::min(label.right + 4, client.right - 4);
        label.left = 6;
        FillRectangle(dc, label, kColorFace);
        label.left = 8;
        DrawLabel(dc, window, state, label, kTextLeft | kTextSingleLine, kColorWindowText);
      }
      return;
    }
    default: {
      Rect face = client;
      if (type == kButtonDefaultPush) {
        DrawFrame(dc, face, kColorWindowText, kColorWindowText);
        face = Shrink(face, 1);
      }
      if (state->pressed) {
        DrawFrame(dc, face, kColorDarkShadow, kColorDarkShadow);
        DrawFrame(dc, Shrink(face, 1), kColorShadow, kColorShadow);
      } else {
        DrawRaised(dc, face);
      }
      Rect label = Shrink(face, 2);
      if (state->pressed) {
        label.left += 1;
        label.top += 1;
        label.right += 1;
        label.bottom += 1;
      }
      DrawLabel(dc, window, state, label, kTextCenter | kTextVerticalCenter | kTextSingleLine,
                kColorWindowText);
      if (focused) DrawDottedFrame(dc, Shrink(face, 3), kColorDarkShadow);
      return;
    }
  }
}

bool IsButton(WindowHandle window) {
  char16_t name[8] = {};
  if (GetWindowClassName(window, name, 8) != 6) return false;
  for (char16_t& c : name) {
    if (c >= u'A' && c <= u'Z') c = static_cast<char16_t>(c + 32);
  }
  return std::u16string(name) == u"button";
}

// The radio buttons of one group: from the nearest sibling at or before the
// button with the group style up to the next one with it.
void UncheckGroupSiblings(WindowHandle button) {
  WindowHandle parent = GetParentWindow(button);
  if (!parent) return;
  std::vector<WindowHandle> group;
  bool found = false;
  for (WindowHandle child = GetFirstChild(parent); child; child = GetNextSibling(child)) {
    if (GetWindowStyle(child) & kStyleGroup) {
      if (found) break;
      group.clear();
    }
    group.push_back(child);
    if (child == button) found = true;
  }
  for (WindowHandle other : group) {
    if (other == button) continue;
    if (!IsButton(other)) continue;
    uint32_t type = GetWindowStyle(other) & kButtonTypeMask;
    if (type != kButtonRadio && type != kButtonAutoRadio) continue;
    SendWindowMessage(other, kMessageButtonSetCheck, kUnchecked, 0);
  }
}

void ClickButton(WindowHandle window, ControlState* state) {
  uint32_t type = GetWindowStyle(window) & kButtonTypeMask;
  switch (type) {
    case kButtonAutoCheckBox:
      state->check = state->check == kUnchecked ? kChecked : kUnchecked;
      InvalidateRectangle(window, nullptr, false);
      break;
    case kButtonAutoThreeState:
      state->check = (state->check + 1) % 3;
      InvalidateRectangle(window, nullptr, false);
      break;
    case kButtonAutoRadio:
      if (state->check != kChecked) {
        state->check = kChecked;
        InvalidateRectangle(window, nullptr, false);
      }
      UncheckGroupSiblings(window);
      break;
    case kButtonGroupBox:
      return;
    default:
      break;
  }
  Notify(window, kNotifyButtonClicked);
}

// What every control does with the messages they share; true when handled.
bool CommonMessage(WindowHandle window, ControlState* state, uint32_t message, MessageWord word,
                   MessageLong value, MessageResult* result) {
  switch (message) {
    case kMessageCreate:
      SetWindowWord(window, 0, reinterpret_cast<intptr_t>(new ControlState));
      *result = 0;
      return true;
    case kMessageDestroy:
      if (state && state->dropList) DestroyWindow(state->dropList);
      SetWindowWord(window, 0, 0);
      delete state;
      *result = 0;
      return true;
    case kMessageSetFont:
      if (state) state->font = reinterpret_cast<Font*>(word);
      if (value) InvalidateRectangle(window, nullptr, false);
      *result = 0;
      return true;
    case kMessageGetFont:
      *result = reinterpret_cast<MessageResult>(state ? state->font : nullptr);
      return true;
    case kMessageSetText:
      *result = DefaultWindowProcedure(window, message, word, value);
      InvalidateRectangle(window, nullptr, false);
      return true;
    case kMessageEnable:
    case kMessageSetFocus:
    case kMessageKillFocus:
      InvalidateRectangle(window, nullptr, false);
      *result = 0;
      return true;
    default:
      return false;
  }
}

MessageResult ButtonProcedure(WindowHandle window, uint32_t message, MessageWord word,
                              MessageLong value) {
  ControlState* state = StateOf(window);
  MessageResult result = 0;
  if (CommonMessage(window, state, message, word, value, &result)) return result;
  if (!state) return DefaultWindowProcedure(window, message, word, value);
  bool groupBox = (GetWindowStyle(window) & kButtonTypeMask) == kButtonGroupBox;
  switch (message) {
    case kMessagePaint: {
      PaintInfo paint;
      DeviceContext* dc = BeginPaint(window, &paint);
      if (dc) {
        PaintButton(window, dc, state);
        EndPaint(window, &paint);
      }
      return 0;
    }
    case kMessageLeftButtonDown:
      if (groupBox) return 0;
      state->tracking = true;
      state->pressed = true;
      SetCapture(window);
      if (GetFocus() != window) SetFocus(window);
      InvalidateRectangle(window, nullptr, false);
      return 0;
    case kMessageMouseMove:
      if (state->tracking) {
        bool inside = Inside(ClientOf(window), PointOf(value));
        if (inside != state->pressed) {
          state->pressed = inside;
          InvalidateRectangle(window, nullptr, false);
        }
      }
      return 0;
    case kMessageLeftButtonUp: {
      if (!state->tracking) return 0;
      bool clicked = Inside(ClientOf(window), PointOf(value));
      state->tracking = false;
      state->pressed = false;
      ReleaseCapture();
      InvalidateRectangle(window, nullptr, false);
      if (clicked) ClickButton(window, state);
      return 0;
    }
    case kMessageCaptureChanged:
      if (state->tracking) {
        state->tracking = false;
        state->pressed = false;
        InvalidateRectangle(window, nullptr, false);
      }
      return 0;
    case kMessageKeyDown:
      if (word == kKeySpace || word == kKeyReturn) {
        if (!groupBox) ClickButton(window, state);
      } else if (word == kKeyEscape) {
        WindowHandle parent = GetParentWindow(window);
        if (parent) {
          SendWindowMessage(parent, kMessageCommand, MakeWordParameter(kCommandCancel, 0), 0);
        }
      }
      return 0;
    case kMessageButtonGetCheck:
      return state->check;
    case kMessageButtonSetCheck:
      if (state->check != static_cast<uint32_t>(word)) {
        state->check =
            static_cast<uint32_t>(word) > kIndeterminate ? kChecked : static_cast<uint32_t>(word);
        InvalidateRectangle(window, nullptr, false);
      }
      return 0;
    case kMessageButtonGetState:
      return static_cast<MessageResult>(state->check | (state->pressed ? 0x4 : 0) |
                                        (GetFocus() == window ? 0x8 : 0));
    case kMessageButtonSetState:
      if (state->pressed != (word != 0)) {
        state->pressed = word != 0;
        InvalidateRectangle(window, nullptr, false);
      }
      return 0;
    case kMessageButtonSetStyle:
      SetWindowStyle(window, (GetWindowStyle(window) & ~0xFFFFu) | (word & 0xFFFF));
      if (value) InvalidateRectangle(window, nullptr, false);
      return 0;
    case kMessageButtonClick:
      if (IsWindowEnabled(window)) ClickButton(window, state);
      return 0;
    case kMessageGetDialogCode:
      return 0;
    default:
      return DefaultWindowProcedure(window, message, word, value);
  }
}

// Static texts.

MessageResult StaticProcedure(WindowHandle window, uint32_t message, MessageWord word,
                              MessageLong value) {
  ControlState* state = StateOf(window);
  MessageResult result = 0;
  if (CommonMessage(window, state, message, word, value, &result)) return result;
  if (message != kMessagePaint) return DefaultWindowProcedure(window, message, word, value);
  PaintInfo paint;
  DeviceContext* dc = BeginPaint(window, &paint);
  if (!dc) return 0;
  Rect client = ClientOf(window);
  FillRectangle(dc, client, kColorFace);
  uint32_t style = GetWindowStyle(window);
  uint32_t flags = kTextWordBreak;
  switch (style & 0x1F) {
    case kStaticCenter:
      flags |= kTextCenter;
      break;
    case kStaticRight:
      flags |= kTextRight;
      break;
    default:
      break;
  }
  if (style & kStaticNoPrefix) flags |= kTextNoPrefix;
  DrawLabel(dc, window, state, client, flags, kColorWindowText);
  EndPaint(window, &paint);
  return 0;
}

// Lists: the entries shared by list boxes, combo boxes and drop-down lists.

int32_t ItemHeight(const ControlState* state) {
  return LineHeight(state) + 3;
}

// The list messages; the combo box's numbers are mapped to these first.
bool ListMessage(ControlState* state, uint32_t message, MessageWord word, MessageLong value,
                 MessageResult* result) {
  int32_t count = static_cast<int32_t>(state->items.size());
  int32_t index = static_cast<int32_t>(static_cast<intptr_t>(word));
  bool valid = index >= 0 && index < count;
  switch (message) {
    case kMessageListAddString: {
      const char16_t* text = reinterpret_cast<const char16_t*>(value);
      state->items.push_back({text ? std::u16string(text) : std::u16string(), 0});
      *result = count;
      return true;
    }
    case kMessageListResetContent:
      state->items.clear();
      state->selection = -1;
      state->top = 0;
      *result = 0;
      return true;
    case kMessageListSetSelection:
      state->selection = valid ? index : -1;
      *result = valid ? index : kListError;
      return true;
    case kMessageListGetSelection:
      *result = state->selection;
      return true;
    case kMessageListGetCount:
      *result = count;
      return true;
    case kMessageListGetItemData:
      *result = valid ? state->items[static_cast<size_t>(index)].data : kListError;
      return true;
    case kMessageListSetItemData:
      if (valid) state->items[static_cast<size_t>(index)].data = value;
      *result = valid ? 0 : kListError;
      return true;
    case kMessageListGetTextLength:
      *result =
          valid ? static_cast<MessageResult>(state->items[static_cast<size_t>(index)].text.size())
                : kListError;
      return true;
    case kMessageListGetText: {
      char16_t* buffer = reinterpret_cast<char16_t*>(value);
      if (!valid || !buffer) {
        *result = kListError;
        return true;
      }
      const std::u16string& text = state->items[static_cast<size_t>(index)].text;
      std::copy(text.begin(), text.end(), buffer);
      buffer[text.size()] = 0;
      *result = static_cast<MessageResult>(text.size());
      return true;
    }
    default:
      return false;
  }
}

uint32_t ComboToList(uint32_t message) {
  switch (message) {
    case kMessageComboAddString:
      return kMessageListAddString;
    case kMessageComboGetCount:
      return kMessageListGetCount;
    case kMessageComboGetSelection:
      return kMessageListGetSelection;
    case kMessageComboResetContent:
      return kMessageListResetContent;
    case kMessageComboSetSelection:
      return kMessageListSetSelection;
    case kMessageComboGetItemData:
      return kMessageListGetItemData;
    case kMessageComboSetItemData:
      return kMessageListSetItemData;
    case kMessageComboGetItemText:
      return kMessageListGetText;
    case kMessageComboGetItemTextLength:
      return kMessageListGetTextLength;
    default:
      return 0;
  }
}

// Draws the entries from first on, starting at top, inside area.
void PaintItems(DeviceContext* dc, const ControlState* state, const Rect& area, int32_t first,
                int32_t highlighted, bool enabled) {
  int32_t height = ItemHeight(state);
  Font* previous = SelectFont(dc, FontOf(state));
  SetBackgroundMode(dc, kBackgroundTransparent);
  int32_t y = area.top;
  for (int32_t i = first; i < static_cast<int32_t>(state->items.size()) && y < area.bottom;
       ++i, y += height) {
    Rect row{area.left, y, area.right, std::min(y + height, area.bottom)};
    bool selected = i == highlighted;
    if (selected) FillRectangle(dc, row, enabled ? kColorSelection : kColorShadow);
    SetTextColor(dc, !enabled ? kColorGrayText : selected ? kColorSelectionText : kColorWindowText);
    Rect text{row.left + 3, row.top, row.right - 2, row.top + height};
    const std::u16string& label = state->items[static_cast<size_t>(i)].text;
    DrawText(dc, label.c_str(), static_cast<int32_t>(label.size()), &text,
             kTextLeft | kTextVerticalCenter | kTextSingleLine | kTextNoPrefix);
  }
  SelectFont(dc, previous);
}

// List boxes.

int32_t VisibleRows(WindowHandle window, const ControlState* state) {
  return std::max(1, (ClientOf(window).Height() - 4) / ItemHeight(state));
}

void ScrollToSelection(WindowHandle window, ControlState* state) {
  if (state->selection < 0) return;
  int32_t rows = VisibleRows(window, state);
  if (state->selection < state->top) state->top = state->selection;
  if (state->selection >= state->top + rows) state->top = state->selection - rows + 1;
}

void ChooseListEntry(WindowHandle window, ControlState* state, int32_t index) {
  if (index == state->selection) return;
  state->selection = index;
  ScrollToSelection(window, state);
  InvalidateRectangle(window, nullptr, false);
  Notify(window, kNotifySelectionChange);
}

MessageResult ListBoxProcedure(WindowHandle window, uint32_t message, MessageWord word,
                               MessageLong value) {
  ControlState* state = StateOf(window);
  MessageResult result = 0;
  if (CommonMessage(window, state, message, word, value, &result)) return result;
  if (!state) return DefaultWindowProcedure(window, message, word, value);
  if (ListMessage(state, message, word, value, &result)) {
    if (message != kMessageListGetSelection && message != kMessageListGetCount &&
        message != kMessageListGetItemData && message != kMessageListGetText &&
        message != kMessageListGetTextLength) {
      ScrollToSelection(window, state);
      InvalidateRectangle(window, nullptr, false);
    }
    return result;
  }
  switch (message) {
    case kMessagePaint: {
      PaintInfo paint;
      DeviceContext* dc = BeginPaint(window, &paint);
      if (!dc) return 0;
      Rect client = ClientOf(window);
      bool enabled = IsWindowEnabled(window);
      FillRectangle(dc, Shrink(client, 2), enabled ? kColorWindow : kColorFace);
      DrawSunken(dc, client);
      Rect inside = Shrink(client, 2);
      IntersectClipRectangle(dc, inside);
      PaintItems(dc, state, inside, state->top, state->selection, enabled);
      EndPaint(window, &paint);
      return 0;
    }
    case kMessageLeftButtonDown: {
      if (GetFocus() != window) SetFocus(window);
      Point point = PointOf(value);
      int32_t index = state->top + (point.y - 2) / ItemHeight(state);
      if (point.y >= 2 && index < static_cast<int32_t>(state->items.size())) {
        ChooseListEntry(window, state, index);
      }
      return 0;
    }
    case kMessageKeyDown: {
      int32_t count = static_cast<int32_t>(state->items.size());
      if (count == 0) return 0;
      if (word == kKeyUp) ChooseListEntry(window, state, std::max(0, state->selection - 1));
      if (word == kKeyDown)
        ChooseListEntry(window, state, std::min(count - 1, state->selection + 1));
      return 0;
    }
    default:
      return DefaultWindowProcedure(window, message, word, value);
  }
}

// Combo boxes (drop-down lists).

int32_t FieldHeight(const ControlState* state) {
  return ItemHeight(state) + 5;
}

void CloseDropList(WindowHandle combo, ControlState* state) {
  WindowHandle list = state->dropList;
  if (!list) return;
  state->dropList = {};
  if (GetCapture() == list) ReleaseCapture();
  DestroyWindow(list);
  InvalidateRectangle(combo, nullptr, false);
}

void OpenDropList(WindowHandle combo, ControlState* state) {
  if (state->dropList || state->items.empty()) return;
  Rect screen;
  if (!GetWindowRectangle(combo, &screen)) return;
  int32_t rows =
      std::min<int32_t>(static_cast<int32_t>(state->items.size()), kDropListMaximumItems);
  int32_t height = rows * ItemHeight(state) + 2;
  WindowHandle owner = combo;
  while (GetParentWindow(owner)) owner = GetParentWindow(owner);
  WindowHandle list = CreateWindowOfClass(kDropListClassName, u"", kStylePopup, screen.left,
                                          screen.bottom, screen.Width(), height, owner, 0, nullptr);
  if (!list) return;
  ControlState* listState = StateOf(list);
  listState->combo = combo;
  listState->font = state->font;
  listState->items = state->items;
  listState->selection = state->selection;
  listState->hover = state->selection;
  listState->top = std::max(0, state->selection - rows + 1);
  state->dropList = list;
  ShowWindow(list, kShowNoActivate);
  SetCapture(list);
  InvalidateRectangle(combo, nullptr, false);
}

void ChooseComboEntry(WindowHandle combo, ControlState* state, int32_t index) {
  if (index == state->selection) return;
  state->selection = index;
  InvalidateRectangle(combo, nullptr, false);
  Notify(combo, kNotifySelectionChange);
}

void FitComboHeight(WindowHandle window, const ControlState* state) {
  Rect rect;
  if (!GetWindowRectangle(window, &rect)) return;
  Point origin{rect.left, rect.top};
  WindowHandle parent = GetParentWindow(window);
  if (parent) ScreenToClient(parent, &origin);
  if (rect.Height() != FieldHeight(state)) {
    MoveWindow(window, origin.x, origin.y, rect.Width(), FieldHeight(state));
  }
}

MessageResult ComboBoxProcedure(WindowHandle window, uint32_t message, MessageWord word,
                                MessageLong value) {
  ControlState* state = StateOf(window);
  MessageResult result = 0;
  if (CommonMessage(window, state, message, word, value, &result)) {
    if (message == kMessageCreate || message == kMessageSetFont)
      FitComboHeight(window, StateOf(window));
    return result;
  }
  if (!state) return DefaultWindowProcedure(window, message, word, value);
  if (uint32_t list = ComboToList(message)) {
    ListMessage(state, list, word, value, &result);
    if (list == kMessageListSetSelection || list == kMessageListResetContent ||
        list == kMessageListAddString) {
      InvalidateRectangle(window, nullptr, false);
    }
    return result;
  }
  switch (message) {
    case kMessagePaint: {
      PaintInfo paint;
      DeviceContext* dc = BeginPaint(window, &paint);
      if (!dc) return 0;
      Rect client = ClientOf(window);
      bool enabled = IsWindowEnabled(window);
      Rect field = Shrink(client, 2);
      FillRectangle(dc, field, enabled ? kColorWindow : kColorFace);
      DrawSunken(dc, client);
      Rect arrow{field.right - kComboArrowWidth, field.top, field.right, field.bottom};
      FillRectangle(dc, arrow, kColorFace);
      if (state->dropList) {
        DrawFrame(dc, arrow, kColorShadow, kColorShadow);
      } else {
        DrawRaised(dc, arrow);
      }
      int32_t cx = (arrow.left + arrow.right) / 2;
      int32_t cy = (arrow.top + arrow.bottom) / 2 - 1;
      Color mark = enabled ? kColorWindowText : kColorGrayText;
      for (int32_t row = 0; row < 4; ++row) {
        FillRectangle(dc, Rect{cx - 3 + row, cy + row, cx + 4 - row, cy + row + 1}, mark);
      }
      if (state->selection >= 0) {
        Rect text{field.left, field.top, arrow.left, field.bottom};
        bool focused = GetFocus() == window;
        ControlState shown;
        shown.font = state->font;
        shown.items.push_back(state->items[static_cast<size_t>(state->selection)]);
        Rect row = Shrink(text, 1);
        PaintItems(dc, &shown, row, 0, focused ? 0 : -1, enabled);
      }
      EndPaint(window, &paint);
      return 0;
    }
    case kMessageLeftButtonDown:
      if (GetFocus() != window) SetFocus(window);
      if (state->dropList) {
        CloseDropList(window, state);
      } else {
        OpenDropList(window, state);
      }
      return 0;
    case kMessageComboShowDropDown:
      if (word) {
        OpenDropList(window, state);
      } else {
        CloseDropList(window, state);
      }
      return 1;
    case kMessageKeyDown: {
      int32_t count = static_cast<int32_t>(state->items.size());
      if (count == 0) return 0;
      if (word == kKeyUp) ChooseComboEntry(window, state, std::max(0, state->selection - 1));
      if (word == kKeyDown)
        ChooseComboEntry(window, state, std::min(count - 1, state->selection + 1));
      return 0;
    }
    default:
      return DefaultWindowProcedure(window, message, word, value);
  }
}

int32_t DropListEntryAt(WindowHandle list, const ControlState* state, Point point) {
  Rect client = ClientOf(list);
  if (!Inside(Shrink(client, 1), point)) return -1;
  int32_t index = state->top + (point.y - 1) / ItemHeight(state);
  return index < static_cast<int32_t>(state->items.size()) ? index : -1;
}

MessageResult DropListProcedure(WindowHandle window, uint32_t message, MessageWord word,
                                MessageLong value) {
  ControlState* state = StateOf(window);
  MessageResult result = 0;
  if (message != kMessageDestroy && CommonMessage(window, state, message, word, value, &result)) {
    return result;
  }
  if (!state) return DefaultWindowProcedure(window, message, word, value);
  switch (message) {
    case kMessageDestroy:
      SetWindowWord(window, 0, 0);
      delete state;
      return 0;
    case kMessagePaint: {
      PaintInfo paint;
      DeviceContext* dc = BeginPaint(window, &paint);
      if (!dc) return 0;
      Rect client = ClientOf(window);
      FillRectangle(dc, client, kColorWindow);
      DrawFrame(dc, client, kColorDarkShadow, kColorDarkShadow);
      PaintItems(dc, state, Shrink(client, 1), state->top, state->hover, true);
      EndPaint(window, &paint);
      return 0;
    }
    case kMessageMouseMove: {
      int32_t index = DropListEntryAt(window, state, PointOf(value));
      if (index >= 0 && index != state->hover) {
        state->hover = index;
        InvalidateRectangle(window, nullptr, false);
      }
      return 0;
    }
    case kMessageLeftButtonDown:
      // A press outside closes the list without a choice.
      if (DropListEntryAt(window, state, PointOf(value)) < 0) {
        WindowHandle combo = state->combo;
        ControlState* comboState = StateOf(combo);
        if (comboState) {
          CloseDropList(combo, comboState);
        } else {
          DestroyWindow(window);
        }
      }
      return 0;
    case kMessageLeftButtonUp: {
      int32_t index = DropListEntryAt(window, state, PointOf(value));
      if (index < 0) return 0;
      WindowHandle combo = state->combo;
      ControlState* comboState = StateOf(combo);
      if (!comboState) {
        DestroyWindow(window);
        return 0;
      }
      CloseDropList(combo, comboState);
      ChooseComboEntry(combo, comboState, index);
      return 0;
    }
    case kMessageCaptureChanged: {
      // Losing the mouse to someone else closes the list.
      ControlState* comboState = StateOf(state->combo);
      if (comboState && comboState->dropList == window) {
        comboState->dropList = {};
        InvalidateRectangle(state->combo, nullptr, false);
        PostWindowMessage(window, kMessageClose, 0, 0);
      }
      return 0;
    }
    default:
      return DefaultWindowProcedure(window, message, word, value);
  }
}

}  // namespace

MessageResult PlaceholderControlProcedure(WindowHandle window, uint32_t message, MessageWord word,
                                          MessageLong value) {
  if (message == kMessagePaint) {
    // Nothing of its own to show: the parent's face shows through.
    PaintInfo paint;
    if (BeginPaint(window, &paint)) EndPaint(window, &paint);
    return 0;
  }
  return DefaultWindowProcedure(window, message, word, value);
}

void RegisterStandardControls() {
  static std::once_flag once;
  std::call_once(once, [] {
    struct {
      const char16_t* name;
      WindowProcedure procedure;
    } const classes[] = {
        {kButtonClassName, ButtonProcedure},     {kListBoxClassName, ListBoxProcedure},
        {kComboBoxClassName, ComboBoxProcedure}, {kDropListClassName, DropListProcedure},
        {kStaticClassName, StaticProcedure},
    };
    for (const auto& entry : classes) {
      WindowClass description;
      description.name = entry.name;
      description.procedure = entry.procedure;
      description.windowWords = 1;
      description.cursor = 1;
      // The layer registers "Static" itself without drawing: replace it.
      UnregisterWindowClass(entry.name);
      RegisterWindowClass(description);
    }
  });
}
