// The file scan against a bare FindFirstFileExW walk of the same tree, in one
// run: files per second of both, their ratio, and memory per snapshot entry.
// Run pinned to one CPU with its wineserver:
//   taskset -c 0 wineserver -p; taskset -c 0 wine file_scan_win_bench.exe [tree folder]
// Without an argument the tree is made (once, then reused) beside the program.
#include <windows.h>
// After windows.h, which they need.
#include <psapi.h>
#include <shellapi.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "app/message_pump_win.h"
#include "bench/clock_win.h"
#include "capture/directory_source_win.h"
#include "capture/file_finder.h"
#include "core/app_state.h"
#include "core/utf.h"
#include "support/error_report.h"

namespace {

constexpr int kTopFolders = 50;
constexpr int kSubFolders = 50;
constexpr int kFilesPerFolder = 80;  // 200,000 files in 2,551 folders
constexpr int kRounds = 5;

class StoredStatus : public qv::StatusSink {
public:
    void setStatus(std::string_view text) override { text_.assign(text); }

private:
    std::string text_;
};

class SilentPrompt : public qv::UserPrompt {
public:
    qv::Answer ask(std::string_view, std::string_view, qv::Buttons, qv::Icon) override {
        return qv::Answer::Ok;
    }
};

bool exists(const std::wstring& path) {
    return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

void makeTree(const std::wstring& root) {
    const std::wstring marker = root + L"\\tree.complete";
    if (exists(marker)) return;
    std::printf("making the tree in %s (once)...\n", qv::toUtf8(root).c_str());
    CreateDirectoryW(root.c_str(), nullptr);
    wchar_t name[64];
    for (int t = 0; t < kTopFolders; ++t) {
        swprintf(name, 64, L"\\top_%03d", t);
        const std::wstring top = root + name;
        CreateDirectoryW(top.c_str(), nullptr);
        for (int s = 0; s < kSubFolders; ++s) {
            swprintf(name, 64, L"\\folder_%03d", s);
            const std::wstring folder = top + name;
            CreateDirectoryW(folder.c_str(), nullptr);
            for (int f = 0; f < kFilesPerFolder; ++f) {
                swprintf(name, 64, L"\\document_%05d.dat", f);
                HANDLE h = CreateFileW((folder + name).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                       FILE_ATTRIBUTE_NORMAL, nullptr);
                if (h != INVALID_HANDLE_VALUE) CloseHandle(h);
            }
        }
    }
    HANDLE h =
        CreateFileW(marker.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h != INVALID_HANDLE_VALUE) CloseHandle(h);
}

// The baseline: the platform's fastest listing, counting files, nothing kept.
uint64_t bareScan(std::wstring& path) {  // path ends with "\"
    const size_t length = path.size();
    path += L'*';
    WIN32_FIND_DATAW data;
    HANDLE h = FindFirstFileExW(path.c_str(), FindExInfoBasic, &data, FindExSearchNameMatch, nullptr,
                                FIND_FIRST_EX_LARGE_FETCH);
    path.resize(length);
    if (h == INVALID_HANDLE_VALUE) return 0;
    uint64_t files = 0;
    std::vector<std::wstring> folders;
    do {
        if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
            const wchar_t* n = data.cFileName;
            const bool dots = n[0] == L'.' && (n[1] == 0 || (n[1] == L'.' && n[2] == 0));
            if (!dots && !(data.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT)) folders.emplace_back(n);
        } else {
            ++files;
        }
    } while (FindNextFileW(h, &data));
    FindClose(h);
    for (const auto& folder : folders) {
        path += folder;
        path += L'\\';
        files += bareScan(path);
        path.resize(length);
    }
    return files;
}

struct OursResult {
    double seconds;
    size_t files;
};

OursResult ourScan(const std::string& root, qv::AppState& state) {
    qv::Win32DirectorySource source;
    qv::MessagePump yielder;  // the window's own pump: a clock read per step, a pump every 10 ms
    StoredStatus status;
    SilentPrompt prompt;
    qv::ErrorReporter reporter(prompt);
    state.StartFileListBoolean = true;
    state.StartFileList = qv::FileSnapshot(1);
    qv::clsFileFind finder(state, source, yielder, status, reporter);
    const double start = benchSeconds();
    finder.SearchFile(root, true);
    return {benchSeconds() - start, state.StartFileList.size() - 1};
}

double bareRun(const std::wstring& root, uint64_t& files) {
    std::wstring path = root + L"\\";
    const double start = benchSeconds();
    files = bareScan(path);
    return benchSeconds() - start;
}

SIZE_T privateBytes() {
    PROCESS_MEMORY_COUNTERS_EX counters{};
    counters.cb = sizeof counters;
    K32GetProcessMemoryInfo(GetCurrentProcess(), reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&counters),
                            sizeof counters);
    // Wine leaves PrivateUsage at 0; its PagefileUsage counts the committed
    // private memory the same way.
    return counters.PrivateUsage ? counters.PrivateUsage : counters.PagefileUsage;
}

