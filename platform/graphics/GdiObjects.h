// Drawing objects in general: deleting them, asking what they are, the stock objects, the
// process's object count and quota, and an owner that deletes an object on every exit path.
#pragma once

#include <cstdint>

#include "platform/graphics/GdiTypes.h"
#include "platform/graphics/HandleOwner.h"

namespace kv {

// Deletes a bitmap, palette, pen or brush. False for a handle that names none, and for an
// object still selected into a device context. Stock objects stay; deleting one is harmless.
bool DeleteObject(HGDIOBJ Object);

// Fills Buffer with the object's description and returns the bytes written: a bitmap
// gives a BITMAP, a palette its entry count (2 bytes). With Buffer nullptr, returns the
// size that would be written. 0 for an invalid handle or a buffer too small.
int32_t GetObjectA(HGDIOBJ Object, int32_t Size, void* Buffer);

// kObjBitmap, kObjPal, kObjPen, kObjBrush, kObjDC (a screen context), kObjMemDC; 0 for
// an invalid handle. Takes any handle, device contexts too.
uint32_t GetObjectType(const void* Object);

// kWhiteBrush, kBlackBrush, kNullBrush, kWhitePen, kBlackPen, kNullPen, kDefaultPalette;
// nullptr for other indices.
HGDIOBJ GetStockObject(int32_t Index);

// Objects made and not yet deleted (device contexts included, stock objects not): a leak
// shows here.
int64_t GdiObjectsInUse();
// The most objects that may live at once (the platform's default: 10000); returns the
// previous limit. Tests lower it to make creation fail.
int64_t SetGdiObjectLimit(int64_t Limit);

// Owns one drawing object (a bitmap, palette, pen or brush handle) and deletes it when
// destroyed or reset.
template <class H>
using TGdiObjectOwner = THandleOwner<H, &DeleteObject>;

}  // namespace kv
