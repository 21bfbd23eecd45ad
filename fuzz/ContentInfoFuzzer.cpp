// The content-information document: load text, walk it with every getter, add groups, contents
// and paths taken from the input, save, and load the saved text again.
#include <cstddef>
#include <cstdint>
#include <string>

#include "FuzzSupport.h"
#include "commonutility/ContentInfoXML.h"

namespace {

void ReadAll(CContentInfoXML& document) {
    const int groups = document.GetGroupCount();
    for (int g = -1; g <= groups; ++g) {
        CXMLDict* group = document.GetGroup(g);
        const int contents = CContentInfoXML::GetContentCount(group);
        for (int c = -1; c <= contents; ++c) {
            CXMLDict* content = CContentInfoXML::GetContent(group, c);
            const int paths = CContentInfoXML::GetFilepathCountFromContent(content);
            for (int p = -1; p <= paths; ++p) {
                CString path;
                CContentInfoXML::GetFilepathFromContent(content, p, &path);
                CContentInfoXML::GetFilepathFromContent(content, p, nullptr);
            }
            double duration = 0;
            CContentInfoXML::GetContentDuration(content, &duration);
            CContentInfoXML::GetContentDuration(content, nullptr);
            CCommonDateTime date;
            CContentInfoXML::GetDateTime(content, &date);
            CContentInfoXML::GetDateTime(content, nullptr);
            __int64 type = 0;
            CContentInfoXML::GetContentType(content, type);
        }
    }
}

// Texts the writer cannot carry (controls, U+FFFE, U+FFFF) it writes as U+FFFD; added texts are
// given that way already, so that the round trip must keep them.
std::wstring Writable(std::wstring text) {
    for (wchar_t& c : text)
        if ((c < 0x20 && c != L'\t' && c != L'\n' && c != L'\r') || c == 0xFFFE || c == 0xFFFF) c = 0xFFFD;
    return text;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    cu::fuzz::Input input(data, size);
    const std::uint8_t mode = input.Byte();
    const std::wstring name = Writable(cu::fuzz::Widen(input.Piece(), true));
    const std::wstring path = Writable(cu::fuzz::Widen(input.Piece(), true));
    std::wstring text = cu::fuzz::Widen(input.Rest(), (mode & 1) != 0);

    CContentInfoXML document;
    if ((mode & 2) != 0) document.Initialize(name.c_str(), nullptr, path.c_str());
    document.LoadFromMemFile(&text[0]);
    ReadAll(document);

    // Adds at every level the input reaches: a new group, and a content with a path in the first
    // group there is.
    CXMLDict* added = document.AddNewGroup((mode & 4) != 0 ? nullptr : name.c_str());
    CXMLDict* group = (mode & 8) != 0 ? document.GetGroup(0) : added;
    CXMLDict* content = document.AddNewContent(group);
    document.AddFilepathToContent(content, (mode & 16) != 0 ? nullptr : path.c_str());
    document.AddFilepathToContent(document.GetContent(group, 0), path.c_str());
    ReadAll(document);

    // The document saves, and the saved text reads back into the same tree.
    cu::fuzz::CheckRoundTrip(document);
    return 0;
}
