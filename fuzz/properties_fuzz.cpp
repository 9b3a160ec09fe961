// The settings parser over arbitrary bytes, read as 8-bit text and as UTF-16
// text. Besides not crashing, every key stored must be found again, keys must
// iterate in order, and removing with the same text must leave nothing.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "cetl/properties.h"

namespace {

template <class Character>
void Check(const Character* text, size_t length) {
  cetl::PROPERTIES properties;
  if (!properties.parse_text(text, length, cetl::PROPERTIES::kStore)) std::abort();
  const istring* previous = nullptr;
  for (const auto& [key, value] : properties) {
    if (!properties.contains(key)) std::abort();
    if (previous && !(*previous < key)) std::abort();
    if (properties[key].integer() != value.integer()) std::abort();
    previous = &key;
  }
  if (!properties.parse_text(text, length, cetl::PROPERTIES::kRemove)) std::abort();
  if (!properties.empty()) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  Check(reinterpret_cast<const char*>(data), size);
  // The same bytes taken as UTF-16 units, copied for their alignment.
  size_t units = size / 2;
  char16_t* wide = static_cast<char16_t*>(std::malloc((units ? units : 1) * sizeof(char16_t)));
  if (!wide) return 0;
  for (size_t k = 0; k < units; ++k) {
    wide[k] = static_cast<char16_t>(data[2 * k] | (data[2 * k + 1] << 8));
  }
  Check(wide, units);
  std::free(wide);
  return 0;
}
