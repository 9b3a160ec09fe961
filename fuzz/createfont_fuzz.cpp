// Font specification texts as the skin settings file gives them: any text
// makes a font or a clear refusal, and a font made has a sane description.
#include <cstddef>
#include <cstdint>
#include <string>

#include "common/language.h"
#include "platform/font.h"
#include "platform/registry.h"

namespace {

void Check(bool condition) {
  if (!condition) __builtin_trap();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // The language choice is read from a registry of its own, never the user's.
  static const bool kStore = RegistrySelectDefaultStore(":memory:");
  (void)kStore;
  if (size > 4096) return 0;
  std::string text(reinterpret_cast<const char*>(data), size);
  Font* font = CreateFontFromSpec(text.c_str());
  if (!font) return 0;
  FontDescription description;
  Check(GetFontDescription(font, &description));
  Check(description.size != 0 && description.size >= -1024 && description.size <= 1024);
  DeleteFont(font);
  return 0;
}
