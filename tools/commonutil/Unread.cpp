// What a property-list text holds that the library does not read: a scan of the tags, apart
// from the library's own parser, so that the tool can say what a load left out.
#include <cctype>
#include <climits>
#include <cstdlib>
#include <map>

#include "Cli.h"

namespace commonutil {
namespace {

// The tags the library reads; every other element is left out with everything inside it.
bool Known(const std::string& name) {
    static const char* const names[] = {"plist", "dict",    "array", "key",  "string",
                                        "stringpsw", "integer", "real", "date", "boolean"};
    for (const char* known : names)
        if (name == known) return true;
    return false;
}

// The text as single bytes: UTF-16 (by its byte-order mark) keeps only its ASCII units, which
// is all that tags and numbers are made of.
std::string Narrow(const std::string& bytes) {
    const bool little = bytes.rfind("\xFF\xFE", 0) == 0;
    if (!little && bytes.rfind("\xFE\xFF", 0) != 0) return bytes;
    std::string text;
    for (std::size_t i = 2; i + 1 < bytes.size(); i += 2) {
        const unsigned char low = bytes[i + (little ? 0 : 1)], high = bytes[i + (little ? 1 : 0)];
        text += high == 0 ? static_cast<char>(low) : '?';
    }
    return text;
}

std::string Plural(std::size_t count, const char* one, const char* many) {
    return std::to_string(count) + " " + (count == 1 ? one : many);
}

}  // namespace

std::vector<std::string> UnreadParts(const std::string& bytes) {
    const std::string text = Narrow(bytes);
    std::vector<std::string> order;  // skipped tag names, first seen first
    std::map<std::string, std::size_t> skipped;
    std::size_t skippedCount = 0, held = 0;
    int insideSkipped = 0;  // depth inside an element that is left out
    int depth = 0;          // of the elements read; the top two are taken whatever their names
    for (std::size_t at = text.find('<'); at != std::string::npos; at = text.find('<', at + 1)) {
        const auto skipTo = [&](const char* end) {
            const std::size_t found = text.find(end, at);
            at = found == std::string::npos ? text.size() : found;
        };
        if (text.compare(at, 4, "<!--") == 0) { skipTo("-->"); continue; }
        if (text.compare(at, 9, "<![CDATA[") == 0) { skipTo("]]>"); continue; }
        if (text.compare(at, 2, "<?") == 0) { skipTo("?>"); continue; }
        if (text.compare(at, 2, "<!") == 0) { skipTo(">"); continue; }
        const std::size_t close = text.find('>', at);
        if (close == std::string::npos) break;
        if (text[at + 1] == '/') {
            if (insideSkipped > 0) --insideSkipped;
            else if (depth > 0) --depth;
            at = close;
            continue;
        }
        std::size_t end = at + 1;
        while (end < close && !std::isspace(static_cast<unsigned char>(text[end])) && text[end] != '/') ++end;
        std::string name = text.substr(at + 1, end - at - 1);
        for (char& c : name) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        const bool empty = text[close - 1] == '/';
        at = close;
        if (insideSkipped > 0) {
            if (!empty) ++insideSkipped;
            continue;
        }
        if (depth < 2) {
            if (!empty) ++depth;
            continue;
        }
        if (!Known(name)) {
            if (skipped[name]++ == 0) order.push_back(name);
            ++skippedCount;
            if (!empty) insideSkipped = 1;
            continue;
        }
        // The library reads integers as C's strtoll does, then holds them at the 32-bit range.
        if (name == "integer" && !empty) {
            const long long value = std::strtoll(text.substr(close + 1, text.find('<', close) - close - 1).c_str(), nullptr, 10);
            if (value > INT_MAX || value < INT_MIN) ++held;
        }
        if (!empty) ++depth;
    }
    std::vector<std::string> notes;
    if (skippedCount > 0) {
        std::string note = "skipped " + Plural(skippedCount, "element", "elements") + " the library does not read: ";
        for (std::size_t i = 0; i < order.size(); ++i) note += (i ? ", " : "") + order[i];
        notes.push_back(note);
    }
    if (held > 0) notes.push_back(Plural(held, "integer", "integers") + " held at the 32-bit range");
    return notes;
}

}  // namespace commonutil
