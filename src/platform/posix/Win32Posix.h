// The Win32 subset that the library calls, implemented for POSIX with Windows semantics.
//
// Everything here is internal to the library (hidden visibility) except what Win32Types.h
// exports. Errors are reported as Windows does: through the result and GetLastError.
#pragma once

#include <cstddef>
#include <cstdint>
#include <ctime>

// The sockets calls that need no translation (gethostname, getaddrinfo, freeaddrinfo, addrinfo,
// sockaddr_in, AF_INET) are the system's own.
#include <netdb.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

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

// Calling conventions exist on 32-bit Windows only.
#define WINAPI
typedef std::intptr_t INT_PTR;
typedef INT_PTR(WINAPI* FARPROC)();
typedef DWORD EXECUTION_STATE;

// The version record. The service-pack text is UTF-16, as on Windows, so that both records have
// their Windows sizes (276 and 284 bytes), which dwOSVersionInfoSize is checked against.
typedef struct _OSVERSIONINFOW {
    DWORD dwOSVersionInfoSize;
    DWORD dwMajorVersion;
    DWORD dwMinorVersion;
    DWORD dwBuildNumber;
    DWORD dwPlatformId;
    char16_t szCSDVersion[128];
} OSVERSIONINFOW, *LPOSVERSIONINFOW;

typedef struct _OSVERSIONINFOEXW {
    DWORD dwOSVersionInfoSize;
    DWORD dwMajorVersion;
    DWORD dwMinorVersion;
    DWORD dwBuildNumber;
    DWORD dwPlatformId;
    char16_t szCSDVersion[128];
    WORD wServicePackMajor;
    WORD wServicePackMinor;
    WORD wSuiteMask;
    BYTE wProductType;
    BYTE wReserved;
} OSVERSIONINFOEXW, *LPOSVERSIONINFOEXW;

#define VER_PLATFORM_WIN32s 0u
#define VER_PLATFORM_WIN32_WINDOWS 1u
#define VER_PLATFORM_WIN32_NT 2u
#define VER_NT_WORKSTATION 1u

// Thread execution states.
#define ES_SYSTEM_REQUIRED 0x00000001u
#define ES_DISPLAY_REQUIRED 0x00000002u
#define ES_USER_PRESENT 0x00000004u
#define ES_AWAYMODE_REQUIRED 0x00000040u
#define ES_CONTINUOUS 0x80000000u

// System parameters (only the screen saver switch is known).
#define SPI_GETSCREENSAVEACTIVE 0x0010u
#define SPI_SETSCREENSAVEACTIVE 0x0011u

