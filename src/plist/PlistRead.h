// Reading a dictionary from a loaded property-list document: a breadth-first walk with a work
// queue, written once for any view of the document's nodes.
#pragma once

#include <climits>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <deque>
#include <type_traits>
#include <typeinfo>
#include <utility>
#include <vector>

#include "commonutility/XMLDict.h"
#include "plist/ElementHeap.h"
#include "plist/ElementTree.h"
#include "plist/dom/Dom.h"

namespace cu::detail {

// Reads the document loaded into doc into dict by the quickest walk that the DOM backend offers,
// with the result of CXMLDict::ReadFromXMLDocument, which walks the DOM wrappers.
int ReadLoadedDocument(CXMLDict& dict, CXMLDOMDocument2& doc);

// Readies doc, before anything is loaded into it, for a document that ReadLoadedDocument alone
// will read: the backend may then keep it in a form that only that walk understands.
void PrepareForReader(CXMLDOMDocument2& doc);

// What the reader takes a node for: the key of the values after it, or an element of a kind
// (eXMLNone: neither; it and its content are dropped).
constexpr XMLNodeType kKeyNode = static_cast<XMLNodeType>(-1);

// Whether text (length units) is the ASCII literal, ASCII letters compared without case.
template <typename Char>
bool EqualsNoCase(const Char* text, std::size_t length, const char* literal) {
    const auto lower = [](auto c) { return c >= 'A' && c <= 'Z' ? c + ('a' - 'A') : c; };
    for (std::size_t i = 0; i < length; ++i, ++literal)
        if (*literal == '\0' || lower(text[i]) != lower(*literal)) return false;
    return *literal == '\0';
}

// The kind that a tag name gives, compared without regard to the case of ASCII letters; kKeyNode
// for "key". Every node's name is asked, so the length picks the one or few names to compare.
template <typename Char>
XMLNodeType KindOfName(const Char* name, std::size_t length) {
    const auto is = [name, length](const char* literal) { return EqualsNoCase(name, length, literal); };
    switch (length) {
        case 3: return is("key") ? kKeyNode : eXMLNone;
        case 4: return is("dict") ? eXMLDict : is("real") ? eXMLReal : is("date") ? eXMLDate : eXMLNone;
        case 5: return is("array") ? eXMLArray : eXMLNone;
        case 6: return is("string") ? eXMLString : eXMLNone;
        case 7: return is("integer") ? eXMLInt : is("boolean") ? eXMLBool : eXMLNone;
        case 9: return is("stringpsw") ? eXMLStringPSW : eXMLNone;
        default: return eXMLNone;
    }
}

// An integer as C atoi reads it (blanks, a sign, digits) from zero-terminated UTF-8, held at the
// ends of the 32-bit range instead of overflowing.
inline __int64 ReadInteger(const char* text) {
    const long long value = std::strtoll(text, nullptr, 10);
    if (value > INT_MAX) return INT_MAX;
    if (value < INT_MIN) return INT_MIN;
    return value;
}

// The value that AddElement takes for a node of the kind (a scalar or container kind), read from
// text: IsTrue() (it reads "true" in any case), Integer() (as C atoi reads it, held at the ends
// of the 32-bit range) or Wide() (the text), asked for only for scalars and then once. A
// container's text would be all the text below it: it is not needed, so not read.
template <typename Text>
ULONGLONG ReadValue(XMLNodeType kind, Text& text) {
    switch (kind) {
        case eXMLArray:
        case eXMLDict: return 0;
        case eXMLBool: return text.IsTrue() ? 1 : 0;
        case eXMLInt: return static_cast<ULONGLONG>(text.Integer());
        default:  // real, string, stringpsw and date take the text itself
            return reinterpret_cast<std::uintptr_t>(text.Wide());
    }
}

// Adds the child that a node of the kind gives to parent, at the end of an array or under key in
// a dictionary, through the parent's own AddElement with ReadValue's value, and gives back the
// container that the node's children go into: the child itself, or what was already under the
// key, or null.
template <typename Text>
CXMLElement* AddReadChild(XMLNodeType kind, CXMLElement& parent, const CString& key, Text&& text,
                          int* result = nullptr) {
    if (kind > eXMLDict || kind < eXMLBool) return nullptr;
    CXMLDict* dict = nullptr;
    CXMLArray* array = nullptr;
    if (parent.GetIniNodeType() == eXMLDict)
        dict = dynamic_cast<CXMLDict*>(&parent);
    else
        array = dynamic_cast<CXMLArray*>(&parent);
    // Any other element answers neither AddElement nor operator[]: its content is dropped.
    if (dict == nullptr && array == nullptr) return nullptr;
    const ULONGLONG value = ReadValue(kind, text);
    const int added = dict != nullptr ? dict->AddElement(key, kind, value) : array->AddElement(-1, kind, value);
    if (result != nullptr) *result = added;
    if (kind != eXMLArray && kind != eXMLDict) return nullptr;
    return dict != nullptr ? (*dict)[key] : (*array)[static_cast<int>(array->GetSize()) - 1];
}

// Whether a view of the document can also be walked in document order (told by Next):
//   Node First(Node)             the first child node of any kind, or the null handle
//   Node Next(Node)              the next sibling, or the null handle
template <typename Nodes, typename = void>
struct WalksInDocumentOrder : std::false_type {};
template <typename Nodes>
struct WalksInDocumentOrder<Nodes, std::void_t<decltype(Nodes::Next(std::declval<typename Nodes::Node>()))>>
    : std::true_type {};

// Reads the containers in pending, the ones the root holds, and everything below them depth
// first, in document order: each node is then read while the nodes before it are still near in
// memory, where a walk level by level goes through the whole document once per level.
//
// The order gives the same tree as long as every value in a dictionary follows a key of its own
// container and no container is stored under a key path: with neither, no child sees anything
// but its own container. A container's children then go into an element of its parent (the one
// just stored, or the one already under its key or at the array's end), so the containers that
// share an element lie at one depth and come in document order either way. Anything else, or a
// container that is not an empty dictionary or array of the library's own classes (another
// class's AddElement may see the order), gives false, with every container in pending as it was
// before.
template <typename Nodes>
bool ReadInDocumentOrder(Nodes& nodes, const std::deque<std::pair<typename Nodes::Node, CXMLElement*>>& pending) {
    using Node = typename Nodes::Node;
    const auto isDict = [](const CXMLElement& e) { return typeid(e) == typeid(CXMLDict); };
    const auto isArray = [](const CXMLElement& e) { return typeid(e) == typeid(CXMLArray); };
    const auto isEmpty = [&](CXMLElement& e) {
        if (isDict(e)) {
            const CXMLDict::EntryMap* entries = TreeAccess::Entries(static_cast<CXMLDict&>(e));
            return entries != nullptr && entries->empty();
        }
        const std::vector<CXMLElement*>* children = isArray(e) ? TreeAccess::Children(static_cast<CXMLArray&>(e)) : nullptr;
        return children != nullptr && children->empty();
    };
    for (const auto& entry : pending)
        if (entry.second != nullptr && !isEmpty(*entry.second)) return false;
    const auto emptyAll = [&] {
        for (const auto& entry : pending) {
            if (entry.second == nullptr) continue;
            if (isDict(*entry.second))
                TreeAccess::Clear(static_cast<CXMLDict&>(*entry.second));
            else
                TreeAccess::Clear(static_cast<CXMLArray&>(*entry.second));
        }
    };
    // A container being read: its next child, its element, and the key read last among its
    // children, unknown (null) before the first and again after each container the walk went
    // down into, whose children may have read keys of their own.
    struct Level {
        Node next;
        CXMLElement* element;
        bool dict;
        const CString* key;
    };
    std::vector<Level> levels;
    const CString noKey;
    for (const auto& [container, element] : pending) {
        if (element == nullptr) continue;  // its content is dropped
        levels.push_back({Nodes::First(container), element, isDict(*element), nullptr});
        while (!levels.empty()) {
            Level& level = levels.back();
            const Node node = level.next;
            if (!nodes.Exists(node)) {
                levels.pop_back();
                continue;
            }
            level.next = Nodes::Next(node);
            const XMLNodeType kind = nodes.Kind(node);
            if (kind == kKeyNode) {
                level.key = &nodes.Key(node);
                continue;
            }
            if (kind < eXMLBool || kind > eXMLDict) continue;
            const bool isContainer = kind == eXMLArray || kind == eXMLDict;
            if (level.dict && (level.key == nullptr || (isContainer && level.key->Find(L'/') >= 0))) {
                emptyAll();
                return false;
            }
            CXMLElement* child = nodes.Add(kind, *level.element, node, level.key != nullptr ? *level.key : noKey);
            // A container under a key read twice may be given a scalar, which takes no children.
            if (child == nullptr || !isContainer || !(isDict(*child) || isArray(*child))) continue;
            level.key = nullptr;
            levels.push_back({Nodes::First(node), child, isDict(*child), nullptr});
        }
    }
    return true;
}

// The walk, from the node that stands for the plist element. Nodes is a view of the document:
//   Node                         a handle, cheap to copy
//   bool Exists(Node)            false for the null handle
//   Node FirstChild(Node)        the null handle when there is none; a view may also give it
//                                where the first child is text, which has no children
//   bool HasChildren(Node)       whether the node has a child, text included
//   void ForEachChild(Node, F)   f(child) for each child in order
//   XMLNodeType Kind(Node)       kKeyNode, a kind, or eXMLNone
//   const CString& Key(Node)     a key node's text, valid until the next call
//   CXMLElement* Add(XMLNodeType kind, CXMLElement& parent, Node, const CString& key)
//                                AddReadChild with the node's text
// Names are not checked: the plist node's first child stands for the root container, whose
// children become the dictionary's. The checks come before the dictionary is emptied, so a
// document of the wrong shape leaves it as it was.
//
// Nodes are read breadth first, and values without a key element of their own take the key read
// last, anywhere before them in that order. The children of one container come one after another
// in that order, so the queue holds containers, and each container's children are read in one
// pass while they are at hand. A container whose element could not be made (its parent takes no
// children, or memory ran out) still has its keys read, but nothing below them. A view that can
// be walked in document order is read that way below the root's children wherever that gives
// the same tree (ReadInDocumentOrder).
template <typename Nodes>
int ReadPlist(CXMLDict& dict, Nodes& nodes, const typename Nodes::Node& plist) {
    using Node = typename Nodes::Node;
    if (!nodes.Exists(plist)) return 0;
    const Node root = nodes.FirstChild(plist);
    if (!nodes.Exists(root) || !nodes.HasChildren(root)) return 0;
    if (TreeAccess::Entries(dict) == nullptr) return 0;

    TreeAccess::Clear(dict);
    const TreeScope elements;
    const CString noKey;
    const CString* key = &noKey;
    // Containers whose children are still to read, and the element they are read into.
    std::deque<std::pair<Node, CXMLElement*>> pending;
    const auto readChildren = [&](const Node& container, CXMLElement* parent) {
        nodes.ForEachChild(container, [&](const Node& node) {
            const XMLNodeType kind = nodes.Kind(node);
            if (kind == kKeyNode) {
                key = &nodes.Key(node);
            } else if (parent != nullptr) {
                CXMLElement* element = nodes.Add(kind, *parent, node, *key);
                if (kind == eXMLArray || kind == eXMLDict) pending.emplace_back(node, element);
            }
        });
    };
    readChildren(root, &dict);
    // The root's children are read first in either order, so that the root's own AddElement,
    // which may be another class's, sees them come as it always does.
    CString rootKey;
    if constexpr (WalksInDocumentOrder<Nodes>::value) {
        rootKey = *key;
        if (ReadInDocumentOrder(nodes, pending)) return 1;
        key = &rootKey;
    }
    while (!pending.empty()) {
        const Node container = std::move(pending.front().first);
        CXMLElement* const parent = pending.front().second;
        pending.pop_front();
        readChildren(container, parent);
    }
    return 1;
}

}  // namespace cu::detail
