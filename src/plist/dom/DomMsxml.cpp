// The XML DOM wrappers on MSXML 3.0 through COM.
//
// Strings pass as BSTR copies; running out of memory while making one throws std::bad_alloc.
// External resources are not resolved. A DTD may be present, but every text is checked before the
// DOM parses it (XmlCheck.cpp), as on POSIX: a DTD that declares entities never reaches the
// parser, so no entity beyond the predefined ones and character references is ever expanded.
#include <windows.h>
#include <ole2.h>
#include <msxml2.h>
#include <shlwapi.h>

#include <algorithm>
#include <cstdlib>
#include <new>
#include <string>
#include <vector>

#include "plist/dom/Dom.h"
#include "plist/dom/XmlCheck.h"

namespace cu::detail {

void DomAddRef(IXMLDOMDocument2* object) { object->AddRef(); }
void DomAddRef(IXMLDOMNode* object) { object->AddRef(); }
void DomAddRef(IXMLDOMNodeList* object) { object->AddRef(); }
void DomAddRef(IXMLDOMNamedNodeMap* object) { object->AddRef(); }
void DomRelease(IXMLDOMDocument2* object) { object->Release(); }
void DomRelease(IXMLDOMNode* object) { object->Release(); }
void DomRelease(IXMLDOMNodeList* object) { object->Release(); }
void DomRelease(IXMLDOMNamedNodeMap* object) { object->Release(); }

}  // namespace cu::detail

