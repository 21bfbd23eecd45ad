// Version resources for POSIX: GetFileVersionInfoSizeW, GetFileVersionInfoW and VerQueryValueW
// read the first version resource (RT_VERSION) of a PE file's resource section, so that Windows
// executables answer on any platform.
//
// The block handed out is the resource as the file stores it (VS_VERSIONINFO, UTF-16LE keys and
// texts), followed by a cache of wide text: VerQueryValueW converts a text value into the cache
// slot that mirrors the value's place in the block (UTF-16 unit i goes to wchar_t slot i), so the
// same query always gives the same pointer and no allocation outlives the caller's buffer.
#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <new>
#include <string>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/posix/FileObject.h"
#include "platform/posix/Internal.h"

namespace cu::detail {

namespace {

constexpr WORD kResourceTypeVersion = 16;  // RT_VERSION
constexpr std::uint32_t kSubdirectoryBit = 0x80000000u;
// A resource directory deeper than type, name and language is not looked at; so many entries
// at one level are more than any real file has.
constexpr std::uint32_t kMaxEntries = 4096;
constexpr std::size_t kMaxHeaderBytes = 4096;

std::uint16_t Le16(const unsigned char* p) { return static_cast<std::uint16_t>(p[0] | (p[1] << 8)); }
std::uint32_t Le32(const unsigned char* p) {
    return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
           (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}

// Reads exactly `length` bytes at `offset`; false at the end of the file or on an error.
bool ReadAt(int fd, std::uint64_t offset, void* out, std::size_t length) {
    std::size_t done = 0;
    while (done < length) {
        const ssize_t count = pread(fd, static_cast<char*>(out) + done, length - done,
                                    static_cast<off_t>(offset + done));
        if (count < 0 && errno == EINTR) continue;
        if (count <= 0) return false;
        done += static_cast<std::size_t>(count);
    }
    return true;
}

struct Section {
    std::uint32_t virtualAddress, virtualSize, rawSize, rawOffset;
};

// The file offset of `length` bytes at a relative virtual address, when they lie in one section's
// data in the file.
bool FileOffsetOf(const std::vector<Section>& sections, std::uint32_t rva, std::uint32_t length,
                  std::uint64_t& offset) {
    for (const Section& s : sections) {
        const std::uint64_t start = s.virtualAddress, inRaw = rva - static_cast<std::uint64_t>(start);
        if (rva < start || inRaw >= s.rawSize) continue;
        if (inRaw + length > s.rawSize) return false;
        offset = s.rawOffset + inRaw;
        return true;
    }
    return false;
}

// The resource directory: the bytes of the section part it lives in, from its start on.
struct ResourceView {
    std::vector<unsigned char> bytes;
    bool Has(std::uint64_t offset, std::uint64_t length) const { return offset + length <= bytes.size(); }
};

// The offset field of the entry that a directory at `dir` has for `id` (any entry when `id` is
// negative); false when there is none.
bool FindEntry(const ResourceView& view, std::uint32_t dir, long id, std::uint32_t& target) {
    if (!view.Has(dir, 16)) return false;
    const std::uint32_t named = Le16(&view.bytes[dir + 12]), ids = Le16(&view.bytes[dir + 14]);
    const std::uint32_t count = std::min(named + ids, kMaxEntries);
    for (std::uint32_t i = 0; i < count; ++i) {
        const std::uint64_t entry = dir + 16 + 8ull * i;
        if (!view.Has(entry, 8)) return false;
        const std::uint32_t name = Le32(&view.bytes[entry]);
        if (id >= 0 && ((name & kSubdirectoryBit) != 0 || name != static_cast<std::uint32_t>(id))) continue;
        target = Le32(&view.bytes[entry + 4]);
        return true;
    }
    return false;
}

// Reads the raw VS_VERSIONINFO block of a PE file.
DWORD LoadVersionResource(const std::string& path, std::vector<unsigned char>& block) {
    ScopedFd fd;
    do {
        fd.reset(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK));
    } while (fd.get() < 0 && errno == EINTR);
    if (fd.get() < 0) return errno == ENOENT ? MissingPathError(path) : ErrorFromErrno(errno);
    struct stat status;
    if (fstat(fd.get(), &status) != 0) return ErrorFromErrno(errno);
    if (!S_ISREG(status.st_mode)) return S_ISDIR(status.st_mode) ? ERROR_ACCESS_DENIED : ERROR_BAD_EXE_FORMAT;

    // DOS header, then the PE signature, file header and optional header.
    unsigned char dos[64];
    if (!ReadAt(fd.get(), 0, dos, sizeof dos) || dos[0] != 'M' || dos[1] != 'Z') return ERROR_BAD_EXE_FORMAT;
    const std::uint32_t peOffset = Le32(dos + 0x3C);
    unsigned char pe[24];
    if (!ReadAt(fd.get(), peOffset, pe, sizeof pe) || std::memcmp(pe, "PE\0\0", 4) != 0)
        return ERROR_BAD_EXE_FORMAT;
    const std::uint32_t sectionCount = Le16(pe + 6), optionalSize = Le16(pe + 20);
    if (optionalSize > kMaxHeaderBytes || sectionCount > 96) return ERROR_BAD_EXE_FORMAT;
    std::vector<unsigned char> optional(optionalSize);
    if (!ReadAt(fd.get(), peOffset + 24ull, optional.data(), optional.size()) || optionalSize < 2)
        return ERROR_BAD_EXE_FORMAT;
    const std::uint16_t magic = Le16(optional.data());
    const std::size_t directories = magic == 0x20B ? 112 : magic == 0x10B ? 96 : 0;
    if (directories == 0 || optionalSize < directories) return ERROR_BAD_EXE_FORMAT;
    const std::uint32_t directoryCount = Le32(&optional[directories - 4]);
    const std::size_t resourceEntry = directories + 2 * 8;  // the third data directory
    if (directoryCount < 3 || optionalSize < resourceEntry + 8) return ERROR_RESOURCE_DATA_NOT_FOUND;
    const std::uint32_t resourceRva = Le32(&optional[resourceEntry]);
    if (resourceRva == 0) return ERROR_RESOURCE_DATA_NOT_FOUND;

    std::vector<unsigned char> table(40ull * sectionCount);
    if (!ReadAt(fd.get(), peOffset + 24ull + optionalSize, table.data(), table.size())) return ERROR_BAD_EXE_FORMAT;
    std::vector<Section> sections;
    for (std::uint32_t i = 0; i < sectionCount; ++i) {
        const unsigned char* s = &table[40ull * i];
        sections.push_back({Le32(s + 12), Le32(s + 8), Le32(s + 16), Le32(s + 20)});
    }

    // The resource section's bytes from the directory's start to the end of its data in the file.
    ResourceView view;
    for (const Section& s : sections) {
        if (resourceRva < s.virtualAddress || resourceRva - static_cast<std::uint64_t>(s.virtualAddress) >= s.rawSize) continue;
        const std::uint32_t skip = resourceRva - s.virtualAddress;
        const std::uint64_t length = std::min<std::uint64_t>(s.rawSize - skip, 16u << 20);
        if (static_cast<std::uint64_t>(s.rawOffset) + skip + length > static_cast<std::uint64_t>(status.st_size))
            return ERROR_BAD_EXE_FORMAT;
        view.bytes.resize(length);
        if (!ReadAt(fd.get(), static_cast<std::uint64_t>(s.rawOffset) + skip, view.bytes.data(), length))
            return ERROR_BAD_EXE_FORMAT;
        break;
    }
    if (view.bytes.empty()) return ERROR_RESOURCE_DATA_NOT_FOUND;

    // Type RT_VERSION, then its first name, then its first language: a data entry.
    std::uint32_t target = 0;
    if (!FindEntry(view, 0, kResourceTypeVersion, target) || (target & kSubdirectoryBit) == 0)
        return ERROR_RESOURCE_TYPE_NOT_FOUND;
    for (int level = 0; level < 2; ++level) {
        if ((target & kSubdirectoryBit) == 0 || !FindEntry(view, target & ~kSubdirectoryBit, -1, target))
            return ERROR_RESOURCE_TYPE_NOT_FOUND;
    }
    if ((target & kSubdirectoryBit) != 0 || !view.Has(target, 16)) return ERROR_RESOURCE_TYPE_NOT_FOUND;
    const std::uint32_t dataRva = Le32(&view.bytes[target]);
    const std::uint32_t dataSize = std::min<std::uint32_t>(Le32(&view.bytes[target + 4]), 0xFFFF);
    std::uint64_t dataOffset = 0;
    if (dataSize < 6 || !FileOffsetOf(sections, dataRva, dataSize, dataOffset)) return ERROR_BAD_EXE_FORMAT;
    block.resize(dataSize);
    if (!ReadAt(fd.get(), dataOffset, block.data(), block.size())) return ERROR_BAD_EXE_FORMAT;
    // The block's own length bounds everything that is read from it later.
    const std::uint16_t length = Le16(block.data());
    if (length < 6 || length > block.size()) return ERROR_BAD_EXE_FORMAT;
    block.resize(length);
    return ERROR_SUCCESS;
}

std::size_t Align4(std::size_t offset) { return (offset + 3) & ~static_cast<std::size_t>(3); }

// The bytes handed out for a raw block of `raw` bytes: the block, padding, and a wide-text cache
// with one wchar_t per UTF-16 unit of the block and a terminator, aligned for wchar_t wherever
// the caller's buffer starts.
std::size_t BufferSizeFor(std::size_t raw) {
    return Align4(raw) + alignof(wchar_t) + (raw / 2 + 1) * sizeof(wchar_t);
}

wchar_t* CacheOf(const unsigned char* block, std::size_t raw) {
    auto address = reinterpret_cast<std::uintptr_t>(block + Align4(raw));
    address = (address + alignof(wchar_t) - 1) & ~static_cast<std::uintptr_t>(alignof(wchar_t) - 1);
    return reinterpret_cast<wchar_t*>(address);
}

// One node of the block: WORD length, WORD value length, WORD type (1 text, 0 binary), the key
// as UTF-16 with its terminator, padding to 4 bytes, the value, padding, the children.
struct Node {
    std::size_t begin = 0, end = 0;           // the node's bytes in the block
    std::size_t keyBegin = 0, keyUnits = 0;   // the key, terminator excluded
    std::size_t valueBegin = 0, valueBytes = 0;
    bool text = false;
    std::size_t childrenBegin = 0;
};

// Reads the node at `begin`, which must lie within [begin, limit); false when it does not fit.
bool ReadNode(const unsigned char* block, std::size_t begin, std::size_t limit, Node& node) {
    if (begin + 6 > limit) return false;
    const std::size_t length = Le16(block + begin);
    if (length < 6 || begin + length > limit) return false;
    node.begin = begin;
    node.end = begin + length;
    const std::size_t valueLength = Le16(block + begin + 2);
    node.text = Le16(block + begin + 4) == 1;
    node.keyBegin = begin + 6;
    std::size_t p = node.keyBegin;
    while (p + 2 <= node.end && Le16(block + p) != 0) p += 2;
    if (p + 2 > node.end) return false;  // no terminator within the node
    node.keyUnits = (p - node.keyBegin) / 2;
    node.valueBegin = std::min(Align4(p + 2), node.end);
    node.valueBytes = std::min(node.text ? valueLength * 2 : valueLength, node.end - node.valueBegin);
    node.childrenBegin = std::min(Align4(node.valueBegin + node.valueBytes), node.end);
    return true;
}

wchar_t FoldAscii(std::uint32_t c) {
    return static_cast<wchar_t>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
}

// The node's key equals [name, nameEnd), ASCII letters in any case, as Windows compares them.
bool KeyIs(const unsigned char* block, const Node& node, const wchar_t* name, const wchar_t* nameEnd) {
    if (static_cast<std::size_t>(nameEnd - name) != node.keyUnits) return false;
    for (std::size_t i = 0; i < node.keyUnits; ++i)
        if (FoldAscii(Le16(block + node.keyBegin + 2 * i)) != FoldAscii(static_cast<std::uint32_t>(name[i])))
            return false;
    return true;
}

// Walks the '\'-separated path from the root; false when a part is not found.
bool FindNode(const unsigned char* block, std::size_t raw, const wchar_t* path, Node& node) {
    if (!ReadNode(block, 0, raw, node)) return false;
    const wchar_t* p = path;
    while (true) {
        while (*p == L'\\') ++p;
        if (*p == L'\0') return true;
        const wchar_t* end = p;
        while (*end != L'\0' && *end != L'\\') ++end;
        Node child;
        bool found = false;
        for (std::size_t at = node.childrenBegin; !found && ReadNode(block, at, node.end, child);
             at = Align4(child.end))
            found = KeyIs(block, child, p, end);
        if (!found) return false;
        node = child;
        p = end;
    }
}

}  // namespace

}  // namespace cu::detail

