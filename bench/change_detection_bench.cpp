// Change detection on large synthetic snapshots: the indexed passes at 100k,
// 1M and 2M entries per side, and against the literal nested scans at sizes
// where those still finish. About 1% of the entries change (new, deleted,
// edited). Prints times, per-entry scaling and peak memory in one run.
#include <sys/resource.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "app/change_detection.h"
#include "tests/support/fakes/detection_oracle.h"

namespace {

using namespace qv;

// Stores rows as a virtual list would; everything else is a plain field.
class StoringView : public MainView {
public:
    std::array<std::vector<ResultRow>, 6> lists;
    std::string status;
    int64_t progressMax = 0;
    int64_t progressValue = 0;

    bool registryTicked() const override { return true; }
    bool filesTicked() const override { return true; }
    std::string collectCaption() const override { return {}; }
    void setCollectCaption(std::string_view) override {}
    void setCollectEnabled(bool) override {}
    void setDetectEnabled(bool) override {}
    std::string regRootText() const override { return {}; }
    void setRegRootText(std::string_view) override {}
    std::string regKeyText() const override { return {}; }
    void setRegKeyText(std::string_view) override {}
    std::string fileStartText() const override { return {}; }
    void setFileStartText(std::string_view) override {}
    void clearList(ListId id) override { lists[static_cast<size_t>(id)].clear(); }
    void appendRow(ListId id, ResultRow row) override {
        lists[static_cast<size_t>(id)].push_back(std::move(row));
    }
    void setProgressMax(int64_t m) override { progressMax = m; }
    void setProgressValue(int64_t v) override { progressValue = v; }
    void lockCommands(bool) override {}
    void setStatus(std::string_view text) override { status.assign(text); }
    size_t rowCount() const {
        size_t n = 0;
        for (const auto& l : lists) n += l.size();
        return n;
    }
};

class NoYield : public Yielder {
public:
    void yield() override {}
};

class SilentPrompt : public UserPrompt {
public:
    Answer ask(std::string_view, std::string_view, Buttons, Icon) override { return Answer::Ok; }
};

// Sizes come from a hash of the path: a lookup, no disk.
class HashSizeSource : public DirectorySource {
public:
    std::string fullPathName(const std::string&) override { return {}; }
    std::optional<uint32_t> attributes(const std::string&) override { return std::nullopt; }
    std::unique_ptr<DirEnumeration> list(const std::string&) override { return nullptr; }
    qv::SharedText modifiedText(uint64_t) override { return {}; }
    std::optional<uint64_t> fileSize(const std::string& path) override {
        return std::hash<std::string>{}(path) % 10'000'000;
    }
};

// Roughly one change per hundred entries, a third each new, deleted, edited.
enum class Change { None, Insert, Delete, Edit };
Change drawChange(std::mt19937_64& rng) {
    switch (rng() % 300) {
        case 0:
            return Change::Insert;
        case 1:
            return Change::Delete;
        case 2:
            return Change::Edit;
        default:
            return Change::None;
    }
}

RegEntry regEntry(size_t n, const char* dataTag) {
    char key[96];
    std::snprintf(key, sizeof key, "HKEY_LOCAL_MACHINE\\SOFTWARE\\Vendor%03zu\\Product%04zu\\Settings%06zu\\",
                  n % 97, n % 1009, n / 4);
    char data[40];
    std::snprintf(data, sizeof data, "%s %016zx", dataTag, n * 2654435761u);
    // Every fourth entry stands for the key's default value.
    return {key, n % 4 == 0 ? std::string() : "Value" + std::to_string(n % 4), data};
}

FileSnapshotEntry fileEntry(size_t n, int minute) {
    char path[128];
    std::snprintf(path, sizeof path, "C:\\Program Files\\Vendor%03zu\\Product%04zu\\bin%04zu\\file%08zu.dll",
                  n % 97, n % 1009, n / 50, n);
    char date[32];
    std::snprintf(date, sizeof date, "05/12/2026 14:%02d:%02zu", minute, n % 60);
    return {path, date};
}

void fillRegistry(AppState& s, size_t entries, std::mt19937_64& rng) {
    s.regArray.clear();
    s.regArray2.clear();
    s.regArray.reserve(entries);
    s.regArray2.reserve(entries + entries / 100);
    for (size_t n = 0; n < entries; ++n) {
        s.regArray.push_back(regEntry(n, "old"));
        switch (drawChange(rng)) {
            case Change::None:
                s.regArray2.push_back(s.regArray.back());
                break;
            case Change::Delete:
                break;
            case Change::Edit:
                s.regArray2.push_back(s.regArray.back());
                s.regArray2.back().ValueData = "edited";
                break;
            case Change::Insert:
                s.regArray2.push_back(s.regArray.back());
                s.regArray2.push_back(regEntry(n + 100'000'000, "new"));
                break;
        }
    }
}

void fillFiles(AppState& s, size_t files, std::mt19937_64& rng) {
    s.StartFileList.assign(1, {});
    s.FinishFileList.assign(1, {});
    s.StartFileList.reserve(files + 1);
    s.FinishFileList.reserve(files + files / 100 + 1);
    for (size_t n = 0; n < files; ++n) {
        s.StartFileList.push_back(fileEntry(n, 10));
        switch (drawChange(rng)) {
            case Change::None:
                s.FinishFileList.push_back(s.StartFileList.back());
                break;
            case Change::Delete:
                break;
            case Change::Edit:
                s.FinishFileList.push_back(fileEntry(n, 42));
                break;
            case Change::Insert:
                s.FinishFileList.push_back(s.StartFileList.back());
                s.FinishFileList.push_back(fileEntry(n + 100'000'000, 42));
                break;
        }
    }
    s.FinishFileScanRan = true;
}

void makeWorkload(AppState& s, size_t registryEntries, size_t files) {
    std::mt19937_64 rng(registryEntries * 31 + files);
    s.switches.chkNewRegSetting = s.switches.chkDeleteRegSetting = s.switches.chkEditedRegSetting = 1;
    s.switches.chkDeleteFilesSetting = 1;
    s.FilterList = {"", "filtered data", "old 0000000000000000"};
    fillRegistry(s, registryEntries, rng);
    fillFiles(s, files, rng);
}

long peakRssMiB() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss / 1024;  // kilobytes on Linux
}

