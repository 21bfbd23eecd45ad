// Document creation and file opening, shared by the property-list and region documents.
#include "plist/dom/Dom.h"

#include "plist/FileText.h"

namespace cu::detail {

int GetXMLDocInstance(CXMLDOMDocument2& doc) {
    if (!doc.IsNull()) return 1;
    if (!doc.Create()) return 0;
    doc.SetAsync(false);
    doc.SetPreserveWhiteSpace(1);
    return 1;
}

int OpenXMLFile(CXMLDOMDocument2& doc, const CString& path) {
    if (path.IsEmpty() || path.GetUtf16Length() > MAX_PATH || doc.IsNull()) return 0;
    return LoadDocumentFile(doc, path) ? 1 : 0;
}

}  // namespace cu::detail
