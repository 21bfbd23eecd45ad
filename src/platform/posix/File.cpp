// Files for POSIX with Windows semantics: CreateFileW, CloseHandle and GetFileAttributesW, the
// handle table and the share-mode locks behind them.
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <limits>
#include <mutex>
#include <new>
#include <unordered_map>
#include <utility>

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include "platform/posix/FileObject.h"
#include "platform/posix/Internal.h"

namespace cu::detail {

namespace {

// ---- Share modes ------------------------------------------------------------------------------
//
// Each opener holds open file description (OFD) read locks on bytes far beyond any real data:
// for each kind of access (read, write, delete) one byte that says "I have it" and one that says
// "I deny it to others". An opener takes its locks first and then asks (F_OFD_GETLK) whether any
// other description holds a lock that it conflicts with: someone denying what it wants, or having
// what it denies. Read locks never block each other, so taking them always succeeds, and since
// every opener takes before it checks, two racing openers cannot both miss each other (at worst
// both fail). OFD locks belong to the open file description, so two opens in one process
// conflict just as two processes do, and closing the descriptor releases them.

constexpr off_t kShareLockBase = std::numeric_limits<off_t>::max() - 8;
constexpr int kAccessKinds = 3;  // read, write, delete: the bits of kShareAll

off_t HaveByte(int kind) { return kShareLockBase + kind; }
off_t DenyByte(int kind) { return kShareLockBase + kAccessKinds + kind; }

struct flock LockRequest(short type, off_t start, off_t length) {
    struct flock lock;
    std::memset(&lock, 0, sizeof lock);
    lock.l_type = type;
    lock.l_whence = SEEK_SET;
    lock.l_start = start;
    lock.l_len = length;
    lock.l_pid = 0;  // must be 0 for OFD locks
    return lock;
}

int SetLock(int fd, short type, off_t start, off_t length) {
    struct flock lock = LockRequest(type, start, length);
    while (fcntl(fd, F_OFD_SETLK, &lock) != 0) {
        if (errno != EINTR) return errno;
    }
    return 0;
}

// 0 and `held` when the byte is locked by another open file description, else the errno.
int LockedElsewhere(int fd, off_t byte, bool& held) {
    struct flock lock = LockRequest(F_WRLCK, byte, 1);  // conflicts with any lock of others
    if (fcntl(fd, F_OFD_GETLK, &lock) != 0) return errno;
    held = lock.l_type != F_UNLCK;
    return 0;
}

void ReleaseShareLocks(int fd) { SetLock(fd, F_UNLCK, kShareLockBase, 2 * kAccessKinds); }

// File systems without byte-range locks (some network and FUSE file systems) answer with these.
bool LocksUnsupported(int error) {
    return error == EINVAL || error == ENOLCK || error == EOPNOTSUPP || error == ENOSYS;
}

// ---- The handle table -------------------------------------------------------------------------

struct HandleTable {
    std::mutex mutex;
    std::unordered_map<HANDLE, std::shared_ptr<FileObject>> files;
};

// Never destroyed: handles may still be closed by static destructors at exit.
HandleTable& Handles() {
    static HandleTable* table = new HandleTable;
    return *table;
}

// ---- Paths --------------------------------------------------------------------------------------

// The folder part and the last component of a path, trailing slashes aside: "a/b/" gives "a"
// and "b", "b" gives "." and "b", "/b" gives "/" and "b".
std::pair<std::string, std::string> SplitParent(const std::string& path) {
    std::size_t end = path.size();
    while (end > 1 && path[end - 1] == '/') --end;
    const std::size_t slash = path.rfind('/', end - 1);
    if (slash == std::string::npos) return {".", path.substr(0, end)};
    std::size_t parentEnd = slash;
    while (parentEnd > 0 && path[parentEnd - 1] == '/') --parentEnd;
    return {parentEnd == 0 ? std::string("/") : path.substr(0, parentEnd),
            path.substr(slash + 1, end - slash - 1)};
}

bool IsHiddenName(const std::string& name) {
    return !name.empty() && name[0] == '.' && name != "." && name != "..";
}

DWORD ParseStoredAttributes(const char* text, std::size_t length) {
    if (length < 3 || text[0] != '0' || (text[1] != 'x' && text[1] != 'X')) return 0;
    const std::string digits(text + 2, strnlen(text + 2, length - 2));
    return static_cast<DWORD>(std::strtoul(digits.c_str(), nullptr, 16)) & kStoredAttributes;
}

// ---- CreateFileW --------------------------------------------------------------------------------

constexpr int kCreateAttempts = 16;

bool Truncates(DWORD disposition) {
    return disposition == CREATE_ALWAYS || disposition == TRUNCATE_EXISTING;
}

int OpenRetrying(const char* path, int flags, mode_t mode) {
    int fd;
    do {
        fd = ::open(path, flags, mode);
    } while (fd < 0 && errno == EINTR);
    return fd;
}

DWORD OpenError(int error, const std::string& path) {
    return error == ENOENT ? MissingPathError(path) : ErrorFromErrno(error);
}

// Opens or creates the file as the disposition says; `created` tells whether this call made it.
// Creation is always exclusive, so an existing file is never taken for a new one.
DWORD OpenForDisposition(const std::string& path, int flags, mode_t mode, DWORD disposition,
                         ScopedFd& fd, bool& created) {
    created = false;
    if (disposition == CREATE_NEW) {
        fd.reset(OpenRetrying(path.c_str(), flags | O_CREAT | O_EXCL, mode));
        if (fd.get() < 0) return OpenError(errno, path);
        created = true;
        return ERROR_SUCCESS;
    }
    const bool mayCreate = disposition == CREATE_ALWAYS || disposition == OPEN_ALWAYS;
    for (int attempt = 0; attempt < kCreateAttempts; ++attempt) {
        ScopedFd opened(OpenRetrying(path.c_str(), flags, 0));
        if (opened.get() >= 0) {
            fd.reset(opened.release());
            return ERROR_SUCCESS;
        }
        if (errno != ENOENT || !mayCreate) return OpenError(errno, path);
        ScopedFd made(OpenRetrying(path.c_str(), flags | O_CREAT | O_EXCL, mode));
        if (made.get() >= 0) {
            fd.reset(made.release());
            created = true;
            return ERROR_SUCCESS;
        }
        if (errno != EEXIST) return OpenError(errno, path);
        // Someone else created it in between: open that one.
    }
    return ERROR_SHARING_VIOLATION;  // the name keeps coming and going: another user is at it
}

// The attributes asked for on a file that this open created or emptied. Failures are ignored,
// as the open itself succeeded: a file system without extended attributes loses the hidden bit.
void ApplyNewAttributes(int fd, const struct stat& status, DWORD flags, bool created) {
    if (!created && (flags & FILE_ATTRIBUTE_READONLY) != 0)
        fchmod(fd, status.st_mode & 07777 & ~static_cast<mode_t>(S_IWUSR | S_IWGRP | S_IWOTH));
    if ((flags & kStoredAttributes) != 0) {
        char text[32];
        const ssize_t length = fgetxattr(fd, kDosAttributeName, text, sizeof text - 1);
        const DWORD stored = length > 0 ? ParseStoredAttributes(text, static_cast<std::size_t>(length)) : 0;
        StoreAttributes(fd, stored | flags);
    }
}

// The folder of a file that FILE_FLAG_DELETE_ON_CLOSE will remove, opened now: deleting needs a
// folder that the caller may change, and Windows checks delete access at open time, not at close.
DWORD OpenFolderForDelete(const std::string& path, ScopedFd& parentFd, std::string& name) {
    auto split = SplitParent(path);
    if (faccessat(AT_FDCWD, split.first.c_str(), W_OK | X_OK, AT_EACCESS) != 0)
        return errno == ENOENT ? ERROR_PATH_NOT_FOUND : ERROR_ACCESS_DENIED;
    parentFd.reset(OpenRetrying(split.first.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC, 0));
    if (parentFd.get() < 0) return ErrorFromErrno(errno);
    name = std::move(split.second);
    return ERROR_SUCCESS;
}

DWORD InternalCreateFile(LPCWSTR fileName, DWORD desiredAccess, DWORD shareMode,
                         DWORD disposition, DWORD flags, HANDLE& handle, bool& existed) {
    if (fileName == nullptr || *fileName == L'\0') return ERROR_PATH_NOT_FOUND;
    if (disposition < CREATE_NEW || disposition > TRUNCATE_EXISTING || (shareMode & ~kShareAll) != 0)
        return ERROR_INVALID_PARAMETER;

    const std::string path = NarrowPath(fileName);
    const DWORD access = ShareAccessOf(desiredAccess, flags);
    // Read locks need a descriptor open for reading, so a writer opens for both.
    const bool readWrite = (access & kShareWrite) != 0 || Truncates(disposition);
    // O_NONBLOCK keeps a FIFO from blocking the open; it is cleared again below.
    const int openFlags = (readWrite ? O_RDWR : O_RDONLY) | O_CLOEXEC | O_NOCTTY | O_NONBLOCK;
    const mode_t mode = (flags & FILE_ATTRIBUTE_READONLY) != 0 ? 0444 : 0666;

    ScopedFd fd;
    bool created = false;
    DWORD error = OpenForDisposition(path, openFlags, mode, disposition, fd, created);
    if (error != ERROR_SUCCESS) return error;

    struct stat status;
    if (fstat(fd.get(), &status) != 0) return ErrorFromErrno(errno);
    // Without backup semantics Windows opens no folder.
    if (S_ISDIR(status.st_mode)) return ERROR_ACCESS_DENIED;
    // The read-only attribute binds root too, whom the permission bits would let through.
    if (!created && IsReadOnlyMode(status.st_mode) && (readWrite || (access & kShareDelete) != 0))
        return ERROR_ACCESS_DENIED;

    ScopedFd parentFd;
    std::string name;
    if ((flags & FILE_FLAG_DELETE_ON_CLOSE) != 0) {
        error = OpenFolderForDelete(path, parentFd, name);
        if (error != ERROR_SUCCESS) return error;
    }

    error = AcquireShareLocks(fd.get(), access, shareMode);
    if (error != ERROR_SUCCESS) return error;

    if (!created && Truncates(disposition)) {
        int result;
        do {
            result = ftruncate(fd.get(), 0);
        } while (result != 0 && errno == EINTR);
        if (result != 0) return ErrorFromErrno(errno);
    }
    if (created || Truncates(disposition)) ApplyNewAttributes(fd.get(), status, flags, created);

    const int statusFlags = fcntl(fd.get(), F_GETFL);
    if (statusFlags != -1) fcntl(fd.get(), F_SETFL, statusFlags & ~O_NONBLOCK);

    auto file = std::make_shared<FileObject>(fd.get(), desiredAccess, shareMode);
    fd.release();
    if (parentFd.get() >= 0) file->DeleteOnClose(parentFd.release(), std::move(name));
    handle = RegisterFile(std::move(file));
    existed = !created;
    return ERROR_SUCCESS;
}

}  // namespace

DWORD ShareAccessOf(DWORD desiredAccess, DWORD flagsAndAttributes) {
    DWORD access = 0;
    if ((desiredAccess & (GENERIC_READ | GENERIC_EXECUTE | GENERIC_ALL)) != 0) access |= kShareRead;
    if ((desiredAccess & (GENERIC_WRITE | GENERIC_ALL)) != 0) access |= kShareWrite;
    if ((desiredAccess & GENERIC_ALL) != 0 || (flagsAndAttributes & FILE_FLAG_DELETE_ON_CLOSE) != 0)
        access |= kShareDelete;
    return access;
}

DWORD AcquireShareLocks(int fd, DWORD access, DWORD shareMode) {
    access &= kShareAll;
    if (access == 0) return ERROR_SUCCESS;
    const DWORD deny = ~shareMode & kShareAll;

    int error = 0;
    for (int kind = 0; kind < kAccessKinds && error == 0; ++kind) {
        const DWORD bit = 1u << kind;
        if ((access & bit) != 0) error = SetLock(fd, F_RDLCK, HaveByte(kind), 1);
        if (error == 0 && (deny & bit) != 0) error = SetLock(fd, F_RDLCK, DenyByte(kind), 1);
    }
    bool conflict = false;
    for (int kind = 0; kind < kAccessKinds && error == 0 && !conflict; ++kind) {
        const DWORD bit = 1u << kind;
        if ((access & bit) != 0) error = LockedElsewhere(fd, DenyByte(kind), conflict);
        if (error == 0 && !conflict && (deny & bit) != 0)
            error = LockedElsewhere(fd, HaveByte(kind), conflict);
    }
    if (error == 0 && !conflict) return ERROR_SUCCESS;

    ReleaseShareLocks(fd);
    if (conflict) return ERROR_SHARING_VIOLATION;
    // Without byte-range locks share modes cannot be enforced; the open goes ahead.
    return LocksUnsupported(error) ? ERROR_SUCCESS : ErrorFromErrno(error);
}

FileObject::FileObject(int fd, DWORD access, DWORD shareMode)
    : m_fd(fd), m_access(access), m_shareMode(shareMode) {}

FileObject::~FileObject() {
    if (m_fd >= 0) Close();
}

void FileObject::DeleteOnClose(int parentFd, std::string name) {
    if (m_parentFd >= 0) ::close(m_parentFd);
    m_parentFd = parentFd;
    m_name = std::move(name);
}

DWORD FileObject::Close() {
    if (m_parentFd >= 0) {
        // Unlinked while the share locks are still held, and only if the name has not been
        // given to another file in the meantime.
        struct stat byHandle, byName;
        if (fstat(m_fd, &byHandle) == 0 &&
            fstatat(m_parentFd, m_name.c_str(), &byName, AT_SYMLINK_NOFOLLOW) == 0 &&
            byHandle.st_dev == byName.st_dev && byHandle.st_ino == byName.st_ino)
            unlinkat(m_parentFd, m_name.c_str(), 0);
        ::close(m_parentFd);
        m_parentFd = -1;
    }
    // Don't retry close in case of EINTR: the descriptor is gone either way.
    const int result = ::close(m_fd);
    const int error = errno;
    m_fd = -1;
    return (result == 0 || error == EINTR) ? ERROR_SUCCESS : ErrorFromErrno(error);
}

HANDLE RegisterFile(std::shared_ptr<FileObject> file) {
    HANDLE handle = file.get();
    HandleTable& table = Handles();
    std::lock_guard<std::mutex> lock(table.mutex);
    table.files.emplace(handle, std::move(file));
    return handle;
}

std::shared_ptr<FileObject> LookupFile(HANDLE handle) {
    HandleTable& table = Handles();
    std::lock_guard<std::mutex> lock(table.mutex);
    const auto found = table.files.find(handle);
    return found == table.files.end() ? nullptr : found->second;
}

std::shared_ptr<FileObject> UnregisterFile(HANDLE handle) {
    HandleTable& table = Handles();
    std::lock_guard<std::mutex> lock(table.mutex);
    const auto found = table.files.find(handle);
    if (found == table.files.end()) return nullptr;
    std::shared_ptr<FileObject> file = std::move(found->second);
    table.files.erase(found);
    return file;
}

DWORD StoredAttributes(const char* path) {
    // Only the leading hexadecimal text matters; Samba may follow it with a binary record.
    char text[64];
    ssize_t length = getxattr(path, kDosAttributeName, text, sizeof text);
    if (length < 0 && errno == ERANGE) {
        const ssize_t size = getxattr(path, kDosAttributeName, nullptr, 0);
        if (size <= 0) return 0;
        std::string all(static_cast<std::size_t>(size), '\0');
        length = getxattr(path, kDosAttributeName, &all[0], all.size());
        return length > 0 ? ParseStoredAttributes(all.data(), static_cast<std::size_t>(length)) : 0;
    }
    return length > 0 ? ParseStoredAttributes(text, static_cast<std::size_t>(length)) : 0;
}

DWORD StoreAttributes(int fd, DWORD attributes) {
    attributes &= kStoredAttributes;
    if (attributes == 0) {
        if (fremovexattr(fd, kDosAttributeName) != 0 && errno != ENODATA)
            return ErrorFromErrno(errno);
        return ERROR_SUCCESS;
    }
    char text[16];
    const int length = std::snprintf(text, sizeof text, "0x%x", static_cast<unsigned>(attributes));
    if (fsetxattr(fd, kDosAttributeName, text, static_cast<std::size_t>(length), 0) != 0)
        return ErrorFromErrno(errno);
    return ERROR_SUCCESS;
}

DWORD AttributesOf(const std::string& path, const struct stat& status) {
    DWORD attributes = S_ISDIR(status.st_mode) ? FILE_ATTRIBUTE_DIRECTORY : FILE_ATTRIBUTE_ARCHIVE;
    if (IsReadOnlyMode(status.st_mode)) attributes |= FILE_ATTRIBUTE_READONLY;
    if (IsHiddenName(SplitParent(path).second)) attributes |= FILE_ATTRIBUTE_HIDDEN;
    return attributes | StoredAttributes(path.c_str());
}

DWORD MissingPathError(const std::string& path) {
    struct stat status;
    const std::string parent = SplitParent(path).first;
    return (stat(parent.c_str(), &status) == 0 && S_ISDIR(status.st_mode)) ? ERROR_FILE_NOT_FOUND
                                                                          : ERROR_PATH_NOT_FOUND;
}

}  // namespace cu::detail

