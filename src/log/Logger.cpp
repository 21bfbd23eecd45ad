// CLogger: the process-wide diagnostic log.
#include "commonutility/Logger.h"

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "common/WideFormat.h"
#include "commonutility/FileOperation.h"
#include "platform/Scoped.h"
#include "platform/win32.h"

namespace {

// The log flags, from the registry value's seven low bits.
constexpr unsigned long kLogOn = 0x01;
constexpr unsigned long kDate = 0x02;
constexpr unsigned long kTime = 0x04;
constexpr unsigned long kThread = 0x08;
constexpr unsigned long kSource = 0x10;
constexpr unsigned long kLine = 0x20;
constexpr unsigned long kFunction = 0x40;

constexpr std::size_t kRecordSize = 1024;  // a record, its terminator included
constexpr std::size_t kPieceSize = 260;    // one prefix piece, or a banner line

const wchar_t kFlagKey[] = L"Software\\Tavolan Corporation\\Reelkeep\\1.0\\Uploader";

// Appends text to the zero-terminated text in buffer (size bytes), cut so that the terminator
// always fits.
void Append(char* buffer, std::size_t size, const char* text) {
    const std::size_t used = std::strlen(buffer);
    if (used + 1 >= size) return;
    std::size_t length = std::strlen(text);
    if (length > size - used - 1) length = size - used - 1;
    std::memcpy(buffer + used, text, length);
    buffer[used + length] = '\0';
}

// The file name part of a source path: after its last backslash, else after its last slash.
const char* FileNamePart(const char* source) {
    if (source == nullptr) return "";
    if (const char* backslash = std::strrchr(source, '\\')) return backslash + 1;
    if (const char* slash = std::strrchr(source, '/')) return slash + 1;
    return source;
}

void WriteBanner(HANDLE file, const char* word) {
    SYSTEMTIME now;
    GetLocalTime(&now);
    char line[kPieceSize];
    const int length = std::snprintf(
        line, sizeof line, "######################### LOG %s [%04d-%02d-%02d %02d:%02d:%02d.%03d] "
                           "#########################\r\n",
        word, now.wYear, now.wMonth, now.wDay, now.wHour, now.wMinute, now.wSecond, now.wMilliseconds);
    DWORD written = 0;
    if (length > 0) WriteFile(file, line, static_cast<DWORD>(length), &written, nullptr);
}

}  // namespace

std::atomic<CLogger*> CLogger::s_Instance{nullptr};
CLogger::CSyncLock CLogger::s_InstLock;

CLogger::CSyncLock::CSyncLock() { InitializeCriticalSection(&m_cs); }
CLogger::CSyncLock::~CSyncLock() { DeleteCriticalSection(&m_cs); }
void CLogger::CSyncLock::Lock() { EnterCriticalSection(&m_cs); }
void CLogger::CSyncLock::Unlock() { LeaveCriticalSection(&m_cs); }

CLogger& CLogger::Instance() {
    CLogger* instance = s_Instance.load(std::memory_order_acquire);
    if (instance != nullptr) return *instance;
    s_InstLock.Lock();
    instance = s_Instance.load(std::memory_order_relaxed);
    if (instance == nullptr) {
        instance = new CLogger;
        s_Instance.store(instance, std::memory_order_release);
        // Runs when the library is unloaded (or the process ends), before s_InstLock goes, which
        // was constructed earlier.
        std::atexit(&CLogger::Destroy);
    }
    s_InstLock.Unlock();
    return *instance;
}

void CLogger::Destroy() { delete s_Instance.exchange(nullptr, std::memory_order_acq_rel); }

CLogger::CLogger() : m_flags(GetLogFlags()), m_hFile(INVALID_HANDLE_VALUE) {
    if (m_flags == 0) return;

    // The file is named after the day the instance was made, and stays that file past midnight.
    SYSTEMTIME today;
    GetLocalTime(&today);
    CString name(cu::platform::kPathDelimiter);
    name += L"ReelkeepUploaderLog.txt";
    const int dot = name.ReverseFind(L'.');
    const CString extension = name.Mid(dot);
    name.Truncate(dot);
    name.AppendFormat(L"(%04d-%02d-%02d)%s", today.wYear, today.wMonth, today.wDay,
                      extension.GetString());

    if (SetLogOutputFolder(CFileOperation::GetTempDir()) != S_OK) return;
    m_logFilePath = m_outputFolder + name;
    m_hFile = CreateFileW(m_logFilePath, GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_ALWAYS,
                          FILE_ATTRIBUTE_NORMAL, nullptr);
    if (m_hFile == INVALID_HANDLE_VALUE) return;
    SetFilePointer(m_hFile, 0, nullptr, FILE_END);
    WriteBanner(m_hFile, "BEGIN");
}

CLogger::~CLogger() {
    if (m_hFile == INVALID_HANDLE_VALUE) return;
    WriteBanner(m_hFile, "END");
    CloseHandle(m_hFile);
}

unsigned long CLogger::GetLogFlags() {
    const cu::platform::ScopedKey key = cu::platform::OpenRegKey(HKEY_CURRENT_USER, kFlagKey, KEY_READ);
    if (!key.IsValid()) return 0;
    DWORD value = 0;
    DWORD size = sizeof value;
    if (RegQueryValueExW(key.Get(), L"LogFlag", nullptr, nullptr, reinterpret_cast<BYTE*>(&value), &size) !=
        ERROR_SUCCESS)
        value = 0;
    unsigned long flags = value & 0x7F;
    if (flags != 0) flags |= kLogOn;
    if (flags & kLine) flags |= kSource;
    return flags;
}

