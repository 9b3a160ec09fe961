#pragma once
// The Memory Manager: every raw buffer comes from MemAlloc and every object
// created with new is recorded with MemRegisterObject, each with a type tag
// (a record name in capitals or the buffer's size expression), the creating
// source file and line. Blocks are framed by a leading and a trailing
// signature that are checked whenever they are freed or tared, so that a
// buffer overrun is noticed when its victim is released rather than never.
//
// Small blocks are carved from 1 MiB chunks in sizes of 128 bytes and are
// reused through one free list per size; blocks above 512 KiB go to the
// system heap by themselves. One recursive lock guards the whole manager, so
// any thread may allocate and free.
//
// Each block costs 116 bytes of bookkeeping (a 112-byte header in front of
// the caller's bytes, which keeps them 16-byte aligned, and a 4-byte trailing
// signature), and a buffer of n bytes takes the smallest multiple of 128 that
// is strictly greater than n + 116: up to 11 bytes fit in 128.

#include <cstddef>
#include <cstdint>
#include <new>
#include <utility>

// Returns the new buffer (its contents undefined), or null when the system
// heap is exhausted or the size cannot be represented.
void* MemAlloc(size_t size, const char* typeTag, const char* sourceFile, int32_t line);
// Freeing an address that is not a live block (a second free, a pointer into
// a block, null) is shown in the report box and changes nothing.
void MemFree(void* address, const char* sourceFile, int32_t line);
// Records an object fresh from new; returns it. The object stays where new
// put it: only the record is kept here.
void* MemRegisterObject(void* object, size_t objectSize, const char* typeTag,
                        const char* sourceFile, int32_t line);
// Drops the record; the caller then deletes the object.
void MemUnregisterObject(void* object, const char* sourceFile, int32_t line);
// Marks a buffer or recorded object as meant to live until the process ends
// (static strings, records handed to another thread).
void MemTare(void* address, const char* sourceFile, int32_t line);

// Grows *array (of *count elements of elementSize bytes) to hold at least
// needed elements: when it is too small it becomes needed + step - 1
// elements, the old ones copied and the new ones zeroed (a step of 0 counts
// as 1, so the result always holds needed). Returns 1, or 0 with the array
// left alone when the allocation fails.
int32_t MemRealloc(size_t elementSize, void** array, uint32_t* count, uint32_t needed,
                   uint32_t step, const char* sourceFile, int32_t line);

// The end-of-run report. It produces nothing.
void MemReport();

// The report box shows the "Memory Manager" texts for unknown addresses. It
// is called with the manager's lock held, so it may allocate but must not
// wait for another thread that allocates. Until a real message box is
// installed it writes the text to standard error and continues; the Debug
// answer breaks into the debugger. The texts are 8-bit in both builds.
enum class MemReportAnswer { Continue, Debug };
using MemReportBoxFunction = MemReportAnswer (*)(const char* caption, const char* text);
// Returns the previous box; null puts the standard error writer back.
MemReportBoxFunction MemSetReportBox(MemReportBoxFunction box);

// Block reports (kind mismatches, overwritten signatures) go to this hook,
// which does nothing unless one is installed. block is the address the
// caller handed in. The block is then freed or tared as usual, except that a
// block whose header was overwritten beyond repair is only taken out of use.
using MemBlockReportFunction = void (*)(const void* block, const char* sourceFile, int32_t line,
                                        const char* message);
MemBlockReportFunction MemSetBlockReportHook(MemBlockReportFunction hook);

// Read-only views for tests and diagnostics.
struct MemStatistics {
  uint32_t chunks;       // chunks held, empty ones included
  uint32_t emptyChunks;  // chunks without a live block (at most 3 are kept)
  uint32_t liveBlocks;   // buffers and recorded objects, large ones included
  uint32_t largeBlocks;  // live blocks taken from the system by themselves
};
MemStatistics MemGetStatistics();

struct MemBlockInfo {
  uint32_t blockSize;      // bookkeeping included
  uint32_t capacity;       // bytes the caller may use
  uint32_t requestedSize;  // bytes asked for, or the object's size
  bool object;
  bool large;
  bool tared;
  const char* typeTag;
  const char* sourceFile;
  int32_t line;
};
// False when address is not a live buffer or recorded object.
bool MemGetBlockInfo(const void* address, MemBlockInfo* info);

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
