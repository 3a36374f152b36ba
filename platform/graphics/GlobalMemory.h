// Global memory blocks, the currency of the clipboard: allocated zero-filled, locked for
// access, sized, freed. The usable size of a block may exceed the size asked for (it is
// rounded up to 16 bytes), as the platform's is. Handles name blocks as drawing-object
// handles name objects: a freed or made-up handle names nothing.
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/graphics/GdiTypes.h"
#include "platform/graphics/HandleOwner.h"

namespace kv {

constexpr uint32_t kGMemFixed = 0x0000;
constexpr uint32_t kGMemMoveable = 0x0002;
constexpr uint32_t kGMemZeroInit = 0x0040;
constexpr uint32_t kGHnd = kGMemMoveable | kGMemZeroInit;

// A new block of at least Bytes bytes, all zero (whatever Flags say); nullptr for 0 bytes,
// unknown flags, beyond the limit of SetGlobalMemoryLimit, or when memory is exhausted.
HGLOBAL GlobalAlloc(uint32_t Flags, size_t Bytes);
// The block's address, and one more lock; nullptr for an invalid handle.
void* GlobalLock(HGLOBAL Block);
// One lock less; true while the block is still locked.
bool GlobalUnlock(HGLOBAL Block);
// The usable size; 0 for an invalid handle.
size_t GlobalSize(HGLOBAL Block);
// The lock count; kGMemInvalidHandle for an invalid handle.
constexpr uint32_t kGMemInvalidHandle = 0x8000;
uint32_t GlobalFlags(HGLOBAL Block);
// Frees the block (locked or not); nullptr when freed, Block itself for an invalid handle.
HGLOBAL GlobalFree(HGLOBAL Block);

// Blocks allocated and not yet freed, in this process (a leak shows here).
int64_t GlobalBlocksInUse();
// The most bytes that live blocks may hold together (unlimited at first); returns the
// previous limit. Tests lower it to make allocation fail.
size_t SetGlobalMemoryLimit(size_t Bytes);

// Owns one block and frees it unless it is released (handed to the clipboard, returned).
using TGlobalBlock = THandleOwner<HGLOBAL, &GlobalFree>;

// Holds a block locked for the guard's lifetime: Data() is its address (nullptr when the
// handle is invalid, and then nothing is unlocked).
class TGlobalLock {
 public:
  explicit TGlobalLock(HGLOBAL Block) : m_Block(Block), m_Data(static_cast<uint8_t*>(GlobalLock(Block))) {}
  ~TGlobalLock() {
    if (m_Data != nullptr) GlobalUnlock(m_Block);
  }
  TGlobalLock(const TGlobalLock&) = delete;
  TGlobalLock& operator=(const TGlobalLock&) = delete;

  uint8_t* Data() const { return m_Data; }
  size_t Size() const { return m_Data != nullptr ? GlobalSize(m_Block) : 0; }

 private:
  HGLOBAL m_Block;
  uint8_t* m_Data;
};

}  // namespace kv
