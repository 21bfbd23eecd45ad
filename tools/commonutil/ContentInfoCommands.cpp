// commonutil contentinfo scan | list
#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <map>
#include <system_error>
#include <vector>

#include "Cli.h"
#include "Print.h"

namespace fs = std::filesystem;

namespace commonutil {
namespace {

const char kScanHelp[] =
    "usage: commonutil contentinfo scan FOLDER -o FILE   (FILE - for standard output)\n"
    "\n"
    "Looks through FOLDER and its subfolders for media files (by extension) and writes a\n"
    "content-information file: one group per folder that holds media, named by its path below\n"
    "FOLDER (\".\" for FOLDER itself), and one content per media file. Each content gets:\n"
    "  Files             the file's path\n"
    "  DateTimeOriginal  the file's last-write time (local time, as a day count)\n"
    "  ContentType       1 video, 2 photo, 3 audio\n"
    "Left out: Duration (it would need the media decoded) and every other file.\n"
    "Video: .3gp .avi .m2ts .m4v .mkv .mov .mp4 .mpg .mpeg .mts .vob .webm .wmv\n"
    "Photo: .bmp .gif .heic .jpeg .jpg .png .tif .tiff   Audio: .aac .flac .m4a .mp3 .ogg .wav .wma\n";

const char kListHelp[] =
    "usage: commonutil contentinfo list FILE   (FILE - for standard input)\n"
    "\n"
    "Lists the groups of a content-information file, their contents, each content's files and\n"
    "its Duration, DateTimeOriginal and ContentType (when present).\n";

// The content type of a file by its extension: 1 video, 2 photo, 3 audio, 0 not media.
int MediaKind(const fs::path& file) {
    std::string ext = file.extension().string();
    std::transform(ext.begin(), ext.end(), ext.begin(), [](unsigned char c) { return std::tolower(c); });
    static const std::map<std::string, int> kinds = {
        {".3gp", 1}, {".avi", 1}, {".m2ts", 1}, {".m4v", 1}, {".mkv", 1}, {".mov", 1}, {".mp4", 1},
        {".mpg", 1}, {".mpeg", 1}, {".mts", 1}, {".vob", 1}, {".webm", 1}, {".wmv", 1},
        {".bmp", 2}, {".gif", 2}, {".heic", 2}, {".jpeg", 2}, {".jpg", 2}, {".png", 2}, {".tif", 2},
        {".tiff", 2}, {".aac", 3}, {".flac", 3}, {".m4a", 3}, {".mp3", 3}, {".ogg", 3}, {".wav", 3},
        {".wma", 3}};
    const auto found = kinds.find(ext);
    return found != kinds.end() ? found->second : 0;
}

const wchar_t* MediaName(__int64 kind) {
    switch (kind) {
        case 1: return L"video";
        case 2: return L"photo";
        case 3: return L"audio";
        default: return L"other";
    }
}

// The file's last-write time as a local date, or an invalid date when it cannot be read.
CCommonDateTime LastWrite(const fs::path& file) {
    CCommonDateTime date;
    std::error_code error;
    const fs::file_time_type written = fs::last_write_time(file, error);
    if (error) {
        date.SetStatus(COleDateTime::invalid);
        return date;
    }
    // C++17 has no clock conversion: carry the distance from now over to the system clock.
    const auto now = std::chrono::system_clock::now() +
                     std::chrono::duration_cast<std::chrono::system_clock::duration>(
                         written - fs::file_time_type::clock::now());
    const std::time_t seconds = std::chrono::system_clock::to_time_t(now);
    const std::tm* local = std::localtime(&seconds);  // one thread: the shared result is safe
    if (local == nullptr) {
        date.SetStatus(COleDateTime::invalid);
        return date;
    }
    date.SetDateTime(local->tm_year + 1900, local->tm_mon + 1, local->tm_mday, local->tm_hour,
                     local->tm_min, local->tm_sec);
    return date;
}

// Narrow native paths (POSIX) are UTF-8, the ANSI code page there; Windows paths are wide.
CString Wide(const fs::path& path) { return CString(path.c_str()); }

}  // namespace

int ContentInfoScan(const Args& args) {
    if (WantsHelp(args)) return std::fputs(kScanHelp, stdout), kOk;
    std::string folder, output;
    for (std::size_t i = 0; i < args.size(); ++i) {
        if ((args[i] == "-o" || args[i] == "--output") && i + 1 < args.size())
            output = args[++i];
        else if (folder.empty() && args[i][0] != '-')
            folder = args[i];
        else
            return Fail(kUsage, "contentinfo scan: unexpected argument '" + args[i] + "'; see --help");
    }
    if (folder.empty() || output.empty()) return Fail(kUsage, "contentinfo scan: needs FOLDER and -o FILE; see --help");

    std::error_code error;
    const fs::path root(folder);
    if (!fs::is_directory(root, error))
        return Fail(kFailed, folder + (fs::exists(root, error) ? ": is a file, not a folder" : ": no such folder"));
    if (!CheckOutput(output)) return kFailed;

    // Media files by folder, in name order, so the same tree always gives the same document.
    std::map<fs::path, std::vector<std::pair<fs::path, int>>> groups;
    for (auto it = fs::recursive_directory_iterator(root, fs::directory_options::skip_permission_denied, error);
         !error && it != fs::recursive_directory_iterator(); it.increment(error)) {
        if (!it->is_regular_file(error)) continue;
        if (const int kind = MediaKind(it->path())) groups[it->path().parent_path()].emplace_back(it->path(), kind);
    }
    if (error) return Fail(kFailed, folder + ": cannot be read through (" + error.message() + ")");

    CContentInfoXML doc;
    doc.Initialize(L"commonutil", nullptr, nullptr);
    std::size_t contents = 0;
    for (auto& [path, files] : groups) {
        std::sort(files.begin(), files.end());
        const fs::path relative = path.lexically_relative(root);
        CXMLDict* group = doc.AddNewGroup(Wide(relative.empty() ? fs::path(".") : relative).GetString());
        for (const auto& [file, kind] : files) {
            CXMLDict* content = doc.AddNewContent(group);
            doc.AddFilepathToContent(content, Wide(file).GetString());
            content->AddElement(L"DateTimeOriginal", eXMLReal, reinterpret_cast<std::uintptr_t>(L"0"));
            (*content)[L"DateTimeOriginal"]->SetValue(LastWrite(file).m_dt);
            content->AddElement(L"ContentType", eXMLInt, static_cast<ULONGLONG>(kind));
            ++contents;
        }
    }

    // A save reports success once the document is built; whether the file arrived is checked here.
    if (output == "-") {
        wchar_t* text = nullptr;
        if (doc.SaveToMemFile(&text) != 1 || text == nullptr) return Fail(kFailed, "the document cannot be made");
        const std::string bytes = CString(text).ToUtf8();
        SysFreeString(text);
        if (!WriteOutput(output, bytes)) return kFailed;
    } else {
        const CString target(output.c_str());
        if (doc.SaveToFile(target) != 1) return Fail(kFailed, output + ": cannot be written");
        CContentInfoXML check;
        if (check.LoadFromFile(target) != 1) return Fail(kFailed, output + ": was not written");
    }
    std::fprintf(output == "-" ? stderr : stdout, "%zu groups, %zu contents written to %s\n", groups.size(), contents,
                 output == "-" ? "standard output" : output.c_str());
    return kOk;
}

int ContentInfoList(const Args& args) {
    if (WantsHelp(args)) return std::fputs(kListHelp, stdout), kOk;
    if (args.size() != 1) return Fail(kUsage, "contentinfo list: needs exactly one FILE; see --help");
    CContentInfoXML doc;
    if (!LoadDocument(doc, args[0])) return kFailed;
    // Any property list loads; one without the group list is some other document.
    CXMLElement* list = doc[L"ContentsGroupList"];
    if (list == nullptr || list->GetIniNodeType() != eXMLArray)
        return Fail(kFailed, (args[0] == "-" ? std::string("standard input") : args[0]) +
                                 ": not a content-information document (no ContentsGroupList array)");

    const int groupCount = doc.GetGroupCount();
    std::printf("%s: %d group%s\n", args[0].c_str(), groupCount, groupCount == 1 ? "" : "s");
    for (int g = 0; g < groupCount; ++g) {
        CXMLDict* group = doc.GetGroup(g);
        CString name(L"(unnamed)");
        if (group != nullptr && (*group)[L"GroupName"]) (*group)[L"GroupName"]->GetValue(&name);
        const int contentCount = CContentInfoXML::GetContentCount(group);
        std::printf("\nGroup %d: %s (%d content%s)\n", g + 1, name.ToUtf8().c_str(), contentCount,
                    contentCount == 1 ? "" : "s");
        for (int c = 0; c < contentCount; ++c) {
            CXMLDict* content = CContentInfoXML::GetContent(group, c);
            std::printf("  Content %d\n", c + 1);
            for (int f = 0; f < CContentInfoXML::GetFilepathCountFromContent(content); ++f) {
                CString path;
                if (CContentInfoXML::GetFilepathFromContent(content, f, &path))
                    std::printf("    File:             %s\n", path.ToUtf8().c_str());
            }
            double duration = 0;
            if (CContentInfoXML::GetContentDuration(content, &duration))
                std::printf("    Duration:         %g\n", duration);
            CCommonDateTime date;
            if (CContentInfoXML::GetDateTime(content, &date))
                std::printf("    DateTimeOriginal: %s\n", DateText(date).ToUtf8().c_str());
            __int64 type = 0;
            if (CContentInfoXML::GetContentType(content, type))
                std::printf("    ContentType:      %lld (%s)\n", static_cast<long long>(type),
                            CString(MediaName(type)).ToUtf8().c_str());
        }
    }
    return kOk;
}

}  // namespace commonutil