namespace {

// The 3.0 DOM document, then the version-independent one.
const CLSID kDomDocument30 = {0xF5078F32, 0xC551, 0x11D3, {0x89, 0xB9, 0x00, 0x00, 0xF8, 0x1F, 0xE2, 0x21}};
const CLSID kDomDocument = {0xF6D90F11, 0x9C73, 0x11D3, {0xB3, 0x2E, 0x00, 0xC0, 0x4F, 0x99, 0x0B, 0xB4}};
const IID kIXMLDOMDocument2 = {0x2933BF95, 0x7B36, 0x11D2, {0xB2, 0x0E, 0x00, 0xC0, 0x4F, 0x98, 0x3E, 0x60}};

// A BSTR copy of a text, freed at the end of the scope.
class Bstr {
public:
    explicit Bstr(const CString& text) : Bstr(text.GetString(), static_cast<std::size_t>(text.GetLength())) {}
    Bstr(const wchar_t* text, std::size_t length)
        : m_text(SysAllocStringLen(text, static_cast<UINT>(length))) {
        if (m_text == nullptr) throw std::bad_alloc();
    }
    Bstr() = default;
    ~Bstr() { SysFreeString(m_text); }
    Bstr(const Bstr&) = delete;
    Bstr& operator=(const Bstr&) = delete;
    operator BSTR() const { return m_text; }
    BSTR* Out() { return &m_text; }
    CString Take() const { return m_text ? CString(m_text, static_cast<int>(SysStringLen(m_text))) : CString(); }

private:
    BSTR m_text = nullptr;
};

class Variant {
public:
    Variant() { VariantInit(&m_value); }
    ~Variant() { VariantClear(&m_value); }
    Variant(const Variant&) = delete;
    Variant& operator=(const Variant&) = delete;
    VARIANT& get() { return m_value; }

private:
    VARIANT m_value;
};

// Holds one COM reference.
template <class T>
class ComRef {
public:
    ComRef() = default;
    explicit ComRef(T* object) : m_object(object) {}
    ~ComRef() { Reset(nullptr); }
    ComRef(const ComRef&) = delete;
    ComRef& operator=(const ComRef&) = delete;
    void Reset(T* object) {
        if (m_object != nullptr) m_object->Release();
        m_object = object;
    }
    T* get() const { return m_object; }
    T** Out() {
        Reset(nullptr);
        return &m_object;
    }
    T* operator->() const { return m_object; }

private:
    T* m_object = nullptr;
};

CString NameOf(IXMLDOMNode* node) {
    Bstr name;
    node->get_nodeName(name.Out());
    return name.Take();
}

CString ValueOf(IXMLDOMNode* node) {
    Variant value;
    if (FAILED(node->get_nodeValue(&value.get())) || value.get().vt != VT_BSTR) return CString();
    return CString(value.get().bstrVal, static_cast<int>(SysStringLen(value.get().bstrVal)));
}

void AppendEscaped(std::wstring& out, const CString& text, bool attribute) {
    for (int i = 0; i < text.GetLength(); ++i) {
        const wchar_t c = text[i];
        switch (c) {
            case L'&': out += L"&amp;"; break;
            case L'<': out += L"&lt;"; break;
            case L'>': out += L"&gt;"; break;
            // Every reader turns a raw carriage return into a line feed.
            case L'\r': out += L"&#13;"; break;
            case L'"':
                if (attribute) {
                    out += L"&quot;";
                    break;
                }
                out += c;
                break;
            default: out += c; break;
        }
    }
}

// Writes a node: an element's start tag (or the whole element when it has no children), or a
// leaf node whole.
void AppendOpening(std::wstring& out, IXMLDOMNode* node, bool hasChildren) {
    DOMNodeType type = NODE_INVALID;
    node->get_nodeType(&type);
    switch (type) {
        case NODE_ELEMENT: {
            out += L'<';
            out += NameOf(node).GetString();
            ComRef<IXMLDOMNamedNodeMap> attributes;
            long count = 0;
            if (SUCCEEDED(node->get_attributes(attributes.Out())) && attributes.get() != nullptr)
                attributes->get_length(&count);
            for (long i = 0; i < count; ++i) {
                ComRef<IXMLDOMNode> attribute;
                if (FAILED(attributes->get_item(i, attribute.Out())) || attribute.get() == nullptr) continue;
                out += L' ';
                out += NameOf(attribute.get()).GetString();
                out += L"=\"";
                AppendEscaped(out, ValueOf(attribute.get()), true);
                out += L'"';
            }
            out += hasChildren ? L">" : L"/>";
            break;
        }
        case NODE_TEXT: AppendEscaped(out, ValueOf(node), false); break;
        case NODE_CDATA_SECTION: {
            // A carriage return ends the section around its character reference.
            out += L"<![CDATA[";
            const CString value = ValueOf(node);
            for (int i = 0; i < value.GetLength(); ++i) {
                if (value[i] == L'\r')
                    out += L"]]>&#13;<![CDATA[";
                else
                    out += value[i];
            }
            out += L"]]>";
            break;
        }
        case NODE_COMMENT:
            out += L"<!--";
            out += ValueOf(node).GetString();
            out += L"-->";
            break;
        case NODE_PROCESSING_INSTRUCTION:
            out += L"<?";
            out += NameOf(node).GetString();
            out += L' ';
            out += ValueOf(node).GetString();
            out += L"?>";
            break;
        default: break;
    }
}

// The document as text, each top-level node on a line of its own. The DOM's own serialiser may
// indent; the property-list form allows no white space between elements, so it is written here,
// walking the tree without recursion.
std::wstring Serialize(IXMLDOMDocument2* document) {
    std::wstring out;
    ComRef<IXMLDOMNode> top;
    document->get_firstChild(top.Out());
    while (top.get() != nullptr) {
        // COM hands out a new pointer for the same node now and then, so the walk counts its depth
        // instead of comparing pointers.
        IXMLDOMNode* node = top.get();
        node->AddRef();
        int depth = 0;
        for (;;) {
            DOMNodeType type = NODE_INVALID;
            node->get_nodeType(&type);
            IXMLDOMNode* child = nullptr;
            if (type == NODE_ELEMENT && (node->get_firstChild(&child) != S_OK)) child = nullptr;
            AppendOpening(out, node, child != nullptr);
            if (child != nullptr) {
                node->Release();
                node = child;
                ++depth;
                continue;
            }
            // Climb until a sibling follows, closing the elements left behind.
            IXMLDOMNode* next = nullptr;
            while (depth > 0 && (node->get_nextSibling(&next) != S_OK || next == nullptr)) {
                IXMLDOMNode* parent = nullptr;
                node->get_parentNode(&parent);
                node->Release();
                node = parent;
                if (node == nullptr) break;
                --depth;
                out += L"</";
                out += NameOf(node).GetString();
                out += L'>';
            }
            if (node != nullptr) node->Release();
            if (node == nullptr || depth == 0) break;
            node = next;
        }
        out += L'\n';
        IXMLDOMNode* following = nullptr;
        if (top->get_nextSibling(&following) != S_OK) following = nullptr;
        top.Reset(following);
    }
    return out;
}

// The character data below root in document order, walked without recursion.
std::wstring CollectText(IXMLDOMNode* root) {
    std::wstring out;
    IXMLDOMNode* node = nullptr;
    if (root->get_firstChild(&node) != S_OK) return out;
    int depth = 1;  // of node below root
    while (node != nullptr) {
        DOMNodeType type = NODE_INVALID;
        node->get_nodeType(&type);
        if (type == NODE_TEXT || type == NODE_CDATA_SECTION) out += ValueOf(node).GetString();
        IXMLDOMNode* next = nullptr;
        if (type == NODE_ELEMENT && node->get_firstChild(&next) == S_OK && next != nullptr) {
            node->Release();
            node = next;
            ++depth;
            continue;
        }
        // Along, else up until a sibling follows; never above root.
        for (;;) {
            next = nullptr;
            if (node->get_nextSibling(&next) == S_OK && next != nullptr) break;
            IXMLDOMNode* parent = nullptr;
            if (depth > 1) node->get_parentNode(&parent);
            node->Release();
            node = parent;
            --depth;
            if (node == nullptr) break;
        }
        if (node == nullptr) break;
        node->Release();
        node = next;
    }
    return out;
}

bool IsCharacterData(IXMLDOMNode* node) {
    DOMNodeType type = NODE_INVALID;
    return node != nullptr && SUCCEEDED(node->get_nodeType(&type)) &&
           (type == NODE_TEXT || type == NODE_CDATA_SECTION);
}

// Whether a sibling next to node is text or a CDATA section too.
bool BesideCharacterData(IXMLDOMNode* node) {
    ComRef<IXMLDOMNode> previous, next;
    if (node->get_previousSibling(previous.Out()) != S_OK) previous.Reset(nullptr);
    if (node->get_nextSibling(next.Out()) != S_OK) next.Reset(nullptr);
    return IsCharacterData(previous.get()) || IsCharacterData(next.get());
}

// White-space-only text is not a node for the library's callers, but a DOM keeps it where it is an
// element's only content (as in "<plist>\n</plist>"): such nodes are removed after every load.
// The walk starts at the root element, since no text comes before it: Wine's doctype node has no
// sibling, so a walk from the document's first child stopped there.
void RemoveBlankText(IXMLDOMDocument2* document) {
    std::vector<IXMLDOMNode*> blank;
    IXMLDOMElement* root = nullptr;
    if (document->get_documentElement(&root) != S_OK) root = nullptr;
    IXMLDOMNode* node = root;  // the element's reference, taken over
    while (node != nullptr) {
        DOMNodeType type = NODE_INVALID;
        node->get_nodeType(&type);
        if (type == NODE_TEXT) {
            Bstr text;
            node->get_text(text.Out());
            const CString value = text.Take();
            // The parser has turned every raw carriage return into a line feed, so text with one
            // came from a character reference: it is content, not layout. So is white space that
            // the parser split off a longer run of character data.
            bool onlySpace = true;
            for (int i = 0; i < value.GetLength() && onlySpace; ++i)
                onlySpace = value[i] == L' ' || value[i] == L'\t' || value[i] == L'\n';
            if (onlySpace && !BesideCharacterData(node)) {
                node->AddRef();
                blank.push_back(node);
            }
        }
        // Depth first without recursion: down, else along, else up until a sibling exists.
        IXMLDOMNode* next = nullptr;
        if (node->get_firstChild(&next) != S_OK || next == nullptr) {
            IXMLDOMNode* current = node;
            current->AddRef();
            while (current != nullptr && (current->get_nextSibling(&next) != S_OK || next == nullptr)) {
                IXMLDOMNode* parent = nullptr;
                current->get_parentNode(&parent);
                current->Release();
                current = parent;
            }
            if (current != nullptr) current->Release();
        }
        node->Release();
        node = next;
    }
    for (IXMLDOMNode* text : blank) {
        IXMLDOMNode* parent = nullptr;
        IXMLDOMNode* removed = nullptr;
        if (SUCCEEDED(text->get_parentNode(&parent)) && parent != nullptr) {
            if (SUCCEEDED(parent->removeChild(text, &removed)) && removed != nullptr) removed->Release();
            parent->Release();
        }
        text->Release();
    }
}

// The check before parsing refuses entity declarations; this catches a file that changed between
// that check and the DOM's own read: none of its entities may reach a caller.
// Caveats: a DOM without an entity map has the doctype's text searched instead; Wine 8 offers
// neither, so there the check before parsing stands alone.
bool DeclaresEntities(IXMLDOMDocument2* document) {
    ComRef<IXMLDOMDocumentType> doctype;
    if (FAILED(document->get_doctype(doctype.Out())) || doctype.get() == nullptr) return false;
    ComRef<IXMLDOMNamedNodeMap> entities;
    long count = 0;
    if (SUCCEEDED(doctype->get_entities(entities.Out())) && entities.get() != nullptr &&
        SUCCEEDED(entities->get_length(&count)))
        return count > 0;
    Bstr text;
    return SUCCEEDED(doctype->get_xml(text.Out())) && text.Take().Find(L"<!ENTITY") >= 0;
}

}  // namespace

