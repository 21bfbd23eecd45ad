// The lexical check of XML text that both DOM backends make before parsing.
//
// One scanner reads code units through a small accessor, so that bytes, UTF-16 in either byte
// order, UTF-32 and wide text are read in place. Every markup delimiter is ASCII, so UTF-8 and
// UTF-16 need no decoding: a unit above 0x7F is never markup, and only units that hold whole code
// points can be checked for surrogates and values beyond U+10FFFF. Each unit is looked at once,
// with a lookahead of at most nine units; the few nested calls (a reference in an attribute value
// in a declaration in the DTD) do not depend on the input.
#include "plist/dom/XmlCheck.h"

#include <cstring>
#include <string>
#include <type_traits>

namespace {

constexpr char32_t kPastEnd = 0xFFFFFFFF;

struct ByteUnits {
    static constexpr bool kCodePoints = false;
    const unsigned char* data;
    char32_t operator[](std::size_t i) const { return data[i]; }
};

template <bool kBigEndian>
struct Utf16Units {
    static constexpr bool kCodePoints = false;
    const unsigned char* data;
    char32_t operator[](std::size_t i) const {
        const unsigned char* p = data + 2 * i;
        return kBigEndian ? char32_t(p[0]) << 8 | p[1] : char32_t(p[1]) << 8 | p[0];
    }
};

struct Utf32LeUnits {
    static constexpr bool kCodePoints = true;
    const unsigned char* data;
    char32_t operator[](std::size_t i) const {
        const unsigned char* p = data + 4 * i;
        return char32_t(p[3]) << 24 | char32_t(p[2]) << 16 | char32_t(p[1]) << 8 | p[0];
    }
};

struct WideUnits {
    static constexpr bool kCodePoints = sizeof(wchar_t) >= 4;
    const wchar_t* data;
    // A negative 32-bit wchar_t becomes a value beyond U+10FFFF, and is refused as one.
    char32_t operator[](std::size_t i) const { return static_cast<char32_t>(data[i]); }
};

// Which units below 0x100 a run of text can go on with: tab, line feed, carriage return and the
// printable characters, less the markup ones that stop it. Every unit from 0x80 goes on: a byte of
// a multi-byte sequence, or a Latin-1 letter. A byte is then looked up once, with no other test.
struct UnitSet {
    bool in[256];
};

constexpr UnitSet PlainUnits(const char* stops) {
    UnitSet set{};
    for (int c = 0x20; c < 0x100; ++c) set.in[c] = true;
    set.in['\t'] = set.in['\n'] = set.in['\r'] = true;
    for (; *stops != '\0'; ++stops) set.in[static_cast<unsigned char>(*stops)] = false;
    return set;
}

constexpr UnitSet kPlainText = PlainUnits("<&]");    // content and the space between nodes
constexpr UnitSet kPlainInTag = PlainUnits("<&>\"'");  // a tag outside attribute values

bool IsSpace(char32_t c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

bool IsNameStart(char32_t c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_' || c == ':' ||
           (c >= 0x80 && c != kPastEnd);
}

// What a character reference may name.
bool IsXmlChar(char32_t c) {
    return c == 0x9 || c == 0xA || c == 0xD || (c >= 0x20 && c <= 0xD7FF) ||
           (c >= 0xE000 && c <= 0xFFFD) || (c >= 0x10000 && c <= 0x10FFFF);
}

template <class Units>
class Scanner {
public:
    Scanner(Units units, std::size_t count) : m_in(units), m_count(count) {}

    // Whether some tag met so far has more than one attribute value.
    bool SeveralAttributes() const { return m_severalAttributes; }

    bool Run() {
        if (At(0) == 0xFEFF) m_pos = 1;  // the byte-order mark of UTF-16 and wide text
        const std::size_t start = m_pos;
        while ((m_pos = SkipPlain(m_pos, kPlainText)) < m_count) {
            const char32_t c = m_in[m_pos];
            if (c == '<') {
                if (!Markup(m_pos == start)) return false;
            } else if (c == '&') {
                if (!Reference()) return false;
            } else if ((c == ']' && Follows("]]>")) || IsRefused(c)) {
                return false;
            } else {
                ++m_pos;
            }
        }
        return true;
    }

private:
    char32_t At(std::size_t i) const { return i < m_count ? m_in[i] : kPastEnd; }

    // The end of the run from pos of units that need no closer look: units below 0x100 in the
    // set, and beyond them what is surely a character XML allows. The bulk of a document passes
    // here.
    std::size_t SkipPlain(std::size_t pos, const UnitSet& plain) const {
        const auto isPlain = [&plain](char32_t c) {
            return c < 0x100 ? plain.in[c] : (Units::kCodePoints ? c < 0xD800 : c < 0xFFFE);
        };
        // Bytes four at a time while four are left, then one by one. Wider units, whose test has
        // two branches, run faster one by one.
        if constexpr (std::is_same_v<Units, ByteUnits>) {
            while (pos + 4 <= m_count && isPlain(m_in[pos]) && isPlain(m_in[pos + 1]) && isPlain(m_in[pos + 2]) &&
                   isPlain(m_in[pos + 3]))
                pos += 4;
        }
        while (pos < m_count && isPlain(m_in[pos])) ++pos;
        return pos;
    }

    bool Follows(const char* ascii) const {
        for (std::size_t k = 0; ascii[k] != '\0'; ++k)
            if (At(m_pos + k) != static_cast<unsigned char>(ascii[k])) return false;
        return true;
    }

    bool Skip(const char* ascii) {
        if (!Follows(ascii)) return false;
        m_pos += std::strlen(ascii);
        return true;
    }

    // A raw character that XML does not allow: C0 controls but tab, line feed and carriage
    // return, and the non-characters U+FFFE and U+FFFF (one unit in UTF-16 too); where units are
    // code points also surrogates and values beyond U+10FFFF. UTF-8's forms of U+FFFE and U+FFFF
    // are looked for apart (see NonCharacterInUtf8).
    static bool IsRefused(char32_t c) {
        if (c < 0x20) return c != 0x9 && c != 0xA && c != 0xD;
        if (c == 0xFFFE || c == 0xFFFF) return true;
        if constexpr (Units::kCodePoints) return (c >= 0xD800 && c <= 0xDFFF) || c > 0x10FFFF;
        return false;
    }

    // At '<' in content or between top-level nodes.
    bool Markup(bool atStart) {
        const char32_t next = At(m_pos + 1);
        if (next == '?') return Pi(atStart);
        if (next == '!') {
            if (Skip("<!--")) return Comment();
            if (Skip("<![CDATA[")) return CData();
            if (!Skip("<!DOCTYPE") || m_seenElement || m_seenDoctype || !IsSpace(At(m_pos))) return false;
            m_seenDoctype = true;
            return Doctype();
        }
        if (next == '/') {
            m_pos += 2;
            return Tag();
        }
        if (!IsNameStart(next)) return false;
        m_seenElement = true;
        ++m_pos;
        return Tag();
    }

    // At "<?". A target named xml, in any case, is refused but for the declaration itself.
    bool Pi(bool atStart) {
        m_pos += 2;
        const std::size_t target = m_pos;
        while (m_pos < m_count && !IsSpace(m_in[m_pos]) && m_in[m_pos] != '?') ++m_pos;
        if (m_pos == target) return false;
        if (m_pos - target == 3 && (At(target) | 0x20) == 'x' && (At(target + 1) | 0x20) == 'm' &&
            (At(target + 2) | 0x20) == 'l') {
            const bool declaration = atStart && At(target) == 'x' && At(target + 1) == 'm' &&
                                     At(target + 2) == 'l' && IsSpace(At(m_pos));
            if (!declaration) return false;
        }
        m_pos = target;
        for (; m_pos < m_count; ++m_pos) {
            if (Skip("?>")) return true;
            if (IsRefused(m_in[m_pos])) return false;
        }
        return false;
    }

    // After "<!--": "--" may only end the comment.
    bool Comment() {
        int dashes = 0;
        while (m_pos < m_count) {
            const char32_t c = m_in[m_pos++];
            if (dashes >= 2) return c == '>';
            if (c == '-') {
                ++dashes;
            } else {
                dashes = 0;
                if (IsRefused(c)) return false;
            }
        }
        return false;
    }

    // After "<![CDATA[".
    bool CData() {
        for (; m_pos < m_count; ++m_pos) {
            if (Skip("]]>")) return true;
            if (IsRefused(m_in[m_pos])) return false;
        }
        return false;
    }

    // After '<' or "</": up to the '>' that ends the tag, outside attribute values.
    bool Tag() {
        int values = 0;
        while ((m_pos = SkipPlain(m_pos, kPlainInTag)) < m_count) {
            const char32_t c = m_in[m_pos++];
            if (c == '>') return true;
            if (c == '"' || c == '\'') {
                if (++values == 2) m_severalAttributes = true;
                if (!AttributeValue(c)) return false;
            } else if (c == '<' || c == '&' || IsRefused(c)) {
                return false;
            }
        }
        return false;
    }

    // After the opening quote.
    bool AttributeValue(char32_t quote) {
        while (m_pos < m_count) {
            const char32_t c = m_in[m_pos];
            if (c == '&') {
                if (!Reference()) return false;
                continue;
            }
            ++m_pos;
            if (c == quote) return true;
            if (c == '<' || IsRefused(c)) return false;
        }
        return false;
    }

    // A quoted literal of the DTD that holds no markup (a public or system identifier).
    bool Literal(char32_t quote) {
        while (m_pos < m_count) {
            const char32_t c = m_in[m_pos++];
            if (c == quote) return true;
            if (IsRefused(c)) return false;
        }
        return false;
    }

    // At '&': one of the five predefined entities or a character reference to a character XML
    // allows. Every other name is refused, declared or not.
    bool Reference() {
        ++m_pos;
        if (At(m_pos) != '#')
            return Skip("lt;") || Skip("gt;") || Skip("amp;") || Skip("apos;") || Skip("quot;");
        ++m_pos;
        const bool hex = At(m_pos) == 'x';
        if (hex) ++m_pos;
        char32_t value = 0;
        std::size_t digits = 0;
        for (;; ++m_pos, ++digits) {
            const char32_t c = At(m_pos);
            char32_t digit;
            if (c >= '0' && c <= '9')
                digit = c - '0';
            else if (hex && (c | 0x20) >= 'a' && (c | 0x20) <= 'f')
                digit = (c | 0x20) - 'a' + 10;
            else
                break;
            value = value * (hex ? 16 : 10) + digit;
            if (value > 0x10FFFF) value = 0x110000;  // held just beyond the range: no overflow
        }
        return digits > 0 && Skip(";") && IsXmlChar(value);
    }

    // After "<!DOCTYPE": the name, an external identifier (never fetched), an internal subset.
    bool Doctype() {
        bool subsetRead = false;
        while (m_pos < m_count) {
            const char32_t c = m_in[m_pos++];
            if (c == '>') return true;
            if (subsetRead && !IsSpace(c)) return false;
            if (c == '"' || c == '\'') {
                if (!Literal(c)) return false;
            } else if (c == '[') {
                if (!InternalSubset()) return false;
                subsetRead = true;
            } else if (c == '<' || c == ']' || IsRefused(c)) {
                return false;
            }
        }
        return false;
    }

    // After '[', up to and with its ']'. Element, attribute-list and notation declarations,
    // comments and processing instructions pass; entity declarations, parameter-entity
    // references, conditional sections and everything else are refused.
    bool InternalSubset() {
        while (m_pos < m_count) {
            const char32_t c = m_in[m_pos];
            if (c == ']') {
                ++m_pos;
                return true;
            }
            bool ok;
            if (IsSpace(c)) {
                ++m_pos;
                ok = true;
            } else if (Skip("<!--")) {
                ok = Comment();
            } else if (Follows("<?")) {
                ok = Pi(false);
            } else if (Skip("<!ATTLIST")) {
                ok = Declaration(true);
            } else if (Skip("<!ELEMENT") || Skip("<!NOTATION")) {
                ok = Declaration(false);
            } else {
                ok = false;
            }
            if (!ok) return false;
        }
        return false;
    }

    // After the keyword of a markup declaration, up to its '>'. An attribute-list declaration's
    // literals are default values, read as attribute values are.
    bool Declaration(bool attributeList) {
        while (m_pos < m_count) {
            const char32_t c = m_in[m_pos++];
            if (c == '>') return true;
            if (c == '"' || c == '\'') {
                if (!(attributeList ? AttributeValue(c) : Literal(c))) return false;
            } else if (c == '<' || c == '%' || c == '&' || c == '[' || c == ']' || IsRefused(c)) {
                return false;
            }
        }
        return false;
    }

    Units m_in;
    std::size_t m_count;
    std::size_t m_pos = 0;
    bool m_seenElement = false;
    bool m_seenDoctype = false;
    bool m_severalAttributes = false;
};

template <class Units>
bool Scan(Units units, std::size_t count, bool* severalAttributes) {
    Scanner<Units> scanner(units, count);
    const bool wellFormed = scanner.Run();
    if (severalAttributes != nullptr) *severalAttributes = scanner.SeveralAttributes();
    return wellFormed;
}

std::string Lower(std::string text) {
    for (char& c : text)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return text;
}

// Whether UTF-8 text holds U+FFFE or U+FFFF (EF BF BE, EF BF BF). Byte units are scanned one by
// one and never decoded, so these two are found here rather than by IsRefused.
bool NonCharacterInUtf8(const unsigned char* p, std::size_t size) {
    const unsigned char* const end = p + size;
    while (size >= 3) {
        const void* found = std::memchr(p, 0xEF, size - 2);
        if (found == nullptr) return false;
        p = static_cast<const unsigned char*>(found);
        if (p[1] == 0xBF && (p[2] == 0xBE || p[2] == 0xBF)) return true;
        ++p;
        size = static_cast<std::size_t>(end - p);
    }
    return false;
}

}  // namespace

namespace cu::detail {

bool IsLexicallyWellFormed(const wchar_t* text, std::size_t length, bool* severalAttributes) {
    return Scan(WideUnits{text}, length, severalAttributes);
}

// The byte-order marks are those the POSIX backend hands to its parser as UTF-16 or UTF-32.
bool IsLexicallyWellFormed(const char* data, std::size_t size, bool* severalAttributes) {
    const auto* bytes = reinterpret_cast<const unsigned char*>(data);
    if (size >= 4 && bytes[0] == 0xFF && bytes[1] == 0xFE && bytes[2] == 0 && bytes[3] == 0)
        return Scan(Utf32LeUnits{bytes}, size / 4, severalAttributes);
    if (size >= 2 && bytes[0] == 0xFF && bytes[1] == 0xFE)
        return Scan(Utf16Units<false>{bytes}, size / 2, severalAttributes);
    if (size >= 2 && bytes[0] == 0xFE && bytes[1] == 0xFF)
        return Scan(Utf16Units<true>{bytes}, size / 2, severalAttributes);
    const std::size_t skip = size >= 3 && bytes[0] == 0xEF && bytes[1] == 0xBB && bytes[2] == 0xBF ? 3 : 0;
    // In ISO-8859-1 the bytes of UTF-8's non-characters are three ordinary letters.
    if (!IsLatin1(DeclaredEncoding(data + skip, size - skip)) && NonCharacterInUtf8(bytes + skip, size - skip))
        return false;
    return Scan(ByteUnits{bytes + skip}, size - skip, severalAttributes);
}

std::string DeclaredEncoding(const char* data, std::size_t size) {
    if (size < 5 || std::memcmp(data, "<?xml", 5) != 0) return std::string();
    const std::string head(data, size < 512 ? size : 512);
    const std::size_t end = head.find("?>");
    const std::size_t at = head.find("encoding");
    if (end == std::string::npos || at == std::string::npos || at > end) return std::string();
    std::size_t p = head.find_first_of("\"'", at);
    if (p == std::string::npos || p > end) return std::string();
    const std::size_t close = head.find(head[p], p + 1);
    if (close == std::string::npos || close > end) return std::string();
    return Lower(head.substr(p + 1, close - p - 1));
}

bool IsLatin1(const std::string& encoding) {
    return encoding == "iso-8859-1" || encoding == "latin1" || encoding == "latin-1";
}

}  // namespace cu::detail
