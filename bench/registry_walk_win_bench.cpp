// The registry snapshot against a bare enumeration of the same tree.
//
// Builds (once, then reuses) a synthetic tree of about 20,000 keys and 100,000
// values under HKEY_CURRENT_USER\Software\QuorvelBench, then times in turn
//   bare: RegOpenKeyExW + RegEnumValueW (with data) + RegEnumKeyExW, and
//   ours: Win32RegistryProviderSource + getvalsStart + trimSnapshot,
// with the window's kind of yielder and status sink, on that tree and on the
// whole HKEY_LOCAL_MACHINE of the prefix (registry links, expandable strings,
// multi-strings, deep keys and the performance-data keys of a real registry).
// Each side's registry calls per entry are printed beside its time: under
// Wine every call is a round trip to the server. Run it pinned to one CPU:
//   taskset -c 0 wineserver -p; taskset -c 0 wine registry_walk_win_bench.exe
// Options: --runs N (default 5), --delete (remove the tree and stop).
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "app/message_pump_win.h"
#include "bench/clock_win.h"
#include "capture/registry_provider_win.h"
#include "capture/registry_walk.h"
#include "core/app_state.h"
#include "core/utf.h"

namespace {

using namespace qv;

const wchar_t* const kRoot = L"Software\\QuorvelBench";
const wchar_t* const kMarker = L"BuildComplete";
// Raised whenever the tree's shape changes, so an older tree is rebuilt.
constexpr DWORD kTreeVersion = 2;
constexpr int kFanOut1 = 25;
constexpr int kFanOut2 = 25;
constexpr int kLeaves = 32;

HKEY createKey(HKEY parent, const std::wstring& name) {
    HKEY key = nullptr;
    if (RegCreateKeyExW(parent, name.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr) !=
        ERROR_SUCCESS) {
        std::fprintf(stderr, "cannot create %ls\n", name.c_str());
        std::exit(2);
    }
    return key;
}

void setValue(HKEY key, const std::wstring& name, DWORD type, const void* data, size_t bytes) {
    RegSetValueExW(key, name.c_str(), 0, type, static_cast<const BYTE*>(data), static_cast<DWORD>(bytes));
}

// A mix of the types a real hive holds, most of them strings.
void addValues(HKEY key, int count, int seed) {
    for (int v = 0; v < count; ++v) {
        const std::wstring name = L"Value" + std::to_wstring(v) + (v % 3 ? L"" : L" with a longer name");
        const int kind = (seed + v) % 8;
        if (kind <= 2) {
            const std::wstring text = L"C:\\Program Files\\Vendor " + std::to_wstring(seed) + L"\\file" +
                                      std::to_wstring(v) + (kind == 2 ? std::wstring(60, L'x') : L"");
            setValue(key, name, REG_SZ, text.c_str(), (text.size() + 1) * sizeof(wchar_t));
        } else if (kind == 3) {
            const std::wstring text = L"%SystemRoot%\\system32\\lib" + std::to_wstring(v) + L".dll";
            setValue(key, name, REG_EXPAND_SZ, text.c_str(), (text.size() + 1) * sizeof(wchar_t));
        } else if (kind == 4) {
            BYTE bytes[24];
            for (int b = 0; b < 24; ++b) bytes[b] = static_cast<BYTE>(seed * 31 + v * 7 + b);
            setValue(key, name, REG_BINARY, bytes, (seed + v) % 24 + 1);
        } else if (kind == 5) {
            const DWORD number = static_cast<DWORD>(seed) * 2654435761u + static_cast<DWORD>(v);
            setValue(key, name, REG_DWORD, &number, sizeof number);
        } else if (kind == 6) {
            const wchar_t multi[] = L"first string\0second\0third one\0";
            setValue(key, name, REG_MULTI_SZ, multi, sizeof multi);
        } else {
            const ULONGLONG number = 0x1234567890ull * static_cast<ULONGLONG>(seed + 1);
            setValue(key, name, REG_QWORD, &number, sizeof number);
        }
    }
}

bool treePresent() {
    DWORD value = 0;
    DWORD bytes = sizeof value;
    return RegGetValueW(HKEY_CURRENT_USER, kRoot, kMarker, RRF_RT_REG_DWORD, nullptr, &value, &bytes) ==
               ERROR_SUCCESS &&
           value == kTreeVersion;
}

void buildTree() {
    RegDeleteTreeW(HKEY_CURRENT_USER, kRoot);
    std::printf("building the bench tree under HKCU\\%ls ...\n", kRoot);
    const double start = benchSeconds();
    HKEY root = createKey(HKEY_CURRENT_USER, kRoot);
    int seed = 0;
    for (int a = 0; a < kFanOut1; ++a) {
        HKEY level1 = createKey(root, L"Vendor" + std::to_wstring(a));
        addValues(level1, 2, ++seed);
        for (int b = 0; b < kFanOut2; ++b) {
            HKEY level2 = createKey(level1, L"Product " + std::to_wstring(b));
            addValues(level2, b % 4, ++seed);
            for (int c = 0; c < kLeaves; ++c) {
                HKEY leaf = createKey(level2, L"Component{" + std::to_wstring(a * 1000 + b * 50 + c) + L"}");
                // 0 to 10 values, 5 on average: some keys without values.
                addValues(leaf, (c * 7 + b) % 11, ++seed);
                RegCloseKey(leaf);
            }
            RegCloseKey(level2);
        }
        RegCloseKey(level1);
    }
    setValue(root, kMarker, REG_DWORD, &kTreeVersion, sizeof kTreeVersion);
    RegCloseKey(root);
    std::printf("built in %.1f s\n", benchSeconds() - start);
}

struct BareCount {
    size_t keys = 0;
    size_t values = 0;
    size_t entries = 0;  // counted like the snapshot: values, or 1 for a key without
    size_t calls = 0;    // registry calls made
};

// The plain way to read a tree: open each key below its parent, enumerate the
// values with their data, recurse into each subkey.
struct BareWalker {
    std::vector<wchar_t> name = std::vector<wchar_t>(32768);
    std::vector<BYTE> data = std::vector<BYTE>(64 * 1024);
    BareCount count;

