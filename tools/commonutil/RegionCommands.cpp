// commonutil region show
#include <cstdio>
#include <map>
#include <vector>

#include "Cli.h"
#include "Print.h"

namespace commonutil {
namespace {

const char kRegionHelp[] =
    "usage: commonutil region show FILE\n"
    "\n"
    "Prints the regions (identifier and text) and the countries and areas (code, region, name,\n"
    "video system) of a region settings file (- for standard input). A file without a Regions or a\n"
    "CountriesAndAreas section with entries is refused.\n";

}  // namespace

int RegionShow(const Args& args) {
    if (WantsHelp(args)) return std::fputs(kRegionHelp, stdout), kOk;
    if (args.size() != 1) return Fail(kUsage, "region show: needs exactly one FILE; see --help");
    InputFile input;
    if (!input.Open(args[0])) return kFailed;
    const std::string name = args[0] == "-" ? "standard input" : args[0];
    CXMLLocalSet settings;
    if (settings.LoadFromFile(input.path()) != 1)
        return Fail(kFailed, name + ": not a readable region settings file (malformed XML or no sections)");

    std::map<CString, CString>* regions = nullptr;
    std::vector<tagCountriesAndAreas_t>* countries = nullptr;
    settings.GetRegionsMap(regions);
    settings.GetCountriesAndAreasVec(countries);
    // A property list or any other XML loads too; without entries in either section it is not one.
    if ((regions == nullptr || regions->empty()) && (countries == nullptr || countries->empty()))
        return Fail(kFailed, name + ": not a region settings file (no Regions or CountriesAndAreas entries)");
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