CString CXMLDOMNode::GetNodeName() const {
    Bstr name;
    if (m_pInterface == nullptr || FAILED(m_pInterface->get_nodeName(name.Out()))) return CString();
    return name.Take();
}

bool CXMLDOMNode::IsElement() const {
    DOMNodeType type = NODE_INVALID;
    return m_pInterface != nullptr && SUCCEEDED(m_pInterface->get_nodeType(&type)) &&
           type == NODE_ELEMENT;
}

// An element's text is gathered from its text and CDATA nodes here: the DOM's own text property
// trims white space at both ends, carriage returns from character references included.
CString CXMLDOMNode::GetText() const {
    DOMNodeType type = NODE_INVALID;
    if (m_pInterface == nullptr || FAILED(m_pInterface->get_nodeType(&type))) return CString();
    if (type != NODE_ELEMENT && type != NODE_DOCUMENT) {
        Bstr text;
        if (FAILED(m_pInterface->get_text(text.Out()))) return CString();
        return text.Take();
    }
    return CString(CollectText(m_pInterface));
}

// Character data takes its text as the node's value, which is stored as it is; an element's
// text replaces its content.
bool CXMLDOMNode::SetText(const CString& text) {
    DOMNodeType type = NODE_INVALID;
    if (m_pInterface == nullptr || FAILED(m_pInterface->get_nodeType(&type))) return false;
    if (type == NODE_ELEMENT) return SUCCEEDED(m_pInterface->put_text(Bstr(text)));
    Variant value;
    value.get().vt = VT_BSTR;
    value.get().bstrVal = SysAllocStringLen(text.GetString(), static_cast<UINT>(text.GetLength()));
    if (value.get().bstrVal == nullptr) throw std::bad_alloc();
    return SUCCEEDED(m_pInterface->put_nodeValue(value.get()));
}

