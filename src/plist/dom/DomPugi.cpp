// The XML DOM wrappers on pugixml.
//
// pugixml parses, serialises and frees documents without recursion. It is more lenient than a
// validating DOM, so the text is checked before parsing (XmlCheck.cpp: references, character
// data, comments, declarations, the DTD) and the loaded document afterwards: one root element, no
// text outside it, no attribute twice on one element, UTF-8 input that is valid UTF-8, and a
// declared encoding that is one of those read here (UTF-8, UTF-16 with its byte-order mark,
// ISO-8859-1).
//
// pugixml has no detached nodes: a node made by CreateNode keeps its kind, name and text until it
// is appended, and only then becomes part of the tree. No node is ever removed from a tree here,
// because pugixml frees a removed subtree recursively.
#include <climits>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string>
#include <unordered_set>
#include <vector>

#include <pugixml.hpp>

#include "platform/Unicode.h"
#include "plist/dom/DomPugi.h"
#include "plist/dom/XmlCheck.h"
#include "platform/win32.h"

struct IXMLDOMDocument2 {
    long references = 1;
    pugi::xml_document document;
    // Kept for the interface only: white-space-only text is never a node here, as callers need.
    bool async = true;
    bool preserveWhiteSpace = false;
    // Set for a document that only the reader walks (KeepTextInElements).
    bool textInElements = false;
};

struct IXMLDOMNode {
    long references = 1;
    IXMLDOMDocument2* owner = nullptr;  // holds a reference
    pugi::xml_node node;                // empty for an attribute and while detached
    pugi::xml_attribute attribute;
    // A detached node: what it will be once appended.
    pugi::xml_node_type detachedType = pugi::node_null;
    std::string detachedName;
    std::string detachedText;

    ~IXMLDOMNode() { cu::detail::DomRelease(owner); }
};

struct IXMLDOMNodeList {
    long references = 1;
    IXMLDOMDocument2* owner = nullptr;
    std::vector<pugi::xml_node> items;
    ~IXMLDOMNodeList() { cu::detail::DomRelease(owner); }
};

struct IXMLDOMNamedNodeMap {
    long references = 1;
    IXMLDOMDocument2* owner = nullptr;
    pugi::xml_node element;
    ~IXMLDOMNamedNodeMap() { cu::detail::DomRelease(owner); }
};

namespace cu::detail {

template <class T>
void AddRefImpl(T* object) {
    if (object != nullptr) ++object->references;
}
template <class T>
void ReleaseImpl(T* object) {
    if (object != nullptr && --object->references == 0) delete object;
}

void DomAddRef(IXMLDOMDocument2* object) { AddRefImpl(object); }
void DomAddRef(IXMLDOMNode* object) { AddRefImpl(object); }
void DomAddRef(IXMLDOMNodeList* object) { AddRefImpl(object); }
void DomAddRef(IXMLDOMNamedNodeMap* object) { AddRefImpl(object); }
void DomRelease(IXMLDOMDocument2* object) { ReleaseImpl(object); }
void DomRelease(IXMLDOMNode* object) { ReleaseImpl(object); }
void DomRelease(IXMLDOMNodeList* object) { ReleaseImpl(object); }
void DomRelease(IXMLDOMNamedNodeMap* object) { ReleaseImpl(object); }

}  // namespace cu::detail

