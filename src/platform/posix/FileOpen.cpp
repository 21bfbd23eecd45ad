// Opening and closing files on POSIX with Windows semantics: CreateFileW and CloseHandle, the file
// objects behind the handles, and the share-mode locks that bind every opener.
#include <cerrno>
#include <cstring>
#include <limits>
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

// ---- CreateFileW --------------------------------------------------------------------------------

constexpr int kCreateAttempts = 16;

bool Truncates(DWORD disposition) {
    return disposition == CREATE_ALWAYS || disposition == TRUNCATE_EXISTING;
}

// Opens or creates the file as the disposition says; `created` tells whether this call made it.
// Creation is exclusive, so an existing file is never taken for a new one. A symbolic link whose
// target is missing is followed, as Windows follows it: OPEN_ALWAYS and CREATE_ALWAYS create the
// target and the link stays a link; CREATE_NEW fails, as the name exists.
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
        struct stat link;
        if (lstat(path.c_str(), &link) == 0 && S_ISLNK(link.st_mode)) {
            made.reset(OpenRetrying(path.c_str(), flags | O_CREAT, mode));
            if (made.get() >= 0) {
                fd.reset(made.release());
                created = true;
                return ERROR_SUCCESS;
            }
            if (errno != EEXIST && errno != ENOENT) return OpenError(errno, path);
        }
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
    handle = FileTable::Instance().Add(std::move(file));
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

std::shared_ptr<FileObject> FileOrError(HANDLE handle) {
    std::shared_ptr<FileObject> file = FileTable::Instance().Find(handle);
    if (file == nullptr) SetLastError(ERROR_INVALID_HANDLE);
    return file;
}

}  // namespace cu::detail

using namespace cu::detail;

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
    const DWORD error = Emulate([&] {
        return InternalCreateFile(fileName, desiredAccess, shareMode, creationDisposition,
                                  flagsAndAttributes, handle, existed);
    });
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
    std::shared_ptr<FileObject> file = FileTable::Instance().Remove(handle);
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
