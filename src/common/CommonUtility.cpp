// CFileOperation: the file object, the path helpers and the file and folder probes.
#include "commonutility/FileOperation.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <new>
#include <vector>

#include "common/FolderEntry.h"
#include "common/LogLine.h"
#include "platform/Scoped.h"
#include "platform/Unicode.h"
#include "platform/win32.h"

namespace {

using cu::platform::QuietErrorMode;
using cu::platform::ScopedFile;
using cu::platform::ScopedFind;

constexpr wchar_t kDelimiter = cu::platform::kPathDelimiter;

// Working buffers: a whole path (MAX_PATH with its terminator), one part of a split path, the
// drive ("C:" and its terminator).
constexpr int kPathBuffer = MAX_PATH;
constexpr int kPartBuffer = 256;
constexpr int kDriveBuffer = 3;
// The longest part that Concatenate joins and the longest path that gains a delimiter.
constexpr int kMaxJoinedPart = 256;

// Probe names tried before a folder counts as not writable.
constexpr int kMaxProbes = 10000;

// Lengths count UTF-16 code units, as they do where wchar_t is UTF-16.
int Units(const CString& text) { return text.GetUtf16Length(); }
int Units(const wchar_t* text) {
    std::size_t length = 0;
    while (text[length] != L'\0') ++length;
    return static_cast<int>(cu::detail::Utf16Length(text, length));
}

bool EndsWithDelimiter(const CString& text) {
    return !text.IsEmpty() && text.GetAt(text.GetLength() - 1) == kDelimiter;
}

// The drive, or the file name and extension, of a path as the runtime splits it. False when the
// path has MAX_PATH characters or more, or when a part does not fit its 256-character buffer;
// where wchar_t is UTF-32 a part that fits the buffer may still have too many UTF-16 units.
bool SplitDrive(const CString& path, wchar_t (&drive)[kDriveBuffer]) {
    wchar_t buffer[kPathBuffer];
    return Units(path) < kPathBuffer && wcscpy_s(buffer, kPathBuffer, path) == 0 &&
           _wsplitpath_s(buffer, drive, kDriveBuffer, nullptr, 0, nullptr, 0, nullptr, 0) == 0;
}

bool SplitName(const CString& path, wchar_t (&name)[kPartBuffer], wchar_t (&ext)[kPartBuffer]) {
    wchar_t buffer[kPathBuffer];
    return Units(path) < kPathBuffer && wcscpy_s(buffer, kPathBuffer, path) == 0 &&
           _wsplitpath_s(buffer, nullptr, 0, nullptr, 0, name, kPartBuffer, ext, kPartBuffer) == 0 &&
           Units(name) < kPartBuffer && Units(ext) < kPartBuffer;
}

// A text that a platform call wrote into a buffer of MAX_PATH characters and whose length it
// returned: "" when the call failed (0) or the text did not fit (then the buffer holds a cut
// text, or nothing at all).
CString FromPathBuffer(const wchar_t* buffer, DWORD length) {
    if (length == 0 || length >= static_cast<DWORD>(kPathBuffer)) return CString();
    CString text(buffer, static_cast<int>(length));
    return Units(text) < kPathBuffer ? text : CString();
}

bool TooLongToProbe(const CString& path) { return Units(path) > MAX_PATH; }

// The folder test, with the error mode that turns a drive without a medium into a plain "no"
// instead of a system dialog, for the length of that one call.
bool IsFolderGuarded(const CString& path) {
    const QuietErrorMode quiet;
    return PathIsDirectoryW(path) != FALSE;
}

// The path exists and is not a folder; existing without readable attributes counts as a file.
bool NamesFile(const CString& path) {
    if (!PathFileExistsW(path)) return false;
    const DWORD attributes = GetFileAttributesW(path);
    return attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

bool HasAttribute(const CString& path, DWORD attribute) {
    if (TooLongToProbe(path)) return false;
    const DWORD attributes = GetFileAttributesW(path);
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & attribute) != 0;
}

// The full size of an open file; 0 when it cannot be queried.
__int64 SizeOfOpenFile(HANDLE file) {
    DWORD high = 0;
    const DWORD low = ::GetFileSize(file, &high);
    if (low == INVALID_FILE_SIZE && GetLastError() != ERROR_SUCCESS) return 0;
    return static_cast<__int64>((static_cast<unsigned __int64>(high) << 32) | low);
}

// One time stamp of a file as local calendar fields; `time` is written only on success.
int QueryFileTime(const CString& path, SYSTEMTIME& time, bool creation) {
    ScopedFile file(CreateFileW(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file.IsValid()) return 0;
    FILETIME stamp;
    const BOOL read = creation ? GetFileTime(file.Get(), &stamp, nullptr, nullptr)
                               : GetFileTime(file.Get(), nullptr, nullptr, &stamp);
    if (!read || !file.Close()) return 0;
    FILETIME local;
    SYSTEMTIME fields;
    if (!FileTimeToLocalFileTime(&stamp, &local) || !FileTimeToSystemTime(&local, &fields)) return 0;
    time = fields;
    return 1;
}

// The version resource of a file in a zeroed buffer; `loaded` tells whether it was read. Empty
// when the file has none (or memory runs out).
std::vector<BYTE> LoadVersionInfo(const wchar_t* path, bool& loaded) {
    loaded = false;
    DWORD handle = 0;
    const DWORD size = GetFileVersionInfoSizeW(path, &handle);
    if (size == 0) return {};
    try {
        std::vector<BYTE> block(size, 0);
        loaded = GetFileVersionInfoW(path, handle, size, block.data()) != FALSE;
        return block;
    } catch (const std::bad_alloc&) {
        return {};
    }
}

}  // namespace

// ---- The object -------------------------------------------------------------------------------

CFileOperation::CFileOperation()
    : m_pPath(new (std::nothrow) CString()), m_hFile(INVALID_HANDLE_VALUE) {}

CFileOperation::CFileOperation(const CString& path)
    : m_pPath(new (std::nothrow) CString(path)), m_hFile(INVALID_HANDLE_VALUE) {}

CFileOperation::CFileOperation(const CFileOperation& other)
    : m_pPath(new (std::nothrow) CString(other.m_pPath != nullptr ? *other.m_pPath : CString())),
      m_hFile(INVALID_HANDLE_VALUE) {}

CFileOperation& CFileOperation::operator=(const CFileOperation& other) {
    if (this == &other) return *this;
    if (other.m_pPath != nullptr) {
        if (m_pPath != nullptr)
            *m_pPath = *other.m_pPath;
        else
            m_pPath = new (std::nothrow) CString(*other.m_pPath);
    }
    m_hFile = INVALID_HANDLE_VALUE;
    return *this;
}

CFileOperation::~CFileOperation() {
    if (m_hFile != INVALID_HANDLE_VALUE) CloseHandle(m_hFile);
    delete m_pPath;
}

CString CFileOperation::GetPath() const { return m_pPath != nullptr ? *m_pPath : CString(); }

int CFileOperation::SetPath(const CString& path) {
    if (m_pPath == nullptr || Units(path) > MAX_PATH) return 0;
    *m_pPath = path;
    return 1;
}

// ---- The open file -----------------------------------------------------------------------------

int CFileOperation::Open(unsigned long access, unsigned long disposition) {
    if (m_pPath == nullptr) return 0;
    m_hFile = CreateFileW(*m_pPath, static_cast<DWORD>(access), 0, nullptr, static_cast<DWORD>(disposition),
                          FILE_ATTRIBUTE_NORMAL, nullptr);
    return m_hFile != INVALID_HANDLE_VALUE ? 1 : 0;
}

int CFileOperation::Close() {
    const BOOL closed = CloseHandle(m_hFile);
    if (closed) m_hFile = INVALID_HANDLE_VALUE;
    return closed;
}

// The size comes from the 64-bit query of the handle, so files of 4 GiB and more are measured in
// full. An open that fails leaves nothing to close: no close is tried and no line is logged.
__int64 CFileOperation::GetSize() {
    if (m_hFile != INVALID_HANDLE_VALUE) return SizeOfOpenFile(m_hFile);
    if (m_pPath == nullptr) return 0;
    m_hFile = CreateFileW(*m_pPath, GENERIC_READ, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (m_hFile == INVALID_HANDLE_VALUE) return 0;
    const __int64 size = SizeOfOpenFile(m_hFile);
    if (CloseHandle(m_hFile))
        m_hFile = INVALID_HANDLE_VALUE;
    else
        cu::detail::LogLine(cu::detail::kLogSourceFile, __LINE__, "CFileOperation::GetSize",
                            "CFileOperation::GetSize() Close() return FALSE");
    return size;
}

// A file of 4 GiB or more does not fit one read and fails.
int CFileOperation::ReadString(CString& text) {
    const __int64 size = GetSize();
    if (size <= 0 || m_hFile == INVALID_HANDLE_VALUE || size >= static_cast<__int64>(0xFFFFFFFFu)) return 0;
    std::unique_ptr<char[]> buffer(new (std::nothrow) char[static_cast<std::size_t>(size) + 1]);
    if (buffer == nullptr) return 0;
    SetFilePointer(m_hFile, 0, nullptr, FILE_BEGIN);
    DWORD read = 0;
    const BOOL done = ReadFile(m_hFile, buffer.get(), static_cast<DWORD>(size), &read, nullptr);
    if (!done) return 0;
    buffer[read] = '\0';
    const int units = MultiByteToWideChar(CP_THREAD_ACP, 0, buffer.get(), -1, nullptr, 0);
    if (units <= 0) return 0;
    std::unique_ptr<wchar_t[]> wide(new (std::nothrow) wchar_t[static_cast<std::size_t>(units)]);
    if (wide == nullptr || MultiByteToWideChar(CP_THREAD_ACP, 0, buffer.get(), -1, wide.get(), units) != units)
        return 0;
    text = CString(wide.get(), units - 1);
    return done;
}

int CFileOperation::GetFileSize(const CString& path, unsigned __int64& size) {
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExW(path, GetFileExInfoStandard, &data)) {
        size = 0;
        return 0;
    }
    size = (static_cast<unsigned __int64>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
    return 1;
}

int CFileOperation::IsReadOnly() {
    if (m_pPath == nullptr) return 0;
    const DWORD attributes = GetFileAttributesW(*m_pPath);
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY) != 0 ? 1 : 0;
}

int CFileOperation::Read(void* buffer, __int64 count, __int64* done) {
    if (buffer == nullptr || m_hFile == INVALID_HANDLE_VALUE) return 0;
    SetFilePointer(m_hFile, 0, nullptr, FILE_BEGIN);
    DWORD moved = 0;
    const BOOL result = ReadFile(m_hFile, buffer, static_cast<DWORD>(count), &moved, nullptr);
    if (done != nullptr) *done = moved;
    return result;
}

int CFileOperation::WriteFlush(const void* buffer, __int64 count, __int64* done) {
    if (buffer == nullptr || m_hFile == INVALID_HANDLE_VALUE) return 0;
    SetFilePointer(m_hFile, 0, nullptr, FILE_BEGIN);
    DWORD moved = 0;
    const BOOL result = WriteFile(m_hFile, buffer, static_cast<DWORD>(count), &moved, nullptr);
    if (done != nullptr) *done = moved;
    return result;
}

// ---- Paths --------------------------------------------------------------------------------------

CString CFileOperation::GetAppPath() {
    wchar_t buffer[kPathBuffer];
    return FromPathBuffer(buffer, GetModuleFileNameW(nullptr, buffer, kPathBuffer));
}

CString CFileOperation::GetTempDir() {
    wchar_t buffer[kPathBuffer];
    return FromPathBuffer(buffer, GetTempPathW(kPathBuffer, buffer));
}

CString CFileOperation::GetRootPath(const CString& path) {
    wchar_t drive[kDriveBuffer];
    if (!SplitDrive(path, drive) || drive[0] == L'\0') return CString();
    return CString(drive) + kDelimiter;
}

CString CFileOperation::GetRootPathWithoutDelimiter(const CString& path) {
    wchar_t drive[kDriveBuffer];
    return SplitDrive(path, drive) ? CString(drive) : CString();
}

CString CFileOperation::GetFileExt(const CString& path) {
    wchar_t name[kPartBuffer], ext[kPartBuffer];
    return SplitName(path, name, ext) ? CString(ext) : CString();
}

CString CFileOperation::GetFileName(const CString& path) {
    wchar_t name[kPartBuffer], ext[kPartBuffer];
    return SplitName(path, name, ext) ? CString(name) : CString();
}

CString CFileOperation::GetFileFullName(const CString& path) {
    wchar_t name[kPartBuffer], ext[kPartBuffer];
    wchar_t full[kPathBuffer];
    if (!SplitName(path, name, ext) || wcscpy_s(full, kPathBuffer, name) != 0 ||
        wcscat_s(full, kPathBuffer, ext) != 0)
        return CString();
    return CString(full);
}

CString CFileOperation::GetFileDir(const CString& path) {
    if (PathIsRootW(path) || path.IsEmpty()) return CString();
    // A trailing delimiter belongs to the last component, which then names the folder itself.
    const CString searched = EndsWithDelimiter(path) ? path.Left(path.GetLength() - 1) : path;
    const int last = searched.ReverseFind(kDelimiter);
    return last < 0 ? CString() : path.Left(last + 1);
}

CString CFileOperation::Concatenate(const CString& first, const CString& second) {
    if (Units(first) > kMaxJoinedPart || Units(second) > kMaxJoinedPart) return CString();
    CString joined(first);
    const bool firstEnds = EndsWithDelimiter(first);
    const bool secondStarts = !second.IsEmpty() && second.GetAt(0) == kDelimiter;
    if (!firstEnds && !secondStarts)
        joined += kDelimiter;
    else if (firstEnds && secondStarts)
        CutTailPathDelimiter(joined);
    joined += second;
    return joined;
}

void CFileOperation::CutTailPathDelimiter(CString& path) {
    if (Units(path) > MAX_PATH) return;
    if (EndsWithDelimiter(path)) path.Truncate(path.GetLength() - 1);
}

void CFileOperation::AppendTailPathDelimiter(CString& path) {
    if (Units(path) > kMaxJoinedPart) return;
    if (!EndsWithDelimiter(path)) path += kDelimiter;
}

// ---- Probes -------------------------------------------------------------------------------------

int CFileOperation::IsFileAvailable(const CString& path) {
    return !TooLongToProbe(path) && NamesFile(path) ? 1 : 0;
}

int CFileOperation::IsReadOnly(const CString& path) {
    return HasAttribute(path, FILE_ATTRIBUTE_READONLY) ? 1 : 0;
}

int CFileOperation::IsHidden(const CString& path) {
    return HasAttribute(path, FILE_ATTRIBUTE_HIDDEN) ? 1 : 0;
}

int CFileOperation::IsDirAvailable(const CString& folder) {
    return !TooLongToProbe(folder) && IsFolderGuarded(folder) ? 1 : 0;
}

int CFileOperation::IsDirWritable(const CString& folder) {
    if (TooLongToProbe(folder) || !IsFolderGuarded(folder)) return 0;

    // The first of 0.uen, 1.uen, ... that names no file. A folder of that name stops the search
    // and fails the probe. A name beyond MAX_PATH (also the empty join of a folder of more than
    // 256 characters) is not tried: it has not been checked for an existing file.
    CString probe;
    for (int number = 0;; ++number) {
        if (number == kMaxProbes) return 0;
        CString name;
        name.Format(L"%d.uen", number);
        probe = Concatenate(folder, name);
        if (probe.IsEmpty() || TooLongToProbe(probe)) return 0;
        if (!NamesFile(probe)) break;
    }

    // No access beyond deletion, which FILE_FLAG_DELETE_ON_CLOSE implies: closing deletes it.
    const ScopedFile handle(CreateFileW(probe, 0, FILE_SHARE_DELETE, nullptr, CREATE_ALWAYS,
                                        FILE_FLAG_DELETE_ON_CLOSE, nullptr));
    return handle.IsValid() ? 1 : 0;
}

// ---- Files and folders ------------------------------------------------------------------------

int CFileOperation::SetReadOnly(const CString& path, int readOnly) {
    if (TooLongToProbe(path)) return 0;
    DWORD attributes = GetFileAttributesW(path);
    if (attributes == INVALID_FILE_ATTRIBUTES) return 0;
    if (readOnly)
        attributes |= FILE_ATTRIBUTE_READONLY;
    else
        attributes &= ~static_cast<DWORD>(FILE_ATTRIBUTE_READONLY);
    return SetFileAttributesW(path, attributes);
}

int CFileOperation::SetHidden(const CString& path) {
    if (TooLongToProbe(path)) return 0;
    const DWORD attributes = GetFileAttributesW(path);
    if (attributes == INVALID_FILE_ATTRIBUTES) return 0;
    return SetFileAttributesW(path, attributes | FILE_ATTRIBUTE_HIDDEN);
}

int CFileOperation::CreateNewFile(const CString& path) {
    if (TooLongToProbe(path)) return 0;
    const ScopedFile file(CreateFileW(path, GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS,
                                      FILE_ATTRIBUTE_NORMAL, nullptr));
    return file.IsValid() ? 1 : 0;
}

int CFileOperation::RemoveFile(const CString& path) {
    return TooLongToProbe(path) ? 0 : DeleteFileW(path);
}

int CFileOperation::MakeDir(const CString& folder) {
    return TooLongToProbe(folder) ? 0 : CreateDirectoryW(folder, nullptr);
}

// The text before the first delimiter (a drive on Windows, "" for an absolute POSIX path) is never
// tested or created; every further delimiter ends an intermediate folder.
int CFileOperation::MakeDirRecursively(const CString& folder) {
    if (TooLongToProbe(folder)) return 0;
    BOOL created = FALSE;
    const int first = folder.Find(kDelimiter);
    if (first >= 0) {
        for (int at = folder.Find(kDelimiter, first + 1); at >= 0; at = folder.Find(kDelimiter, at + 1)) {
            const CString part = folder.Left(at);
            if (!TooLongToProbe(part) && IsFolderGuarded(part)) continue;
            created = CreateDirectoryW(part, nullptr);
            if (!created) break;
        }
    }
    if (IsFolderGuarded(folder)) return created;
    return CreateDirectoryW(folder, nullptr);
}

int CFileOperation::RemoveFolder(CString& folder) {
    if (TooLongToProbe(folder) || !IsFolderGuarded(folder)) return 0;
    DeleteDirectory(folder);
    if (RemoveDirectoryW(folder)) return 1;
    const DWORD error = GetLastError();
    cu::detail::LogLine(cu::detail::kLogSourceFile, __LINE__, "CFileOperation::RemoveFolder",
                        "CFileOperation::RemoveFolder Err:%d", static_cast<int>(error));
    return 0;
}

// Caveats: a sub-folder that is a symbolic link or a junction is not descended into: its removal
// takes the link away and leaves what it points to (EntersSubfolder).
int CFileOperation::DeleteDirectory(CString& folder) {
    CString pattern(folder);
    if (!EndsWithDelimiter(pattern)) pattern += kDelimiter;
    pattern += L"*.*";
    if (Units(pattern) >= MAX_PATH) return 1;
    WIN32_FIND_DATAW entry;
    const ScopedFind search(FindFirstFileW(pattern, &entry));
    if (!search.IsValid()) return 1;

    wchar_t full[kPathBuffer];
    CString base = FromPathBuffer(full, GetFullPathNameW(pattern, kPathBuffer, full, nullptr));
    const int cut = std::max(base.ReverseFind(kDelimiter), base.ReverseFind(L'/'));
    if (base.IsEmpty() || cut < 0) return 1;
    base.Truncate(cut);
    if (!EndsWithDelimiter(base) && (base.IsEmpty() || base.GetAt(base.GetLength() - 1) != L'/')) base += kDelimiter;

    do {
        const CString name(entry.cFileName);
        CString path = base + name;
        if ((entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
            if (name == L"." || name == L"..") continue;
            if (cu::detail::EntersSubfolder(entry)) DeleteDirectory(path);
            RemoveDirectoryW(path);
        } else if (!TooLongToProbe(path)) {
            DeleteFileW(path);
        }
    } while (FindNextFileW(search.Get(), &entry));
    return 1;
}

int CFileOperation::GetAvailableDiscSize(const wchar_t* folder, ULARGE_INTEGER* available) {
    if (available == nullptr) return 0;
    return GetDiskFreeSpaceExW(folder, available, nullptr, nullptr);
}

int CFileOperation::GetFileCreateTime(const CString& path, SYSTEMTIME& time) {
    return QueryFileTime(path, time, true);
}

int CFileOperation::GetFileLastWriteTime(const CString& path, SYSTEMTIME& time) {
    return TooLongToProbe(path) ? 0 : QueryFileTime(path, time, false);
}

CString CFileOperation::GetFileVersion(const CString& path) {
    bool loaded = false;
    const std::vector<BYTE> block = LoadVersionInfo(path, loaded);
    void* value = nullptr;
    UINT length = 0;
    if (!loaded || !VerQueryValueW(block.data(), L"\\", &value, &length) || value == nullptr ||
        length < sizeof(VS_FIXEDFILEINFO))
        return CString();
    VS_FIXEDFILEINFO info;
    std::memcpy(&info, value, sizeof info);
    if (info.dwSignature != 0xFEEF04BDu) return CString();
    CString text;
    text.Format(L"%d.%d.%d.%d", static_cast<int>(info.dwFileVersionMS >> 16),
                static_cast<int>(info.dwFileVersionMS & 0xFFFF), static_cast<int>(info.dwFileVersionLS >> 16),
                static_cast<int>(info.dwFileVersionLS & 0xFFFF));
    return text;
}

// The buffer is zeroed, so a resource that could not be read has no entries.
CString CFileOperation::GetFileInfo(const wchar_t* path) {
    if (path == nullptr) return CString();
    bool loaded = false;
    const std::vector<BYTE> block = LoadVersionInfo(path, loaded);
    if (block.empty()) return CString();
    void* value = nullptr;
    UINT length = 0;
    if (!VerQueryValueW(block.data(), L"\\VarFileInfo\\Translation", &value, &length) || value == nullptr ||
        length < 4)
        return CString();
    // Pairs of 16-bit numbers: language, code page.
    const auto* pairs = static_cast<const BYTE*>(value);
    auto word = [pairs](UINT at) {
        WORD number;
        std::memcpy(&number, pairs + at, sizeof number);
        return number;
    };
    UINT chosen = 0;
    for (UINT at = 0; at + 4 <= length; at += 4) {
        if (word(at + 2) == GetACP()) {
            chosen = at;
            break;
        }
    }
    CString entry;
    entry.Format(L"\\StringFileInfo\\%04x%04x\\%s", word(chosen), word(chosen + 2), L"FileVersion");
    if (!VerQueryValueW(block.data(), entry, &value, &length) || value == nullptr) return CString();
    return CString(static_cast<const wchar_t*>(value));
}
