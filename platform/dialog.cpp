#include "platform/dialog.h"

#include <memory>
#include <mutex>
#include <string>
#include <unordered_map>

#include "platform/controls.h"
#include "platform/encoding.h"
#include "platform/error.h"
#include "platform/font.h"
#include "platform/graphics.h"
#include "platform/screen.h"
#include "platform/trace.h"

const char16_t kDialogClassName[] = u"Dialog";

namespace {

constexpr uint32_t kStyleCentreDialog = 0x00000800;
constexpr int32_t kDefaultPointSize = 8;

// What the dialog manager keeps for a dialog, outside the window words the
// program may use. A modal loop holds its own reference, so the result
// survives the window.
struct DialogRecord {
  DialogProcedure procedure = nullptr;
  Font* font = nullptr;
  bool ownsFont = false;
  DialogBaseUnits units;
  WindowHandle focus;  // the control that takes the focus the dialog gets
  bool modal = false;
  bool ended = false;
  intptr_t result = 0;
};

struct Dialogs {
  std::mutex mutex;
  std::unordered_map<uint64_t, std::shared_ptr<DialogRecord>> records;
  std::mutex classMutex;  // registering placeholder classes
};

Dialogs& Global() {
  static Dialogs* dialogs = new Dialogs;  // windows may outlive static destruction
  return *dialogs;
}

std::shared_ptr<DialogRecord> FindRecord(WindowHandle window) {
  Dialogs& dialogs = Global();
  std::lock_guard<std::mutex> lock(dialogs.mutex);
  auto it = dialogs.records.find(window.value);
  return it == dialogs.records.end() ? nullptr : it->second;
}

std::shared_ptr<DialogRecord> RemoveRecord(WindowHandle window) {
  Dialogs& dialogs = Global();
  std::lock_guard<std::mutex> lock(dialogs.mutex);
  auto it = dialogs.records.find(window.value);
  if (it == dialogs.records.end()) return nullptr;
  std::shared_ptr<DialogRecord> record = it->second;
  dialogs.records.erase(it);
  return record;
}

// Rounds half away from zero, as dialog units are converted.
int32_t Scale(int32_t value, int32_t multiplier, int32_t divisor) {
  int64_t product = static_cast<int64_t>(value) * multiplier;
  int64_t half = divisor / 2;
  return static_cast<int32_t>(product >= 0 ? (product + half) / divisor
                                           : -((-product + half) / divisor));
}

void EnsureDialogClass() {
  static std::once_flag once;
  std::call_once(once, [] {
    WindowClass description;
    description.name = kDialogClassName;
    description.procedure = DialogWindowProcedure;
    description.cursor = 1;
    RegisterWindowClass(description);
  });
}

// A class that nobody registered becomes a placeholder under its own name,
// so that reading the control back still shows the template's class.
bool EnsureControlClass(const std::u16string& name) {
  WindowClass existing;
  if (CopyWindowClass(name.c_str(), &existing)) return true;
  std::lock_guard<std::mutex> lock(Global().classMutex);
  if (CopyWindowClass(name.c_str(), &existing)) return true;
  WindowClass placeholder;
  placeholder.name = name;
  placeholder.procedure = PlaceholderControlProcedure;
  placeholder.cursor = 1;
  return RegisterWindowClass(placeholder);
}

std::string FaceOf(std::u16string_view face) {
  std::string narrow;
  for (char16_t unit : face) narrow += unit < 0x80 ? static_cast<char>(unit) : '?';
  return narrow;
}

WindowHandle CreateDialog(const uint8_t* data, uint32_t size, WindowHandle owner,
                          DialogProcedure procedure, MessageLong initialValue, bool modal,
                          std::shared_ptr<DialogRecord>* kept) {
  RegisterStandardControls();
  EnsureDialogClass();
  DialogTemplate dialog;
  if (!data || !ParseDialogTemplate(data, size, &dialog)) {
    TraceOutput("CreateDialogFromTemplate called with a malformed template\n");
    SetLastErrorCode(kErrorInvalidParameter);
    return {};
  }
  auto record = std::make_shared<DialogRecord>();
  record->procedure = procedure;
  record->modal = modal;
  record->units = GetDialogBaseUnits(dialog);
  FontDescription description;
  description.size = dialog.fontPointSize ? dialog.fontPointSize : kDefaultPointSize;
  description.weight = dialog.fontWeight ? dialog.fontWeight : kFontWeightNormal;
  description.italic = dialog.fontItalic;
  description.face = FaceOf(dialog.fontFace);
  record->font = CreateFont(description);
  record->ownsFont = record->font != nullptr;
  if (!record->font) record->font = GetDefaultGuiFont();

  Rect rect = DialogUnitsToPixels(record->units, dialog.x, dialog.y, dialog.width, dialog.height);
  bool child = (dialog.style & kStyleChild) != 0;
  if (!child) {
    if (dialog.style & kStyleCentreDialog) {
      Rect work = GetScreenBackend()->GetWorkArea();
      rect = Rect{work.left + (work.Width() - rect.Width()) / 2,
                  work.top + (work.Height() - rect.Height()) / 2, 0, 0};
      rect.right = rect.left + Scale(dialog.width, record->units.x, 4);
      rect.bottom = rect.top + Scale(dialog.height, record->units.y, 8);
    } else if (owner) {
      Point origin;
      ClientToScreen(owner, &origin);
      rect = Rect{rect.left + origin.x, rect.top + origin.y, rect.right + origin.x,
                  rect.bottom + origin.y};
    }
  }
  std::u16string className = dialog.className.empty() ? std::u16string(kDialogClassName)
                                                      : std::u16string(dialog.className);
  std::u16string caption(dialog.caption);
  WindowHandle window =
      CreateWindowOfClass(className.c_str(), caption.c_str(), dialog.style & ~kStyleVisible,
                          rect.left, rect.top, rect.Width(), rect.Height(), owner, 0, nullptr);
  if (!window) {
    if (record->ownsFont) DeleteFont(record->font);
    return {};
  }
  {
    Dialogs& dialogs = Global();
    std::lock_guard<std::mutex> lock(dialogs.mutex);
    dialogs.records[window.value] = record;
  }
  if (kept) *kept = record;

  WindowHandle firstTabStop;
  for (const DialogItemTemplate& item : dialog.items) {
    std::u16string itemClass(item.className);
    std::u16string text(item.text);
    Rect place = DialogUnitsToPixels(record->units, item.x, item.y, item.width, item.height);
    WindowHandle control;
    if (EnsureControlClass(itemClass)) {
      control = CreateWindowOfClass(
          itemClass.c_str(), text.c_str(), (item.style | kStyleChild) & ~kStylePopup, place.left,
          place.top, place.Width(), place.Height(), window, item.id, nullptr);
    }
    if (!control) {
      TraceOutput("CreateDialogFromTemplate could not create a control; it is left out\n");
      continue;
    }
    SendWindowMessage(control, kMessageSetFont, reinterpret_cast<MessageWord>(record->font), 0);
    if (!firstTabStop && (item.style & kStyleTabStop) && !(item.style & kStyleDisabled)) {
      firstTabStop = control;
    }
  }

  record->focus = firstTabStop;
  MessageResult focus = SendWindowMessage(
      window, kMessageInitDialog, static_cast<MessageWord>(firstTabStop.ToWord()), initialValue);
  // The procedure may have ended or destroyed the dialog already.
  if (!WindowExists(window)) return {};
  if ((dialog.style & kStyleVisible) && !record->ended) ShowWindow(window, kShowNormal);
  if (focus && firstTabStop && WindowExists(firstTabStop)) SetFocus(firstTabStop);
  return window;
}

WindowHandle ItemOf(WindowHandle dialog, uint32_t id) {
  WindowHandle item = GetChildById(dialog, id);
  if (!item) SetLastErrorCode(kErrorInvalidHandle);
  return item;
}

bool IsCombo(WindowHandle control) {
  char16_t name[16] = {};
  if (GetWindowClassName(control, name, 16) != 8) return false;
  for (char16_t& c : name) {
    if (c >= u'A' && c <= u'Z') c = static_cast<char16_t>(c + 32);
  }
  return std::u16string(name) == u"combobox";
}

// The list message of a control: the combo box numbers for a combo box.
MessageResult ListCall(WindowHandle dialog, uint32_t id, uint32_t listMessage,
                       uint32_t comboMessage, MessageWord word, MessageLong value) {
  WindowHandle item = ItemOf(dialog, id);
  if (!item) return kListError;
  return SendWindowMessage(item, IsCombo(item) ? comboMessage : listMessage, word, value);
}

}  // namespace

