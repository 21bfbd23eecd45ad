// CLogger: the process-wide diagnostic log, switched and shaped by the registry value "LogFlag".
#pragma once

#include <atomic>

#include "commonutility/CString.h"
#include "commonutility/Export.h"
#include "commonutility/Win32Types.h"

namespace cu::detail {
struct LoggerAccess;
}

// One instance per process, made on the first Instance() call and destroyed when the library is
// unloaded. The flags are read once, at creation, from "LogFlag" under HKEY_CURRENT_USER
// "Software\Tavolan Corporation\Reelkeep\1.0\Uploader" (seven low bits; 0 or no value: silent).
// With logging on, the instance appends to "ReelkeepUploaderLog(YYYY-MM-DD).txt" in the temporary
// folder, dated by the day it was made: a LOG BEGIN line, one line per WriteLog, a LOG END line.
// Nothing is ever reported to callers; a file that cannot be opened (another process of the same
// user holds it) leaves the instance silent.
class COMMONUTILITY_API CLogger {
public:
    // A critical section, entered and left by its holders.
    class COMMONUTILITY_API CSyncLock {
    public:
        CSyncLock();
        virtual ~CSyncLock();
        CSyncLock(const CSyncLock&) = delete;
        CSyncLock& operator=(const CSyncLock&) = delete;
        void Lock();
        void Unlock();

    private:
        CRITICAL_SECTION m_cs;
    };

    static CLogger& Instance();

    // One record: the prefixes the flags ask for, " : " when there are any, the formatted message
    // and "\r\n", at most 1023 bytes (a longer record is cut, and then lacks its line end). The
    // narrow format follows the C runtime; in the wide one "%s" takes wide text, as on Windows.
    // Formatting allocates nothing and takes no lock; only the single write of the record does.
    void WriteLog(const char* source, int line, const char* function, const char* format, ...);
    void WriteLog(const char* source, int line, const char* function, const wchar_t* format, ...);

    // Records an output folder: S_OK, or E_INVALIDARG for a null folder, one of more than 260
    // characters, one that is not an existing writable folder, or a name without a delimiter. The
    // file is chosen once, at creation, so a later call changes no file.
    long SetLogOutputFolder(const wchar_t* folder);

private:
    friend struct cu::detail::LoggerAccess;
    CLogger();
    ~CLogger();
    CLogger(const CLogger&) = delete;
    CLogger& operator=(const CLogger&) = delete;

    static void Destroy();
    unsigned long GetLogFlags();
    void PreparePrefixes(char* buffer, unsigned long size, const char* source, int line,
                         const char* function);
    void WriteRecord(char* record);

    unsigned long m_flags;
    HANDLE m_hFile;
    CSyncLock m_lock;
    CString m_outputFolder;
    CString m_logFilePath;

    // Published with release and read with acquire, so the second test of the creation is sound.
    static std::atomic<CLogger*> s_Instance;
    static CSyncLock s_InstLock;
};
