// Property-list trees as JSON text.
#include <charconv>
#include <cmath>
#include <string>
#include <vector>

#include "Print.h"

namespace commonutil {
namespace {

void AppendQuoted(std::string& out, const CString& text) {
    out += '"';
    for (const char c : text.ToUtf8()) {
        const auto byte = static_cast<unsigned char>(c);
        if (c == '"' || c == '\\') {
            out += '\\';
            out += c;
        } else if (byte < 0x20) {
            static const char hex[] = "0123456789abcdef";
            out += "\\u00";
            out += hex[byte >> 4];
            out += hex[byte & 15];
        } else {
            out += c;
        }
    }
    out += '"';
}

void AppendScalar(std::string& out, const CXMLElement& element) {
    switch (element.GetIniNodeType()) {
        case eXMLBool: {
            int value = 0;
            element.GetValue(&value);
            out += value ? "true" : "false";
            return;
        }
        case eXMLInt: {
            __int64 value = 0;
            element.GetValue(&value);
            out += std::to_string(static_cast<long long>(value));
            return;
        }
        case eXMLReal: {
            double value = 0.0;
            element.GetValue(&value);
            char digits[32];
            const auto result = std::to_chars(digits, digits + sizeof digits, value);
            out += std::isfinite(value) ? std::string(digits, result.ptr) : "null";
            return;
        }
        case eXMLString:
        case eXMLStringPSW: {
            CString value;
            element.GetValue(&value);
            const bool password = element.GetIniNodeType() == eXMLStringPSW;
            if (password) out += "{\"stringpsw\": ";
            AppendQuoted(out, value);
            if (password) out += '}';
            return;
        }
        case eXMLDate: {
            CCommonDateTime value;
            element.GetValue(&value);
            const CString text = DateText(value);
            if (value.GetStatus() != COleDateTime::valid || text.GetLength() != 19) {
                out += "null";
                return;
            }
            std::string iso = text.ToUtf8();
            iso[10] = 'T';
            out += '"' + iso + '"';
            return;
        }
        default: out += "null";
    }
}

}  // namespace

void PrintJson(CXMLElement& root, std::FILE* out) {
    struct Frame {
        CXMLElement* element;
        std::vector<CString> keys;  // a dictionary's, in order
        unsigned int next;
        unsigned int size;
    };
    std::vector<Frame> stack;
    std::string text;
    const auto indent = [&](std::size_t depth) { text.append(depth * 2, ' '); };
    // A scalar is written whole; a container that has children is opened and its frame pushed.
    const auto write = [&](CXMLElement& element) {
        if (auto* dict = dynamic_cast<CXMLDict*>(&element)) {
            std::vector<CString> keys = dict->GetKeys();
            if (keys.empty()) return void(text += "{}");
            text += '{';
            const auto size = static_cast<unsigned int>(keys.size());
            stack.push_back({dict, std::move(keys), 0, size});
        } else if (auto* array = dynamic_cast<CXMLArray*>(&element)) {
            if (array->GetSize() == 0) return void(text += "[]");
            text += '[';
            stack.push_back({array, {}, 0, array->GetSize()});
        } else {
            AppendScalar(text, element);
        }
    };
    write(root);
    while (!stack.empty()) {
        Frame& frame = stack.back();
        const bool isDict = frame.element->GetIniNodeType() == eXMLDict;
        if (frame.next == frame.size) {
            text += '\n';
            indent(stack.size() - 1);
            text += isDict ? '}' : ']';
            stack.pop_back();
            continue;
        }
        const unsigned int i = frame.next++;
        text += i ? ",\n" : "\n";
        indent(stack.size());
        CXMLElement* child = nullptr;
        if (isDict) {
            AppendQuoted(text, frame.keys[i]);
            text += ": ";
            child = static_cast<CXMLDict*>(frame.element)->GetChild(frame.keys[i]);
        } else {
            child = (*static_cast<CXMLArray*>(frame.element))[static_cast<int>(i)];
        }
        if (child != nullptr) write(*child);  // may grow the stack: frame is not used after it
        else text += "null";
        if (text.size() > 65536) {
            std::fwrite(text.data(), 1, text.size(), out);
            text.clear();
        }
    }
    text += '\n';
    std::fwrite(text.data(), 1, text.size(), out);
}

}  // namespace commonutil
