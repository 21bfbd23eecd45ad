// The Win32 types, constants and the few functions that the library's interface uses.
//
// On Windows they come from the system headers. Elsewhere this header declares the same names
// with the same sizes, so that callers write the same code on every platform. A program that
// defines some of these names itself, before or after this header, still compiles: types are
// typedefs (a repeated typedef of the same type is allowed), and every macro, and every type
// that a program may have made a macro, is defined only when the name is still free. The sizes
// the interface depends on are checked.
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

// A typedef, so 'unsigned __int64' is not valid here: the interface writes ULONGLONG for it.
// Where __int64 is a macro already (Windows compilers' style), that one stays.
#ifndef __int64
typedef long long __int64;
#endif

#ifndef BOOL
typedef int BOOL;
#endif
#ifndef INT
typedef int INT;
#endif
#ifndef BYTE
typedef unsigned char BYTE;
#endif
#ifndef WORD
typedef std::uint16_t WORD;
#endif
#ifndef DWORD
typedef std::uint32_t DWORD;
#endif
#ifndef LONG
typedef std::int32_t LONG;
#endif
#ifndef ULONG
typedef std::uint32_t ULONG;
#endif
#ifndef UINT
typedef unsigned int UINT;
#endif
#ifndef USHORT
typedef unsigned short USHORT;
#endif
#ifndef HRESULT
typedef std::int32_t HRESULT;
#endif
#ifndef WCHAR
typedef wchar_t WCHAR;
#endif
#ifndef OLECHAR
typedef wchar_t OLECHAR;
#endif
#ifndef BSTR
typedef OLECHAR* BSTR;
#endif
#ifndef DATE
typedef double DATE;
#endif
#ifndef VARIANT_BOOL
typedef short VARIANT_BOOL;
#endif
#ifndef HANDLE
typedef void* HANDLE;
#endif
#ifndef HMODULE
typedef void* HMODULE;
#endif
#ifndef LONGLONG
typedef long long LONGLONG;
#endif
#ifndef ULONGLONG
typedef unsigned long long ULONGLONG;
#endif
#ifndef ULONG_PTR
typedef std::uintptr_t ULONG_PTR;
#endif

#ifndef TRUE
#define TRUE 1
#endif
#ifndef FALSE
#define FALSE 0
#endif

#ifndef MAX_PATH
#define MAX_PATH 260
#endif
#ifndef VARIANT_TRUE
#define VARIANT_TRUE ((VARIANT_BOOL)-1)
#endif
#ifndef VARIANT_FALSE
#define VARIANT_FALSE ((VARIANT_BOOL)0)
#endif
#ifndef INVALID_HANDLE_VALUE
#define INVALID_HANDLE_VALUE ((HANDLE)(std::intptr_t)-1)
#endif

#ifndef S_OK
#define S_OK ((HRESULT)0)
#endif
#ifndef S_FALSE
#define S_FALSE ((HRESULT)1)
#endif
#ifndef E_INVALIDARG
#define E_INVALIDARG ((HRESULT)0x80070057L)
#endif
#ifndef E_OUTOFMEMORY
#define E_OUTOFMEMORY ((HRESULT)0x8007000EL)
#endif
#ifndef E_ACCESSDENIED
#define E_ACCESSDENIED ((HRESULT)0x80070005L)
#endif
#ifndef SUCCEEDED
#define SUCCEEDED(hr) (((HRESULT)(hr)) >= 0)
#endif
#ifndef FAILED
#define FAILED(hr) (((HRESULT)(hr)) < 0)
#endif

// Code pages of the text conversions. The ANSI code page is UTF-8 here.
#ifndef CP_ACP
#define CP_ACP 0
#endif
#ifndef CP_OEMCP
#define CP_OEMCP 1
#endif
#ifndef CP_THREAD_ACP
#define CP_THREAD_ACP 3
#endif
#ifndef CP_UTF8
#define CP_UTF8 65001
#endif