    void walk(HKEY parent, const wchar_t* path) {
        HKEY key = nullptr;
        ++count.calls;
        if (RegOpenKeyExW(parent, path, 0, KEY_READ, &key) != ERROR_SUCCESS) {
            ++count.entries;
            return;
        }
        ++count.keys;
        size_t values = 0;
        for (DWORD i = 0;;) {
            DWORD nameChars = static_cast<DWORD>(name.size());
            DWORD bytes = static_cast<DWORD>(data.size());
            DWORD type = 0;
            ++count.calls;
            const LSTATUS rc =
                RegEnumValueW(key, i, name.data(), &nameChars, nullptr, &type, data.data(), &bytes);
            if (rc == ERROR_MORE_DATA && bytes > data.size()) {
                data.resize(bytes);
                continue;
            }
            if (rc != ERROR_SUCCESS) break;
            ++values;
            ++i;
        }
        count.values += values;
        count.entries += values ? values : 1;
        std::wstring subkey;
        for (DWORD i = 0;; ++i) {
            DWORD nameChars = static_cast<DWORD>(name.size());
            ++count.calls;
            if (RegEnumKeyExW(key, i, name.data(), &nameChars, nullptr, nullptr, nullptr, nullptr) !=
                ERROR_SUCCESS)
                break;
            subkey.assign(name.data(), nameChars);
            walk(key, subkey.c_str());
        }
        RegCloseKey(key);
    }
};

class StringStatus : public StatusSink {
public:
    void setStatus(std::string_view text) override { text_.assign(text); }
    std::string text_;
};

size_t heapBytes(const std::string& s) {
    // libstdc++ keeps up to 15 characters inside the object.
    return s.capacity() > 15 ? s.capacity() + 1 : 0;
}

struct OurRun {
    double seconds = 0;
    int32_t entries = 0;
    size_t bytes = 0;
    size_t headroom = 0;  // room the vector reserved and the walk never wrote: address space, not memory in use
    size_t fieldBytes[4] = {};  // heap of the key names, value names, data texts, raw data
    uint64_t calls = 0;
};

// A place to walk: a hive and a key below it ("" for the whole hive).
struct Place {
    const char* name;
    HKEY bareRoot;
    int32_t hive;
    std::wstring path;
};

OurRun runOurs(const Place& place) {
    AppState state;
    MessagePump yielder;  // the window's own pump: a clock read per step, a pump every 10 ms
    StringStatus status;
    const uint64_t callsBefore = registryCallsMade();
    const double start = benchSeconds();
    Win32RegistryProviderSource source;
    {
        std::unique_ptr<RegistryProvider> oreg = source.connect();
        RegistryWalkContext ctx{state, *oreg, yielder, status};
        state.j = 0;
        getvalsStart(ctx, place.hive, toUtf8(place.path), "");
    }
    trimSnapshot(state.regArray, state.j);
    OurRun run;
    run.seconds = benchSeconds() - start;
    run.calls = registryCallsMade() - callsBefore;
    run.entries = state.j;
    run.bytes = sizeof(RegEntry) * state.regArray.size();
    run.headroom = sizeof(RegEntry) * (state.regArray.capacity() - state.regArray.size());
    const SharedText* previousKey = nullptr;
    for (const RegEntry& e : state.regArray) {
        // A key's entries share one block of its name: counted once.
        const bool sharedKey = previousKey && e.KeyName.sameBlock(*previousKey);
        previousKey = &e.KeyName;
        const size_t fields[4] = {sharedKey ? 0 : e.KeyName.heapBytes(), heapBytes(e.ValueName), heapBytes(e.ValueData),
                                  heapBytes(e.RawData.str()) + (e.RawData.empty() ? 0 : sizeof(std::string))};
        for (size_t f = 0; f < 4; ++f) {
            run.fieldBytes[f] += fields[f];
            run.bytes += fields[f];
        }
    }
    return run;
}

double runBare(const Place& place, BareCount& count) {
    BareWalker walker;
    const double start = benchSeconds();
    walker.walk(place.bareRoot, place.path.c_str());
    const double elapsed = benchSeconds() - start;
    count = walker.count;
    return elapsed;
}

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

void measure(const Place& place, int runs) {
    // One untimed pass of each, so both start from the same warm state.
    BareCount count;
    runBare(place, count);
    runOurs(place);
    std::printf("== %s: %zu keys, %zu values, %zu entries\n", place.name, count.keys, count.values,
                count.entries);

    std::vector<double> bare, ours, ratios;
    OurRun last;
    for (int r = 0; r < runs; ++r) {
        const double b = runBare(place, count);
        last = runOurs(place);
        bare.push_back(b);
        ours.push_back(last.seconds);
        ratios.push_back(last.seconds / b);
        std::printf("run %d: bare %.3f s (%.0f entries/s), ours %.3f s (%.0f entries/s), ratio %.3f\n", r + 1,
                    b, static_cast<double>(count.entries) / b, last.seconds,
                    static_cast<double>(last.entries) / last.seconds, last.seconds / b);
    }
    if (static_cast<size_t>(last.entries) != count.entries)
        std::printf("WARNING: snapshot has %d entries, the bare walk counted %zu\n", last.entries,
                    count.entries);
    const double mb = median(bare), mo = median(ours);
    std::printf("median: bare %.0f entries/s, ours %.0f entries/s, ratio ours/bare %.3f (target <= 1.10)\n",
                static_cast<double>(count.entries) / mb, static_cast<double>(last.entries) / mo,
                median(ratios));
    const double bestBare = *std::min_element(bare.begin(), bare.end());
    const double bestOurs = *std::min_element(ours.begin(), ours.end());
    std::printf("best:   bare %.3f s, ours %.3f s, ratio ours/bare %.3f\n", bestBare, bestOurs,
                bestOurs / bestBare);
    std::printf("registry calls per entry: bare %.2f, ours %.2f\n",
                static_cast<double>(count.calls) / static_cast<double>(count.entries),
                static_cast<double>(last.calls) / last.entries);
    std::printf("snapshot memory: %.1f bytes per entry (%.1f MB for %d entries; sizeof(RegEntry) = %zu)\n",
                static_cast<double>(last.bytes) / last.entries, static_cast<double>(last.bytes) / 1048576.0,
                last.entries, sizeof(RegEntry));
    std::printf("  and %.1f MB of headroom the walk reserved but never wrote\n",
                static_cast<double>(last.headroom) / 1048576.0);
    const double n = last.entries;
    std::printf("  of which on the heap per entry: key names %.1f, value names %.1f, data %.1f, raw bytes %.1f\n",
                static_cast<double>(last.fieldBytes[0]) / n, static_cast<double>(last.fieldBytes[1]) / n,
                static_cast<double>(last.fieldBytes[2]) / n, static_cast<double>(last.fieldBytes[3]) / n);
}

}  // namespace

int main(int argc, char** argv) {
    int runs = 5;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--delete") == 0) {
            const LSTATUS rc = RegDeleteTreeW(HKEY_CURRENT_USER, kRoot);
            std::printf("deleting HKCU\\%ls: %s\n", kRoot,
                        rc == ERROR_SUCCESS ? "done" : "nothing to delete");
            return 0;
        }
        if (std::strcmp(argv[i], "--runs") == 0 && i + 1 < argc) runs = std::max(1, std::atoi(argv[++i]));
    }
    if (!treePresent()) buildTree();

    const Place places[] = {{"synthetic tree", HKEY_CURRENT_USER, kHiveCurrentUser, kRoot},
                            {"whole HKEY_LOCAL_MACHINE", HKEY_LOCAL_MACHINE, kHiveLocalMachine, L""}};
    for (const Place& place : places) measure(place, runs);
    return 0;
}