CXMLDOMNodeList CXMLDOMNode::GetChildNodes() const {
    IXMLDOMNodeList* list = nullptr;
    if (m_pInterface == nullptr || FAILED(m_pInterface->get_childNodes(&list))) return CXMLDOMNodeList();
    return CXMLDOMNodeList(list);
}

bool CXMLDOMNode::AppendChild(const CXMLDOMNode& child) {
    IXMLDOMNode* added = nullptr;
    if (m_pInterface == nullptr || child.m_pInterface == nullptr ||
        FAILED(m_pInterface->appendChild(child.m_pInterface, &added)))
        return false;
    if (added != nullptr) added->Release();
    return true;
}

CXMLDOMNamedNodeMap CXMLDOMNode::GetAttributes() const {
    IXMLDOMNamedNodeMap* map = nullptr;
    if (m_pInterface == nullptr || FAILED(m_pInterface->get_attributes(&map))) return CXMLDOMNamedNodeMap();
    return CXMLDOMNamedNodeMap(map);
}

CXMLDOMNode CXMLDOMNode::SelectSingleNode(const CString& name) const {
    IXMLDOMNode* found = nullptr;
    if (m_pInterface == nullptr || FAILED(m_pInterface->selectSingleNode(Bstr(name), &found)))
        return CXMLDOMNode();
    return CXMLDOMNode(found);
}

long CXMLDOMNodeList::GetLength() const {
    long length = 0;
    if (m_pInterface == nullptr || FAILED(m_pInterface->get_length(&length))) return 0;
    return length;
}

CXMLDOMNode CXMLDOMNodeList::GetItem(long index) const {
    IXMLDOMNode* node = nullptr;
    if (m_pInterface == nullptr || FAILED(m_pInterface->get_item(index, &node))) return CXMLDOMNode();
    return CXMLDOMNode(node);
}

CXMLDOMNode CXMLDOMNamedNodeMap::GetNamedItem(const CString& name) const {
    IXMLDOMNode* node = nullptr;
    if (m_pInterface == nullptr || FAILED(m_pInterface->getNamedItem(Bstr(name), &node)))
        return CXMLDOMNode();
    return CXMLDOMNode(node);
}

bool CXMLDOMDocument2::Create() {
    IXMLDOMDocument2* document = nullptr;
    if (CoCreateInstance(kDomDocument30, nullptr, CLSCTX_ALL, kIXMLDOMDocument2,
                         reinterpret_cast<void**>(&document)) != S_OK &&
        CoCreateInstance(kDomDocument, nullptr, CLSCTX_ALL, kIXMLDOMDocument2,
                         reinterpret_cast<void**>(&document)) != S_OK)
        document = nullptr;
    Reset(document);
    if (document == nullptr) return false;
    document->put_resolveExternals(VARIANT_FALSE);
    document->put_validateOnParse(VARIANT_FALSE);
    // A doctype is a node like any other; entity declarations are refused before parsing.
    Variant prohibit;
    prohibit.get().vt = VT_BOOL;
    prohibit.get().boolVal = VARIANT_FALSE;
    document->setProperty(Bstr(CString(L"ProhibitDTD")), prohibit.get());
    return true;
}

