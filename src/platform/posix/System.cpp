// Process and system facts for POSIX: the error mode, the path of the running program, the
// version record, the module look-up for IsWow64Process, the execution state, the screen saver
// switch, rectangles and the sockets start-up.
#include <atomic>
#include <cerrno>
#include <cstring>
#include <cwchar>
#include <iterator>
#include <new>
#include <string>

#include <pthread.h>
#include <sys/utsname.h>
#include <time.h>
#include <unistd.h>

#include "platform/posix/Internal.h"

using namespace cu::detail;

namespace {

std::atomic<UINT> g_errorMode{0};

// The version this layer reports: a current NT system, so that callers take the paths meant for
// the newest systems.
constexpr DWORD kMajorVersion = 10;
constexpr DWORD kMinorVersion = 0;
constexpr DWORD kBuildNumber = 0;

static_assert(sizeof(OSVERSIONINFOW) == 276 && sizeof(OSVERSIONINFOEXW) == 284,
              "the version records must have their Windows sizes");

// Execution states a caller may ask for; any other bit makes the call fail.
constexpr EXECUTION_STATE kKnownStates =
    ES_SYSTEM_REQUIRED | ES_DISPLAY_REQUIRED | ES_USER_PRESENT | ES_AWAYMODE_REQUIRED | ES_CONTINUOUS;
// A new thread requires nothing.
thread_local EXECUTION_STATE t_executionState = ES_CONTINUOUS;

std::atomic<BOOL> g_screenSaverActive{TRUE};

// The highest sockets version WSAStartup offers (2.2) and its count of users. The count orders
// nothing (relaxed): the system's sockets need no start-up, and a start must not hide from the
// thread sanitizer what callers share between a start and a cleanup.
constexpr WORD kSocketsVersion = MAKEWORD(2, 2);
std::atomic<int> g_socketUsers{0};

// The modules that GetModuleHandleW knows and the functions that GetProcAddress finds in them:
// those the library looks up at run time.
struct Export {
    const char* name;
    FARPROC address;
};

template <typename Function>
FARPROC AsProc(Function* function) {
    // Through void (*)(), which any function pointer may be cast to without a warning.
    return reinterpret_cast<FARPROC>(reinterpret_cast<void (*)()>(function));
}

struct Module {
    const char* name;  // lower case, without ".dll"
    const Export* exports;
    std::size_t count;
};

const Export kKernel32Exports[] = {{"IsWow64Process", AsProc(&IsWow64Process)}};
const Module kModules[] = {{"kernel32", kKernel32Exports, std::size(kKernel32Exports)}};

wchar_t FoldAscii(wchar_t ch) {
    return ch >= L'A' && ch <= L'Z' ? static_cast<wchar_t>(ch - L'A' + L'a') : ch;
}

// The rest of name after prefix (lower-case ASCII), compared without regard to case; null when
// name does not start with it.
const wchar_t* AfterPrefix(const wchar_t* name, const char* prefix) {
    for (; *prefix != '\0'; ++prefix, ++name)
        if (FoldAscii(*name) != static_cast<wchar_t>(*prefix)) return nullptr;
    return name;
}

// Whether a module name as a caller writes it ("KERNEL32.DLL", "kernel32") names module.
bool NamesModule(LPCWSTR name, const Module& module) {
    const wchar_t* rest = AfterPrefix(name, module.name);
    if (rest != nullptr && *rest != L'\0') rest = AfterPrefix(rest, ".dll");
    return rest != nullptr && *rest == L'\0';
}

// Whether this is a 32-bit process on a 64-bit kernel.
bool IsThirtyTwoBitOnSixtyFour() {
    if (sizeof(void*) != 4) return false;
    struct utsname system;
    if (uname(&system) != 0) return false;
    return std::strstr(system.machine, "64") != nullptr || std::strcmp(system.machine, "s390x") == 0;
}

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

namespace {
// The local time of the last second this thread converted. localtime_r takes a process-wide lock
// on every call, which threads that log at the same time would otherwise contend for; within one
// second the conversion cannot change unless TZ itself does.
struct LocalSecond {
    bool known = false;
    time_t second = 0;
    struct tm local = {};
};
thread_local LocalSecond t_localSecond;
}  // namespace

// Caveats: a change of TZ within the process is seen from the next second on.
void GetLocalTime(LPSYSTEMTIME fields) {
    struct timespec now = {};
    clock_gettime(CLOCK_REALTIME, &now);
    LocalSecond& cached = t_localSecond;
    if (!cached.known || cached.second != now.tv_sec) {
        if (localtime_r(&now.tv_sec, &cached.local) == nullptr) cached.local = {};
        cached.second = now.tv_sec;
        cached.known = true;
    }
    const struct tm& local = cached.local;
    fields->wYear = static_cast<WORD>(local.tm_year + 1900);
    fields->wMonth = static_cast<WORD>(local.tm_mon + 1);
    fields->wDayOfWeek = static_cast<WORD>(local.tm_wday);
    fields->wDay = static_cast<WORD>(local.tm_mday);
    fields->wHour = static_cast<WORD>(local.tm_hour);
    fields->wMinute = static_cast<WORD>(local.tm_min);
    fields->wSecond = static_cast<WORD>(local.tm_sec);
    fields->wMilliseconds = static_cast<WORD>(now.tv_nsec / 1000000);
}

namespace {
// Each thread asks the kernel once. A forked child's only thread is a new one, so the cache is
// emptied there.
thread_local DWORD t_threadId = 0;
void ForgetThreadId() { t_threadId = 0; }
}  // namespace

// The kernel's thread identifier: unique among the live threads of the system, as on Windows.
DWORD GetCurrentThreadId() {
    if (t_threadId == 0) {
        static const int registered = pthread_atfork(nullptr, nullptr, &ForgetThreadId);
        (void)registered;
        t_threadId = static_cast<DWORD>(gettid());
    }
    return t_threadId;
}

DWORD GetCurrentProcessId() { return static_cast<DWORD>(getpid()); }

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
    DWORD result = 0;
    SetLastError(Emulate([&]() -> DWORD {
        const std::string narrow = ExecutablePath();
        if (narrow.empty()) return ErrorFromErrno(errno);
        const std::wstring path = WidePath(narrow.data(), narrow.size());
        if (size == 0) return ERROR_INSUFFICIENT_BUFFER;
        // A path that does not fit is cut to size - 1 characters and terminated.
        if (path.size() >= size) {
            std::wmemcpy(fileName, path.data(), size - 1);
            fileName[size - 1] = L'\0';
            result = size;
            return ERROR_INSUFFICIENT_BUFFER;
        }
        std::wmemcpy(fileName, path.c_str(), path.size() + 1);
        result = static_cast<DWORD>(path.size());
        return ERROR_SUCCESS;
    }));
    return result;
}

