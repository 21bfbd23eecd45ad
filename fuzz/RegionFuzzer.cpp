// The region-settings loader on file bytes, and its getters after every load.
#include <cstddef>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "FuzzSupport.h"
#include "commonutility/XMLLocalSet.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const CString& path = cu::fuzz::ScratchFile("regions.xml");
    if (!cu::fuzz::WriteFile(path, std::string(reinterpret_cast<const char*>(data), size))) return 0;
    CXMLLocalSet settings;
    const int loaded = settings.LoadFromFile(path);
    std::map<CString, CString>* regions = nullptr;
    std::vector<tagCountriesAndAreas_t>* countries = nullptr;
    settings.GetRegionsMap(regions);
    settings.GetCountriesAndAreasVec(countries);
    if (regions == nullptr || countries == nullptr) cu::fuzz::Fail("a getter gave no container");
    if (loaded == 0 && (!regions->empty() || !countries->empty()))
        cu::fuzz::Fail("a failed load filled the settings");
    std::size_t total = 0;
    for (const auto& [id, name] : *regions) total += static_cast<std::size_t>(id.GetLength() + name.GetLength());
    for (const auto& entry : *countries)
        total += static_cast<std::size_t>(entry.strCode.GetLength() + entry.strName.GetLength());
    // A copy holds the same entries, and a second load of the same file gives them again.
    CXMLLocalSet copy(settings);
    std::map<CString, CString>* copied = nullptr;
    copy.GetRegionsMap(copied);
    if (copied == nullptr || *copied != *regions) cu::fuzz::Fail("a copy lost regions");
    return total == static_cast<std::size_t>(-1);
}
