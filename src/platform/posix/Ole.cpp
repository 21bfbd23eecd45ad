// OLE for POSIX: length-prefixed strings (BSTR) and COM initialisation.
//
// As on Windows, a 32-bit byte count stands in front of the text and the text is zero-terminated;
// the pointer handed out points at the text. Here the units are wchar_t (UTF-32).
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <cwchar>

#include <sys/mman.h>

#include "platform/posix/Win32Posix.h"

namespace {

constexpr std::size_t kPrefix = sizeof(std::uint32_t);

// A block of 32 MiB or more, which the C library maps afresh for each allocation, is backed by
// huge pages where the system allows it: a long text (a saved document, say) then costs a few
// page faults instead of one per 4 KiB. Smaller blocks come back from the heap already faulted in.
void* AdviseHugePages(void* block, std::size_t bytes) {
    constexpr std::uintptr_t kHugePage = std::uintptr_t{2} << 20;
    if (block != nullptr && bytes >= (std::size_t{32} << 20)) {
        const auto begin = (reinterpret_cast<std::uintptr_t>(block) + kHugePage - 1) & ~(kHugePage - 1);
        const auto end = (reinterpret_cast<std::uintptr_t>(block) + bytes) & ~(kHugePage - 1);
        if (end > begin) madvise(reinterpret_cast<void*>(begin), end - begin, MADV_HUGEPAGE);
    }
    return block;
}

std::uint32_t* PrefixOf(BSTR text) {
    return reinterpret_cast<std::uint32_t*>(reinterpret_cast<char*>(text) - kPrefix);
}

}  // namespace

BSTR SysAllocStringLen(const OLECHAR* text, UINT length) {
    if (length > (UINT32_MAX - kPrefix) / sizeof(OLECHAR) - 1) return nullptr;
    const std::size_t bytes = std::size_t{length} * sizeof(OLECHAR);
    // Aligned for the wchar_t units that follow the prefix.
    void* block = AdviseHugePages(std::malloc(kPrefix + bytes + sizeof(OLECHAR)), kPrefix + bytes);
    if (block == nullptr) return nullptr;
    *static_cast<std::uint32_t*>(block) = static_cast<std::uint32_t>(bytes);
    auto* out = reinterpret_cast<BSTR>(static_cast<char*>(block) + kPrefix);
    // Without a text the units are left as they are, as on Windows: the caller fills them.
    if (text != nullptr) std::memcpy(out, text, bytes);
    out[length] = L'\0';
    return out;
}

INT SysReAllocStringLen(BSTR* text, const OLECHAR* source, UINT length) {
    if (text == nullptr) return FALSE;
    if (*text == nullptr) {
        *text = SysAllocStringLen(source, length);
        return *text != nullptr;
    }
    if (length > (UINT32_MAX - kPrefix) / sizeof(OLECHAR) - 1) return FALSE;
    const std::size_t bytes = std::size_t{length} * sizeof(OLECHAR);
    // A source inside the old string is found again by its offset once the block has moved.
    const std::size_t oldBytes = *PrefixOf(*text);
    const bool inside = source != nullptr && source >= *text &&
                        reinterpret_cast<const char*>(source) <= reinterpret_cast<const char*>(*text) + oldBytes;
    const std::ptrdiff_t offset = inside ? source - *text : 0;
    void* block =
        AdviseHugePages(std::realloc(PrefixOf(*text), kPrefix + bytes + sizeof(OLECHAR)), kPrefix + bytes);
    if (block == nullptr) return FALSE;
    *static_cast<std::uint32_t*>(block) = static_cast<std::uint32_t>(bytes);
    auto* out = reinterpret_cast<BSTR>(static_cast<char*>(block) + kPrefix);
    // Without a source, or with the string itself, the units that were there stay.
    if (inside && offset != 0)
        std::memmove(out, out + offset, std::min(bytes, oldBytes - static_cast<std::size_t>(offset) * sizeof(OLECHAR)));
    else if (source != nullptr && !inside)
        std::memcpy(out, source, bytes);
    out[length] = L'\0';
    *text = out;
    return TRUE;
}

BSTR SysAllocString(const OLECHAR* text) {
    if (text == nullptr) return nullptr;
    return SysAllocStringLen(text, static_cast<UINT>(std::wcslen(text)));
}

UINT SysStringLen(BSTR text) {
    return text == nullptr ? 0 : *PrefixOf(text) / sizeof(OLECHAR);
}

void SysFreeString(BSTR text) {
    if (text != nullptr) std::free(PrefixOf(text));
}

// There is no COM here: the XML DOM is a library linked in, so there is nothing to initialise.
HRESULT CoInitialize(void* /*reserved*/) { return S_OK; }