namespace {

constexpr unsigned kParseFlags = pugi::parse_default | pugi::parse_fragment | pugi::parse_declaration |
                                 pugi::parse_doctype | pugi::parse_comments | pugi::parse_pi;

unsigned ParseFlags(const IXMLDOMDocument2& document) {
    return document.textInElements ? kParseFlags | pugi::parse_embed_pcdata : kParseFlags;
}

CString Widen(const char* text, std::size_t length) {
    return CString(cu::detail::Utf8ToWide(text, length));
}

CString Widen(const char* text) { return Widen(text, std::strlen(text)); }

IXMLDOMNode* NewNode(IXMLDOMDocument2* owner) {
    auto* node = new IXMLDOMNode;
    node->owner = owner;
    cu::detail::DomAddRef(owner);
    return node;
}

CXMLDOMNode WrapNode(IXMLDOMDocument2* owner, pugi::xml_node node) {
    if (!node) return CXMLDOMNode();
    IXMLDOMNode* wrapped = NewNode(owner);
    wrapped->node = node;
    return CXMLDOMNode(wrapped);
}

CXMLDOMNodeList WrapChildren(IXMLDOMDocument2* owner, pugi::xml_node parent) {
    if (!parent) return CXMLDOMNodeList();
    auto* list = new IXMLDOMNodeList;
    list->owner = owner;
    cu::detail::DomAddRef(owner);
    for (pugi::xml_node child = parent.first_child(); child; child = child.next_sibling())
        list->items.push_back(child);
    return CXMLDOMNodeList(list);
}

// The character data below node in document order, walked without recursion. An element's value
// is the text it starts with where the document keeps that in the element, and empty otherwise.
void CollectText(pugi::xml_node node, std::string& text) {
    text.assign(node.value());
    pugi::xml_node current = node.first_child();
    while (current) {
        const pugi::xml_node_type type = current.type();
        if (type == pugi::node_pcdata || type == pugi::node_cdata || type == pugi::node_element)
            text += current.value();
        if (current.first_child()) {
            current = current.first_child();
            continue;
        }
        while (current != node && !current.next_sibling()) current = current.parent();
        if (current == node) break;
        current = current.next_sibling();
    }
}

bool IsValidUtf8(const unsigned char* p, const unsigned char* end) {
    constexpr std::uint64_t kHighBits = 0x8080808080808080u;
    while (p < end) {
        // Runs of ASCII, the bulk of a document, eight bytes at a test.
        if (end - p >= 8) {
            std::uint64_t eight;
            std::memcpy(&eight, p, sizeof eight);
            if ((eight & kHighBits) == 0) {
                p += 8;
                continue;
            }
        }
        if (*p < 0x80) {
            ++p;
            continue;
        }
        const unsigned char* start = p;
        const char32_t c = cu::detail::DecodeUtf8(p, end);
        // A real U+FFFD is three bytes; a shorter replacement marks a malformed sequence.
        if (c == cu::detail::kReplacementChar && p - start != 3) return false;
        if (c == cu::detail::kReplacementChar &&
            !(start[0] == 0xEF && start[1] == 0xBF && start[2] == 0xBD))
            return false;
    }
    return true;
}

// Picks the encoding of file bytes: a byte-order mark, else the declaration. False for an
// encoding that is not read here or UTF-8 that is not valid.
bool ChooseEncoding(const char* data, std::size_t size, pugi::xml_encoding& encoding) {
    const auto* bytes = reinterpret_cast<const unsigned char*>(data);
    if (size >= 2 && ((bytes[0] == 0xFF && bytes[1] == 0xFE) || (bytes[0] == 0xFE && bytes[1] == 0xFF))) {
        encoding = pugi::encoding_auto;  // UTF-16 (or UTF-32) with its byte-order mark
        return true;
    }
    std::size_t skip = 0;
    if (size >= 3 && bytes[0] == 0xEF && bytes[1] == 0xBB && bytes[2] == 0xBF) skip = 3;
    const std::string declared = cu::detail::DeclaredEncoding(data + skip, size - skip);
    if (skip == 0 && cu::detail::IsLatin1(declared)) {
        encoding = pugi::encoding_latin1;
        return true;
    }
    if (!declared.empty() && declared != "utf-8" && declared != "utf8" && declared != "us-ascii")
        return false;
    encoding = pugi::encoding_utf8;
    return IsValidUtf8(bytes + skip, bytes + size);
}

// What pugixml lets through but a well-formed document may not have. Attributes are looked at
// only where the text has a tag with several of them.
bool IsWellFormedTree(const pugi::xml_document& document, bool severalAttributes) {
    int roots = 0;
    for (pugi::xml_node child = document.first_child(); child; child = child.next_sibling()) {
        if (child.type() == pugi::node_element) ++roots;
        if (child.type() == pugi::node_pcdata || child.type() == pugi::node_cdata) return false;
    }
    if (roots != 1) return false;
    if (!severalAttributes) return true;

    std::unordered_set<std::string> names;
    for (pugi::xml_node node = document.first_child(); node;) {
        if (node.type() == pugi::node_element && node.first_attribute() != node.last_attribute()) {
            names.clear();
            for (pugi::xml_attribute a = node.first_attribute(); a; a = a.next_attribute())
                if (!names.insert(a.name()).second) return false;
        }
        if (node.first_child()) {
            node = node.first_child();
            continue;
        }
        while (node && !node.next_sibling()) node = node.parent();
        if (node) node = node.next_sibling();
    }
    return true;
}

bool FinishLoad(IXMLDOMDocument2& doc, const pugi::xml_parse_result& result, bool severalAttributes) {
    if (result && IsWellFormedTree(doc.document, severalAttributes)) return true;
    doc.document.reset();
    return false;
}

// Serialises every top-level node, one to a line, as UTF-8.
struct StringWriter : pugi::xml_writer {
    std::string text;
    void write(const void* data, std::size_t size) override {
        text.append(static_cast<const char*>(data), size);
    }
};

// Every reader turns a raw carriage return into a line feed, so one in character data is written
// as a character reference, and one in a CDATA section ends the section around the reference.
// pugixml escapes them in attribute values itself; comments and processing instructions cannot
// carry a reference and keep theirs. The text is pugixml's own output, so this small scan of its
// markup is exact.
std::string KeepCarriageReturns(const std::string& text) {
    std::string out;
    out.reserve(text.size() + 64);
    std::size_t at = 0;
    while (at < text.size()) {
        const std::size_t next = text.find_first_of("<\r", at);
        if (next == std::string::npos) {
            out.append(text, at, std::string::npos);
            break;
        }
        out.append(text, at, next - at);
        if (text[next] == '\r') {
            out += "&#13;";
            at = next + 1;
            continue;
        }
        // Markup: copied up to its end; a CDATA section's carriage returns become references.
        const bool cdata = text.compare(next, 9, "<![CDATA[") == 0;
        const char* end = cdata ? "]]>" : text.compare(next, 4, "<!--") == 0 ? "-->"
                                      : text.compare(next, 2, "<?") == 0   ? "?>"
                                                                           : ">";
        std::size_t close = text.find(end, next);
        close = close == std::string::npos ? text.size() : close + std::strlen(end);
        for (std::size_t i = next; i < close; ++i) {
            if (cdata && text[i] == '\r')
                out += "]]>&#13;<![CDATA[";
            else
                out += text[i];
        }
        at = close;
    }
    return out;
}

std::string Serialize(const pugi::xml_document& document) {
    StringWriter writer;
    for (pugi::xml_node node = document.first_child(); node; node = node.next_sibling()) {
        node.print(writer, "", pugi::format_raw, pugi::encoding_utf8);
        writer.text += '\n';
    }
    if (writer.text.find('\r') == std::string::npos) return writer.text;
    return KeepCarriageReturns(writer.text);
}

// The number of bytes of the UTF-8 form of wide text whose units are all characters.
std::size_t Utf8Size(const wchar_t* text, std::size_t length) {
    std::size_t size = 0;
    for (std::size_t i = 0; i < length; ++i) {
        const auto c = static_cast<std::uint32_t>(text[i]);
        size += 1 + (c >= 0x80) + (c >= 0x800) + (c >= 0x10000);
    }
    return size;
}

// The UTF-8 form of checked wide text in a buffer for the parser to take over (*size bytes), or
// null when memory ran out. The lexical check has refused every unit that is not a character, so
// these are the bytes pugixml's own conversion would make, made in one pass instead of two: the
// buffer is sized for ASCII with some room, as most of a document is, and sized again exactly
// only if the text needs more; runs of ASCII go four units at a time.
char* Utf8ForParser(const wchar_t* text, std::size_t length, std::size_t& size) {
    std::size_t capacity = length + length / 8 + 8;
    char* buffer = CXMLDOMDocument2::AllocateBuffer(capacity);
    if (buffer == nullptr) return nullptr;
    char* out = buffer;
    for (std::size_t i = 0; i < length;) {
        if (static_cast<std::size_t>(buffer + capacity - out) < 4) {
            const auto used = static_cast<std::size_t>(out - buffer);
            const std::size_t rest = Utf8Size(text + i, length - i);
            char* grown = CXMLDOMDocument2::AllocateBuffer(used + rest + 4);
            if (grown == nullptr) {
                CXMLDOMDocument2::FreeBuffer(buffer);
                return nullptr;
            }
            std::memcpy(grown, buffer, used);
            CXMLDOMDocument2::FreeBuffer(buffer);
            buffer = grown;
            capacity = used + rest + 4;
            out = buffer + used;
        }
        if (i + 4 <= length) {
            const auto a = static_cast<std::uint32_t>(text[i]), b = static_cast<std::uint32_t>(text[i + 1]);
            const auto c = static_cast<std::uint32_t>(text[i + 2]), d = static_cast<std::uint32_t>(text[i + 3]);
            if (((a | b | c | d) & ~std::uint32_t{0x7F}) == 0) {
                out[0] = static_cast<char>(a);
                out[1] = static_cast<char>(b);
                out[2] = static_cast<char>(c);
                out[3] = static_cast<char>(d);
                out += 4;
                i += 4;
                continue;
            }
        }
        const wchar_t* unit = text + i;
        out += cu::detail::EncodeUtf8(cu::detail::DecodeWide(unit, text + length), out);
        i = static_cast<std::size_t>(unit - text);
    }
    size = static_cast<std::size_t>(out - buffer);
    return buffer;
}

}  // namespace

