// The table behind every kind of handle that the POSIX layer hands out: files, searches and
// registry keys.
#pragma once

#include <memory>
#include <mutex>
#include <unordered_map>

namespace cu::detail {

// Maps handles to the objects behind them. A handle is the object's address, so it is never
// reused while the object lives, but it is only ever looked up, never dereferenced: a stray or
// closed handle finds nothing. Lookups hand out shared ownership, so an object stays alive while
// a call uses it, even when another thread closes its handle meanwhile.
template <class Handle, class Object>
class HandleTable {
public:
    // The process's table of this kind. Never destroyed: handles may still be closed by static
    // destructors at exit.
    static HandleTable& Instance() {
        static HandleTable* table = new HandleTable;
        return *table;
    }

    // The handle of a new object; the table keeps it until Remove. Throws on memory exhaustion.
    Handle Add(std::shared_ptr<Object> object) {
        const auto handle = reinterpret_cast<Handle>(object.get());
        std::lock_guard<std::mutex> lock(m_mutex);
        m_objects.emplace(handle, std::move(object));
        return handle;
    }

    // The object of a handle, or null when the handle is not one of this table's.
    std::shared_ptr<Object> Find(Handle handle) const {
        std::lock_guard<std::mutex> lock(m_mutex);
        const auto found = m_objects.find(handle);
        return found == m_objects.end() ? nullptr : found->second;
    }

    // Takes a handle out of the table; null when it is not one of this table's.
    std::shared_ptr<Object> Remove(Handle handle) {
        std::lock_guard<std::mutex> lock(m_mutex);
        const auto found = m_objects.find(handle);
        if (found == m_objects.end()) return nullptr;
        std::shared_ptr<Object> object = std::move(found->second);
        m_objects.erase(found);
        return object;
    }

private:
    HandleTable() = default;

    mutable std::mutex m_mutex;
    std::unordered_map<Handle, std::shared_ptr<Object>> m_objects;
};

}  // namespace cu::detail
