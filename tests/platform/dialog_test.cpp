// Dialogs from templates, the standard controls and message boxes, driven
// through the headless backend with injected input.

#include "platform/dialog.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "platform/controls.h"
#include "platform/input.h"
#include "platform/messagebox.h"
#include "platform/resource.h"

namespace {

// Tests never open windows on a desktop.
const int kHeadless = setenv("VORLAN_BACKEND", "headless", 1);

// Builds a compiled template in memory, as vorlan-rc lays it out.
class TemplateBuilder {
 public:
  TemplateBuilder(uint32_t style, int16_t width, int16_t height, std::u16string caption,
                  std::u16string className = u"", uint16_t points = 8) {
    resource_format::DialogHeader header{};
    header.signature = resource_format::kDialogSignature;
    header.style = style;
    header.width = width;
    header.height = height;
    header.fontPointSize = points;
    Append(&header, sizeof(header));
    Text(caption);
    Text(className);
    Text(points ? u"MS Shell Dlg" : u"");
  }

  TemplateBuilder& Item(uint16_t id, std::u16string className, std::u16string text, uint32_t style,
                        int16_t x, int16_t y, int16_t width, int16_t height) {
    resource_format::DialogItemHeader item{};
    item.style = style;
    item.x = x;
    item.y = y;
    item.width = width;
    item.height = height;
    item.id = id;
    Append(&item, sizeof(item));
    Text(className);
    Text(text);
    ++items_;
    return *this;
  }

  const std::vector<uint8_t>& Bytes() {
    // The item count sits at offset 20 of the header.
    std::memcpy(bytes_.data() + 20, &items_, sizeof(items_));
    return bytes_;
  }

 private:
  void Append(const void* data, size_t size) {
    auto bytes = static_cast<const uint8_t*>(data);
    bytes_.insert(bytes_.end(), bytes, bytes + size);
  }
  void Text(const std::u16string& text) {
    auto count = static_cast<uint16_t>(text.size());
    Append(&count, 2);
    Append(text.data(), 2 * text.size());
  }

  std::vector<uint8_t> bytes_;
  uint16_t items_ = 0;
};

constexpr uint32_t kVisibleChild = kStyleChild | kStyleVisible;

// The controls of the game's options page, in miniature.
std::vector<uint8_t> OptionsTemplate(uint32_t dialogStyle) {
  TemplateBuilder builder(dialogStyle, 200, 160, u"Options");
  builder
      .Item(1014, u"button", u"Local human",
            kVisibleChild | kButtonAutoRadio | kStyleGroup | kStyleTabStop, 4, 4, 90, 10)
      .Item(1015, u"button", u"Computer", kVisibleChild | kButtonAutoRadio, 4, 16, 90, 10)
      .Item(1020, u"BUTTON", u"Low", kVisibleChild | kButtonAutoRadio | kStyleGroup, 4, 30, 60, 10)
      .Item(1021, u"Button", u"Medium", kVisibleChild | kButtonAutoRadio, 4, 42, 60, 10)
      .Item(1022, u"button", u"High", kVisibleChild | kButtonAutoRadio, 4, 54, 60, 10)
      .Item(1032, u"button", u"Play sound effects",
            kVisibleChild | kButtonAutoCheckBox | kStyleGroup, 4, 68, 90, 10)
      .Item(1013, u"listbox", u"", kVisibleChild | kStyleGroup, 100, 4, 90, 40)
      .Item(1040, u"combobox", u"", kVisibleChild | kComboDropDownList, 100, 50, 90, 60)
      .Item(1023, u"static", u"Strength:", kVisibleChild, 100, 80, 90, 10)
      .Item(1, u"button", u"Done", kVisibleChild | kButtonDefaultPush, 140, 140, 50, 14);
  return builder.Bytes();
}

struct Command {
  uint16_t id;
  uint16_t notification;
};

struct Recorder {
  std::vector<Command> commands;
  MessageLong initialValue = 0;
  int32_t initCount = 0;
  WindowHandle initFocus;
  intptr_t endWith = -1;  // ends the dialog on command 1 when not -1
};
Recorder* g_recorder = nullptr;

MessageResult RecordingProcedure(WindowHandle dialog, uint32_t message, MessageWord word,
                                 MessageLong value) {
  switch (message) {
    case kMessageInitDialog:
      g_recorder->initialValue = value;
      g_recorder->initFocus = WindowHandle::FromWord(static_cast<intptr_t>(word));
      ++g_recorder->initCount;
      return 1;
    case kMessageCommand:
      g_recorder->commands.push_back({LowWord(word), HighWord(word)});
      if (LowWord(word) == 1 && g_recorder->endWith != -1) EndDialog(dialog, g_recorder->endWith);
      return 1;
    default:
      return 0;
  }
}

class DialogTest : public ::testing::Test {
 protected:
  void SetUp() override { g_recorder = &recorder_; }
  void TearDown() override {
    DispatchPendingMessages();
    g_recorder = nullptr;
  }

