// commonutil: property-list, content-information, region and other files, the log switch and the
// registry from the command line.
#include <cstdio>
#include <string>

#include "Cli.h"

#ifndef COMMONUTIL_VERSION
#define COMMONUTIL_VERSION "unknown"
#endif
#ifndef COMMONUTIL_BUILD
#define COMMONUTIL_BUILD "unknown build"
#endif

namespace {

const char kUsage[] =
    "usage: commonutil COMMAND [ARGS]\n"
    "\n"
    "  contentinfo scan FOLDER -o FILE   write a content-information file for the media in FOLDER\n"
    "  contentinfo list FILE             list the groups, contents, files and values of FILE\n"
    "  plist show [--json] FILE          print any property-list file as a tree, or as JSON\n"
    "  plist get [--json] FILE KEYPATH   print one value or subtree\n"
    "  plist set FILE KEYPATH TYPE [VALUE]  write one value, saving the file safely\n"
    "  plist delete FILE KEYPATH         remove one value or subtree\n"
    "  region show FILE                  print the regions and countries of a region settings file\n"
    "  fileinfo FILE                     print a file's size, attributes, times and version\n"
    "  log on FLAGS | off | path         switch the library's log, or print its file\n"
    "  reg get|set|delete|list ROOT\\KEY  read and write registry keys and values\n"
    "  reg import FILE | export KEY FILE  registry export files (UTF-8 out; UTF-8 or UTF-16 in)\n"
    "  help [COMMAND]                    this text, or a command's own\n"
    "  --version                         the tool's and the library's version and build\n"
    "\n"
    "FILE - is standard input or output. Every command takes --help.\n"
    "Exit status: 0 done, 1 failed, 2 wrong command line.\n";

struct Command {
    const char* group;
    const char* name;  // null for a command of one word
    int (*run)(const commonutil::Args&);
};

const Command kCommands[] = {
    {"contentinfo", "scan", commonutil::ContentInfoScan},
    {"contentinfo", "list", commonutil::ContentInfoList},
    {"plist", "show", commonutil::PlistShow},
    {"plist", "get", commonutil::PlistGet},
    {"plist", "set", commonutil::PlistSet},
    {"plist", "delete", commonutil::PlistDelete},
    {"region", "show", commonutil::RegionShow},
    {"fileinfo", nullptr, commonutil::FileInfo},
    {"log", nullptr, commonutil::Log},
    {"reg", nullptr, commonutil::Reg},
};

// help [GROUP [NAME]]: the command's own help; for a group of several commands, each one's.
int Help(const commonutil::Args& args) {
    if (args.empty()) return std::fputs(kUsage, stdout), commonutil::kOk;
    const commonutil::Args help{"--help"};
    bool found = false;
    for (const Command& command : kCommands) {
        if (args[0] != command.group) continue;
        if (args.size() > 1 && command.name != nullptr && args[1] != command.name) continue;
        if (found) std::fputs("\n", stdout);
        command.run(help);
        found = true;
    }
    if (!found)
        return commonutil::Fail(commonutil::kUsage, "help: no command '" + args[0] + (args.size() > 1 ? " " + args[1] : "") +
                                                        "'; see commonutil help");
    return commonutil::kOk;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) return std::fputs(kUsage, stderr), commonutil::kUsage;
    const std::string group = argv[1];
    if (group == "--help" || group == "-h") return std::fputs(kUsage, stdout), commonutil::kOk;
    if (group == "--version") {
        std::printf("commonutil %s\nCommonUtility library %s (%s)\n", COMMONUTIL_VERSION, COMMONUTIL_VERSION,
                    COMMONUTIL_BUILD);
        return commonutil::kOk;
    }
    if (group == "help") return Help(commonutil::Args(argv + 2, argv + argc));
    const std::string name = argc > 2 ? argv[2] : "";
    // Commands without a second word take every argument after their name.
    for (const Command& command : kCommands)
        if (command.name == nullptr && group == command.group)
            return command.run(commonutil::Args(argv + 2, argv + argc));
    if (name == "--help" || name == "-h") return Help({group});
    for (const Command& command : kCommands) {
        if (command.name != nullptr && group == command.group && name == command.name)
            return command.run(commonutil::Args(argv + 3, argv + argc));
    }
    return commonutil::Fail(commonutil::kUsage, "unknown command '" + group + (name.empty() ? "" : " " + name) +
                                                    "'; see commonutil --help");
}
