// A registry capture from saved subtrees against the walk, key by key, of
// the same keys.
//
// Times in turn, as whole operations, on HKEY_LOCAL_MACHINE\Software and on
// the whole HKEY_LOCAL_MACHINE:
//   bare:    the RegOpenKeyExW/RegEnumValueW/RegEnumKeyExW loop;
//   walk:    Win32RegistryProviderSource + getvalsStart, the snapshot walked;
//   saved:   SavingRegistryProviderSource + getvalsStart, the snapshot from
//            saves, with the check for keys a save leaves out;
//   save+parse (HKLM\Software only): RegSaveKeyExW (REG_LATEST_FORMAT) to a
//            file, read back and parsed (Wine's text under Wine, regf on
//            Windows).
// Then, as whole processes with their start and exit, the user's path:
//   quorvel-cli.exe snapshot --reg KEY -o FILE --quiet, beside this program
//   run as the bare loop alone (--bare-process KEY).
// The save needs SeBackupPrivilege, which the bench enables. Run it pinned:
//   taskset -c 0 wineserver -p; taskset -c 0 wine registry_save_win_bench.exe
// Options: --runs N (default 5), --head (print the start of the saved file of
// HKLM\Software and stop).
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "app/message_pump_win.h"
#include "bench/clock_win.h"
#include "bench/process_win.h"
#include "capture/regf_hive.h"
#include "capture/registry_provider_win.h"
#include "capture/registry_saver_win.h"
#include "capture/registry_walk.h"
#include "capture/wine_registry.h"
#include "core/app_state.h"
#include "core/utf.h"
#include "core/whole_file.h"

namespace {

using namespace qv;

class NoStatus : public StatusSink {
public:
    void setStatus(std::string_view) override {}
};

bool enableBackupPrivilege() {
    HANDLE token = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY, &token)) return false;
    TOKEN_PRIVILEGES tp{};
    tp.PrivilegeCount = 1;
    tp.Privileges[0].Attributes = SE_PRIVILEGE_ENABLED;
    bool ok = LookupPrivilegeValueW(nullptr, SE_BACKUP_NAME, &tp.Privileges[0].Luid) &&
              AdjustTokenPrivileges(token, FALSE, &tp, 0, nullptr, nullptr) &&
              GetLastError() == ERROR_SUCCESS;
    CloseHandle(token);
    return ok;
}

std::wstring tempFile() {
    wchar_t dir[MAX_PATH];
    GetTempPathW(MAX_PATH, dir);
    return std::wstring(dir) + L"quorvel-save-bench.hiv";
}

struct SaveRun {
    double seconds = 0;
    double saveSeconds = 0;
    size_t fileBytes = 0;
    size_t keys = 0;
    size_t values = 0;
    bool ok = false;
};

SaveRun runSave(const std::wstring& path) {
    SaveRun run;
    const std::wstring file = tempFile();
    const double start = benchSeconds();
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return run;
    DeleteFileW(file.c_str());
    const LSTATUS rc = RegSaveKeyExW(key, file.c_str(), nullptr, REG_LATEST_FORMAT);
    RegCloseKey(key);
    run.saveSeconds = benchSeconds() - start;
    if (rc != ERROR_SUCCESS) {
        std::printf("RegSaveKeyExW: error %ld\n", static_cast<long>(rc));
        return run;
    }
    const std::optional<std::string> bytes = readWholeFile(toUtf8(file));
    DeleteFileW(file.c_str());
    if (!bytes) return run;
    WineHive hive;
    std::string error;
    run.ok = looksLikeRegfHive(*bytes) ? parseRegfHive(*bytes, "save", hive, error)
                                       : hive.parse(*bytes, "save", error);
    if (!run.ok) std::printf("parse: %s\n", error.c_str());
    run.seconds = benchSeconds() - start;
    run.fileBytes = bytes->size();
    run.keys = hive.keyCount();
    run.values = hive.valueCount();
    return run;
}

