// The Win32 types, constants and the few functions that the library's interface uses.
//
// On Windows they come from the system headers. Elsewhere this header declares the same names
// with the same sizes, so that callers write the same code on every platform.
#pragma once

#if defined(_WIN32)

#include <windows.h>
#include <oleauto.h>

#else

#include <cstddef>
#include <cstdint>
#include <cwchar>

#include <pthread.h>

#include "commonutility/Export.h"

// 'unsigned __int64' must stay valid, so this is a macro as on Windows compilers, not a typedef.
#ifndef __int64
#define __int64 long long
#endif

typedef int BOOL;
typedef int INT;
typedef unsigned char BYTE;
typedef std::uint16_t WORD;
typedef std::uint32_t DWORD;
typedef std::int32_t LONG;
typedef std::uint32_t ULONG;
typedef unsigned int UINT;
typedef unsigned short USHORT;
typedef std::int32_t HRESULT;
typedef wchar_t WCHAR;
typedef wchar_t OLECHAR;
typedef OLECHAR* BSTR;
typedef double DATE;
typedef short VARIANT_BOOL;
typedef void* HANDLE;
typedef void* HMODULE;
typedef long long LONGLONG;
typedef unsigned long long ULONGLONG;
typedef std::uintptr_t ULONG_PTR;

#ifndef TRUE
#define TRUE 1
#endif
#ifndef FALSE
#define FALSE 0
#endif

#define MAX_PATH 260
#define VARIANT_TRUE ((VARIANT_BOOL)-1)
#define VARIANT_FALSE ((VARIANT_BOOL)0)
#define INVALID_HANDLE_VALUE ((HANDLE)(std::intptr_t)-1)

#define S_OK ((HRESULT)0)
#define S_FALSE ((HRESULT)1)
#define E_INVALIDARG ((HRESULT)0x80070057L)
#define E_OUTOFMEMORY ((HRESULT)0x8007000EL)
#define E_ACCESSDENIED ((HRESULT)0x80070005L)
#define SUCCEEDED(hr) (((HRESULT)(hr)) >= 0)
#define FAILED(hr) (((HRESULT)(hr)) < 0)

// Code pages of the text conversions. The ANSI code page is UTF-8 here.
#define CP_ACP 0
#define CP_OEMCP 1
#define CP_THREAD_ACP 3
#define CP_UTF8 65001

typedef struct _SYSTEMTIME {
    WORD wYear;
    WORD wMonth;
    WORD wDayOfWeek;
    WORD wDay;
    WORD wHour;
    WORD wMinute;
    WORD wSecond;
    WORD wMilliseconds;
} SYSTEMTIME, *PSYSTEMTIME, *LPSYSTEMTIME;

typedef struct _FILETIME {
    DWORD dwLowDateTime;
    DWORD dwHighDateTime;
} FILETIME, *PFILETIME, *LPFILETIME;

typedef union _ULARGE_INTEGER {
    struct {
        DWORD LowPart;
        DWORD HighPart;
    } u;
    __extension__ struct {
        DWORD LowPart;
        DWORD HighPart;
    };
    ULONGLONG QuadPart;
} ULARGE_INTEGER, *PULARGE_INTEGER;

typedef union _LARGE_INTEGER {
    struct {
        DWORD LowPart;
        LONG HighPart;
    } u;
    __extension__ struct {
        DWORD LowPart;
        LONG HighPart;
    };
    LONGLONG QuadPart;
} LARGE_INTEGER, *PLARGE_INTEGER;

typedef struct tagRECT {
    LONG left;
    LONG top;
    LONG right;
    LONG bottom;
} RECT, *LPRECT;
typedef const RECT* LPCRECT;

typedef struct tagSIZE {
    LONG cx;
    LONG cy;
} SIZE, *LPSIZE;

// A critical section is a recursive mutex. Callers only pass its address to the critical-section
// functions; the layout is not the one of Windows.
typedef struct _RTL_CRITICAL_SECTION {
    pthread_mutex_t Mutex;
} CRITICAL_SECTION, *LPCRITICAL_SECTION;

// Registry roots are opaque handles with the same values as on Windows.
struct HKEY__;
typedef HKEY__* HKEY;
typedef HKEY* PHKEY;
typedef DWORD REGSAM;
#define HKEY_CLASSES_ROOT ((HKEY)(ULONG_PTR)0x80000000)
#define HKEY_CURRENT_USER ((HKEY)(ULONG_PTR)0x80000001)
#define HKEY_LOCAL_MACHINE ((HKEY)(ULONG_PTR)0x80000002)
#define HKEY_USERS ((HKEY)(ULONG_PTR)0x80000003)
#define HKEY_PERFORMANCE_DATA ((HKEY)(ULONG_PTR)0x80000004)
#define HKEY_CURRENT_CONFIG ((HKEY)(ULONG_PTR)0x80000005)