MessageResult DialogWindowProcedure(WindowHandle window, uint32_t message, MessageWord word,
                                    MessageLong value) {
  std::shared_ptr<DialogRecord> record = FindRecord(window);
  if (record && record->procedure) {
    MessageResult handled = record->procedure(window, message, word, value);
    if (message == kMessageInitDialog) return handled;
    if (handled && message != kMessageDestroy) return handled;
  }
  switch (message) {
    case kMessageInitDialog:
      return 1;
    case kMessageClose:
      PostWindowMessage(window, kMessageCommand, MakeWordParameter(kCommandCancel, 0), 0);
      return 0;
    case kMessageEraseBackground:
      return 1;
    case kMessageSetFocus:
      // The dialog passes the keyboard on to its first control.
      if (record && record->focus && IsWindowEnabled(record->focus) &&
          GetParentWindow(record->focus) == window) {
        SetFocus(record->focus);
      }
      return 0;
    case kMessagePaint: {
      PaintInfo paint;
      DeviceContext* dc = BeginPaint(window, &paint);
      if (dc) {
        Rect client;
        GetClientRectangle(window, &client);
        FillRectangle(dc, client, kColorFace);
        EndPaint(window, &paint);
      }
      return 0;
    }
    case kMessageGetFont:
      return reinterpret_cast<MessageResult>(record ? record->font : nullptr);
    case kMessageDestroy:
      // The controls are gone by now (children are destroyed first).
      if (std::shared_ptr<DialogRecord> removed = RemoveRecord(window)) {
        if (removed->ownsFont) DeleteFont(removed->font);
        removed->font = nullptr;
        removed->ownsFont = false;
      }
      return 0;
    default:
      return DefaultWindowProcedure(window, message, word, value);
  }
}

