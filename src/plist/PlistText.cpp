// Writing property-list text straight from the element tree, depth first with a work list.
#include "plist/PlistText.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string>
#include <vector>

#include "platform/Unicode.h"
#include "plist/ElementTree.h"
#include "platform/win32.h"

namespace cu::detail {
namespace {

const char* const kTags[] = {"boolean", "integer", "real", "string", "stringpsw", "date", "array", "dict"};

// An output buffer grown with realloc (which moves large blocks without copying them) and
// written through raw pointers: Reserve gives room for n more units, Commit records how many of
// them were used.
template <typename Unit>
class Buffer {
public:
    Buffer() = default;
    Buffer(const Buffer&) = delete;
    Buffer& operator=(const Buffer&) = delete;
    ~Buffer() { std::free(m_data); }

    Unit* Reserve(std::size_t n) {
        if (m_capacity - m_size < n) {
            std::size_t capacity = m_capacity < 4096 ? 4096 : m_capacity * 2;
            if (capacity - m_size < n) capacity = m_size + n;
            void* grown = std::realloc(m_data, capacity * sizeof(Unit));
            if (grown == nullptr) throw std::bad_alloc();
            m_data = static_cast<Unit*>(grown);
            m_capacity = capacity;
        }
        return m_data + m_size;
    }
    void Commit(Unit* end) { m_size = static_cast<std::size_t>(end - m_data); }
    const Unit* Data() const { return m_data; }
    std::size_t Size() const { return m_size; }

private:
    Unit* m_data = nullptr;
    std::size_t m_size = 0;
    std::size_t m_capacity = 0;
};

// Wide text for a BSTR result, gathered in blocks of one size and copied once into a string of
// the exact length at the end. Growing one string instead would copy it at every doubling and,
// once it is large, have every page of the new block faulted in afresh; the blocks come back
// from the heap warm, save after save.
class BstrBuffer {
public:
    BstrBuffer() = default;
    BstrBuffer(const BstrBuffer&) = delete;
    BstrBuffer& operator=(const BstrBuffer&) = delete;
    ~BstrBuffer() {
        for (const Block& block : m_blocks) std::free(block.data);
    }

    wchar_t* Reserve(std::size_t n) {
        if (static_cast<std::size_t>(m_limit - m_cursor) < n) StartBlock(n);
        return m_cursor;
    }
    void Commit(wchar_t* end) { m_cursor = end; }
    // The string, of the length written; null when memory ran out.
    BSTR Release() {
        CloseBlock();
        std::size_t length = 0;
        for (const Block& block : m_blocks) length += block.used;
        if (length > INT_MAX) return nullptr;
        BSTR text = SysAllocStringLen(nullptr, static_cast<UINT>(length));
        if (text == nullptr) return nullptr;
        wchar_t* out = text;
        for (const Block& block : m_blocks) out = std::copy(block.data, block.data + block.used, out);
        return text;
    }

private:
    static constexpr std::size_t kBlockUnits = std::size_t{1} << 18;
    struct Block {
        wchar_t* data;
        std::size_t used;
    };

    void CloseBlock() {
        if (!m_blocks.empty()) m_blocks.back().used = static_cast<std::size_t>(m_cursor - m_blocks.back().data);
    }
    void StartBlock(std::size_t n) {
        CloseBlock();
        m_blocks.reserve(m_blocks.size() + 1);
        const std::size_t units = std::max(kBlockUnits, n);
        if (units > SIZE_MAX / sizeof(wchar_t)) throw std::bad_alloc();
        auto* data = static_cast<wchar_t*>(std::malloc(units * sizeof(wchar_t)));
        if (data == nullptr) throw std::bad_alloc();
        m_blocks.push_back({data, 0});
        m_cursor = data;
        m_limit = data + units;
    }

