// The benchmark's references: pugixml, libplist and a mutexed write(2) per log record.
#include "BenchReferences.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>

#ifdef COMMONUTILITY_BENCH_PUGIXML
#include <fcntl.h>
#include <unistd.h>

#include <pugixml.hpp>
#endif
#ifdef COMMONUTILITY_BENCH_LIBPLIST
#include <plist/plist.h>
#endif

namespace bench {
namespace {

const char* const kTags[] = {"boolean", "integer", "real", "string", "stringpsw", "date", "array", "dict"};

Tree Leaf(CXMLElement& element) {
    Tree node;
    node.kind = element.GetIniNodeType();
    node.tag = kTags[node.kind];
    char text[128] = "";
    switch (node.kind) {
        case eXMLBool: {
            int value = 0;
            element.GetValue(&value);
            node.integer = value;
            std::snprintf(text, sizeof text, "%s", value != 0 ? "TRUE" : "FALSE");
            break;
        }
        case eXMLInt: {
            __int64 value = 0;
            element.GetValue(&value);
            node.integer = value;
            std::snprintf(text, sizeof text, "%d", static_cast<int>(value));
            break;
        }
        case eXMLReal:
            element.GetValue(&node.real);
            std::snprintf(text, sizeof text, "%f", node.real);
            break;
        case eXMLString:
        case eXMLStringPSW: {
            CString value;
            element.GetValue(&value);
            node.text = value.ToUtf8();
            return node;
        }
        case eXMLDate: {
            CCommonDateTime value;
            element.GetValue(&value);
            node.real = value.m_dt;
            std::snprintf(text, sizeof text, "%04d:%02d:%02dT%02d:%02d:%02dZ", value.GetYear(),
                          value.GetMonth(), value.GetDay(), value.GetHour(), value.GetMinute(),
                          value.GetSecond());
            break;
        }
        default: break;
    }
    node.text = text;
    return node;
}

Tree Convert(CXMLElement& element) {
    const XMLNodeType kind = element.GetIniNodeType();
    if (kind == eXMLDict) {
        auto& dict = static_cast<CXMLDict&>(element);
        Tree node;
        node.kind = kind;
        node.tag = "dict";
        for (const CString& key : dict.GetKeys()) {
            Tree keyNode;
            keyNode.tag = "key";
            keyNode.text = key.ToUtf8();
            node.children.push_back(keyNode);
            node.children.push_back(Convert(*dict.GetChild(key)));
        }
        return node;
    }
    if (kind == eXMLArray) {
        auto& array = static_cast<CXMLArray&>(element);
        Tree node;
        node.kind = kind;
        node.tag = "array";
        for (unsigned int i = 0; i < array.GetSize(); ++i) node.children.push_back(Convert(*array[static_cast<int>(i)]));
        return node;
    }
    return Leaf(element);
}

#ifdef COMMONUTILITY_BENCH_PUGIXML
std::size_t g_sink = 0;  // keeps the walks from being optimised away

void Walk(const pugi::xml_document& doc) {
    std::size_t sum = 0;
    for (pugi::xml_node node = doc.first_child(); node;) {
        sum += std::strlen(node.name()) + std::strlen(node.value());
        if (node.first_child()) {
            node = node.first_child();
            continue;
        }
        while (node && !node.next_sibling()) node = node.parent();
        if (node) node = node.next_sibling();
    }
    g_sink += sum;
}

void Build(pugi::xml_node parent, const Tree& tree) {
    pugi::xml_node node = parent.append_child(tree.tag.c_str());
    if (tree.kind == eXMLStringPSW)
        node.append_child(pugi::node_cdata).set_value(tree.text.c_str());
    else if (!tree.text.empty())
        node.append_child(pugi::node_pcdata).set_value(tree.text.c_str());
    for (const Tree& child : tree.children) Build(node, child);
}

void BuildDocument(pugi::xml_document& doc, const Tree& tree) {
    pugi::xml_node declaration = doc.append_child(pugi::node_declaration);
    declaration.append_attribute("version") = "1.0";
    declaration.append_attribute("encoding") = "utf-8";
    pugi::xml_node plist = doc.append_child("plist");
    plist.append_attribute("version") = "1.0";
    Build(plist, tree);
}

struct StringWriter : pugi::xml_writer {
    std::string text;
    void write(const void* data, std::size_t size) override { text.append(static_cast<const char*>(data), size); }
};
#endif

}  // namespace

Tree Tree::From(CXMLDict& dict) { return Convert(dict); }

#ifdef COMMONUTILITY_BENCH_PUGIXML
bool HavePugi() { return true; }

void PugiParseWide(const std::wstring& text) {
    pugi::xml_document doc;
    if (!doc.load_buffer(text.data(), text.size() * sizeof(wchar_t), pugi::parse_default, pugi::encoding_wchar))
        std::abort();
    Walk(doc);
}

void PugiParseFile(const std::string& path) {
    pugi::xml_document doc;
    if (!doc.load_file(path.c_str())) std::abort();
    Walk(doc);
}

void PugiBuildAndSerialise(const Tree& tree) {
    pugi::xml_document doc;
    BuildDocument(doc, tree);
    StringWriter writer;
    doc.save(writer, "", pugi::format_raw, pugi::encoding_utf8);
    g_sink += writer.text.size();
}

void PugiBuildAndSaveFile(const Tree& tree, const std::string& path) {
    pugi::xml_document doc;
    BuildDocument(doc, tree);
    StringWriter writer;
    doc.save(writer, "", pugi::format_raw, pugi::encoding_utf8);
    const std::string temporary = path + ".tmp";
    const int fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (fd < 0 || ::write(fd, writer.text.data(), writer.text.size()) != static_cast<ssize_t>(writer.text.size()) ||
        ::fsync(fd) != 0 || ::close(fd) != 0 || ::rename(temporary.c_str(), path.c_str()) != 0)
        std::abort();
}

void SetEnv(const char* name, const char* value) { ::setenv(name, value, 1); }

namespace {
// The resident peak of this process in MiB: its own, not the parent's that it was forked from.
double OwnPeak() {
    std::FILE* status = std::fopen("/proc/self/status", "r");
    if (status == nullptr) return -1;
    char line[256];
    double peak = -1;
    while (std::fgets(line, sizeof line, status) != nullptr)
        if (std::strncmp(line, "VmHWM:", 6) == 0) peak = std::atof(line + 6) / 1024.0;
    std::fclose(status);
    return peak;
}
}  // namespace

int PeakChild(const char* mode, const char* path) {
    if (std::strcmp(mode, "lib") == 0) {
        CXMLDict dict;
        if (dict.LoadFromFile(CString(path)) != 1) return 1;
    } else if (std::strcmp(mode, "pugi") == 0) {
        pugi::xml_document doc;
        if (!doc.load_file(path)) return 1;
        Walk(doc);
    }  // "base": the process alone
    std::printf("%.1f\n", OwnPeak());
    return 0;
}

void MeasurePeak(const char* /*self*/, const std::string& file) {
    auto peak = [&](const char* mode) {
        const std::string command = "/proc/" + std::to_string(::getpid()) + "/exe --peak-child " + mode + " '" + file + "'";
        std::FILE* child = ::popen(command.c_str(), "r");
        if (child == nullptr) return -1.0;
        double value = -1;
        if (std::fscanf(child, "%lf", &value) != 1) value = -1;
        ::pclose(child);
        return value;
    };
    const double base = peak("base"), lib = peak("lib"), pugi = peak("pugi");
    std::printf("  peak memory of a load: library %.0f MiB, pugixml %.0f MiB (process alone %.0f MiB)"
                "   ratio %.2f (goal at most 2.00) %s\n",
                lib, pugi, base, lib / pugi, lib / pugi <= 2.0 ? "ok" : "ABOVE");
}

bool HaveLogReference() { return true; }

struct LogReference::Impl {
    int fd = -1;
    std::mutex lock;
};

LogReference::LogReference(const std::string& path) : m_impl(new Impl) {
    m_impl->fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0666);
}

