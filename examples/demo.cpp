// Demonstration: builds a property-list tree, looks values up, changes and removes some, saves
// it to a file, loads the file into a new document and prints the tree after each step.
//
//   commonutility_demo [FOLDER]   the file goes to FOLDER, else to the temporary folder
#include <CommonUtility.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <vector>

namespace {

std::uint64_t Text(const wchar_t* text) { return reinterpret_cast<std::uintptr_t>(text); }

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
            text.Format(L"%f", value);
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
            long y, mo, d, h, mi, s, dow;
            value.GetDateTime(y, mo, d, h, mi, s, dow);
            text.Format(L"%04ld-%02ld-%02ld %02ld:%02ld:%02ld", y, mo, d, h, mi, s);
            break;
        }
        default: break;
    }
    return text;
}

const wchar_t* KindName(XMLNodeType kind) {
    static const wchar_t* const names[] = {L"boolean", L"integer", L"real", L"string",
                                           L"stringpsw", L"date", L"array", L"dict"};
    return kind >= 0 && kind < 8 ? names[kind] : L"?";
}

// Prints the tree depth first with an explicit stack, so any depth prints.
void Print(CXMLDict& root) {
    struct Item {
        CString label;
        CXMLElement* element;
        int depth;
    };
    std::vector<Item> stack{{L"(root)", &root, 0}};
    while (!stack.empty()) {
        const Item item = stack.back();
        stack.pop_back();
        const XMLNodeType kind = item.element->GetIniNodeType();
        CString line(L' ', item.depth * 2);
        line.AppendFormat(L"%s: %s", item.label.GetString(), KindName(kind));
        const CString value = ValueText(*item.element);
        if (!value.IsEmpty()) line.AppendFormat(L" %s", value.GetString());
        std::printf("%s\n", line.ToUtf8().c_str());

        const std::size_t first = stack.size();
        if (kind == eXMLDict) {
            auto& dict = static_cast<CXMLDict&>(*item.element);
            for (const CString& key : dict.GetKeys())
                stack.push_back({key, dict.GetChild(key), item.depth + 1});
        } else if (kind == eXMLArray) {
            auto& array = static_cast<CXMLArray&>(*item.element);
            for (unsigned int i = 0; i < array.GetSize(); ++i) {
                CString label;
                label.Format(L"[%u]", i);
                stack.push_back({label, array[static_cast<int>(i)], item.depth + 1});
            }
        }
        std::reverse(stack.begin() + static_cast<std::ptrdiff_t>(first), stack.end());
    }
}

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