  // Clicks the middle of a control and lets the messages land.
  void Click(WindowHandle dialog, uint32_t id) {
    WindowHandle control = GetDialogItem(dialog, id);
    ASSERT_TRUE(control);
    Rect client;
    GetClientRectangle(control, &client);
    ASSERT_TRUE(InjectClick(control, client.Width() / 2, client.Height() / 2));
    DispatchPendingMessages();
  }

  Recorder recorder_;
};

TEST(DialogUnitsTest, BaseUnitsFollowTheTemplateFontSize) {
  struct Case {
    uint16_t points;
    int32_t x, y;
  } const cases[] = {{0, 6, 13}, {8, 6, 13}, {9, 7, 14}, {10, 7, 15}, {12, 9, 19}};
  for (const Case& c : cases) {
    DialogTemplate dialog;
    dialog.fontPointSize = c.points;
    DialogBaseUnits units = GetDialogBaseUnits(dialog);
    EXPECT_EQ(units.x, c.x) << c.points;
    EXPECT_EQ(units.y, c.y) << c.points;
  }
}

TEST(DialogUnitsTest, ConversionRoundsEachEdge) {
  struct Case {
    int32_t x, y, width, height;
    Rect pixels;
  } const cases[] = {
      {0, 0, 160, 185, {0, 0, 240, 301}},  // the game's main window
      {0, 0, 380, 134, {0, 0, 570, 218}},  // a setup page
      {2, 40, 75, 10, {3, 65, 116, 81}},   // a radio button of the welcome page
      {294, 116, 64, 14, {441, 189, 537, 212}}, {-3, -5, 1, 1, {-5, -8, -3, -6}},
  };
  for (const Case& c : cases) {
    Rect rect = DialogUnitsToPixels(DialogBaseUnits{6, 13}, c.x, c.y, c.width, c.height);
    EXPECT_EQ(rect.left, c.pixels.left) << c.x;
    EXPECT_EQ(rect.top, c.pixels.top) << c.y;
    EXPECT_EQ(rect.right, c.pixels.right) << c.x;
    EXPECT_EQ(rect.bottom, c.pixels.bottom) << c.y;
  }
}

TEST_F(DialogTest, HiddenDialogShowsItsControlsAsTheTemplateHasThem) {
  TemplateBuilder builder(kStylePopup | kStyleSystemMenu, 380, 134, u"Welcome");
  builder
      .Item(65535, u"static", u"Welcome to Vorlan", kVisibleChild | kStaticCenter, 165, 26, 193, 79)
      .Item(1001, u"button", u"English",
            kVisibleChild | kButtonAutoRadio | kStyleGroup | kStyleTabStop, 2, 40, 75, 10)
      .Item(1000, u"button", u"<b>Install</b>", kVisibleChild | kStyleDisabled, 294, 116, 64, 14)
      .Item(1008, u"msctls_progress32", u"", kVisibleChild, 34, 78, 80, 8)
      .Item(1009, u"user", u"class:progress", kStyleChild, 34, 108, 80, 8);
  const std::vector<uint8_t>& bytes = builder.Bytes();
  WindowHandle dialog = CreateDialogFromTemplate(bytes.data(), static_cast<uint32_t>(bytes.size()),
                                                 {}, RecordingProcedure, 77);
  ASSERT_TRUE(dialog);
  EXPECT_FALSE(IsWindowVisible(dialog));
  EXPECT_EQ(recorder_.initCount, 1);
  EXPECT_EQ(recorder_.initialValue, 77);
  EXPECT_EQ(recorder_.initFocus, GetDialogItem(dialog, 1001));
  Rect client;
  GetClientRectangle(dialog, &client);
  EXPECT_EQ(client.Width(), 570);
  EXPECT_EQ(client.Height(), 218);
  char16_t caption[32];
  GetWindowText(dialog, caption, 32);
  EXPECT_EQ(std::u16string(caption), u"Welcome");

  struct Expected {
    uint32_t id;
    const char* className;
    const char* text;
    Rect rect;
    bool enabled;
  } const expected[] = {
      {65535, "static", "Welcome to Vorlan", {248, 42, 538, 170}, true},
      {1001, "button", "English", {3, 65, 116, 81}, true},
      {1000, "button", "<b>Install</b>", {441, 189, 537, 212}, false},
      {1008, "msctls_progress32", "", {51, 127, 171, 140}, true},
      {1009, "user", "class:progress", {51, 176, 171, 189}, true},
  };
  Rect dialogRect;
  GetWindowRectangle(dialog, &dialogRect);
  WindowHandle child = GetFirstChild(dialog);
  for (const Expected& e : expected) {
    ASSERT_TRUE(child) << e.id;
    EXPECT_EQ(GetControlId(child), e.id);
    char name[64];
    GetWindowClassName(child, name, 64);
    EXPECT_STRCASEEQ(name, e.className);
    char text[64];
    GetWindowText(child, text, 64);
    EXPECT_STREQ(text, e.text);
    Rect rect;
    GetWindowRectangle(child, &rect);
    EXPECT_EQ(rect.left - dialogRect.left, e.rect.left) << e.id;
    EXPECT_EQ(rect.top - dialogRect.top, e.rect.top) << e.id;
    EXPECT_EQ(rect.Width(), e.rect.Width()) << e.id;
    EXPECT_EQ(rect.Height(), e.rect.Height()) << e.id;
    EXPECT_EQ(IsWindowEnabled(child), e.enabled) << e.id;
    EXPECT_EQ(SendWindowMessage(child, kMessageButtonGetCheck, 0, 0), 0);
    child = GetNextSibling(child);
  }
  EXPECT_FALSE(child);
  EXPECT_FALSE(IsWindowVisible(GetDialogItem(dialog, 1009)));
  EXPECT_TRUE(DestroyWindow(dialog));
}

TEST_F(DialogTest, MalformedTemplatesAreRefused) {
  std::vector<uint8_t> bytes = TemplateBuilder(kStylePopup, 10, 10, u"x")
                                   .Item(1, u"button", u"OK", kVisibleChild, 0, 0, 5, 5)
                                   .Bytes();
  for (uint32_t size : {0u, 10u, static_cast<uint32_t>(bytes.size()) - 1}) {
    EXPECT_FALSE(CreateDialogFromTemplate(bytes.data(), size, {}, RecordingProcedure, 0)) << size;
    EXPECT_EQ(RunDialogFromTemplate(bytes.data(), size, {}, RecordingProcedure, 0), -1) << size;
  }
  EXPECT_EQ(recorder_.initCount, 0);
  EXPECT_FALSE(EndDialog({}, 1));
}

MessageResult g_ownClassCalls = 0;
MessageResult OwnClassProcedure(WindowHandle window, uint32_t message, MessageWord word,
                                MessageLong value) {
  ++g_ownClassCalls;
  return DialogWindowProcedure(window, message, word, value);
}

TEST_F(DialogTest, TemplateNamesItsOwnClassWithTheDialogProcedure) {
  WindowClass description;
  description.name = u"VorlanTestClass";
  description.procedure = OwnClassProcedure;
  ASSERT_TRUE(RegisterWindowClass(description));
  std::vector<uint8_t> bytes =
      TemplateBuilder(kStylePopup | kStyleVisible, 160, 185, u"Vorlan", u"vorlantestclass")
          .Item(1001, u"Static", u"", kVisibleChild, 0, 0, 160, 185)
          .Bytes();
  WindowHandle dialog = CreateDialogFromTemplate(bytes.data(), static_cast<uint32_t>(bytes.size()),
                                                 {}, RecordingProcedure, 5);
  ASSERT_TRUE(dialog);
  EXPECT_GT(g_ownClassCalls, 0);
  EXPECT_EQ(recorder_.initialValue, 5);
  EXPECT_TRUE(IsWindowVisible(dialog));
  // The close request becomes command 2, and the window stays.
  RequestWindowClose(dialog);
  DispatchPendingMessages();
  ASSERT_EQ(recorder_.commands.size(), 1u);
  EXPECT_EQ(recorder_.commands[0].id, kCommandCancel);
  EXPECT_TRUE(WindowExists(dialog));
  DestroyWindow(dialog);
  UnregisterWindowClass(u"VorlanTestClass");
}

TEST_F(DialogTest, ClicksDriveRadioGroupsCheckBoxesAndLists) {
  std::vector<uint8_t> bytes = OptionsTemplate(kStylePopup | kStyleVisible);
  WindowHandle dialog = CreateDialogFromTemplate(bytes.data(), static_cast<uint32_t>(bytes.size()),
                                                 {}, RecordingProcedure, 0);
  ASSERT_TRUE(dialog);
  DispatchPendingMessages();
  AddDialogItemEntry(dialog, 1013, u"English", 1033);
  AddDialogItemEntry(dialog, 1013, "Esperanto", 0);
  AddDialogItemEntry(dialog, 1040, u"Black", 1);
  AddDialogItemEntry(dialog, 1040, u"White", 2);
  ASSERT_TRUE(SetDialogItemSelection(dialog, 1013, 0));
  EXPECT_TRUE(recorder_.commands.empty()) << "setting by message reports nothing";

  // Radio buttons: one per group, groups independent.
  Click(dialog, 1015);
  Click(dialog, 1021);
  Click(dialog, 1014);
  EXPECT_EQ(IsDialogButtonChecked(dialog, 1014), kChecked);
  EXPECT_EQ(IsDialogButtonChecked(dialog, 1015), kUnchecked);
  EXPECT_EQ(IsDialogButtonChecked(dialog, 1021), kChecked);
  Click(dialog, 1022);
  EXPECT_EQ(IsDialogButtonChecked(dialog, 1021), kUnchecked);
  EXPECT_EQ(IsDialogButtonChecked(dialog, 1022), kChecked);
  EXPECT_EQ(IsDialogButtonChecked(dialog, 1014), kChecked);

  // The check box toggles; a disabled one ignores the click.
  Click(dialog, 1032);
  EXPECT_EQ(IsDialogButtonChecked(dialog, 1032), kChecked);
  Click(dialog, 1032);
  EXPECT_EQ(IsDialogButtonChecked(dialog, 1032), kUnchecked);
  EXPECT_TRUE(EnableDialogItem(dialog, 1032, false));
  EXPECT_FALSE(IsDialogItemEnabled(dialog, 1032));
  Click(dialog, 1032);
  EXPECT_EQ(IsDialogButtonChecked(dialog, 1032), kUnchecked);

  // The list box: a click on the second row selects it.
  WindowHandle list = GetDialogItem(dialog, 1013);
  InjectClick(list, 10, 2 + 20);
  DispatchPendingMessages();
  EXPECT_EQ(GetDialogItemSelection(dialog, 1013), 1);
  EXPECT_EQ(GetDialogItemEntryData(dialog, 1013, 1), 0);
  EXPECT_EQ(GetDialogItemEntryData(dialog, 1013, 0), 1033);

  // The drop-down list opens on a click and takes the entry clicked in it.
  Click(dialog, 1040);
  WindowHandle dropList = GetCapture();
  ASSERT_TRUE(dropList);
  EXPECT_NE(dropList, GetDialogItem(dialog, 1040));
  Rect listRect;
  GetClientRectangle(dropList, &listRect);
  InjectClick(dropList, 10, listRect.Height() - 4);
  DispatchPendingMessages();
  EXPECT_FALSE(WindowExists(dropList));
  EXPECT_EQ(GetDialogItemSelection(dialog, 1040), 1);
  EXPECT_EQ(GetDialogItemEntryData(dialog, 1040, 1), 2);

  Click(dialog, 1);
  struct Expected {
    uint16_t id, notification;
  } const expected[] = {
      {1015, kNotifyButtonClicked},   {1021, kNotifyButtonClicked},   {1014, kNotifyButtonClicked},
      {1022, kNotifyButtonClicked},   {1032, kNotifyButtonClicked},   {1032, kNotifyButtonClicked},
      {1013, kNotifySelectionChange}, {1040, kNotifySelectionChange}, {1, kNotifyButtonClicked},
  };
  ASSERT_EQ(recorder_.commands.size(), std::size(expected));
  for (size_t i = 0; i < std::size(expected); ++i) {
    EXPECT_EQ(recorder_.commands[i].id, expected[i].id) << i;
    EXPECT_EQ(recorder_.commands[i].notification, expected[i].notification) << i;
  }
  DestroyWindow(dialog);
}

TEST_F(DialogTest, ItemHelpersSetAndReadByControlId) {
  std::vector<uint8_t> bytes = OptionsTemplate(kStylePopup);
  WindowHandle dialog = CreateDialogFromTemplate(bytes.data(), static_cast<uint32_t>(bytes.size()),
                                                 {}, RecordingProcedure, 0);
  ASSERT_TRUE(dialog);
  EXPECT_TRUE(SetDialogItemText(dialog, 1023, "Forto:"));
  char narrow[16];
  EXPECT_EQ(GetDialogItemText(dialog, 1023, narrow, 16), 6);
  EXPECT_STREQ(narrow, "Forto:");
  EXPECT_TRUE(SetDialogItemText(dialog, 1023, u"Meznivela \u0109"));
  char16_t wide[16];
  GetDialogItemText(dialog, 1023, wide, 16);
  EXPECT_EQ(std::u16string(wide), u"Meznivela \u0109");

  EXPECT_TRUE(CheckRadioButton(dialog, 1020, 1022, 1021));
  EXPECT_EQ(IsDialogButtonChecked(dialog, 1020), kUnchecked);
  EXPECT_EQ(IsDialogButtonChecked(dialog, 1021), kChecked);
  EXPECT_FALSE(CheckRadioButton(dialog, 1020, 1022, 1030));
  EXPECT_TRUE(CheckDialogButton(dialog, 1032, kChecked));
  EXPECT_EQ(IsDialogButtonChecked(dialog, 1032), kChecked);

  for (uint32_t id : {1013u, 1040u}) {
    EXPECT_EQ(AddDialogItemEntry(dialog, id, u"a", 10), 0);
    EXPECT_EQ(AddDialogItemEntry(dialog, id, u"b", 20), 1);
    EXPECT_EQ(GetDialogItemEntryCount(dialog, id), 2);
    EXPECT_EQ(GetDialogItemSelection(dialog, id), -1);
    EXPECT_TRUE(SetDialogItemSelection(dialog, id, 1));
    EXPECT_EQ(GetDialogItemSelection(dialog, id), 1);
    EXPECT_FALSE(SetDialogItemSelection(dialog, id, 2));
    EXPECT_EQ(GetDialogItemEntryData(dialog, id, 1), 20);
    EXPECT_EQ(GetDialogItemEntryData(dialog, id, 5), -1);
    EXPECT_TRUE(ClearDialogItemEntries(dialog, id));
    EXPECT_EQ(GetDialogItemEntryCount(dialog, id), 0);
    EXPECT_EQ(GetDialogItemSelection(dialog, id), -1);
  }

  // An id the dialog does not have.
  EXPECT_FALSE(GetDialogItem(dialog, 4242));
  EXPECT_FALSE(SetDialogItemText(dialog, 4242, "x"));
  EXPECT_EQ(GetDialogItemText(dialog, 4242, narrow, 16), 0);
  EXPECT_STREQ(narrow, "");
  EXPECT_FALSE(CheckDialogButton(dialog, 4242, kChecked));
  EXPECT_EQ(GetDialogItemSelection(dialog, 4242), -1);
  EXPECT_FALSE(SetDialogItemSelection(dialog, 4242, -1));
  EXPECT_TRUE(recorder_.commands.empty());
  DestroyWindow(dialog);
}

// A modal dialog answers a message posted from its initialisation by
// clicking its own Done button, which ends it.
MessageResult ClickDoneProcedure(WindowHandle dialog, uint32_t message, MessageWord word,
                                 MessageLong value) {
  if (message == kMessageInitDialog) PostWindowMessage(dialog, kMessageUser, 0, 0);
  if (message == kMessageUser) {
    EXPECT_FALSE(IsWindowEnabled(GetOwnerWindow(dialog)));
    WindowHandle done = GetDialogItem(dialog, 1);
    InjectClick(done, 5, 5);
    return 1;
  }
  return RecordingProcedure(dialog, message, word, value);
}

// The look-up also sees other processes' windows, and other test programs
// running beside this one open dialogs and boxes of the same classes: only a
// window of this process counts (another process's has no thread here).
bool OwnTopLevelWindowExists(const char16_t* className) {
  WindowHandle window = FindTopLevelWindow(className);
  return window && GetWindowThreadId(window) != 0;
}

TEST_F(DialogTest, ModalDialogEndsWithTheResultAndGivesTheOwnerBack) {
  WindowHandle owner = CreateWindowOfClass(kStaticClassName, u"owner", kStylePopup | kStyleVisible,
                                           600, 600, 50, 50, {}, 0, nullptr);
  ASSERT_TRUE(owner);
  recorder_.endWith = 42;
  std::vector<uint8_t> bytes = OptionsTemplate(kStylePopup);
  intptr_t result = RunDialogFromTemplate(bytes.data(), static_cast<uint32_t>(bytes.size()), owner,
                                          ClickDoneProcedure, 9);
  EXPECT_EQ(result, 42);
  EXPECT_EQ(recorder_.initialValue, 9);
  ASSERT_FALSE(recorder_.commands.empty());
  EXPECT_EQ(recorder_.commands.back().id, 1);
  EXPECT_TRUE(IsWindowEnabled(owner));
  // The dialog is gone: nothing of it is left under the owner.
  EXPECT_FALSE(OwnTopLevelWindowExists(kDialogClassName));
  DestroyWindow(owner);
}

// Message boxes.

struct BoxCase {
  uint32_t type;
  std::vector<uint16_t> buttons;
  uint16_t click;  // 0: close request instead
};
const BoxCase* g_boxCase = nullptr;
std::vector<uint16_t> g_seenButtons;

void AnswerByClick(WindowHandle box, uint32_t) {
  g_seenButtons.clear();
  for (WindowHandle child = GetFirstChild(box); child; child = GetNextSibling(child)) {
    g_seenButtons.push_back(static_cast<uint16_t>(GetControlId(child)));
  }
  if (g_boxCase->click == 0) {
    RequestWindowClose(box);
    return;
  }
  WindowHandle button = GetChildById(box, g_boxCase->click);
  ASSERT_TRUE(button);
  InjectClick(button, 10, 10);
}

TEST(MessageBoxTest, InjectedClickAnswersWithTheButtonsId) {
  const BoxCase cases[] = {
      {kMessageBoxOk | kMessageBoxIconInformation, {1}, 1},
      {kMessageBoxOkCancel | kMessageBoxIconStop, {1, 2}, 2},
      {kMessageBoxOkCancel, {1, 2}, 0},  // the close box answers Cancel
      {kMessageBoxOk, {1}, 0},           // and OK when it stands alone
      {kMessageBoxYesNo | kMessageBoxIconQuestion, {6, 7}, 7},
      {kMessageBoxYesNoCancel | kMessageBoxIconWarning, {6, 7, 2}, 6},
      {kMessageBoxAbortRetryIgnore, {3, 4, 5}, 4},
      {kMessageBoxRetryCancel, {4, 2}, 2},
  };
  MessageBoxObserver previous = SetMessageBoxObserver(AnswerByClick);
  for (const BoxCase& c : cases) {
    g_boxCase = &c;
    int32_t answer = RunMessageBox({}, u"Text of the box", u"Caption", c.type);
    EXPECT_EQ(g_seenButtons, c.buttons) << c.type;
    EXPECT_EQ(answer, c.click ? c.click : (c.type == kMessageBoxOk ? 1 : 2)) << c.type;
  }
  SetMessageBoxObserver(previous);
  EXPECT_FALSE(OwnTopLevelWindowExists(u"MessageBoxWindow"));
}

// Yes/No has no Cancel: the close request is refused, and the box waits.
void CloseThenAnswerNo(WindowHandle box, uint32_t) {
  RequestWindowClose(box);
  DispatchPendingMessages();
  EXPECT_TRUE(WindowExists(box));
  InjectClick(GetChildById(box, kCommandNo), 10, 10);
}

TEST(MessageBoxTest, CloseRequestIsRefusedWithoutCancel) {
  MessageBoxObserver previous = SetMessageBoxObserver(CloseThenAnswerNo);
  EXPECT_EQ(RunMessageBox({}, "Quit?", "Vorlan", kMessageBoxYesNo), kCommandNo);
  SetMessageBoxObserver(previous);
}

void PressReturn(WindowHandle, uint32_t) {
  InjectKey(kKeyReturn, u'\r');
}

TEST(MessageBoxTest, RunsOnAThreadOfItsOwn) {
  MessageBoxObserver previous = SetMessageBoxObserver(PressReturn);
  int32_t answer = 0;
  std::thread thread(
      [&answer] { answer = RunMessageBox({}, u"On its own thread", u"Thread", kMessageBoxYesNo); });
  thread.join();
  EXPECT_EQ(answer, kCommandYes);
  SetMessageBoxObserver(previous);
}

void PressEscape(WindowHandle, uint32_t) {
  InjectKey(kKeyEscape, 27);
}

TEST(MessageBoxTest, EscapeActsAsTheCloseBox) {
  MessageBoxObserver previous = SetMessageBoxObserver(PressEscape);
  EXPECT_EQ(RunMessageBox({}, "text", "caption", kMessageBoxYesNoCancel), kCommandCancel);
  EXPECT_EQ(RunMessageBox({}, "text", "caption", kMessageBoxOk), kCommandOk);
  SetMessageBoxObserver(previous);
}

TEST(MessageBoxTest, HeadlessBoxWithoutObserverAnswersItsFirstButton) {
  MessageBoxObserver previous = SetMessageBoxObserver(nullptr);
  EXPECT_EQ(RunMessageBox({}, "text", "caption", kMessageBoxOkCancel), kCommandOk);
  EXPECT_EQ(RunMessageBox({}, "text", "caption", kMessageBoxRetryCancel), kCommandRetry);
  SetMessageBoxObserver(previous);
}

}  // namespace
