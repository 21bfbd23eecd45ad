// A seam for the logger's tests: ends the process's instance, so that the next Instance() reads
// the flags and opens the file anew.
#pragma once

#include "commonutility/Logger.h"

namespace cu::detail {

struct LoggerAccess {
    static void Destroy() { CLogger::Destroy(); }
};

}  // namespace cu::detail
