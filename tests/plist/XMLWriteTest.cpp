// Writing dictionaries as property-list XML: the exact body, and what reads back.
#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "commonutility/FileOperation.h"
#include "commonutility/XMLDict.h"
#include "platform/win32.h"
#include "support/PlistSupport.h"
#include "support/Printers.h"

namespace {

using cu::test::Text;

TEST(PlistWrite, ExactBodies) {
    const struct { const char* name; std::function<void(CXMLDict&)> fill; const wchar_t* body; } cases[] = {
        {"empty", [](CXMLDict&) {}, L"<dict/>"},
        {"characters XML cannot carry",
         [](CXMLDict& d) { d.AddElement(L"c\x1F", eXMLString, Text(L"a\x01" L"b\xFFFF")); },
         L"<dict><key>c\uFFFD</key><string>a\uFFFDb\uFFFD</string></dict>"},
        {"numbers and dates",
         [](CXMLDict& d) {
             d.AddElement(L"i1", eXMLInt, 4294967301ULL);
             d.AddElement(L"i2", eXMLInt, 2147483648ULL);
             d.AddElement(L"r1", eXMLReal, Text(L"0.1"));
             d.AddElement(L"r2", eXMLReal, Text(L"0.0000001"));
             d.AddElement(L"b", eXMLBool, 2);
             d.AddElement(L"d1", eXMLDate, Text(L"2009-03-15 10:20:30"));
             d.AddElement(L"d2", eXMLDate, Text(L"2009-02-30 10:20:30"));
         },
         L"<dict><key>b</key><boolean>TRUE</boolean><key>d1</key><date>2009:03:15T10:20:30Z</date>"
         L"<key>d2</key><date>-001:-1:-1T-1:-1:-1Z</date><key>i1</key><integer>5</integer>"
         L"<key>i2</key><integer>-2147483648</integer><key>r1</key><real>0.100000</real>"
         L"<key>r2</key><real>0.000000</real></dict>"},
        {"nesting and texts",
         [](CXMLDict& d) {
             d.AddElement(L"a<b", eXMLArray, 0);
             auto* list = static_cast<CXMLArray*>(d.GetChild(L"a<b"));
             list->AddElement(-1, eXMLString, Text(L"x & y"));
             list->AddElement(-1, eXMLString, Text(L""));
             list->AddElement(-1, eXMLDict, 0);
             static_cast<CXMLDict*>((*list)[2])->AddElement(L"pw", eXMLStringPSW, Text(L"a]]>b"));
         },
         L"<dict><key>a&lt;b</key><array><string>x &amp; y</string><string/><dict><key>pw</key>"
         L"<stringpsw><![CDATA[a]]]]><![CDATA[>b]]></stringpsw></dict></array></dict>"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        CXMLDict dict;
        c.fill(dict);
        EXPECT_EQ(cu::test::Body(dict), CString(L"<plist version=\"1.0\">") + c.body + L"</plist>");
        CXMLDict back;  // also what this writer makes of invalid dates and split CDATA reads back
        EXPECT_EQ(cu::test::RoundTrip(dict, back), dict.GetKeys().empty() ? 0 : 1);
    }
}

// Random trees read back equal from text and from a file; a save replaces the whole file and leaves
// nothing beside it.
TEST(PlistFile, RandomTreesReadBackEqualAndSavesReplaceTheWholeFile) {
    cu::test::TempDir dir;
    const CString path = dir.Path(L"doc.plist");
    CXMLDict small, back;
    for (unsigned seed = 1; seed <= 40; ++seed) {
        SCOPED_TRACE(seed);
        CXMLDict dict, fromText, fromFile;
        cu::test::FillRandomTree(dict, seed);
        ASSERT_EQ(cu::test::RoundTrip(dict, fromText), 1);
        EXPECT_EQ(cu::test::Body(fromText), cu::test::Body(dict));
        ASSERT_EQ(dict.SaveToFile(path), 1);
        EXPECT_EQ(cu::test::ReadBytes(path).rfind("<?xml version=\"1.0\" encoding=\"utf-8\"", 0), 0u);
        ASSERT_EQ(fromFile.LoadFromFile(path), 1);
        EXPECT_EQ(cu::test::Body(fromFile), cu::test::Body(dict));
    }
    small.AddElement(L"x", eXMLInt, 1);
    ASSERT_EQ(small.SaveToFile(path), 1);
    ASSERT_EQ(back.LoadFromFile(path), 1);
    EXPECT_EQ(back.GetKeys().size(), 1u);
    EXPECT_EQ(cu::test::EntryCount(dir), 1u);
    EXPECT_EQ(small.SaveToFile(nullptr), 0);
    EXPECT_EQ(small.SaveToMemFile(nullptr), 0);
}

// A save replaces a file only where any writer could write it, and keeps its attributes. The result
// says the document was built, not that it reached the disk, except for a read-only target.
TEST(PlistFile, ProtectedTargetsAreLeftAlone) {
    cu::test::TempDir dir;
    CXMLDict dict;
    dict.AddElement(L"a", eXMLInt, 1);
    const CString locked = dir.Path(L"locked.plist");
    cu::test::WriteBytes(locked, "old");
    cu::test::SetReadOnly(locked);
    EXPECT_EQ(dict.SaveToFile(locked), 0);
    EXPECT_EQ(cu::test::ReadBytes(locked), "old");

    const CString held = dir.Path(L"held.plist");
    cu::test::WriteBytes(held, "old");
    HANDLE opener = CreateFileW(held, GENERIC_READ, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(opener, INVALID_HANDLE_VALUE);
    EXPECT_EQ(dict.SaveToFile(held), 1);  // built, but the opener shares nothing
    CloseHandle(opener);
    EXPECT_EQ(cu::test::ReadBytes(held), "old");

    const CString hidden = dir.Path(L"hidden.plist");
    CloseHandle(CreateFileW(hidden, GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_HIDDEN, nullptr));
    ASSERT_EQ(dict.SaveToFile(hidden), 1);
    EXPECT_EQ(CFileOperation::IsHidden(hidden), 1);
    EXPECT_NE(cu::test::ReadBytes(hidden).find("<plist"), std::string::npos);
    EXPECT_EQ(dict.SaveToFile(dir.Path(L"missing") + cu::platform::kPathDelimiter + L"doc.plist"), 1);
    EXPECT_EQ(cu::test::EntryCount(dir), 3u);  // no folder was made for the missing one
#if !defined(_WIN32)
    // Beyond 260 characters the read-only test is skipped; the write itself must still refuse.
    const CString longName = dir.Path((CString(L'x', 240) + L".plist").GetString());
    cu::test::WriteBytes(longName, "old");
    cu::test::SetReadOnly(longName);
    EXPECT_EQ(dict.SaveToFile(longName), 1);
    EXPECT_EQ(cu::test::ReadBytes(longName), "old");
#endif
}

}  // namespace
