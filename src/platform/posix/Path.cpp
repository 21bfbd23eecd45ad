// Path tests, the temporary folder and the C runtime's bounded string functions for POSIX: '/' is
// the only separator, there are no drives, and '\' is an ordinary character of a name.
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <new>
#include <string>

#include "platform/posix/Internal.h"

using namespace cu::detail;

namespace {

std::size_t WideLength(const wchar_t* text, std::size_t limit) {
    std::size_t length = 0;
    while (length < limit && text[length] != L'\0') ++length;
    return length;
}

// Empties every output of _wsplitpath_s that has room for the terminator.
void ClearParts(wchar_t* drive, std::size_t driveSize, wchar_t* dir, std::size_t dirSize,
                wchar_t* fileName, std::size_t fileNameSize, wchar_t* ext, std::size_t extSize) {
    if (drive != nullptr && driveSize > 0) *drive = L'\0';
    if (dir != nullptr && dirSize > 0) *dir = L'\0';
    if (fileName != nullptr && fileNameSize > 0) *fileName = L'\0';
    if (ext != nullptr && extSize > 0) *ext = L'\0';
}

bool CopyPart(const wchar_t* begin, const wchar_t* end, wchar_t* out, std::size_t size) {
    if (out == nullptr) return true;
    const auto length = static_cast<std::size_t>(end - begin);
    if (length >= size) return false;
    std::wmemcpy(out, begin, length);
    out[length] = L'\0';
    return true;
}

}  // namespace

BOOL PathFileExistsW(LPCWSTR path) {
    return GetFileAttributesW(path) != INVALID_FILE_ATTRIBUTES ? TRUE : FALSE;
}

BOOL PathIsDirectoryW(LPCWSTR path) {
    const DWORD attributes = GetFileAttributesW(path);
    if (attributes == INVALID_FILE_ATTRIBUTES) return FALSE;
    return static_cast<BOOL>(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

// The root is "/"; "//" and longer runs of slashes name the same folder on Linux and are roots
// too, as Windows takes "\\" for one.
BOOL PathIsRootW(LPCWSTR path) {
    if (path == nullptr || *path == L'\0') return FALSE;
    for (const wchar_t* p = path; *p != L'\0'; ++p)
        if (*p != L'/') return FALSE;
    return TRUE;
}

// $TMPDIR when it is set and not empty, else /tmp, always with a trailing '/'. The folder is
// neither made absolute nor tested for existence.
DWORD GetTempPathW(DWORD bufferLength, LPWSTR buffer) {
    DWORD result = 0;
    const DWORD error = Emulate([&]() -> DWORD {
        const char* value = std::getenv("TMPDIR");
        if (value == nullptr || *value == '\0') value = "/tmp";
        std::wstring folder = WidePath(value, std::strlen(value));
        if (folder.back() != L'/') folder += L'/';
        const auto length = static_cast<DWORD>(folder.size());
        // Too small: the size needed, terminator included, and the buffer untouched.
        if (buffer == nullptr || bufferLength <= length) {
            result = length + 1;
        } else {
            std::wmemcpy(buffer, folder.c_str(), folder.size() + 1);
            result = length;
        }
        return ERROR_SUCCESS;
    });
    if (error != ERROR_SUCCESS) SetLastError(error);
    return result;
}

errno_t _wsplitpath_s(const wchar_t* path, wchar_t* drive, std::size_t driveSize, wchar_t* dir,
                      std::size_t dirSize, wchar_t* fileName, std::size_t fileNameSize,
                      wchar_t* ext, std::size_t extSize) {
    const bool pairsMatch = (drive == nullptr) == (driveSize == 0) &&
                            (dir == nullptr) == (dirSize == 0) &&
                            (fileName == nullptr) == (fileNameSize == 0) &&
                            (ext == nullptr) == (extSize == 0);
    if (path == nullptr || !pairsMatch) {
        ClearParts(drive, driveSize, dir, dirSize, fileName, fileNameSize, ext, extSize);
        return EINVAL;
    }
    const wchar_t* end = path + std::wcslen(path);
    const wchar_t* slash = nullptr;
    for (const wchar_t* p = path; p < end; ++p)
        if (*p == L'/') slash = p;
    const wchar_t* nameBegin = slash == nullptr ? path : slash + 1;
    const wchar_t* dot = nullptr;
    for (const wchar_t* p = nameBegin; p < end; ++p)
        if (*p == L'.') dot = p;
    const wchar_t* extBegin = dot == nullptr ? end : dot;

    if (!CopyPart(path, path, drive, driveSize) || !CopyPart(path, nameBegin, dir, dirSize) ||
        !CopyPart(nameBegin, extBegin, fileName, fileNameSize) ||
        !CopyPart(extBegin, end, ext, extSize)) {
        ClearParts(drive, driveSize, dir, dirSize, fileName, fileNameSize, ext, extSize);
        return ERANGE;
    }
    return 0;
}

errno_t wcscpy_s(wchar_t* dest, std::size_t destSize, const wchar_t* source) {
    if (dest == nullptr || destSize == 0) return EINVAL;
    if (source == nullptr) {
        *dest = L'\0';
        return EINVAL;
    }
    const std::size_t length = WideLength(source, destSize);
    if (length >= destSize) {
        *dest = L'\0';
        return ERANGE;
    }
    std::wmemmove(dest, source, length + 1);
    return 0;
}

errno_t wcscat_s(wchar_t* dest, std::size_t destSize, const wchar_t* source) {
    if (dest == nullptr || destSize == 0) return EINVAL;
    const std::size_t used = WideLength(dest, destSize);
    if (source == nullptr || used == destSize) {  // no terminator within the buffer
        *dest = L'\0';
        return EINVAL;
    }
    const std::size_t length = WideLength(source, destSize - used);
    if (used + length >= destSize) {
        *dest = L'\0';
        return ERANGE;
    }
    std::wmemmove(dest + used, source, length + 1);
    return 0;
}
