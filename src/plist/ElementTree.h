// Internals shared by the two containers: the child factory, and destruction and copying of
// element trees without recursion, so that nesting depth is bounded by memory, not the stack.
#pragma once

#include <string_view>
#include <vector>

#include "commonutility/XMLDict.h"

namespace cu::detail {

struct ElementFactory {
    // A new child of the kind made from the value (see CXMLDict), or null when the kind is above
    // 7, a text kind other than date has no text, or memory ran out.
    static CXMLElement* Make(XMLNodeType kind, unsigned __int64 value);
    // A new element of the same kind and value as source; containers come back empty.
    static CXMLElement* CloneShallow(const CXMLElement& source);
    // A new string or password string (the kind) holding the text of UTF-8 bytes, decoded once;
    // null when memory ran out.
    static CXMLElement* MakeText(XMLNodeType kind, std::string_view utf8);
    // A new date read from UTF-8 text as CCommonDateTime::FromString reads it, the default date
    // when that fails; null when memory ran out.
    static CXMLElement* MakeDate(std::string_view utf8);
    // Whether from_chars now reads a plain decimal number exactly as C atof does: the C locale's
    // decimal point is '.' and numbers round to nearest. Costs a formatting; ask once per load.
    static bool QuickReals();
    // A new real read from zero-terminated UTF-8 text as C atof reads it, plain decimals by
    // from_chars when quickReals (QuickReals()'s answer); null when memory ran out.
    static CXMLElement* MakeReal(const char* utf8, bool quickReals);
};

struct TreeAccess {
    // Destroys the elements and everything below them.
    static void Destroy(std::vector<CXMLElement*> pending);
    // Removes every entry of a dictionary and destroys its child.
    static void Clear(CXMLDict& dict);
    // Removes every child of an array and destroys it.
    static void Clear(CXMLArray& array);
    // Fills target, an empty container of source's kind, with copies of source's children, to
    // any depth.
    static void CopyTree(const CXMLElement& source, CXMLElement& target);

    // Store a child made by the factory, as AddElement does: under key unless the key is present
    // (the new child is then destroyed), or before index (appended when index is negative or not
    // below the size). They give the child now under the key or at that place, or null when the
    // child could not be stored and was destroyed.
    static CXMLElement* Insert(CXMLDict& dict, const CString& key, CXMLElement* child);
    static CXMLElement* Insert(CXMLArray& array, int index, CXMLElement* child);

    // The walk of the DOM wrappers, for backends that offer no quicker one.
    static int ReadFromXMLDocument(CXMLDict& dict, CXMLDOMDocument2& doc) { return dict.ReadFromXMLDocument(doc); }

    static std::vector<CXMLElement*>* Children(CXMLArray& array) { return array.m_pChildren; }
    static CXMLDict::EntryMap* Entries(CXMLDict& dict) { return dict.m_pEntries; }
};

}  // namespace cu::detail