// Caveats: only the modules whose functions the library looks up are known ("kernel32", with or
// without ".dll", in any case); no handle stands for the main program, so null gives
// ERROR_MOD_NOT_FOUND too.
HMODULE GetModuleHandleW(LPCWSTR moduleName) {
    if (moduleName != nullptr)
        for (const Module& module : kModules)
            if (NamesModule(moduleName, module)) return const_cast<Module*>(&module);
    SetLastError(ERROR_MOD_NOT_FOUND);
    return nullptr;
}

// Caveats: functions are found by name only, not by ordinal.
FARPROC GetProcAddress(HMODULE handle, LPCSTR procName) {
    for (const Module& module : kModules) {
        if (handle != &module) continue;
        // A name below 0x10000 is an ordinal on Windows.
        if (reinterpret_cast<std::uintptr_t>(procName) > 0xFFFF)
            for (std::size_t i = 0; i < module.count; ++i)
                if (std::strcmp(module.exports[i].name, procName) == 0) return module.exports[i].address;
        SetLastError(ERROR_PROC_NOT_FOUND);
        return nullptr;
    }
    SetLastError(ERROR_INVALID_HANDLE);
    return nullptr;
}

// The pseudo handle of the current process, the same value as on Windows.
HANDLE GetCurrentProcess() { return reinterpret_cast<HANDLE>(static_cast<std::intptr_t>(-1)); }