WindowHandle CreateDialogFromTemplate(const uint8_t* data, uint32_t size, WindowHandle owner,
                                      DialogProcedure procedure, MessageLong initialValue) {
  return CreateDialog(data, size, owner, procedure, initialValue, false, nullptr);
}

intptr_t RunDialogFromTemplate(const uint8_t* data, uint32_t size, WindowHandle owner,
                               DialogProcedure procedure, MessageLong initialValue) {
  bool ownerDisabled = false;
  if (owner && IsWindowEnabled(owner)) {
    EnableWindow(owner, false);
    ownerDisabled = true;
  }
  std::shared_ptr<DialogRecord> record;
  WindowHandle dialog = CreateDialog(data, size, owner, procedure, initialValue, true, &record);
  if (!dialog) {
    if (ownerDisabled) EnableWindow(owner, true);
    return record ? record->result : -1;
  }
  if (!record->ended && !IsWindowVisible(dialog)) ShowWindow(dialog, kShowNormal);
  bool quit = false;
  int32_t quitCode = 0;
  while (!record->ended && WindowExists(dialog)) {
    Message message;
    if (!GetNextMessage(&message)) {
      quit = true;
      quitCode = static_cast<int32_t>(message.word);
      break;
    }
    DispatchWindowMessage(message);
  }
  // The owner comes back before the dialog goes, so that it takes the
  // activation the dialog gives up.
  if (ownerDisabled) EnableWindow(owner, true);
  if (WindowExists(dialog)) DestroyWindow(dialog);
  if (quit) PostQuit(quitCode);
  return record->result;
}

