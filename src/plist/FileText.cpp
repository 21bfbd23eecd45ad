// Reading a document's file, and the crash-safe save, against the Win32 file calls.
#include "plist/FileText.h"

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <limits>

#include "platform/Scoped.h"
#include "platform/win32.h"

namespace cu::detail {

namespace {

using cu::platform::ScopedFile;
using cu::platform::ScopedFind;

constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
constexpr DWORD kChunk = 1u << 30;  // the most one ReadFile or WriteFile call moves
constexpr int kTemporaryAttempts = 100;
constexpr DWORD kKeptAttributes = FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM;

bool IsDelimiter(wchar_t c) { return c == cu::platform::kPathDelimiter || c == L'/'; }

// Where the last component of a path begins.
int NameStart(const CString& path) {
    int at = path.GetLength();
    while (at > 0 && !IsDelimiter(path.GetAt(at - 1))) --at;
    return at;
}

bool WriteAll(HANDLE file, const std::string& bytes) {
    for (std::size_t done = 0; done < bytes.size();) {
        const DWORD count = static_cast<DWORD>(std::min<std::size_t>(bytes.size() - done, kChunk));
        DWORD written = 0;
        if (!WriteFile(file, bytes.data() + done, count, &written, nullptr) || written != count) return false;
        done += written;
    }
    return true;
}

// The path of an open file with its links resolved, as a path the other file calls take; the
// path it was opened by where the system cannot tell.
CString FinalPathOf(HANDLE file, const CString& openedAs) {
    const DWORD needed = GetFinalPathNameByHandleW(file, nullptr, 0, FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
    if (needed == 0) return openedAs;
    std::wstring text(needed, L'\0');
    const DWORD length = GetFinalPathNameByHandleW(file, &text[0], needed, FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
    if (length == 0 || length >= needed) return openedAs;
    text.resize(length);
    // Windows names the file in its long-path form: "\\?\C:\..." or "\\?\UNC\server\...".
    if (text.compare(0, 8, L"\\\\?\\UNC\\") == 0) return CString(L"\\\\" + text.substr(8));
    if (text.compare(0, 4, L"\\\\?\\") == 0) return CString(text.substr(4));
    return CString(std::move(text));
}

// Removes the temporary files that killed saves of one target left in its folder. A save still
// under way holds its file open without shared deletion, so its file stays.
void RemoveLeftovers(const CString& folder, const CString& prefix) {
    WIN32_FIND_DATAW entry;
    const ScopedFind search(FindFirstFileW(folder + prefix + L"*.tmp", &entry));
    if (!search.IsValid()) return;
    do {
        const CString name(entry.cFileName);
        if ((entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0 && name.Left(prefix.GetLength()) == prefix)
            DeleteFileW(folder + name);
    } while (FindNextFileW(search.Get(), &entry));
}

// A new temporary file in folder, open for writing and shared for reading only. Its name is made
// of the prefix, the process and a count, so saves from any thread or process never meet.
ScopedFile CreateTemporary(const CString& folder, const CString& prefix, CString& path) {
    static std::atomic<unsigned> counter{0};
    for (int attempt = 0; attempt < kTemporaryAttempts; ++attempt) {
        CString name;
        name.Format(L"%s%lx-%x.tmp", prefix.GetString(), static_cast<unsigned long>(GetCurrentProcessId()),
                    counter.fetch_add(1));
        path = folder + name;
        ScopedFile file(CreateFileW(path, GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_NEW,
                                    FILE_ATTRIBUTE_NORMAL, nullptr));
        const DWORD error = GetLastError();
        if (file.IsValid() || (error != ERROR_FILE_EXISTS && error != ERROR_ALREADY_EXISTS)) {
            SetLastError(error);
            return file;
        }
    }
    return ScopedFile();
}

// Writes the bytes over the target's old content through its open handle, and flushes them.
bool WriteInPlace(HANDLE target, const std::string& bytes) {
    return SetFilePointer(target, 0, nullptr, FILE_BEGIN) == 0 && WriteAll(target, bytes) &&
           SetEndOfFile(target) && FlushFileBuffers(target);
}

}  // namespace

CString TemporaryPrefixFor(const CString& fileName) {
    // FNV-1a over the name with ASCII letters folded, as names compare on Windows.
    std::uint32_t hash = 2166136261u;
    for (int i = 0; i < fileName.GetLength(); ++i) {
        auto c = static_cast<std::uint32_t>(fileName.GetAt(i));
        if (c >= L'A' && c <= L'Z') c += L'a' - L'A';
        hash = (hash ^ c) * 16777619u;
    }
    CString prefix;
    prefix.Format(L".cu%08x-", static_cast<unsigned>(hash));
    return prefix;
}

bool LoadDocumentFile(CXMLDOMDocument2& doc, const CString& path) {
    ScopedFile file(CreateFileW(path, GENERIC_READ, kShareAll, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL,
                                nullptr));
    if (!file.IsValid()) return false;
    LARGE_INTEGER size;
    if (!GetFileSizeEx(file.Get(), &size) || size.QuadPart < 0 ||
        static_cast<unsigned long long>(size.QuadPart) > std::numeric_limits<std::size_t>::max() / 2)
        return false;
    const auto total = static_cast<std::size_t>(size.QuadPart);
    char* buffer = CXMLDOMDocument2::AllocateBuffer(total);
    if (buffer == nullptr) return false;
    std::size_t filled = 0;
    while (filled < total) {
        const DWORD count = static_cast<DWORD>(std::min<std::size_t>(total - filled, kChunk));
        DWORD read = 0;
        if (!ReadFile(file.Get(), buffer + filled, count, &read, nullptr) || read == 0) break;
        filled += read;
    }
    file.Close();
    if (filled != total) {
        CXMLDOMDocument2::FreeBuffer(buffer);
        return false;
    }
    return doc.LoadBuffer(buffer, total);
}

bool SaveFileText(const CString& path, const std::string& bytes) {
    if (path.IsEmpty()) return false;
    // The target as any writer opens it: a read-only file, a folder, one the caller may not write
    // and one held without shared writing all refuse the save here, before anything changes.
    ScopedFile target(CreateFileW(path, GENERIC_WRITE, kShareAll, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL,
                                  nullptr));
    if (!target.IsValid()) {
        if (GetLastError() != ERROR_FILE_NOT_FOUND) return false;
        // A symbolic link whose target is missing: the target is made through the link, so the
        // link stays a link, and then replaced like any existing file.
        const DWORD attributes = GetFileAttributesW(path);
        if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) {
            target = ScopedFile(CreateFileW(path, GENERIC_WRITE, kShareAll, nullptr, OPEN_ALWAYS,
                                            FILE_ATTRIBUTE_NORMAL, nullptr));
            if (!target.IsValid()) return false;
        }
    }

    CString destination = path;
    DWORD attributes = 0;
    if (target.IsValid()) {
        destination = FinalPathOf(target.Get(), path);
        BY_HANDLE_FILE_INFORMATION information;
        if (GetFileInformationByHandle(target.Get(), &information)) {
            attributes = information.dwFileAttributes;
            // Renaming over a file with other names would part them from the new content.
            if (information.nNumberOfLinks > 1) return WriteInPlace(target.Get(), bytes);
        }
    }

    const int cut = NameStart(destination);
    const CString folder = destination.Left(cut);
    const CString prefix = TemporaryPrefixFor(destination.Mid(cut));
    RemoveLeftovers(folder, prefix);
    CString temporary;
    ScopedFile file = CreateTemporary(folder, prefix, temporary);
    if (!file.IsValid()) {
        // A folder the caller may not write, holding a file the caller may.
        return GetLastError() == ERROR_ACCESS_DENIED && target.IsValid() && WriteInPlace(target.Get(), bytes);
    }
    bool saved = WriteAll(file.Get(), bytes) && FlushFileBuffers(file.Get());
    saved = file.Close() && saved;
    if (saved && target.IsValid()) {
        target.Close();
        saved = ReplaceFileW(destination, temporary, nullptr, REPLACEFILE_IGNORE_MERGE_ERRORS, nullptr, nullptr);
        // Not every system's ReplaceFileW carries the hidden and system attributes over.
        const DWORD now = saved ? GetFileAttributesW(destination) : INVALID_FILE_ATTRIBUTES;
        if (now != INVALID_FILE_ATTRIBUTES && (now & attributes & kKeptAttributes) != (attributes & kKeptAttributes))
            SetFileAttributesW(destination, now | (attributes & kKeptAttributes));
    } else if (saved) {
        saved = MoveFileExW(temporary, destination, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH);
    }
    if (!saved) DeleteFileW(temporary);
    return saved;
}

}  // namespace cu::detail
