// The library's own log lines: to the process log, and to the sink that a test may have set.
#include "common/LogLine.h"

#include <cstdarg>
#include <cstdio>

#include "commonutility/Logger.h"

namespace cu::detail {

namespace {

LogLineSink g_sink = nullptr;

}  // namespace

void LogLine(const char* file, int line, const char* function, const char* format, ...) {
    char text[1024];
    va_list args;
    va_start(args, format);
    std::vsnprintf(text, sizeof text, format, args);
    va_end(args);
    if (g_sink != nullptr) g_sink(file, line, function, text);
    CLogger::Instance().WriteLog(file, line, function, "%s", text);
}

LogLineSink SetLogLineSink(LogLineSink sink) {
    const LogLineSink previous = g_sink;
    g_sink = sink;
    return previous;
}

}  // namespace cu::detail