bool EndDialog(WindowHandle dialog, intptr_t result) {
  std::shared_ptr<DialogRecord> record = FindRecord(dialog);
  if (!record) {
    TraceOutput("EndDialog called for a window that is no dialog\n");
    SetLastErrorCode(kErrorInvalidHandle);
    return false;
  }
  record->ended = true;
  record->result = result;
  if (record->modal) {
    // Wakes the modal loop when the call came from elsewhere.
    PostWindowMessage(dialog, kMessageNull, 0, 0);
  } else {
    ShowWindow(dialog, kShowHide);
  }
  return true;
}

DialogBaseUnits GetDialogBaseUnits(const DialogTemplate& dialog) {
  int32_t points = dialog.fontPointSize ? dialog.fontPointSize : kDefaultPointSize;
  int32_t height = Scale(points, 96, 72);
  DialogBaseUnits units;
  units.x = Scale(height, 6, 11);
  units.y = Scale(height, 13, 11);
  return units;
}

Rect DialogUnitsToPixels(const DialogBaseUnits& units, int32_t x, int32_t y, int32_t width,
                         int32_t height) {
  Rect rect;
  rect.left = Scale(x, units.x, 4);
  rect.top = Scale(y, units.y, 8);
  rect.right = rect.left + Scale(width, units.x, 4);
  rect.bottom = rect.top + Scale(height, units.y, 8);
  return rect;
}

bool MapDialogRectangle(WindowHandle dialog, Rect* rect) {
  std::shared_ptr<DialogRecord> record = FindRecord(dialog);
  if (!record || !rect) {
    SetLastErrorCode(kErrorInvalidHandle);
    return false;
  }
  rect->left = Scale(rect->left, record->units.x, 4);
  rect->right = Scale(rect->right, record->units.x, 4);
  rect->top = Scale(rect->top, record->units.y, 8);
  rect->bottom = Scale(rect->bottom, record->units.y, 8);
  return true;
}

WindowHandle GetDialogItem(WindowHandle dialog, uint32_t id) {
  return ItemOf(dialog, id);
}

MessageResult SendDialogItemMessage(WindowHandle dialog, uint32_t id, uint32_t message,
                                    MessageWord word, MessageLong value) {
  WindowHandle item = ItemOf(dialog, id);
  return item ? SendWindowMessage(item, message, word, value) : 0;
}

bool SetDialogItemText(WindowHandle dialog, uint32_t id, const char16_t* text) {
  WindowHandle item = ItemOf(dialog, id);
  return item && SetWindowText(item, text);
}

bool SetDialogItemText(WindowHandle dialog, uint32_t id, const char* text) {
  WindowHandle item = ItemOf(dialog, id);
  return item && SetWindowText(item, text);
}

int32_t GetDialogItemText(WindowHandle dialog, uint32_t id, char16_t* buffer, int32_t capacity) {
  WindowHandle item = ItemOf(dialog, id);
  if (!item) {
    if (buffer && capacity > 0) buffer[0] = 0;
    return 0;
  }
  return GetWindowText(item, buffer, capacity);
}

int32_t GetDialogItemText(WindowHandle dialog, uint32_t id, char* buffer, int32_t capacity) {
  WindowHandle item = ItemOf(dialog, id);
  if (!item) {
    if (buffer && capacity > 0) buffer[0] = 0;
    return 0;
  }
  return GetWindowText(item, buffer, capacity);
}