bool CXMLDOMDocument2::SetAsync(bool async) {
    return m_pInterface != nullptr &&
           SUCCEEDED(m_pInterface->put_async(async ? VARIANT_TRUE : VARIANT_FALSE));
}

// White-space-only text is removed after every load whatever this says; preserving keeps the
// DOM from indenting what it serialises.
bool CXMLDOMDocument2::SetPreserveWhiteSpace(VARIANT_BOOL preserve) {
    return m_pInterface != nullptr && SUCCEEDED(m_pInterface->put_preserveWhiteSpace(preserve));
}

char* CXMLDOMDocument2::AllocateBuffer(std::size_t size) {
    return static_cast<char*>(std::malloc(size != 0 ? size : 1));
}

void CXMLDOMDocument2::FreeBuffer(char* buffer) { std::free(buffer); }

// The DOM reads the bytes through a stream, so it finds their encoding as it would in a file.
bool CXMLDOMDocument2::LoadBuffer(char* buffer, std::size_t size) {
    const bool wellFormed = m_pInterface != nullptr && size <= 0xFFFFFFFFu &&
                            cu::detail::IsLexicallyWellFormed(buffer, size);
    ComRef<IStream> stream(wellFormed ? SHCreateMemStream(reinterpret_cast<const BYTE*>(buffer),
                                                          static_cast<UINT>(size))
                                      : nullptr);
    FreeBuffer(buffer);
    if (stream.get() == nullptr) return false;
    Variant source;
    source.get().vt = VT_UNKNOWN;
    source.get().punkVal = stream.get();
    stream.get()->AddRef();  // the variant's reference, released when it is cleared
    VARIANT_BOOL loaded = VARIANT_FALSE;
    if (FAILED(m_pInterface->load(source.get(), &loaded)) || loaded != VARIANT_TRUE ||
        DeclaresEntities(m_pInterface))
        return false;
    RemoveBlankText(m_pInterface);
    return true;
}

bool CXMLDOMDocument2::LoadXML(const wchar_t* text, std::size_t length) {
    VARIANT_BOOL loaded = VARIANT_FALSE;
    if (m_pInterface == nullptr || text == nullptr || !cu::detail::IsLexicallyWellFormed(text, length) ||
        FAILED(m_pInterface->loadXML(Bstr(text, length), &loaded)) || loaded == VARIANT_FALSE ||
        DeclaresEntities(m_pInterface))
        return false;
    RemoveBlankText(m_pInterface);
    return true;
}

bool CXMLDOMDocument2::GetFileText(std::string& text) const {
    if (m_pInterface == nullptr) return false;
    const std::wstring wide = Serialize(m_pInterface);
    text.clear();
    if (wide.empty()) return true;
    const int length = static_cast<int>(wide.size());
    const int needed = WideCharToMultiByte(CP_UTF8, 0, wide.data(), length, nullptr, 0, nullptr, nullptr);
    text.resize(static_cast<std::size_t>(needed));
    return WideCharToMultiByte(CP_UTF8, 0, wide.data(), length, &text[0], needed, nullptr, nullptr) == needed;
}

BSTR CXMLDOMDocument2::GetXml() const {
    if (m_pInterface == nullptr) return nullptr;
    const std::wstring text = Serialize(m_pInterface);
    return SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
}

CXMLDOMNode CXMLDOMDocument2::CreateNode(DomNodeType type, const CString& name) {
    if (m_pInterface == nullptr) return CXMLDOMNode();
    Variant kind;
    kind.get().vt = VT_INT;
    kind.get().intVal = type;
    IXMLDOMNode* node = nullptr;
    if (FAILED(m_pInterface->createNode(kind.get(), Bstr(name), Bstr(CString()), &node)))
        return CXMLDOMNode();
    return CXMLDOMNode(node);
}

CXMLDOMNodeList CXMLDOMDocument2::GetChildNodes() const {
    IXMLDOMNodeList* list = nullptr;
    if (m_pInterface == nullptr || FAILED(m_pInterface->get_childNodes(&list))) return CXMLDOMNodeList();
    return CXMLDOMNodeList(list);
}
