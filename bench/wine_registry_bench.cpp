// The native reading of a Wine prefix, timed in one run:
//   1. the .reg parser's speed on the test prefix's system.reg (MB/s);
//   2. a snapshot of the whole HKEY_LOCAL_MACHINE by the native quorvel-cli
//      beside this bench, against quorvel-cli.exe under Wine pinned to CPU 0
//      with its wineserver, as each runs best (pinning is for Wine's round
//      trips to its server; the native program has none and runs free), and
//      the ratio;
//   3. a snapshot of a generated prefix with 1M values and 1M files
//      (QUORVEL_BENCH_FILES sets the count of each; the prefix is kept in
//      build/bench-prefix for the next run).
// Run from the repository root after scripts/test.sh has built the Windows
// side: build/native-release/wine_registry_bench
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "capture/wine_registry.h"
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

}  // namespace

int main() {
    const fs::path here = fs::canonical("/proc/self/exe").parent_path();
    const std::string cli = (here / "quorvel-cli").string();
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
    return 0;
}
