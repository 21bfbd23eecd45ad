// Reading and writing open files on POSIX with Windows semantics: ReadFile, WriteFile,
// SetFilePointer, GetFileSize and the other calls on an open handle.
#include <cerrno>
#include <cstdint>
#include <algorithm>
#include <limits>
#include <string>

#include <sys/stat.h>
#include <unistd.h>

#include "platform/posix/FileObject.h"
#include "platform/posix/Internal.h"

using namespace cu::detail;

namespace {

// What ReadFile and WriteFile check before they move any byte: zero bytes done so far, the file
// behind the handle, the arguments, and the right to read or write (right: GENERIC_READ or
// GENERIC_WRITE; GENERIC_ALL gives both). Null, with the last error set, when a check fails.
std::shared_ptr<FileObject> FileForTransfer(HANDLE handle, const void* buffer, DWORD count, DWORD* done,
                                            LPOVERLAPPED overlapped, DWORD right) {
    if (done != nullptr) *done = 0;
    std::shared_ptr<FileObject> file = FileOrError(handle);
    if (file == nullptr) return nullptr;
    if (overlapped != nullptr || (buffer == nullptr && count != 0)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    if ((file->access() & (right | GENERIC_ALL)) == 0) {
        SetLastError(ERROR_ACCESS_DENIED);
        return nullptr;
    }
    return file;
}

}  // namespace

// Caveats: the whole count is read unless the end of the file comes first, as for a disk file on
// Windows; a handle opened without GENERIC_READ (or GENERIC_ALL) is refused with
// ERROR_ACCESS_DENIED. Overlapped reads are not supported.
BOOL ReadFile(HANDLE handle, void* buffer, DWORD toRead, DWORD* read, LPOVERLAPPED overlapped) {
    const std::shared_ptr<FileObject> file =
        FileForTransfer(handle, buffer, toRead, read, overlapped, GENERIC_READ);
    if (file == nullptr) return FALSE;
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
    const std::shared_ptr<FileObject> file =
        FileForTransfer(handle, buffer, toWrite, written, overlapped, GENERIC_WRITE);
    if (file == nullptr) return FALSE;
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

BOOL GetFileSizeEx(HANDLE handle, PLARGE_INTEGER size) {
    const std::shared_ptr<FileObject> file = FileOrError(handle);
    if (file == nullptr) return FALSE;
    struct stat status;
    if (size == nullptr) return Finish(ERROR_INVALID_PARAMETER);
    if (fstat(file->fd(), &status) != 0) return Finish(ErrorFromErrno(errno));
    size->QuadPart = status.st_size;
    return TRUE;
}

// Caveats: the data and the size reach the disk (fsync); a handle without write access is
// refused with ERROR_ACCESS_DENIED, as on Windows.
BOOL FlushFileBuffers(HANDLE handle) {
    const std::shared_ptr<FileObject> file = FileOrError(handle);
    if (file == nullptr) return FALSE;
    if ((file->access() & (GENERIC_WRITE | GENERIC_ALL)) == 0) return Finish(ERROR_ACCESS_DENIED);
    int result;
    do {
        result = fsync(file->fd());
    } while (result != 0 && errno == EINTR);
    return result == 0 ? TRUE : Finish(ErrorFromErrno(errno));
}

// The file ends at the file pointer.
BOOL SetEndOfFile(HANDLE handle) {
    const std::shared_ptr<FileObject> file = FileOrError(handle);
    if (file == nullptr) return FALSE;
    if ((file->access() & (GENERIC_WRITE | GENERIC_ALL)) == 0) return Finish(ERROR_ACCESS_DENIED);
    const off_t position = lseek(file->fd(), 0, SEEK_CUR);
    int result = position < 0 ? -1 : 0;
    while (result == 0 && (result = ftruncate(file->fd(), position)) != 0 && errno == EINTR) result = 0;
    return result == 0 ? TRUE : Finish(ErrorFromErrno(errno));
}

// Caveats: the attributes and times are those GetFileAttributesExW gives for the file's path as
// it was opened; the volume serial number is the device number and the file index the inode.
BOOL GetFileInformationByHandle(HANDLE handle, LPBY_HANDLE_FILE_INFORMATION information) {
    const std::shared_ptr<FileObject> file = FileOrError(handle);
    if (file == nullptr) return FALSE;
    if (information == nullptr) return Finish(ERROR_INVALID_PARAMETER);
    return Finish(Emulate([&]() -> DWORD {
        WIN32_FILE_ATTRIBUTE_DATA data;
        DWORD error = QueryStandardInfo(std::string(), file->fd(), data);
        struct stat status;
        if (error == ERROR_SUCCESS && fstat(file->fd(), &status) != 0) error = ErrorFromErrno(errno);
        if (error != ERROR_SUCCESS) return error;
        information->dwFileAttributes = data.dwFileAttributes;
        information->ftCreationTime = data.ftCreationTime;
        information->ftLastAccessTime = data.ftLastAccessTime;
        information->ftLastWriteTime = data.ftLastWriteTime;
        information->dwVolumeSerialNumber = static_cast<DWORD>(status.st_dev);
        information->nFileSizeHigh = data.nFileSizeHigh;
        information->nFileSizeLow = data.nFileSizeLow;
        information->nNumberOfLinks = static_cast<DWORD>(status.st_nlink);
        information->nFileIndexHigh = static_cast<DWORD>(static_cast<std::uint64_t>(status.st_ino) >> 32);
        information->nFileIndexLow = static_cast<DWORD>(status.st_ino);
        return ERROR_SUCCESS;
    }));
}

// The path of the open file with every symbolic link resolved, as the system names it now.
// Caveats: the flags are ignored (there are no volume names); lengths count wchar_t units. A
// buffer that is too small gets nothing, and the size needed with its terminator is returned.
DWORD GetFinalPathNameByHandleW(HANDLE handle, LPWSTR path, DWORD length, DWORD /*flags*/) {
    const std::shared_ptr<FileObject> file = FileOrError(handle);
    if (file == nullptr) return 0;
    DWORD result = 0;
    const DWORD error = Emulate([&]() -> DWORD {
        const std::string link = "/proc/self/fd/" + std::to_string(file->fd());
        std::string target(256, '\0');
        for (;;) {
            const ssize_t size = readlink(link.c_str(), &target[0], target.size());
            if (size < 0) return ErrorFromErrno(errno);
            if (static_cast<std::size_t>(size) < target.size()) {
                target.resize(static_cast<std::size_t>(size));
                break;
            }
            target.resize(target.size() * 2);
        }
        const std::wstring wide = WidePath(target.data(), target.size());
        if (path == nullptr || length <= wide.size()) {
            result = static_cast<DWORD>(wide.size() + 1);
            return ERROR_SUCCESS;
        }
        std::copy(wide.begin(), wide.end(), path);
        path[wide.size()] = L'\0';
        result = static_cast<DWORD>(wide.size());
        return ERROR_SUCCESS;
    });
    if (error != ERROR_SUCCESS) SetLastError(error);
    return error == ERROR_SUCCESS ? result : 0;
}
