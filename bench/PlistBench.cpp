// Speed of loading and saving property lists and of the log, as ratios against references that
// run in the same program on the same data.
//
// Documents: three shaped like content information (groups of contents, each with texts, an
// integer, reals, a date and an array of file paths) of about 1, 10 and 28 MB, and one made of many
// small dictionaries. For each, the warm median of five timed runs (after one untimed run) of:
//   load from memory / from a file   against pugixml parsing the same text (wide text in memory,
//                                    the same file) and walking every node's name and text;
//   a copy of the loaded tree        against the same reference: the elements made and destroyed
//                                    without any XML, a floor under the loads (no goal);
//   save to memory / to a file       against building the same tree as a pugixml DOM and
//                                    serialising it (to a file: beside the target, flushed with
//                                    fsync and renamed over it, as the library saves);
//   against libplist when built with it: plist_from_xml of its own XML of the same tree, and
//   plist_to_xml of that tree (time per tree).
// The log: records per second at 1 and 4 threads with date, time and thread prefixes, against one
// write(2) per record of a formatted record of the same length under a mutex.
// Peak memory: the resident peak of a process that loads the 28 MB file, against pugixml.
//
// A ratio is the reference's time over the library's, so above 1 means the library is faster.
// Run it with freed memory kept (see the README):
//   GLIBC_TUNABLES=glibc.malloc.trim_threshold=4294967295:glibc.malloc.mmap_threshold=33554432 \
//     build-bench/bench/commonutility_bench [--quick]
// "--profile loadmem|loadfile|savemem|savefile|log" repeats one operation for a profiler.
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "BenchReferences.h"
#include "CommonUtility.h"