CString CXMLDOMNode::GetNodeName() const {
    if (m_pInterface == nullptr) return CString();
    if (m_pInterface->attribute) return Widen(m_pInterface->attribute.name());
    const pugi::xml_node node = m_pInterface->node;
    switch (node.type()) {
        case pugi::node_element:
        case pugi::node_pi: return Widen(node.name());
        case pugi::node_declaration: return CString(L"xml");
        case pugi::node_pcdata: return CString(L"#text");
        case pugi::node_cdata: return CString(L"#cdata-section");
        case pugi::node_comment: return CString(L"#comment");
        case pugi::node_document: return CString(L"#document");
        case pugi::node_doctype: {
            const std::string value = node.value();
            return Widen(value.substr(0, value.find_first_of(" \t\r\n[")).c_str());
        }
        default: return Widen(m_pInterface->detachedName.c_str());
    }
}

bool CXMLDOMNode::IsElement() const {
    return m_pInterface != nullptr && !m_pInterface->attribute &&
           (m_pInterface->node.type() == pugi::node_element ||
            m_pInterface->detachedType == pugi::node_element);
}

CString CXMLDOMNode::GetText() const {
    if (m_pInterface == nullptr) return CString();
    if (m_pInterface->attribute) return Widen(m_pInterface->attribute.value());
    if (!m_pInterface->node) return Widen(m_pInterface->detachedText.c_str());
    std::string scratch;
    const std::string_view text = cu::detail::NodeText(m_pInterface->node, scratch);
    return Widen(text.data(), text.size());
}

