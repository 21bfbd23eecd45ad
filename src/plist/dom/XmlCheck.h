// A lexical check of XML text, made before the text reaches a parser.
//
// Both DOM backends run it, so that they refuse the same documents, and neither parser ever sees
// an entity declaration: every entity reference other than the five predefined ones and character
// references is refused, and so is a DTD that declares entities. The check walks the text once
// (UTF-8 twice: its non-characters are looked for apart), without recursion. Element structure
// (nesting, matching end tags, attribute syntax, one root element) is left to the parser and to
// the checks after it.
#pragma once

#include <cstddef>
#include <string>

namespace cu::detail {

// False when the text cannot be a well-formed document: a '&' that starts no predefined entity
// or character reference, a character reference or a raw character that XML does not allow
// (controls, U+FFFE, U+FFFF, surrogates), "]]>" in character data, '<' in an attribute value,
// "--" inside a comment, an XML declaration anywhere but at the very start, a DOCTYPE that is not
// the only one or follows an element, or a DTD that declares entities or refers to parameter
// entities. *severalAttributes, when given, tells whether some tag has more than one attribute
// value: only then can an element have an attribute twice.
bool IsLexicallyWellFormed(const wchar_t* text, std::size_t length, bool* severalAttributes = nullptr);

// The same for the bytes of a file: UTF-16 (or UTF-32) when a byte-order mark says so, else 8-bit
// text (UTF-8, with or without its byte-order mark, or ISO-8859-1 when the declaration says so).
bool IsLexicallyWellFormed(const char* data, std::size_t size, bool* severalAttributes = nullptr);

// The encoding named by an XML declaration at the start of 8-bit text, lower case; empty when
// there is no declaration or it names none.
std::string DeclaredEncoding(const char* data, std::size_t size);

// Whether an encoding name (lower case) is one of the names of ISO-8859-1 read here.
bool IsLatin1(const std::string& encoding);

}  // namespace cu::detail