using namespace cu::detail;

// Caveats:
// - Share modes bind only openers that use this scheme (this library, in any process); other
//   programs read, write and delete regardless, as byte-range locks are advisory. Where the file
//   system has no byte-range locks (some network file systems), they are not enforced at all.
// - Two openers that race may both be refused where Windows would let the first one in.
// - A descriptor open for reading is needed to take the locks: every open reads, a writer opens
//   for reading and writing. So a file that the caller may not read cannot be opened at all, not
//   for writing only and not with access 0.
// - A child made by fork() shares the open file descriptions of its parent, and with them their
//   locks, until both have closed them; descriptors are closed on exec.
// - FILE_FLAG_DELETE_ON_CLOSE removes the name when this handle is closed, even while other
//   handles (which shared delete access) are still open; Windows waits for the last handle.
// - Only GENERIC_* access rights and FILE_ATTRIBUTE_READONLY, _HIDDEN and _SYSTEM are understood;
//   the security attributes, other flags and the template are ignored.
// - CREATE_ALWAYS and TRUNCATE_EXISTING do not refuse a hidden or system file.
HANDLE CreateFileW(LPCWSTR fileName, DWORD desiredAccess, DWORD shareMode,
                   LPSECURITY_ATTRIBUTES /*securityAttributes*/, DWORD creationDisposition,
                   DWORD flagsAndAttributes, HANDLE /*templateFile*/) {
    HANDLE handle = INVALID_HANDLE_VALUE;
    bool existed = false;
    DWORD error;
    try {
        error = InternalCreateFile(fileName, desiredAccess, shareMode, creationDisposition,
                                   flagsAndAttributes, handle, existed);
    } catch (const std::bad_alloc&) {
        error = ERROR_NOT_ENOUGH_MEMORY;
    }
    if (error != ERROR_SUCCESS) {
        SetLastError(error);
        return INVALID_HANDLE_VALUE;
    }
    const bool reopened = existed && (creationDisposition == OPEN_ALWAYS ||
                                      creationDisposition == CREATE_ALWAYS);
    SetLastError(reopened ? ERROR_ALREADY_EXISTS : ERROR_SUCCESS);
    return handle;
}