bool CheckDialogButton(WindowHandle dialog, uint32_t id, uint32_t check) {
  WindowHandle item = ItemOf(dialog, id);
  if (!item) return false;
  SendWindowMessage(item, kMessageButtonSetCheck, check, 0);
  return true;
}

uint32_t IsDialogButtonChecked(WindowHandle dialog, uint32_t id) {
  WindowHandle item = ItemOf(dialog, id);
  return item ? static_cast<uint32_t>(SendWindowMessage(item, kMessageButtonGetCheck, 0, 0)) : 0;
}

bool CheckRadioButton(WindowHandle dialog, uint32_t firstId, uint32_t lastId, uint32_t checkId) {
  if (firstId > lastId || checkId < firstId || checkId > lastId) {
    SetLastErrorCode(kErrorInvalidParameter);
    return false;
  }
  for (uint32_t id = firstId; id <= lastId; ++id) {
    WindowHandle item = GetChildById(dialog, id);
    if (item)
      SendWindowMessage(item, kMessageButtonSetCheck, id == checkId ? kChecked : kUnchecked, 0);
  }
  return true;
}

bool EnableDialogItem(WindowHandle dialog, uint32_t id, bool enable) {
  WindowHandle item = ItemOf(dialog, id);
  if (!item) return false;
  EnableWindow(item, enable);
  return true;
}

bool IsDialogItemEnabled(WindowHandle dialog, uint32_t id) {
  WindowHandle item = ItemOf(dialog, id);
  return item && IsWindowEnabled(item);
}

int32_t AddDialogItemEntry(WindowHandle dialog, uint32_t id, const char16_t* text, intptr_t data) {
  WindowHandle item = ItemOf(dialog, id);
  if (!item) return -1;
  bool combo = IsCombo(item);
  auto index = static_cast<int32_t>(
      SendWindowMessage(item, combo ? kMessageComboAddString : kMessageListAddString, 0,
                        reinterpret_cast<MessageLong>(text ? text : u"")));
  if (index < 0) return -1;
  SendWindowMessage(item, combo ? kMessageComboSetItemData : kMessageListSetItemData,
                    static_cast<MessageWord>(index), data);
  return index;
}

int32_t AddDialogItemEntry(WindowHandle dialog, uint32_t id, const char* text, intptr_t data) {
  std::u16string wide = Windows1252ToUtf16(text ? text : "");
  return AddDialogItemEntry(dialog, id, wide.c_str(), data);
}

bool ClearDialogItemEntries(WindowHandle dialog, uint32_t id) {
  return ListCall(dialog, id, kMessageListResetContent, kMessageComboResetContent, 0, 0) !=
         kListError;
}

int32_t GetDialogItemEntryCount(WindowHandle dialog, uint32_t id) {
  return static_cast<int32_t>(
      ListCall(dialog, id, kMessageListGetCount, kMessageComboGetCount, 0, 0));
}

bool SetDialogItemSelection(WindowHandle dialog, uint32_t id, int32_t index) {
  if (!GetChildById(dialog, id)) {
    SetLastErrorCode(kErrorInvalidHandle);
    return false;
  }
  MessageResult answer = ListCall(dialog, id, kMessageListSetSelection, kMessageComboSetSelection,
                                  static_cast<MessageWord>(static_cast<intptr_t>(index)), 0);
  return index < 0 || answer == index;
}

int32_t GetDialogItemSelection(WindowHandle dialog, uint32_t id) {
  return static_cast<int32_t>(
      ListCall(dialog, id, kMessageListGetSelection, kMessageComboGetSelection, 0, 0));
}

intptr_t GetDialogItemEntryData(WindowHandle dialog, uint32_t id, int32_t index) {
  return ListCall(dialog, id, kMessageListGetItemData, kMessageComboGetItemData,
                  static_cast<MessageWord>(static_cast<intptr_t>(index)), 0);
}
