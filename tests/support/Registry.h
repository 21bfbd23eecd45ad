// Registry values written and read straight through the registry calls, beside CCommonRegistry:
// the system's registry on Windows, the library's own store elsewhere.
#pragma once

#include <vector>

#include "platform/win32.h"

namespace cu::test {

struct RawValue { LONG error = ERROR_SUCCESS; DWORD type = REG_NONE; std::vector<BYTE> data; };

inline RawValue ReadValue(HKEY root, const wchar_t* key, const wchar_t* name) {
    RawValue value;
    HKEY opened = nullptr;
    value.error = RegOpenKeyExW(root, key, 0, KEY_READ, &opened);
    if (value.error != ERROR_SUCCESS) return value;
    DWORD size = 0;
    value.error = RegQueryValueExW(opened, name, nullptr, &value.type, nullptr, &size);
    value.data.resize(size);
    if (value.error == ERROR_SUCCESS && size > 0)
        value.error = RegQueryValueExW(opened, name, nullptr, &value.type, value.data.data(), &size);
    RegCloseKey(opened);
    return value;
}

// Creates the key as needed.
inline LONG WriteValue(HKEY root, const wchar_t* key, const wchar_t* name, DWORD type, const void* data, DWORD size) {
    HKEY opened = nullptr;
    LONG error = RegCreateKeyExW(root, key, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &opened, nullptr);
    if (error != ERROR_SUCCESS) return error;
    error = RegSetValueExW(opened, name, 0, type, static_cast<const BYTE*>(data), size);
    RegCloseKey(opened);
    return error;
}

inline LONG WriteDword(HKEY root, const wchar_t* key, const wchar_t* name, DWORD number) {
    return WriteValue(root, key, name, REG_DWORD, &number, sizeof number);
}

// The bytes of a REG_DWORD value.
inline std::vector<BYTE> DwordBytes(DWORD number) {
    const BYTE* bytes = reinterpret_cast<const BYTE*>(&number);
    return std::vector<BYTE>(bytes, bytes + sizeof number);
}

}  // namespace cu::test
