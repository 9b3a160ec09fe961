#include "foundation/tl_dialog.h"

#include <atomic>
#include <cstdlib>

#include "foundation/tl_memory.h"
#include "platform/messagebox.h"
#include "platform/resource.h"
#include "platform/thread.h"
#include "platform/trace.h"

namespace {

std::atomic<DebugTraceSink> g_sink{nullptr};
std::atomic<const DialogLanguage*> g_dialogLanguage{nullptr};

constexpr uint32_t kAlertType = 0x41;  // OK and Cancel, information icon
constexpr char kAlertCaption[] = "OK=Continue X=Quit";

// Stores the UTF-8 form of one code point; returns the bytes written.
size_t EncodeUtf8(uint32_t code, char* out) {
  if (code < 0x80) {
    out[0] = static_cast<char>(code);
    return 1;
  }
  if (code < 0x800) {
    out[0] = static_cast<char>(0xC0 | (code >> 6));
    out[1] = static_cast<char>(0x80 | (code & 0x3F));
    return 2;
  }
  if (code < 0x10000) {
    out[0] = static_cast<char>(0xE0 | (code >> 12));
    out[1] = static_cast<char>(0x80 | ((code >> 6) & 0x3F));
    out[2] = static_cast<char>(0x80 | (code & 0x3F));
    return 3;
  }
  out[0] = static_cast<char>(0xF0 | (code >> 18));
  out[1] = static_cast<char>(0x80 | ((code >> 12) & 0x3F));
  out[2] = static_cast<char>(0x80 | ((code >> 6) & 0x3F));
  out[3] = static_cast<char>(0x80 | (code & 0x3F));
  return 4;
}

void SendLine(string& line) {
  if (line.Find(static_cast<TCHAR>(0x0A)) < 0) line += static_cast<TCHAR>(0x0A);
  const char16_t* text = line.Wide();
  uint32_t length = line.Length();
  // At most three bytes per UTF-16 unit; a pair of units makes four.
  char small[512];
  char* utf8 = small;
  if (3 * static_cast<size_t>(length) + 1 > sizeof(small)) {
    utf8 = static_cast<char*>(MEM_ALLOC(3 * static_cast<size_t>(length) + 1, "3*cchText+1"));
    if (!utf8) return;
  }
  size_t used = 0;
  for (uint32_t i = 0; i < length; ++i) {
    uint32_t code = text[i];
    if (code >= 0xD800 && code < 0xDC00 && i + 1 < length && text[i + 1] >= 0xDC00 &&
        text[i + 1] < 0xE000) {
      code = 0x10000 + ((code - 0xD800) << 10) + (text[i + 1] - 0xDC00);
      ++i;
    } else if (code >= 0xD800 && code < 0xE000) {
      code = 0xFFFD;  // a lone half of a pair
    }
    used += EncodeUtf8(code, utf8 + used);
  }
  utf8[used] = 0;
  DebugTraceSink sink = g_sink.load(std::memory_order_acquire);
  if (sink) {
    sink(utf8);
  } else {
    TraceOutput(utf8);
  }
  if (utf8 != small) MEM_FREE(utf8);
}

int32_t ShowOnThisThread(const MESSAGE_PARAMS* params) {
  return RunMessageBox(WindowHandle{}, params->text.Wide(), params->caption.Wide(), params->type);
}

// The box's own thread owns the record and frees it.
uint32_t MessageBoxThread(void* parameter) {
  auto* params = static_cast<MESSAGE_PARAMS*>(parameter);
  ShowOnThisThread(params);
  MEM_DELETE(params);
  return 0;
}

void Alert(int32_t mode, const string& text) {
  if (mode != 0) {
    string line(text);
    SendLine(line);
    return;
  }
  if (ShowMessageBox(kAlertType, string(kAlertCaption), text) == kCommandCancel) std::exit(0);
}

const uint8_t* FindTemplate(uint32_t id, uint32_t* size) {
  const DialogLanguage* language = g_dialogLanguage.load(std::memory_order_acquire);
  if (language && language->findTemplate) return language->findTemplate(id, size);
  ResourceHandle resource =
      FindResource(GetProgramResourceModule(), kResourceTypeDialog, static_cast<uint16_t>(id));
  if (!resource) return nullptr;
  *size = GetResourceSize(resource);
  return LoadResourceData(resource);
}

// The template of a base id in the current language; traced when missing.
const uint8_t* LanguageTemplate(uint32_t id, uint32_t* size, const char* operation) {
  const DialogLanguage* language = g_dialogLanguage.load(std::memory_order_acquire);
  uint32_t offset = language && language->offset ? language->offset() : 0;
  *size = 0;
  // Summed in 64 bits, so that an id near the top of its range cannot wrap
  // round to a small template id.
  uint64_t full = static_cast<uint64_t>(id) + offset;
  const uint8_t* data = full <= 0xFFFF ? FindTemplate(static_cast<uint32_t>(full), size) : nullptr;
  if (!data) DebugTrace("%s could not find dialog template %lu", operation, id + offset);
  return data;
}

MemReportAnswer MemoryReportBox(const char* caption, const char* text) {
  int32_t answer =
      RunMessageBox(WindowHandle{}, text, caption, kMessageBoxOkCancel | kMessageBoxIconStop);
  return answer == kCommandCancel ? MemReportAnswer::Debug : MemReportAnswer::Continue;
}

}  // namespace

