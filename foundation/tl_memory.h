#pragma once
// The Memory Manager: every raw buffer comes from MemAlloc and every object
// created with new is recorded with MemRegisterObject, each with a type tag,
// the creating source file and line. Blocks carry signatures that are checked
// when they are freed or tared; unknown addresses are reported in a box.

#include <cstddef>
#include <cstdint>
#include <new>
#include <utility>

void* MemAlloc(size_t size, const char* typeTag, const char* sourceFile, int32_t line);
void MemFree(void* address, const char* sourceFile, int32_t line);
void* MemRegisterObject(void* object, size_t objectSize, const char* typeTag,
                        const char* sourceFile, int32_t line);
void MemUnregisterObject(void* object, const char* sourceFile, int32_t line);
void MemTare(void* address, const char* sourceFile, int32_t line);

// Grows *array (of *count elements of elementSize bytes) to hold at least
// needed elements: when it is too small it becomes needed + step - 1
// elements, the old ones copied and the new ones zeroed. Returns 1, or 0
// with the array left alone when the allocation fails.
int32_t MemRealloc(size_t elementSize, void** array, uint32_t* count, uint32_t needed,
                   uint32_t step, const char* sourceFile, int32_t line);

// The end-of-run report. It produces nothing.
void MemReport();

// The report box shows the "Memory Manager" texts for unknown addresses.
// Until a real message box is installed it writes the text to standard error
// and continues.
enum class MemReportAnswer { Continue, Debug };
using MemReportBoxFunction = MemReportAnswer (*)(const char* caption, const char* text);
MemReportBoxFunction MemSetReportBox(MemReportBoxFunction box);  // returns the previous one

// Block reports (kind mismatches, overwritten signatures) go to this hook,
// which does nothing unless one is installed.
using MemBlockReportFunction = void (*)(const void* block, const char* sourceFile, int32_t line,
                                        const char* message);
MemBlockReportFunction MemSetBlockReportHook(MemBlockReportFunction hook);

// One-call helpers that name the calling file and line.

template <class T, class... Args>
T* MemNew(const char* typeTag, const char* sourceFile, int32_t line, Args&&... args) {
  T* object = new (std::nothrow) T(std::forward<Args>(args)...);
  if (object) MemRegisterObject(object, sizeof(T), typeTag, sourceFile, line);
  return object;
}

template <class T>
void MemDelete(T* object, const char* sourceFile, int32_t line) {
  if (!object) return;
  MemUnregisterObject(object, sourceFile, line);
  delete object;
}

template <class T, class Count>
bool MemGrow(T*& array, Count& count, uint32_t needed, uint32_t step, const char* sourceFile,
             int32_t line) {
  void* storage = array;
  uint32_t elements = static_cast<uint32_t>(count);
  if (!MemRealloc(sizeof(T), &storage, &elements, needed, step, sourceFile, line)) return false;
  array = static_cast<T*>(storage);
  count = static_cast<Count>(elements);
  return true;
}

// MEM_NEW(Type, "TAG", constructor arguments...) and MEM_DELETE(object).
#define MEM_NEW(Type, typeTag, ...) MemNew<Type>(typeTag, __FILE__, __LINE__ __VA_OPT__(, ) __VA_ARGS__)
#define MEM_DELETE(object) MemDelete((object), __FILE__, __LINE__)
// MEM_ALLOC(bytes, "size expression") and MEM_FREE(address) for raw buffers.
#define MEM_ALLOC(size, typeTag) MemAlloc((size), (typeTag), __FILE__, __LINE__)
#define MEM_FREE(address) MemFree((address), __FILE__, __LINE__)
#define MEM_TARE(address) MemTare((address), __FILE__, __LINE__)
// MEM_GROW(array, count, needed, step): MemRealloc's growth for a typed array.
#define MEM_GROW(array, count, needed, step) MemGrow((array), (count), (needed), (step), __FILE__, __LINE__)