// The sizes the interface's layouts and signatures depend on, also when a program defined the
// names first.
static_assert(sizeof(BOOL) == 4 && sizeof(BYTE) == 1 && sizeof(WORD) == 2 && sizeof(DWORD) == 4 &&
                  sizeof(LONG) == 4 && sizeof(ULONG) == 4 && sizeof(UINT) == 4 && sizeof(HRESULT) == 4,
              "CommonUtility: a program's own BOOL, BYTE, WORD, DWORD, LONG, ULONG, UINT or HRESULT has "
              "another size than the library's interface");
static_assert(sizeof(__int64) == 8 && sizeof(LONGLONG) == 8 && sizeof(ULONGLONG) == 8 &&
                  sizeof(HANDLE) == sizeof(void*) && sizeof(DATE) == 8,
              "CommonUtility: a program's own 64-bit, HANDLE or DATE type has another size than the "
              "library's interface");

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
#ifndef LPCRECT
typedef const RECT* LPCRECT;
#endif

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
#ifndef HKEY
typedef HKEY__* HKEY;
#endif
#ifndef PHKEY
typedef HKEY* PHKEY;
#endif
#ifndef REGSAM
typedef DWORD REGSAM;
#endif
#ifndef HKEY_CLASSES_ROOT
#define HKEY_CLASSES_ROOT ((HKEY)(ULONG_PTR)0x80000000)
#endif
#ifndef HKEY_CURRENT_USER
#define HKEY_CURRENT_USER ((HKEY)(ULONG_PTR)0x80000001)
#endif
#ifndef HKEY_LOCAL_MACHINE
#define HKEY_LOCAL_MACHINE ((HKEY)(ULONG_PTR)0x80000002)
#endif
#ifndef HKEY_USERS
#define HKEY_USERS ((HKEY)(ULONG_PTR)0x80000003)
#endif
#ifndef HKEY_PERFORMANCE_DATA
#define HKEY_PERFORMANCE_DATA ((HKEY)(ULONG_PTR)0x80000004)
#endif
#ifndef HKEY_CURRENT_CONFIG
#define HKEY_CURRENT_CONFIG ((HKEY)(ULONG_PTR)0x80000005)
#endif

// Access rights, share modes, dispositions and attributes of files.
#ifndef GENERIC_READ
#define GENERIC_READ 0x80000000u
#endif
#ifndef GENERIC_WRITE
#define GENERIC_WRITE 0x40000000u
#endif
#ifndef GENERIC_EXECUTE
#define GENERIC_EXECUTE 0x20000000u
#endif
#ifndef GENERIC_ALL
#define GENERIC_ALL 0x10000000u
#endif
#ifndef FILE_SHARE_READ
#define FILE_SHARE_READ 0x00000001u
#endif
#ifndef FILE_SHARE_WRITE
#define FILE_SHARE_WRITE 0x00000002u
#endif
#ifndef FILE_SHARE_DELETE
#define FILE_SHARE_DELETE 0x00000004u
#endif
#ifndef CREATE_NEW
#define CREATE_NEW 1u
#endif
#ifndef CREATE_ALWAYS
#define CREATE_ALWAYS 2u
#endif
#ifndef OPEN_EXISTING
#define OPEN_EXISTING 3u
#endif
#ifndef OPEN_ALWAYS
#define OPEN_ALWAYS 4u
#endif
#ifndef TRUNCATE_EXISTING
#define TRUNCATE_EXISTING 5u
#endif
#ifndef FILE_ATTRIBUTE_READONLY
#define FILE_ATTRIBUTE_READONLY 0x00000001u
#endif
#ifndef FILE_ATTRIBUTE_HIDDEN
#define FILE_ATTRIBUTE_HIDDEN 0x00000002u
#endif
#ifndef FILE_ATTRIBUTE_SYSTEM
#define FILE_ATTRIBUTE_SYSTEM 0x00000004u
#endif
#ifndef FILE_ATTRIBUTE_DIRECTORY
#define FILE_ATTRIBUTE_DIRECTORY 0x00000010u
#endif
#ifndef FILE_ATTRIBUTE_ARCHIVE
#define FILE_ATTRIBUTE_ARCHIVE 0x00000020u
#endif
#ifndef FILE_ATTRIBUTE_NORMAL
#define FILE_ATTRIBUTE_NORMAL 0x00000080u
#endif
#ifndef FILE_FLAG_DELETE_ON_CLOSE
#define FILE_FLAG_DELETE_ON_CLOSE 0x04000000u
#endif
#ifndef INVALID_FILE_ATTRIBUTES
#define INVALID_FILE_ATTRIBUTES ((DWORD)-1)
#endif
#ifndef FILE_BEGIN
#define FILE_BEGIN 0u
#endif
#ifndef FILE_CURRENT
#define FILE_CURRENT 1u
#endif
#ifndef FILE_END
#define FILE_END 2u
#endif