// Caveats: INVALID_HANDLE_VALUE is an invalid handle here; on Windows it is also the current
// process's pseudo handle, whose close succeeds.
BOOL CloseHandle(HANDLE handle) {
    std::shared_ptr<FileObject> file = UnregisterFile(handle);
    if (file == nullptr) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    // Out of the table nobody can take a new reference, so a count of one stays one. Otherwise
    // another thread is still using the file, and the last user's release closes it.
    if (file.use_count() != 1) return TRUE;
    const DWORD error = file->Close();
    if (error != ERROR_SUCCESS) {
        SetLastError(error);
        return FALSE;
    }
    return TRUE;
}

// Caveats: FILE_ATTRIBUTE_NORMAL is never reported, as every file that is not a folder carries
// FILE_ATTRIBUTE_ARCHIVE; hidden and system come from a leading dot and from the extended
// attribute user.DOSATTRIB. Symbolic links are followed.
DWORD GetFileAttributesW(LPCWSTR fileName) {
    if (fileName == nullptr || *fileName == L'\0') {
        SetLastError(ERROR_PATH_NOT_FOUND);
        return INVALID_FILE_ATTRIBUTES;
    }
    try {
        const std::string path = NarrowPath(fileName);
        struct stat status;
        if (lstat(path.c_str(), &status) != 0) {
            SetLastError(errno == ENOENT ? MissingPathError(path) : ErrorFromErrno(errno));
            return INVALID_FILE_ATTRIBUTES;
        }
        // A symbolic link exists, as on Windows, even when its target does not; it reports its
        // target's attributes where there is one, and is marked as a reparse point either way.
        if (!S_ISLNK(status.st_mode)) return AttributesOf(path, status);
        struct stat target;
        return AttributesOf(path, stat(path.c_str(), &target) == 0 ? target : status) |
               FILE_ATTRIBUTE_REPARSE_POINT;
    } catch (const std::bad_alloc&) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return INVALID_FILE_ATTRIBUTES;
    }
}

