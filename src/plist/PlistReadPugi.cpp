// Reading a dictionary straight from pugixml's nodes: the walk of the DOM wrappers without the
// wrappers, tag names compared where they stand and numbers read from the parser's own text.
#include <array>
#include <cstddef>
#include <new>
#include <string>
#include <string_view>
#include <typeinfo>
#include <vector>

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
    // The text itself, for what decodes it on its own.
    std::string_view Utf8() const { return NodeText(m_node, m_scratch); }

private:
    pugi::xml_node m_node;
    std::string& m_scratch;
    std::wstring& m_wide;
};

// pugixml's nodes as the reader's view of a document. Only elements and processing instructions
// have names that can be a tag; every other node reads as "#text", "#comment" and the like.
// pugixml gives those nodes the empty name, and the declaration its "xml" in some case, neither
// of which is a tag, so a node's kind is read from its name alone.
class PugiNodes {
public:
    using Node = pugi::xml_node;
    static bool Exists(Node node) { return static_cast<bool>(node); }
    // The document keeps the text an element starts with in the element (PrepareForReader), and
    // such an element's first child is that text. Only elements have children or keep text.
    static Node FirstChild(Node node) { return *node.value() != '\0' ? Node() : node.first_child(); }
    static bool HasChildren(Node node) {
        return node.first_child() || (node.type() == pugi::node_element && *node.value() != '\0');
    }
    static Node First(Node node) { return node.first_child(); }
    static Node Next(Node node) { return node.next_sibling(); }
    template <typename F>
    static void ForEachChild(Node node, F f) {
        for (Node child = First(node); child; child = Next(child)) f(child);
    }
    static XMLNodeType Kind(Node node) {
        // No kind's name is longer than nine letters, so a name is measured no further than ten.
        const char* name = node.name();
        std::size_t length = 0;
        while (length < 10 && name[length] != '\0') ++length;
        return KindOfName(name, length);
    }
    // The same short keys come back in dictionary after dictionary, so the last one read into
    // each of a few slots is kept, and a key read again shares its text instead of being decoded
    // and stored once more. The walk holds on to the slot, not a copy of its text: the slot changes
    // only when the next key is read, which replaces the walk's key anyway.
    const CString& Key(Node node) {
        const std::string_view text = NodeText(node, m_scratch);
        if (text.size() > KeySlot::kLongest) {
            m_longKey = CString::FromUtf8(text.data(), text.size());
            return m_longKey;
        }
        std::size_t hash = text.size();
        for (const char c : text) hash = hash * 31 + static_cast<unsigned char>(c);
        KeySlot& slot = m_keys[hash % m_keys.size()];
        if (std::string_view(slot.bytes, slot.length) != text) {
            slot.key = CString::FromUtf8(text.data(), text.size());
            text.copy(slot.bytes, text.size());
            slot.length = text.size();
        }
        return slot.key;
    }
    // A parent of the library's own container classes, as every parent below the root is, is
    // known to add and look up as those classes do, so the child goes straight into its storage.
    // Any other goes through its own AddElement and lookup.
    CXMLElement* Add(XMLNodeType kind, CXMLElement& parent, Node node, const CString& key) {
        PugiText text(node, m_scratch, m_wide);
        const bool toDict = typeid(parent) == typeid(CXMLDict);
        if (!toDict && typeid(parent) != typeid(CXMLArray)) return AddReadChild(kind, parent, key, text);
        if (kind > eXMLDict || kind < eXMLBool) return nullptr;
        CXMLElement* child = MakeChild(kind, text);
        if (toDict) {
            auto& dict = static_cast<CXMLDict&>(parent);
            CXMLElement* stored = child != nullptr ? TreeAccess::Insert(dict, key, child) : nullptr;
            if (kind != eXMLArray && kind != eXMLDict) return nullptr;
            // A key with a '/' is a path, which the lookup follows.
            return stored != nullptr && key.Find(L'/') < 0 ? stored : dict[key];
        }
        auto& array = static_cast<CXMLArray&>(parent);
        if (child != nullptr) ReserveOnFirst(array, node);
        CXMLElement* stored = child != nullptr ? TreeAccess::Insert(array, -1, child) : nullptr;
        if (kind != eXMLArray && kind != eXMLDict) return nullptr;
        return stored != nullptr ? stored : array[static_cast<int>(array.GetSize()) - 1];
    }

private:
    // The child, made as the factory makes it from ReadValue's value, but with a string's text
    // decoded once and a real or a date read straight from the parser's text.
    CXMLElement* MakeChild(XMLNodeType kind, PugiText& text) const {
        if (kind == eXMLString || kind == eXMLStringPSW) return ElementFactory::MakeText(kind, text.Utf8());
        if (kind == eXMLReal) return ElementFactory::MakeReal(text.Utf8().data(), m_quickReals);
        if (kind == eXMLDate) return ElementFactory::MakeDate(text.Utf8());
        return ElementFactory::Make(kind, ReadValue(kind, text));
    }

    // An array's storage is sized when its first child comes, from the number of elements beside
    // it, instead of growing step by step. Storage that has room already was sized before, also
    // when that first child could not be stored.
    void ReserveOnFirst(CXMLArray& array, Node first) {
        std::vector<CXMLElement*>* children = TreeAccess::Children(array);
        if (children == nullptr || children->capacity() != 0) return;
        std::size_t count = 0;
        for (Node node = first; node; node = node.next_sibling()) {
            const XMLNodeType kind = Kind(node);
            count += kind >= eXMLBool && kind <= eXMLDict;
        }
        try {
            children->reserve(count);
        } catch (const std::bad_alloc&) {
            // Growing one child at a time will tell.
        }
    }

    const bool m_quickReals = ElementFactory::QuickReals();
    // Reused from node to node, so that gathering and widening text allocates only as it grows.
    std::string m_scratch;
    std::wstring m_wide;
    struct KeySlot {
        static constexpr std::size_t kLongest = 32;
        char bytes[kLongest];
        std::size_t length = 0;
        CString key;
    };
    std::array<KeySlot, 61> m_keys;
    CString m_longKey;
};

}  // namespace

void PrepareForReader(CXMLDOMDocument2& doc) { KeepTextInElements(doc); }

int ReadLoadedDocument(CXMLDict& dict, CXMLDOMDocument2& doc) {
    const pugi::xml_document* document = PugiDocument(doc);
    if (document == nullptr) return 0;
    PugiNodes nodes;
    // The last top-level node stands for the plist element.
    return ReadPlist(dict, nodes, document->last_child());
}

}  // namespace cu::detail
