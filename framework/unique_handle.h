#pragma once

#include <windows.h>
#include <commctrl.h>

#include <utility>

namespace fw {

// One move-only owner for every kind of Win32 handle; each kind names the
// function that releases it, so no handle is ever closed by hand.
template <class Traits> class UniqueHandle {
public:
    using pointer = typename Traits::pointer;

    UniqueHandle() = default;
    explicit UniqueHandle(pointer h) : m_h(h) {}
    ~UniqueHandle() { reset(); }

    UniqueHandle(const UniqueHandle&) = delete;
    UniqueHandle& operator=(const UniqueHandle&) = delete;
    UniqueHandle(UniqueHandle&& other) noexcept : m_h(other.release()) {}
    UniqueHandle& operator=(UniqueHandle&& other) noexcept {
        if (this != &other)
            reset(other.release());
        return *this;
    }

    pointer get() const { return m_h; }
    explicit operator bool() const { return Traits::IsValid(m_h); }

    pointer release() { return std::exchange(m_h, Traits::Invalid()); }
    void reset(pointer h = Traits::Invalid()) {
        pointer old = std::exchange(m_h, h);
        if (Traits::IsValid(old))
            Traits::Close(old);
    }
    // For out-parameters: releases what is held and hands out the slot.
    pointer* put() {
        reset();
        return &m_h;
    }

private:
    pointer m_h = Traits::Invalid();
};

template <class T, auto CloseFn> struct NullHandleTraits {
    using pointer = T;
    static constexpr T Invalid() { return nullptr; }
    static bool IsValid(T h) { return h != nullptr; }
    static void Close(T h) { CloseFn(h); }
};

struct KeyTraits {
    using pointer = HKEY;
    static HKEY Invalid() { return nullptr; }
    static bool IsValid(HKEY h) { return h != nullptr; }
    static void Close(HKEY h) { RegCloseKey(h); }
};

inline void CloseGdiObject(HGDIOBJ h) {
    DeleteObject(h);
}
inline void CloseImageList(HIMAGELIST h) {
    ImageList_Destroy(h);
}
inline void CloseMenu(HMENU h) {
    DestroyMenu(h);
}
inline void CloseKernelHandle(HANDLE h) {
    CloseHandle(h);
}

using unique_hkey = UniqueHandle<KeyTraits>;
using unique_hfont = UniqueHandle<NullHandleTraits<HFONT, CloseGdiObject>>;
using unique_hbrush = UniqueHandle<NullHandleTraits<HBRUSH, CloseGdiObject>>;
using unique_hbitmap = UniqueHandle<NullHandleTraits<HBITMAP, CloseGdiObject>>;
using unique_himagelist = UniqueHandle<NullHandleTraits<HIMAGELIST, CloseImageList>>;
using unique_hmenu = UniqueHandle<NullHandleTraits<HMENU, CloseMenu>>;
using unique_handle = UniqueHandle<NullHandleTraits<HANDLE, CloseKernelHandle>>;

} // namespace fw