// Sockets start-up.
#define MAKEWORD(low, high) ((WORD)(((BYTE)(low)) | ((WORD)((BYTE)(high))) << 8))
#define LOBYTE(w) ((BYTE)((w) & 0xff))
#define HIBYTE(w) ((BYTE)(((w) >> 8) & 0xff))
#define WSADESCRIPTION_LEN 256
#define WSASYS_STATUS_LEN 128
typedef struct WSAData {
    WORD wVersion;
    WORD wHighVersion;
    unsigned short iMaxSockets;
    unsigned short iMaxUdpDg;
    char* lpVendorInfo;
    char szDescription[WSADESCRIPTION_LEN + 1];
    char szSystemStatus[WSASYS_STATUS_LEN + 1];
} WSADATA, *LPWSADATA;
#define SOCKET_ERROR (-1)
#define WSAEFAULT 10014
#define WSAVERNOTSUPPORTED 10092
#define WSANOTINITIALISED 10093

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
#define ERROR_UNABLE_TO_REMOVE_REPLACED 1175L
#define ERROR_UNABLE_TO_MOVE_REPLACEMENT 1176L
#define MOVEFILE_REPLACE_EXISTING 0x1u
#define MOVEFILE_COPY_ALLOWED 0x2u
#define MOVEFILE_WRITE_THROUGH 0x8u
#define REPLACEFILE_WRITE_THROUGH 0x1u
#define REPLACEFILE_IGNORE_MERGE_ERRORS 0x2u
#define FILE_NAME_NORMALIZED 0x0u
#define VOLUME_NAME_DOS 0x0u
#define ERROR_WRITE_PROTECT 19L
#define ERROR_GEN_FAILURE 31L
#define ERROR_NOT_SUPPORTED 50L
#define ERROR_DISK_FULL 112L
#define ERROR_INVALID_NAME 123L
#define ERROR_MOD_NOT_FOUND 126L
#define ERROR_PROC_NOT_FOUND 127L
#define ERROR_DIR_NOT_EMPTY 145L
#define ERROR_BUSY 170L
#define ERROR_BAD_PATHNAME 161L
#define ERROR_FILENAME_EXCED_RANGE 206L
#define ERROR_FILE_TOO_LARGE 223L
#define ERROR_NOACCESS 998L
#define ERROR_CANTOPEN 1011L
#define ERROR_REGISTRY_CORRUPT 1015L
#define ERROR_REGISTRY_IO_FAILED 1016L
#define ERROR_KEY_DELETED 1018L
#define ERROR_DISK_QUOTA_EXCEEDED 1295L
#define ERROR_INVALID_SPI_VALUE 1439L
#define ERROR_CANT_RESOLVE_FILENAME 1921L
#define ERROR_NO_MORE_FILES 18L
#define ERROR_NEGATIVE_SEEK 131L
#define ERROR_BAD_EXE_FORMAT 193L
#define ERROR_DIRECTORY 267L
#define ERROR_RESOURCE_DATA_NOT_FOUND 1812L
#define ERROR_RESOURCE_TYPE_NOT_FOUND 1813L
#define FILE_ATTRIBUTE_REPARSE_POINT 0x00000400u  // a symbolic link, in searches and attribute queries

// Reparse tags, which a search gives in dwReserved0 for a reparse point. Symbolic links are the
// only reparse points here. Bit 29 marks a tag whose reparse point stands for another name (a
// link or a junction) rather than holding content of its own.
#define IO_REPARSE_TAG_MOUNT_POINT 0xA0000003u
#define IO_REPARSE_TAG_SYMLINK 0xA000000Cu
#define IsReparseTagNameSurrogate(tag) ((tag) & 0x20000000u)

// File handles: positions, sizes, attribute records and searches.
typedef struct _OVERLAPPED OVERLAPPED, *LPOVERLAPPED;  // never defined: only null is accepted
typedef LONG* PLONG;
#define INVALID_SET_FILE_POINTER ((DWORD)-1)
#define INVALID_FILE_SIZE ((DWORD)0xFFFFFFFF)

typedef enum _GET_FILEEX_INFO_LEVELS {
    GetFileExInfoStandard,
    GetFileExMaxInfoLevel
} GET_FILEEX_INFO_LEVELS;

typedef struct _WIN32_FILE_ATTRIBUTE_DATA {
    DWORD dwFileAttributes;
    FILETIME ftCreationTime;
    FILETIME ftLastAccessTime;
    FILETIME ftLastWriteTime;
    DWORD nFileSizeHigh;
    DWORD nFileSizeLow;
} WIN32_FILE_ATTRIBUTE_DATA, *LPWIN32_FILE_ATTRIBUTE_DATA;

typedef struct _BY_HANDLE_FILE_INFORMATION {
    DWORD dwFileAttributes;
    FILETIME ftCreationTime;
    FILETIME ftLastAccessTime;
    FILETIME ftLastWriteTime;
    DWORD dwVolumeSerialNumber;
    DWORD nFileSizeHigh;
    DWORD nFileSizeLow;
    DWORD nNumberOfLinks;
    DWORD nFileIndexHigh;
    DWORD nFileIndexLow;
} BY_HANDLE_FILE_INFORMATION, *LPBY_HANDLE_FILE_INFORMATION;

