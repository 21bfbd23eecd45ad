// Failed calls of the Win32 kind and the last error they leave.
#pragma once

#include <gtest/gtest.h>

#include "platform/win32.h"

// Expects call to fail (to give 0, FALSE or null) and to leave error as the last error. The last
// error is cleared before the call, so a call that sets none cannot pass on an earlier one.
#define EXPECT_FAILS_WITH(call, error)                            \
    do {                                                          \
        SetLastError(0);                                          \
        const bool failed = !(call);                              \
        const DWORD lastError = GetLastError();                   \
        EXPECT_TRUE(failed) << #call;                             \
        EXPECT_EQ(lastError, static_cast<DWORD>(error)) << #call; \
    } while (0)
