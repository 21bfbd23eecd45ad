// Reading a dictionary straight from pugixml's nodes: the walk of the DOM wrappers without the
// wrappers, tag names compared where they stand and numbers read from the parser's own text.
#include <cstring>
#include <string>
#include <string_view>

#include "platform/Unicode.h"
#include "plist/PlistRead.h"
#include "plist/dom/DomPugi.h"

namespace cu::detail {
namespace {

// A node's UTF-8 text, as AddReadChild asks for it: only a scalar's, never a container's, which
// would be all the text below it. The text is zero-terminated wherever it stands, in the document
// or in the reader's scratch string.
class PugiText {
public:
    PugiText(pugi::xml_node node, std::string& scratch, std::wstring& wide)
        : m_node(node), m_scratch(scratch), m_wide(wide) {}

    bool IsTrue() const {
        const std::string_view text = NodeText(m_node, m_scratch);
        return EqualsNoCase(text.data(), text.size(), "true");
    }
    __int64 Integer() const { return ReadInteger(NodeText(m_node, m_scratch).data()); }
    const wchar_t* Wide() {
        const std::string_view text = NodeText(m_node, m_scratch);
        Utf8ToWide(text.data(), text.size(), m_wide);
        return m_wide.c_str();
    }

private:
    pugi::xml_node m_node;
    std::string& m_scratch;
    std::wstring& m_wide;
};

// pugixml's nodes as the reader's view of a document. Only elements and processing instructions
// have names that can be a tag; every other node reads as "#text", "#comment" and the like.
class PugiNodes {
public:
    using Node = pugi::xml_node;
    static bool Exists(Node node) { return static_cast<bool>(node); }
    static Node FirstChild(Node node) { return node.first_child(); }
    template <typename F>
    static void ForEachChild(Node node, F f) {
        for (Node child = node.first_child(); child; child = child.next_sibling()) f(child);
    }
    static XMLNodeType Kind(Node node) {
        if (node.type() != pugi::node_element && node.type() != pugi::node_pi) return eXMLNone;
        const char* name = node.name();
        return KindOfName(name, std::strlen(name));
    }
    CString Text(Node node) {
        const std::string_view text = NodeText(node, m_scratch);
        return CString::FromUtf8(text.data(), text.size());
    }
    CXMLElement* Add(XMLNodeType kind, CXMLElement& parent, Node node, const CString& key) {
        return AddReadChild(kind, parent, key, PugiText(node, m_scratch, m_wide));
    }

private:
    // Reused from node to node, so that gathering and widening text allocates only as it grows.
    std::string m_scratch;
    std::wstring m_wide;
};

}  // namespace

int ReadLoadedDocument(CXMLDict& dict, CXMLDOMDocument2& doc) {
    const pugi::xml_document* document = PugiDocument(doc);
    if (document == nullptr) return 0;
    PugiNodes nodes;
    // The last top-level node stands for the plist element.
    return ReadPlist(dict, nodes, document->last_child());
}

}  // namespace cu::detail
