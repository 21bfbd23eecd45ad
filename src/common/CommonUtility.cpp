// CFileOperation: the file object, the path helpers and the file and folder probes.
#include "commonutility/FileOperation.h"

#include <new>

#include "common/Unicode.h"
#include "platform/win32.h"

namespace {

constexpr wchar_t kDelimiter = cu::platform::kPathDelimiter;

// Working buffers: a whole path (MAX_PATH with its terminator), one part of a split path, the
// drive ("C:" and its terminator).
constexpr int kPathBuffer = MAX_PATH;
constexpr int kPartBuffer = 256;
constexpr int kDriveBuffer = 3;
// The longest part that Concatenate joins and the longest path that gains a delimiter.
constexpr int kMaxJoinedPart = 256;

constexpr DWORD kProbeErrorMode = SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX;
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
    const UINT previous = SetErrorMode(kProbeErrorMode);
    const BOOL folder = PathIsDirectoryW(path);
    SetErrorMode(previous);
    return folder != FALSE;
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
    const HANDLE handle = CreateFileW(probe, 0, FILE_SHARE_DELETE, nullptr, CREATE_ALWAYS,
                                      FILE_FLAG_DELETE_ON_CLOSE, nullptr);
    if (handle == INVALID_HANDLE_VALUE) return 0;
    CloseHandle(handle);
    return 1;
}
