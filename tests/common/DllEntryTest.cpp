// The Windows DLL's entry point asks the loader to stop thread attach and detach notifications.
// The loader grants that only to a DLL without static thread-local storage; the compiler's
// runtime gives every DLL it links a TLS directory, whose callbacks free each thread's runtime
// data at thread exit, so there the request is refused and the notifications go on.
#include <gtest/gtest.h>

#include <cstring>

#if defined(_WIN32) && defined(COMMONUTILITY_DLL)
#include <windows.h>
#include <winternl.h>
#endif

namespace {

#if defined(_WIN32) && defined(COMMONUTILITY_DLL)
// The loader's record of a module up to its flags, as 64-bit Windows (and Wine) lay it out; the
// system's header leaves these fields unnamed.
struct LoaderEntry {
    LIST_ENTRY inLoadOrder;
    LIST_ENTRY inMemoryOrder;
    LIST_ENTRY inInitializationOrder;
    void* dllBase;
    void* entryPoint;
    ULONG sizeOfImage;
    UNICODE_STRING fullDllName;
    UNICODE_STRING baseDllName;
    ULONG flags;
};
static_assert(offsetof(LoaderEntry, flags) == 0x68, "the loader entry's flags follow the names");

// The flag that DisableThreadLibraryCalls sets: no thread attach and detach calls.
constexpr ULONG kNoThreadCalls = 0x00040000;

const LoaderEntry* FindLoaderEntry(HMODULE module) {
    LIST_ENTRY* head = &NtCurrentTeb()->ProcessEnvironmentBlock->Ldr->InMemoryOrderModuleList;
    for (LIST_ENTRY* at = head->Flink; at != head; at = at->Flink) {
        const auto* entry = CONTAINING_RECORD(at, LoaderEntry, inMemoryOrder);
        if (entry->dllBase == module) return entry;
    }
    return nullptr;
}

const IMAGE_DATA_DIRECTORY& Directory(HMODULE module, int index) {
    const auto* base = reinterpret_cast<const BYTE*>(module);
    const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
    const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
    return nt->OptionalHeader.DataDirectory[index];
}

// Whether the loaded module imports the function by name from the DLL (any case).
bool Imports(HMODULE module, const char* dll, const char* function) {
    const auto* base = reinterpret_cast<const BYTE*>(module);
    const IMAGE_DATA_DIRECTORY& imports = Directory(module, IMAGE_DIRECTORY_ENTRY_IMPORT);
    if (imports.VirtualAddress == 0) return false;
    for (auto* descriptor = reinterpret_cast<const IMAGE_IMPORT_DESCRIPTOR*>(base + imports.VirtualAddress);
         descriptor->Name != 0; ++descriptor) {
        if (_stricmp(reinterpret_cast<const char*>(base + descriptor->Name), dll) != 0) continue;
        for (auto* thunk = reinterpret_cast<const IMAGE_THUNK_DATA*>(base + descriptor->OriginalFirstThunk);
             thunk->u1.AddressOfData != 0; ++thunk) {
            if (IMAGE_SNAP_BY_ORDINAL(thunk->u1.Ordinal)) continue;
            const auto* name = reinterpret_cast<const IMAGE_IMPORT_BY_NAME*>(base + thunk->u1.AddressOfData);
            if (std::strcmp(reinterpret_cast<const char*>(name->Name), function) == 0) return true;
        }
    }
    return false;
}

TEST(DllEntry, AsksToTurnOffThreadNotificationsOnWindows) {
    const HMODULE dll = LoadLibraryW(COMMONUTILITY_DLL);
    ASSERT_NE(dll, nullptr) << GetLastError();
    // Only the entry point calls it.
    EXPECT_TRUE(Imports(dll, "kernel32.dll", "DisableThreadLibraryCalls"));

    const LoaderEntry* entry = FindLoaderEntry(dll);
    ASSERT_NE(entry, nullptr);
    const bool staticTls = Directory(dll, IMAGE_DIRECTORY_ENTRY_TLS).VirtualAddress != 0;
    EXPECT_EQ((entry->flags & kNoThreadCalls) != 0, !staticTls) << std::hex << entry->flags;
    EXPECT_TRUE(FreeLibrary(dll));
}
#else
TEST(DllEntry, AsksToTurnOffThreadNotificationsOnWindows) {
    GTEST_SKIP() << "only a Windows DLL has an entry point (POSIX, or a static build)";
}
#endif

}  // namespace
