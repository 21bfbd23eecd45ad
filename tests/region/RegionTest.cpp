// The region settings document: reading its file, refused loads, the handed-out containers, copies.
#include <gtest/gtest.h>

#include <string>

#include "commonutility/XMLLocalSet.h"
#include "support/TempDir.h"

namespace {

// The contents in one line: "id=text,...|code/regionID/name/videoSystem,...".
std::string Dump(CXMLLocalSet& set) {
    std::map<CString, CString>* regions = nullptr;
    std::vector<tagCountriesAndAreas_t>* countries = nullptr;
    set.GetRegionsMap(regions);
    set.GetCountriesAndAreasVec(countries);
    CString out;
    for (const auto& [id, text] : *regions) out += id + L"=" + text + L",";
    out += L"|";
    for (const auto& c : *countries)
        out += c.strCode + L"/" + c.strRegionID + L"/" + c.strName + L"/" + c.strVideoSystem + L",";
    return out.ToUtf8();
}

int Load(CXMLLocalSet& set, const CString& path, const std::string& xml) {
    cu::test::WriteBytes(path, xml);
    return set.LoadFromFile(path);
}

const char kOld[] = R"(<r><Regions><R regionID="0">old</R></Regions>)"
                    R"(<CountriesAndAreas><C code="XX"/></CountriesAndAreas></r>)";
const char kOldDump[] = "0=old,|XX///,";

TEST(RegionSettings, ReadsFilesAndKeepsContentsWhenRefused) {
    const struct { const char* xml; int result; const char* contents; } cases[] = {
        {R"(<root><regions><R regionID="1">Europe</R></regions><COUNTRIESANDAREAS><C regionID="1" code="DE">)"
         R"(<x/><Name>Germany</Name><Name>2nd</Name><VideoSystem>PAL</VideoSystem></C></COUNTRIESANDAREAS>)"
         R"(</root>)",
         1, "1=Europe,|DE/1/Germany/PAL,"},
        {R"(<root><Regions><R regionid="1">a</R></Regions><CountriesAndAreas><C RegionID="1" Code="DE">)"
         R"(<name>n</name><VIDEOSYSTEM>v</VIDEOSYSTEM></C></CountriesAndAreas></root>)",
         1, "|///,"},
        {R"(<root><Regions><R regionID="2">two</R><R regionID="10">t<b>e<i>n</i></b></R>)"
         R"(<!-- c --><R regionID="1">one</R><R regionID="2">again</R></Regions></root>)",
         1, "1=one,10=ten,2=two,|"},
        {R"(<root><CountriesAndAreas><C code="B"/><C/>text<?pi x?><C code="A"/></CountriesAndAreas></root>)",
         1, "|B///,///,A///,"},
        {R"(<root><CountriesAndAreas><C code="A"/></CountriesAndAreas><CountriesAndAreas><C code="B"/>)"
         R"(</CountriesAndAreas><CountriesAndAreas/><Regions/></root>)",
         1, "|B///,"},
        {R"(<root><Regions><R regionID="1">a</R></Regions><x/><Regions><R regionID="2">b</R></Regions>)"
         R"(</root>)",
         1, "1=a,2=b,|"},
        {R"(<root><Other regionID="1">x</Other></root>)", 1, "|"},
        {R"(<root><Regions><R regionID="1">a</R></Regions></root><!-- after -->)", 0, kOldDump},
        {R"(<?xml version="1.0"?><root/>)", 0, kOldDump},
        {R"(<root><Regions><R regionID="1">a</R></Regions>)", 0, kOldDump},
    };
    cu::test::TempDir dir;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.xml);
        CXMLLocalSet set;
        ASSERT_EQ(Load(set, dir.Path(L"r.xml"), kOld), 1);
        EXPECT_EQ(Load(set, dir.Path(L"r.xml"), c.xml), c.result);
        EXPECT_EQ(Dump(set), c.contents);
    }
}

TEST(RegionSettings, GettersHandOutOwnContainersAndCopiesHaveTheirOwn) {
    cu::test::TempDir dir;
    CXMLLocalSet set;
    std::map<CString, CString> *regions = nullptr, *later = nullptr;
    set.GetRegionsMap(regions);
    ASSERT_TRUE(regions != nullptr && regions->empty());
    ASSERT_EQ(Load(set, dir.Path(L"r.xml"), kOld), 1);
    set.GetRegionsMap(later);
    EXPECT_EQ(later, regions);
    EXPECT_EQ(regions->at(L"0"), L"old");

    const CString folder = dir.Path(L"");  // with its trailing separator
    EXPECT_EQ(Load(set, folder + CString(L'n', 261 - folder.GetLength()), kOld), 0);
    EXPECT_EQ(set.LoadFromFile(dir.Path(L"missing.xml")), 0);

    CXMLLocalSet copy(set), assigned;
    assigned = set;
    ASSERT_EQ(Load(set, dir.Path(L"r.xml"), R"(<r><Regions><R regionID="1">new</R></Regions></r>)"), 1);
    EXPECT_EQ(Dump(set), "1=new,|");
    EXPECT_EQ(Dump(copy), kOldDump);
    EXPECT_EQ(Dump(assigned), kOldDump);
}

}  // namespace
