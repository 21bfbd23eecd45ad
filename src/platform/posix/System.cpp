// Process facts for POSIX: the error mode and the path of the running program.
#include <atomic>
#include <cerrno>
#include <cwchar>
#include <new>
#include <string>

#include <unistd.h>

#include "platform/posix/Internal.h"

using namespace cu::detail;

namespace {

std::atomic<UINT> g_errorMode{0};

// The target of /proc/self/exe, however long; empty when it cannot be read.
std::string ExecutablePath() {
    std::string path(256, '\0');
    for (;;) {
        const ssize_t length = readlink("/proc/self/exe", &path[0], path.size());
        if (length < 0) return std::string();
        if (static_cast<std::size_t>(length) < path.size()) {
            path.resize(static_cast<std::size_t>(length));
            return path;
        }
        path.resize(path.size() * 2);  // possibly cut: try again with more room
    }
}

}  // namespace

// Caveats: there are no system error dialogs to suppress, so the mode is only kept, process-wide,
// for whoever asks for it back.
UINT SetErrorMode(UINT mode) { return g_errorMode.exchange(mode); }

// Caveats: only the main program (module null) is known; any other module gives
// ERROR_MOD_NOT_FOUND. A program file that has been deleted since the start is reported with the
// suffix " (deleted)" that Linux appends.
DWORD GetModuleFileNameW(HMODULE module, LPWSTR fileName, DWORD size) {
    if (module != nullptr) {
        SetLastError(ERROR_MOD_NOT_FOUND);
        return 0;
    }
    if (fileName == nullptr && size != 0) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    try {
        const std::string narrow = ExecutablePath();
        if (narrow.empty()) {
            SetLastError(ErrorFromErrno(errno));
            return 0;
        }
        const std::wstring path = WidePath(narrow.data(), narrow.size());
        if (size == 0) {
            SetLastError(ERROR_INSUFFICIENT_BUFFER);
            return 0;
        }
        // A path that does not fit is cut to size - 1 characters and terminated.
        if (path.size() >= size) {
            std::wmemcpy(fileName, path.data(), size - 1);
            fileName[size - 1] = L'\0';
            SetLastError(ERROR_INSUFFICIENT_BUFFER);
            return size;
        }
        std::wmemcpy(fileName, path.c_str(), path.size() + 1);
        SetLastError(ERROR_SUCCESS);
        return static_cast<DWORD>(path.size());
    } catch (const std::bad_alloc&) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return 0;
    }
}
