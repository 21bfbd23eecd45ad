// commonutil fileinfo | log
#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <ctime>

#include "Cli.h"
#include "Registry.h"

namespace commonutil {
namespace {

const char kFileInfoHelp[] =
    "usage: commonutil fileinfo FILE\n"
    "\n"
    "Prints a file's size, its read-only and hidden attributes, its creation and last-write times\n"
    "(local time), and the file version and \"FileVersion\" text of its version resource (\"-\"\n"
    "when it has none).\n";

const char kLogHelp[] =
    "usage: commonutil log on FLAGS | off | path\n"
    "\n"
    "  on FLAGS   sets the registry value \"LogFlag\" (REG_DWORD) under\n"
    "             HKEY_CURRENT_USER\\Software\\Tavolan Corporation\\Reelkeep\\1.0\\Uploader\n"
    "  off        removes that value (logging stays off without it)\n"
    "  path       prints the log file a program that starts today writes to\n"
    "\n"
    "FLAGS is a number (decimal or 0x hex, 32 bits) or names joined by commas, which switch\n"
    "logging on as well (log on date,time,thread is 0x0f). The bits:\n"
    "  on        0x01  write records at all\n"
    "  date      0x02  each record starts with the date\n"
    "  time      0x04  ... the time\n"
    "  thread    0x08  ... the thread's number\n"
    "  source    0x10  ... the source file\n"
    "  line      0x20  ... the line\n"
    "  function  0x40  ... the function\n"
    "The library reads the value once per process, so a change applies to programs started later.\n";

// The bits of LogFlag by name.
const struct {
    const char* name;
    DWORD bit;
} kLogBits[] = {{"on", 0x01},     {"date", 0x02}, {"time", 0x04},    {"thread", 0x08},
                {"source", 0x10}, {"line", 0x20}, {"function", 0x40}};

const wchar_t kLogKey[] = L"Software\\Tavolan Corporation\\Reelkeep\\1.0\\Uploader";

std::string Utf8(const CString& text) { return text.ToUtf8().c_str(); }

std::string TimeText(const SYSTEMTIME& t) {
    char text[32];
    std::snprintf(text, sizeof text, "%04u-%02u-%02u %02u:%02u:%02u", t.wYear, t.wMonth, t.wDay, t.wHour,
                  t.wMinute, t.wSecond);
    return text;
}

// FLAGS as a 32-bit number (decimal or 0x hex) or names joined by commas; a reason when neither.
std::string ParseFlags(const std::string& text, DWORD& flags) {
    if (!text.empty() && std::isdigit(static_cast<unsigned char>(text[0]))) {
        char* end = nullptr;
        errno = 0;
        const unsigned long long value =
            std::strtoull(text.c_str(), &end, text.rfind("0x", 0) == 0 || text.rfind("0X", 0) == 0 ? 16 : 10);
        if (*end != '\0') return "FLAGS must be a number (decimal or 0x hex) or names such as on,date,time";
        if (errno == ERANGE || value > 0xFFFFFFFFull) return "FLAGS must fit 32 bits (at most 0xffffffff)";
        flags = static_cast<DWORD>(value);
        return "";
    }
    flags = 0x01;  // names switch logging on
    for (std::size_t start = 0; start <= text.size();) {
        const std::size_t comma = std::min(text.find(',', start), text.size());
        const std::string name = text.substr(start, comma - start);
        DWORD bit = 0;
        for (const auto& known : kLogBits)
            if (name == known.name) bit = known.bit;
        if (bit == 0) return "'" + name + "' is not a flag (on, date, time, thread, source, line, function) or a number";
        flags |= bit;
        start = comma + 1;
    }
    return "";
}

}  // namespace

int FileInfo(const Args& args) {
    if (WantsHelp(args)) return std::fputs(kFileInfoHelp, stdout), kOk;
    if (args.size() != 1) return Fail(kUsage, "fileinfo: needs exactly one FILE; see --help");
    if (!CheckInput(args[0])) return kFailed;
    const CString path(args[0].c_str());
    ULONGLONG size = 0;
    SYSTEMTIME created{}, written{};
    if (!CFileOperation::GetFileSize(path, size)) return Fail(kFailed, args[0] + ": size cannot be read");
    const bool haveCreated = CFileOperation::GetFileCreateTime(path, created) != 0;
    const bool haveWritten = CFileOperation::GetFileLastWriteTime(path, written) != 0;
    std::string attributes;
    if (CFileOperation::IsReadOnly(path)) attributes += "read-only ";
    if (CFileOperation::IsHidden(path)) attributes += "hidden ";
    attributes = attributes.empty() ? "normal" : attributes.substr(0, attributes.size() - 1);
    const std::string version = Utf8(CFileOperation::GetFileVersion(path));
    const std::string text = Utf8(CFileOperation::GetFileInfo(path));
    std::printf("File:         %s\n", args[0].c_str());
    std::printf("Size:         %llu bytes\n", static_cast<unsigned long long>(size));
    std::printf("Attributes:   %s\n", attributes.c_str());
    std::printf("Created:      %s\n", haveCreated ? TimeText(created).c_str() : "unknown (cannot be opened)");
    std::printf("Last written: %s\n", haveWritten ? TimeText(written).c_str() : "unknown (cannot be opened)");
    std::printf("File version: %s\n", version.empty() ? "-" : version.c_str());
    std::printf("FileVersion:  %s\n", text.empty() ? "-" : text.c_str());
    return kOk;
}

int Log(const Args& args) {
    if (WantsHelp(args)) return std::fputs(kLogHelp, stdout), kOk;
    const std::string verb = args.empty() ? "" : args[0];
    if (verb == "path" && args.size() == 1) {
        const CString folder = CFileOperation::GetTempDir();
        if (folder.IsEmpty()) return Fail(kFailed, "log path: the temporary folder is unknown");
        const std::time_t now = std::time(nullptr);
        const std::tm* today = std::localtime(&now);  // one thread: the shared result is safe
        char name[64];
        std::strftime(name, sizeof name, "ReelkeepUploaderLog(%Y-%m-%d).txt", today);
        std::printf("%s%s\n", Utf8(folder).c_str(), name);
        return kOk;
    }
    if (verb == "on" && args.size() == 2) {
        DWORD flags = 0;
        const std::string wrong = ParseFlags(args[1], flags);
        if (!wrong.empty()) return Fail(kUsage, "log on: " + wrong);
        RegKey key;
        LONG error = RegCreateKeyExW(HKEY_CURRENT_USER, kLogKey, 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_WRITE,
                                     nullptr, key.Put(), nullptr);
        if (error == ERROR_SUCCESS)
            error = RegSetValueExW(key.Get(), L"LogFlag", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&flags),
                                   sizeof flags);
        if (error != ERROR_SUCCESS)
            return Fail(kFailed, "log on: the registry cannot be written: " + RegErrorText(error));
        std::printf("LogFlag = 0x%08lx\n", static_cast<unsigned long>(flags));
        return kOk;
    }
    if (verb == "off" && args.size() == 1) {
        RegKey key;
        LONG error = RegOpenKeyExW(HKEY_CURRENT_USER, kLogKey, 0, KEY_SET_VALUE, key.Put());
        if (error == ERROR_SUCCESS) error = RegDeleteValueW(key.Get(), L"LogFlag");
        // No key or no value: logging is off already.
        if (error != ERROR_SUCCESS && error != ERROR_FILE_NOT_FOUND)
            return Fail(kFailed, "log off: the registry cannot be written: " + RegErrorText(error));
        std::puts("LogFlag removed");
        return kOk;
    }
    return Fail(kUsage, "log: expects 'on FLAGS', 'off' or 'path'; see --help");
}

}  // namespace commonutil
