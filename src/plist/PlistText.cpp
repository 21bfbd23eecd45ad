// Writing property-list text straight from the element tree, depth first with a work list.
#include "plist/PlistText.h"

#include <cstdio>
#include <vector>

#include "common/Unicode.h"
#include "plist/ElementTree.h"

namespace cu::detail {
namespace {

const char* const kTags[] = {"boolean", "integer", "real", "string", "stringpsw", "date", "array", "dict"};

// Appends to wide text: a wide text that is copied as the platform's DOM route gives it back
// (where wchar_t is UTF-32 the text passes through UTF-8 there, so what is not a Unicode scalar
// value becomes U+FFFD; UTF-16 units are kept as they are).
struct WideSink {
    std::wstring& out;
    void Ascii(const char* text, std::size_t length) { out.append(text, text + length); }
    void Unit(wchar_t c) {
        if (!kWideIsUtf16) {
            const auto u = static_cast<std::uint32_t>(c);
            if ((u >= 0xD800 && u <= 0xDFFF) || u > 0x10FFFF) c = static_cast<wchar_t>(kReplacementChar);
        }
        out += c;
    }
    void Text(const wchar_t* p, const wchar_t* end) {
        while (p < end) Unit(*p++);
    }
};

// Appends UTF-8: a lone surrogate, or a wide character beyond U+10FFFF, becomes U+FFFD.
struct Utf8Sink {
    std::string& out;
    void Ascii(const char* text, std::size_t length) { out.append(text, length); }
    void Text(const wchar_t* p, const wchar_t* end) {
        char bytes[4];
        while (p < end) {
            if (static_cast<std::uint32_t>(*p) < 0x80) {
                out += static_cast<char>(*p++);
                continue;
            }
            const char32_t c = DecodeWide(p, end);
            out.append(bytes, static_cast<std::size_t>(EncodeUtf8(c, bytes)));
        }
    }
};

template <typename Sink>
void Literal(Sink& sink, const char* text) {
    sink.Ascii(text, std::char_traits<char>::length(text));
}

// Character data: characters XML cannot carry become U+FFFD; '&', '<' and '>' are escaped.
template <typename Sink>
void Escaped(Sink& sink, const wchar_t* text, const wchar_t* end) {
    const wchar_t* run = text;
    for (const wchar_t* p = text; p < end; ++p) {
        const wchar_t c = *p;
        if (c > L'>' && c < 0xFFFE) continue;
        const char* escape = nullptr;
        if (c == L'&') escape = "&amp;";
        else if (c == L'<') escape = "&lt;";
        else if (c == L'>') escape = "&gt;";
        else if (IsXmlChar(c)) continue;
        sink.Text(run, p);
        run = p + 1;
        if (escape != nullptr) {
            Literal(sink, escape);
        } else {
            const wchar_t replacement = static_cast<wchar_t>(kReplacementChar);
            sink.Text(&replacement, &replacement + 1);
        }
    }
    sink.Text(run, end);
}

// An element with text content, or empty ("<key/>") when the text is empty.
template <typename Sink>
void TextElement(Sink& sink, const char* tag, const CString& text) {
    sink.Ascii("<", 1);
    Literal(sink, tag);
    if (text.IsEmpty()) {
        sink.Ascii("/>", 2);
        return;
    }
    sink.Ascii(">", 1);
    Escaped(sink, text.GetString(), text.GetString() + text.GetLength());
    sink.Ascii("</", 2);
    Literal(sink, tag);
    sink.Ascii(">", 1);
}

// A password text in CDATA sections, split between "]]" and ">" wherever the end marker "]]>"
// occurs; an empty text gives one empty section.
template <typename Sink>
void CDataElement(Sink& sink, const CString& text) {
    Literal(sink, "<stringpsw>");
    const wchar_t* p = text.GetString();
    const wchar_t* const end = p + text.GetLength();
    do {
        const wchar_t* cut = p;
        while (cut < end && !(cut + 2 < end && cut[0] == L']' && cut[1] == L']' && cut[2] == L'>')) ++cut;
        if (cut < end) cut += 2;
        Literal(sink, "<![CDATA[");
        for (const wchar_t* run = p; run < cut;) {
            const wchar_t* clean = run;
            while (clean < cut && IsXmlChar(*clean)) ++clean;
            sink.Text(run, clean);
            if (clean < cut) {
                const wchar_t replacement = static_cast<wchar_t>(kReplacementChar);
                sink.Text(&replacement, &replacement + 1);
                ++clean;
            }
            run = clean;
        }
        Literal(sink, "]]>");
        p = cut;
    } while (p < end);
    Literal(sink, "</stringpsw>");
}

// A container still open on the work list, with the position of its next child.
struct Open {
    CXMLElement* container;
    XMLNodeType kind;
    CXMLDict::EntryMap::iterator next;  // dictionaries
    unsigned int index;                 // arrays
};

// Writes one element: a scalar whole, a container's start tag (then pushed), or an empty
// container whole. False for a kind without a tag.
template <typename Sink>
bool Element(Sink& sink, CXMLElement& element, std::vector<Open>& open) {
    const XMLNodeType kind = element.GetIniNodeType();
    if (kind < eXMLBool || kind > eXMLDict) return false;
    char text[kScalarTextSize];
    switch (kind) {
        case eXMLString:
        case eXMLStringPSW: {
            CString value;
            element.GetValue(&value);
            if (kind == eXMLStringPSW)
                CDataElement(sink, value);
            else
                TextElement(sink, kTags[kind], value);
            return true;
        }
        case eXMLArray: {
            auto& array = static_cast<CXMLArray&>(element);
            if (array.GetSize() == 0) {
                Literal(sink, "<array/>");
                return true;
            }
            Literal(sink, "<array>");
            open.push_back({&element, kind, {}, 0});
            return true;
        }
        case eXMLDict: {
            CXMLDict::EntryMap* entries = TreeAccess::Entries(static_cast<CXMLDict&>(element));
            if (entries == nullptr || entries->empty()) {
                Literal(sink, "<dict/>");
                return true;
            }
            Literal(sink, "<dict>");
            open.push_back({&element, kind, entries->begin(), 0});
            return true;
        }
        default:
            FormatScalar(kind, element, text);
            sink.Ascii("<", 1);
            Literal(sink, kTags[kind]);
            sink.Ascii(">", 1);
            Literal(sink, text);
            sink.Ascii("</", 2);
            Literal(sink, kTags[kind]);
            sink.Ascii(">", 1);
            return true;
    }
}

template <typename Sink>
bool Document(Sink& sink, CXMLDict& dict) {
    if (TreeAccess::Entries(dict) == nullptr) return false;
    Literal(sink, "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<plist version=\"1.0\">");
    std::vector<Open> open;
    if (!Element(sink, dict, open)) return false;
    while (!open.empty()) {
        Open& top = open.back();
        CXMLElement* child = nullptr;
        if (top.kind == eXMLDict) {
            CXMLDict::EntryMap* entries = TreeAccess::Entries(static_cast<CXMLDict&>(*top.container));
            if (top.next != entries->end()) {
                TextElement(sink, "key", top.next->first);
                child = top.next->second;
                ++top.next;
            }
        } else {
            auto& array = static_cast<CXMLArray&>(*top.container);
            if (top.index < array.GetSize()) child = array[static_cast<int>(top.index++)];
        }
        if (child == nullptr) {
            Literal(sink, top.kind == eXMLDict ? "</dict>" : "</array>");
            open.pop_back();
        } else if (!Element(sink, *child, open)) {
            return false;
        }
    }
    Literal(sink, "</plist>\n");
    return true;
}

}  // namespace

bool FormatScalar(XMLNodeType kind, const CXMLElement& element, char (&out)[kScalarTextSize]) {
    out[0] = '\0';
    switch (kind) {
        case eXMLBool: {
            int value = 0;
            element.GetValue(&value);
            std::snprintf(out, sizeof out, "%s", value != 0 ? "TRUE" : "FALSE");
            return true;
        }
        case eXMLInt: {
            long low = 0;  // the low 32 bits, signed
            element.GetValue(&low);
            std::snprintf(out, sizeof out, "%d", static_cast<int>(low));
            return true;
        }
        case eXMLReal: {
            double value = 0.0;
            element.GetValue(&value);
            std::snprintf(out, sizeof out, "%f", value);
            return true;
        }
        case eXMLDate: {
            // Each field is -1 when the date is not valid or has no calendar fields.
            CCommonDateTime date;
            element.GetValue(&date);
            std::snprintf(out, sizeof out, "%04d:%02d:%02dT%02d:%02d:%02dZ", date.GetYear(),
                          date.GetMonth(), date.GetDay(), date.GetHour(), date.GetMinute(),
                          date.GetSecond());
            return true;
        }
        default: return false;
    }
}

bool WritePlistText(CXMLDict& dict, std::wstring& out) {
    WideSink sink{out};
    return Document(sink, dict);
}

bool WritePlistText(CXMLDict& dict, std::string& out) {
    Utf8Sink sink{out};
    return Document(sink, dict);
}

}  // namespace cu::detail
