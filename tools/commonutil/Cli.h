// Shared pieces of the command-line tool: arguments, errors and file checks.
#pragma once

#include <string>
#include <vector>

#include <CommonUtility.h>

namespace commonutil {

// Exit statuses: success, a failure with the input or output, a wrong command line.
enum Status { kOk = 0, kFailed = 1, kUsage = 2 };

using Args = std::vector<std::string>;

// Prints "commonutil: MESSAGE" on stderr and gives status.
int Fail(int status, const std::string& message);

// True when args hold --help or -h.
bool WantsHelp(const Args& args);

// Loads a property-list file into dict; on failure says why on stderr (missing, a folder,
// unreadable, not a property list) and gives false.
bool LoadDocument(CXMLDict& dict, const std::string& path);

int ContentInfoScan(const Args& args);
int ContentInfoList(const Args& args);
int PlistShow(const Args& args);
int RegionShow(const Args& args);
int FileInfo(const Args& args);
int Log(const Args& args);
int Reg(const Args& args);
int RegImport(const Args& args);
int RegExport(const Args& args);

}  // namespace commonutil
