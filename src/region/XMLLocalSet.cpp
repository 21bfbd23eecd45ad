// CXMLLocalSet: the region map and the country and area list, read through the XML DOM wrappers.
#include <new>
#include <utility>

#include "commonutility/XMLLocalSet.h"
#include "plist/dom/Dom.h"
#include "platform/win32.h"

namespace {

using RegionMap = std::map<CString, CString>;
using CountryVec = std::vector<tagCountriesAndAreas_t>;

// The text of an attribute, or "" when the element has none of that name.
CString AttributeText(const CXMLDOMNode& element, const wchar_t* name) {
    return element.GetAttributes().GetNamedItem(name).GetText();
}

// Adds each child element that has a region identifier; an identifier already present keeps
// its text.
void ReadRegions(const CXMLDOMNodeList& entries, RegionMap& regions) {
    const long count = entries.GetLength();
    for (long i = 0; i < count; ++i) {
        const CXMLDOMNode entry = entries.GetItem(i);
        if (!entry.IsElement()) continue;
        const CXMLDOMNode id = entry.GetAttributes().GetNamedItem(L"regionID");
        if (id.IsNull()) continue;
        regions.emplace(id.GetText(), entry.GetText());
    }
}

// Replaces the list with one record per child element, in document order.
void ReadCountries(const CXMLDOMNodeList& entries, CountryVec& countries) {
    countries.clear();
    const long count = entries.GetLength();
    for (long i = 0; i < count; ++i) {
        const CXMLDOMNode entry = entries.GetItem(i);
        if (!entry.IsElement()) continue;
        tagCountriesAndAreas_t record;
        record.strRegionID = AttributeText(entry, L"regionID");
        record.strCode = AttributeText(entry, L"code");
        record.strName = entry.SelectSingleNode(L"Name").GetText();
        record.strVideoSystem = entry.SelectSingleNode(L"VideoSystem").GetText();
        countries.push_back(std::move(record));
    }
}

}  // namespace

CXMLLocalSet::CXMLLocalSet()
    : m_pRegions(new (std::nothrow) RegionMap), m_pCountriesAndAreas(new (std::nothrow) CountryVec) {}

CXMLLocalSet::CXMLLocalSet(const CXMLLocalSet& other) : CXMLLocalSet() {
    // The delegated constructor has finished, so the destructor frees both containers should a
    // copy run out of memory.
    if (m_pRegions != nullptr && other.m_pRegions != nullptr) *m_pRegions = *other.m_pRegions;
    if (m_pCountriesAndAreas != nullptr && other.m_pCountriesAndAreas != nullptr)
        *m_pCountriesAndAreas = *other.m_pCountriesAndAreas;
}

// The containers stay the same objects, so pointers the getters handed out stay valid. Both
// copies are complete before either container changes.
CXMLLocalSet& CXMLLocalSet::operator=(const CXMLLocalSet& other) {
    if (this == &other) return *this;
    RegionMap regions = other.m_pRegions != nullptr ? *other.m_pRegions : RegionMap();
    CountryVec countries = other.m_pCountriesAndAreas != nullptr ? *other.m_pCountriesAndAreas : CountryVec();
    if (m_pRegions != nullptr) m_pRegions->swap(regions);
    if (m_pCountriesAndAreas != nullptr) m_pCountriesAndAreas->swap(countries);
    return *this;
}

CXMLLocalSet::~CXMLLocalSet() {
    delete m_pRegions;
    delete m_pCountriesAndAreas;
}

int CXMLLocalSet::GetXMLDocInstance(CXMLDOMDocument2& doc) { return cu::detail::GetXMLDocInstance(doc); }

int CXMLLocalSet::OpenXMLFile(CXMLDOMDocument2& doc, const CString& path) {
    return cu::detail::OpenXMLFile(doc, path);
}

// Every check comes before the containers are emptied, so a load that fails changes nothing.
int CXMLLocalSet::LoadFromFile(const CString& path) {
    if (path.GetUtf16Length() > MAX_PATH) return 0;
    CoInitialize(nullptr);
    CXMLDOMDocument2 doc;
    if (GetXMLDocInstance(doc) == 0 || OpenXMLFile(doc, path) == 0) return 0;

    const CXMLDOMNodeList topLevel = doc.GetChildNodes();
    const long topCount = topLevel.GetLength();
    if (topCount == 0) return 0;
    // A comment or processing instruction after the root element stands in its place here and
    // has no children, so such a file fails.
    const CXMLDOMNode root = topLevel.GetItem(topCount - 1);
    if (root.IsNull()) return 0;
    const CXMLDOMNodeList sections = root.GetChildNodes();
    const long sectionCount = sections.GetLength();
    if (sectionCount == 0 || m_pRegions == nullptr || m_pCountriesAndAreas == nullptr) return 0;

    m_pRegions->clear();
    m_pCountriesAndAreas->clear();
    for (long i = 0; i < sectionCount; ++i) {
        const CXMLDOMNode section = sections.GetItem(i);
        if (section.IsNull()) continue;
        const CString name = section.GetNodeName();
        const bool regions = name.CompareNoCase(L"Regions") == 0;
        if (!regions && name.CompareNoCase(L"CountriesAndAreas") != 0) continue;
        // A section without children changes nothing: an empty list section keeps the records
        // of an earlier one.
        const CXMLDOMNodeList entries = section.GetChildNodes();
        if (entries.GetLength() == 0) continue;
        if (regions)
            ReadRegions(entries, *m_pRegions);
        else
            ReadCountries(entries, *m_pCountriesAndAreas);
    }
    return 1;
}

void CXMLLocalSet::GetRegionsMap(std::map<CString, CString>*& regions) {
    if (m_pRegions != nullptr) regions = m_pRegions;
}

void CXMLLocalSet::GetCountriesAndAreasVec(std::vector<tagCountriesAndAreas_t>*& countriesAndAreas) {
    if (m_pCountriesAndAreas != nullptr) countriesAndAreas = m_pCountriesAndAreas;
}