// Caveats: there is no WOW64 layer, only the current process is known, and the answer is whether
// it is a 32-bit build on a 64-bit kernel.
BOOL IsWow64Process(HANDLE process, BOOL* wow64Process) {
    if (process != GetCurrentProcess()) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    if (wow64Process == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    *wow64Process = IsThirtyTwoBitOnSixtyFour() ? TRUE : FALSE;
    return TRUE;
}

// Caveats: the answer is always an NT workstation, version 10.0, build 0, without a service
// pack: the kernel's own version says nothing about the Windows features that callers test for.
// As on Windows, dwOSVersionInfoSize must be the size of one of the two records.
BOOL GetVersionExW(LPOSVERSIONINFOW versionInfo) {
    if (versionInfo == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    const DWORD size = versionInfo->dwOSVersionInfoSize;
    if (size != sizeof(OSVERSIONINFOW) && size != sizeof(OSVERSIONINFOEXW)) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return FALSE;
    }
    versionInfo->dwMajorVersion = kMajorVersion;
    versionInfo->dwMinorVersion = kMinorVersion;
    versionInfo->dwBuildNumber = kBuildNumber;
    versionInfo->dwPlatformId = VER_PLATFORM_WIN32_NT;
    std::memset(versionInfo->szCSDVersion, 0, sizeof versionInfo->szCSDVersion);
    if (size == sizeof(OSVERSIONINFOEXW)) {
        auto* extended = reinterpret_cast<LPOSVERSIONINFOEXW>(versionInfo);
        extended->wServicePackMajor = 0;
        extended->wServicePackMinor = 0;
        extended->wSuiteMask = 0;
        extended->wProductType = VER_NT_WORKSTATION;
        extended->wReserved = 0;
    }
    return TRUE;
}

// Caveats: the state is only kept, per thread, and nothing keeps the machine awake. A state with
// ES_CONTINUOUS replaces the thread's state; one without it would reset the idle timers once and
// leaves the state as it is. Unknown bits fail with ERROR_INVALID_PARAMETER (result 0).
EXECUTION_STATE SetThreadExecutionState(EXECUTION_STATE flags) {
    if ((flags & ~kKnownStates) != 0) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    const EXECUTION_STATE previous = t_executionState;
    if ((flags & ES_CONTINUOUS) != 0) t_executionState = flags;
    return previous;
}

// Caveats: only the screen saver switch is known (any other action fails with
// ERROR_INVALID_SPI_VALUE). It is a process-wide flag, on at the start, with no effect on the
// system; the profile-update flags are ignored, as nothing is stored.
BOOL SystemParametersInfoW(UINT action, UINT param, void* data, UINT /*winIni*/) {
    switch (action) {
    case SPI_GETSCREENSAVEACTIVE:
        if (data == nullptr) {
            SetLastError(ERROR_INVALID_PARAMETER);
            return FALSE;
        }
        *static_cast<BOOL*>(data) = g_screenSaverActive.load();
        return TRUE;
    case SPI_SETSCREENSAVEACTIVE:
        g_screenSaverActive = param != 0 ? TRUE : FALSE;
        return TRUE;
    default:
        SetLastError(ERROR_INVALID_SPI_VALUE);
        return FALSE;
    }
}

BOOL SetRect(LPRECT rect, int left, int top, int right, int bottom) {
    if (rect == nullptr) return FALSE;
    rect->left = left;
    rect->top = top;
    rect->right = right;
    rect->bottom = bottom;
    return TRUE;
}

// Caveats: the system's sockets need no start-up; this only counts users, so that WSACleanup
// fails as on Windows when nothing was started. Versions from 1.0 up are accepted; beyond 2.2
// the answer is 2.2.
int WSAStartup(WORD versionRequested, LPWSADATA data) {
    if (LOBYTE(versionRequested) == 0) return WSAVERNOTSUPPORTED;
    if (data == nullptr) return WSAEFAULT;
    const bool aboveHighest = LOBYTE(versionRequested) > 2 ||
                              (LOBYTE(versionRequested) == 2 && HIBYTE(versionRequested) > 2);
    std::memset(data, 0, sizeof *data);
    data->wVersion = aboveHighest ? kSocketsVersion : versionRequested;
    data->wHighVersion = kSocketsVersion;
    std::strcpy(data->szDescription, "POSIX sockets");
    std::strcpy(data->szSystemStatus, "Running");
    g_socketUsers.fetch_add(1, std::memory_order_relaxed);
    return 0;
}

int WSACleanup() {
    int users = g_socketUsers.load(std::memory_order_relaxed);
    do {
        if (users == 0) {
            SetLastError(WSANOTINITIALISED);
            return SOCKET_ERROR;
        }
    } while (!g_socketUsers.compare_exchange_weak(users, users - 1, std::memory_order_relaxed));
    return 0;
}
