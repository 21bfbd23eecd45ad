// Critical sections for POSIX: each one is a recursive mutex, so that the owning thread may enter
// again and must leave as often as it entered.
#include <cstdlib>

#include <pthread.h>

#include "platform/posix/Win32Posix.h"

// Caveats: a recursive mutex without robustness or process sharing cannot fail to initialise on
// Linux; should it fail elsewhere, the process ends, as Windows raises an exception that nobody
// can recover from.
void InitializeCriticalSection(LPCRITICAL_SECTION section) {
    pthread_mutexattr_t attributes;
    int error = pthread_mutexattr_init(&attributes);
    if (error == 0) {
        error = pthread_mutexattr_settype(&attributes, PTHREAD_MUTEX_RECURSIVE);
        if (error == 0) error = pthread_mutex_init(&section->Mutex, &attributes);
        pthread_mutexattr_destroy(&attributes);
    }
    if (error != 0) std::abort();
}

void EnterCriticalSection(LPCRITICAL_SECTION section) { pthread_mutex_lock(&section->Mutex); }

// Caveats: leaving a section that the calling thread does not own does nothing (on Windows it
// corrupts the section).
void LeaveCriticalSection(LPCRITICAL_SECTION section) { pthread_mutex_unlock(&section->Mutex); }

void DeleteCriticalSection(LPCRITICAL_SECTION section) { pthread_mutex_destroy(&section->Mutex); }
