// The one place where library code gets the Win32 functions it calls: from the system on Windows,
// from the library's own POSIX implementation elsewhere.
#pragma once

#include "commonutility/Win32Types.h"

#if defined(_WIN32)
// Without WIN32_LEAN_AND_MEAN, windows.h has brought the sockets 1.1 header already, which declares
// the calls used here; the two headers do not go together.
#if !defined(_WINSOCKAPI_)
#include <winsock2.h>
#endif
#include <oleauto.h>
#include <shlwapi.h>
#include <stdlib.h>
#include <wchar.h>
#else
#include "platform/posix/Win32Posix.h"
#endif

namespace cu::platform {

// The character that separates path components and ends a folder path. The POSIX layer has no
// drives and treats '\' as an ordinary character.
#if defined(_WIN32)
constexpr wchar_t kPathDelimiter = L'\\';
#else
constexpr wchar_t kPathDelimiter = L'/';
#endif

}  // namespace cu::platform
