// The content-information document: its skeleton, its shortcuts, and files shared across platforms.
#include <gtest/gtest.h>

#include "commonutility/ContentInfoXML.h"
#include "support/PlistSupport.h"
#include "support/Printers.h"

namespace {

using cu::test::Text;

// Two groups; the first holds one content with two files and all three values.
void FillSample(CContentInfoXML& doc) {
    doc.Initialize(L"Uploader", nullptr, L"{DB}");
    CXMLDict* holiday = doc.AddNewGroup(L"Holiday");
    doc.AddNewGroup(L"Work");
    CXMLDict* clip = doc.AddNewContent(holiday);
    doc.AddFilepathToContent(clip, L"/media/beach.mp4");
    doc.AddFilepathToContent(clip, L"/media/beach.srt");
    clip->AddElement(L"Duration", eXMLReal, Text(L"83.5"));
    clip->AddElement(L"DateTimeOriginal", eXMLReal, Text(L"39934.430902"));
    clip->AddElement(L"ContentType", eXMLInt, 2);
}

// Initialize makes the skeleton, and drops every group when called again; groups hold contents, and
// contents hold file paths.
TEST(ContentInfo, SkeletonGroupsContentsAndFiles) {
    CContentInfoXML doc;
    EXPECT_EQ(doc.AddNewGroup(L"early"), nullptr);  // no group list yet
    doc.AddElement(L"stale", eXMLInt, 1);
    EXPECT_EQ(doc.Initialize(nullptr, L"ignored", nullptr), 1);
    EXPECT_EQ(cu::test::Body(doc),
              L"<plist version=\"1.0\"><dict><key>ContentsGroupList</key><array/>"
              L"<key>DatabaseID</key><string>{8BDFAF41-47DD-4E51-B057-B4C49920558C}</string>"
              L"<key>SourceApp</key><string>Browser</string>"
              L"<key>XMLFileType</key><string>ContentInfoXML</string></dict></plist>");

    FillSample(doc);
    EXPECT_EQ(doc.AddNewGroup(nullptr), nullptr);
    ASSERT_EQ(doc.GetGroupCount(), 2);
    EXPECT_EQ(doc.GetGroup(2), nullptr);
    EXPECT_EQ(doc.GetGroup(-1), nullptr);

    CXMLDict* holiday = doc.GetGroup(0);
    EXPECT_EQ(CContentInfoXML::GetContentCount(holiday), 1);
    EXPECT_EQ(CContentInfoXML::GetContentCount(nullptr), 0);
    EXPECT_EQ(CContentInfoXML::GetContent(holiday, -1), nullptr);
    EXPECT_EQ(CContentInfoXML::GetContent(holiday, 1), nullptr);
    CXMLDict* clip = CContentInfoXML::GetContent(holiday, 0);
    ASSERT_NE(clip, nullptr);

    ASSERT_EQ(CContentInfoXML::GetFilepathCountFromContent(clip), 2);
    CString path(L"unchanged");
    EXPECT_EQ(CContentInfoXML::GetFilepathFromContent(clip, 2, &path), 0);
    EXPECT_EQ(path, L"unchanged");
    EXPECT_EQ(CContentInfoXML::GetFilepathFromContent(clip, 0, &path), 1);
    EXPECT_EQ(path, L"/media/beach.mp4");
    EXPECT_EQ(CContentInfoXML::GetFilepathFromContent(clip, 0, nullptr), 0);

    CXMLDict* empty = doc.AddNewContent(doc.GetGroup(1));
    EXPECT_EQ(CContentInfoXML::GetFilepathCountFromContent(empty), 0);
    EXPECT_EQ(doc.AddNewContent(nullptr), nullptr);
    EXPECT_EQ(doc.AddFilepathToContent(empty, nullptr), 0);
    EXPECT_EQ(doc.AddFilepathToContent(nullptr, L"x"), 0);
    EXPECT_EQ(doc.Initialize(nullptr, nullptr, nullptr), 1);
    EXPECT_EQ(doc.GetGroupCount(), 0);
}

// Each getter copies its value only from an element of its own kind; one of another kind is found
// (1) but not copied, except the type, which gives 0. A date keeps its status.
TEST(ContentInfo, ValueGettersByKind) {
    CContentInfoXML doc;
    FillSample(doc);
    CXMLDict* odd = doc.AddNewContent(doc.GetGroup(1));
    odd->AddElement(L"Duration", eXMLInt, 5);
    odd->AddElement(L"DateTimeOriginal", eXMLDate, Text(L"2009-05-01 00:00:00"));
    odd->AddElement(L"ContentType", eXMLReal, Text(L"1.0"));
    const struct { CXMLDict* content; int found[3]; double duration, dayCount; __int64 type; } cases[] = {
        {CContentInfoXML::GetContent(doc.GetGroup(0), 0), {1, 1, 1}, 83.5, 39934.430902, 2},
        {odd, {1, 1, 0}, -1, 2.5, -7},
        {doc.AddNewContent(doc.GetGroup(1)), {0, 0, 0}, -1, 2.5, -7},  // no values
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(&c - cases);
        double duration = -1;
        CCommonDateTime date;
        date = 2.5;
        date.SetStatus(COleDateTime::invalid);
        __int64 type = -7;
        EXPECT_EQ(CContentInfoXML::GetContentDuration(c.content, &duration), c.found[0]);
        EXPECT_EQ(CContentInfoXML::GetDateTime(c.content, &date), c.found[1]);
        EXPECT_EQ(CContentInfoXML::GetContentType(c.content, type), c.found[2]);
        EXPECT_EQ(duration, c.duration);
        EXPECT_EQ(date.m_dt, c.dayCount);
        EXPECT_EQ(date.GetStatus(), COleDateTime::invalid);
        EXPECT_EQ(type, c.type);
    }
}

// The file in tests/data was written on Linux: every platform reads it, and writes the same bytes.
TEST(ContentInfo, FilesAreTheSameOnEveryPlatform) {
    const CString golden = CString(COMMONUTILITY_TEST_DATA "/contentinfo.plist");
    CContentInfoXML read;
    ASSERT_EQ(read.LoadFromFile(golden), 1);
    CContentInfoXML made;
    FillSample(made);
    EXPECT_EQ(cu::test::Body(read), cu::test::Body(made));

    cu::test::TempDir dir;
    ASSERT_EQ(made.SaveToFile(dir.Path(L"out.plist")), 1);
    EXPECT_EQ(cu::test::ReadBytes(dir.Path(L"out.plist")), cu::test::ReadBytes(golden));
}

}  // namespace
