// Writing a CXMLDict as property-list XML: a breadth-first walk of the element tree in key order.
#include <climits>
#include <deque>
#include <new>
#include <string>

#include "commonutility/FileOperation.h"
#include "commonutility/XMLDict.h"
#include "plist/ElementTree.h"
#include "plist/FileText.h"
#include "plist/PlistText.h"
#include "plist/dom/Dom.h"
#include "platform/win32.h"

namespace {

// The document every save starts from. The line feed inside plist is white space between
// elements, so it does not become a node.
const wchar_t kTemplate[] =
    L"<?xml version=\"1.0\" encoding=\"utf-8\" ?>\n<plist version=\"1.0\">\n</plist>";

// An entry still to write: under parent, with a key element unless it is an array member.
struct WriteQueueItem {
    CXMLDOMNode parent;
    CString key;
    CXMLElement* element;
    int inArray;
};

void QueueEntries(std::deque<WriteQueueItem>& queue, const CXMLDOMNode& parent,
                  const CXMLDict::EntryMap& entries) {
    for (const auto& [key, child] : entries) queue.push_back({parent, key, child, 0});
}

// XML cannot carry most control characters, nor U+FFFE and U+FFFF, not even as character
// references: each becomes U+FFFD, so that every platform can read the file back.
CString XmlText(const CString& text) {
    int i = 0;
    while (i < text.GetLength() && cu::detail::IsXmlChar(text[i])) ++i;
    if (i == text.GetLength()) return text;
    CString clean(text);
    for (; i < clean.GetLength(); ++i)
        if (!cu::detail::IsXmlChar(clean[i])) clean.SetAt(i, static_cast<wchar_t>(0xFFFD));
    return clean;
}

// A CDATA section cannot hold its own end marker "]]>", so such a text is split between the
// "]]" and the ">" into several sections, which read back as one text.
void AppendCData(CXMLDOMDocument2& doc, CXMLDOMNode& element, const CString& text) {
    int start = 0;
    do {
        const int marker = text.Find(L"]]>", start);
        const int end = marker < 0 ? text.GetLength() : marker + 2;
        CXMLDOMNode section = doc.CreateNode(kDomCData, CString());
        if (section.IsNull() || !element.AppendChild(section)) return;
        section.SetText(text.Mid(start, end - start));
        start = end;
    } while (start < text.GetLength());
}

}  // namespace

// The text comes straight from the tree, as for SaveToMemFile, or through the DOM where the direct
// writer does not take the tree. As documented, the result tells whether the document was built;
// when writing the file fails, the old file stays intact.
int CXMLDict::SaveToFile(const wchar_t* path) {
    CoInitialize(nullptr);
    if (path == nullptr) return 0;
    if (CFileOperation::IsReadOnly(path)) return 0;
    std::string text;
    try {
        if (cu::detail::WritePlistText(*this, text)) {
            cu::detail::SaveFileText(path, text);
            return 1;
        }
    } catch (const std::bad_alloc&) {
        return 0;
    }
    CXMLDOMDocument2 doc;
    if (GetXMLDocInstance(doc) == 0) return 0;
    const int result = SaveToXMLDocument(doc);
    if (result == 1 && doc.GetFileText(text)) cu::detail::SaveFileText(path, text);
    return result;
}

// The text is written straight from the tree; the DOM route is kept for trees that the direct
// writer does not take (an element of a kind without a tag) and for callers' own documents.
int CXMLDict::SaveToMemFile(wchar_t** out) {
    CoInitialize(nullptr);
    if (out == nullptr) return 0;
    try {
        if (BSTR text = cu::detail::WritePlistText(*this)) {
            *out = text;
            return 1;
        }
    } catch (const std::bad_alloc&) {
        return 0;
    }
    CXMLDOMDocument2 doc;
    if (GetXMLDocInstance(doc) == 0 || SaveToXMLDocument(doc) == 0) return 0;
    BSTR text = doc.GetXml();
    if (text == nullptr) return 0;
    *out = text;
    return 1;
}

int CXMLDict::SaveToXMLDocument(CXMLDOMDocument2& doc) {
    if (doc.IsNull()) return 0;
    doc.LoadXML(kTemplate, sizeof kTemplate / sizeof kTemplate[0] - 1);
    const CXMLDOMNodeList topLevel = doc.GetChildNodes();
    if (topLevel.GetLength() == 0) return 0;
    CXMLDOMNode plist = topLevel.GetItem(topLevel.GetLength() - 1);
    CXMLDOMNode root = doc.CreateNode(kDomElement, L"dict");
    if (plist.IsNull() || root.IsNull()) return 0;
    plist.AppendChild(root);
    if (m_pEntries == nullptr) return 0;

    std::deque<WriteQueueItem> queue;
    QueueEntries(queue, root, *m_pEntries);
    while (!queue.empty()) {
        WriteQueueItem item = std::move(queue.front());
        queue.pop_front();
        if (item.parent.IsNull() || item.element == nullptr) continue;
        const XMLNodeType kind = item.element->GetIniNodeType();
        if (item.inArray == 0) {
            CXMLDOMNode keyNode = doc.CreateNode(kDomElement, L"key");
            if (keyNode.IsNull()) continue;
            item.parent.AppendChild(keyNode);
            keyNode.SetText(XmlText(item.key));
        }
        CXMLDOMNode value = doc.CreateNode(kDomElement, GetNodeTypeStr(kind));
        if (value.IsNull()) continue;
        item.parent.AppendChild(value);
        const CString text = XmlText(GetNodeValueStr(kind, item.element));
        if (kind == eXMLStringPSW)
            AppendCData(doc, value, text);
        else
            value.SetText(text);

        if (auto* array = dynamic_cast<CXMLArray*>(item.element)) {
            for (unsigned int i = 0; i < array->GetSize(); ++i)
                if (CXMLElement* child = (*array)[static_cast<int>(i)])
                    queue.push_back({value, CString(), child, 1});
        } else if (auto* dict = dynamic_cast<CXMLDict*>(item.element)) {
            if (dict->m_pEntries != nullptr) QueueEntries(queue, value, *dict->m_pEntries);
        }
    }
    return 1;
}

CString CXMLDict::GetNodeTypeStr(XMLNodeType kind) {
    static const wchar_t* const names[] = {L"boolean", L"integer", L"real",  L"string",
                                           L"stringpsw", L"date",  L"array", L"dict"};
    return kind >= eXMLBool && kind <= eXMLDict ? CString(names[kind]) : CString();
}

CString CXMLDict::GetNodeValueStr(XMLNodeType kind, CXMLElement* element) {
    CString text;
    if (element == nullptr) return text;
    char scalar[cu::detail::kScalarTextSize];
    // Only a real's text depends on the locale's decimal point, which costs a formatting to find.
    const char decimalPoint = kind == eXMLReal ? cu::detail::DecimalPoint() : '.';
    if (cu::detail::FormatScalar(kind, *element, scalar, decimalPoint))
        text = CString(scalar);
    else if (kind == eXMLString || kind == eXMLStringPSW)
        element->GetValue(&text);
    return text;
}
