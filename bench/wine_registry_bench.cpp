// The native reading of a Wine prefix, timed in one run:
//   1. the .reg parser's speed on the test prefix's system.reg (MB/s);
//   2. a snapshot of the whole HKEY_LOCAL_MACHINE by the native quorvel-cli
//      beside this bench, against quorvel-cli.exe under Wine pinned to CPU 0
//      with its wineserver, as each runs best (pinning is for Wine's round
//      trips to its server; the native program has none and runs free), and
//      the ratio;
//   3. a snapshot of a generated prefix with 1M values and 1M files
//      (QUORVEL_BENCH_FILES sets the count of each; the prefix is kept in
//      build/bench-prefix for the next run);
//   4. the whole quorvel-cli process's peak resident memory (as /usr/bin/time
//      -v tells it) and time for a snapshot of three hives that test the
//      reader's memory: one value of 100 MiB written as Wine writes it, on
//      many continued lines; one hex line of 100 MB; 1M keys. Each against
//      its bound, 3x the hive file's size plus the snapshot's own size, taken
//      both as the snapshot file's size (the stricter) and as the memory the
//      snapshot's entries hold (as loaded back from that file). The prefixes
//      are kept in build/bench-memory.
// Run from the repository root after scripts/test.sh has built the Windows
// side: build/native-release/wine_registry_bench; with the argument "memory"
// it runs step 4 alone, which needs no Wine.
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "capture/wine_registry.h"
#include "core/snapshot_file.h"
#include "core/whole_file.h"

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

