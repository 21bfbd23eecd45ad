// Text forms of property-list values and trees, for the command-line tool and the demonstration.
#pragma once

#include <cstdio>

#include <CommonUtility.h>

namespace commonutil {

// "boolean", "integer", ... for a kind; "?" for anything else.
const wchar_t* KindName(XMLNodeType kind);

// A scalar's value as text (strings quoted, dates as YYYY-MM-DD hh:mm:ss); empty for containers.
CString ValueText(const CXMLElement& element);

// A date as YYYY-MM-DD hh:mm:ss, or "invalid date".
CString DateText(const CCommonDateTime& date);

// Prints a tree, one element a line, indented by depth, depth first without recursion; the
// top element is labelled label.
void PrintTree(CXMLElement& root, std::FILE* out, const wchar_t* label = L"(root)");

// Writes a tree as JSON, without recursion: dictionaries as objects in key order, arrays,
// booleans, numbers (reals that are not finite as null), strings, password strings as
// {"stringpsw": TEXT}, dates as ISO 8601 text (invalid ones as null). Ends with a line feed.
void PrintJson(CXMLElement& root, std::FILE* out);

}  // namespace commonutil
