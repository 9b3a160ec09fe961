// Placeholder so that other modules can link until the real memory manager lands.
#include "foundation/tl_memory.h"

#include <cstdlib>
#include <cstring>

void* MemAlloc(size_t size, const char*, const char*, int32_t) { return std::malloc(size ? size : 1); }
void MemFree(void* address, const char*, int32_t) { std::free(address); }
void* MemRegisterObject(void* object, size_t, const char*, const char*, int32_t) { return object; }
void MemUnregisterObject(void*, const char*, int32_t) {}
void MemTare(void*, const char*, int32_t) {}
int32_t MemRealloc(size_t elementSize, void** array, uint32_t* count, uint32_t needed, uint32_t step,
                   const char*, int32_t) {
  if (*count >= needed) return 1;
  uint32_t newCount = needed + step - 1;
  void* fresh = std::calloc(newCount, elementSize);
  if (!fresh) return 0;
  if (*array) std::memcpy(fresh, *array, elementSize * *count);
  std::free(*array);
  *array = fresh;
  *count = newCount;
  return 1;
}
void MemReport() {}
MemReportBoxFunction MemSetReportBox(MemReportBoxFunction box) { return box; }
MemBlockReportFunction MemSetBlockReportHook(MemBlockReportFunction hook) { return hook; }
