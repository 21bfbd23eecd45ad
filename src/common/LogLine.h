// The one place through which the library's own code writes a line to the process log.
#pragma once

namespace cu::detail {

// The source file that the library's own log lines name.
constexpr const char kLogSourceFile[] = ".\\CommonUtility";

// Writes one line to the process log (CLogger): the source file, the line of the call, the qualified
// function name, and a narrow printf-style format with its arguments.
void LogLine(const char* file, int line, const char* function, const char* format, ...);

// Where lines go besides the log: the tests watch them here. Returns the previous sink; null for
// none. Not synchronised: set it while no other thread writes lines.
using LogLineSink = void (*)(const char* file, int line, const char* function, const char* text);
LogLineSink SetLogLineSink(LogLineSink sink);

}  // namespace cu::detail