using namespace cu::detail;

// Caveats: the size is that of the resource plus room for the wide copies of its texts (see the
// top of this file); the handle out-argument is set to 0. A file that is not a PE file gives
// ERROR_BAD_EXE_FORMAT, one without resources ERROR_RESOURCE_DATA_NOT_FOUND, one without a
// version resource ERROR_RESOURCE_TYPE_NOT_FOUND.
DWORD GetFileVersionInfoSizeW(LPCWSTR fileName, DWORD* handle) {
    if (handle != nullptr) *handle = 0;
    DWORD size = 0;
    SetLastError(Emulate([&]() -> DWORD {
        if (fileName == nullptr || *fileName == L'\0') return ERROR_PATH_NOT_FOUND;
        std::vector<unsigned char> block;
        const DWORD error = LoadVersionResource(NarrowPath(fileName), block);
        if (error == ERROR_SUCCESS) size = static_cast<DWORD>(BufferSizeFor(block.size()));
        return error;
    }));
    return size;
}

// Caveats: the buffer must have the size that GetFileVersionInfoSizeW gives (else
// ERROR_INSUFFICIENT_BUFFER, where Windows would copy a cut block), since the text cache lies
// behind the block.
BOOL GetFileVersionInfoW(LPCWSTR fileName, DWORD /*handle*/, DWORD length, void* data) {
    const DWORD error = Emulate([&]() -> DWORD {
        if (data == nullptr) return ERROR_INVALID_PARAMETER;
        if (fileName == nullptr || *fileName == L'\0') return ERROR_PATH_NOT_FOUND;
        std::vector<unsigned char> block;
        const DWORD loaded = LoadVersionResource(NarrowPath(fileName), block);
        if (loaded != ERROR_SUCCESS) return loaded;
        if (length < BufferSizeFor(block.size())) return ERROR_INSUFFICIENT_BUFFER;
        std::memset(data, 0, BufferSizeFor(block.size()));
        std::memcpy(data, block.data(), block.size());
        return ERROR_SUCCESS;
    });
    if (error != ERROR_SUCCESS) SetLastError(error);
    return error == ERROR_SUCCESS ? TRUE : FALSE;
}

