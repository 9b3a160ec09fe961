#include "foundation/tl_dialog.h"

#include <atomic>

#include "foundation/tl_memory.h"
#include "platform/trace.h"

namespace {

std::atomic<DebugTraceSink> g_sink{nullptr};

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
