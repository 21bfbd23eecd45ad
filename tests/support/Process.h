// Child processes for the tests (POSIX): a body run in a fork and its exit status, also as a user
// who may not write a folder.
#pragma once

#if !defined(_WIN32)

#include <sys/wait.h>
#include <unistd.h>

#include <functional>

#include "support/TempDir.h"

namespace cu::test {

// Runs body in a forked child, which exits with what body gives; the child's id.
inline pid_t Spawn(const std::function<int()>& body) {
    const pid_t child = fork();
    if (child == 0) _exit(body());
    return child;
}

// Waits for a child: its exit status, or -1 when it did not exit normally.
inline int ExitStatus(pid_t child) {
    int status = 0;
    return child > 0 && waitpid(child, &status, 0) == child && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// Runs body in a child that may not write into folder: the folder loses its write permission
// meanwhile, and a child of root, whom permissions do not bind, becomes "nobody" first (exit
// status 125 when it cannot).
inline int ExitStatusWithoutWriteAccess(const CString& folder, const std::function<int()>& body) {
    SetReadOnly(folder);
    const int status = ExitStatus(
        Spawn([&] { return geteuid() == 0 && (setgid(65534) != 0 || setuid(65534) != 0) ? 125 : body(); }));
    SetReadOnly(folder, false);
    return status;
}

}  // namespace cu::test

#endif
