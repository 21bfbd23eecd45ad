// Where elements live: carved one after another from larger chunks while a whole tree is being
// made (a load, a copy), each on its own from the C library's heap otherwise.
#pragma once

#include <cstddef>
#include <cstdint>

namespace cu::detail {

// The alignment elements are carved at: enough for pointers and 64-bit numbers. The library's
// own element classes need no more, so they are packed this close.
constexpr std::size_t kPackedAlignment = alignof(std::int64_t) > alignof(void*) ? alignof(std::int64_t) : alignof(void*);

// Memory for an element of size bytes aligned to alignment (a power of two), or null when memory
// ran out. While a TreeScope is open on this thread, an element aligned no more than
// kPackedAlignment is carved from the scope's current chunk; a chunk goes back to the heap once
// every element carved from it has been freed.
void* AllocateElement(std::size_t size, std::size_t alignment) noexcept;
// Frees memory from AllocateElement on any thread, given the size asked for (0 when unknown);
// null does nothing.
void FreeElement(void* element, std::size_t size) noexcept;

// Open on a thread while it makes a whole tree, whose elements then lie in memory in the order
// they were made and cost the heap one block per chunk instead of one per element. Scopes nest.
class TreeScope {
public:
    TreeScope() noexcept;
    ~TreeScope();
    TreeScope(const TreeScope&) = delete;
    TreeScope& operator=(const TreeScope&) = delete;

    struct Chunk;

private:
    friend void* AllocateElement(std::size_t size, std::size_t alignment) noexcept;
    // Memory cut from the current chunk, or null when no chunk could be had.
    void* Carve(std::size_t size) noexcept;
    // Lets the current chunk go: it is freed with its last element, or now if there is none.
    void Retire() noexcept;

    TreeScope* m_outer;
    Chunk* m_chunk = nullptr;
    char* m_next = nullptr;  // where the next element's tag word goes
    char* m_end = nullptr;
    std::size_t m_carved = 0;  // elements carved from m_chunk
    std::size_t m_chunkBytes;  // the size of the next chunk
};

}  // namespace cu::detail
