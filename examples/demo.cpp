// Demonstration: builds a property-list tree, looks values up, changes and removes some, saves
// it to a file, loads the file into a new document and prints the tree after each step.
//
//   commonutility_demo [FOLDER]   the file goes to FOLDER, else to the temporary folder
#include <CommonUtility.h>

#include "Print.h"

#include <cstdint>
#include <cstdio>

namespace {

std::uint64_t Text(const wchar_t* text) { return reinterpret_cast<std::uintptr_t>(text); }

void Print(CXMLDict& root) { commonutil::PrintTree(root, stdout); }

}  // namespace

int main(int argc, char** argv) {
    CXMLDict document;

    std::printf("== A tree made through the containers' factory\n");
    document.AddElement(L"Title", eXMLString, Text(L"Holiday 2009"));
    document.AddElement(L"Rating", eXMLInt, 4);
    document.AddElement(L"Favourite", eXMLBool, 1);
    document.AddElement(L"Duration", eXMLReal, Text(L"83.5"));
    document.AddElement(L"Taken", eXMLDate, Text(L"2009-05-01T10:20:30Z"));
    document.AddElement(L"Password", eXMLStringPSW, Text(L"secret"));
    document.AddElement(L"Clips", eXMLArray, 0);
    auto* clips = static_cast<CXMLArray*>(document[L"Clips"]);
    for (const wchar_t* clip : {L"beach.mp4", L"dinner.mp4", L"sunset.mp4"})
        clips->AddElement(-1, eXMLString, Text(clip));
    document.AddElement(L"Camera", eXMLDict, 0);
    auto* camera = static_cast<CXMLDict*>(document[L"Camera"]);
    camera->AddElement(L"Model", eXMLString, Text(L"HX-200"));
    camera->AddElement(L"Settings", eXMLDict, 0);
    static_cast<CXMLDict*>(document[L"Camera/Settings"])->AddElement(L"ISO", eXMLInt, 400);
    Print(document);

    std::printf("\n== Look-ups by key path and by position\n");
    __int64 iso = 0;
    document[L"Camera/Settings/ISO"]->GetValue(&iso);
    CString second;
    (*clips)[1]->GetValue(&second);
    std::printf("Camera/Settings/ISO = %lld\nClips[1] = %s\n", static_cast<long long>(iso),
                second.ToUtf8().c_str());
    std::printf("Camera/Lens exists: %s\n", document[L"Camera/Lens"] ? "yes" : "no");

    std::printf("\n== Changed: Rating 5, a clip inserted at 1, Clips[0] and Camera/Model removed\n");
    document[L"Rating"]->SetValue(static_cast<__int64>(5));
    clips->AddElement(1, eXMLString, Text(L"arrival.mp4"));
    clips->RemoveElement(0);
    document.RemoveElement(L"Camera/Model");
    Print(document);

    std::printf("\n== A copy is independent of its source\n");
    CXMLDict copy(document);
    copy.RemoveElement(L"Clips");
    std::printf("source keeps Clips: %s, copy has Clips: %s\n", document[L"Clips"] ? "yes" : "no",
                copy[L"Clips"] ? "yes" : "no");

    const CString folder = argc > 1 ? CString(argv[1]) : CFileOperation::GetTempDir();
    const CString path = CFileOperation::Concatenate(folder, L"commonutility-demo.plist");
    std::printf("\n== Saved to %s\n", path.ToUtf8().c_str());
    if (document.SaveToFile(path) != 1 || !CFileOperation::IsFileAvailable(path)) {
        std::fprintf(stderr, "commonutility_demo: cannot write %s\n", path.ToUtf8().c_str());
        return 1;
    }
    if (std::FILE* file = std::fopen(path.ToUtf8().c_str(), "rb")) {
        char buffer[4096];
        std::size_t n;
        while ((n = std::fread(buffer, 1, sizeof buffer, file)) > 0) std::fwrite(buffer, 1, n, stdout);
        std::fclose(file);
    }

    std::printf("\n== Loaded back into a new document\n");
    CXMLDict loaded;
    if (loaded.LoadFromFile(path) != 1) {
        std::fprintf(stderr, "commonutility_demo: cannot read %s back\n", path.ToUtf8().c_str());
        return 1;
    }
    Print(loaded);
    return 0;
}
