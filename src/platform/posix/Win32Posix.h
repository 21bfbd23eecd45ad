// The Win32 subset that the library calls, implemented for POSIX with Windows semantics.
//
// Everything here is internal to the library (hidden visibility) except what Win32Types.h
// exports. Errors are reported as Windows does: through the result and GetLastError.
#pragma once

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

// OLE Automation dates.
INT SystemTimeToVariantTime(LPSYSTEMTIME fields, DATE* dayCount);
INT VariantTimeToSystemTime(DATE dayCount, LPSYSTEMTIME fields);
HRESULT VarUdateFromDate(DATE dayCount, ULONG flags, UDATE* fields);

}  // extern "C"

// The C runtime's 64-bit time functions.
__time64_t _time64(__time64_t* out);
errno_t _localtime64_s(struct tm* out, const __time64_t* time);
