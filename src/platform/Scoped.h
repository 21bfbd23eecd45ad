// Owners of Win32 handles (open files, searches, registry keys) and of the process's error mode,
// released at the end of their scope.
#pragma once

#include "platform/win32.h"

namespace cu::platform {

// Owns one handle of the kind that Traits describes: its "no handle" value and how it is closed.
template <class Traits>
class ScopedHandle {
public:
    using Handle = typename Traits::Handle;

    ScopedHandle() = default;
    explicit ScopedHandle(Handle handle) : m_handle(handle) {}
    ScopedHandle(const ScopedHandle&) = delete;
    ScopedHandle& operator=(const ScopedHandle&) = delete;
    ScopedHandle(ScopedHandle&& other) noexcept : m_handle(other.Release()) {}
    ScopedHandle& operator=(ScopedHandle&& other) noexcept {
        if (this != &other) {
            Close();
            m_handle = other.Release();
        }
        return *this;
    }
    ~ScopedHandle() { Close(); }

    bool IsValid() const { return m_handle != Traits::Invalid(); }
    Handle Get() const { return m_handle; }
    // For calls that hand out a handle through a pointer: closes the one held first.
    Handle* Receive() {
        Close();
        return &m_handle;
    }
    // Gives the handle up without closing it.
    Handle Release() {
        const Handle handle = m_handle;
        m_handle = Traits::Invalid();
        return handle;
    }
    // Closes the handle now; false when closing failed (the handle is given up either way).
    bool Close() {
        if (!IsValid()) return true;
        const bool closed = Traits::Close(m_handle);
        m_handle = Traits::Invalid();
        return closed;
    }

private:
    Handle m_handle = Traits::Invalid();
};

struct FileHandleTraits {
    using Handle = HANDLE;
    static Handle Invalid() { return INVALID_HANDLE_VALUE; }
    static bool Close(Handle handle) { return CloseHandle(handle) != FALSE; }
};

struct FindHandleTraits {
    using Handle = HANDLE;
    static Handle Invalid() { return INVALID_HANDLE_VALUE; }
    static bool Close(Handle handle) { return FindClose(handle) != FALSE; }
};

struct RegKeyTraits {
    using Handle = HKEY;
    static Handle Invalid() { return nullptr; }
    static bool Close(Handle handle) { return RegCloseKey(handle) == ERROR_SUCCESS; }
};

using ScopedFile = ScopedHandle<FileHandleTraits>;
using ScopedFind = ScopedHandle<FindHandleTraits>;
using ScopedKey = ScopedHandle<RegKeyTraits>;

// The key under root opened with this access; a key that holds nothing when it cannot be opened.
inline ScopedKey OpenRegKey(HKEY root, const wchar_t* subKey, REGSAM access) {
    HKEY key = nullptr;
    if (RegOpenKeyExW(root, subKey, 0, access, &key) != ERROR_SUCCESS) key = nullptr;
    return ScopedKey(key);
}

// While it lives, the process's error mode keeps a drive without a medium from raising a system
// dialog: a probe of such a path simply fails.
class QuietErrorMode {
public:
    QuietErrorMode() : m_previous(SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX)) {}
    QuietErrorMode(const QuietErrorMode&) = delete;
    QuietErrorMode& operator=(const QuietErrorMode&) = delete;
    ~QuietErrorMode() { SetErrorMode(m_previous); }

private:
    UINT m_previous;
};

}  // namespace cu::platform
