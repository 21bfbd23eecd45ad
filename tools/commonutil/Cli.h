// Shared pieces of the command-line tool: arguments, errors, files and the standard streams.
#pragma once

#include <string>
#include <vector>

#include <CommonUtility.h>

namespace commonutil {

// Exit statuses: success, a failure with the input or output, a wrong command line.
enum Status { kOk = 0, kFailed = 1, kUsage = 2 };

using Args = std::vector<std::string>;

// Prints "commonutil: MESSAGE" on stderr and gives status.
int Fail(int status, const std::string& message);
// Prints "commonutil: warning: MESSAGE" on stderr.
void Warn(const std::string& message);

// True when args hold --help or -h.
bool WantsHelp(const Args& args);

// True when FILE names something to read: not a folder, not missing, not a link to nothing.
// Otherwise says why on stderr.
bool CheckInput(const std::string& path);
// Reads the whole of FILE, or of standard input for "-". On failure says why on stderr (missing,
// a folder, a link to nothing, unreadable) and gives false.
bool ReadInput(const std::string& path, std::string& bytes);
// True when FILE may be written: "-" (standard output), or a path that is not a folder, not a
// read-only file, and whose folder is writable. Otherwise says why on stderr and gives false.
bool CheckOutput(const std::string& path);
// Writes bytes to FILE, or to standard output for "-"; says why on failure.
bool WriteOutput(const std::string& path, const std::string& bytes);

// A file the library can load by name: FILE itself, or for "-" a temporary copy of standard
// input, removed again when the object goes.
class InputFile {
public:
    InputFile() = default;
    InputFile(const InputFile&) = delete;
    InputFile& operator=(const InputFile&) = delete;
    ~InputFile();
    // Reads FILE (see ReadInput) and keeps its bytes; false after saying why.
    bool Open(const std::string& path);
    const std::string& bytes() const { return m_bytes; }
    const CString& path() const { return m_path; }

private:
    std::string m_bytes;
    CString m_path;
    std::string m_temporary;
};

// Loads a property-list file ("-": standard input) into dict; on failure says why on stderr
// (missing, a folder, unreadable, binary, not a property list) and gives false. Warns about the
// parts of the file that the library does not read (see UnreadParts).
bool LoadDocument(CXMLDict& dict, const std::string& path);
// Notes for what a property-list text holds that the library leaves out or changes: elements it
// does not read (true, false, data, unknown names) and integers held at the 32-bit range. Empty
// when there are none.
std::vector<std::string> UnreadParts(const std::string& bytes);

// A registry result code in words, with its number.
std::string RegErrorText(long error);

int ContentInfoScan(const Args& args);
int ContentInfoList(const Args& args);
int PlistShow(const Args& args);
int PlistGet(const Args& args);
int PlistSet(const Args& args);
int PlistDelete(const Args& args);
int RegionShow(const Args& args);
int FileInfo(const Args& args);
int Log(const Args& args);
int Reg(const Args& args);
int RegImport(const Args& args);
int RegExport(const Args& args);

}  // namespace commonutil
