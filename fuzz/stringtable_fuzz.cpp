// One string-table block of arbitrary bytes: every entry the walk hands out
// must lie inside the block, be counted and hold no NUL; the rest are refused.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "common/language.h"
#include "foundation/tl_string.h"

namespace {

void Check(bool condition) {
  if (!condition) __builtin_trap();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > 0x10000) return 0;
  // Resources are 2-byte aligned; the input need not be.
  std::vector<uint16_t> aligned(size / 2 + 1);
  if (size) std::memcpy(aligned.data(), data, size);
  const auto* block = reinterpret_cast<const uint8_t*>(aligned.data());
  uint32_t length = static_cast<uint32_t>(size);

  for (uint32_t index = 0; index <= kStringsPerBlock; ++index) {
    const char16_t* entry = FindStringBlockEntry(block, length, index);
    if (!entry) continue;
    Check(index < kStringsPerBlock);
    const auto* begin = reinterpret_cast<const uint8_t*>(entry);
    uint16_t count = entry[0];
    Check(count != 0);
    Check(begin >= block && begin + 2 + 2u * count <= block + length);
    for (uint16_t i = 1; i <= count; ++i) Check(entry[i] != 0);
    string text(entry + 1, 0, count);
    Check(text.Length() == count);
  }
  return 0;
}