// ---- Reading, writing and querying open files ----------------------------------------------------

namespace cu::detail {

namespace {

// 100-nanosecond intervals from 1601-01-01 to 1970-01-01: 369 years with 89 leap days.
constexpr std::int64_t kEpochDifferenceSeconds = (369LL * 365 + 89) * 86400;
constexpr std::int64_t kTicksPerSecond = 10000000;

FILETIME ToFileTime(std::uint64_t ticks) {
    FILETIME time;
    time.dwLowDateTime = static_cast<DWORD>(ticks);
    time.dwHighDateTime = static_cast<DWORD>(ticks >> 32);
    return time;
}

std::uint64_t FromFileTime(const FILETIME& time) {
    return (static_cast<std::uint64_t>(time.dwHighDateTime) << 32) | time.dwLowDateTime;
}

// A time before 1601 is 1601 itself.
FILETIME FileTimeOf(const struct statx_timestamp& stamp) {
    const std::int64_t seconds = stamp.tv_sec + kEpochDifferenceSeconds;
    if (seconds < 0) return ToFileTime(0);
    return ToFileTime(static_cast<std::uint64_t>(seconds) * kTicksPerSecond + stamp.tv_nsec / 100);
}

bool Earlier(const struct statx_timestamp& a, const struct statx_timestamp& b) {
    return a.tv_sec < b.tv_sec || (a.tv_sec == b.tv_sec && a.tv_nsec < b.tv_nsec);
}

int StatxRetrying(int dirFd, const char* path, int flags, struct statx& out) {
    int result;
    do {
        result = statx(dirFd, path, flags, STATX_BASIC_STATS | STATX_BTIME, &out);
    } while (result != 0 && errno == EINTR);
    return result;
}

std::shared_ptr<FileObject> FileOrError(HANDLE handle) {
    std::shared_ptr<FileObject> file = LookupFile(handle);
    if (file == nullptr) SetLastError(ERROR_INVALID_HANDLE);
    return file;
}

}  // namespace

DWORD QueryStandardInfo(const std::string& path, int fd, WIN32_FILE_ATTRIBUTE_DATA& data) {
    struct statx info;
    if (fd >= 0) {
        if (StatxRetrying(fd, "", AT_EMPTY_PATH, info) != 0) return ErrorFromErrno(errno);
    } else if (StatxRetrying(AT_FDCWD, path.c_str(), AT_SYMLINK_NOFOLLOW, info) != 0) {
        return errno == ENOENT ? MissingPathError(path) : ErrorFromErrno(errno);
    }
    bool link = false;
    if (S_ISLNK(info.stx_mode)) {
        link = true;
        struct statx target;
        if (StatxRetrying(AT_FDCWD, path.c_str(), 0, target) == 0) info = target;
    }
    struct stat status;
    std::memset(&status, 0, sizeof status);
    status.st_mode = info.stx_mode;
    data.dwFileAttributes = AttributesOf(path, status) | (link ? FILE_ATTRIBUTE_REPARSE_POINT : 0);
    const bool hasBirth = (info.stx_mask & STATX_BTIME) != 0 && info.stx_btime.tv_sec != 0;
    const struct statx_timestamp& created =
        hasBirth ? info.stx_btime : (Earlier(info.stx_ctime, info.stx_mtime) ? info.stx_ctime : info.stx_mtime);
    data.ftCreationTime = FileTimeOf(created);
    data.ftLastAccessTime = FileTimeOf(info.stx_atime);
    data.ftLastWriteTime = FileTimeOf(info.stx_mtime);
    const std::uint64_t size = S_ISDIR(info.stx_mode) ? 0 : info.stx_size;
    data.nFileSizeHigh = static_cast<DWORD>(size >> 32);
    data.nFileSizeLow = static_cast<DWORD>(size);
    return ERROR_SUCCESS;
}

}  // namespace cu::detail

