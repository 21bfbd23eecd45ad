// CCommonRegistry: single 32-bit numbers and strings in the registry, and a numbered,
// duplicate-free list of strings.
#pragma once

#include "commonutility/CString.h"
#include "commonutility/Export.h"
#include "commonutility/Win32Types.h"

// Every operation opens its key (never creating it), does one thing and closes the key again;
// the results are 1 for success and 0 for any failure, and out-arguments change only on success.
//
// Strings are stored as REG_SZ: UTF-16LE code units with one zero unit at the end, at most 1024
// bytes (511 units of text) for reading and writing alike. On POSIX the registry is the library's
// own store; see the README.
class COMMONUTILITY_API CCommonRegistry {
public:
    // The value's first 4 bytes as a little-endian 32-bit number, whatever its type. 0 when the
    // key or value is missing or holds more than 4 bytes. Shorter data give the number's low
    // bytes, the others being 0.
    static int GetInt32(HKEY root, wchar_t* subKey, wchar_t* valueName, long& value);
    // The value read as UTF-16 up to its first zero unit, whatever its type. 0 when the key or
    // value is missing or holds more than 1024 bytes.
    static int GetString(HKEY root, wchar_t* subKey, wchar_t* valueName, CString& value);
    // Sets the value as REG_DWORD; 0 when the key does not exist or cannot be written.
    static int AddInt32(HKEY root, wchar_t* subKey, wchar_t* valueName, int value);
    // Sets the value as REG_SZ, leaving out zero code units; 0 when the key does not exist or
    // cannot be written, and for a text of more than 511 code units (zero units aside), which
    // is refused rather than cut.
    static int AddString(HKEY root, wchar_t* subKey, wchar_t* valueName, const CString& value);
    // Adds text to the list under HKEY_CURRENT_USER whose key is keyHead, the machine-wide string
    // (machineValueName under HKEY_LOCAL_MACHINE\machineKey) and keyTail, joined as paths. The
    // list is the values <namePrefix>Count (REG_DWORD) and <namePrefix>0 to <namePrefix>Count-1.
    // 1 when the text is there already (compared case-sensitively) or has been added, and when
    // the count is 0 or less (nothing is written); 0 when the machine-wide string or the count
    // cannot be read, or a write fails. unused plays no part.
    static int AddInitToolValue(wchar_t* machineKey, wchar_t* machineValueName, wchar_t* keyHead,
                                wchar_t* unused, wchar_t* keyTail, wchar_t* namePrefix,
                                const CString& text);
};
