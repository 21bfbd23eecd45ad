// MSXML is reached only through its COM interfaces, so the walk of the DOM wrappers is the
// quickest there is.
#include "plist/PlistRead.h"

namespace cu::detail {

void PrepareForReader(CXMLDOMDocument2&) {}

int ReadLoadedDocument(CXMLDict& dict, CXMLDOMDocument2& doc) {
    return TreeAccess::ReadFromXMLDocument(dict, doc);
}

}  // namespace cu::detail
