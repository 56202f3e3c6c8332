// quorvel-cli.exe end to end on a tree of 100,000 files, against a bare
// FindFirstFileExW loop over the same tree, in one run: the whole processes
//   snapshot --dir TREE -o a.qvs --quiet   (twice, a.qvs and b.qvs)
//   diff a.qvs b.qvs -o NUL --quiet         (between them 1,000 files changed)
//   diff ... --format json                  (load both, compare, write JSON)
// with their start and exit, beside the bare loop run as a process of its
// own (this program with --bare-process TREE, the scan's own way of listing,
// and --plain-process TREE, a plain FindFirstFileW loop), and their ratios.
// Run pinned to one CPU with its wineserver, from build/windows:
//   taskset -c 0 wineserver -p; taskset -c 0 wine cli_files_win_bench.exe [tree folder]
// Without an argument the tree is made (once, then reused) beside the program.
#include <windows.h>
// After windows.h, which it needs.
#include <shellapi.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "bench/clock_win.h"
#include "bench/process_win.h"

namespace {

constexpr int kTopFolders = 40;
constexpr int kSubFolders = 50;
constexpr int kFilesPerFolder = 50;  // 100,000 files in 2,041 folders
constexpr int kChanged = 1000;

bool exists(const std::wstring& path) {
    return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

std::wstring filePath(const std::wstring& root, int t, int s, int f) {
    wchar_t name[64];
    swprintf(name, 64, L"\\top_%03d\\folder_%03d\\document_%05d.dat", t, s, f);
    return root + name;
}

void touch(const std::wstring& path, const char* text) {
    HANDLE h =
        CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) return;
    DWORD written = 0;
    WriteFile(h, text, static_cast<DWORD>(std::strlen(text)), &written, nullptr);
    CloseHandle(h);
}

void makeTree(const std::wstring& root) {
    const std::wstring marker = root + L"\\tree.complete";
    if (exists(marker)) return;
    std::printf("making the tree in %ls (once)...\n", root.c_str());
    CreateDirectoryW(root.c_str(), nullptr);
    wchar_t name[64];
    for (int t = 0; t < kTopFolders; ++t) {
        swprintf(name, 64, L"\\top_%03d", t);
        CreateDirectoryW((root + name).c_str(), nullptr);
        for (int s = 0; s < kSubFolders; ++s) {
            swprintf(name, 64, L"\\top_%03d\\folder_%03d", t, s);
            CreateDirectoryW((root + name).c_str(), nullptr);
            for (int f = 0; f < kFilesPerFolder; ++f) touch(filePath(root, t, s, f), "");
        }
    }
    touch(marker, "");
}

// The bare loop: every file of the tree, counted. `basic` lists as the file
// scan does (FindFirstFileExW, no short names, large fetches); otherwise as
// a plain FindFirstFileW loop, which Wine fills with short names too.
uint64_t bareScan(std::wstring& path, bool basic) {  // path ends with "\"
    const size_t length = path.size();
    path += L'*';
    WIN32_FIND_DATAW data;
    HANDLE h = basic ? FindFirstFileExW(path.c_str(), FindExInfoBasic, &data, FindExSearchNameMatch, nullptr,
                                        FIND_FIRST_EX_LARGE_FETCH)
                     : FindFirstFileW(path.c_str(), &data);
    path.resize(length);
    if (h == INVALID_HANDLE_VALUE) return 0;
    uint64_t files = 0;
    do {
        const wchar_t* n = data.cFileName;
        if (n[0] == L'.' && (n[1] == 0 || (n[1] == L'.' && n[2] == 0))) continue;
        if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
            path += n;
            path += L'\\';
            files += bareScan(path, basic);
            path.resize(length);
        } else {
            ++files;
        }
    } while (FindNextFileW(h, &data));
    FindClose(h);
    return files;
}

double bareRun(const std::wstring& root, uint64_t& files, bool basic = true) {
    std::wstring path = root + L"\\";
    const double start = benchSeconds();
    files = bareScan(path, basic);
    return benchSeconds() - start;
}

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

}  // namespace

