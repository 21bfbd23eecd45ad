// CContentInfoXML: the content-information schema on top of a dictionary.
#include "commonutility/ContentInfoXML.h"

#include <cstdint>

#include "plist/ElementTree.h"

namespace {

const wchar_t kGroupList[] = L"ContentsGroupList";
const wchar_t kContentList[] = L"ContentsList";
const wchar_t kFiles[] = L"Files";

std::uint64_t TextValue(const wchar_t* text) { return reinterpret_cast<std::uintptr_t>(text); }

// The array an element is, or null for any other kind.
CXMLArray* AsArray(CXMLElement* element) { return dynamic_cast<CXMLArray*>(element); }

// The number of items of an element: 0 for anything but an array.
int CountOf(CXMLElement* element) {
    CXMLArray* array = AsArray(element);
    return array != nullptr ? static_cast<int>(array->GetSize()) : 0;
}

// Appends an empty dictionary to list and hands back the list's last item.
CXMLDict* AppendDict(CXMLElement* list) {
    CXMLArray* array = AsArray(list);
    if (array == nullptr || array->AddElement(-1, eXMLDict, 0) == 0) return nullptr;
    return dynamic_cast<CXMLDict*>((*array)[static_cast<int>(array->GetSize()) - 1]);
}

// The dictionary at index of list, or null when the index is out of range or the item is not one.
CXMLDict* DictAt(CXMLElement* list, int index) {
    if (index < 0 || index >= CountOf(list)) return nullptr;
    return dynamic_cast<CXMLDict*>((*AsArray(list))[index]);
}

}  // namespace

CContentInfoXML::~CContentInfoXML() = default;

int CContentInfoXML::Initialize(const wchar_t* sourceApp, const wchar_t* /*reserved*/,
                                const wchar_t* databaseId) {
    if (m_pEntries == nullptr) return 1;
    cu::detail::TreeAccess::Clear(*this);
    if (AddElement(kGroupList, eXMLArray, 0) == 0) return 1;
    if (databaseId == nullptr) databaseId = L"{8BDFAF41-47DD-4E51-B057-B4C49920558C}";
    if (AddElement(L"DatabaseID", eXMLString, TextValue(databaseId)) == 0) return 1;
    if (AddElement(L"SourceApp", eXMLString, TextValue(sourceApp ? sourceApp : L"Browser")) == 0)
        return 1;
    AddElement(L"XMLFileType", eXMLString, TextValue(L"ContentInfoXML"));
    return 1;
}

CXMLDict* CContentInfoXML::AddNewGroup(const wchar_t* name) {
    CXMLElement* groups = (*this)[kGroupList];
    if (groups == nullptr || name == nullptr) return nullptr;
    CXMLDict* group = AppendDict(groups);
    if (group == nullptr) return nullptr;
    group->AddElement(kContentList, eXMLArray, 0);
    group->AddElement(L"GroupName", eXMLString, TextValue(name));
    return group;
}

CXMLDict* CContentInfoXML::AddNewContent(CXMLDict* group) {
    if (group == nullptr) return nullptr;
    CXMLElement* contents = (*group)[kContentList];
    return contents != nullptr ? AppendDict(contents) : nullptr;
}

// A content that has "Files" already keeps it (AddElement reports success), so paths accumulate.
int CContentInfoXML::AddFilepathToContent(CXMLDict* content, const wchar_t* path) {
    if (content == nullptr || path == nullptr) return 0;
    if (content->AddElement(kFiles, eXMLArray, 0) == 0) return 0;
    CXMLElement* files = (*content)[kFiles];
    if (files == nullptr) return 1;
    CXMLArray* array = AsArray(files);
    return array != nullptr ? array->AddElement(-1, eXMLString, TextValue(path)) : 0;
}

int CContentInfoXML::GetGroupCount() { return CountOf(GetChild(kGroupList)); }

CXMLDict* CContentInfoXML::GetGroup(int index) { return DictAt(GetChild(kGroupList), index); }

int CContentInfoXML::GetContentCount(CXMLDict* group) {
    return group != nullptr ? CountOf((*group)[kContentList]) : 0;
}

CXMLDict* CContentInfoXML::GetContent(CXMLDict* group, int index) {
    if (group == nullptr || index < 0) return nullptr;
    return DictAt((*group)[kContentList], index);
}

int CContentInfoXML::GetFilepathCountFromContent(CXMLDict* content) {
    return content != nullptr ? CountOf((*content)[kFiles]) : 0;
}

int CContentInfoXML::GetFilepathFromContent(CXMLDict* content, int index, CString* path) {
    if (content == nullptr) return 0;
    CXMLElement* files = (*content)[kFiles];
    if (index < 0 || index >= CountOf(files)) return 0;
    return (*AsArray(files))[index]->GetValue(path);
}

int CContentInfoXML::GetContentDuration(CXMLDict* content, double* duration) {
    if (content == nullptr || duration == nullptr) return 0;
    CXMLElement* value = (*content)[L"Duration"];
    if (value == nullptr) return 0;
    value->GetValue(duration);
    return 1;
}

int CContentInfoXML::GetDateTime(CXMLDict* content, CCommonDateTime* date) {
    if (content == nullptr || date == nullptr) return 0;
    CXMLElement* value = (*content)[L"DateTimeOriginal"];
    if (value == nullptr) return 0;
    value->GetValue(&date->m_dt);
    return 1;
}

int CContentInfoXML::GetContentType(CXMLDict* content, __int64& type) {
    if (content == nullptr) return 0;
    CXMLElement* value = (*content)[L"ContentType"];
    if (value == nullptr) return 0;
    __int64 read = 0;
    const int result = value->GetValue(&read);
    if (result != 0) type = read;
    return result;
}