LogReference::~LogReference() { ::close(m_impl->fd); }

void LogReference::Write(int thread, int record) {
    char text[1024];
    const int length = std::snprintf(
        text, sizeof text, "[2026/12/06 07:30:15.123][TID=%d] : worker %d wrote record %d of the run\r\n",
        12345 + thread, thread, record);
    std::lock_guard<std::mutex> hold(m_impl->lock);
    if (::write(m_impl->fd, text, static_cast<std::size_t>(length)) != length) std::abort();
}
#else
bool HavePugi() { return false; }
void PugiParseWide(const std::wstring&) {}
void PugiParseFile(const std::string&) {}
void PugiBuildAndSerialise(const Tree&) {}
void PugiBuildAndSaveFile(const Tree&, const std::string&) {}
void SetEnv(const char* name, const char* value) { _putenv_s(name, value); }
int PeakChild(const char*, const char*) { return 0; }
void MeasurePeak(const char*, const std::string&) { std::printf("  (peak memory measured on Linux only)\n"); }
bool HaveLogReference() { return false; }
struct LogReference::Impl {};
LogReference::LogReference(const std::string&) {}
LogReference::~LogReference() = default;
void LogReference::Write(int, int) {}
#endif

#ifdef COMMONUTILITY_BENCH_LIBPLIST
bool HavePlist() { return true; }