    std::vector<Block> m_blocks;
    wchar_t* m_cursor = nullptr;
    wchar_t* m_limit = nullptr;
};

// Stores a character that is not ASCII. The DOM routes give back what is not a Unicode scalar
// value (a lone surrogate; where wchar_t is UTF-32, anything beyond U+10FFFF) as U+FFFD, and
// so does this.
inline wchar_t* PutWide(wchar_t* out, const wchar_t*& p, const wchar_t* end) {
    return out + EncodeWide(DecodeWide(p, end), out);
}

// UTF-8 of a character that is not ASCII: a lone surrogate, or a wide character beyond U+10FFFF,
// becomes U+FFFD.
inline char* PutUtf8(char* out, const wchar_t*& p, const wchar_t* end) {
    return out + EncodeUtf8(DecodeWide(p, end), out);
}

struct WideSink {
    using Unit = wchar_t;
    static Unit* Put(Unit* out, const wchar_t*& p, const wchar_t* end) { return PutWide(out, p, end); }
    BstrBuffer buffer;
    char decimalPoint = DecimalPoint();
};

struct Utf8Sink {
    using Unit = char;
    static Unit* Put(Unit* out, const wchar_t*& p, const wchar_t* end) { return PutUtf8(out, p, end); }
    Buffer<char> buffer;
    char decimalPoint = DecimalPoint();
};

// Each wide unit gives at most five output units ("&amp;", "&#13;"; four UTF-8 bytes per UTF-32
// unit, four per UTF-16 pair), and in CDATA seventeen: a carriage return ends the section around
// its reference.
constexpr std::size_t kMaxUnitsPerChar = 5;
constexpr std::size_t kMaxCDataUnitsPerChar = 17;
constexpr char kCDataCarriageReturn[] = "]]>&#13;<![CDATA[";

template <typename Sink>
void Ascii(Sink& sink, const char* text, std::size_t length) {
    typename Sink::Unit* out = sink.buffer.Reserve(length);
    for (std::size_t i = 0; i < length; ++i) out[i] = static_cast<typename Sink::Unit>(text[i]);
    sink.buffer.Commit(out + length);
}

template <typename Sink>
void Literal(Sink& sink, const char* text) {
    Ascii(sink, text, std::char_traits<char>::length(text));
}

// Character data: characters XML cannot carry become U+FFFD; outside CDATA '&', '<' and '>' are
// escaped. Every reader turns a raw carriage return into a line feed, so one is written as a
// reference, in CDATA between two sections.
template <typename Sink>
void Escaped(Sink& sink, const wchar_t* p, const wchar_t* end, bool cdata) {
    using Unit = typename Sink::Unit;
    Unit* out = sink.buffer.Reserve(static_cast<std::size_t>(end - p) *
                                    (cdata ? kMaxCDataUnitsPerChar : kMaxUnitsPerChar));
    while (p < end) {
        const wchar_t c = *p;
        if (c > L'>' && c < 0x80) {
            *out++ = static_cast<Unit>(c);
            ++p;
        } else if (!IsXmlChar(c)) {
            const wchar_t replacement = static_cast<wchar_t>(kReplacementChar);
            const wchar_t* r = &replacement;
            out = Sink::Put(out, r, r + 1);
            ++p;
        } else if (c < 0x80) {
            const char* escape = nullptr;
            if (c == L'\r') escape = cdata ? kCDataCarriageReturn : "&#13;";
            else if (!cdata) escape = c == L'&' ? "&amp;" : c == L'<' ? "&lt;" : c == L'>' ? "&gt;" : nullptr;
            if (escape == nullptr) {
                *out++ = static_cast<Unit>(c);
            } else {
                while (*escape) *out++ = static_cast<Unit>(*escape++);
            }
            ++p;
        } else {
            out = Sink::Put(out, p, end);
        }
    }
    sink.buffer.Commit(out);
}

// An element with text content, or empty ("<key/>") when the text is empty.
template <typename Sink>
void TextElement(Sink& sink, const char* tag, std::size_t tagLength, const CString& text) {
    sink.buffer.Reserve(2 * tagLength + 5);
    Ascii(sink, "<", 1);
    Ascii(sink, tag, tagLength);
    if (text.IsEmpty()) {
        Ascii(sink, "/>", 2);
        return;
    }
    Ascii(sink, ">", 1);
    Escaped(sink, text.GetString(), text.GetString() + text.GetLength(), false);
    Ascii(sink, "</", 2);
    Ascii(sink, tag, tagLength);
    Ascii(sink, ">", 1);
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
        Escaped(sink, p, cut, true);
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
                TextElement(sink, kTags[kind], std::char_traits<char>::length(kTags[kind]), value);
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
            FormatScalar(kind, element, text, sink.decimalPoint);
            const std::size_t tagLength = std::char_traits<char>::length(kTags[kind]);
            sink.buffer.Reserve(2 * tagLength + 5);
            Ascii(sink, "<", 1);
            Ascii(sink, kTags[kind], tagLength);
            Ascii(sink, ">", 1);
            Literal(sink, text);
            Ascii(sink, "</", 2);
            Ascii(sink, kTags[kind], tagLength);
            Ascii(sink, ">", 1);
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
                TextElement(sink, "key", 3, top.next->first);
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

// "%f": plain decimal notation with six digits after the point. For a finite value to_chars gives
// the digits that printf gives, several times faster; the point is then the C locale's.
void FormatReal(double value, char decimalPoint, char (&out)[kScalarTextSize]) {
    if (decimalPoint != '\0' && std::isfinite(value)) {
        const std::to_chars_result written =
            std::to_chars(out, out + sizeof out - 1, value, std::chars_format::fixed, 6);
        if (written.ec == std::errc()) {
            *written.ptr = '\0';
            written.ptr[-7] = decimalPoint;
            return;
        }
    }
    std::snprintf(out, sizeof out, "%f", value);
}

// Writes value, below 10 to the power width, as width digits followed by separator.
char* PutDigits(char* out, unsigned value, int width, char separator) {
    for (int i = width - 1; i >= 0; --i, value /= 10) out[i] = static_cast<char>('0' + value % 10);
    out[width] = separator;
    return out + width + 1;
}

}  // namespace

char DecimalPoint() {
    char text[8];
    std::snprintf(text, sizeof text, "%.1f", 0.5);
    return text[0] == '0' && text[2] == '5' && text[3] == '\0' ? text[1] : '\0';
}

bool FormatScalar(XMLNodeType kind, const CXMLElement& element, char (&out)[kScalarTextSize], char decimalPoint) {
    out[0] = '\0';
    switch (kind) {
        case eXMLBool: {
            int value = 0;
            element.GetValue(&value);
            std::strcpy(out, value != 0 ? "TRUE" : "FALSE");
            return true;
        }
        case eXMLInt: {
            long low = 0;  // the low 32 bits, signed
            element.GetValue(&low);
            *std::to_chars(out, out + sizeof out - 1, static_cast<int>(low)).ptr = '\0';
            return true;
        }
        case eXMLReal: {
            double value = 0.0;
            element.GetValue(&value);
            FormatReal(value, decimalPoint, out);
            return true;
        }
        case eXMLDate: {
            CCommonDateTime date;
            element.GetValue(&date);
            SYSTEMTIME fields;
            if (!date.GetAsSystemTime(fields)) {
                // Not a valid date, or one without calendar fields: every field reads -1.
                std::strcpy(out, "-001:-1:-1T-1:-1:-1Z");
                return true;
            }
            char* p = out;
            p = PutDigits(p, fields.wYear, 4, ':');
            p = PutDigits(p, fields.wMonth, 2, ':');
            p = PutDigits(p, fields.wDay, 2, 'T');
            p = PutDigits(p, fields.wHour, 2, ':');
            p = PutDigits(p, fields.wMinute, 2, ':');
            p = PutDigits(p, fields.wSecond, 2, 'Z');
            *p = '\0';
            return true;
        }
        default: return false;
    }
}

BSTR WritePlistText(CXMLDict& dict) {
    WideSink sink;
    if (!Document(sink, dict)) return nullptr;
    return sink.buffer.Release();
}

bool WritePlistText(CXMLDict& dict, std::string& out) {
    Utf8Sink sink;
    if (!Document(sink, dict)) return false;
    out.assign(sink.buffer.Data(), sink.buffer.Size());
    return true;
}

}  // namespace cu::detail