// Caveats: the whole count is read unless the end of the file comes first, as for a disk file on
// Windows; a handle opened without GENERIC_READ (or GENERIC_ALL) is refused with
// ERROR_ACCESS_DENIED. Overlapped reads are not supported.
BOOL ReadFile(HANDLE handle, void* buffer, DWORD toRead, DWORD* read, LPOVERLAPPED overlapped) {
    if (read != nullptr) *read = 0;
    const std::shared_ptr<FileObject> file = FileOrError(handle);
    if (file == nullptr) return FALSE;
    if (overlapped != nullptr || (buffer == nullptr && toRead != 0)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    if ((file->access() & (GENERIC_READ | GENERIC_ALL)) == 0) {
        SetLastError(ERROR_ACCESS_DENIED);
        return FALSE;
    }
    DWORD done = 0;
    while (done < toRead) {
        const ssize_t count = ::read(file->fd(), static_cast<char*>(buffer) + done, toRead - done);
        if (count < 0 && errno == EINTR) continue;
        if (count < 0) {
            if (read != nullptr) *read = done;
            SetLastError(ErrorFromErrno(errno));
            return FALSE;
        }
        if (count == 0) break;
        done += static_cast<DWORD>(count);
    }
    if (read != nullptr) *read = done;
    SetLastError(ERROR_SUCCESS);
    return TRUE;
}

// Caveats: a handle opened without GENERIC_WRITE (or GENERIC_ALL) is refused with
// ERROR_ACCESS_DENIED. Overlapped writes are not supported.
BOOL WriteFile(HANDLE handle, const void* buffer, DWORD toWrite, DWORD* written,
               LPOVERLAPPED overlapped) {
    if (written != nullptr) *written = 0;
    const std::shared_ptr<FileObject> file = FileOrError(handle);
    if (file == nullptr) return FALSE;
    if (overlapped != nullptr || (buffer == nullptr && toWrite != 0)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    if ((file->access() & (GENERIC_WRITE | GENERIC_ALL)) == 0) {
        SetLastError(ERROR_ACCESS_DENIED);
        return FALSE;
    }
    DWORD done = 0;
    while (done < toWrite) {
        const ssize_t count = ::write(file->fd(), static_cast<const char*>(buffer) + done, toWrite - done);
        if (count < 0 && errno == EINTR) continue;
        if (count <= 0) {
            if (written != nullptr) *written = done;
            SetLastError(count < 0 ? ErrorFromErrno(errno) : ERROR_DISK_FULL);
            return FALSE;
        }
        done += static_cast<DWORD>(count);
    }
    if (written != nullptr) *written = done;
    SetLastError(ERROR_SUCCESS);
    return TRUE;
}

// Without a high part the distance is a signed 32-bit number and the new position must fit 32
// bits (else ERROR_INVALID_PARAMETER, and the pointer stays); with one, both form a signed 64-bit
// distance and the high half of the new position is written back. A position before the start
// fails with ERROR_NEGATIVE_SEEK.
DWORD SetFilePointer(HANDLE handle, LONG distance, PLONG distanceHigh, DWORD moveMethod) {
    const std::shared_ptr<FileObject> file = FileOrError(handle);
    if (file == nullptr) return INVALID_SET_FILE_POINTER;
    const int whence = moveMethod == FILE_BEGIN ? SEEK_SET
                       : moveMethod == FILE_CURRENT ? SEEK_CUR
                       : moveMethod == FILE_END     ? SEEK_END
                                                    : -1;
    if (whence < 0) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return INVALID_SET_FILE_POINTER;
    }
    const std::int64_t move =
        distanceHigh == nullptr
            ? static_cast<std::int64_t>(distance)
            : static_cast<std::int64_t>((static_cast<std::uint64_t>(static_cast<DWORD>(*distanceHigh)) << 32) |
                                        static_cast<DWORD>(distance));
    const off_t current = lseek(file->fd(), 0, SEEK_CUR);
    const off_t base = whence == SEEK_SET ? 0 : whence == SEEK_CUR ? current : lseek(file->fd(), 0, SEEK_END);
    lseek(file->fd(), current, SEEK_SET);
    if (current < 0 || base < 0) {
        SetLastError(ErrorFromErrno(errno));
        return INVALID_SET_FILE_POINTER;
    }
    if ((move < 0 && base + move < 0) || (move > 0 && base > std::numeric_limits<off_t>::max() - move)) {
        SetLastError(move < 0 ? ERROR_NEGATIVE_SEEK : ERROR_INVALID_PARAMETER);
        return INVALID_SET_FILE_POINTER;
    }
    const off_t target = base + move;
    if (distanceHigh == nullptr && target > static_cast<off_t>(0xFFFFFFFEu)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return INVALID_SET_FILE_POINTER;
    }
    if (lseek(file->fd(), target, SEEK_SET) < 0) {
        SetLastError(ErrorFromErrno(errno));
        return INVALID_SET_FILE_POINTER;
    }
    if (distanceHigh != nullptr) *distanceHigh = static_cast<LONG>(static_cast<std::uint64_t>(target) >> 32);
    SetLastError(ERROR_SUCCESS);
    return static_cast<DWORD>(target);
}

// Without a place for the high half, only the low 32 bits of the size are returned, as on
// Windows. The last error is ERROR_SUCCESS on success, so that a size whose low half is
// INVALID_FILE_SIZE can be told from a failure.
DWORD GetFileSize(HANDLE handle, DWORD* sizeHigh) {
    const std::shared_ptr<FileObject> file = FileOrError(handle);
    if (file == nullptr) return INVALID_FILE_SIZE;
    struct stat status;
    if (fstat(file->fd(), &status) != 0) {
        SetLastError(ErrorFromErrno(errno));
        return INVALID_FILE_SIZE;
    }
    const auto size = static_cast<std::uint64_t>(status.st_size);
    if (sizeHigh != nullptr) *sizeHigh = static_cast<DWORD>(size >> 32);
    SetLastError(ERROR_SUCCESS);
    return static_cast<DWORD>(size);
}

// Caveats: the creation time is the birth time where the file system records one, else the
// earlier of the last write and the last status change (QueryStandardInfo).
BOOL GetFileTime(HANDLE handle, LPFILETIME creation, LPFILETIME lastAccess, LPFILETIME lastWrite) {
    const std::shared_ptr<FileObject> file = FileOrError(handle);
    if (file == nullptr) return FALSE;
    WIN32_FILE_ATTRIBUTE_DATA data;
    const DWORD error = QueryStandardInfo(std::string(), file->fd(), data);
    if (error != ERROR_SUCCESS) {
        SetLastError(error);
        return FALSE;
    }
    if (creation != nullptr) *creation = data.ftCreationTime;
    if (lastAccess != nullptr) *lastAccess = data.ftLastAccessTime;
    if (lastWrite != nullptr) *lastWrite = data.ftLastWriteTime;
    return TRUE;
}

// Caveats: attributes and creation time as GetFileAttributesW and GetFileTime give them; the
// size of a folder is 0.
BOOL GetFileAttributesExW(LPCWSTR fileName, GET_FILEEX_INFO_LEVELS level, void* info) {
    if (level != GetFileExInfoStandard || info == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    if (fileName == nullptr || *fileName == L'\0') {
        SetLastError(ERROR_PATH_NOT_FOUND);
        return FALSE;
    }
    try {
        WIN32_FILE_ATTRIBUTE_DATA data;
        const DWORD error = QueryStandardInfo(NarrowPath(fileName), -1, data);
        if (error != ERROR_SUCCESS) {
            SetLastError(error);
            return FALSE;
        }
        std::memcpy(info, &data, sizeof data);
        return TRUE;
    } catch (const std::bad_alloc&) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return FALSE;
    }
}

namespace {

constexpr mode_t kWriteBits = S_IWUSR | S_IWGRP | S_IWOTH;

int ChmodRetrying(int fd, mode_t mode) {
    int result;
    do {
        result = fchmod(fd, mode);
    } while (result != 0 && errno == EINTR);
    return result;
}

DWORD InternalSetAttributes(const std::string& path, DWORD attributes) {
    // O_NONBLOCK keeps a FIFO from blocking; a folder opens for reading too.
    ScopedFd fd(OpenRetrying(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK, 0));
    if (fd.get() < 0) return OpenError(errno, path);
    struct stat status;
    if (fstat(fd.get(), &status) != 0) return ErrorFromErrno(errno);
    const mode_t mode = status.st_mode & 07777;
    const bool wasReadOnly = IsReadOnlyMode(mode);
    const bool readOnly = (attributes & FILE_ATTRIBUTE_READONLY) != 0;
    const DWORD stored = StoredAttributes(path.c_str());
    const bool storeChanges = (stored & kStoredAttributes) != (attributes & kStoredAttributes);

    mode_t current = mode;
    auto changeMode = [&](mode_t wanted) {
        if (wanted == current) return true;
        if (ChmodRetrying(fd.get(), wanted) != 0) return false;
        current = wanted;
        return true;
    };
    // Changing an extended attribute needs write permission (except for root): it is stored
    // while the file is writable, before taking write permission away.
    DWORD error = ERROR_SUCCESS;
    if (storeChanges) {
        if (wasReadOnly && !changeMode(mode | S_IWUSR)) return ErrorFromErrno(errno);
        error = StoreAttributes(fd.get(), attributes);
    }
    const mode_t target = readOnly ? (mode & ~kWriteBits) : (wasReadOnly ? (mode | S_IWUSR) : mode);
    if (!changeMode(target) && error == ERROR_SUCCESS) error = ErrorFromErrno(errno);
    return error;
}

// Deletion takes delete access with every share mode, as Windows does, so it fails while another
// opener denies deletion; the locks are held until the name is gone.
DWORD InternalDeleteFile(const std::string& path) {
    struct stat status;
    if (lstat(path.c_str(), &status) != 0) return errno == ENOENT ? MissingPathError(path) : ErrorFromErrno(errno);
    if (S_ISDIR(status.st_mode)) return ERROR_ACCESS_DENIED;
    ScopedFd fd;
    if (!S_ISLNK(status.st_mode)) {
        if (IsReadOnlyMode(status.st_mode)) return ERROR_ACCESS_DENIED;
        fd.reset(OpenRetrying(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK, 0));
        if (fd.get() >= 0) {
            const DWORD error = AcquireShareLocks(fd.get(), kShareDelete, kShareAll);
            if (error != ERROR_SUCCESS) return error;
        } else if (errno != EACCES) {
            return OpenError(errno, path);
        }
    }
    if (::unlink(path.c_str()) != 0) return errno == ENOENT ? MissingPathError(path) : ErrorFromErrno(errno);
    return ERROR_SUCCESS;
}

}  // namespace

// Caveats:
// - FILE_ATTRIBUTE_READONLY takes every write permission bit away; clearing it gives the owner
//   write permission back (the group's and others' stay as they are).
// - Hidden and system go to user.DOSATTRIB (ERROR_NOT_SUPPORTED where the file system has no user
//   extended attributes). A name with a leading dot stays hidden whatever is stored.
// - Other attributes (archive, normal, ...) are accepted and not kept. The file must be readable.
BOOL SetFileAttributesW(LPCWSTR fileName, DWORD attributes) {
    if (fileName == nullptr || *fileName == L'\0') {
        SetLastError(ERROR_PATH_NOT_FOUND);
        return FALSE;
    }
    try {
        const DWORD error = InternalSetAttributes(NarrowPath(fileName), attributes);
        SetLastError(error);
        return error == ERROR_SUCCESS ? TRUE : FALSE;
    } catch (const std::bad_alloc&) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return FALSE;
    }
}