// Caveats: the block must come from GetFileVersionInfoW, whose length word bounds the walk.
// Binary values ("\" gives VS_FIXEDFILEINFO, "\VarFileInfo\Translation" the language and code
// page pairs) point into the block with their length in bytes; text values point at a wide copy
// in the block's cache, ended by a zero, with their length in wchar_t units including that zero.
// Keys match with ASCII letters in any case. Not found: FALSE, with ERROR_RESOURCE_TYPE_NOT_FOUND.
BOOL VerQueryValueW(const void* block, LPCWSTR subBlock, void** buffer, UINT* length) {
    if (block == nullptr || subBlock == nullptr || buffer == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    const auto* bytes = static_cast<const unsigned char*>(block);
    const std::size_t raw = Le16(bytes);
    Node node;
    if (!FindNode(bytes, raw, subBlock, node) || node.valueBytes == 0) {
        SetLastError(ERROR_RESOURCE_TYPE_NOT_FOUND);
        return FALSE;
    }
    if (!node.text) {
        *buffer = const_cast<unsigned char*>(bytes + node.valueBegin);
        if (length != nullptr) *length = static_cast<UINT>(node.valueBytes);
        return TRUE;
    }
    // The wide copy starts in the slot of the value's first unit and ends within the slot after
    // its last one: it never reaches another value's slots in a well-formed block, and never the
    // cache's end in any block.
    wchar_t* cache = CacheOf(bytes, raw);
    wchar_t* out = cache + node.valueBegin / 2;
    std::size_t count = 0;
    for (std::size_t at = node.valueBegin; at + 2 <= node.valueBegin + node.valueBytes; at += 2) {
        std::uint32_t unit = Le16(bytes + at);
        if (unit == 0) break;
        if (unit >= 0xD800 && unit < 0xDC00 && at + 4 <= node.valueBegin + node.valueBytes) {
            const std::uint32_t low = Le16(bytes + at + 2);
            if (low >= 0xDC00 && low < 0xE000) {
                unit = 0x10000 + ((unit - 0xD800) << 10) + (low - 0xDC00);
                at += 2;
            }
        }
        if (unit >= 0xD800 && unit < 0xE000) unit = 0xFFFD;
        out[count++] = static_cast<wchar_t>(unit);
    }
    out[count] = L'\0';
    *buffer = out;
    if (length != nullptr) *length = static_cast<UINT>(count + 1);
    return TRUE;
}