bool CXMLDOMNode::SetText(const CString& text) {
    if (m_pInterface == nullptr) return false;
    const std::string utf8 = text.ToUtf8();
    if (m_pInterface->attribute) return m_pInterface->attribute.set_value(utf8.c_str());
    pugi::xml_node node = m_pInterface->node;
    if (!node) {
        m_pInterface->detachedText = utf8;
        return true;
    }
    if (node.type() != pugi::node_element) return node.set_value(utf8.c_str());
    // Only nodes the writer has just made get text, so this removes no deep subtree.
    while (node.first_child()) node.remove_child(node.first_child());
    return utf8.empty() || node.append_child(pugi::node_pcdata).set_value(utf8.c_str());
}

CXMLDOMNodeList CXMLDOMNode::GetChildNodes() const {
    if (m_pInterface == nullptr || m_pInterface->attribute) return CXMLDOMNodeList();
    return WrapChildren(m_pInterface->owner, m_pInterface->node);
}

bool CXMLDOMNode::AppendChild(const CXMLDOMNode& child) {
    IXMLDOMNode* parent = m_pInterface;
    IXMLDOMNode* added = child.m_pInterface;
    if (parent == nullptr || added == nullptr || !parent->node || added->attribute ||
        parent->owner != added->owner)
        return false;
    if (added->node) return static_cast<bool>(parent->node.append_move(added->node));

    pugi::xml_node node = parent->node.append_child(added->detachedType);
    if (!node) return false;
    if (added->detachedType == pugi::node_element) {
        node.set_name(added->detachedName.c_str());
        if (!added->detachedText.empty())
            node.append_child(pugi::node_pcdata).set_value(added->detachedText.c_str());
    } else {
        node.set_value(added->detachedText.c_str());
    }
    added->node = node;
    added->detachedText.clear();
    return true;
}