// Caveats:
// - A read-only file is not deleted, not even by root (ERROR_ACCESS_DENIED); a folder neither.
// - An opener that denies deletion (no FILE_SHARE_DELETE) makes it fail with
//   ERROR_SHARING_VIOLATION; a file the caller cannot read is deleted without that check.
// - A symbolic link is deleted itself, not its target. Windows keeps a deleted file's name
//   until its last handle closes; here the name goes at once.
BOOL DeleteFileW(LPCWSTR fileName) {
    if (fileName == nullptr || *fileName == L'\0') {
        SetLastError(ERROR_PATH_NOT_FOUND);
        return FALSE;
    }
    try {
        const DWORD error = InternalDeleteFile(NarrowPath(fileName));
        SetLastError(error);
        return error == ERROR_SUCCESS ? TRUE : FALSE;
    } catch (const std::bad_alloc&) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return FALSE;
    }
}

// The machine's current offset from UTC, whatever the date of the stamp, as Windows does it.
BOOL FileTimeToLocalFileTime(const FILETIME* fileTime, LPFILETIME localFileTime) {
    if (fileTime == nullptr || localFileTime == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    const std::time_t now = std::time(nullptr);
    struct tm local;
    if (localtime_r(&now, &local) == nullptr) {
        SetLastError(ERROR_GEN_FAILURE);
        return FALSE;
    }
    const std::int64_t offset = static_cast<std::int64_t>(local.tm_gmtoff) * kTicksPerSecond;
    const std::uint64_t utc = FromFileTime(*fileTime);
    if ((offset < 0 && utc < static_cast<std::uint64_t>(-offset)) ||
        (offset > 0 && utc > std::numeric_limits<std::uint64_t>::max() - static_cast<std::uint64_t>(offset))) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    *localFileTime = ToFileTime(utc + static_cast<std::uint64_t>(offset));
    return TRUE;
}

// Times from 1601 up to 0x7FFFFFFFFFFFFFFF ticks (year 30828); beyond that, as on Windows,
// ERROR_INVALID_PARAMETER and the fields untouched.
BOOL FileTimeToSystemTime(const FILETIME* fileTime, LPSYSTEMTIME systemTime) {
    if (fileTime == nullptr || systemTime == nullptr ||
        FromFileTime(*fileTime) > static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max())) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    const std::uint64_t ticks = FromFileTime(*fileTime);
    const std::uint64_t seconds = ticks / kTicksPerSecond;
    std::int64_t days = static_cast<std::int64_t>(seconds / 86400);
    const std::uint64_t secondOfDay = seconds % 86400;
    // 1601-01-01 was a Monday (day of week 1).
    systemTime->wDayOfWeek = static_cast<WORD>((days + 1) % 7);
    // Civil date from a day count: shift to days since 0000-03-01, then 400-year eras.
    days += 584694;  // 1601-01-01 counted from 0000-03-01
    const std::int64_t era = days / 146097;
    const std::int64_t dayOfEra = days - era * 146097;
    const std::int64_t yearOfEra = (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
    const std::int64_t dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
    const std::int64_t monthIndex = (5 * dayOfYear + 2) / 153;
    const std::int64_t day = dayOfYear - (153 * monthIndex + 2) / 5 + 1;
    const std::int64_t month = monthIndex < 10 ? monthIndex + 3 : monthIndex - 9;
    const std::int64_t year = yearOfEra + era * 400 + (month <= 2 ? 1 : 0);
    systemTime->wYear = static_cast<WORD>(year);
    systemTime->wMonth = static_cast<WORD>(month);
    systemTime->wDay = static_cast<WORD>(day);
    systemTime->wHour = static_cast<WORD>(secondOfDay / 3600);
    systemTime->wMinute = static_cast<WORD>(secondOfDay / 60 % 60);
    systemTime->wSecond = static_cast<WORD>(secondOfDay % 60);
    systemTime->wMilliseconds = static_cast<WORD>(ticks / 10000 % 1000);
    return TRUE;
}
