// Chunked memory for the elements of trees made at once (see ElementHeap.h).
#include "plist/ElementHeap.h"

#include <atomic>
#include <cstdlib>
#include <new>

#if defined(__SANITIZE_ADDRESS__)
#define CU_ADDRESS_SANITIZER 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define CU_ADDRESS_SANITIZER 1
#endif
#endif

#if defined(CU_ADDRESS_SANITIZER)
#include <sanitizer/asan_interface.h>
#endif

namespace cu::detail {

struct TreeScope::Chunk {
    // Elements carved and not yet freed, plus kOpen while a scope still carves from the chunk,
    // so that frees cannot bring the count to 0 before the scope has said how many it carved.
    std::atomic<std::size_t> live;
    std::size_t bytes;
};

namespace {

// Every element is preceded by a tag word: the chunk it was carved from (an even address), or,
// for an element taken from the heap on its own, its distance from the start of the heap's
// block, shifted left and marked with the low bit.
using Tag = std::uintptr_t;
constexpr std::size_t kOpen = ~std::size_t{0} >> 1;
// Small trees are common, so the first chunk is small; each next one is twice the size.
constexpr std::size_t kFirstChunk = 256;
constexpr std::size_t kLargestChunk = 64 * 1024;
// A larger element is taken from the heap on its own rather than leave most of a chunk unused.
constexpr std::size_t kLargestCarved = 1024;
static_assert(kPackedAlignment >= sizeof(Tag) && kPackedAlignment % sizeof(Tag) == 0);

// Under the address sanitizer, everything in a chunk but the live elements and their tags is
// poisoned, and each element has a poisoned gap after it: a read of a freed element, a double
// free or a write past the end is reported as it is in a heap block of its own.
#if defined(CU_ADDRESS_SANITIZER)
constexpr std::size_t kGap = 16;
void Poison(const void* begin, std::size_t bytes) { ASAN_POISON_MEMORY_REGION(begin, bytes); }
void Unpoison(const void* begin, std::size_t bytes) { ASAN_UNPOISON_MEMORY_REGION(begin, bytes); }
#else
constexpr std::size_t kGap = 0;
void Poison(const void*, std::size_t) {}
void Unpoison(const void*, std::size_t) {}
#endif

thread_local TreeScope* t_scope = nullptr;

std::size_t RoundUp(std::size_t size, std::size_t alignment) { return (size + alignment - 1) & ~(alignment - 1); }

Tag& TagOf(void* element) { return *reinterpret_cast<Tag*>(static_cast<char*>(element) - sizeof(Tag)); }

void* FromHeap(std::size_t size, std::size_t alignment) noexcept {
    // malloc aligns for any fundamental type, so the first aligned place after the tag word lies
    // at most the larger of the two sizes into the block.
    const std::size_t room = alignment > sizeof(Tag) ? alignment : sizeof(Tag);
    if (size > SIZE_MAX - room) return nullptr;
    char* block = static_cast<char*>(std::malloc(size + room));
    if (block == nullptr) return nullptr;
    auto* element = reinterpret_cast<char*>(RoundUp(reinterpret_cast<Tag>(block + sizeof(Tag)), alignment));
    TagOf(element) = (static_cast<Tag>(element - block) << 1) | 1;
    return element;
}

// Gives up count of a chunk's references; the last one frees it.
void Release(TreeScope::Chunk* chunk, std::size_t count) noexcept {
    if (chunk->live.fetch_sub(count, std::memory_order_acq_rel) == count) {
        Unpoison(chunk, chunk->bytes);
        chunk->~Chunk();
        std::free(chunk);
    }
}

}  // namespace

TreeScope::TreeScope() noexcept : m_outer(t_scope), m_chunkBytes(kFirstChunk) { t_scope = this; }

TreeScope::~TreeScope() {
    Retire();
    t_scope = m_outer;
}

void TreeScope::Retire() noexcept {
    if (m_chunk == nullptr) return;
    Release(m_chunk, kOpen - m_carved);
    m_chunk = nullptr;
    m_next = m_end = nullptr;
    m_carved = 0;
}

void* TreeScope::Carve(std::size_t size) noexcept {
    // m_next is kept so that the element after the tag word is aligned.
    const std::size_t need = RoundUp(sizeof(Tag) + size + kGap, kPackedAlignment);
    if (static_cast<std::size_t>(m_end - m_next) < need) {
        Retire();
        while (m_chunkBytes < kLargestChunk && m_chunkBytes < 2 * need) m_chunkBytes *= 2;
        void* memory = std::malloc(m_chunkBytes);
        if (memory == nullptr) return nullptr;
        m_chunk = new (memory) Chunk{{kOpen}, m_chunkBytes};
        m_next = static_cast<char*>(memory) + RoundUp(sizeof(Chunk) + sizeof(Tag), kPackedAlignment) - sizeof(Tag);
        m_end = static_cast<char*>(memory) + m_chunkBytes;
        Poison(m_next, static_cast<std::size_t>(m_end - m_next));
        if (m_chunkBytes < kLargestChunk) m_chunkBytes *= 2;
    }
    Unpoison(m_next, sizeof(Tag) + size);
    void* element = m_next + sizeof(Tag);
    TagOf(element) = reinterpret_cast<Tag>(m_chunk);
    m_next += need;
    ++m_carved;
    return element;
}

void* AllocateElement(std::size_t size, std::size_t alignment) noexcept {
    TreeScope* scope = t_scope;
    if (scope != nullptr && size <= kLargestCarved && alignment <= kPackedAlignment) {
        if (void* element = scope->Carve(size)) return element;
    }
    return FromHeap(size, alignment);
}

void FreeElement(void* element, std::size_t size) noexcept {
    if (element == nullptr) return;
    const Tag tag = TagOf(element);
    if (tag & 1) {
        std::free(static_cast<char*>(element) - (tag >> 1));
        return;
    }
    Poison(static_cast<char*>(element) - sizeof(Tag), sizeof(Tag) + size);
    Release(reinterpret_cast<TreeScope::Chunk*>(tag), 1);
}

}  // namespace cu::detail
