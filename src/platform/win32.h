// The one place where library code gets the Win32 functions it calls: from the system on Windows,
// from the library's own POSIX implementation elsewhere.
#pragma once

#include "commonutility/Win32Types.h"

#if defined(_WIN32)
// The library is built with WIN32_LEAN_AND_MEAN, so the sockets 2 headers come here (getaddrinfo
// is in ws2tcpip.h). A file that has included windows.h in full has the sockets 1.1 header
// already, which does not go together with them; it gets the 1.1 calls only.
#if !defined(_WINSOCKAPI_)
#include <winsock2.h>
#include <ws2tcpip.h>
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
