#include "platform/trace.h"

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>

namespace {

struct TraceSink {
  FILE* file = nullptr;  // null: trace is off
  std::mutex lock;

  TraceSink() {
    const char* mode = std::getenv("VORLAN_TRACE");
    if (mode && std::strcmp(mode, "off") == 0) return;
    const char* path = std::getenv("VORLAN_TRACE_FILE");
    if (path && *path) {
      file = std::fopen(path, "a");
      if (file) return;
    }
    file = stderr;
  }
};

TraceSink& Sink() {
  static TraceSink sink;
  return sink;
}

}  // namespace

void TraceOutput(const char* text) {
  TraceSink& sink = Sink();
  if (!sink.file || !text) return;
  std::lock_guard<std::mutex> guard(sink.lock);
  std::fputs(text, sink.file);
  std::fflush(sink.file);
}

void BreakIntoDebugger() { std::raise(SIGTRAP); }
