// The native walk down one chain of nested folders, 500, 1,000 and 2,000
// deep, each with a file at its bottom: the file finder over the prefix's
// drive as a collection runs it. A walk that resolves every path from the
// root costs more with every level (and past 4 KB of path finds nothing);
// one that opens each folder from its parent costs the same per level.
// Prints the seconds of each walk and whether it recorded the file.
// Run from the native-release build: build/native-release/deep_walk_bench
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>

#include "capture/directory_source_posix.h"
#include "capture/file_finder.h"
#include "support/error_report.h"
#include "tests/capture/deep_chain_posix.h"
#include "tests/support/fakes/scripted_ui.h"

namespace {

namespace fs = std::filesystem;
using namespace qv;

}  // namespace

int main() {
    const fs::path prefix = fs::temp_directory_path() / ("quorvel-deep-walk-bench-" + std::to_string(getpid()));
    fs::remove_all(prefix);
    fs::create_directories(prefix / "drive_c" / "deep");
    fs::create_directories(prefix / "dosdevices");
    fs::create_symlink("../drive_c", prefix / "dosdevices" / "c:");
    const std::string base = (prefix / "drive_c" / "deep").string();
    bool whole = true;
    for (int depth : {500, 1000, 2000}) {
        testing::buildDeepChain(base, depth);
        std::string leaf = "C:\\deep\\";
        for (int i = 0; i < depth; ++i) leaf += testing::deepFolderName(i) + "\\";
        leaf += "leaf.txt";

        AppState state;
        state.StartFileListBoolean = true;
        PosixDirectorySource source(prefix, DatePictures{});
        testing::ScriptedYielder yielder;
        testing::ScriptedView view;
        testing::ScriptedPrompt prompt;
        ErrorReporter reporter{prompt};
        clsFileFind finder{state, source, yielder, view, reporter};
        const auto start = std::chrono::steady_clock::now();
        finder.SearchFile("C:\\deep\\", true);
        const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        const bool found = state.StartFileList.size() == 2 && state.StartFileList[1].Filepath == leaf;
        whole = whole && found;
        std::printf("%5d levels (%6zu-character path): %7.3f s, %s\n", depth, leaf.size(), seconds,
                    found ? "the file is recorded" : "THE FILE IS MISSING");
        testing::removeDeepChain(base, depth);
    }
    fs::remove_all(prefix);
    return whole ? 0 : 1;
}