// What the snapshot holds on the heap: the entries and their texts' buffers.
double payloadPerEntry(const qv::FileSnapshot& list) {
    auto heap = [](const std::string& s) -> size_t {
        if (s.capacity() <= 15) return 0;               // kept inside the string itself
        return (s.capacity() + 1 + 15) / 16 * 16 + 16;  // rounded as the heap does, with its header
    };
    size_t bytes = list.capacity() * sizeof(qv::FileSnapshotEntry);
    const qv::SharedText* previousDate = nullptr;
    for (const auto& e : list) {
        bytes += heap(e.Filepath);
        // Files of one second share their date text: counted once a run.
        if (!previousDate || !e.ModifiedDate.sameBlock(*previousDate)) bytes += e.ModifiedDate.heapBytes();
        previousDate = &e.ModifiedDate;
    }
    return static_cast<double>(bytes) / static_cast<double>(list.size() - 1);
}

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

}  // namespace

int main() {
    int argc = 0;
    wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &argc);
    std::wstring root;
    if (argc > 1) {
        root = argv[1];
    } else {
        wchar_t exe[MAX_PATH];
        const DWORD n = GetModuleFileNameW(nullptr, exe, MAX_PATH);
        root.assign(exe, n);
        root.resize(root.rfind(L'\\'));
        root += L"\\file_scan_tree";
        makeTree(root);
    }
    if (!root.empty() && root.back() == L'\\') root.pop_back();
    const std::string rootText = qv::toUtf8(root) + "\\";

    // Warm the caches of the file system and of Wine, and measure memory once.
    uint64_t bareFiles = 0;
    bareRun(root, bareFiles);
    const SIZE_T before = privateBytes();
    size_t entries = 0;
    double payload = 0;
    {
        qv::AppState state;
        entries = ourScan(rootText, state).files;
        const SIZE_T after = privateBytes();
        payload = payloadPerEntry(state.StartFileList);
        std::printf("tree: %s, %zu files recorded, bare count %llu\n", rootText.c_str(), entries,
                    static_cast<unsigned long long>(bareFiles));
        std::printf("memory per snapshot entry: %.0f bytes measured (private bytes), %.0f bytes held\n",
                    static_cast<double>(after - before) / static_cast<double>(entries), payload);
    }

    std::vector<double> bare, ours;
    for (int round = 0; round < kRounds; ++round) {
        qv::AppState state;
        double b = 0, o = 0;
        auto runBare = [&] { b = bareRun(root, bareFiles); };
        auto runOurs = [&] {
            const OursResult r = ourScan(rootText, state);
            o = r.seconds;
            entries = r.files;
        };
        if (round % 2 == 0) {
            runBare();
            runOurs();
        } else {
            runOurs();
            runBare();
        }
        bare.push_back(b);
        ours.push_back(o);
        std::printf("round %d: bare %.3f s (%.0f files/s), ours %.3f s (%.0f files/s), ratio %.3f\n",
                    round + 1, b, static_cast<double>(bareFiles) / b, o, static_cast<double>(entries) / o,
                    o / b);
    }
    const double mb = median(bare);
    const double mo = median(ours);
    std::printf("median: bare %.3f s (%.0f files/s), ours %.3f s (%.0f files/s)\n", mb,
                static_cast<double>(bareFiles) / mb, mo, static_cast<double>(entries) / mo);
    std::printf("ratio ours/bare: %.3f (median), %.3f (best of each); target <= 1.10\n", mo / mb,
                *std::min_element(ours.begin(), ours.end()) / *std::min_element(bare.begin(), bare.end()));
    return 0;
}