// Access rights, share modes, dispositions and attributes of files.
#define GENERIC_READ 0x80000000u
#define GENERIC_WRITE 0x40000000u
#define GENERIC_EXECUTE 0x20000000u
#define GENERIC_ALL 0x10000000u
#define FILE_SHARE_READ 0x00000001u
#define FILE_SHARE_WRITE 0x00000002u
#define FILE_SHARE_DELETE 0x00000004u
#define CREATE_NEW 1u
#define CREATE_ALWAYS 2u
#define OPEN_EXISTING 3u
#define OPEN_ALWAYS 4u
#define TRUNCATE_EXISTING 5u
#define FILE_ATTRIBUTE_READONLY 0x00000001u
#define FILE_ATTRIBUTE_HIDDEN 0x00000002u
#define FILE_ATTRIBUTE_SYSTEM 0x00000004u
#define FILE_ATTRIBUTE_DIRECTORY 0x00000010u
#define FILE_ATTRIBUTE_ARCHIVE 0x00000020u
#define FILE_ATTRIBUTE_NORMAL 0x00000080u
#define FILE_FLAG_DELETE_ON_CLOSE 0x04000000u
#define INVALID_FILE_ATTRIBUTES ((DWORD)-1)
#define FILE_BEGIN 0u
#define FILE_CURRENT 1u
#define FILE_END 2u

// Registry value types and access rights.
#define REG_NONE 0u
#define REG_SZ 1u
#define REG_EXPAND_SZ 2u
#define REG_BINARY 3u
#define REG_DWORD 4u
#define REG_MULTI_SZ 7u
#define REG_QWORD 11u
#define KEY_QUERY_VALUE 0x0001u
#define KEY_SET_VALUE 0x0002u
#define KEY_CREATE_SUB_KEY 0x0004u
#define KEY_ENUMERATE_SUB_KEYS 0x0008u
#define KEY_NOTIFY 0x0010u
#define KEY_READ 0x20019u
#define KEY_WRITE 0x20006u
#define KEY_ALL_ACCESS 0xF003Fu
#define REG_OPTION_NON_VOLATILE 0u
#define REG_CREATED_NEW_KEY 1u
#define REG_OPENED_EXISTING_KEY 2u

// Error codes reported through GetLastError and the registry functions.
#define ERROR_SUCCESS 0L
#define ERROR_FILE_NOT_FOUND 2L
#define ERROR_PATH_NOT_FOUND 3L
#define ERROR_ACCESS_DENIED 5L
#define ERROR_INVALID_HANDLE 6L
#define ERROR_NOT_ENOUGH_MEMORY 8L
#define ERROR_SHARING_VIOLATION 32L
#define ERROR_FILE_EXISTS 80L
#define ERROR_INVALID_PARAMETER 87L
#define ERROR_INSUFFICIENT_BUFFER 122L
#define ERROR_ALREADY_EXISTS 183L
#define ERROR_MORE_DATA 234L
#define ERROR_NO_MORE_ITEMS 259L
#define ERROR_NO_UNICODE_TRANSLATION 1113L

extern "C" {

// Frees a string returned by the library (the text of CXMLDict::SaveToMemFile).
COMMONUTILITY_API void SysFreeString(BSTR text);

// The registry functions that a caller needs to prepare and inspect the values that
// CCommonRegistry reads (the command-line tool uses them too). REG_SZ data are UTF-16LE bytes
// with their terminator, as on Windows, not wchar_t text.
struct _SECURITY_ATTRIBUTES;
COMMONUTILITY_API LONG RegOpenKeyExW(HKEY key, const wchar_t* subKey, DWORD options, REGSAM desiredAccess,
                                     PHKEY result);
COMMONUTILITY_API LONG RegQueryValueExW(HKEY key, const wchar_t* valueName, DWORD* reserved, DWORD* type,
                                        BYTE* data, DWORD* size);
COMMONUTILITY_API LONG RegCreateKeyExW(HKEY key, const wchar_t* subKey, DWORD reserved,
                                       wchar_t* keyClass, DWORD options, REGSAM desiredAccess,
                                       struct _SECURITY_ATTRIBUTES* securityAttributes,
                                       PHKEY result, DWORD* disposition);
COMMONUTILITY_API LONG RegSetValueExW(HKEY key, const wchar_t* valueName, DWORD reserved,
                                      DWORD type, const BYTE* data, DWORD size);
COMMONUTILITY_API LONG RegDeleteKeyW(HKEY key, const wchar_t* subKey);
COMMONUTILITY_API LONG RegDeleteValueW(HKEY key, const wchar_t* valueName);
COMMONUTILITY_API LONG RegCloseKey(HKEY key);
// Sub-keys and values one by one, by index from 0 (ERROR_NO_MORE_ITEMS after the last); sizes
// in characters, including the terminator on the way in and without it on the way out.
COMMONUTILITY_API LONG RegEnumKeyExW(HKEY key, DWORD index, wchar_t* name, DWORD* nameSize, DWORD* reserved,
                                     wchar_t* keyClass, DWORD* classSize, FILETIME* lastWriteTime);
COMMONUTILITY_API LONG RegEnumValueW(HKEY key, DWORD index, wchar_t* valueName, DWORD* valueNameSize,
                                     DWORD* reserved, DWORD* type, BYTE* data, DWORD* dataSize);

}  // extern "C"

#endif  // !_WIN32
