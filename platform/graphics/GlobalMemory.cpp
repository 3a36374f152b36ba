#include "platform/graphics/GlobalMemory.h"

#include <memory>
#include <new>
#include <unordered_map>

#include "platform/core/SpinLock.h"

namespace kv {

namespace {

constexpr size_t kGranule = 16;

struct TBlock {
  std::unique_ptr<uint8_t[]> Data;
  size_t Size = 0;
  uint32_t Locks = 0;
};

struct TBlocks {
  TSpinLock Mutex;
  std::unordered_map<uintptr_t, TBlock> Live;
  uintptr_t Next = 0x1004;  // 4 more than a multiple of 8: never a drawing-object handle
  size_t Bytes = 0;
  size_t Limit = SIZE_MAX;
};

TBlocks& blocks() {
  static TBlocks Blocks;
  return Blocks;
}

uintptr_t value_of(HGLOBAL Block) { return reinterpret_cast<uintptr_t>(Block); }

}  // namespace

HGLOBAL GlobalAlloc(uint32_t Flags, size_t Bytes) {
  if (Bytes == 0 || (Flags & ~kGHnd) != 0 || Bytes > SIZE_MAX - kGranule) return nullptr;
  const size_t Size = (Bytes + kGranule - 1) / kGranule * kGranule;
  TBlocks& B = blocks();
  TSpinGuard Lock(B.Mutex);
  if (Size > B.Limit || B.Bytes > B.Limit - Size) return nullptr;
  TBlock Block;
  Block.Data.reset(new (std::nothrow) uint8_t[Size]());  // zero-filled
  if (!Block.Data) return nullptr;
  Block.Size = Size;
  while (B.Live.count(B.Next) != 0) B.Next += 8;
  const uintptr_t Handle = B.Next;
  B.Next += 8;
  B.Live.emplace(Handle, std::move(Block));
  B.Bytes += Size;
  return reinterpret_cast<HGLOBAL>(Handle);
}

void* GlobalLock(HGLOBAL Block) {
  TBlocks& B = blocks();
  TSpinGuard Lock(B.Mutex);
  const auto It = B.Live.find(value_of(Block));
  if (It == B.Live.end()) return nullptr;
  ++It->second.Locks;
  return It->second.Data.get();
}

bool GlobalUnlock(HGLOBAL Block) {
  TBlocks& B = blocks();
  TSpinGuard Lock(B.Mutex);
  const auto It = B.Live.find(value_of(Block));
  if (It == B.Live.end() || It->second.Locks == 0) return false;
  return --It->second.Locks > 0;
}

size_t GlobalSize(HGLOBAL Block) {
  TBlocks& B = blocks();
  TSpinGuard Lock(B.Mutex);
  const auto It = B.Live.find(value_of(Block));
  return It == B.Live.end() ? 0 : It->second.Size;
}

uint32_t GlobalFlags(HGLOBAL Block) {
  TBlocks& B = blocks();
  TSpinGuard Lock(B.Mutex);
  const auto It = B.Live.find(value_of(Block));
  return It == B.Live.end() ? kGMemInvalidHandle : It->second.Locks;
}

HGLOBAL GlobalFree(HGLOBAL Block) {
  TBlocks& B = blocks();
  TSpinGuard Lock(B.Mutex);
  const auto It = B.Live.find(value_of(Block));
  if (It == B.Live.end()) return Block;
  B.Bytes -= It->second.Size;
  B.Live.erase(It);
  return nullptr;
}

int64_t GlobalBlocksInUse() {
  TBlocks& B = blocks();
  TSpinGuard Lock(B.Mutex);
  return static_cast<int64_t>(B.Live.size());
}

size_t SetGlobalMemoryLimit(size_t Bytes) {
  TBlocks& B = blocks();
  TSpinGuard Lock(B.Mutex);
  return std::exchange(B.Limit, Bytes);
}

}  // namespace kv