double runCapture(RegistryProviderSource& source, const std::wstring& path, int32_t& entries) {
    AppState state;
    MessagePump yielder;
    NoStatus status;
    const double start = benchSeconds();
    {
        std::unique_ptr<RegistryProvider> oreg = source.connect();
        RegistryWalkContext ctx{state, *oreg, yielder, status};
        state.j = 0;
        getvalsStart(ctx, kHiveLocalMachine, toUtf8(path), "");
    }
    trimSnapshot(state.regArray, state.j);
    entries = state.j;
    return benchSeconds() - start;
}

// The plain way to read a tree: open each key below its parent, enumerate the
// values with their data, recurse into each subkey.
struct BareWalker {
    std::vector<wchar_t> name = std::vector<wchar_t>(32768);
    std::vector<BYTE> data = std::vector<BYTE>(64 * 1024);
    uint64_t calls = 0;

    void walk(HKEY parent, const wchar_t* path) {
        HKEY key = nullptr;
        calls += 2;  // the open and the close
        if (RegOpenKeyExW(parent, path, 0, KEY_READ, &key) != ERROR_SUCCESS) return;
        for (DWORD i = 0;;) {
            DWORD nameChars = static_cast<DWORD>(name.size());
            DWORD bytes = static_cast<DWORD>(data.size());
            DWORD type = 0;
            ++calls;
            const LSTATUS rc =
                RegEnumValueW(key, i, name.data(), &nameChars, nullptr, &type, data.data(), &bytes);
            if (rc == ERROR_MORE_DATA && bytes > data.size()) {
                data.resize(bytes);
                continue;
            }
            if (rc != ERROR_SUCCESS) break;
            ++i;
        }
        std::wstring subkey;
        for (DWORD i = 0;; ++i) {
            DWORD nameChars = static_cast<DWORD>(name.size());
            ++calls;
            if (RegEnumKeyExW(key, i, name.data(), &nameChars, nullptr, nullptr, nullptr, nullptr) !=
                ERROR_SUCCESS)
                break;
            subkey.assign(name.data(), nameChars);
            walk(key, subkey.c_str());
        }
        RegCloseKey(key);
    }
};

uint64_t bareCalls = 0;

double runBare(const std::wstring& path) {
    BareWalker walker;
    const double start = benchSeconds();
    walker.walk(HKEY_LOCAL_MACHINE, path.c_str());
    bareCalls = walker.calls;
    return benchSeconds() - start;
}

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

void measure(const std::wstring& path, int runs) {
    Win32RegistryProviderSource walkSource;
    SavingRegistryProviderSource saveSource;
    const bool subtree = !path.empty();
    int32_t walked = 0, saved = 0;
    // One untimed pass of each, so all start from the same warm state.
    runBare(path);
    runCapture(walkSource, path, walked);
    runCapture(saveSource, path, saved);
    if (subtree) runSave(path);
    std::printf("== HKEY_LOCAL_MACHINE%s%ls\n", subtree ? "\\" : "", path.c_str());
    std::vector<double> bare, walk, save, parse;
    uint64_t liveCalls = 0, checkCalls = 0;
    const uint64_t savesBefore = registrySavesMade();
    for (int r = 0; r < runs; ++r) {
        bare.push_back(runBare(path));
        walk.push_back(runCapture(walkSource, path, walked));
        const uint64_t liveBefore = registryCallsMade(), checkBefore = registryCheckCallsMade();
        save.push_back(runCapture(saveSource, path, saved));
        liveCalls = registryCallsMade() - liveBefore;
        checkCalls = registryCheckCallsMade() - checkBefore;
        SaveRun last;
        if (subtree) {
            last = runSave(path);
            parse.push_back(last.seconds);
        }
        std::printf("run %d: bare %.3f s, walk %.3f s (%d entries), saved %.3f s (%d entries)", r + 1,
                    bare.back(), walk.back(), walked, save.back(), saved);
        if (subtree)
            std::printf(", save+parse %.3f s (%zu bytes, %zu keys, %zu values%s)", last.seconds,
                        last.fileBytes, last.keys, last.values, last.ok ? "" : ", FAILED");
        std::printf("\n");
    }
    std::printf("saves made: %.1f a capture; registry calls: bare loop %llu; saved capture %llu to check, %llu to read\n",
                static_cast<double>(registrySavesMade() - savesBefore) / static_cast<double>(runs),
                static_cast<unsigned long long>(bareCalls), static_cast<unsigned long long>(checkCalls),
                static_cast<unsigned long long>(liveCalls));
    const double b = median(bare), w = median(walk), v = median(save);
    std::printf(
        "median: bare %.3f s, walk %.3f s, saved %.3f s; saved/bare %.2f (target <= 0.5), saved/walk %.2f\n",
        b, w, v, v / b, v / w);
    if (subtree)
        std::printf("        save+parse %.3f s; walk/save+parse %.1f (worth it at >= 3)\n", median(parse),
                    w / median(parse));
}

