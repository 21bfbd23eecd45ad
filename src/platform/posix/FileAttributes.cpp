// File attributes on POSIX with Windows semantics: GetFileAttributesW, GetFileAttributesExW,
// SetFileAttributesW and DeleteFileW, and the mapping of permission bits, dot names and the stored
// extended attribute to Windows attributes.
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <utility>

#include <fcntl.h>
#include <stdio.h>  // renameat2
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include "platform/posix/FileObject.h"
#include "platform/posix/Internal.h"

namespace cu::detail {

namespace {

bool IsHiddenName(const std::string& name) {
    return !name.empty() && name[0] == '.' && name != "." && name != "..";
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

}  // namespace

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


DWORD ParseStoredAttributes(const char* text, std::size_t length) {
    if (length < 3 || text[0] != '0' || (text[1] != 'x' && text[1] != 'X')) return 0;
    const std::string digits(text + 2, strnlen(text + 2, length - 2));
    return static_cast<DWORD>(std::strtoul(digits.c_str(), nullptr, 16)) & kStoredAttributes;
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

DWORD OpenError(int error, const std::string& path) {
    return error == ENOENT ? MissingPathError(path) : ErrorFromErrno(error);
}

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

using namespace cu::detail;

// Caveats: FILE_ATTRIBUTE_NORMAL is never reported, as every file that is not a folder carries
// FILE_ATTRIBUTE_ARCHIVE; hidden and system come from a leading dot and from the extended
// attribute user.DOSATTRIB. A symbolic link exists, as on Windows, even when its target does not;
// it reports its target's attributes where there is one, and is marked as a reparse point either
// way.
DWORD GetFileAttributesW(LPCWSTR fileName) {
    DWORD attributes = INVALID_FILE_ATTRIBUTES;
    const DWORD error = Emulate([&]() -> DWORD {
        if (fileName == nullptr || *fileName == L'\0') return ERROR_PATH_NOT_FOUND;
        const std::string path = NarrowPath(fileName);
        struct stat status;
        if (lstat(path.c_str(), &status) != 0) return OpenError(errno, path);
        struct stat target;
        attributes = !S_ISLNK(status.st_mode)
                         ? AttributesOf(path, status)
                         : AttributesOf(path, stat(path.c_str(), &target) == 0 ? target : status) |
                               FILE_ATTRIBUTE_REPARSE_POINT;
        return ERROR_SUCCESS;
    });
    if (error != ERROR_SUCCESS) SetLastError(error);
    return error == ERROR_SUCCESS ? attributes : INVALID_FILE_ATTRIBUTES;
}

// Caveats: attributes and creation time as GetFileAttributesW and GetFileTime give them; the
// size of a folder is 0.
BOOL GetFileAttributesExW(LPCWSTR fileName, GET_FILEEX_INFO_LEVELS level, void* info) {
    if (level != GetFileExInfoStandard || info == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    return Finish(Emulate([&]() -> DWORD {
        if (fileName == nullptr || *fileName == L'\0') return ERROR_PATH_NOT_FOUND;
        WIN32_FILE_ATTRIBUTE_DATA data;
        const DWORD error = QueryStandardInfo(NarrowPath(fileName), -1, data);
        if (error == ERROR_SUCCESS) std::memcpy(info, &data, sizeof data);
        return error;
    }));
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

// Removing or replacing a name takes delete access with every share mode, as Windows does: it
// fails while another opener denies deletion, and a read-only file refuses it. The locks stay in
// fd until the caller is done with the name. A symbolic link and a file the caller cannot read
// are let through unchecked.
DWORD TakeDeleteAccess(const std::string& path, const struct stat& status, ScopedFd& fd) {
    if (S_ISLNK(status.st_mode)) return ERROR_SUCCESS;
    if (IsReadOnlyMode(status.st_mode)) return ERROR_ACCESS_DENIED;
    fd.reset(OpenRetrying(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK, 0));
    if (fd.get() >= 0) return AcquireShareLocks(fd.get(), kShareDelete, kShareAll);
    return errno == EACCES ? ERROR_SUCCESS : OpenError(errno, path);
}

DWORD InternalDeleteFile(const std::string& path) {
    struct stat status;
    if (lstat(path.c_str(), &status) != 0) return OpenError(errno, path);
    if (S_ISDIR(status.st_mode)) return ERROR_ACCESS_DENIED;
    ScopedFd fd;
    const DWORD error = TakeDeleteAccess(path, status, fd);
    if (error != ERROR_SUCCESS) return error;
    if (::unlink(path.c_str()) != 0) return OpenError(errno, path);
    return ERROR_SUCCESS;
}

// Makes a change of names in the folder of path durable.
void SyncFolderOf(const std::string& path) {
    ScopedFd folder(OpenRetrying(SplitParent(path).first.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC, 0));
    if (folder.get() >= 0) (void)fsync(folder.get());
}

DWORD InternalMoveFile(const std::string& from, const std::string& to, DWORD flags) {
    struct stat source, target;
    if (lstat(from.c_str(), &source) != 0) return OpenError(errno, from);
    ScopedFd sourceLocks, targetLocks;
    DWORD error = S_ISDIR(source.st_mode) ? ERROR_SUCCESS : TakeDeleteAccess(from, source, sourceLocks);
    if (error == ERROR_ACCESS_DENIED) error = ERROR_SUCCESS;  // a read-only file may move
    if (error != ERROR_SUCCESS) return error;
    const bool replace = (flags & MOVEFILE_REPLACE_EXISTING) != 0;
    if (lstat(to.c_str(), &target) == 0) {
        if (!replace) return ERROR_ALREADY_EXISTS;
        if (S_ISDIR(target.st_mode)) return ERROR_ACCESS_DENIED;
        error = TakeDeleteAccess(to, target, targetLocks);
        if (error != ERROR_SUCCESS) return error;
    }
    int result = replace ? ::rename(from.c_str(), to.c_str())
                         : renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE);
    if (result != 0 && !replace && (errno == EINVAL || errno == ENOSYS)) {
        // A file system without RENAME_NOREPLACE: a link and an unlink never replace either.
        result = ::link(from.c_str(), to.c_str());
        if (result == 0) ::unlink(from.c_str());
    }
    if (result != 0) return errno == EEXIST ? ERROR_ALREADY_EXISTS : OpenError(errno, to);
    if ((flags & MOVEFILE_WRITE_THROUGH) != 0) {
        SyncFolderOf(to);
        if (SplitParent(from).first != SplitParent(to).first) SyncFolderOf(from);
    }
    return ERROR_SUCCESS;
}

DWORD InternalReplaceFile(const std::string& replaced, const std::string& replacement) {
    struct stat old, fresh;
    if (lstat(replaced.c_str(), &old) != 0) return OpenError(errno, replaced);
    if (stat(replacement.c_str(), &fresh) != 0) return OpenError(errno, replacement);
    if (S_ISDIR(old.st_mode) || S_ISDIR(fresh.st_mode)) return ERROR_ACCESS_DENIED;
    ScopedFd locks;
    if (TakeDeleteAccess(replaced, old, locks) != ERROR_SUCCESS) return ERROR_UNABLE_TO_REMOVE_REPLACED;
    // The replacement takes the place of the old file with its mode, owner and stored attributes.
    ScopedFd target(OpenRetrying(replacement.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK, 0));
    if (target.get() < 0) return OpenError(errno, replacement);
    struct stat current;
    if (stat(replaced.c_str(), &current) == 0) {
        (void)fchmod(target.get(), current.st_mode & 07777);
        (void)fchown(target.get(), current.st_uid, current.st_gid);  // refused unless privileged
        (void)StoreAttributes(target.get(), StoredAttributes(replaced.c_str()));
    }
    if (::rename(replacement.c_str(), replaced.c_str()) != 0) return ERROR_UNABLE_TO_MOVE_REPLACEMENT;
    SyncFolderOf(replaced);
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
    return Finish(Emulate([&]() -> DWORD {
        if (fileName == nullptr || *fileName == L'\0') return ERROR_PATH_NOT_FOUND;
        return InternalSetAttributes(NarrowPath(fileName), attributes);
    }));
}

// Caveats:
// - A read-only file is not deleted, not even by root (ERROR_ACCESS_DENIED); a folder neither.
// - An opener that denies deletion (no FILE_SHARE_DELETE) makes it fail with
//   ERROR_SHARING_VIOLATION; a file the caller cannot read is deleted without that check.
// - A symbolic link is deleted itself, not its target. Windows keeps a deleted file's name
//   until its last handle closes; here the name goes at once.
BOOL DeleteFileW(LPCWSTR fileName) {
    return Finish(Emulate([&]() -> DWORD {
        if (fileName == nullptr || *fileName == L'\0') return ERROR_PATH_NOT_FOUND;
        return InternalDeleteFile(NarrowPath(fileName));
    }));
}

// Caveats:
// - Without MOVEFILE_REPLACE_EXISTING an existing name is never replaced (ERROR_ALREADY_EXISTS),
//   atomically where the file system has RENAME_NOREPLACE. A folder is never replaced.
// - Moving and replacing take delete access under the share-mode scheme: an opener that denies
//   deletion of either file makes the move fail with ERROR_SHARING_VIOLATION; a read-only target
//   gives ERROR_ACCESS_DENIED.
// - MOVEFILE_COPY_ALLOWED is not supported: a move to another file system fails with
//   ERROR_NOT_SAME_DEVICE. MOVEFILE_WRITE_THROUGH makes the new names durable (fsync of the
//   folders).
BOOL MoveFileExW(LPCWSTR existingFileName, LPCWSTR newFileName, DWORD flags) {
    return Finish(Emulate([&]() -> DWORD {
        if (existingFileName == nullptr || *existingFileName == L'\0' || newFileName == nullptr ||
            *newFileName == L'\0')
            return ERROR_PATH_NOT_FOUND;
        return InternalMoveFile(NarrowPath(existingFileName), NarrowPath(newFileName), flags);
    }));
}

// Caveats:
// - No backup file (ERROR_INVALID_PARAMETER when one is named) and no merge of other metadata:
//   the replacement takes the replaced file's permission bits, owner (where the caller may give
//   it) and stored attributes; the replaced name is not followed when it is a symbolic link.
// - A replaced file that is read-only or open without FILE_SHARE_DELETE stays, with
//   ERROR_UNABLE_TO_REMOVE_REPLACED. The new name is always made durable.
BOOL ReplaceFileW(LPCWSTR replacedFileName, LPCWSTR replacementFileName, LPCWSTR backupFileName,
                  DWORD /*replaceFlags*/, void* /*exclude*/, void* /*reserved*/) {
    return Finish(Emulate([&]() -> DWORD {
        if (backupFileName != nullptr) return ERROR_INVALID_PARAMETER;
        if (replacedFileName == nullptr || *replacedFileName == L'\0' || replacementFileName == nullptr ||
            *replacementFileName == L'\0')
            return ERROR_PATH_NOT_FOUND;
        return InternalReplaceFile(NarrowPath(replacedFileName), NarrowPath(replacementFileName));
    }));
}
