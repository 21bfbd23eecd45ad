// The region settings document: the regions and the countries and areas read from their XML file.
#pragma once

#include <map>
#include <vector>

#include "commonutility/CString.h"
#include "commonutility/Export.h"

class CXMLDOMDocument2;

// One country or area entry. A field whose source the entry lacks is empty.
struct tagCountriesAndAreas_t {
    CString strCode;         // attribute "code"
    CString strRegionID;     // attribute "regionID"
    CString strName;         // text of the first child element "Name"
    CString strVideoSystem;  // text of the first child element "VideoSystem"
};

// Reads a settings file of this shape (element names other than the two sections are free):
//
//   <root>
//     <Regions><Region regionID="1">Europe</Region> ...</Regions>
//     <CountriesAndAreas>
//       <Country regionID="1" code="DE"><Name>Germany</Name><VideoSystem>PAL</VideoSystem></Country>
//       ...
//     </CountriesAndAreas>
//   </root>
//
// The root is the document's last top-level node. Section names match in any case, attribute and
// child element names exactly. Every "Regions" section adds to the map (a region identifier seen
// before keeps its first text); the last "CountriesAndAreas" section that has children supplies
// the list. The file is only read, never written.
class COMMONUTILITY_API CXMLLocalSet {
public:
    CXMLLocalSet();
    // Copies have containers of their own, holding copies of the entries and records.
    CXMLLocalSet(const CXMLLocalSet& other);
    CXMLLocalSet& operator=(const CXMLLocalSet& other);
    virtual ~CXMLLocalSet();

    // Replaces both containers' contents with those of the file: 1 when loaded. 0, contents
    // unchanged, for a path over 260 characters, a file that is missing or not well-formed, or a
    // root element without children. A file with neither section gives 1 and empty containers.
    int LoadFromFile(const CString& path);

    // Hand out the object's own containers (not copies), which later loads refill in place: the
    // receiver is left unchanged only when the container could not be made. The caller never
    // frees them and must not use them after the object is gone.
    void GetRegionsMap(std::map<CString, CString>*& regions);
    void GetCountriesAndAreasVec(std::vector<tagCountriesAndAreas_t>*& countriesAndAreas);

private:
    int GetXMLDocInstance(CXMLDOMDocument2& doc);
    int OpenXMLFile(CXMLDOMDocument2& doc, const CString& path);

    std::map<CString, CString>* m_pRegions;
    std::vector<tagCountriesAndAreas_t>* m_pCountriesAndAreas;
};
