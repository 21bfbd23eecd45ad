// Real files for tests: a temporary folder per test that removes itself, and whole-file reads and
// writes that go through the standard library rather than the code under test.
#pragma once

#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <stdexcept>
#include <string>
#include <system_error>

#include "commonutility/CString.h"

namespace cu::test {

// Paths between CString and std::filesystem go through UTF-8: on POSIX the standard library would
// convert wide text with the C locale, which knows only ASCII.
inline std::filesystem::path FsPath(const CString& path) { return std::filesystem::u8path(path.ToUtf8()); }

inline CString FromFsPath(const std::filesystem::path& path) {
#if defined(_WIN32)
    return CString(path.wstring().c_str());
#else
    return CString(path.u8string().c_str());
#endif
}

// A new, empty folder under the system's temporary folder, removed with all its content (read-only
// entries too) when the object goes. Throws when no folder can be made, which fails the test.
class TempDir {
public:
    TempDir() {
        std::random_device random;
        const std::filesystem::path base = std::filesystem::temp_directory_path();
        std::error_code error;
        for (int attempt = 0; attempt < 100 && m_path.empty(); ++attempt) {
            std::filesystem::path candidate = base / ("cu-test-" + std::to_string(random()));
            if (std::filesystem::create_directory(candidate, error)) m_path = candidate;
        }
        if (m_path.empty()) throw std::runtime_error("no temporary folder could be made under " + base.string());
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    ~TempDir() {
        if (m_path.empty()) return;
        std::error_code error;
        // Windows refuses to delete read-only entries: make everything writable first.
        for (auto it = std::filesystem::recursive_directory_iterator(m_path, error);
             !error && it != std::filesystem::recursive_directory_iterator(); it.increment(error))
            std::filesystem::permissions(it->path(), std::filesystem::perms::owner_all,
                                         std::filesystem::perm_options::add, error);
        std::filesystem::remove_all(m_path, error);
    }

    const std::filesystem::path& FsPath() const { return m_path; }

    // The folder itself, without a trailing separator, or a name inside it.
    CString Path() const { return FromFsPath(m_path); }
    CString Path(const wchar_t* name) const { return FromFsPath(m_path / cu::test::FsPath(name)); }

private:
    std::filesystem::path m_path;
};

inline void WriteBytes(const CString& path, const std::string& bytes) {
    std::ofstream(FsPath(path), std::ios::binary | std::ios::trunc) << bytes;
}

// The file's bytes; "<missing>" when it cannot be read.
inline std::string ReadBytes(const CString& path) {
    std::ifstream in(FsPath(path), std::ios::binary);
    if (!in) return "<missing>";
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline bool Exists(const CString& path) {
    std::error_code error;
    return std::filesystem::exists(FsPath(path), error);
}

// Takes all write permission away (on Windows: sets the read-only attribute), or gives the owner's
// back.
inline void SetReadOnly(const CString& path, bool readOnly = true) {
    namespace fs = std::filesystem;
    std::error_code error;
    fs::permissions(FsPath(path), readOnly ? fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write
                                           : fs::perms::owner_write,
                    readOnly ? fs::perm_options::remove : fs::perm_options::add, error);
}

}  // namespace cu::test
