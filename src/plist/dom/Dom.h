// Wrappers of the XML DOM: a document, a node, a node list and an attribute map.
//
// Each wrapper owns one reference to a DOM object of the platform backend: MSXML through COM on
// Windows (DomMsxml.cpp), pugixml elsewhere (DomPugi.cpp). The reader, the writer and the region
// loader are written once against these wrappers. Both backends behave alike where callers rely
// on it: white-space-only text between elements is not a node; comments, processing instructions,
// the declaration and a doctype are nodes; a document that is not well-formed or has more than
// one root element fails to load; a node's text is the character data of the node and its
// descendants, CDATA included; nothing is fetched and no entity beyond the predefined ones and
// character references is expanded: a document whose DTD declares entities fails to load, and so
// does a reference to any other entity.
#pragma once

#include <cstddef>
#include <string>

#include "commonutility/CString.h"
#include "commonutility/Win32Types.h"

struct IXMLDOMDocument2;
struct IXMLDOMNode;
struct IXMLDOMNodeList;
struct IXMLDOMNamedNodeMap;

namespace cu::detail {
// Reference counting of the backend's objects.
void DomAddRef(IXMLDOMDocument2* object);
void DomAddRef(IXMLDOMNode* object);
void DomAddRef(IXMLDOMNodeList* object);
void DomAddRef(IXMLDOMNamedNodeMap* object);
void DomRelease(IXMLDOMDocument2* object);
void DomRelease(IXMLDOMNode* object);
void DomRelease(IXMLDOMNodeList* object);
void DomRelease(IXMLDOMNamedNodeMap* object);
}  // namespace cu::detail

// Holds one reference to a DOM object, or none. Made from a pointer it takes over the reference
// the backend handed out; a copy adds one; destruction releases it.
template <class I>
class CIFCallingWrapper {
public:
    CIFCallingWrapper() = default;
    explicit CIFCallingWrapper(I* object) : m_pInterface(object) {}
    CIFCallingWrapper(const CIFCallingWrapper& other) : m_pInterface(other.m_pInterface) {
        if (m_pInterface != nullptr) cu::detail::DomAddRef(m_pInterface);
    }
    CIFCallingWrapper& operator=(const CIFCallingWrapper& other) {
        if (other.m_pInterface != nullptr) cu::detail::DomAddRef(other.m_pInterface);
        Reset(other.m_pInterface);
        return *this;
    }
    virtual ~CIFCallingWrapper() { Reset(nullptr); }

    bool IsNull() const { return m_pInterface == nullptr; }
    I* Get() const { return m_pInterface; }
    // Releases the held reference and takes over object's.
    void Reset(I* object) {
        if (m_pInterface != nullptr) cu::detail::DomRelease(m_pInterface);
        m_pInterface = object;
    }

protected:
    I* m_pInterface = nullptr;
};

class CXMLDOMNodeList;
class CXMLDOMNamedNodeMap;

// The node types that the writer creates.
enum DomNodeType { kDomElement = 1, kDomCData = 4 };

class CXMLDOMNode : public CIFCallingWrapper<IXMLDOMNode> {
public:
    using CIFCallingWrapper::CIFCallingWrapper;

    // An element's tag name; other nodes have names that are no tag ("#text", "#comment", ...,
    // a processing instruction its target).
    CString GetNodeName() const;
    bool IsElement() const;
    // The character data of the node and all its descendants, in document order.
    CString GetText() const;
    // The node's content becomes this text (an empty text leaves it without content).
    bool SetText(const CString& text);
    CXMLDOMNodeList GetChildNodes() const;
    // The child becomes this node's last child.
    bool AppendChild(const CXMLDOMNode& child);
    CXMLDOMNamedNodeMap GetAttributes() const;
    // The first child element with this name, or none.
    CXMLDOMNode SelectSingleNode(const CString& name) const;
};

class CXMLDOMNodeList : public CIFCallingWrapper<IXMLDOMNodeList> {
public:
    using CIFCallingWrapper::CIFCallingWrapper;
    long GetLength() const;  // 0 without a list
    CXMLDOMNode GetItem(long index) const;
};

class CXMLDOMNamedNodeMap : public CIFCallingWrapper<IXMLDOMNamedNodeMap> {
public:
    using CIFCallingWrapper::CIFCallingWrapper;
    CXMLDOMNode GetNamedItem(const CString& name) const;
};

class CXMLDOMDocument2 : public CIFCallingWrapper<IXMLDOMDocument2> {
public:
    using CIFCallingWrapper::CIFCallingWrapper;

    // Makes a new, empty parser document; false when none can be made.
    bool Create();
    bool SetAsync(bool async);
    bool SetPreserveWhiteSpace(VARIANT_BOOL preserve);
    // Loads the bytes of a file: UTF-8 (with or without a byte-order mark), UTF-16 with its
    // byte-order mark, or ISO-8859-1 where the declaration names it. The buffer comes from
    // AllocateBuffer and is taken over, whatever the result. False when the text is not a
    // well-formed document in one of those encodings.
    bool LoadBuffer(char* buffer, std::size_t size);
    // A buffer for LoadBuffer; null when memory ran out. FreeBuffer frees one that was not loaded.
    static char* AllocateBuffer(std::size_t size);
    static void FreeBuffer(char* buffer);
    // Loads length wide characters of XML text, which need not be zero-terminated.
    bool LoadXML(const wchar_t* text, std::size_t length);
    // The document as the bytes of a file: UTF-8 with the declaration, each top-level node on a
    // line of its own. False when there is no document or memory ran out.
    bool GetFileText(std::string& text) const;
    // The whole document as text; null when there is no document or memory ran out.
    BSTR GetXml() const;
    // A new node not yet in the tree (an element with this name, or an empty CDATA section).
    CXMLDOMNode CreateNode(DomNodeType type, const CString& name);
    CXMLDOMNodeList GetChildNodes() const;
};

namespace cu::detail {

// Fills doc with a new parser document (unless it holds one), asynchronous loading off and white
// space preserved. 1 on success, 0 when no document can be made.
int GetXMLDocInstance(CXMLDOMDocument2& doc);

// Loads the file at path into doc: 0 without loading for an empty path or one longer than 260
// UTF-16 units, or when doc holds no document; else 1 when the file loaded (FileText.h).
int OpenXMLFile(CXMLDOMDocument2& doc, const CString& path);

}  // namespace cu::detail