namespace {

int g_runs = 5;

std::uint64_t Text(const CString& text) { return reinterpret_cast<std::uintptr_t>(text.GetString()); }

template <typename C>
C* LastChild(CXMLArray& array) {
    return static_cast<C*>(array[static_cast<int>(array.GetSize()) - 1]);
}

// A content-information document with count contents, 40 to a group.
void FillContentInfo(CXMLDict& doc, int count) {
    static const wchar_t* const events[] = {L"holiday", L"birthday", L"wedding", L"garden",
                                            L"school_play", L"ski_trip", L"christmas"};
    static const wchar_t* const extensions[] = {L"mp4", L"mts", L"mov", L"jpg"};
    std::mt19937 random(42);
    auto pick = [&random](int n) { return static_cast<int>(random() % static_cast<unsigned>(n)); };

    doc.AddElement(L"ContentsGroupList", eXMLArray, 0);
    doc.AddElement(L"DatabaseID", eXMLString, Text(L"{3F2A9C10-5B7E-4D21-9A0C-6E1B2D3C4F50}"));
    doc.AddElement(L"SourceApp", eXMLString, Text(L"Browser & <Importer>"));
    doc.AddElement(L"XMLFileType", eXMLString, Text(L"ContentInfoXML"));
    auto* groups = static_cast<CXMLArray*>(doc[L"ContentsGroupList"]);

    CString text;
    for (int made = 0; made < count;) {
        const int year = 2005 + pick(8);
        const wchar_t* event = events[pick(7)];
        groups->AddElement(-1, eXMLDict, 0);
        auto* group = LastChild<CXMLDict>(*groups);
        text.Format(L"%d %s", year, event);
        group->AddElement(L"GroupName", eXMLString, Text(text));
        group->AddElement(L"ContentsList", eXMLArray, 0);
        auto* contents = static_cast<CXMLArray*>((*group)[L"ContentsList"]);

        for (int i = 0; i < 40 && made < count; ++i, ++made) {
            contents->AddElement(-1, eXMLDict, 0);
            auto* content = LastChild<CXMLDict>(*contents);
            content->AddElement(L"ContentType", eXMLInt, static_cast<std::uint64_t>(1 + pick(4)));
            const double day = 38353.0 + (year - 2005) * 365.25 + pick(365);
            text.Format(L"%.6f", day + pick(86400) / 86400.0);
            content->AddElement(L"DateTimeOriginal", eXMLReal, Text(text));
            text.Format(L"%.3f", 2.0 + pick(600000) / 1000.0);
            content->AddElement(L"Duration", eXMLReal, Text(text));
            content->AddElement(L"ImportDate", eXMLDate, 0);
            CCommonDateTime imported;
            imported = static_cast<double>(static_cast<long long>(day) + 30) + pick(86400) / 86400.0;
            (*content)[L"ImportDate"]->SetValue(imported);
            text.Format(L"Clip %d of %s", i + 1, event);
            content->AddElement(L"Title", eXMLString, Text(text));
            content->AddElement(L"Files", eXMLArray, 0);
            auto* files = static_cast<CXMLArray*>((*content)[L"Files"]);
            const int clip = pick(100000);
            for (int f = 1 + pick(4); f > 0; --f) {
                text.Format(L"/media/videos/%d/%s/clip_%05d.%s", year, event, clip, extensions[f - 1]);
                files->AddElement(-1, eXMLString, Text(text));
            }
        }
    }
}

// Many small dictionaries: an array of settings records of four or five entries each.
void FillSmallDicts(CXMLDict& doc, int count) {
    std::mt19937 random(7);
    auto pick = [&random](int n) { return static_cast<int>(random() % static_cast<unsigned>(n)); };
    doc.AddElement(L"Records", eXMLArray, 0);
    auto* records = static_cast<CXMLArray*>(doc[L"Records"]);
    CString text;
    for (int i = 0; i < count; ++i) {
        records->AddElement(-1, eXMLDict, 0);
        auto* record = LastChild<CXMLDict>(*records);
        record->AddElement(L"Enabled", eXMLBool, static_cast<std::uint64_t>(pick(2)));
        record->AddElement(L"Id", eXMLInt, static_cast<std::uint64_t>(i));
        text.Format(L"item-%d", pick(1000000));
        record->AddElement(L"Name", eXMLString, Text(text));
        text.Format(L"%d.%02d", pick(100), pick(100));
        record->AddElement(L"Score", eXMLReal, Text(text));
        if (i % 3 == 0) record->AddElement(L"Secret", eXMLStringPSW, Text(L"p@ss<word>"));
    }
}

std::wstring SavedText(CXMLDict& doc) {
    wchar_t* xml = nullptr;
    if (doc.SaveToMemFile(&xml) != 1) return std::wstring();
    std::wstring text(xml);
    SysFreeString(xml);
    return text;
}

// A folder of its own under the temporary folder, removed at exit.
const std::filesystem::path& Folder() {
    struct Owned {
        std::filesystem::path path;
        Owned() {
            path = std::filesystem::temp_directory_path() /
                   ("cu-bench-" + std::to_string(std::random_device()()));
            std::filesystem::create_directories(path);
        }
        ~Owned() {
            std::error_code error;
            std::filesystem::remove_all(path, error);
        }
    };
    static Owned folder;
    return folder.path;
}

struct Document {
    std::string name;
    CXMLDict dict;
    std::wstring wide;      // the saved text
    std::string utf8;       // the same as UTF-8
    std::string file;       // the saved file
    bench::Tree tree;       // the same tree, for the references
    double mb = 0;
};

double Seconds(const std::function<void()>& run) {
    const auto start = std::chrono::steady_clock::now();
    run();
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// The median of g_runs timed runs after one untimed run.
double Median(const std::function<void()>& run) {
    run();
    std::vector<double> times;
    for (int i = 0; i < g_runs; ++i) times.push_back(Seconds(run));
    std::sort(times.begin(), times.end());
    return times[times.size() / 2];
}

void Row(const char* what, const Document& doc, double lib, const char* ref, double refTime,
         double goal) {
    if (refTime <= 0) {
        std::printf("  %-18s %8.1f ms %7.1f MB/s   %-28s %s\n", what, lib * 1e3, doc.mb / lib, ref,
                    "(not built)");
        return;
    }
    const double ratio = refTime / lib;
    std::printf("  %-18s %8.1f ms %7.1f MB/s   %-28s %8.1f ms   ratio %5.2f (goal %.2f) %s\n",
                what, lib * 1e3, doc.mb / lib, ref, refTime * 1e3, ratio, goal,
                ratio >= goal ? "ok" : "BELOW");
}

void Fail(const char* what) {
    std::fprintf(stderr, "%s failed\n", what);
    std::exit(1);
}

void MeasureDocument(Document& doc) {
    std::printf("\n%s: %.2f MB of XML\n", doc.name.c_str(), doc.mb);
    const CString path(doc.file.c_str());
    const std::string target = (Folder() / ("saved-" + doc.name + ".xml")).string();
    const CString savePath(target.c_str());

    const double loadMem = Median([&] {
        CXMLDict loaded;
        if (loaded.LoadFromMemFile(doc.wide.data()) != 1) Fail("LoadFromMemFile");
    });
    const double loadFile = Median([&] {
        CXMLDict loaded;
        if (loaded.LoadFromFile(path) != 1) Fail("LoadFromFile");
    });
    // The loaded tree made again without any XML: a copy, whose strings share their text with the
    // original, then destroyed. No load can cost less than making and destroying its tree.
    CXMLDict loaded;
    if (loaded.LoadFromFile(path) != 1) Fail("LoadFromFile");
    const double copyTree = Median([&] { CXMLDict copy(loaded); });
    const double saveMem = Median([&] {
        wchar_t* xml = nullptr;
        if (doc.dict.SaveToMemFile(&xml) != 1) Fail("SaveToMemFile");
        SysFreeString(xml);
    });
    const double saveFile = Median([&] {
        if (doc.dict.SaveToFile(savePath) != 1) Fail("SaveToFile");
    });

    const double refLoadMem = bench::HavePugi() ? Median([&] { bench::PugiParseWide(doc.wide); }) : 0;
    const double refLoadFile = bench::HavePugi() ? Median([&] { bench::PugiParseFile(doc.file); }) : 0;
    const double refSaveMem = bench::HavePugi() ? Median([&] { bench::PugiBuildAndSerialise(doc.tree); }) : 0;
    const double refSaveFile =
        bench::HavePugi() ? Median([&] { bench::PugiBuildAndSaveFile(doc.tree, target + ".ref"); }) : 0;

    Row("LoadFromMemFile", doc, loadMem, "pugixml parse + walk", refLoadMem, 0.5);
    Row("LoadFromFile", doc, loadFile, "pugixml load_file + walk", refLoadFile, 0.5);
    if (refLoadFile > 0)
        std::printf("  %-18s %8.1f ms %7.1f MB/s   %-28s %8.1f ms   ratio %5.2f (no goal: a floor for loads)\n",
                    "copy of the tree", copyTree * 1e3, doc.mb / copyTree, "pugixml load_file + walk",
                    refLoadFile * 1e3, refLoadFile / copyTree);
    Row("SaveToMemFile", doc, saveMem, "pugixml build + serialise", refSaveMem, 0.66);
    Row("SaveToFile", doc, saveFile, "pugixml build + save + fsync", refSaveFile, 0.66);

    if (bench::HavePlist()) {
        bench::PlistDocument plist(doc.tree);
        const double plistLoad = Median([&] { plist.Parse(); });
        const double plistSave = Median([&] { plist.Serialise(); });
        Row("LoadFromMemFile", doc, loadMem, "libplist plist_from_xml", plistLoad, 1.5);
        Row("SaveToMemFile", doc, saveMem, "libplist plist_to_xml", plistSave, 1.6);
    } else {
#ifdef _WIN32
        std::printf("  (libplist references: Linux only)\n");
#else
        std::printf("  (libplist references not built: install libplist-dev and reconfigure)\n");
#endif
    }
    std::printf("  load time per MB: %.2f ms\n", loadMem * 1e3 / doc.mb);
}

// Records per second of the library's log and of the reference at the given thread count.
void MeasureLog(int threads, int records) {
    auto rate = [&](const std::function<void(int, int)>& write) {
        const double seconds = Median([&] {
            std::vector<std::thread> workers;
            for (int t = 0; t < threads; ++t)
                workers.emplace_back([&, t] {
                    for (int i = 0; i < records / threads; ++i) write(t, i);
                });
            for (auto& worker : workers) worker.join();
        });
        return records / seconds;
    };
    CLogger& logger = CLogger::Instance();
    const double lib = rate([&](int t, int i) {
        logger.WriteLog(__FILE__, __LINE__, __FUNCTION__, "worker %d wrote record %d of the run", t, i);
    });
    std::printf("  log, %d thread%s: %9.0f records/s", threads, threads == 1 ? " " : "s", lib);
    if (!bench::HaveLogReference()) {
        std::printf("\n");
        return;
    }
    bench::LogReference reference((Folder() / "reference.log").string());
    const double ref = rate([&](int t, int i) { reference.Write(t, i); });
    std::printf("   mutexed write(2): %9.0f records/s   ratio %5.2f (goal 0.80) %s\n", ref, lib / ref,
                lib / ref >= 0.8 ? "ok" : "BELOW");
}

// Makes the log write records with date, time and thread prefixes into the bench's folder.
void SwitchLogOn() {
    const std::string folder = Folder().string() + "/";
    bench::SetEnv("TMPDIR", folder.c_str());
    bench::SetEnv("COMMONUTILITY_REGISTRY_DIR", (folder + "registry").c_str());
    HKEY key = nullptr;
    if (RegCreateKeyExW(HKEY_CURRENT_USER, L"Software\\Tavolan Corporation\\Reelkeep\\1.0\\Uploader", 0,
                        nullptr, 0, KEY_WRITE, nullptr, &key, nullptr) != ERROR_SUCCESS)
        Fail("RegCreateKeyExW");
    const DWORD flags = 0x0F;  // on, date, time, thread
    RegSetValueExW(key, L"LogFlag", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&flags), sizeof flags);
    RegCloseKey(key);
}

void Make(Document& doc, const char* name, const std::function<void(CXMLDict&)>& fill) {
    doc.name = name;
    fill(doc.dict);
    doc.wide = SavedText(doc.dict);
    doc.utf8 = CString(doc.wide.c_str()).ToUtf8();
    doc.mb = static_cast<double>(doc.utf8.size()) / 1e6;
    doc.file = (Folder() / (std::string(name) + ".xml")).string();
    std::ofstream(doc.file, std::ios::binary) << doc.utf8;
    doc.tree = bench::Tree::From(doc.dict);
}

// Runs one operation on the 10 MB document over and over, for a profiler.
int Profile(const std::string& operation) {
    Document doc;
    Make(doc, "profile", [](CXMLDict& d) { FillContentInfo(d, 35000); });
    const CString path(doc.file.c_str());
    for (int i = 0; i < 10; ++i) {
        if (operation == "loadmem") {
            CXMLDict loaded;
            loaded.LoadFromMemFile(doc.wide.data());
        } else if (operation == "loadfile") {
            CXMLDict loaded;
            loaded.LoadFromFile(path);
        } else if (operation == "savemem") {
            wchar_t* xml = nullptr;
            doc.dict.SaveToMemFile(&xml);
            SysFreeString(xml);
        } else if (operation == "savefile") {
            doc.dict.SaveToFile(path);
        } else if (operation == "log") {
            SwitchLogOn();
            MeasureLog(4, 400000);
            return 0;
        } else {
            std::fprintf(stderr, "operations: loadmem loadfile savemem savefile log\n");
            return 2;
        }
    }
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 4 && std::strcmp(argv[1], "--peak-child") == 0) return bench::PeakChild(argv[2], argv[3]);
    if (argc == 3 && std::strcmp(argv[1], "--profile") == 0) return Profile(argv[2]);
    const bool quick = argc > 1 && std::strcmp(argv[1], "--quick") == 0;
    if (quick) g_runs = 3;

    std::vector<int> contents = quick ? std::vector<int>{2300} : std::vector<int>{2300, 23000, 64000};
    for (int count : contents) {
        Document doc;
        const std::string name = "contentinfo-" + std::to_string(count);
        Make(doc, name.c_str(), [count](CXMLDict& d) { FillContentInfo(d, count); });
        MeasureDocument(doc);
        if (count == contents.back()) bench::MeasurePeak(argv[0], doc.file);
    }
    {
        Document doc;
        Make(doc, "small-dicts", [quick](CXMLDict& d) { FillSmallDicts(d, quick ? 5000 : 50000); });
        MeasureDocument(doc);
    }

    std::printf("\n");
    SwitchLogOn();
    for (int threads : {1, 4}) MeasureLog(threads, quick ? 40000 : 200000);
    return 0;
}