// Registry value types and access rights.
#ifndef REG_NONE
#define REG_NONE 0u
#endif
#ifndef REG_SZ
#define REG_SZ 1u
#endif
#ifndef REG_EXPAND_SZ
#define REG_EXPAND_SZ 2u
#endif
#ifndef REG_BINARY
#define REG_BINARY 3u
#endif
#ifndef REG_DWORD
#define REG_DWORD 4u
#endif
#ifndef REG_MULTI_SZ
#define REG_MULTI_SZ 7u
#endif
#ifndef REG_QWORD
#define REG_QWORD 11u
#endif
#ifndef KEY_QUERY_VALUE
#define KEY_QUERY_VALUE 0x0001u
#endif
#ifndef KEY_SET_VALUE
#define KEY_SET_VALUE 0x0002u
#endif
#ifndef KEY_CREATE_SUB_KEY
#define KEY_CREATE_SUB_KEY 0x0004u
#endif
#ifndef KEY_ENUMERATE_SUB_KEYS
#define KEY_ENUMERATE_SUB_KEYS 0x0008u
#endif
#ifndef KEY_NOTIFY
#define KEY_NOTIFY 0x0010u
#endif
#ifndef KEY_READ
#define KEY_READ 0x20019u
#endif
#ifndef KEY_WRITE
#define KEY_WRITE 0x20006u
#endif
#ifndef KEY_ALL_ACCESS
#define KEY_ALL_ACCESS 0xF003Fu
#endif
#ifndef REG_OPTION_NON_VOLATILE
#define REG_OPTION_NON_VOLATILE 0u
#endif
#ifndef REG_CREATED_NEW_KEY
#define REG_CREATED_NEW_KEY 1u
#endif
#ifndef REG_OPENED_EXISTING_KEY
#define REG_OPENED_EXISTING_KEY 2u
#endif

// Error codes reported through GetLastError and the registry functions.
#ifndef ERROR_SUCCESS
#define ERROR_SUCCESS 0L
#endif
#ifndef ERROR_FILE_NOT_FOUND
#define ERROR_FILE_NOT_FOUND 2L
#endif
#ifndef ERROR_PATH_NOT_FOUND
#define ERROR_PATH_NOT_FOUND 3L
#endif
#ifndef ERROR_ACCESS_DENIED
#define ERROR_ACCESS_DENIED 5L
#endif
#ifndef ERROR_INVALID_HANDLE
#define ERROR_INVALID_HANDLE 6L
#endif
#ifndef ERROR_NOT_ENOUGH_MEMORY
#define ERROR_NOT_ENOUGH_MEMORY 8L
#endif
#ifndef ERROR_SHARING_VIOLATION
#define ERROR_SHARING_VIOLATION 32L
#endif
#ifndef ERROR_FILE_EXISTS
#define ERROR_FILE_EXISTS 80L
#endif
#ifndef ERROR_INVALID_PARAMETER
#define ERROR_INVALID_PARAMETER 87L
#endif
#ifndef ERROR_INSUFFICIENT_BUFFER
#define ERROR_INSUFFICIENT_BUFFER 122L
#endif
#ifndef ERROR_ALREADY_EXISTS
#define ERROR_ALREADY_EXISTS 183L
#endif
#ifndef ERROR_MORE_DATA
#define ERROR_MORE_DATA 234L
#endif
#ifndef ERROR_NO_MORE_ITEMS
#define ERROR_NO_MORE_ITEMS 259L
#endif
#ifndef ERROR_NO_UNICODE_TRANSLATION
#define ERROR_NO_UNICODE_TRANSLATION 1113L
#endif

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