// The snapshot program against the bare loop, both as processes.
void measureProcesses(const std::wstring& path, int runs) {
    const std::wstring folder = programFolder();
    const std::wstring key = L"HKEY_LOCAL_MACHINE" + (path.empty() ? L"" : L"\\" + path);
    const std::wstring output = folder + L"\\registry_save_bench.qvs";
    const std::wstring cli = L"\"" + folder + L"\\quorvel-cli.exe\" snapshot --reg \"" + key + L"\" -o \"" +
                             output + L"\" --quiet";
    const std::wstring bareLoop = L"\"" + folder + L"\\registry_save_win_bench.exe\" --bare-process \"" + path + L"\"";
    DWORD rc = 0;
    runProcess(bareLoop, rc);
    runProcess(cli, rc);
    std::vector<double> bare, snapshot;
    for (int r = 0; r < runs; ++r) {
        bare.push_back(runProcess(bareLoop, rc));
        snapshot.push_back(runProcess(cli, rc));
        std::printf("run %d: bare loop process %.3f s, quorvel-cli snapshot %.3f s (exit %lu)\n", r + 1, bare.back(),
                    snapshot.back(), static_cast<unsigned long>(rc));
    }
    DeleteFileW(output.c_str());
    const double b = median(bare), q = median(snapshot);
    std::printf("whole processes, %ls: bare loop %.3f s, quorvel-cli snapshot %.3f s; snapshot/bare %.2f (target <= 0.5)\n",
                key.c_str(), b, q, q / b);
}

}  // namespace

int main(int argc, char** argv) {
    int runs = 5;
    bool head = false;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--bare-process") == 0 && i + 1 < argc) {
            runBare(toWide(argv[i + 1]));
            return 0;
        }
        if (std::strcmp(argv[i], "--runs") == 0 && i + 1 < argc) runs = std::max(1, std::atoi(argv[++i]));
        if (std::strcmp(argv[i], "--head") == 0) head = true;
    }
    std::printf("SeBackupPrivilege %s\n", enableBackupPrivilege() ? "held" : "NOT held");
    if (head) {
        HKEY key = nullptr;
        RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"Software", 0, KEY_READ, &key);
        const std::wstring file = tempFile();
        DeleteFileW(file.c_str());
        std::printf("RegSaveKeyExW: %ld\n",
                    static_cast<long>(RegSaveKeyExW(key, file.c_str(), nullptr, REG_LATEST_FORMAT)));
        const std::optional<std::string> bytes = readWholeFile(toUtf8(file));
        if (bytes) std::fwrite(bytes->data(), 1, std::min<size_t>(bytes->size(), 1500), stdout);
        DeleteFileW(file.c_str());
        return 0;
    }
    measure(L"Software", runs);
    measure(L"", runs);
    measureProcesses(L"Software", runs);
    measureProcesses(L"", runs);
    return 0;
}