long CLogger::SetLogOutputFolder(const wchar_t* folder) {
    if (folder == nullptr) return E_INVALIDARG;
    const CString text(folder);
    if (text.GetUtf16Length() > MAX_PATH) return E_INVALIDARG;
    BOOL isFolder;
    {
        const cu::platform::QuietErrorMode quiet;
        isFolder = PathIsDirectoryW(folder);
    }
    if (!isFolder || !CFileOperation::IsDirWritable(text)) return E_INVALIDARG;
    m_outputFolder = text;
    if (m_outputFolder.Find(cu::platform::kPathDelimiter) < 0) {
        m_outputFolder.Empty();
        return E_INVALIDARG;
    }
    return S_OK;
}

namespace {

// Writes value in decimal with at least digits digits (zeros in front), as "%0*d" would.
char* Decimal(char* out, int value, int digits) {
    char reversed[16];
    int count = 0;
    unsigned int magnitude = value < 0 ? 0u - static_cast<unsigned int>(value) : static_cast<unsigned int>(value);
    do {
        reversed[count++] = static_cast<char>('0' + magnitude % 10);
        magnitude /= 10;
    } while (magnitude != 0);
    if (value < 0) *out++ = '-';
    for (int pad = count + (value < 0 ? 1 : 0); pad < digits; ++pad) *out++ = '0';
    while (count > 0) *out++ = reversed[--count];
    return out;
}

// The record being built: text is cut where the terminator would no longer fit, as Append does.
struct Record {
    char* buffer;
    std::size_t size;
    std::size_t used;
    void Add(const char* text, std::size_t length) {
        if (used + 1 >= size) return;
        if (length > size - used - 1) length = size - used - 1;
        std::memcpy(buffer + used, text, length);
        used += length;
        buffer[used] = '\0';
    }
};

}  // namespace

// The date, time and thread pieces are formatted by hand: they are in every record and snprintf
// costs more than the write. The pieces read exactly as "%04d", "%02d" and "%03d" give them.
void CLogger::PreparePrefixes(char* buffer, unsigned long size, const char* source, int line,
                              const char* function) {
    if (m_flags == 0) return;
    Record record{buffer, size, std::strlen(buffer)};
    char piece[kPieceSize];
    if (m_flags & (kDate | kTime)) {
        SYSTEMTIME now;
        GetLocalTime(&now);
        char* p = piece;
        *p++ = '[';
        if (m_flags & kDate) {
            p = Decimal(p, now.wYear, 4);
            *p++ = '/';
            p = Decimal(p, now.wMonth, 2);
            *p++ = '/';
            p = Decimal(p, now.wDay, 2);
            if (m_flags & kTime) *p++ = ' ';
        }
        if (m_flags & kTime) {
            p = Decimal(p, now.wHour, 2);
            *p++ = ':';
            p = Decimal(p, now.wMinute, 2);
            *p++ = ':';
            p = Decimal(p, now.wSecond, 2);
            *p++ = '.';
            p = Decimal(p, now.wMilliseconds, 3);
        }
        *p++ = ']';
        record.Add(piece, static_cast<std::size_t>(p - piece));
    }
    if (m_flags & kSource) {
        if (m_flags & kLine)
            std::snprintf(piece, sizeof piece, "[%s(%d)]", FileNamePart(source), line);
        else
            std::snprintf(piece, sizeof piece, "[%s]", FileNamePart(source));
        record.Add(piece, std::strlen(piece));
    }
    if (m_flags & kFunction) {
        std::snprintf(piece, sizeof piece, "[%s]", function != nullptr ? function : "");
        record.Add(piece, std::strlen(piece));
    }
    if (m_flags & kThread) {
        char* p = piece;
        std::memcpy(p, "[TID=", 5);
        p = Decimal(p + 5, static_cast<int>(GetCurrentThreadId()), 1);
        *p++ = ']';
        record.Add(piece, static_cast<std::size_t>(p - piece));
    }
    if (m_flags != kLogOn) record.Add(" : ", 3);
}

void CLogger::WriteLog(const char* source, int line, const char* function, const char* format, ...) {
    if (m_hFile == INVALID_HANDLE_VALUE) return;
    char record[kRecordSize];
    record[0] = '\0';
    PreparePrefixes(record, sizeof record, source, line, function);
    const std::size_t used = std::strlen(record);
    va_list args;
    va_start(args, format);
    std::vsnprintf(record + used, sizeof record - used, format != nullptr ? format : "", args);
    va_end(args);
    WriteRecord(record);
}

void CLogger::WriteLog(const char* source, int line, const char* function, const wchar_t* format, ...) {
    if (m_hFile == INVALID_HANDLE_VALUE) return;
    char record[kRecordSize];
    record[0] = '\0';
    PreparePrefixes(record, sizeof record, source, line, function);
    wchar_t message[kRecordSize];
    va_list args;
    va_start(args, format);
    cu::detail::FormatWide(message, kRecordSize, format, args);
    va_end(args);
    // A wide character takes at most four bytes in the ANSI code page (UTF-8 on POSIX).
    char converted[4 * kRecordSize];
    if (WideCharToMultiByte(CP_ACP, 0, message, -1, converted, sizeof converted, nullptr, nullptr) <= 0)
        converted[0] = '\0';
    Append(record, sizeof record, converted);
    WriteRecord(record);
}

// Ends the record with "\r\n" as far as it fits and writes it whole under the lock, so that
// records of different threads never mix within a line.
void CLogger::WriteRecord(char* record) {
    Append(record, kRecordSize, "\r\n");
    DWORD written = 0;
    m_lock.Lock();
    WriteFile(m_hFile, record, static_cast<DWORD>(std::strlen(record)), &written, nullptr);
    m_lock.Unlock();
}
