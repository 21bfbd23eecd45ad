// commonutil: property-list, content-information, region and other files, the log switch and the
// registry from the command line.
#include <cstdio>
#include <cstring>
#include <fstream>
#include <string>

#include "Cli.h"

namespace commonutil {

int Fail(int status, const std::string& message) {
    std::fprintf(stderr, "commonutil: %s\n", message.c_str());
    return status;
}

bool WantsHelp(const Args& args) {
    for (const std::string& arg : args)
        if (arg == "--help" || arg == "-h") return true;
    return false;
}

bool LoadDocument(CXMLDict& dict, const std::string& path) {
    const CString wide(path.c_str());
    if (CFileOperation::IsDirAvailable(wide)) return Fail(kFailed, path + ": is a folder, not a file"), false;
    if (!CFileOperation::IsFileAvailable(wide)) return Fail(kFailed, path + ": no such file"), false;
    if (dict.LoadFromFile(wide) == 1) return true;
    if (!std::ifstream(path, std::ios::binary)) return Fail(kFailed, path + ": cannot be opened (permission denied?)"), false;
    return Fail(kFailed, path + ": not a readable property-list file (malformed XML or empty)"), false;
}

}  // namespace commonutil

namespace {

const char kUsage[] =
    "usage: commonutil COMMAND [ARGS]\n"
    "\n"
    "  contentinfo scan FOLDER -o FILE   write a content-information file for the media in FOLDER\n"
    "  contentinfo list FILE             list the groups, contents, files and values of FILE\n"
    "  plist show FILE                   print any property-list file as an indented tree\n"
    "  region show FILE                  print the regions and countries of a region settings file\n"
    "  fileinfo FILE                     print a file's size, attributes, times and version\n"
    "  log on FLAGS | off | path         switch the library's log, or print its file\n"
    "  reg get|set|delete|list ROOT\\KEY  read and write registry keys and values\n"
    "  reg import FILE | export KEY FILE  registry export files (UTF-8 out; UTF-8 or UTF-16 in)\n"
    "\n"
    "Every command takes --help. Exit status: 0 done, 1 failed, 2 wrong command line.\n";

struct Command {
    const char* group;
    const char* name;  // null for a command of one word
    int (*run)(const commonutil::Args&);
};

const Command kCommands[] = {
    {"contentinfo", "scan", commonutil::ContentInfoScan},
    {"contentinfo", "list", commonutil::ContentInfoList},
    {"plist", "show", commonutil::PlistShow},
    {"region", "show", commonutil::RegionShow},
    {"fileinfo", nullptr, commonutil::FileInfo},
    {"log", nullptr, commonutil::Log},
    {"reg", nullptr, commonutil::Reg},
};

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2 || std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0) {
        std::fputs(kUsage, argc < 2 ? stderr : stdout);
        return argc < 2 ? commonutil::kUsage : commonutil::kOk;
    }
    const std::string group = argv[1];
    const std::string name = argc > 2 ? argv[2] : "";
    // Commands without a second word take every argument after their name.
    for (const Command& command : kCommands)
        if (command.name == nullptr && group == command.group)
            return command.run(commonutil::Args(argv + 2, argv + argc));
    if (name == "--help" || name == "-h") {
        std::fputs(kUsage, stdout);
        return commonutil::kOk;
    }
    for (const Command& command : kCommands) {
        if (command.name != nullptr && group == command.group && name == command.name)
            return command.run(commonutil::Args(argv + 3, argv + argc));
    }
    return commonutil::Fail(commonutil::kUsage, "unknown command '" + group + (name.empty() ? "" : " " + name) +
                                                    "'; see commonutil --help");
}
