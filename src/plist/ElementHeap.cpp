// Chunked memory for the elements of trees made at once (see ElementHeap.h).
#include "plist/ElementHeap.h"

#include <atomic>
#include <cstdint>
#include <cstdlib>
#include <new>

#if defined(__SANITIZE_ADDRESS__)
#define CU_CARVE_ELEMENTS 0
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define CU_CARVE_ELEMENTS 0
#endif
#endif
#ifndef CU_CARVE_ELEMENTS
// Under the address sanitizer every element is a heap block of its own, which it can check.
#define CU_CARVE_ELEMENTS 1
#endif

namespace cu::detail {

struct TreeScope::Chunk {
    // Elements carved and not yet freed, plus kOpen while a scope still carves from the chunk,
    // so that frees cannot bring the count to 0 before the scope has said how many it carved.
    std::atomic<std::size_t> live;
};

namespace {

// Every element is preceded by a tag word: the chunk it was carved from, or, for an element
// taken from the heap on its own, its distance from the start of the heap's block. Heap
// addresses are never below kLargestOffset, so the two cannot be confused.
using Tag = std::uintptr_t;
constexpr std::size_t kLargestOffset = 4096;
constexpr std::size_t kCarvedAlignment = alignof(Tag);
constexpr std::size_t kOpen = ~std::size_t{0} >> 1;
constexpr std::size_t kFirstChunk = 4 * 1024;
constexpr std::size_t kLargestChunk = 64 * 1024;
// A larger element is taken from the heap on its own rather than leave most of a chunk unused.
constexpr std::size_t kLargestCarved = 1024;

thread_local TreeScope* t_scope = nullptr;

std::size_t RoundUp(std::size_t size, std::size_t alignment) { return (size + alignment - 1) & ~(alignment - 1); }

Tag& TagOf(void* element) { return *reinterpret_cast<Tag*>(static_cast<char*>(element) - sizeof(Tag)); }

void* FromHeap(std::size_t size, std::size_t alignment) noexcept {
    // malloc aligns for any fundamental type, so the first aligned place after the tag word lies
    // at most the larger of the two sizes into the block.
    const std::size_t room = alignment > sizeof(Tag) ? alignment : sizeof(Tag);
    if (room > kLargestOffset || size > SIZE_MAX - room) return nullptr;
    char* block = static_cast<char*>(std::malloc(size + room));
    if (block == nullptr) return nullptr;
    auto* element = reinterpret_cast<char*>(RoundUp(reinterpret_cast<Tag>(block + sizeof(Tag)), alignment));
    TagOf(element) = static_cast<Tag>(element - block);
    return element;
}

// Gives up count of a chunk's references; the last one frees it.
void Release(TreeScope::Chunk* chunk, std::size_t count) noexcept {
    if (chunk->live.fetch_sub(count, std::memory_order_acq_rel) == count) {
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

TreeScope* TreeScope::Current() noexcept { return CU_CARVE_ELEMENTS ? t_scope : nullptr; }

void TreeScope::Retire() noexcept {
    if (m_chunk == nullptr) return;
    Release(m_chunk, kOpen - m_carved);
    m_chunk = nullptr;
    m_next = m_end = nullptr;
    m_carved = 0;
}

void* TreeScope::Carve(std::size_t size) noexcept {
    const std::size_t need = sizeof(Tag) + RoundUp(size, kCarvedAlignment);
    if (static_cast<std::size_t>(m_end - m_next) < need) {
        Retire();
        void* memory = std::malloc(m_chunkBytes);
        if (memory == nullptr) return nullptr;
        m_chunk = new (memory) Chunk{{kOpen}};
        m_next = static_cast<char*>(memory) + RoundUp(sizeof(Chunk), kCarvedAlignment);
        m_end = static_cast<char*>(memory) + m_chunkBytes;
        if (m_chunkBytes < kLargestChunk) m_chunkBytes *= 2;
    }
    void* element = m_next + sizeof(Tag);
    TagOf(element) = reinterpret_cast<Tag>(m_chunk);
    m_next += need;
    ++m_carved;
    return element;
}

void* AllocateElement(std::size_t size, std::size_t alignment) noexcept {
    TreeScope* scope = TreeScope::Current();
    if (scope != nullptr && size <= kLargestCarved && alignment <= kCarvedAlignment) return scope->Carve(size);
    return FromHeap(size, alignment);
}

void FreeElement(void* element) noexcept {
    if (element == nullptr) return;
    const Tag tag = TagOf(element);
    if (tag <= kLargestOffset) {
        std::free(static_cast<char*>(element) - tag);
        return;
    }
    Release(reinterpret_cast<TreeScope::Chunk*>(tag), 1);
}

}  // namespace cu::detail
