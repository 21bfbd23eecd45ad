// Files and the standard streams for the command-line tool: reading and writing with a reason
// for every failure, and "-" for standard input or output.
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <random>
#include <system_error>

#if defined(_WIN32)
#include <fcntl.h>
#include <io.h>
#endif

#include "Cli.h"

namespace fs = std::filesystem;

namespace commonutil {
namespace {

// The standard streams carry bytes as they are: no line-end translation on Windows.
void BinaryMode(std::FILE* stream) {
#if defined(_WIN32)
    _setmode(_fileno(stream), _O_BINARY);
#else
    (void)stream;
#endif
}

std::string ErrnoText(int error) { return std::strerror(error); }

}  // namespace

int Fail(int status, const std::string& message) {
    std::fprintf(stderr, "commonutil: %s\n", message.c_str());
    return status;
}

void Warn(const std::string& message) { std::fprintf(stderr, "commonutil: warning: %s\n", message.c_str()); }

bool WantsHelp(const Args& args) {
    for (const std::string& arg : args)
        if (arg == "--help" || arg == "-h") return true;
    return false;
}

bool CheckInput(const std::string& path) {
    const CString wide(path.c_str());
    if (CFileOperation::IsDirAvailable(wide)) return Fail(kFailed, path + ": is a folder, not a file"), false;
    // A link whose target is gone still exists as a name; say so rather than "no such file".
    std::error_code error;
    if (fs::is_symlink(fs::symlink_status(path, error)) && !fs::exists(path, error))
        return Fail(kFailed, path + ": is a link to a missing file"), false;
    if (!CFileOperation::IsFileAvailable(wide)) return Fail(kFailed, path + ": no such file"), false;
    return true;
}

bool ReadInput(const std::string& path, std::string& bytes) {
    std::FILE* file = stdin;
    const std::string name = path == "-" ? "standard input" : path;
    if (path == "-") {
        BinaryMode(stdin);
    } else {
        if (!CheckInput(path)) return false;
        file = std::fopen(path.c_str(), "rb");
        if (file == nullptr) return Fail(kFailed, path + ": cannot be opened (" + ErrnoText(errno) + ")"), false;
    }
    char buffer[65536];
    for (std::size_t got; (got = std::fread(buffer, 1, sizeof buffer, file)) > 0;) bytes.append(buffer, got);
    const int error = std::ferror(file) ? errno : 0;
    if (file != stdin) std::fclose(file);
    if (error != 0) return Fail(kFailed, name + ": cannot be read (" + ErrnoText(error) + ")"), false;
    return true;
}

bool CheckOutput(const std::string& path) {
    if (path == "-") return true;
    const CString wide(path.c_str());
    if (CFileOperation::IsDirAvailable(wide)) return Fail(kFailed, path + ": is a folder, not a file"), false;
    if (CFileOperation::IsFileAvailable(wide) && CFileOperation::IsReadOnly(wide))
        return Fail(kFailed, path + ": is read-only; it is not overwritten"), false;
    const CString dir = CFileOperation::GetFileDir(wide);
    if (!dir.IsEmpty() && !CFileOperation::IsDirWritable(dir))
        return Fail(kFailed, path + ": the folder is missing or not writable"), false;
    return true;
}

bool WriteOutput(const std::string& path, const std::string& bytes) {
    if (path == "-") {
        BinaryMode(stdout);
        if (std::fwrite(bytes.data(), 1, bytes.size(), stdout) != bytes.size() || std::fflush(stdout) != 0)
            return Fail(kFailed, "standard output: cannot be written (" + ErrnoText(errno) + ")"), false;
        return true;
    }
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr) return Fail(kFailed, path + ": cannot be written (" + ErrnoText(errno) + ")"), false;
    const bool written = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
    const int error = errno;
    if (std::fclose(file) != 0 || !written)
        return Fail(kFailed, path + ": cannot be written (" + ErrnoText(written ? errno : error) + ")"), false;
    return true;
}

InputFile::~InputFile() {
    if (!m_temporary.empty()) std::remove(m_temporary.c_str());
}

bool InputFile::Open(const std::string& path) {
    if (!ReadInput(path, m_bytes)) return false;
    if (path != "-") {
        m_path = CString(path.c_str());
        return true;
    }
    // The library loads files by name, so standard input goes to a file of its own first.
    const std::string folder = CFileOperation::GetTempDir().ToUtf8();
    std::mt19937_64 random(std::random_device{}() ^
                           static_cast<unsigned long long>(std::chrono::steady_clock::now().time_since_epoch().count()));
    for (int attempt = 0; attempt < 100 && m_temporary.empty(); ++attempt) {
        const std::string name = folder + "commonutil-stdin-" + std::to_string(random()) + ".tmp";
        if (fs::exists(name)) continue;
        std::FILE* file = std::fopen(name.c_str(), "wb");
        if (file == nullptr) break;
        m_temporary = name;
        const bool written = std::fwrite(m_bytes.data(), 1, m_bytes.size(), file) == m_bytes.size();
        if (std::fclose(file) != 0 || !written) break;
        m_path = CString(name.c_str());
        return true;
    }
    return Fail(kFailed, "standard input: cannot be kept in the temporary folder " + folder), false;
}

bool LoadDocument(CXMLDict& dict, const std::string& path) {
    InputFile input;
    if (!input.Open(path)) return false;
    const std::string name = path == "-" ? "standard input" : path;
    if (input.bytes().rfind("bplist", 0) == 0)
        return Fail(kFailed, name + ": is a binary property list; only the XML form is read"), false;
    if (dict.LoadFromFile(input.path()) != 1)
        return Fail(kFailed, name + ": not a readable property-list file (malformed XML or empty)"), false;
    for (const std::string& note : UnreadParts(input.bytes())) Warn(name + ": " + note);
    return true;
}

}  // namespace commonutil