double seconds(std::chrono::steady_clock::duration d) {
    return std::chrono::duration<double>(d).count();
}

// Best of `runs` timings of the indexed detection over `s`.
double timeDetection(AppState& s, int runs, size_t* rows = nullptr) {
    double best = 1e30;
    for (int r = 0; r < runs; ++r) {
        StoringView view;
        NoYield yielder;
        HashSizeSource files;
        SilentPrompt prompt;
        DetectionContext ctx{s, view, yielder, files, prompt};
        auto start = std::chrono::steady_clock::now();
        Detect_Click(ctx);
        best = std::min(best, seconds(std::chrono::steady_clock::now() - start));
        if (rows) *rows = view.rowCount();
    }
    return best;
}

void compareWithNestedScans(size_t entries) {
    AppState s;
    makeWorkload(s, entries, entries);
    StoringView view;
    NoYield yielder;
    HashSizeSource files;
    SilentPrompt prompt;
    DetectionContext ctx{s, view, yielder, files, prompt};
    auto start = std::chrono::steady_clock::now();
    Detect_Click(ctx);
    const double indexed = seconds(std::chrono::steady_clock::now() - start);

    start = std::chrono::steady_clock::now();
    qv::testing::DetectionRows literal = qv::testing::literalDetection(s, true, files, &yielder);
    const double nested = seconds(std::chrono::steady_clock::now() - start);

    bool same = true;
    for (size_t l = 0; l < literal.size(); ++l) same = same && literal[l] == view.lists[l];
    std::printf("%9zu reg + %9zu files  nested scans %9.4f s  indexed %9.6f s  ratio %8.0fx  rows %zu  %s\n",
                entries, entries, nested, indexed, nested / indexed, view.rowCount(),
                same ? "same rows" : "ROWS DIFFER");
}

}  // namespace

int main(int argc, char** argv) {
    // With a size argument, time only that size (for profiling).
    if (argc > 1) {
        AppState s;
        const size_t n = std::stoul(argv[1]);
        makeWorkload(s, n, n);
        std::printf("%zu + %zu: %.3f s\n", n, n, timeDetection(s, 3));
        return 0;
    }
    std::printf("Literal nested scans (yield per comparison, no-op yielder) vs indexed detection:\n");
    compareWithNestedScans(2'000);
    compareWithNestedScans(20'000);

    std::printf("\nIndexed detection, registry entries and files per side (best of 3):\n");
    const size_t sizes[] = {100'000, 1'000'000, 2'000'000};
    double perEntry[3] = {};
    double times[3] = {};
    for (size_t i = 0; i < 3; ++i) {
        AppState s;
        makeWorkload(s, sizes[i], sizes[i]);
        const long snapshotsRss = peakRssMiB();
        size_t rows = 0;
        times[i] = timeDetection(s, 3, &rows);
        perEntry[i] = times[i] / static_cast<double>(4 * sizes[i]);
        std::printf(
            "%9zu reg + %9zu files  %8.3f s  %6.1f ns per entry  rows %6zu  peak RSS %ld MiB with the "
            "snapshots, %ld MiB after detection\n",
            sizes[i], sizes[i], times[i], perEntry[i] * 1e9, rows, snapshotsRss, peakRssMiB());
    }
    std::printf("\nTarget 1M + 1M registry and 1M + 1M files under 2 s: %.3f s -> %s\n", times[1],
                times[1] < 2.0 ? "met" : "MISSED");
    std::printf("Scaling 1M / 100k per entry: %.3f (time ratio %.2f for 10x input)\n",
                perEntry[1] / perEntry[0], times[1] / times[0]);
    std::printf("Scaling 2M / 1M per entry: %.3f (time ratio %.3f for 2x input, limit 2.30) -> %s\n",
                perEntry[2] / perEntry[1], times[2] / times[1],
                times[2] / times[1] <= 2.3 ? "met" : "MISSED");
    std::printf("Peak RSS of the whole run: %ld MiB\n", peakRssMiB());
    return 0;
}