// The names are wide text of wchar_t units here; a name has at most 255 bytes on Linux, so it
// always fits.
typedef struct _WIN32_FIND_DATAW {
    DWORD dwFileAttributes;
    FILETIME ftCreationTime;
    FILETIME ftLastAccessTime;
    FILETIME ftLastWriteTime;
    DWORD nFileSizeHigh;
    DWORD nFileSizeLow;
    DWORD dwReserved0;
    DWORD dwReserved1;
    WCHAR cFileName[MAX_PATH];
    WCHAR cAlternateFileName[14];
} WIN32_FIND_DATAW, *PWIN32_FIND_DATAW, *LPWIN32_FIND_DATAW;

// The fixed part of a version resource, as the file stores it.
typedef struct tagVS_FIXEDFILEINFO {
    DWORD dwSignature;
    DWORD dwStrucVersion;
    DWORD dwFileVersionMS;
    DWORD dwFileVersionLS;
    DWORD dwProductVersionMS;
    DWORD dwProductVersionLS;
    DWORD dwFileFlagsMask;
    DWORD dwFileFlags;
    DWORD dwFileOS;
    DWORD dwFileType;
    DWORD dwFileSubtype;
    DWORD dwFileDateMS;
    DWORD dwFileDateLS;
} VS_FIXEDFILEINFO;
#define VS_FFI_SIGNATURE 0xFEEF04BDu

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
// Gives *text the new length, keeping its units where source is null or the string itself (a
// longer string's new units are not set); TRUE on success, else *text stays as it was.
INT SysReAllocStringLen(BSTR* text, const OLECHAR* source, UINT length);
UINT SysStringLen(BSTR text);

// COM: nothing to initialise on POSIX, always S_OK.
HRESULT CoInitialize(void* reserved);

// OLE Automation dates.
INT SystemTimeToVariantTime(LPSYSTEMTIME fields, DATE* dayCount);
INT VariantTimeToSystemTime(DATE dayCount, LPSYSTEMTIME fields);
HRESULT VarUdateFromDate(DATE dayCount, ULONG flags, UDATE* fields);

// Files (FileOpen.cpp). A HANDLE is a pointer to an internal file object; share modes are
// enforced across opens in this and other processes, as the caveats in FileOpen.cpp describe.
HANDLE CreateFileW(LPCWSTR fileName, DWORD desiredAccess, DWORD shareMode,
                   LPSECURITY_ATTRIBUTES securityAttributes, DWORD creationDisposition,
                   DWORD flagsAndAttributes, HANDLE templateFile);
BOOL CloseHandle(HANDLE handle);

// Reading, writing and querying open files (FileIo.cpp). ReadFile and WriteFile check the access
// the handle was opened with; overlapped operations are not supported (the pointer must be null).
BOOL ReadFile(HANDLE file, void* buffer, DWORD toRead, DWORD* read, LPOVERLAPPED overlapped);
BOOL WriteFile(HANDLE file, const void* buffer, DWORD toWrite, DWORD* written,
               LPOVERLAPPED overlapped);
DWORD SetFilePointer(HANDLE file, LONG distance, PLONG distanceHigh, DWORD moveMethod);
DWORD GetFileSize(HANDLE file, DWORD* sizeHigh);
BOOL GetFileSizeEx(HANDLE file, PLARGE_INTEGER size);
BOOL FlushFileBuffers(HANDLE file);
BOOL SetEndOfFile(HANDLE file);
BOOL GetFileInformationByHandle(HANDLE file, LPBY_HANDLE_FILE_INFORMATION information);
DWORD GetFinalPathNameByHandleW(HANDLE file, LPWSTR path, DWORD length, DWORD flags);

// Attributes, deletion and moves (FileAttributes.cpp).
DWORD GetFileAttributesW(LPCWSTR fileName);
BOOL GetFileAttributesExW(LPCWSTR fileName, GET_FILEEX_INFO_LEVELS level, void* info);
BOOL SetFileAttributesW(LPCWSTR fileName, DWORD attributes);
BOOL DeleteFileW(LPCWSTR fileName);
BOOL MoveFileExW(LPCWSTR existingFileName, LPCWSTR newFileName, DWORD flags);
BOOL ReplaceFileW(LPCWSTR replacedFileName, LPCWSTR replacementFileName, LPCWSTR backupFileName,
                  DWORD replaceFlags, void* exclude, void* reserved);