void DebugTraceList(const char* format, const FormatArgumentList& arguments) {
  sformat line(format, arguments);
  SendLine(line);
}

void DebugTraceList(const char16_t* format, const FormatArgumentList& arguments) {
  sformat line(format, arguments);
  SendLine(line);
}

DebugTraceSink SetDebugTraceSink(DebugTraceSink sink) {
  return g_sink.exchange(sink, std::memory_order_acq_rel);
}

void DebugAlertList(int32_t mode, const char* format, const FormatArgumentList& arguments) {
  Alert(mode, sformat(format, arguments));
}

void DebugAlertList(int32_t mode, const char16_t* format, const FormatArgumentList& arguments) {
  Alert(mode, sformat(format, arguments));
}

int32_t ShowMessageBox(uint32_t type, const string& caption, const string& text) {
  MESSAGE_PARAMS* params = MEM_NEW(MESSAGE_PARAMS, "MESSAGE_PARAMS");
  if (!params) return 0;
  params->type = type;
  params->caption = caption;
  params->text = text;
  if ((params->type & kMessageBoxIconMask) == 0) {
    params->type |= (params->type & kMessageBoxButtonMask) ? kMessageBoxIconQuestion
                                                           : kMessageBoxIconInformation;
  }
  if ((params->type & kMessageBoxOwnThread) == 0) {
    int32_t answer = ShowOnThisThread(params);
    MEM_DELETE(params);
    return answer;
  }
  params->type &= ~kMessageBoxOwnThread;
  ThreadHandle thread = StartThread(MessageBoxThread, params);
  if (!thread) {
    DebugTrace("ShowMessageBox could not start the thread of its box");
    MEM_DELETE(params);
    return 0;
  }
  CloseThreadHandle(thread);
  return 0;
}

WindowHandle CreateLangDialog(uint32_t id, WindowHandle parent, DialogProcedure procedure,
                              MessageLong value) {
  uint32_t size = 0;
  const uint8_t* data = LanguageTemplate(id, &size, "CreateLangDialog");
  if (!data) return {};
  return CreateDialogFromTemplate(data, size, parent, procedure, value);
}

intptr_t LangDialogBox(uint32_t id, WindowHandle parent, DialogProcedure procedure,
                       MessageLong value) {
  uint32_t size = 0;
  const uint8_t* data = LanguageTemplate(id, &size, "LangDialogBox");
  if (!data) return -1;
  return RunDialogFromTemplate(data, size, parent, procedure, value);
}

void SetDialogLanguage(const DialogLanguage* language) {
  g_dialogLanguage.store(language, std::memory_order_release);
}

void InstallMemoryReportBox() {
  MemSetReportBox(MemoryReportBox);
}
