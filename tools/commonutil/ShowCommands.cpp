// commonutil plist show | region show
#include <cstdio>
#include <map>
#include <vector>

#include "Cli.h"
#include "Print.h"

namespace commonutil {
namespace {

const char kPlistHelp[] =
    "usage: commonutil plist show FILE\n"
    "\n"
    "Prints a property-list file as an indented tree: each entry's key (or [position] in an\n"
    "array), its kind and its value.\n";

const char kRegionHelp[] =
    "usage: commonutil region show FILE\n"
    "\n"
    "Prints the regions (identifier and text) and the countries and areas (code, region, name,\n"
    "video system) of a region settings file.\n";

}  // namespace

int PlistShow(const Args& args) {
    if (WantsHelp(args)) return std::fputs(kPlistHelp, stdout), kOk;
    if (args.size() != 1) return Fail(kUsage, "plist show: needs exactly one FILE; see --help");
    CXMLDict dict;
    if (!LoadDocument(dict, args[0])) return kFailed;
    PrintTree(dict, stdout);
    return kOk;
}

int RegionShow(const Args& args) {
    if (WantsHelp(args)) return std::fputs(kRegionHelp, stdout), kOk;
    if (args.size() != 1) return Fail(kUsage, "region show: needs exactly one FILE; see --help");
    const CString path(args[0].c_str());
    if (CFileOperation::IsDirAvailable(path)) return Fail(kFailed, args[0] + ": is a folder, not a file");
    if (!CFileOperation::IsFileAvailable(path)) return Fail(kFailed, args[0] + ": no such file");
    CXMLLocalSet settings;
    if (settings.LoadFromFile(path) != 1)
        return Fail(kFailed, args[0] + ": not a readable region settings file (malformed XML or no sections)");

    std::map<CString, CString>* regions = nullptr;
    std::vector<tagCountriesAndAreas_t>* countries = nullptr;
    settings.GetRegionsMap(regions);
    settings.GetCountriesAndAreasVec(countries);
    std::printf("Regions (%zu)\n", regions ? regions->size() : 0);
    if (regions != nullptr)
        for (const auto& [id, text] : *regions)
            std::printf("  %-6s %s\n", id.ToUtf8().c_str(), text.ToUtf8().c_str());
    std::printf("\nCountries and areas (%zu)\n", countries ? countries->size() : 0);
    if (countries != nullptr)
        for (const tagCountriesAndAreas_t& c : *countries)
            std::printf("  %-6s region %-4s %-24s %s\n", c.strCode.ToUtf8().c_str(), c.strRegionID.ToUtf8().c_str(),
                        c.strName.ToUtf8().c_str(), c.strVideoSystem.ToUtf8().c_str());
    return kOk;
}

}  // namespace commonutil
