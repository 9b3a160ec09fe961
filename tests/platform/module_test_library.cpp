// A small library for the module test: loaded by name, its functions found
// by name and called.
#include <cstdint>

namespace {
int32_t calls = 0;
}

extern "C" {

__attribute__((visibility("default"))) int32_t ModuleTestAdd(int32_t a, int32_t b) { return a + b; }

// Counts its calls, so that a test can tell whether two loads share one copy
// of the library and whether an unload really let it go.
__attribute__((visibility("default"))) int32_t ModuleTestCount() { return ++calls; }

}
