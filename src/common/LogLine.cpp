// The library's own log lines. The process log is not part of this build yet, so a line goes only
// to the sink that a test may have set; once the log exists, LogLine hands its arguments to the
// log instance here, and every caller stays as it is.
#include "common/LogLine.h"

#include <cstdarg>
#include <cstdio>

namespace cu::detail {

namespace {

LogLineSink g_sink = nullptr;

}  // namespace

void LogLine(const char* file, int line, const char* function, const char* format, ...) {
    if (g_sink == nullptr) return;
    char text[1024];
    va_list args;
    va_start(args, format);
    std::vsnprintf(text, sizeof text, format, args);
    va_end(args);
    g_sink(file, line, function, text);
}

LogLineSink SetLogLineSink(LogLineSink sink) {
    const LogLineSink previous = g_sink;
    g_sink = sink;
    return previous;
}

}  // namespace cu::detail
