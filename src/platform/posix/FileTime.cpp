// File times on POSIX with Windows semantics: GetFileTime and the conversions of FILETIME stamps,
// 100-nanosecond intervals since 1601-01-01 UTC.
#include <cerrno>
#include <cstdint>
#include <ctime>
#include <limits>

#include <sys/stat.h>

#include "platform/posix/Calendar.h"
#include "platform/posix/FileObject.h"
#include "platform/posix/Internal.h"

namespace cu::detail {

namespace {

constexpr std::int64_t kTicksPerSecond = 10000000;
constexpr std::int64_t kEpochDifferenceSeconds = kFileTimeEpochDays * 86400;

FILETIME ToFileTime(std::uint64_t ticks) {
    FILETIME time;
    time.dwLowDateTime = static_cast<DWORD>(ticks);
    time.dwHighDateTime = static_cast<DWORD>(ticks >> 32);
    return time;
}

std::uint64_t FromFileTime(const FILETIME& time) {
    return (static_cast<std::uint64_t>(time.dwHighDateTime) << 32) | time.dwLowDateTime;
}

}  // namespace

// A time before 1601 is 1601 itself.
FILETIME FileTimeOf(const struct statx_timestamp& stamp) {
    const std::int64_t seconds = stamp.tv_sec + kEpochDifferenceSeconds;
    if (seconds < 0) return ToFileTime(0);
    return ToFileTime(static_cast<std::uint64_t>(seconds) * kTicksPerSecond + stamp.tv_nsec / 100);
}

}  // namespace cu::detail

using namespace cu::detail;

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
    const auto unixDay = static_cast<std::int64_t>(seconds / 86400) - kFileTimeEpochDays;
    const std::uint64_t secondOfDay = seconds % 86400;
    std::int64_t year;
    unsigned month, day;
    CivilFromDays(unixDay, year, month, day);
    systemTime->wDayOfWeek = static_cast<WORD>(DayOfWeek(unixDay));
    systemTime->wYear = static_cast<WORD>(year);
    systemTime->wMonth = static_cast<WORD>(month);
    systemTime->wDay = static_cast<WORD>(day);
    systemTime->wHour = static_cast<WORD>(secondOfDay / 3600);
    systemTime->wMinute = static_cast<WORD>(secondOfDay / 60 % 60);
    systemTime->wSecond = static_cast<WORD>(secondOfDay % 60);
    systemTime->wMilliseconds = static_cast<WORD>(ticks / 10000 % 1000);
    return TRUE;
}