double since(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

double timed(const std::string& command) {
    const auto start = Clock::now();
    if (std::system(command.c_str()) != 0) std::fprintf(stderr, "failed: %s\n", command.c_str());
    return since(start);
}

// A prefix of `count` values in count/1000 keys and `count` files in
// count/1000 folders, written once.
void generatePrefix(const fs::path& prefix, long count) {
    const fs::path done = prefix / ".generated";
    long made = 0;
    if (std::ifstream(done) >> made && made == count) return;
    fs::remove_all(prefix);
    fs::create_directories(prefix / "drive_c" / "bench");
    fs::create_directories(prefix / "dosdevices");
    fs::create_symlink("../drive_c", prefix / "dosdevices" / "c:");
    std::string text = "WINE REGISTRY Version 2\n;; All keys relative to REGISTRY\\\\Machine\n\n#arch=win64\n\n";
    const long perKey = 1000;
    char line[160];
    for (long k = 0; k < count / perKey; ++k) {
        std::snprintf(line, sizeof(line), "[Software\\\\Bench\\\\Key%05ld] 1700000000\n#time=1d9a0b0c0d0e0f0\n", k);
        text += line;
        for (long v = 0; v < perKey; ++v) {
            if (v % 3 == 0)
                std::snprintf(line, sizeof(line), "\"Value%04ld\"=\"C:\\\\Program Files\\\\App %ld\\\\file%ld.dll\"\n", v, k, v);
            else if (v % 3 == 1)
                std::snprintf(line, sizeof(line), "\"Value%04ld\"=dword:%08lx\n", v, k * perKey + v);
            else
                std::snprintf(line, sizeof(line), "\"Value%04ld\"=hex:%02lx,00,01,02,03,04,05,06\n", v, v & 0xFF);
            text += line;
        }
    }
    std::ofstream(prefix / "system.reg") << text;
    for (long d = 0; d < count / perKey; ++d) {
        const fs::path folder = prefix / "drive_c" / "bench" / ("dir" + std::to_string(d));
        fs::create_directory(folder);
        for (long f = 0; f < perKey; ++f) {
            const std::string name = folder / ("file" + std::to_string(f) + ".txt");
            const int fd = open(name.c_str(), O_CREAT | O_WRONLY | O_CLOEXEC, 0644);
            if (fd >= 0) close(fd);
        }
    }
    std::ofstream(done) << count;
}

// ---- 4. Memory ----

// A hive file written as wineserver writes it, a piece at a time.
void writeHive(const fs::path& prefix, const std::function<void(std::ofstream&)>& body) {
    fs::create_directories(prefix / "drive_c");
    std::ofstream out(prefix / "system.reg", std::ios::binary);
    out << "WINE REGISTRY Version 2\n;; All keys relative to \\\\Machine\n\n#arch=win64\n\n";
    body(out);
}

// One value of `bytes` bytes, 25 to a line, each line but the last ending
// in ",\" and the next beginning with two blanks.
void bigValue(std::ofstream& out, size_t bytes) {
    out << "[Software\\\\Big] 1700000000\n#time=1d9a0b0c0d0e0f0\n\"v\"=hex:";
    static const char kDigits[] = "0123456789abcdef";
    std::string line;
    for (size_t i = 0; i < bytes; ++i) {
        if (i > 0 && i % 25 == 0) {
            line += "\\\n  ";
            out << line;
            line.clear();
        }
        const auto b = static_cast<unsigned char>((i * 131) >> 3);
        line += kDigits[b >> 4];
        line += kDigits[b & 15];
        if (i + 1 < bytes) line += ',';
    }
    out << line << "\n";
}

// One hex line of about `chars` characters.
void hexLine(std::ofstream& out, size_t chars) {
    out << "[Software\\\\Big] 1700000000\n#time=1d9a0b0c0d0e0f0\n\"v\"=hex:";
    std::string block;
    for (int i = 0; i < 4096; ++i) {
        char pair[4];
        std::snprintf(pair, sizeof pair, "%02x,", i & 0xFF);
        block += pair;
    }
    for (size_t written = 0; written + block.size() < chars; written += block.size()) out << block;
    out << "00\n";
}

// `count` keys without values, a thousand below each of count/1000 keys.
void manyKeys(std::ofstream& out, long count) {
    char line[160];
    for (long k = 0; k < count; ++k) {
        std::snprintf(line, sizeof line,
                      "[Software\\\\Benchmark\\\\Group%04ld\\\\Key%07ld] 1700000000\n#time=1d9a0b0c0d0e0f0\n\n",
                      k / 1000, k);
        out << line;
    }
}

// The memory a snapshot's entries hold: each entry, the heap text of its
// strings, and each key name once for all the entries that share it.
uint64_t snapshotMemory(const qv::Collection& c) {
    const auto heap = [](const std::string& s) { return s.capacity() > 15 ? s.capacity() + 1 : 0; };
    uint64_t bytes = c.registry.size() * sizeof(qv::RegEntry);
    const qv::SharedText* previous = nullptr;
    for (const qv::RegEntry& e : c.registry) {
        if (!previous || !e.KeyName.sameBlock(*previous)) bytes += e.KeyName.heapBytes();
        previous = &e.KeyName;
        bytes += heap(e.ValueName) + heap(e.ValueData) + e.RawData.size();
    }
    return bytes;
}

struct Run {
    double seconds = 0;
    long peakKiB = 0;  // ru_maxrss, as /usr/bin/time -v reports it
    int status = -1;
};

// Runs the program and reads its peak resident memory as the kernel kept it.
Run measure(const std::vector<std::string>& argv) {
    std::vector<char*> args;
    for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    Run run;
    const auto start = Clock::now();
    const pid_t child = fork();
    if (child == 0) {
        execv(args[0], args.data());
        _exit(127);
    }
    int status = 0;
    rusage usage{};
    if (child > 0 && wait4(child, &status, 0, &usage) == child) {
        run.status = status;
        run.peakKiB = usage.ru_maxrss;
    }
    run.seconds = since(start);
    return run;
}

int memoryBench(const std::string& cli) {
    const fs::path root = fs::absolute("build/bench-memory");
    struct Case {
        const char* name;
        const char* key;
        std::function<void(std::ofstream&)> body;
    };
    const Case cases[] = {
        {"one value of 100 MiB", "HKLM\\Software\\Big", [](std::ofstream& o) { bigValue(o, size_t{100} << 20); }},
        {"one hex line of 100 MB", "HKLM\\Software\\Big", [](std::ofstream& o) { hexLine(o, 100'000'000); }},
        {"1M keys", "HKLM\\Software\\Benchmark", [](std::ofstream& o) { manyKeys(o, 1'000'000); }},
    };
    constexpr double kMB = 1e6;
    int failures = 0;
    for (size_t i = 0; i < std::size(cases); ++i) {
        const Case& c = cases[i];
        const fs::path prefix = root / std::to_string(i);
        // Made again when this bench's hives change: the marker names the case.
        std::string made;
        if (std::ifstream marker(prefix / ".generated"); marker) std::getline(marker, made);
        if (made != c.name) {
            fs::remove_all(prefix);
            writeHive(prefix, c.body);
            std::ofstream(prefix / ".generated") << c.name << "\n";
        }
        const fs::path snapshot = root / ("snapshot-" + std::to_string(i) + ".qvs");
        const Run run = measure({cli, "snapshot", "--quiet", "--prefix", prefix.string(), "--reg", c.key, "-o",
                                 snapshot.string()});
        if (!WIFEXITED(run.status) || WEXITSTATUS(run.status) != 0) {
            std::fprintf(stderr, "%s: quorvel-cli failed (status %d)\n", c.name, run.status);
            ++failures;
            continue;
        }
        const double hive = static_cast<double>(fs::file_size(prefix / "system.reg")) / kMB;
        const double file = static_cast<double>(fs::file_size(snapshot)) / kMB;
        std::string error;
        const std::optional<qv::Collection> loaded = qv::loadCollection(snapshot.string(), error);
        const double held = loaded ? static_cast<double>(snapshotMemory(*loaded)) / kMB : 0;
        const double peak = static_cast<double>(run.peakKiB) * 1024 / kMB;
        const double bound = 3 * hive + file, boundHeld = 3 * hive + held;
        std::printf("%s: hive file %.1f MB, snapshot file %.1f MB (%.1f MB in memory), peak RSS %.1f MB in %.2f s; "
                    "bound 3 x hive + snapshot file %.1f MB: ratio %.2f; with the snapshot in memory %.1f MB: "
                    "ratio %.2f\n",
                    c.name, hive, file, held, peak, run.seconds, bound, peak / bound, boundHeld, peak / boundHeld);
        if (peak >= bound) ++failures;
        fs::remove(snapshot);
    }
    return failures;
}

}  // namespace

