// The errno table and the path conversions shared by the POSIX platform files.
#include "platform/posix/Internal.h"

#include <cerrno>

#include <fcntl.h>

#include "platform/Unicode.h"

namespace cu::detail {

namespace {

struct ErrnoMapping {
    int error;
    DWORD code;
};

// Callers that know more than errno tells (a missing parent folder behind ENOENT, EEXIST on a
// folder) refine the code themselves.
constexpr ErrnoMapping kErrnoTable[] = {
    {0, ERROR_SUCCESS},
    {ENOENT, ERROR_FILE_NOT_FOUND},
    {ENOTDIR, ERROR_PATH_NOT_FOUND},
    {EACCES, ERROR_ACCESS_DENIED},
    {EPERM, ERROR_ACCESS_DENIED},
    {EISDIR, ERROR_ACCESS_DENIED},
    // A read-only medium refuses the open itself, as a write-protected volume does on Windows.
    {EROFS, ERROR_ACCESS_DENIED},
    {EBADF, ERROR_INVALID_HANDLE},
    {EMFILE, ERROR_TOO_MANY_OPEN_FILES},
    {ENFILE, ERROR_TOO_MANY_OPEN_FILES},
    {ENOMEM, ERROR_NOT_ENOUGH_MEMORY},
    {EEXIST, ERROR_FILE_EXISTS},
    {EINVAL, ERROR_INVALID_PARAMETER},
    {ENAMETOOLONG, ERROR_FILENAME_EXCED_RANGE},
    {ELOOP, ERROR_CANT_RESOLVE_FILENAME},
    // A running program cannot be written to, as on Windows.
    {ETXTBSY, ERROR_SHARING_VIOLATION},
    {EBUSY, ERROR_BUSY},
    {ENOSPC, ERROR_DISK_FULL},
    {EDQUOT, ERROR_DISK_QUOTA_EXCEEDED},
    {EFBIG, ERROR_FILE_TOO_LARGE},
    {ENOTEMPTY, ERROR_DIR_NOT_EMPTY},
    {EXDEV, ERROR_NOT_SAME_DEVICE},
    {ENOTSUP, ERROR_NOT_SUPPORTED},
    {ENOSYS, ERROR_NOT_SUPPORTED},
    {EIO, ERROR_GEN_FAILURE},
};

}  // namespace

DWORD ErrorFromErrno(int error) {
    for (const ErrnoMapping& mapping : kErrnoTable)
        if (mapping.error == error) return mapping.code;
    return ERROR_GEN_FAILURE;
}

int OpenRetrying(const char* path, int flags, mode_t mode) {
    int fd;
    do {
        fd = ::open(path, flags, mode);
    } while (fd < 0 && errno == EINTR);
    return fd;
}

// Names from the system are bytes, and not every name is UTF-8. Each byte outside a valid UTF-8
// sequence stands for itself as a lone low surrogate, U+DC80 to U+DCFF, which no valid UTF-8
// decodes to; the way back turns those surrogates into their bytes again. So every name a search
// gives names that same file, and "\xff.txt" never meets a real "\uFFFD.txt".
namespace {

constexpr wchar_t kRawByteBase = 0xDC00;

bool IsRawByte(wchar_t c) { return c >= kRawByteBase + 0x80 && c <= kRawByteBase + 0xFF; }

}  // namespace

std::string NarrowPath(const wchar_t* path) {
    std::string out;
    if (path == nullptr) return out;
    const wchar_t* end = path;
    while (*end != L'\0') ++end;
    out.reserve(static_cast<std::size_t>(end - path));
    char bytes[4];
    for (const wchar_t* p = path; p < end;) {
        if (IsRawByte(*p)) {
            out += static_cast<char>(*p++ - kRawByteBase);
            continue;
        }
        out.append(bytes, EncodeUtf8(DecodeWide(p, end), bytes));
    }
    return out;
}

std::wstring WidePath(const char* path, std::size_t length) {
    std::wstring out;
    const auto* p = reinterpret_cast<const unsigned char*>(path);
    const unsigned char* end = p + length;
    wchar_t units[2];
    while (p < end) {
        const unsigned char* start = p;
        const char32_t c = DecodeUtf8(p, end);
        // A real U+FFFD is the three bytes EF BF BD; any other U+FFFD stands for bytes that are
        // not UTF-8.
        const bool malformed = c == kReplacementChar && !(p - start == 3 && start[0] == 0xEF && start[1] == 0xBF &&
                                                          start[2] == 0xBD);
        if (!malformed) {
            out.append(units, EncodeWide(c, units));
            continue;
        }
        for (const unsigned char* b = start; b < p; ++b) out += static_cast<wchar_t>(kRawByteBase + *b);
    }
    return out;
}

}  // namespace cu::detail