CXMLDOMNamedNodeMap CXMLDOMNode::GetAttributes() const {
    if (m_pInterface == nullptr || m_pInterface->node.type() != pugi::node_element)
        return CXMLDOMNamedNodeMap();
    auto* map = new IXMLDOMNamedNodeMap;
    map->owner = m_pInterface->owner;
    cu::detail::DomAddRef(map->owner);
    map->element = m_pInterface->node;
    return CXMLDOMNamedNodeMap(map);
}

CXMLDOMNode CXMLDOMNode::SelectSingleNode(const CString& name) const {
    if (m_pInterface == nullptr || !m_pInterface->node) return CXMLDOMNode();
    const std::string wanted = name.ToUtf8();
    for (pugi::xml_node child = m_pInterface->node.first_child(); child; child = child.next_sibling())
        if (child.type() == pugi::node_element && wanted == child.name())
            return WrapNode(m_pInterface->owner, child);
    return CXMLDOMNode();
}

long CXMLDOMNodeList::GetLength() const {
    return m_pInterface != nullptr ? static_cast<long>(m_pInterface->items.size()) : 0;
}

CXMLDOMNode CXMLDOMNodeList::GetItem(long index) const {
    if (m_pInterface == nullptr || index < 0 || index >= GetLength()) return CXMLDOMNode();
    return WrapNode(m_pInterface->owner, m_pInterface->items[static_cast<std::size_t>(index)]);
}

CXMLDOMNode CXMLDOMNamedNodeMap::GetNamedItem(const CString& name) const {
    if (m_pInterface == nullptr) return CXMLDOMNode();
    const pugi::xml_attribute attribute = m_pInterface->element.attribute(name.ToUtf8().c_str());
    if (!attribute) return CXMLDOMNode();
    IXMLDOMNode* node = NewNode(m_pInterface->owner);
    node->attribute = attribute;
    return CXMLDOMNode(node);
}

bool CXMLDOMDocument2::Create() {
    Reset(new (std::nothrow) IXMLDOMDocument2);
    return m_pInterface != nullptr;
}

bool CXMLDOMDocument2::SetAsync(bool async) {
    if (m_pInterface == nullptr) return false;
    m_pInterface->async = async;
    return true;
}

bool CXMLDOMDocument2::SetPreserveWhiteSpace(VARIANT_BOOL preserve) {
    if (m_pInterface == nullptr) return false;
    m_pInterface->preserveWhiteSpace = preserve != VARIANT_FALSE;
    return true;
}

char* CXMLDOMDocument2::AllocateBuffer(std::size_t size) {
    return static_cast<char*>(pugi::get_memory_allocation_function()(size != 0 ? size : 1));
}

void CXMLDOMDocument2::FreeBuffer(char* buffer) {
    if (buffer != nullptr) pugi::get_memory_deallocation_function()(buffer);
}

