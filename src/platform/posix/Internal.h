// Helpers shared by the POSIX implementations of the Win32 subset: the one table from errno
// values to Windows error codes, and the conversions between wide paths and the UTF-8 bytes that
// the system calls take.
#pragma once

#include <new>
#include <string>
#include <utility>

#include <unistd.h>

#include "platform/posix/Win32Posix.h"

namespace cu::detail {

// Owns a file descriptor. Don't retry close in case of EINTR: Linux has released the descriptor
// already, and a second close could hit one that another thread has just been given.
class ScopedFd {
public:
    explicit ScopedFd(int fd = -1) : m_fd(fd) {}
    ScopedFd(const ScopedFd&) = delete;
    ScopedFd& operator=(const ScopedFd&) = delete;
    ~ScopedFd() {
        if (m_fd >= 0) ::close(m_fd);
    }
    int get() const { return m_fd; }
    void reset(int fd) {
        if (m_fd >= 0) ::close(m_fd);
        m_fd = fd;
    }
    int release() {
        const int fd = m_fd;
        m_fd = -1;
        return fd;
    }

private:
    int m_fd;
};

// Runs the work of an emulated call, which gives a Windows error code; an exhausted memory becomes
// ERROR_NOT_ENOUGH_MEMORY, so that no exception leaves the call.
template <class Work>
auto Emulate(Work&& work) noexcept -> decltype(work()) {
    try {
        return std::forward<Work>(work)();
    } catch (const std::bad_alloc&) {
        return ERROR_NOT_ENOUGH_MEMORY;
    }
}

// Sets the thread's last error and gives the BOOL result that goes with it.
inline BOOL Finish(DWORD error) {
    SetLastError(error);
    return error == ERROR_SUCCESS ? TRUE : FALSE;
}

// open(2), retried when a signal interrupts it.
int OpenRetrying(const char* path, int flags, mode_t mode);

// The Windows error code for an errno value; ERROR_GEN_FAILURE for one without a counterpart.
DWORD ErrorFromErrno(int error);

// The bytes of a wide path: UTF-8, and U+DC80..U+DCFF as the single bytes 0x80..0xFF they stand
// for. Any other code point that has no UTF-8 form becomes U+FFFD.
std::string NarrowPath(const wchar_t* path);

// The wide text of a path's bytes from the system: UTF-8 decoded, and each byte that is not part
// of valid UTF-8 as U+DC80..U+DCFF, so that NarrowPath gives the same bytes back.
std::wstring WidePath(const char* path, std::size_t length);

}  // namespace cu::detail
