#include "foundation/tl_memory.h"

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>

#include "platform/trace.h"

namespace {

// 'Mem!' and 'Okay' read as big-endian numbers; stored little-endian, a dump
// shows "!meM" at the front of a block and "yakO" at its end.
constexpr uint32_t kLeadingSignature = 0x4D656D21;
constexpr uint32_t kTrailingSignature = 0x4F6B6179;

constexpr size_t kChunkSize = 0x100000;
constexpr uint32_t kClassSize = 128;
constexpr uint32_t kLargestChunkBlock = 0x80000;
constexpr uint32_t kBucketCount = 16384;
constexpr uint32_t kFreeListCount = 4096;
// Looking further than this for a bigger free block wastes more than a fresh
// carve costs.
constexpr uint32_t kFreeListReach = 16;
// Empty chunks kept so that a burst of frees followed by a burst of
// allocations does not hand memory back to the system and ask for it again.
constexpr uint32_t kKeptEmptyChunks = 3;

constexpr int32_t kRawBuffer = 0;
constexpr int32_t kRecordedObject = 1;

const char kFreeText[] = "free";
const char kCaption[] = "Memory Manager";

struct MemoryChunk;

// alignas(16) rounds the header up so that the caller's bytes that follow it
// keep the alignment new and malloc promise.
struct alignas(16) MemoryBlock {
  uint32_t leadingSignature;
  int32_t bucket;  // -1 while free
  MemoryBlock* previousInBucket;
  MemoryBlock* nextInBucket;
  MemoryBlock* previousFree;
  MemoryBlock* nextFree;
  MemoryChunk* chunk;  // null for a large block
  int32_t kind;
  int32_t large;
  uint32_t capacity;
  uint32_t requestedSize;
  const char* sourceFile;
  const char* typeTag;
  int32_t line;
  int32_t tared;
  void* userAddress;
  void* objectAddress;
};
static_assert(sizeof(MemoryBlock) == 112);
static_assert(sizeof(MemoryBlock) % 16 == 0);

constexpr uint32_t kBlockOverhead = sizeof(MemoryBlock) + sizeof(uint32_t);
// Keeps the block size and the 32-bit size fields of the header from wrapping.
constexpr size_t kLargestRequest = UINT32_MAX - kClassSize - kBlockOverhead;

struct alignas(16) MemoryChunk {
  MemoryChunk* next;
  MemoryChunk* previous;
  uint32_t usableSize;
  uint32_t uncarved;
  uint32_t liveBlocks;
  uint32_t carvedBlocks;
  unsigned char* firstByte;
};
static_assert(sizeof(MemoryChunk) == 48);

struct MemoryManager {
  std::recursive_mutex lock;
  MemoryChunk* currentChunk = nullptr;  // head of the chunk list
  MemoryBlock* addressTable[kBucketCount] = {};
  MemoryBlock* freeLists[kFreeListCount] = {};
  uint32_t emptyChunks = 0;
};

MemoryManager& Manager() {
  // Built in place and never destroyed: static destructors that run at exit
  // may still free their buffers here.
  alignas(MemoryManager) static unsigned char storage[sizeof(MemoryManager)];
  static MemoryManager* const manager = new (storage) MemoryManager;
  return *manager;
}

MemReportAnswer WriteReportToStandardError(const char* caption, const char* text) {
  std::fprintf(stderr, "%s\n%s\n", caption, text);
  std::fflush(stderr);
  return MemReportAnswer::Continue;
}

std::atomic<MemReportBoxFunction> reportBox{WriteReportToStandardError};
std::atomic<MemBlockReportFunction> blockReportHook{nullptr};

const char* Text(const char* text) { return text ? text : ""; }

void ShowReportBox(const char* message, const void* address, const char* sourceFile, int32_t line) {
  char text[1024];
  std::snprintf(text, sizeof text,
                "%s\n\n   Address: 0x%08lX\n   Current: %s line %ld\n\nClick OK to dismiss\nClick X to debug",
                message, static_cast<unsigned long>(reinterpret_cast<uintptr_t>(address)),
                Text(sourceFile), static_cast<long>(line));
  if (reportBox.load()(kCaption, text) == MemReportAnswer::Debug) BreakIntoDebugger();
}

void RaiseBlockReport(const void* address, const char* sourceFile, int32_t line, const char* message) {
  if (MemBlockReportFunction hook = blockReportHook.load()) hook(address, sourceFile, line, message);
}

unsigned char* UserBytes(MemoryBlock* block) { return reinterpret_cast<unsigned char*>(block + 1); }

uint32_t BlockSize(const MemoryBlock* block) { return block->capacity + kBlockOverhead; }

uint32_t ClassOf(uint32_t blockSize) { return blockSize / kClassSize - 1; }

void WriteTrailingSignature(MemoryBlock* block) {
  std::memcpy(UserBytes(block) + block->capacity, &kTrailingSignature, sizeof kTrailingSignature);
}

bool TrailingSignatureIntact(MemoryBlock* block) {
  uint32_t signature;
  std::memcpy(&signature, UserBytes(block) + block->capacity, sizeof signature);
  return signature == kTrailingSignature;
}

// Reports an overwritten signature; false when the header itself was hit and
// can no longer be trusted.
bool CheckSignatures(MemoryBlock* block, const void* address, const char* sourceFile, int32_t line) {
  if (block->leadingSignature != kLeadingSignature) {
    RaiseBlockReport(address, sourceFile, line, "The leading signature on a memory block was overwritten.");
    return false;
  }
  if (!TrailingSignatureIntact(block))
    RaiseBlockReport(address, sourceFile, line, "The trailing signature on a memory block was overwritten.");
  return true;
}

uint32_t BucketOf(const void* key) {
  return static_cast<uint32_t>((reinterpret_cast<uintptr_t>(key) >> 4) & (kBucketCount - 1));
}

void SetFreeState(MemoryBlock* block) {
  block->bucket = -1;
  block->previousInBucket = nullptr;
  block->nextInBucket = nullptr;
  block->kind = kRawBuffer;
  block->requestedSize = 0;
  block->sourceFile = kFreeText;
  block->typeTag = kFreeText;
  block->line = 0;
  block->tared = 0;
  block->objectAddress = nullptr;
}

// A block goes back on its list whole again, so that an overrun reported
// against its last owner is not reported against the next one too.
void ResetToFree(MemoryBlock* block) {
  block->leadingSignature = kLeadingSignature;
  SetFreeState(block);
  WriteTrailingSignature(block);
}

void PushFree(MemoryManager& manager, MemoryBlock* block) {
  MemoryBlock*& head = manager.freeLists[ClassOf(BlockSize(block))];
  block->previousFree = nullptr;
  block->nextFree = head;
  if (head) head->previousFree = block;
  head = block;
}

void UnlinkFree(MemoryManager& manager, MemoryBlock* block) {
  if (block->previousFree)
    block->previousFree->nextFree = block->nextFree;
  else
    manager.freeLists[ClassOf(BlockSize(block))] = block->nextFree;
  if (block->nextFree) block->nextFree->previousFree = block->previousFree;
  block->previousFree = nullptr;
  block->nextFree = nullptr;
}

void LinkInBucket(MemoryManager& manager, MemoryBlock* block, const void* key) {
  uint32_t bucket = BucketOf(key);
  MemoryBlock*& head = manager.addressTable[bucket];
  block->bucket = static_cast<int32_t>(bucket);
  block->previousInBucket = nullptr;
  block->nextInBucket = head;
  if (head) head->previousInBucket = block;
  head = block;
}

// A live block with its place in the bucket chain, taken from the walk
// rather than from the block, whose header may have been overwritten.
struct FoundBlock {
  MemoryBlock* block;
  MemoryBlock* previous;
  uint32_t bucket;
};

FoundBlock FindLiveBlock(MemoryManager& manager, const void* address) {
  uint32_t bucket = BucketOf(address);
  // Raw buffers have a null object address; null must not match them.
  if (!address) return {nullptr, nullptr, bucket};
  MemoryBlock* previous = nullptr;
  for (MemoryBlock* block = manager.addressTable[bucket]; block; previous = block, block = block->nextInBucket)
    if (block->userAddress == address || block->objectAddress == address) return {block, previous, bucket};
  return {nullptr, nullptr, bucket};
}

void UnlinkFromBucket(MemoryManager& manager, FoundBlock found) {
  MemoryBlock* block = found.block;
  MemoryBlock* next = block->nextInBucket;
  if (found.previous)
    found.previous->nextInBucket = next;
  else
    manager.addressTable[found.bucket] = next;
  if (next) next->previousInBucket = found.previous;
  block->bucket = -1;
  block->previousInBucket = nullptr;
  block->nextInBucket = nullptr;
}

MemoryChunk* GetNewChunk(MemoryManager& manager) {
  auto* chunk = static_cast<MemoryChunk*>(std::malloc(kChunkSize));
  if (!chunk) return nullptr;
  chunk->next = manager.currentChunk;
  chunk->previous = nullptr;
  chunk->usableSize = static_cast<uint32_t>(kChunkSize - sizeof(MemoryChunk));
  chunk->uncarved = chunk->usableSize;
  chunk->liveBlocks = 0;
  chunk->carvedBlocks = 0;
  chunk->firstByte = reinterpret_cast<unsigned char*>(chunk + 1);
  if (manager.currentChunk) manager.currentChunk->previous = chunk;
  manager.currentChunk = chunk;
  ++manager.emptyChunks;
  return chunk;
}

// Takes blockSize bytes from the chunk's uncarved end as a free block that is
// on no list yet.
MemoryBlock* Carve(MemoryChunk* chunk, uint32_t blockSize) {
  auto* block = reinterpret_cast<MemoryBlock*>(chunk->firstByte + (chunk->usableSize - chunk->uncarved));
  block->leadingSignature = kLeadingSignature;
  block->previousFree = nullptr;
  block->nextFree = nullptr;
  block->chunk = chunk;
  block->large = 0;
  block->capacity = blockSize - kBlockOverhead;
  block->userAddress = UserBytes(block);
  SetFreeState(block);
  WriteTrailingSignature(block);
  chunk->uncarved -= blockSize;
  ++chunk->carvedBlocks;
  return block;
}

MemoryBlock* CarveFromCurrentChunk(MemoryManager& manager, uint32_t blockSize) {
  MemoryChunk* chunk = manager.currentChunk;
  if (chunk && chunk->uncarved < blockSize) {
    // The rest would otherwise be lost for as long as the chunk lives.
    if (chunk->uncarved >= kClassSize) PushFree(manager, Carve(chunk, chunk->uncarved));
    chunk = nullptr;
  }
  if (!chunk) chunk = GetNewChunk(manager);
  return chunk ? Carve(chunk, blockSize) : nullptr;
}

MemoryBlock* TakeFreeBlock(MemoryManager& manager, uint32_t blockSize) {
  uint32_t first = ClassOf(blockSize);
  uint32_t last = std::min(first + kFreeListReach, kFreeListCount - 1);
  for (uint32_t index = first; index <= last; ++index) {
    if (MemoryBlock* block = manager.freeLists[index]) {
      UnlinkFree(manager, block);
      return block;
    }
  }
  return nullptr;
}

MemoryBlock* TakeLargeBlock(uint32_t blockSize) {
  auto* block = static_cast<MemoryBlock*>(std::malloc(blockSize));
  if (!block) return nullptr;
  block->leadingSignature = kLeadingSignature;
  block->previousFree = nullptr;
  block->nextFree = nullptr;
  block->chunk = nullptr;
  block->large = 1;
  block->capacity = blockSize - kBlockOverhead;
  block->userAddress = UserBytes(block);
  SetFreeState(block);
  WriteTrailingSignature(block);
  return block;
}

void* Allocate(size_t size, void* object, const char* typeTag, const char* sourceFile, int32_t line) {
  // A recorded object lives where new put it; its block only holds the record.
  uint32_t blockSize = kClassSize;
  if (!object) {
    if (size > kLargestRequest) return nullptr;
    blockSize = static_cast<uint32_t>((size + kBlockOverhead) / kClassSize + 1) * kClassSize;
  }

  MemoryManager& manager = Manager();
  std::lock_guard<std::recursive_mutex> guard(manager.lock);
  MemoryBlock* block;
  if (blockSize > kLargestChunkBlock) {
    block = TakeLargeBlock(blockSize);
  } else {
    block = TakeFreeBlock(manager, blockSize);
    if (!block) block = CarveFromCurrentChunk(manager, blockSize);
  }
  if (!block) return nullptr;

  block->kind = object ? kRecordedObject : kRawBuffer;
  block->requestedSize = static_cast<uint32_t>(std::min<size_t>(size, UINT32_MAX));
  block->sourceFile = sourceFile;
  block->typeTag = typeTag;
  block->line = line;
  block->tared = 0;
  block->objectAddress = object;
  void* key = object ? object : block->userAddress;
  LinkInBucket(manager, block, key);
  if (MemoryChunk* chunk = block->chunk) {
    if (chunk->liveBlocks++ == 0) --manager.emptyChunks;
  }
  return key;
}

// Every carved block of an empty chunk sits on a free list; one whose header
// was overwritten after it was freed would send the walk astray, so the
// chunk is only walked for release once the whole walk is known to be sound.
bool ChunkWalkIsSound(const MemoryChunk* chunk) {
  const unsigned char* position = chunk->firstByte;
  const unsigned char* end = chunk->firstByte + (chunk->usableSize - chunk->uncarved);
  for (uint32_t index = 0; index < chunk->carvedBlocks; ++index) {
    size_t left = static_cast<size_t>(end - position);
    if (left < sizeof(MemoryBlock)) return false;
    auto* block = reinterpret_cast<const MemoryBlock*>(position);
    if (block->leadingSignature != kLeadingSignature || block->bucket != -1 || block->chunk != chunk)
      return false;
    if (BlockSize(block) < kClassSize || BlockSize(block) > left) return false;
    position += BlockSize(block);
  }
  return position == end;
}

void ReleaseChunk(MemoryManager& manager, MemoryChunk* chunk) {
  if (!ChunkWalkIsSound(chunk)) return;
  unsigned char* position = chunk->firstByte;
  for (uint32_t index = 0; index < chunk->carvedBlocks; ++index) {
    auto* block = reinterpret_cast<MemoryBlock*>(position);
    position += BlockSize(block);
    UnlinkFree(manager, block);
  }
  if (chunk->previous) chunk->previous->next = chunk->next;
  if (chunk->next) chunk->next->previous = chunk->previous;
  if (manager.currentChunk == chunk) manager.currentChunk = chunk->next;
  --manager.emptyChunks;
  std::free(chunk);
}

// Once the leading signature is gone the rest of the header is suspect; it
// is trusted only where it agrees with what the manager knows for itself.
bool HeaderIsConsistent(MemoryManager& manager, MemoryBlock* block) {
  if (block->userAddress != UserBytes(block) || block->capacity > UINT32_MAX - kBlockOverhead) return false;
  if (block->large == 1) return block->chunk == nullptr;
  if (block->large != 0) return false;
  MemoryChunk* chunk = manager.currentChunk;
  while (chunk && chunk != block->chunk) chunk = chunk->next;
  if (!chunk || chunk->liveBlocks == 0) return false;
  auto* position = reinterpret_cast<unsigned char*>(block);
  const unsigned char* carvedEnd = chunk->firstByte + (chunk->usableSize - chunk->uncarved);
  return position >= chunk->firstByte && BlockSize(block) >= kClassSize &&
         BlockSize(block) <= static_cast<size_t>(carvedEnd - position);
}

void Release(void* address, bool objectExpected, const char* sourceFile, int32_t line) {
  MemoryManager& manager = Manager();
  std::lock_guard<std::recursive_mutex> guard(manager.lock);
  FoundBlock found = FindLiveBlock(manager, address);
  MemoryBlock* block = found.block;
  if (!block) {
    ShowReportBox("An invalid address was deleted.", address, sourceFile, line);
    return;
  }
  if (objectExpected && block->kind != kRecordedObject)
    RaiseBlockReport(address, sourceFile, line, "A non-object memory address was deleted.");
  if (!objectExpected && block->kind == kRecordedObject)
    RaiseBlockReport(address, sourceFile, line, "A C++ object was deleted using the \"free\" method.");
  bool leadingIntact = CheckSignatures(block, address, sourceFile, line);
  UnlinkFromBucket(manager, found);
  // Recycling a block by a corrupt size or chunk would hand out or free
  // memory that is not the block's; such a block is abandoned (and its chunk
  // kept) instead.
  if (!leadingIntact && !HeaderIsConsistent(manager, block)) return;
  if (block->large) {
    std::free(block);
    return;
  }
  ResetToFree(block);
  PushFree(manager, block);
  MemoryChunk* chunk = block->chunk;
  if (--chunk->liveBlocks == 0 && ++manager.emptyChunks > kKeptEmptyChunks) ReleaseChunk(manager, chunk);
}

}  // namespace