int main(int argc, char** argv) {
    const fs::path here = fs::canonical("/proc/self/exe").parent_path();
    const std::string cli = (here / "quorvel-cli").string();
    if (argc > 1 && std::string(argv[1]) == "memory") return memoryBench(cli) == 0 ? 0 : 1;
    const fs::path prefix = fs::absolute(std::getenv("WINEPREFIX") ? std::getenv("WINEPREFIX") : "build/windows/wineprefix");

    // 1. Parser speed.
    std::string error;
    const std::optional<std::string> text = qv::readWholeFile((prefix / "system.reg").string(), &error);
    if (!text) {
        std::fprintf(stderr, "no test prefix at %s: %s\n", prefix.c_str(), error.c_str());
        return 1;
    }
    qv::WineHive hive;
    int rounds = 0;
    const auto start = Clock::now();
    do {
        if (!hive.parse(*text, "system.reg", error)) {
            std::fprintf(stderr, "%s\n", error.c_str());
            return 1;
        }
        ++rounds;
    } while (since(start) < 1.0);
    const double mb = static_cast<double>(text->size()) * rounds / 1e6;
    std::printf("parse: %.1f MB of system.reg (%zu keys, %zu values) in %.2f s: %.0f MB/s\n", mb, hive.keyCount(),
                hive.valueCount(), since(start), mb / since(start));

    // 2. Whole HKEY_LOCAL_MACHINE, native against Windows under Wine, pinned.
    const std::string env = "WINEPREFIX='" + prefix.string() + "' WINEDEBUG=-all WINEDLLOVERRIDES='mscoree,mshtml=' ";
    std::system((env + "wineserver -k 2>/dev/null; " + env + "wineserver -w").c_str());
    // Each side's median of several runs: one run says more of the machine's
    // mood than of the program.
    const auto median = [](const std::string& command, int count = 5) {
        std::vector<double> runs;
        for (int i = 0; i < count; ++i) runs.push_back(timed(command));
        std::sort(runs.begin(), runs.end());
        return runs[runs.size() / 2];
    };
    const double native = median(env + "'" + cli + "' snapshot --reg HKEY_LOCAL_MACHINE -o /tmp/quorvel-bench-native.snap");
    std::system((env + "taskset -c 0 wineserver -p").c_str());
    timed(env + "taskset -c 0 wine build/windows/quorvel-cli.exe --version >/dev/null 2>&1");  // Wine's own start, once
    const double windows = median(env + "taskset -c 0 wine build/windows/quorvel-cli.exe snapshot --reg HKEY_LOCAL_MACHINE "
                                        "-o 'Z:\\tmp\\quorvel-bench-windows.snap' >/dev/null 2>&1");
    std::system((env + "wineserver -k 2>/dev/null; " + env + "wineserver -w").c_str());
    std::printf("HKEY_LOCAL_MACHINE snapshot, median of 5: native %.3f s, quorvel-cli.exe under Wine %.3f s: %.1fx\n",
                native, windows, windows / native);

    // 3. 1M values and 1M files.
    const long count = std::getenv("QUORVEL_BENCH_FILES") ? std::atol(std::getenv("QUORVEL_BENCH_FILES")) : 1'000'000;
    const fs::path big = fs::absolute("build/bench-prefix");
    const auto generating = Clock::now();
    generatePrefix(big, count);
    std::printf("generated prefix: %.1f s\n", since(generating));
    const std::string snapshot = "'" + cli + "' snapshot --prefix '" + big.string() + "' -o /tmp/quorvel-bench-big.snap ";
    const std::string reg = "--reg 'HKEY_LOCAL_MACHINE\\Software\\Bench' ", dir = "--dir 'C:\\bench' ";
    const double both = median(snapshot + reg + dir, 3);
    // Each side alone, to tell which one a change in the total comes from.
    const double values = median(snapshot + reg, 3), files = median(snapshot + dir, 3);
    std::printf("%ld values + %ld files snapshot, median of 3: %.2f s (the values alone %.2f s, the files alone %.2f s)\n",
                count, count, both, values, files);

    // 4. Memory.
    return memoryBench(cli) == 0 ? 0 : 1;
}
