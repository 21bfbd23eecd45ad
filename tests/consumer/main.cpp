// Uses a class of each family through the umbrella header only, as a client program would, and
// fails if an exported entry point is missing or misbehaves across the library boundary.
#include <CommonUtility.h>

#include <cstdio>

int UseWithOwnNames();

int main() {
    CString text;
    text.Format(L"%s=%d", L"answer", 42);
    if (text.Compare(L"answer=42") != 0) {
        std::fprintf(stderr, "consumer: CString::Format gave the wrong text\n");
        return 1;
    }

    // Built and read back across the boundary: the child is made and destroyed by the library.
    CXMLDict* dict = CXMLDict::CXMLDictAlloc();
    __int64 value = 0;
    CXMLElement* child = nullptr;
    if (dict == nullptr || dict->AddElement(L"answer", eXMLInt, 42) != 1 ||
        (child = (*dict)[L"answer"]) == nullptr || child->GetValue(&value) == 0 || value != 42) {
        std::fprintf(stderr, "consumer: a dictionary did not keep its integer\n");
        return 1;
    }
    CXMLDict::CXMLDictFree(dict);

    if (UseWithOwnNames() != 1) {
        std::fprintf(stderr, "consumer: the interface failed beside the program's own Win32 names\n");
        return 1;
    }

    SysFreeString(nullptr);  // callers free the library's strings; a null one is allowed
    std::puts("consumer: ok");
    return 0;
}
