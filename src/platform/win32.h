// The one place where library code gets the Win32 functions it calls: from the system on Windows,
// from the library's own POSIX implementation elsewhere.
#pragma once

#include "commonutility/Win32Types.h"

#if defined(_WIN32)
#include <oleauto.h>
#else
#include "platform/posix/Win32Posix.h"
#endif
