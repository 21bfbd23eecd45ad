// Load and save speed of property lists shaped like a content-information document: groups of
// contents, each with a few file paths, a duration, a day count and a content type.
//
// Every benchmark takes the document size in MB as its argument and reports the saved XML's
// UTF-8 size as "doc_bytes"; bytes per second count those bytes, for the in-memory text too, so
// the four rates compare directly. Rates are per CPU second, except for SaveToFile, whose rate
// is per wall-clock second because it waits for the data to reach the disk.
#include <cstdint>
#include <filesystem>
#include <map>
#include <random>
#include <string>

#include <benchmark/benchmark.h>

#include "CommonUtility.h"

namespace {

std::uint64_t Text(const CString& text) { return reinterpret_cast<std::uintptr_t>(text.GetString()); }

// Adds contents to a fresh document until it holds count of them, 40 to a group.
void Fill(CXMLDict& doc, int count) {
    static const wchar_t* const events[] = {L"holiday", L"birthday", L"wedding", L"garden",
                                            L"school_play", L"ski_trip", L"christmas"};
    static const wchar_t* const extensions[] = {L"mp4", L"mts", L"mov", L"jpg"};
    std::mt19937 random(42);
    auto pick = [&random](int n) { return static_cast<int>(random() % static_cast<unsigned>(n)); };

    doc.AddElement(L"ContentsGroupList", eXMLArray, 0);
    doc.AddElement(L"DatabaseID", eXMLString, Text(L"{3F2A9C10-5B7E-4D21-9A0C-6E1B2D3C4F50}"));
    doc.AddElement(L"SourceApp", eXMLString, Text(L"Browser"));
    doc.AddElement(L"XMLFileType", eXMLString, Text(L"ContentInfoXML"));
    auto* groups = static_cast<CXMLArray*>(doc[L"ContentsGroupList"]);

    CString text;
    for (int made = 0; made < count;) {
        const int year = 2005 + pick(8);
        const wchar_t* event = events[pick(7)];
        groups->AddElement(-1, eXMLDict, 0);
        auto* group = static_cast<CXMLDict*>((*groups)[static_cast<int>(groups->GetSize()) - 1]);
        text.Format(L"%d %s", year, event);
        group->AddElement(L"GroupName", eXMLString, Text(text));
        group->AddElement(L"ContentsList", eXMLArray, 0);
        auto* contents = static_cast<CXMLArray*>((*group)[L"ContentsList"]);

        for (int i = 0; i < 40 && made < count; ++i, ++made) {
            contents->AddElement(-1, eXMLDict, 0);
            auto* content = static_cast<CXMLDict*>((*contents)[static_cast<int>(contents->GetSize()) - 1]);
            content->AddElement(L"ContentType", eXMLInt, static_cast<std::uint64_t>(1 + pick(4)));
            // A day count in the year of the group, with a time of day.
            text.Format(L"%.6f", 38353.0 + (year - 2005) * 365.25 + pick(365) + pick(86400) / 86400.0);
            content->AddElement(L"DateTimeOriginal", eXMLReal, Text(text));
            text.Format(L"%.3f", 2.0 + pick(600000) / 1000.0);
            content->AddElement(L"Duration", eXMLReal, Text(text));
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

// The saved text, and its size as a UTF-8 file.
std::wstring Saved(CXMLDict& doc) {
    wchar_t* xml = nullptr;
    if (doc.SaveToMemFile(&xml) != 1) return std::wstring();
    std::wstring text(xml);
    SysFreeString(xml);
    return text;
}

std::size_t Utf8Size(const std::wstring& text) { return CString(text.c_str()).ToUtf8().size(); }

// A document of about mb megabytes of saved XML and its saved text, made once per size.
struct Sample {
    CXMLDict doc;
    std::wstring xml;
    std::size_t bytes = 0;
};

Sample& GetSample(int mb) {
    static std::map<int, Sample> samples;
    Sample& sample = samples[mb];
    if (sample.bytes != 0) return sample;
    CXMLDict probe;
    Fill(probe, 500);
    const double perContent = static_cast<double>(Utf8Size(Saved(probe))) / 500;
    Fill(sample.doc, static_cast<int>(mb * 1e6 / perContent));
    sample.xml = Saved(sample.doc);
    sample.bytes = Utf8Size(sample.xml);
    return sample;
}

// A folder of its own under the temporary folder, removed at exit.
const std::filesystem::path& Folder() {
    struct Owned {
        std::filesystem::path path;
        Owned() {
            const std::string name = "cu-bench-" + std::to_string(std::random_device()());
            path = std::filesystem::temp_directory_path() / name;
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

CString FilePath(int mb) {
    return CString((Folder() / ("content" + std::to_string(mb) + ".xml")).u8string().c_str());
}

void Report(benchmark::State& state, const Sample& sample) {
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * sample.bytes));
    state.counters["doc_bytes"] = static_cast<double>(sample.bytes);
}

void BM_SaveToMemFile(benchmark::State& state) {
    Sample& sample = GetSample(static_cast<int>(state.range(0)));
    for (auto _ : state) {
        wchar_t* xml = nullptr;
        if (sample.doc.SaveToMemFile(&xml) != 1) state.SkipWithError("SaveToMemFile failed");
        SysFreeString(xml);
    }
    Report(state, sample);
}

// Each pass loads into a new dictionary, so freeing the tree is part of the cost.
void BM_LoadFromMemFile(benchmark::State& state) {
    Sample& sample = GetSample(static_cast<int>(state.range(0)));
    for (auto _ : state) {
        CXMLDict doc;
        if (doc.LoadFromMemFile(sample.xml.data()) != 1) state.SkipWithError("LoadFromMemFile failed");
    }
    Report(state, sample);
}

// Each save replaces the file of the previous pass, through a flushed temporary file.
void BM_SaveToFile(benchmark::State& state) {
    Sample& sample = GetSample(static_cast<int>(state.range(0)));
    const CString path = FilePath(static_cast<int>(state.range(0)));
    for (auto _ : state)
        if (sample.doc.SaveToFile(path) != 1) state.SkipWithError("SaveToFile failed");
    Report(state, sample);
}

void BM_LoadFromFile(benchmark::State& state) {
    Sample& sample = GetSample(static_cast<int>(state.range(0)));
    const CString path = FilePath(static_cast<int>(state.range(0)));
    if (sample.doc.SaveToFile(path) != 1) state.SkipWithError("SaveToFile failed");
    for (auto _ : state) {
        CXMLDict doc;
        if (doc.LoadFromFile(path) != 1) state.SkipWithError("LoadFromFile failed");
    }
    Report(state, sample);
}

}  // namespace

BENCHMARK(BM_SaveToMemFile)->Arg(1)->Arg(10)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LoadFromMemFile)->Arg(1)->Arg(10)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SaveToFile)->Arg(1)->Arg(10)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_LoadFromFile)->Arg(1)->Arg(10)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
