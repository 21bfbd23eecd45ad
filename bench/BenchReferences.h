// The references the benchmark compares against, and the process helpers it needs. Each
// reference is compiled only where its library is found; Have*() tells which are there.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "CommonUtility.h"

namespace bench {

// A property-list tree in plain form: the element's tag, its text as the library writes it
// (UTF-8), and for dictionaries a "key" node before each value.
struct Tree {
    std::string tag;
    std::string text;
    XMLNodeType kind = eXMLNone;
    long long integer = 0;
    double real = 0;  // also a date's day count
    std::vector<Tree> children;

    static Tree From(CXMLDict& dict);
};

bool HavePugi();
// Parses the text with pugixml and reads every node's name and text.
void PugiParseWide(const std::wstring& text);
void PugiParseFile(const std::string& path);
// Builds the tree as a pugixml DOM and serialises it to memory, or to a file beside path that is
// flushed and renamed over it.
void PugiBuildAndSerialise(const Tree& tree);
void PugiBuildAndSaveFile(const Tree& tree, const std::string& path);

bool HavePlist();
// The same tree as a libplist tree, and that library's XML of it.
class PlistDocument {
public:
    explicit PlistDocument(const Tree& tree);
    ~PlistDocument();
    PlistDocument(const PlistDocument&) = delete;
    PlistDocument& operator=(const PlistDocument&) = delete;
    void Parse();      // plist_from_xml of its XML, then freeing the tree
    void Serialise();  // plist_to_xml of the tree, then freeing the text

private:
    struct Impl;
    std::unique_ptr<Impl> m_impl;
};

bool HaveLogReference();
// One formatted record per call, written with one write(2) under a mutex.
class LogReference {
public:
    explicit LogReference(const std::string& path);
    ~LogReference();
    LogReference(const LogReference&) = delete;
    LogReference& operator=(const LogReference&) = delete;
    void Write(int thread, int record);

private:
    struct Impl;
    std::unique_ptr<Impl> m_impl;
};

void SetEnv(const char* name, const char* value);
// Prints the resident peak of a process loading the file with the library and with pugixml.
void MeasurePeak(const char* self, const std::string& file);
// The child's side: loads path with the library ("lib") or pugixml ("pugi").
int PeakChild(const char* mode, const char* path);

}  // namespace bench
