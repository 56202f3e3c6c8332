// A registry walk and a file scan with 10,000 registry and 10,000 file
// exceptions, none of them matching, against the same walks with none, in one
// run. Run pinned to one CPU with its wineserver:
//   taskset -c 0 wineserver -p; taskset -c 0 wine exception_lookup_win_bench.exe
// The key and the folder tree are made once and then reused.
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "app/message_pump_win.h"
#include "bench/clock_win.h"
#include "capture/directory_source_win.h"
#include "capture/file_finder.h"
#include "capture/registry_provider_win.h"
#include "capture/registry_walk.h"
#include "core/app_state.h"
#include "core/utf.h"
#include "support/error_report.h"

namespace {

constexpr int kKeys = 2000, kValuesPerKey = 10;      // 20,000 values
constexpr int kFolders = 400, kFilesPerFolder = 50;  // 20,000 files
constexpr int kExceptions = 10000;
constexpr int kRounds = 5;
const wchar_t* const kRoot = L"Software\\QuorvelExceptionBench";
constexpr int32_t kHiveCurrentUser = -2147483647;

class NoStatus : public qv::StatusSink {
public:
    void setStatus(std::string_view) override {}
};

class NoPrompt : public qv::UserPrompt {
public:
    qv::Answer ask(std::string_view, std::string_view, qv::Buttons, qv::Icon) override {
        return qv::Answer::Ok;
    }
};

void makeRegistry() {
    HKEY root = nullptr;
    RegCreateKeyExW(HKEY_CURRENT_USER, kRoot, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &root, nullptr);
    DWORD done = 0, size = sizeof(done);
    if (RegQueryValueExW(root, L"made", nullptr, nullptr, reinterpret_cast<BYTE*>(&done), &size) !=
        ERROR_SUCCESS) {
        for (int k = 0; k < kKeys; ++k) {
            HKEY key = nullptr;
            RegCreateKeyExW(root, (L"key" + std::to_wstring(k)).c_str(), 0, nullptr, 0, KEY_ALL_ACCESS,
                            nullptr, &key, nullptr);
            for (int v = 0; v < kValuesPerKey; ++v) {
                const DWORD data = static_cast<DWORD>(v);
                RegSetValueExW(key, (L"v" + std::to_wstring(v)).c_str(), 0, REG_DWORD,
                               reinterpret_cast<const BYTE*>(&data), sizeof(data));
            }
            RegCloseKey(key);
        }
        done = 1;
        RegSetValueExW(root, L"made", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&done), sizeof(done));
    }
    RegCloseKey(root);
}

std::wstring makeTree() {
    wchar_t exe[MAX_PATH];
    std::wstring root(exe, GetModuleFileNameW(nullptr, exe, MAX_PATH));
    root.resize(root.rfind(L'\\'));
    root += L"\\exception_bench_tree";
    if (GetFileAttributesW((root + L"\\made").c_str()) != INVALID_FILE_ATTRIBUTES) return root;
    CreateDirectoryW(root.c_str(), nullptr);
    for (int d = 0; d < kFolders; ++d) {
        const std::wstring folder = root + L"\\folder" + std::to_wstring(d);
        CreateDirectoryW(folder.c_str(), nullptr);
        for (int f = 0; f < kFilesPerFolder; ++f)
            CloseHandle(CreateFileW((folder + L"\\file" + std::to_wstring(f) + L".dat").c_str(),
                                    GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
    }
    CloseHandle(
        CreateFileW((root + L"\\made").c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
    return root;
}

// Exceptions that look like the tree's own paths but match none of them.
void fillExceptions(qv::AppState& state, const std::string& treeRoot) {
    const std::string keyRoot = qv::toUtf8(kRoot);
    for (int i = 0; i < kExceptions; ++i) {
        const std::string n = std::to_string(i);
        state.RegExceptions.push_back({"HKEY_CURRENT_USER", keyRoot + "\\other" + n});
        state.FileExceptions.push_back(
            {treeRoot + (i % 2 ? "\\cache" + n + "\\" : "\\folder1\\file" + n + ".tmp"),
             i % 2 ? "Folder" : "File"});
    }
}

double walk(bool withExceptions, const std::string& treeRoot) {
    qv::AppState state;
    if (withExceptions) fillExceptions(state, treeRoot);
    qv::MessagePump pump;
    NoStatus status;
    NoPrompt prompt;
    qv::ErrorReporter reporter(prompt);
    const double start = benchSeconds();
    {
        qv::Win32RegistryProviderSource source;
        std::unique_ptr<qv::RegistryProvider> oreg = source.connect();
        qv::RegistryWalkContext ctx{state, *oreg, pump, status};
        qv::getvalsStart(ctx, kHiveCurrentUser, qv::toUtf8(kRoot), "");
    }
    qv::Win32DirectorySource files;
    state.StartFileListBoolean = true;
    qv::clsFileFind finder(state, files, pump, status, reporter);
    finder.SearchFile(treeRoot + "\\", true);
    const double seconds = benchSeconds() - start;
    if (state.j < kKeys * kValuesPerKey || state.StartFileList.size() <= kFolders * kFilesPerFolder)
        std::printf("unexpected: %d values, %zu files\n", state.j, state.StartFileList.size() - 1);
    return seconds;
}

}  // namespace

int main() {
    makeRegistry();
    const std::string treeRoot = qv::toUtf8(makeTree());
    walk(true, treeRoot);  // warm the caches
    std::vector<double> none, many;
    for (int round = 0; round < kRounds; ++round) {
        // Alternate the order, so that neither side always runs on warmer caches.
        const bool exceptionsFirst = round % 2 == 0;
        const double a = walk(exceptionsFirst, treeRoot);
        const double b = walk(!exceptionsFirst, treeRoot);
        many.push_back(exceptionsFirst ? a : b);
        none.push_back(exceptionsFirst ? b : a);
        std::printf("round %d: no exceptions %.3f s, %d+%d exceptions %.3f s, ratio %.3f\n", round + 1,
                    none.back(), kExceptions, kExceptions, many.back(), many.back() / none.back());
    }
    std::sort(none.begin(), none.end());
    std::sort(many.begin(), many.end());
    std::printf("median: no exceptions %.3f s, with exceptions %.3f s, ratio %.3f; target <= 1.10\n",
                none[kRounds / 2], many[kRounds / 2], many[kRounds / 2] / none[kRounds / 2]);
    return 0;
}