namespace {
plist_t ToPlist(const Tree& tree) {
    switch (tree.kind) {
        case eXMLBool: return plist_new_bool(tree.integer != 0);
        case eXMLInt: return plist_new_uint(static_cast<std::uint64_t>(tree.integer));
        case eXMLReal: return plist_new_real(tree.real);
        case eXMLDate: {
            // Seconds from 2001-01-01, the day count 36892.
            const double seconds = (tree.real - 36892.0) * 86400.0;
            return plist_new_date(static_cast<int32_t>(seconds), 0);
        }
        case eXMLArray: {
            plist_t array = plist_new_array();
            for (const Tree& child : tree.children) plist_array_append_item(array, ToPlist(child));
            return array;
        }
        case eXMLDict: {
            plist_t dict = plist_new_dict();
            for (std::size_t i = 0; i + 1 < tree.children.size(); i += 2)
                plist_dict_set_item(dict, tree.children[i].text.c_str(), ToPlist(tree.children[i + 1]));
            return dict;
        }
        default: return plist_new_string(tree.text.c_str());
    }
}
}  // namespace

struct PlistDocument::Impl {
    plist_t tree = nullptr;
    std::string xml;
};

PlistDocument::PlistDocument(const Tree& tree) : m_impl(new Impl) {
    m_impl->tree = ToPlist(tree);
    char* xml = nullptr;
    uint32_t length = 0;
    plist_to_xml(m_impl->tree, &xml, &length);
    m_impl->xml.assign(xml, length);
    plist_to_xml_free(xml);
}

PlistDocument::~PlistDocument() { plist_free(m_impl->tree); }

void PlistDocument::Parse() {
    plist_t parsed = nullptr;
    plist_from_xml(m_impl->xml.data(), static_cast<uint32_t>(m_impl->xml.size()), &parsed);
    if (parsed == nullptr) std::abort();
    plist_free(parsed);
}

void PlistDocument::Serialise() {
    char* xml = nullptr;
    uint32_t length = 0;
    plist_to_xml(m_impl->tree, &xml, &length);
    plist_to_xml_free(xml);
}
#else
bool HavePlist() { return false; }
struct PlistDocument::Impl {};
PlistDocument::PlistDocument(const Tree&) {}
PlistDocument::~PlistDocument() = default;
void PlistDocument::Parse() {}
void PlistDocument::Serialise() {}
#endif

}  // namespace bench
