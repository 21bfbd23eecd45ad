// The property-list containers: CXMLArray (children by position) and CXMLDict (children by key).
#pragma once

#include <map>
#include <vector>

#include "commonutility/XMLElement.h"

class CXMLDOMDocument2;
class CXMLDOMNode;

namespace cu::detail {
struct TreeAccess;
}

// Children by position. A container creates its children from a kind and a value (AddElement),
// owns them and destroys them; pointers it hands out are borrowed and stay valid until the child
// is removed or the container destroyed. Copies copy every child, so each child has one owner.
class COMMONUTILITY_API CXMLArray : public CXMLElement {
public:
    CXMLArray(const CXMLArray& other);
    CXMLArray& operator=(const CXMLArray& other);

    unsigned int GetSize() const override;
    // The child at index; null when index < 0 or index >= size.
    CXMLElement* operator[](int index) const override;
    // Destroys the child at index and closes the gap; 0 when index is out of range.
    int RemoveElement(int index) override;
    // Makes a child of the kind from the value and inserts it before index, or appends it when
    // index is negative or not below the size. 1 on success, 0 when nothing could be made.
    int AddElement(int index, XMLNodeType kind, ULONGLONG value) override;
    XMLNodeType GetIniNodeType() const override;

protected:
    CXMLArray();
    ~CXMLArray() override;

private:
    friend struct cu::detail::ElementFactory;
    friend struct cu::detail::TreeAccess;
    std::vector<CXMLElement*>* m_pChildren;
};

// Children by text key, in ascending order of the keys' UTF-16 code units (case-sensitive).
// The root of every property-list document.
//
// The value of AddElement is read by kind: boolean, its low 32 bits; integer, a signed 64-bit
// number; real, string, password string and date, the address of a zero-terminated wide text
// (real: read as C atof reads it; date: as CCommonDateTime::FromString reads it, the default date
// when that fails); array and dictionary, ignored.
class COMMONUTILITY_API CXMLDict : public CXMLElement {
public:
    CXMLDict();
    CXMLDict(const CXMLDict& other);
    CXMLDict& operator=(const CXMLDict& other);
    ~CXMLDict() override;

    // Stores a new child under key, taken literally. A key already present keeps its child and
    // the result is still 1; 0 only when nothing could be made.
    int AddElement(const CString& key, XMLNodeType kind, ULONGLONG value) override;
    // Looks a key path up: "a/b" is the child b of the dictionary a, as long as a key "a"
    // exists; otherwise the whole path is one key. Null when nothing is found, also when a
    // head segment names a child that is not a dictionary.
    CXMLElement* operator[](const CString& path) override;
    // Destroys the child found by the same walk; 0 when there is none.
    int RemoveElement(const CString& path) override;
    XMLNodeType GetIniNodeType() const override;

    // Replace every entry with those of a property-list file or text; 1 when loaded. A load that
    // fails leaves the dictionary as it was.
    int LoadFromFile(const wchar_t* path) override;
    virtual int LoadFromMemFile(wchar_t* text);
    // Write the dictionary as property-list XML. SaveToFile refuses a read-only file (0) and
    // otherwise gives 1 once the document is built, whether or not the file could be written; the
    // old file stays whole until the new one is complete. SaveToMemFile stores a new string in
    // *out that the caller frees with SysFreeString; a null out gives 0.
    int SaveToFile(const wchar_t* path) override;
    virtual int SaveToMemFile(wchar_t** out);

    // The keys in ascending order, and the child stored under a key taken literally (no path
    // walk); null when there is none.
    std::vector<CString> GetKeys() const;
    CXMLElement* GetChild(const CString& key) const;

    // A dictionary allocated and released inside the library.
    static CXMLDict* CXMLDictAlloc();
    static void CXMLDictFree(CXMLDict* dict);

    using EntryMap = std::map<CString, CXMLElement*>;

protected:
    int GetXMLDocInstance(CXMLDOMDocument2& doc);
    int OpenXMLFile(CXMLDOMDocument2& doc, const CString& path);

    int ReadFromXMLDocument(CXMLDOMDocument2& doc);
    int AddDictToQueue(XMLNodeType kind, CXMLElement* parent, CXMLDOMNode& node, const CString& key,
                       CXMLElement** newContainer);
    int AddArrayToQueue(XMLNodeType kind, CXMLElement* parent, CXMLDOMNode& node,
                        const CString& key, CXMLElement** newContainer);
    XMLNodeType GetNodeType(const CString& tagName);

    int SaveToXMLDocument(CXMLDOMDocument2& doc);
    CString GetNodeTypeStr(XMLNodeType kind);
    CString GetNodeValueStr(XMLNodeType kind, CXMLElement* element);

    EntryMap* m_pEntries;

private:
    friend struct cu::detail::TreeAccess;
};
