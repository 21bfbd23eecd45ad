// CContentInfoXML: a property-list document that lists groups of media contents and their files.
#pragma once

#include "commonutility/XMLDict.h"

// The document's root holds "ContentsGroupList" (an array of groups), "DatabaseID", "SourceApp"
// and "XMLFileType". A group holds "ContentsList" (an array of contents) and "GroupName"; a content
// holds "Files" (an array of path strings) and, set by the caller, "Duration" (real),
// "DateTimeOriginal" (real, an OLE Automation day count) and "ContentType" (integer).
//
// Groups and contents that the operations hand out belong to the document. An item of the
// group or content list that is not a dictionary is handed out as null.
class COMMONUTILITY_API CContentInfoXML : public CXMLDict {
public:
    CContentInfoXML() = default;
    CContentInfoXML(const CContentInfoXML& other) = default;
    CContentInfoXML& operator=(const CContentInfoXML& other) = default;
    ~CContentInfoXML() override;

    // Empties the document and adds the four root entries: an empty group list, the database
    // identifier (a fixed one for null), the source application ("Browser" for null) and the
    // document's kind. The second argument is not used. Always 1.
    int Initialize(const wchar_t* sourceApp, const wchar_t* reserved, const wchar_t* databaseId);

    // Appends a group with an empty content list and its name; null without a group list or name.
    CXMLDict* AddNewGroup(const wchar_t* name);
    // Appends an empty content to a group; null for a null group or one without a content list.
    CXMLDict* AddNewContent(CXMLDict* group);
    // Appends a file path to a content's "Files", made when missing; 1 on success.
    int AddFilepathToContent(CXMLDict* content, const wchar_t* path);

    int GetGroupCount();
    CXMLDict* GetGroup(int index);
    static int GetContentCount(CXMLDict* group);
    static CXMLDict* GetContent(CXMLDict* group, int index);
    static int GetFilepathCountFromContent(CXMLDict* content);
    // 1 when the item at index is a text and was copied to path.
    static int GetFilepathFromContent(CXMLDict* content, int index, CString* path);
    // 1 when the content has the value, whatever its kind; only a real is copied out.
    static int GetContentDuration(CXMLDict* content, double* duration);
    // 1 when the content has the value; only a real replaces the date's day count, whose status
    // stays as it was.
    static int GetDateTime(CXMLDict* content, CCommonDateTime* date);
    // 1 when the value is an integer, which is then copied out.
    static int GetContentType(CXMLDict* content, __int64& type);
};
