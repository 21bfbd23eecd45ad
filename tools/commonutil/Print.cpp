// Text forms of property-list values and trees.
#include "Print.h"

#include <algorithm>
#include <vector>

namespace commonutil {

const wchar_t* KindName(XMLNodeType kind) {
    static const wchar_t* const names[] = {L"boolean", L"integer", L"real",  L"string",
                                           L"stringpsw", L"date",  L"array", L"dict"};
    return kind >= eXMLBool && kind <= eXMLDict ? names[kind] : L"?";
}

CString DateText(const CCommonDateTime& date) {
    long y, mo, d, h, mi, s, dow;
    if (date.GetDateTime(y, mo, d, h, mi, s, dow) == 0) return CString(L"invalid date");
    CString text;
    text.Format(L"%04ld-%02ld-%02ld %02ld:%02ld:%02ld", y, mo, d, h, mi, s);
    return text;
}

CString ValueText(const CXMLElement& element) {
    CString text;
    switch (element.GetIniNodeType()) {
        case eXMLBool: {
            int value = 0;
            element.GetValue(&value);
            text = value ? L"TRUE" : L"FALSE";
            break;
        }
        case eXMLInt: {
            __int64 value = 0;
            element.GetValue(&value);
            text.Format(L"%lld", static_cast<long long>(value));
            break;
        }
        case eXMLReal: {
            double value = 0.0;
            element.GetValue(&value);
            text.Format(L"%.10g", value);
            break;
        }
        case eXMLString:
        case eXMLStringPSW: {
            CString value;
            element.GetValue(&value);
            text.Format(L"\"%s\"", value.GetString());
            break;
        }
        case eXMLDate: {
            CCommonDateTime value;
            element.GetValue(&value);
            text = DateText(value);
            break;
        }
        default: break;
    }
    return text;
}

void PrintTree(CXMLElement& root, std::FILE* out, const wchar_t* label) {
    struct Item {
        CString label;
        CXMLElement* element;
        int depth;
    };
    std::vector<Item> stack{{label, &root, 0}};
    while (!stack.empty()) {
        const Item item = stack.back();
        stack.pop_back();
        const XMLNodeType kind = item.element->GetIniNodeType();
        CString line(L' ', item.depth * 2);
        line.AppendFormat(L"%s: %s", item.label.GetString(), KindName(kind));
        const CString value = ValueText(*item.element);
        if (!value.IsEmpty()) line.AppendFormat(L" %s", value.GetString());
        std::fprintf(out, "%s\n", line.ToUtf8().c_str());

        // Children go on the stack last first, so that they print in their own order.
        const std::size_t first = stack.size();
        if (auto* dict = dynamic_cast<CXMLDict*>(item.element)) {
            for (const CString& key : dict->GetKeys())
                stack.push_back({key, dict->GetChild(key), item.depth + 1});
        } else if (auto* array = dynamic_cast<CXMLArray*>(item.element)) {
            for (unsigned int i = 0; i < array->GetSize(); ++i) {
                CString label;
                label.Format(L"[%u]", i);
                stack.push_back({label, (*array)[static_cast<int>(i)], item.depth + 1});
            }
        }
        std::reverse(stack.begin() + static_cast<std::ptrdiff_t>(first), stack.end());
    }
}

}  // namespace commonutil
