// Reading a CXMLDict from property-list XML: a breadth-first walk of the DOM with a work queue.
#include <climits>
#include <cstdlib>
#include <cwchar>
#include <deque>
#include <utility>
#include <vector>

#include "commonutility/XMLDict.h"
#include "plist/ElementTree.h"
#include "plist/dom/Dom.h"
#include "platform/win32.h"

namespace {

// A DOM node still to read, and the element it is read into (null: drop it and its content).
struct ReadQueueItem {
    CXMLDOMNode node;
    CXMLElement* parent;
};

void QueueChildren(std::deque<ReadQueueItem>& queue, const CXMLDOMNode& node, CXMLElement* parent) {
    const CXMLDOMNodeList children = node.GetChildNodes();
    const long count = children.GetLength();
    for (long i = 0; i < count; ++i) queue.push_back({children.GetItem(i), parent});
}

// An integer as C atoi reads it (blanks, a sign, digits), held at the ends of the 32-bit range
// instead of overflowing.
__int64 ReadInteger(const CString& text) {
    const long long value = std::strtoll(text.ToUtf8().c_str(), nullptr, 10);
    if (value > INT_MAX) return INT_MAX;
    if (value < INT_MIN) return INT_MIN;
    return value;
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
    if (GetXMLDocInstance(doc) == 0 || OpenXMLFile(doc, path) == 0) return 0;
    return ReadFromXMLDocument(doc);
}

int CXMLDict::LoadFromMemFile(wchar_t* text) {
    CoInitialize(nullptr);
    CXMLDOMDocument2 doc;
    if (GetXMLDocInstance(doc) == 0) return 0;
    if (text != nullptr && !doc.LoadXML(text, std::wcslen(text))) return 0;
    return ReadFromXMLDocument(doc);
}

// The checks come before the dictionary is emptied, so a document of the wrong shape leaves it
// as it was. Names are not checked: the last top-level node stands for the plist element and its
// first child for the root container.
int CXMLDict::ReadFromXMLDocument(CXMLDOMDocument2& doc) {
    if (doc.IsNull()) return 0;
    const CXMLDOMNodeList topLevel = doc.GetChildNodes();
    if (topLevel.GetLength() == 0) return 0;
    const CXMLDOMNode plist = topLevel.GetItem(topLevel.GetLength() - 1);
    const CXMLDOMNodeList plistChildren = plist.GetChildNodes();
    if (plist.IsNull() || plistChildren.GetLength() == 0) return 0;
    const CXMLDOMNode root = plistChildren.GetItem(0);
    if (root.IsNull() || root.GetChildNodes().GetLength() == 0) return 0;
    if (m_pEntries == nullptr) return 0;

    cu::detail::TreeAccess::Clear(*this);

    // Values without a key element of their own take the key read last, anywhere before them.
    CString key;
    std::deque<ReadQueueItem> queue;
    QueueChildren(queue, root, this);
    while (!queue.empty()) {
        ReadQueueItem item = std::move(queue.front());
        queue.pop_front();
        const CString name = item.node.GetNodeName();
        if (name.CompareNoCase(L"key") == 0) {
            key = item.node.GetText();
            continue;
        }
        if (item.parent == nullptr) continue;
        const XMLNodeType kind = GetNodeType(name);
        CXMLElement* container = nullptr;
        if (item.parent->GetIniNodeType() == eXMLDict)
            AddDictToQueue(kind, item.parent, item.node, key, &container);
        else
            AddArrayToQueue(kind, item.parent, item.node, key, &container);
        if (kind == eXMLArray || kind == eXMLDict) QueueChildren(queue, item.node, container);
    }
    return 1;
}

XMLNodeType CXMLDict::GetNodeType(const CString& tagName) {
    static const struct {
        const wchar_t* name;
        XMLNodeType kind;
    } kinds[] = {{L"dict", eXMLDict},       {L"array", eXMLArray},      {L"string", eXMLString},
                 {L"stringpsw", eXMLStringPSW}, {L"integer", eXMLInt}, {L"date", eXMLDate},
                 {L"real", eXMLReal},       {L"boolean", eXMLBool}};
    for (const auto& entry : kinds)
        if (tagName.CompareNoCase(entry.name) == 0) return entry.kind;
    return eXMLNone;
}

namespace {

// Adds one child read from node to parent, at the end of an array or under key in a dictionary,
// and gives back the container that the node's own children go into.
template <typename Add, typename Find>
int AddChild(XMLNodeType kind, CXMLDOMNode& node, CXMLElement** newContainer, Add add, Find find) {
    if (kind > eXMLDict || kind < eXMLBool) return 0;
    int result;
    if (kind == eXMLArray || kind == eXMLDict) {
        // A container's text would be all the text below it: it is not needed, so not read.
        result = add(kind, 0);
        if (newContainer != nullptr) *newContainer = find();
        return result;
    }
    const CString text = node.GetText();
    switch (kind) {
        case eXMLBool: result = add(kind, text.CompareNoCase(L"true") == 0 ? 1 : 0); break;
        case eXMLInt: result = add(kind, static_cast<unsigned __int64>(ReadInteger(text))); break;
        default:  // real, string, stringpsw and date take the text itself
            result = add(kind, reinterpret_cast<std::uintptr_t>(text.GetString()));
            break;
    }
    return result;
}

}  // namespace

int CXMLDict::AddDictToQueue(XMLNodeType kind, CXMLElement* parent, CXMLDOMNode& node,
                             const CString& key, CXMLElement** newContainer) {
    auto* dict = dynamic_cast<CXMLDict*>(parent);
    if (dict == nullptr) return 0;
    return AddChild(
        kind, node, newContainer,
        [&](XMLNodeType k, unsigned __int64 value) { return dict->AddElement(key, k, value); },
        [&] { return (*dict)[key]; });
}

int CXMLDict::AddArrayToQueue(XMLNodeType kind, CXMLElement* parent, CXMLDOMNode& node,
                              const CString& /*key*/, CXMLElement** newContainer) {
    // Any other element answers neither AddElement nor operator[]: its content is dropped.
    auto* array = dynamic_cast<CXMLArray*>(parent);
    if (array == nullptr) return 0;
    return AddChild(
        kind, node, newContainer,
        [&](XMLNodeType k, unsigned __int64 value) { return array->AddElement(-1, k, value); },
        [&] { return (*array)[static_cast<int>(array->GetSize()) - 1]; });
}
