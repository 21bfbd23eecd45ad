// Folders for POSIX with Windows semantics: CreateDirectoryW, RemoveDirectoryW, the searches of
// FindFirstFileW and FindNextFileW, GetFullPathNameW and GetDiskFreeSpaceExW.
#include <algorithm>
#include <cerrno>
#include <cstring>
#include <cwctype>
#include <memory>
#include <mutex>
#include <new>
#include <string>
#include <vector>

#include <dirent.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include "platform/posix/FileObject.h"
#include "platform/posix/Internal.h"

namespace cu::detail {

namespace {

// ---- Searches -----------------------------------------------------------------------------------

// The entries of one search, read in full by FindFirstFileW: later changes to the folder are not
// seen. "." and ".." come first, then the other names in byte order, as NTFS delivers them
// sorted.
struct FindState {
    std::mutex mutex;    // FindNextFileW calls on one handle take turns
    std::string folder;  // with a trailing '/', or empty for the current folder
    std::vector<std::string> names;
    std::size_t next = 0;
};

using FindTable = HandleTable<HANDLE, FindState>;

// Windows wildcards, ASCII letters in any case: '*' any run, '?' one character; "*.*" and "*"
// match every name (also names without a dot).
bool Matches(const std::wstring& pattern, const std::wstring& name) {
    if (pattern == L"*" || pattern == L"*.*") return true;
    std::size_t p = 0, n = 0, star = std::wstring::npos, resume = 0;
    auto same = [](wchar_t a, wchar_t b) {
        if (a >= L'A' && a <= L'Z') a = static_cast<wchar_t>(a - L'A' + L'a');
        if (b >= L'A' && b <= L'Z') b = static_cast<wchar_t>(b - L'A' + L'a');
        return a == b;
    };
    while (n < name.size()) {
        if (p < pattern.size() && (pattern[p] == L'?' || same(pattern[p], name[n]))) {
            ++p;
            ++n;
        } else if (p < pattern.size() && pattern[p] == L'*') {
            star = p++;
            resume = n;
        } else if (star != std::wstring::npos) {
            p = star + 1;
            n = ++resume;
        } else {
            return false;
        }
    }
    while (p < pattern.size() && pattern[p] == L'*') ++p;
    return p == pattern.size();
}

// Fills the record of one entry; false when it vanished in the meantime.
bool FillFindData(const FindState& state, const std::string& name, WIN32_FIND_DATAW& data) {
    WIN32_FILE_ATTRIBUTE_DATA info;
    const std::string path = (state.folder.empty() ? std::string("./") : state.folder) + name;
    if (QueryStandardInfo(path, -1, info) != ERROR_SUCCESS) return false;
    std::memset(&data, 0, sizeof data);
    data.dwFileAttributes = info.dwFileAttributes;
    if ((data.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) data.dwReserved0 = IO_REPARSE_TAG_SYMLINK;
    // "." and ".." are folders, never hidden by their dot.
    if (name == "." || name == "..") data.dwFileAttributes &= ~FILE_ATTRIBUTE_HIDDEN;
    data.ftCreationTime = info.ftCreationTime;
    data.ftLastAccessTime = info.ftLastAccessTime;
    data.ftLastWriteTime = info.ftLastWriteTime;
    data.nFileSizeHigh = info.nFileSizeHigh;
    data.nFileSizeLow = info.nFileSizeLow;
    const std::wstring wide = WidePath(name.data(), name.size());
    const std::size_t length = std::min<std::size_t>(wide.size(), MAX_PATH - 1);
    std::copy(wide.begin(), wide.begin() + static_cast<std::ptrdiff_t>(length), data.cFileName);
    return true;
}

// Hands out the next entry that still exists; ERROR_NO_MORE_FILES at the end.
DWORD NextEntry(FindState& state, WIN32_FIND_DATAW& data) {
    while (state.next < state.names.size())
        if (FillFindData(state, state.names[state.next++], data)) return ERROR_SUCCESS;
    return ERROR_NO_MORE_FILES;
}

DWORD InternalFindFirst(LPCWSTR fileName, WIN32_FIND_DATAW& data, HANDLE& handle) {
    if (fileName == nullptr || *fileName == L'\0') return ERROR_PATH_NOT_FOUND;
    const std::wstring request(fileName);
    const std::size_t slash = request.rfind(L'/');
    const std::wstring pattern = slash == std::wstring::npos ? request : request.substr(slash + 1);
    auto state = std::make_shared<FindState>();
    if (slash != std::wstring::npos) state->folder = NarrowPath(request.substr(0, slash + 1).c_str());
    // Windows finds nothing for a pattern that ends with a separator.
    if (pattern.empty()) return ERROR_FILE_NOT_FOUND;

    const std::string folder = state->folder.empty() ? std::string(".") : state->folder;
    DIR* dir = opendir(folder.c_str());
    if (dir == nullptr) return errno == ENOENT || errno == ENOTDIR ? ERROR_PATH_NOT_FOUND : ErrorFromErrno(errno);
    std::vector<std::string> names;
    bool hasDot = false, hasDotDot = false;
    for (errno = 0; const dirent* entry = readdir(dir); errno = 0) {
        const std::string name(entry->d_name);
        const std::wstring wide = WidePath(name.data(), name.size());
        if (!Matches(pattern, wide)) continue;
        if (name == ".")
            hasDot = true;
        else if (name == "..")
            hasDotDot = true;
        else
            names.push_back(name);
    }
    const int readError = errno;
    closedir(dir);
    if (readError != 0) return ErrorFromErrno(readError);
    std::sort(names.begin(), names.end());
    if (hasDotDot) names.insert(names.begin(), "..");
    if (hasDot) names.insert(names.begin(), ".");
    state->names = std::move(names);

    const DWORD error = NextEntry(*state, data);
    if (error != ERROR_SUCCESS) return ERROR_FILE_NOT_FOUND;
    handle = FindTable::Instance().Add(std::move(state));
    return ERROR_SUCCESS;
}

// ---- Full paths -------------------------------------------------------------------------------

// The absolute form of a path, with "." and ".." resolved by name as Windows does (not through
// symbolic links) and runs of '/' joined; a trailing '/' stays.
std::wstring FullPath(const std::wstring& path) {
    std::wstring absolute = path;
    if (path.empty() || path[0] != L'/') {
        std::string cwd(256, '\0');
        while (getcwd(&cwd[0], cwd.size()) == nullptr) {
            if (errno != ERANGE) return std::wstring();
            cwd.resize(cwd.size() * 2);
        }
        cwd.resize(std::strlen(cwd.c_str()));
        absolute = WidePath(cwd.data(), cwd.size()) + L"/" + path;
    }
    std::vector<std::wstring> parts;
    std::size_t begin = 0;
    while (begin <= absolute.size()) {
        std::size_t end = absolute.find(L'/', begin);
        if (end == std::wstring::npos) end = absolute.size();
        const std::wstring part = absolute.substr(begin, end - begin);
        if (part == L"..") {
            if (!parts.empty()) parts.pop_back();
        } else if (!part.empty() && part != L".") {
            parts.push_back(part);
        }
        begin = end + 1;
    }
    std::wstring full;
    for (const std::wstring& part : parts) full += L"/" + part;
    const bool trailing = absolute.back() == L'/' || (path.size() >= 2 && path.compare(path.size() - 2, 2, L"/.") == 0);
    if (full.empty() || trailing) full += L"/";
    return full;
}

}  // namespace

}  // namespace cu::detail

using namespace cu::detail;

// Caveats: the security attributes are ignored; the folder gets the permissions 0777 less the
// process's umask.
BOOL CreateDirectoryW(LPCWSTR pathName, LPSECURITY_ATTRIBUTES /*securityAttributes*/) {
    return Finish(Emulate([&]() -> DWORD {
        if (pathName == nullptr || *pathName == L'\0') return ERROR_PATH_NOT_FOUND;
        if (::mkdir(NarrowPath(pathName).c_str(), 0777) == 0) return ERROR_SUCCESS;
        return errno == EEXIST                      ? ERROR_ALREADY_EXISTS
               : errno == ENOENT || errno == ENOTDIR ? ERROR_PATH_NOT_FOUND
                                                    : ErrorFromErrno(errno);
    }));
}

// Caveats: a folder without write permission bits is read-only and stays, also for root
// (ERROR_ACCESS_DENIED), as the file functions treat read-only files. A file gives
// ERROR_DIRECTORY, a folder with entries ERROR_DIR_NOT_EMPTY. A symbolic link to a folder is
// removed itself, as Windows removes a folder link.
BOOL RemoveDirectoryW(LPCWSTR pathName) {
    return Finish(Emulate([&]() -> DWORD {
        if (pathName == nullptr || *pathName == L'\0') return ERROR_PATH_NOT_FOUND;
        const std::string path = NarrowPath(pathName);
        struct stat status;
        if (lstat(path.c_str(), &status) != 0) return OpenError(errno, path);
        if (S_ISLNK(status.st_mode) && stat(path.c_str(), &status) == 0 && S_ISDIR(status.st_mode))
            return ::unlink(path.c_str()) == 0 ? ERROR_SUCCESS : ErrorFromErrno(errno);
        if (!S_ISDIR(status.st_mode)) return ERROR_DIRECTORY;
        if (IsReadOnlyMode(status.st_mode)) return ERROR_ACCESS_DENIED;
        if (::rmdir(path.c_str()) == 0) return ERROR_SUCCESS;
        return errno == ENOTEMPTY || errno == EEXIST ? ERROR_DIR_NOT_EMPTY : ErrorFromErrno(errno);
    }));
}

// Caveats:
// - Wildcards ('*', '?') are allowed in the last component only; letters match in any case
//   (ASCII), "*" and "*.*" match every name. There are no short names (cAlternateFileName is
//   empty).
// - The folder is read in full at the start, so entries added later are not found; an entry that
//   vanishes before its turn is skipped. "." and ".." come first, then names in byte order.
// - Symbolic links describe their targets (a dangling one itself), with
//   FILE_ATTRIBUTE_REPARSE_POINT added and the tag IO_REPARSE_TAG_SYMLINK in dwReserved0.
HANDLE FindFirstFileW(LPCWSTR fileName, LPWIN32_FIND_DATAW findData) {
    HANDLE handle = INVALID_HANDLE_VALUE;
    const DWORD error = Emulate([&]() -> DWORD {
        if (findData == nullptr) return ERROR_INVALID_PARAMETER;
        return InternalFindFirst(fileName, *findData, handle);
    });
    SetLastError(error);
    return error == ERROR_SUCCESS ? handle : INVALID_HANDLE_VALUE;
}

BOOL FindNextFileW(HANDLE find, LPWIN32_FIND_DATAW findData) {
    return Finish(Emulate([&]() -> DWORD {
        if (findData == nullptr) return ERROR_INVALID_PARAMETER;
        const std::shared_ptr<FindState> state = FindTable::Instance().Find(find);
        if (state == nullptr) return ERROR_INVALID_HANDLE;
        std::lock_guard<std::mutex> lock(state->mutex);
        return NextEntry(*state, *findData);
    }));
}

BOOL FindClose(HANDLE find) {
    return Finish(FindTable::Instance().Remove(find) != nullptr ? ERROR_SUCCESS : ERROR_INVALID_HANDLE);
}

// Relative paths are taken from the current folder; "." and ".." are resolved by name. Lengths
// and the buffer count wchar_t units. A buffer that is too small is left as it is, and the size
// needed (terminator included) returned. *filePart points at the last component, or is null when
// the path ends with '/'.
DWORD GetFullPathNameW(LPCWSTR fileName, DWORD bufferLength, LPWSTR buffer, LPWSTR* filePart) {
    DWORD result = 0;
    const DWORD error = Emulate([&]() -> DWORD {
        if (fileName == nullptr || *fileName == L'\0') return ERROR_INVALID_NAME;
        const std::wstring full = FullPath(fileName);
        if (full.empty()) return ERROR_GEN_FAILURE;
        const auto length = static_cast<DWORD>(full.size());
        if (buffer == nullptr || bufferLength <= length) {
            result = length + 1;
            return ERROR_SUCCESS;
        }
        std::copy(full.begin(), full.end(), buffer);
        buffer[length] = L'\0';
        if (filePart != nullptr) *filePart = full.back() == L'/' ? nullptr : buffer + full.rfind(L'/') + 1;
        result = length;
        return ERROR_SUCCESS;
    });
    if (error != ERROR_SUCCESS) SetLastError(error);
    return result;
}

// statvfs: the blocks available to unprivileged users, all blocks, and all free blocks. A null
// folder is the current one.
BOOL GetDiskFreeSpaceExW(LPCWSTR directoryName, PULARGE_INTEGER freeBytesAvailable,
                         PULARGE_INTEGER totalBytes, PULARGE_INTEGER totalFreeBytes) {
    return Finish(Emulate([&]() -> DWORD {
        const std::string path = directoryName == nullptr ? std::string(".") : NarrowPath(directoryName);
        struct statvfs info;
        int result;
        do {
            result = statvfs(path.c_str(), &info);
        } while (result != 0 && errno == EINTR);
        if (result != 0) return errno == ENOENT || errno == ENOTDIR ? ERROR_PATH_NOT_FOUND : ErrorFromErrno(errno);
        const ULONGLONG unit = info.f_frsize != 0 ? info.f_frsize : info.f_bsize;
        if (freeBytesAvailable != nullptr) freeBytesAvailable->QuadPart = unit * info.f_bavail;
        if (totalBytes != nullptr) totalBytes->QuadPart = unit * info.f_blocks;
        if (totalFreeBytes != nullptr) totalFreeBytes->QuadPart = unit * info.f_bfree;
        return ERROR_SUCCESS;
    }));
}