int main() {
    int argc = 0;
    wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &argc);
    const std::wstring folder = programFolder();
    // The bare loop alone, as a process of its own: the other side of the
    // comparison pays a process's start and exit too.
    if (argc > 2 && (std::wstring(argv[1]) == L"--bare-process" || std::wstring(argv[1]) == L"--plain-process")) {
        uint64_t files = 0;
        bareRun(argv[2], files, std::wstring(argv[1]) == L"--bare-process");
        return files > 0 ? 0 : 1;
    }
    std::wstring root = argc > 1 ? argv[1] : folder + L"\\cli_files_tree";
    if (!root.empty() && root.back() == L'\\') root.pop_back();
    if (argc <= 1) makeTree(root);
    const std::wstring cli = L"\"" + folder + L"\\quorvel-cli.exe\"";
    const std::wstring a = folder + L"\\cli_files_a.qvs", b = folder + L"\\cli_files_b.qvs";
    const std::wstring snapshotA = cli + L" snapshot --dir \"" + root + L"\" -o \"" + a + L"\" --quiet";
    const std::wstring snapshotB = cli + L" snapshot --dir \"" + root + L"\" -o \"" + b + L"\" --quiet";
    const std::wstring diff = cli + L" diff \"" + a + L"\" \"" + b + L"\" -o NUL --quiet";
    const std::wstring diffJson = cli + L" diff \"" + a + L"\" \"" + b + L"\" --format json -o NUL --quiet";
    const std::wstring version = cli + L" --version";
    const std::wstring bareLoop = L"\"" + folder + L"\\cli_files_win_bench.exe\" --bare-process \"" + root + L"\"";
    const std::wstring plainLoop = L"\"" + folder + L"\\cli_files_win_bench.exe\" --plain-process \"" + root + L"\"";

    uint64_t files = 0;
    DWORD rc = 0;
    bareRun(root, files);  // warm the caches
    runProcess(snapshotA, rc);
    std::printf("tree: %ls, %llu files\n", root.c_str(), static_cast<unsigned long long>(files));
    std::vector<double> bare, bareProcess, plainProcess, start, snap, cmp, cmpJson, snapRatio, plainRatio;
    size_t barePeak = 0, snapPeak = 0, diffPeak = 0;
    for (int r = 0; r < 5; ++r) {
        const double bt = bareRun(root, files);
        const double bp = runProcess(bareLoop, rc, &barePeak);
        const double pp = runProcess(plainLoop, rc);
        const double st = runProcess(version, rc);
        const double s1 = runProcess(snapshotA, rc, &snapPeak);
        // Changed files between the snapshots, so that the diff has rows to write.
        for (int i = 0; i < kChanged; ++i)
            touch(filePath(root, i % kTopFolders, (i / kTopFolders) % kSubFolders, r), "x");
        runProcess(snapshotB, rc);
        const double dt = runProcess(diff, rc, &diffPeak);
        const double jt = runProcess(diffJson, rc);
        bare.push_back(bt);
        bareProcess.push_back(bp);
        plainProcess.push_back(pp);
        plainRatio.push_back(s1 / pp);
        start.push_back(st);
        snap.push_back(s1);
        cmp.push_back(dt);
        cmpJson.push_back(jt);
        snapRatio.push_back(s1 / bp);
        std::printf(
            "run %d: bare loop %.3f s in this process, %.3f s as a process, plain FindFirstFileW loop %.3f s as a "
            "process; cli start+exit %.3f s; snapshot %.3f s (%.2fx the bare process, %.2fx the plain one); diff "
            "%.3f s, as JSON %.3f s (exit %lu)\n",
            r + 1, bt, bp, pp, st, s1, s1 / bp, s1 / pp, dt, jt, static_cast<unsigned long>(rc));
    }
    std::printf(
        "median: snapshot %.3f s; plain FindFirstFileW loop process %.3f s, snapshot/plain %.2f (target <= 1.10);\n"
        "        FindFirstFileExW basic loop process %.3f s, snapshot/basic %.2f\n"
        "        diff %.3f s, as JSON %.3f s (target: <= 0.8 x 0.41 s = 0.33 s)\n",
        median(snap), median(plainProcess), median(plainRatio), median(bareProcess), median(snapRatio), median(cmp),
        median(cmpJson));
    if (snapPeak != 0)
        std::printf("peak working set: bare loop %.1f MiB, snapshot %.1f MiB, diff %.1f MiB (target <= 39.4 MiB)\n",
                    static_cast<double>(barePeak) / 1048576.0, static_cast<double>(snapPeak) / 1048576.0,
                    static_cast<double>(diffPeak) / 1048576.0);
    else
        std::printf("peak working set: not told after the exit here (bench/cli_memory.sh measures it from outside)\n");
    DeleteFileW(a.c_str());
    DeleteFileW(b.c_str());
    return 0;
}
