// Property-list reading from memory and from a file; whatever loads must save, load again into
// the same tree, and save to the same text. Text read from memory must also give exactly the same
// tree through the DOM wrappers.
#include <cstddef>
#include <cstdint>
#include <string>

#include "FuzzSupport.h"
#include "commonutility/XMLDict.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    cu::fuzz::Input input(data, size);
    const std::uint8_t mode = input.Byte();
    const std::string bytes = input.Rest();

    CXMLDict dict;
    dict.AddElement(L"before", eXMLInt, 1);
    int loaded = 0;
    if (mode % 3 == 2) {
        const CString& path = cu::fuzz::ScratchFile("plist");
        if (!cu::fuzz::WriteFile(path, bytes)) return 0;
        loaded = dict.LoadFromFile(path);
    } else {
        std::wstring text = cu::fuzz::Widen(bytes, mode % 3 == 1);
        loaded = dict.LoadFromMemFile(&text[0]);
        cu::test::DomReadDict throughDom;
        if (throughDom.ReadThroughDom(text.c_str()) != loaded) cu::fuzz::Fail("the DOM route loads otherwise");
        if (loaded == 1 && !cu::test::SameTree(dict, throughDom, cu::test::Compare::Exactly))
            cu::fuzz::Fail("the DOM route reads another tree");
    }
    if (loaded == 0) {
        // A failed load leaves the dictionary as it was.
        __int64 value = 0;
        if (dict.GetKeys().size() != 1 || dict[L"before"] == nullptr || dict[L"before"]->GetValue(&value) != 1 ||
            value != 1)
            cu::fuzz::Fail("a failed load changed the dictionary");
        return 0;
    }
    cu::fuzz::CheckRoundTrip(dict);
    return 0;
}