// File times: 100-nanosecond units since 1601-01-01 00:00 UTC (FileTime.cpp).
BOOL GetFileTime(HANDLE file, LPFILETIME creation, LPFILETIME lastAccess, LPFILETIME lastWrite);
BOOL FileTimeToLocalFileTime(const FILETIME* fileTime, LPFILETIME localFileTime);
BOOL FileTimeToSystemTime(const FILETIME* fileTime, LPSYSTEMTIME systemTime);

// Folders, searches, full paths and free space (Directory.cpp).
BOOL CreateDirectoryW(LPCWSTR pathName, LPSECURITY_ATTRIBUTES securityAttributes);
BOOL RemoveDirectoryW(LPCWSTR pathName);
HANDLE FindFirstFileW(LPCWSTR fileName, LPWIN32_FIND_DATAW findData);
BOOL FindNextFileW(HANDLE find, LPWIN32_FIND_DATAW findData);
BOOL FindClose(HANDLE find);
DWORD GetFullPathNameW(LPCWSTR fileName, DWORD bufferLength, LPWSTR buffer, LPWSTR* filePart);
BOOL GetDiskFreeSpaceExW(LPCWSTR directoryName, PULARGE_INTEGER freeBytesAvailable,
                         PULARGE_INTEGER totalBytes, PULARGE_INTEGER totalFreeBytes);

// Version resources, read from the resource section of PE files (Version.cpp).
DWORD GetFileVersionInfoSizeW(LPCWSTR fileName, DWORD* handle);
BOOL GetFileVersionInfoW(LPCWSTR fileName, DWORD handle, DWORD length, void* data);
BOOL VerQueryValueW(const void* block, LPCWSTR subBlock, void** buffer, UINT* length);

// Path tests (Path.cpp): '/' is the only separator and there are no drives.
BOOL PathFileExistsW(LPCWSTR path);
BOOL PathIsDirectoryW(LPCWSTR path);  // FILE_ATTRIBUTE_DIRECTORY when it is a folder, else 0
BOOL PathIsRootW(LPCWSTR path);       // one or more '/' and nothing else
DWORD GetTempPathW(DWORD bufferLength, LPWSTR buffer);

// The registry (Registry.cpp) is declared in Win32Types.h, as callers use it too. An HKEY is a
// predefined root or a pointer to an internal key object.

// Process and system facts (System.cpp).
UINT SetErrorMode(UINT mode);

// Local time with milliseconds, and the calling thread's identifier.
void GetLocalTime(LPSYSTEMTIME fields);
DWORD GetCurrentThreadId();
DWORD GetCurrentProcessId();
DWORD GetModuleFileNameW(HMODULE module, LPWSTR fileName, DWORD size);
HMODULE GetModuleHandleW(LPCWSTR moduleName);  // "kernel32" only
FARPROC GetProcAddress(HMODULE module, LPCSTR procName);
HANDLE GetCurrentProcess();
BOOL IsWow64Process(HANDLE process, BOOL* wow64Process);
BOOL GetVersionExW(LPOSVERSIONINFOW versionInfo);  // an NT system, version 10.0
EXECUTION_STATE SetThreadExecutionState(EXECUTION_STATE flags);  // per thread, no system effect
BOOL SystemParametersInfoW(UINT action, UINT param, void* data, UINT winIni);
BOOL SetRect(LPRECT rect, int left, int top, int right, int bottom);

// Sockets start-up: nothing to start; a count of users, as WSACleanup needs one (System.cpp).
int WSAStartup(WORD versionRequested, LPWSADATA data);
int WSACleanup();

// Critical sections: recursive mutexes (Sync.cpp).
void InitializeCriticalSection(LPCRITICAL_SECTION section);
void EnterCriticalSection(LPCRITICAL_SECTION section);
void LeaveCriticalSection(LPCRITICAL_SECTION section);
void DeleteCriticalSection(LPCRITICAL_SECTION section);

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