void* MemAlloc(size_t size, const char* typeTag, const char* sourceFile, int32_t line) {
  return Allocate(size, nullptr, typeTag, sourceFile, line);
}

void MemFree(void* address, const char* sourceFile, int32_t line) { Release(address, false, sourceFile, line); }

void* MemRegisterObject(void* object, size_t objectSize, const char* typeTag, const char* sourceFile,
                        int32_t line) {
  // A null object would be a record no one can free; there is nothing to record.
  if (!object) return nullptr;
  return Allocate(objectSize, object, typeTag, sourceFile, line);
}

void MemUnregisterObject(void* object, const char* sourceFile, int32_t line) {
  Release(object, true, sourceFile, line);
}

void MemTare(void* address, const char* sourceFile, int32_t line) {
  MemoryManager& manager = Manager();
  std::lock_guard<std::recursive_mutex> guard(manager.lock);
  MemoryBlock* block = FindLiveBlock(manager, address).block;
  if (!block) {
    ShowReportBox("An invalid address was tared.", address, sourceFile, line);
    return;
  }
  CheckSignatures(block, address, sourceFile, line);
  block->tared = 1;
}

int32_t MemRealloc(size_t elementSize, void** array, uint32_t* count, uint32_t needed, uint32_t step,
                   const char* sourceFile, int32_t line) {
  if (*count >= needed) return 1;
  uint64_t newCount = uint64_t{needed} + std::max<uint32_t>(step, 1) - 1;
  if (newCount > UINT32_MAX) return 0;
  if (elementSize && newCount > SIZE_MAX / elementSize) return 0;
  size_t oldBytes = *array ? elementSize * *count : 0;
  size_t newBytes = elementSize * static_cast<size_t>(newCount);
  auto* fresh = static_cast<unsigned char*>(MemAlloc(newBytes, "MemRealloc", sourceFile, line));
  if (!fresh) return 0;
  if (oldBytes) std::memcpy(fresh, *array, oldBytes);
  std::memset(fresh + oldBytes, 0, newBytes - oldBytes);
  if (*array) MemFree(*array, sourceFile, line);
  *array = fresh;
  *count = static_cast<uint32_t>(newCount);
  return 1;
}

