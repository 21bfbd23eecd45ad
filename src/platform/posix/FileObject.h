// The file objects behind file handles on POSIX, and what the file functions share: the handle
// table, the share-mode locks, the mapping of file attributes and of file times.
#pragma once

#include <memory>
#include <string>
#include <utility>

#include <sys/stat.h>

#include "platform/posix/HandleTable.h"
#include "platform/posix/Win32Posix.h"

namespace cu::detail {

// The kinds of access that share modes govern, as the bits of the share mode that allows them.
constexpr DWORD kShareRead = FILE_SHARE_READ;
constexpr DWORD kShareWrite = FILE_SHARE_WRITE;
constexpr DWORD kShareDelete = FILE_SHARE_DELETE;
constexpr DWORD kShareAll = kShareRead | kShareWrite | kShareDelete;

// The share-governed access (kShare* bits) of a desired-access mask and the open flags:
// GENERIC_READ and GENERIC_EXECUTE read, GENERIC_WRITE writes, FILE_FLAG_DELETE_ON_CLOSE deletes,
// GENERIC_ALL does all three. An open with none of them is not subject to share modes at all.
DWORD ShareAccessOf(DWORD desiredAccess, DWORD flagsAndAttributes);

// Takes the share-mode locks of an opener on fd (open for reading) and checks them against the
// locks of every other open file description of the same file, in any process. Returns
// ERROR_SUCCESS, ERROR_SHARING_VIOLATION (no lock left behind), or the error of the lock call.
DWORD AcquireShareLocks(int fd, DWORD access, DWORD shareMode);

// One open file. The descriptor is open for reading and writing when write access was asked for,
// else for reading only; `access` keeps the desired access, which ReadFile and WriteFile must
// check themselves.
class FileObject {
public:
    FileObject(int fd, DWORD access, DWORD shareMode);
    FileObject(const FileObject&) = delete;
    FileObject& operator=(const FileObject&) = delete;
    ~FileObject();  // does what Close does, unless Close has been called

    // Removes the file from its folder when the handle was opened with FILE_FLAG_DELETE_ON_CLOSE
    // (only while the name still refers to this file), then closes the descriptor once.
    // Returns ERROR_SUCCESS or the close error.
    DWORD Close();

    // Arranges deletion at Close: parentFd is an O_PATH descriptor of the folder that held the
    // file when it was opened, name the file's name in it. Takes ownership of parentFd.
    void DeleteOnClose(int parentFd, std::string name);

    int fd() const { return m_fd; }
    DWORD access() const { return m_access; }
    DWORD shareMode() const { return m_shareMode; }

private:
    int m_fd;
    DWORD m_access;
    DWORD m_shareMode;
    int m_parentFd = -1;
    std::string m_name;
};

using FileTable = HandleTable<HANDLE, FileObject>;

// The file object of a handle; null, with ERROR_INVALID_HANDLE as the last error, when the handle
// is not an open file handle.
std::shared_ptr<FileObject> FileOrError(HANDLE handle);

// The folder part and the last component of a path, trailing slashes aside: "a/b/" gives "a"
// and "b", "b" gives "." and "b", "/b" gives "/" and "b".
std::pair<std::string, std::string> SplitParent(const std::string& path);

// The extended attribute that keeps the attributes that permission bits cannot express (hidden,
// system), as the text "0x" and a hexadecimal number: the form that Samba and Wine read and write.
constexpr const char kDosAttributeName[] = "user.DOSATTRIB";
constexpr DWORD kStoredAttributes = FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM;

// The stored attributes in the text of the extended attribute.
DWORD ParseStoredAttributes(const char* text, std::size_t length);

// The stored attributes of a path (following symbolic links); 0 without the extended attribute.
DWORD StoredAttributes(const char* path);

// Stores attributes & kStoredAttributes on an open file, removing the extended attribute when
// nothing is left. Returns ERROR_SUCCESS or the error (ERROR_NOT_SUPPORTED where the file system
// has no user extended attributes).
DWORD StoreAttributes(int fd, DWORD attributes);

// The Windows attributes of an existing path: FILE_ATTRIBUTE_DIRECTORY for folders and
// FILE_ATTRIBUTE_ARCHIVE for everything else; FILE_ATTRIBUTE_READONLY when no write permission
// bit is set; FILE_ATTRIBUTE_HIDDEN when the last component starts with a dot (except "." and
// "..") or the stored attributes say so; FILE_ATTRIBUTE_SYSTEM when they say so.
DWORD AttributesOf(const std::string& path, const struct stat& status);

// True when no write permission bit (user, group, other) is set: the file is read-only.
inline bool IsReadOnlyMode(mode_t mode) { return (mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0; }

// The standard information of a file: attributes as AttributesOf gives them, times, size.
// `path` names the file (its last component decides the dot-hidden attribute and the stored
// attributes are read through it); fd >= 0 queries that open file instead of resolving the path.
// A symbolic link describes its target (a dangling one itself) and adds
// FILE_ATTRIBUTE_REPARSE_POINT. The creation time is
// the birth time where the file system records one, else the earlier of the last write and the
// last status change. Returns ERROR_SUCCESS or the error.
DWORD QueryStandardInfo(const std::string& path, int fd, WIN32_FILE_ATTRIBUTE_DATA& data);

// The error for a path that does not exist: ERROR_PATH_NOT_FOUND when its folder is missing too,
// else ERROR_FILE_NOT_FOUND.
DWORD MissingPathError(const std::string& path);

// The error of a failed open(2) of path: MissingPathError for ENOENT, else ErrorFromErrno.
DWORD OpenError(int error, const std::string& path);

// A stamp of the system as a FILETIME; a time before 1601 is 1601 itself.
FILETIME FileTimeOf(const struct statx_timestamp& stamp);

}  // namespace cu::detail
