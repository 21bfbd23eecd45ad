// What a program's own compatibility header often holds: the usual Win32 names, as macros.
#pragma once

#define TRUE 1
#define FALSE 0
#define BOOL int
#define DWORD unsigned int
#define HANDLE void*
#define MAX_PATH 4096
#define SUCCEEDED(hr) ((hr) >= 0)
#define __int64 long long