// pugixml takes the buffer over and parses it in place, freeing it with the document.
bool CXMLDOMDocument2::LoadBuffer(char* buffer, std::size_t size) {
    if (m_pInterface == nullptr) {
        FreeBuffer(buffer);
        return false;
    }
    m_pInterface->document.reset();
    pugi::xml_encoding encoding;
    bool severalAttributes = true;
    if (!ChooseEncoding(buffer, size, encoding) ||
        !cu::detail::IsLexicallyWellFormed(buffer, size, &severalAttributes)) {
        FreeBuffer(buffer);
        return false;
    }
    return FinishLoad(*m_pInterface,
                      m_pInterface->document.load_buffer_inplace_own(buffer, size, ParseFlags(*m_pInterface), encoding),
                      severalAttributes);
}

bool CXMLDOMDocument2::LoadXML(const wchar_t* text, std::size_t length) {
    if (m_pInterface == nullptr) return false;
    bool severalAttributes = true;
    if (text == nullptr || !cu::detail::IsLexicallyWellFormed(text, length, &severalAttributes)) {
        m_pInterface->document.reset();
        return false;
    }
    std::size_t size = 0;
    char* buffer = Utf8ForParser(text, length, size);
    if (buffer == nullptr) {
        m_pInterface->document.reset();
        return false;
    }
    const pugi::xml_parse_result result = m_pInterface->document.load_buffer_inplace_own(
        buffer, size, ParseFlags(*m_pInterface), pugi::encoding_utf8);
    return FinishLoad(*m_pInterface, result, severalAttributes);
}

bool CXMLDOMDocument2::GetFileText(std::string& text) const {
    if (m_pInterface == nullptr) return false;
    text = Serialize(m_pInterface->document);
    return true;
}

BSTR CXMLDOMDocument2::GetXml() const {
    if (m_pInterface == nullptr) return nullptr;
    const std::string text = Serialize(m_pInterface->document);
    if (text.size() > INT_MAX) return nullptr;
    const int length = static_cast<int>(text.size());
    const int needed = length ? MultiByteToWideChar(CP_UTF8, 0, text.data(), length, nullptr, 0) : 0;
    BSTR out = SysAllocStringLen(nullptr, static_cast<UINT>(needed));
    if (out != nullptr && needed > 0) MultiByteToWideChar(CP_UTF8, 0, text.data(), length, out, needed);
    return out;
}

CXMLDOMNode CXMLDOMDocument2::CreateNode(DomNodeType type, const CString& name) {
    if (m_pInterface == nullptr || (type != kDomElement && type != kDomCData)) return CXMLDOMNode();
    IXMLDOMNode* node = NewNode(m_pInterface);
    node->detachedType = type == kDomElement ? pugi::node_element : pugi::node_cdata;
    node->detachedName = name.ToUtf8();
    return CXMLDOMNode(node);
}

CXMLDOMNodeList CXMLDOMDocument2::GetChildNodes() const {
    if (m_pInterface == nullptr) return CXMLDOMNodeList();
    return WrapChildren(m_pInterface, m_pInterface->document);
}

namespace cu::detail {

void KeepTextInElements(CXMLDOMDocument2& doc) {
    if (!doc.IsNull()) doc.Get()->textInElements = true;
}

const pugi::xml_document* PugiDocument(const CXMLDOMDocument2& doc) {
    return doc.IsNull() ? nullptr : &doc.Get()->document;
}

std::string_view NodeText(pugi::xml_node node, std::string& scratch) {
    // Only elements and the document have children, so a node without any holds all its text
    // in its value: any other node, and an element that keeps its text in itself or has none.
    // The common cases, the text in the element itself or in its one child, need no gathering copy.
    const pugi::xml_node only = node.first_child();
    if (!only) return node.value();
    if (*node.value() == '\0' && !only.next_sibling()) {
        const pugi::xml_node_type onlyType = only.type();
        if (onlyType == pugi::node_pcdata || onlyType == pugi::node_cdata) return only.value();
    }
    CollectText(node, scratch);
    return scratch;
}

}  // namespace cu::detail
