// The pugixml side of the DOM wrappers, for code that walks a loaded document's nodes itself.
#pragma once

#include <string>
#include <string_view>

#include <pugixml.hpp>

#include "plist/dom/Dom.h"

namespace cu::detail {

// Makes the documents that doc loads from now on keep the text an element starts with in the
// element itself, where pugixml would make a node for it: half the nodes of a property list. Only
// for a document that nothing but NodeText and the reader's own walk will look at: to the DOM
// wrappers such an element would have no text child.
void KeepTextInElements(CXMLDOMDocument2& doc);

// The document that doc holds; null when it holds none.
const pugi::xml_document* PugiDocument(const CXMLDOMDocument2& doc);

// The text of a node as CXMLDOMNode::GetText gives it, in UTF-8: for an element or the document,
// the character data of its descendants in document order; for any other node, its value. The
// view points into the document where one node holds all of it, else into scratch. Documents
// that keep text in elements read the same.
std::string_view NodeText(pugi::xml_node node, std::string& scratch);

}  // namespace cu::detail
