// Whether the tests run under Wine, for the few cases where Wine departs from Windows.
#pragma once

#if defined(_WIN32)
#include <windows.h>
#endif

namespace cu::test {

inline bool RunningUnderWine() {
#if defined(_WIN32)
    const HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
    return ntdll != nullptr && GetProcAddress(ntdll, "wine_get_version") != nullptr;
#else
    return false;
#endif
}

}  // namespace cu::test
