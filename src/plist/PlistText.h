// The property-list text of a dictionary, written straight from the element tree: the same text
// that the DOM route (SaveToXMLDocument, then the DOM's serialiser) gives, without a DOM.
#pragma once

#include <string>

#include "commonutility/Win32Types.h"
#include "commonutility/XMLDict.h"

namespace cu::detail {

// Whether XML can carry the character: not a control character other than tab, line feed and
// carriage return, nor U+FFFE or U+FFFF. The writer puts U+FFFD in place of any other.
inline bool IsXmlChar(wchar_t c) {
    return !((c < 0x20 && c != L'\t' && c != L'\n' && c != L'\r') || c == 0xFFFE || c == 0xFFFF);
}

// Room for the text of any scalar: "%f" of the largest double has 309 digits before the point.
constexpr int kScalarTextSize = 400;

// The decimal point that "%f" writes in the current C locale, looked up once per save; '\0' when
// the locale's point is longer than one character.
char DecimalPoint();

// The text of a scalar element of the kind as the writer writes it (ASCII, zero-terminated, reals
// with decimalPoint, DecimalPoint()'s answer); false, with out empty, for kinds that take their
// text from the element (strings) or have none (containers).
bool FormatScalar(XMLNodeType kind, const CXMLElement& element, char (&out)[kScalarTextSize], char decimalPoint);

// The whole document: the declaration, a line feed, the plist element and a line feed, as a new
// BSTR or as UTF-8. Null, or false with out unspecified, when the tree holds an element whose kind
// has no tag (only a subclass can make one; the DOM route then decides what is written) or memory
// ran out (std::bad_alloc may also be thrown).
BSTR WritePlistText(CXMLDict& dict);
bool WritePlistText(CXMLDict& dict, std::string& out);

}  // namespace cu::detail
