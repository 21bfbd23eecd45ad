// Writing dictionaries as property-list XML: the exact body, and what reads back.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "commonutility/FileOperation.h"
#include "commonutility/XMLDict.h"
#include "platform/win32.h"
#include "support/PlistSupport.h"
#include "support/Printers.h"

namespace {

using cu::test::Body;
using cu::test::Text;

TEST(PlistWrite, ExampleDocument) {
    CXMLDict dict;
    dict.AddElement(L"Name", eXMLString, Text(L"abc"));
    dict.AddElement(L"Count", eXMLInt, 3);
    dict.AddElement(L"Items", eXMLArray, 0);
    static_cast<CXMLArray*>(dict[L"Items"])->AddElement(-1, eXMLBool, 1);
    EXPECT_EQ(Body(dict),
              L"<plist version=\"1.0\"><dict><key>Count</key><integer>3</integer><key>Items</key>"
              L"<array><boolean>TRUE</boolean></array><key>Name</key><string>abc</string></dict>"
              L"</plist>");
}

TEST(PlistWrite, DeclarationFirst) {
    CXMLDict dict;
    dict.AddElement(L"a", eXMLInt, 1);
    wchar_t* text = nullptr;
    ASSERT_EQ(dict.SaveToMemFile(&text), 1);
    const CString xml(text);
    SysFreeString(text);
    EXPECT_EQ(xml.Find(L"<?xml version=\"1.0\""), 0);
    EXPECT_LT(xml.Find(L"?>"), xml.Find(L"<plist"));
}

TEST(PlistWrite, ValueTexts) {
    CXMLDict dict;
    dict.AddElement(L"i1", eXMLInt, 4294967301ULL);
    dict.AddElement(L"i2", eXMLInt, 2147483648ULL);
    dict.AddElement(L"i3", eXMLInt, static_cast<std::uint64_t>(-1LL));
    dict.AddElement(L"r1", eXMLReal, Text(L"1.5"));
    dict.AddElement(L"r2", eXMLReal, Text(L"0.1"));
    dict.AddElement(L"r3", eXMLReal, Text(L"0.0000001"));
    dict.AddElement(L"b1", eXMLBool, 2);
    dict.AddElement(L"b2", eXMLBool, 0);
    dict.AddElement(L"d1", eXMLDate, Text(L"2009-03-15 10:20:30"));
    dict.AddElement(L"d2", eXMLDate, Text(L"2009-02-30 10:20:30"));
    dict.AddElement(L"s", eXMLString, Text(L""));
    EXPECT_EQ(Body(dict),
              L"<plist version=\"1.0\"><dict>"
              L"<key>b1</key><boolean>TRUE</boolean><key>b2</key><boolean>FALSE</boolean>"
              L"<key>d1</key><date>2009:03:15T10:20:30Z</date>"
              L"<key>d2</key><date>-001:-1:-1T-1:-1:-1Z</date>"
              L"<key>i1</key><integer>5</integer><key>i2</key><integer>-2147483648</integer>"
              L"<key>i3</key><integer>-1</integer>"
              L"<key>r1</key><real>1.500000</real><key>r2</key><real>0.100000</real>"
              L"<key>r3</key><real>0.000000</real><key>s</key><string/></dict></plist>");
}

TEST(PlistWrite, KeysInCodeUnitOrder) {
    CXMLDict dict;
    for (const wchar_t* key : {L"b", L"A", L"a", L"B"}) dict.AddElement(key, eXMLInt, 0);
    const CString body = Body(dict);
    EXPECT_LT(body.Find(L"<key>A<"), body.Find(L"<key>B<"));
    EXPECT_LT(body.Find(L"<key>B<"), body.Find(L"<key>a<"));
    EXPECT_LT(body.Find(L"<key>a<"), body.Find(L"<key>b<"));
}

TEST(PlistWrite, NestedContainers) {
    CXMLDict dict;
    dict.AddElement(L"list", eXMLArray, 0);
    auto* list = static_cast<CXMLArray*>(dict[L"list"]);
    list->AddElement(-1, eXMLString, Text(L"one"));
    list->AddElement(-1, eXMLString, Text(L"two"));
    list->AddElement(-1, eXMLDict, 0);
    static_cast<CXMLDict*>((*list)[2])->AddElement(L"k", eXMLInt, 7);
    EXPECT_EQ(Body(dict),
              L"<plist version=\"1.0\"><dict><key>list</key><array><string>one</string>"
              L"<string>two</string><dict><key>k</key><integer>7</integer></dict></array></dict>"
              L"</plist>");
}

TEST(PlistWrite, EscapesAndCData) {
    CXMLDict dict;
    dict.AddElement(L"a<b", eXMLString, Text(L"x < y & z > \"q\""));
    dict.AddElement(L"pw", eXMLStringPSW, Text(L"abc"));
    const CString body = Body(dict);
    EXPECT_NE(body.Find(L"<key>a&lt;b</key>"), -1);
    EXPECT_NE(body.Find(L"x &lt; y &amp; z"), -1);
    EXPECT_NE(body.Find(L"<stringpsw><![CDATA[abc]]></stringpsw>"), -1);

    CXMLDict back;
    ASSERT_EQ(cu::test::RoundTrip(dict, back), 1);
    EXPECT_TRUE(cu::test::TreesEqual(dict, back));
}

// A password text holding the CDATA end marker is split over two sections and reads back whole.
TEST(PlistWrite, CDataEndMarkerInPassword) {
    CXMLDict dict;
    dict.AddElement(L"pw", eXMLStringPSW, Text(L"a]]>b]]>"));
    EXPECT_NE(Body(dict).Find(L"<stringpsw><![CDATA[a]]]]><![CDATA[>b]]]]><![CDATA[>]]></stringpsw>"), -1);
    CXMLDict back;
    ASSERT_EQ(cu::test::RoundTrip(dict, back), 1);
    CString value;
    back[L"pw"]->GetValue(&value);
    EXPECT_EQ(value, L"a]]>b]]>");
}

TEST(PlistWrite, EmptyDictionaryIsWrittenButDoesNotReadBack) {
    CXMLDict empty;
    EXPECT_EQ(Body(empty), L"<plist version=\"1.0\"><dict/></plist>");
    CXMLDict target;
    target.AddElement(L"keep", eXMLInt, 1);
    EXPECT_EQ(cu::test::RoundTrip(empty, target), 0);
    EXPECT_NE(target[L"keep"], nullptr);
}

TEST(PlistWrite, NullArguments) {
    CXMLDict dict;
    dict.AddElement(L"a", eXMLInt, 1);
    EXPECT_EQ(dict.SaveToFile(nullptr), 0);
    EXPECT_EQ(dict.SaveToMemFile(nullptr), 0);
}

TEST(PlistWrite, RandomTreesReadBackEqual) {
    for (unsigned seed = 1; seed <= 40; ++seed) {
        SCOPED_TRACE(seed);
        CXMLDict dict;
        cu::test::FillRandomTree(dict, seed);
        CXMLDict back;
        ASSERT_EQ(cu::test::RoundTrip(dict, back), 1);
        EXPECT_TRUE(cu::test::TreesEqual(dict, back));
    }
}

TEST(PlistFile, SaveAndLoad) {
    cu::test::TempDir dir;
    const CString path = dir.Path(L"doc.plist");
    CXMLDict dict;
    cu::test::FillRandomTree(dict, 7);
    ASSERT_EQ(dict.SaveToFile(path), 1);
    const std::string bytes = cu::test::ReadBytes(path);
    EXPECT_EQ(bytes.rfind("<?xml version=\"1.0\" encoding=\"utf-8\"", 0), 0u);  // UTF-8, no BOM

    CXMLDict back;
    ASSERT_EQ(back.LoadFromFile(path), 1);
    EXPECT_TRUE(cu::test::TreesEqual(dict, back));

    // Saving again replaces the whole file and leaves nothing else in the folder.
    CXMLDict small;
    small.AddElement(L"x", eXMLInt, 1);
    ASSERT_EQ(small.SaveToFile(path), 1);
    ASSERT_EQ(back.LoadFromFile(path), 1);
    EXPECT_EQ(back.GetKeys().size(), 1u);
    EXPECT_EQ(cu::test::EntryCount(dir), 1u);
}

TEST(PlistFile, ReadOnlyTargetIsLeftAlone) {
    cu::test::TempDir dir;
    const CString path = dir.Path(L"locked.plist");
    cu::test::WriteBytes(path, "old content");
    cu::test::SetReadOnly(path, true);
    CXMLDict dict;
    dict.AddElement(L"a", eXMLInt, 1);
    EXPECT_EQ(dict.SaveToFile(path), 0);
    EXPECT_EQ(cu::test::ReadBytes(path), "old content");
    cu::test::SetReadOnly(path, false);
}

// The result says the document was built, not that it reached the disk.
TEST(PlistFile, UnwritableFolderStillGivesOne) {
    cu::test::TempDir dir;
    const CString path = dir.Path(L"missing") + cu::platform::kPathDelimiter + L"doc.plist";
    CXMLDict dict;
    dict.AddElement(L"a", eXMLInt, 1);
    EXPECT_EQ(dict.SaveToFile(path), 1);
    EXPECT_EQ(cu::test::EntryCount(dir), 0u);
}

}  // namespace
