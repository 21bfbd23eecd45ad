// The Win32 subset that the library calls, implemented for POSIX with Windows semantics.
//
// Everything here is internal to the library (hidden visibility) except what Win32Types.h
// exports. Errors are reported as Windows does: through the result and GetLastError.
#pragma once

#include <cstddef>
#include <ctime>

#include "commonutility/Win32Types.h"

typedef const char* LPCSTR;
typedef char* LPSTR;
typedef const wchar_t* LPCWSTR;
typedef wchar_t* LPWSTR;

// Calendar fields with the day of the year, as the OLE Automation conversions use them.
typedef struct {
    SYSTEMTIME st;
    USHORT wDayOfYear;
} UDATE;

typedef long long __time64_t;
typedef int errno_t;

typedef struct _SECURITY_ATTRIBUTES {
    DWORD nLength;
    void* lpSecurityDescriptor;
    BOOL bInheritHandle;
} SECURITY_ATTRIBUTES, *LPSECURITY_ATTRIBUTES;

// Error modes (kept, without effect: there are no system error dialogs here).
#define SEM_FAILCRITICALERRORS 0x0001u
#define SEM_NOGPFAULTERRORBOX 0x0002u
#define SEM_NOALIGNMENTFAULTEXCEPT 0x0004u
#define SEM_NOOPENFILEERRORBOX 0x8000u

// Further error codes of the file functions (the common ones are in Win32Types.h).
#define ERROR_TOO_MANY_OPEN_FILES 4L
#define ERROR_NOT_SAME_DEVICE 17L
#define ERROR_WRITE_PROTECT 19L
#define ERROR_GEN_FAILURE 31L
#define ERROR_NOT_SUPPORTED 50L
#define ERROR_DISK_FULL 112L
#define ERROR_INVALID_NAME 123L
#define ERROR_MOD_NOT_FOUND 126L
#define ERROR_DIR_NOT_EMPTY 145L
#define ERROR_BUSY 170L
#define ERROR_FILENAME_EXCED_RANGE 206L
#define ERROR_FILE_TOO_LARGE 223L
#define ERROR_DISK_QUOTA_EXCEEDED 1295L
#define ERROR_CANT_RESOLVE_FILENAME 1921L

extern "C" {

// Last error, kept per thread.
DWORD GetLastError();
void SetLastError(DWORD error);

// Text conversion between UTF-8 (also the ANSI code page) and wide text. Malformed input becomes
// U+FFFD, as on Windows without MB_ERR_INVALID_CHARS.
int MultiByteToWideChar(UINT codePage, DWORD flags, LPCSTR text, int length, LPWSTR out,
                        int outLength);
int WideCharToMultiByte(UINT codePage, DWORD flags, LPCWSTR text, int length, LPSTR out,
                        int outLength, LPCSTR defaultChar, BOOL* usedDefaultChar);
UINT GetACP();

// Length-prefixed strings.
BSTR SysAllocString(const OLECHAR* text);
BSTR SysAllocStringLen(const OLECHAR* text, UINT length);
UINT SysStringLen(BSTR text);

// COM: nothing to initialise on POSIX, always S_OK.
HRESULT CoInitialize(void* reserved);

// OLE Automation dates.
INT SystemTimeToVariantTime(LPSYSTEMTIME fields, DATE* dayCount);
INT VariantTimeToSystemTime(DATE dayCount, LPSYSTEMTIME fields);
HRESULT VarUdateFromDate(DATE dayCount, ULONG flags, UDATE* fields);

// Files (File.cpp). A HANDLE is a pointer to an internal file object; share modes are enforced
// across opens in this and other processes, as the caveats in File.cpp describe.
HANDLE CreateFileW(LPCWSTR fileName, DWORD desiredAccess, DWORD shareMode,
                   LPSECURITY_ATTRIBUTES securityAttributes, DWORD creationDisposition,
                   DWORD flagsAndAttributes, HANDLE templateFile);
BOOL CloseHandle(HANDLE handle);
DWORD GetFileAttributesW(LPCWSTR fileName);

// Path tests (Path.cpp): '/' is the only separator and there are no drives.
BOOL PathFileExistsW(LPCWSTR path);
BOOL PathIsDirectoryW(LPCWSTR path);  // FILE_ATTRIBUTE_DIRECTORY when it is a folder, else 0
BOOL PathIsRootW(LPCWSTR path);       // one or more '/' and nothing else
DWORD GetTempPathW(DWORD bufferLength, LPWSTR buffer);

// Process (System.cpp).
UINT SetErrorMode(UINT mode);
DWORD GetModuleFileNameW(HMODULE module, LPWSTR fileName, DWORD size);

}  // extern "C"

// The C runtime's 64-bit time functions.
__time64_t _time64(__time64_t* out);
errno_t _localtime64_s(struct tm* out, const __time64_t* time);

// The C runtime's bounded string functions (Path.cpp). Sizes count wchar_t units, terminator
// included; on failure the outputs are emptied and EINVAL or ERANGE returned. _wsplitpath_s
// splits at '/' only and always gives an empty drive.
errno_t _wsplitpath_s(const wchar_t* path, wchar_t* drive, std::size_t driveSize, wchar_t* dir,
                      std::size_t dirSize, wchar_t* fileName, std::size_t fileNameSize,
                      wchar_t* ext, std::size_t extSize);
errno_t wcscpy_s(wchar_t* dest, std::size_t destSize, const wchar_t* source);
errno_t wcscat_s(wchar_t* dest, std::size_t destSize, const wchar_t* source);
