// Reading a CXMLDict from property-list XML through the DOM wrappers, and the loads, which take
// the quickest walk the DOM backend offers.
#include <cwchar>

#include "commonutility/XMLDict.h"
#include "plist/PlistRead.h"
#include "plist/dom/Dom.h"
#include "platform/win32.h"

namespace {

// A DOM node's text, as AddReadChild asks for it.
struct DomText {
    const CXMLDOMNode& node;
    CString text;

    bool IsTrue() const { return node.GetText().CompareNoCase(L"true") == 0; }
    __int64 Integer() const { return cu::detail::ReadInteger(node.GetText().ToUtf8().c_str()); }
    const wchar_t* Wide() {
        text = node.GetText();
        return text.GetString();
    }
};

// The DOM wrappers as the reader's view of a document.
struct DomNodes {
    using Node = CXMLDOMNode;
    static bool Exists(const Node& node) { return !node.IsNull(); }
    static Node FirstChild(const Node& node) { return node.GetChildNodes().GetItem(0); }
    static bool HasChildren(const Node& node) { return !FirstChild(node).IsNull(); }
    template <typename F>
    static void ForEachChild(const Node& node, F f) {
        const CXMLDOMNodeList children = node.GetChildNodes();
        const long count = children.GetLength();
        for (long i = 0; i < count; ++i) f(children.GetItem(i));
    }
    static XMLNodeType Kind(const Node& node) {
        const CString name = node.GetNodeName();
        return cu::detail::KindOfName(name.GetString(), static_cast<std::size_t>(name.GetLength()));
    }
    const CString& Key(const Node& node) {
        key = node.GetText();
        return key;
    }
    static CXMLElement* Add(XMLNodeType kind, CXMLElement& parent, const Node& node, const CString& key) {
        return cu::detail::AddReadChild(kind, parent, key, DomText{node, CString()});
    }

    CString key;  // the last key read
};

// AddDictToQueue and AddArrayToQueue: the child read from node, added to a parent already known
// to be of the right class.
int AddFromNode(XMLNodeType kind, CXMLElement& parent, CXMLDOMNode& node, const CString& key,
                CXMLElement** newContainer) {
    int result = 0;
    CXMLElement* container = cu::detail::AddReadChild(kind, parent, key, DomText{node, CString()}, &result);
    if (newContainer != nullptr && (kind == eXMLArray || kind == eXMLDict)) *newContainer = container;
    return result;
}

}  // namespace

int CXMLDict::GetXMLDocInstance(CXMLDOMDocument2& doc) { return cu::detail::GetXMLDocInstance(doc); }

int CXMLDict::OpenXMLFile(CXMLDOMDocument2& doc, const CString& path) {
    return cu::detail::OpenXMLFile(doc, path);
}

int CXMLDict::LoadFromFile(const wchar_t* path) {
    if (path == nullptr) return 0;
    CoInitialize(nullptr);
    CXMLDOMDocument2 doc;
    if (GetXMLDocInstance(doc) == 0) return 0;
    cu::detail::PrepareForReader(doc);
    if (OpenXMLFile(doc, path) == 0) return 0;
    return cu::detail::ReadLoadedDocument(*this, doc);
}

int CXMLDict::LoadFromMemFile(wchar_t* text) {
    CoInitialize(nullptr);
    CXMLDOMDocument2 doc;
    if (GetXMLDocInstance(doc) == 0) return 0;
    cu::detail::PrepareForReader(doc);
    if (text != nullptr && !doc.LoadXML(text, std::wcslen(text))) return 0;
    return cu::detail::ReadLoadedDocument(*this, doc);
}

int CXMLDict::ReadFromXMLDocument(CXMLDOMDocument2& doc) {
    if (doc.IsNull()) return 0;
    // The last top-level node stands for the plist element.
    const CXMLDOMNodeList topLevel = doc.GetChildNodes();
    DomNodes nodes;
    return cu::detail::ReadPlist(*this, nodes, topLevel.GetItem(topLevel.GetLength() - 1));
}

XMLNodeType CXMLDict::GetNodeType(const CString& tagName) {
    const XMLNodeType kind =
        cu::detail::KindOfName(tagName.GetString(), static_cast<std::size_t>(tagName.GetLength()));
    return kind == cu::detail::kKeyNode ? eXMLNone : kind;
}

int CXMLDict::AddDictToQueue(XMLNodeType kind, CXMLElement* parent, CXMLDOMNode& node,
                             const CString& key, CXMLElement** newContainer) {
    if (dynamic_cast<CXMLDict*>(parent) == nullptr) return 0;
    return AddFromNode(kind, *parent, node, key, newContainer);
}

int CXMLDict::AddArrayToQueue(XMLNodeType kind, CXMLElement* parent, CXMLDOMNode& node,
                              const CString& key, CXMLElement** newContainer) {
    if (dynamic_cast<CXMLArray*>(parent) == nullptr) return 0;
    return AddFromNode(kind, *parent, node, key, newContainer);
}