void MemReport() {}

MemReportBoxFunction MemSetReportBox(MemReportBoxFunction box) {
  return reportBox.exchange(box ? box : WriteReportToStandardError);
}

MemBlockReportFunction MemSetBlockReportHook(MemBlockReportFunction hook) { return blockReportHook.exchange(hook); }

MemStatistics MemGetStatistics() {
  MemoryManager& manager = Manager();
  std::lock_guard<std::recursive_mutex> guard(manager.lock);
  MemStatistics statistics{};
  for (MemoryChunk* chunk = manager.currentChunk; chunk; chunk = chunk->next) ++statistics.chunks;
  statistics.emptyChunks = manager.emptyChunks;
  for (MemoryBlock* head : manager.addressTable) {
    for (MemoryBlock* block = head; block; block = block->nextInBucket) {
      ++statistics.liveBlocks;
      if (block->large) ++statistics.largeBlocks;
    }
  }
  return statistics;
}

bool MemGetBlockInfo(const void* address, MemBlockInfo* info) {
  MemoryManager& manager = Manager();
  std::lock_guard<std::recursive_mutex> guard(manager.lock);
  MemoryBlock* block = FindLiveBlock(manager, address).block;
  if (!block) return false;
  info->blockSize = BlockSize(block);
  info->capacity = block->capacity;
  info->requestedSize = block->requestedSize;
  info->object = block->kind == kRecordedObject;
  info->large = block->large != 0;
  info->tared = block->tared != 0;
  info->typeTag = block->typeTag;
  info->sourceFile = block->sourceFile;
  info->line = block->line;
  return true;
}
