// The entry point of the Windows DLL. The library keeps nothing per thread that the loader would
// have to set up or tear down, so it asks for no thread attach and detach notifications.
//
// Caveats: the loader refuses the request for a DLL with static thread-local storage, and the
// mingw-w64 runtime gives every DLL it links a TLS directory, whose callbacks free each thread's
// runtime data at thread exit. Built with it, the notifications go on, as that runtime needs them;
// the refusal is not an error of the load.
#include <windows.h>

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
    if (reason == DLL_PROCESS_ATTACH) DisableThreadLibraryCalls(instance);
    return TRUE;
}
