// Ownership of GDI objects (fonts, bitmaps): deleted when the owner goes.
#pragma once

#include <windows.h>

#include <memory>
#include <type_traits>

namespace kvat::win32 {

struct GdiObjectDeleter {
    void operator()(HGDIOBJ object) const { DeleteObject(object); }
};

template <typename Handle>
using GdiObject = std::unique_ptr<std::remove_pointer_t<Handle>, GdiObjectDeleter>;

using FontHandle = GdiObject<HFONT>;
using BitmapHandle = GdiObject<HBITMAP>;

}  // namespace kvat::win32
