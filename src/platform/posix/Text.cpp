// Text conversion and last error for POSIX: UTF-8 is both the UTF-8 and the ANSI code page.
#include "platform/posix/Win32Posix.h"

#include <cstring>

#include "platform/Unicode.h"

namespace {

thread_local DWORD t_lastError = ERROR_SUCCESS;

bool IsKnownCodePage(UINT codePage) {
    return codePage == CP_ACP || codePage == CP_OEMCP || codePage == CP_THREAD_ACP ||
           codePage == CP_UTF8;
}

}  // namespace

DWORD GetLastError() { return t_lastError; }

void SetLastError(DWORD error) { t_lastError = error; }

UINT GetACP() { return CP_UTF8; }

int MultiByteToWideChar(UINT codePage, DWORD /*flags*/, LPCSTR text, int length, LPWSTR out,
                        int outLength) {
    if (!IsKnownCodePage(codePage) || text == nullptr || length == 0 || length < -1 ||
        outLength < 0 || (out == nullptr && outLength != 0)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    // With length -1 the terminator is converted too.
    const std::size_t bytes = length == -1 ? std::strlen(text) + 1 : static_cast<std::size_t>(length);
    const auto* p = reinterpret_cast<const unsigned char*>(text);
    const unsigned char* end = p + bytes;
    int written = 0;
    wchar_t units[2];
    while (p < end) {
        const int n = cu::detail::EncodeWide(cu::detail::DecodeUtf8(p, end), units);
        if (outLength != 0) {
            if (written + n > outLength) {
                SetLastError(ERROR_INSUFFICIENT_BUFFER);
                return 0;
            }
            for (int i = 0; i < n; ++i) out[written + i] = units[i];
        }
        written += n;
    }
    return written;
}

int WideCharToMultiByte(UINT codePage, DWORD /*flags*/, LPCWSTR text, int length, LPSTR out,
                        int outLength, LPCSTR defaultChar, BOOL* usedDefaultChar) {
    if (!IsKnownCodePage(codePage) || text == nullptr || length == 0 || length < -1 ||
        outLength < 0 || (out == nullptr && outLength != 0) || defaultChar != nullptr ||
        usedDefaultChar != nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    const std::size_t units = length == -1 ? std::wcslen(text) + 1 : static_cast<std::size_t>(length);
    const wchar_t* p = text;
    const wchar_t* end = text + units;
    int written = 0;
    char bytes[4];
    while (p < end) {
        const int n = cu::detail::EncodeUtf8(cu::detail::DecodeWide(p, end), bytes);
        if (outLength != 0) {
            if (written + n > outLength) {
                SetLastError(ERROR_INSUFFICIENT_BUFFER);
                return 0;
            }
            std::memcpy(out + written, bytes, static_cast<std::size_t>(n));
        }
        written += n;
    }
    return written;
}
