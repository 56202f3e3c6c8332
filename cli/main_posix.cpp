// quorvel-cli on Linux: the same commands on the same core, with a Wine
// prefix's registry files and drives read directly instead of through Wine.
#include <pwd.h>
#include <signal.h>
#include <unistd.h>

#include <climits>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <filesystem>
#include <new>
#include <string>
#include <vector>

#include "capture/directory_source_posix.h"
#include "capture/wine_registry_provider.h"
#include "cli/commands.h"
#include "cli/console_posix.h"
#include "cli/console_ui.h"
#include "cli/process_runner_posix.h"
#include "cli/wine_prefix_posix.h"

namespace {

void toStandardError(std::string_view line) {
    while (!line.empty()) {
        const ssize_t done = write(STDERR_FILENO, line.data(), line.size());
        if (done <= 0) return;
        line.remove_prefix(static_cast<size_t>(done));
    }
}

// Ctrl+C or a hang-up: the exit code says the run was cut short. While an
// installer runs, its run ends it and tells what became of its processes.
void interrupted(int) {
    if (qv::cli::interruptInstaller()) return;
    toStandardError("\nquorvel-cli: interrupted\n");
    _exit(qv::cli::kInterrupted);
}

std::string exeFolder() {
    std::error_code ec;
    const std::filesystem::path exe = std::filesystem::read_symlink("/proc/self/exe", ec);
    return ec ? std::string(".") : exe.parent_path().string();
}

std::string hostName() {
    char name[256] = {};
    if (gethostname(name, sizeof name - 1) != 0) return {};
    return name;
}

std::string userName() {
    if (const passwd* pw = getpwuid(getuid())) return pw->pw_name;
    return {};
}

int run(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    qv::cli::PosixConsole terminal;
    const qv::cli::ParsedArguments parsed = qv::cli::parseArguments(args);
    if (!parsed.error.empty()) {
        qv::cli::complain(terminal, parsed.error);
        return qv::cli::kBadUsage;
    }
    const qv::cli::Arguments& arguments = parsed.arguments;
    qv::cli::QuietConsole quiet(terminal);
    qv::cli::Console& console = arguments.quiet ? static_cast<qv::cli::Console&>(quiet) : terminal;
    const std::string prefix = qv::cli::winePrefixPath(arguments.prefix);
    const bool readsPrefix =
        !arguments.help && !arguments.version && arguments.command != qv::cli::Command::Diff;
    // Only the registry files lag behind a running server; folders do not.
    const bool walksRegistry =
        arguments.capture.registry || !arguments.capture.moreKeys.empty() || arguments.capture.machine;

    qv::WineRegistryProviderSource registry(prefix, qv::cli::hostEnvironment());
    qv::DatePictures pictures;
    if (readsPrefix) {
        if (const std::string refusal =
                qv::cli::prefixReadiness(prefix, arguments.waitForWine, walksRegistry, console);
            !refusal.empty()) {
            qv::cli::complain(console, refusal);
            return qv::cli::kBadUsage;
        }
        std::string error;
        if (!registry.load(error)) {
            qv::cli::complain(console, error);
            return qv::cli::kBadUsage;
        }
        pictures = qv::cli::datePictures(*registry.hives());
    }
    qv::PosixDirectorySource files(prefix, pictures);
    qv::Latin1CodePage codePage;
    qv::cli::WineProcessRunner runner(prefix, walksRegistry);
    // A prefix's machine is its system drive and its registry.
    qv::cli::CliServices services{registry, files, codePage, runner, console, exeFolder(), {"C:\\"},
                                  hostName(), userName()};
    return qv::cli::runCommand(arguments, services);
}

}  // namespace

// A snapshot of a million entries touches a few hundred MB of heap, and with
// 4 KB pages each first touch is a fault: a third of the run. glibc gives its
// heap transparent huge pages when asked by a tunable; and kept in the one heap
// that is never trimmed, the buffers a growing snapshot leaves behind are
// filled again instead of fresh pages being mapped and cleared. glibc reads
// its tunables only as a program starts, so the program starts itself once
// more with them. The installer that watch runs gets the environment as it was.
void startWithHugePages(char** argv) {
    constexpr const char* kMarker = "QUORVEL_CLI_TUNED";
    constexpr const char* kTunable =
        "glibc.malloc.hugetlb=1:glibc.malloc.mmap_max=0:glibc.malloc.trim_threshold=4294967295";
    if (const char* before = std::getenv(kMarker)) {
        if (*before) {
            setenv("GLIBC_TUNABLES", before + 1, 1);  // "=" then what it was
        } else {
            unsetenv("GLIBC_TUNABLES");
        }
        unsetenv(kMarker);
        return;
    }
    const char* tunables = std::getenv("GLIBC_TUNABLES");
    if (tunables && std::strstr(tunables, "glibc.malloc.hugetlb")) return;
    setenv(kMarker, tunables ? (std::string("=") + tunables).c_str() : "", 1);
    setenv("GLIBC_TUNABLES", tunables && *tunables ? (std::string(tunables) + ":" + kTunable).c_str() : kTunable, 1);
    execv("/proc/self/exe", argv);
    // Without /proc the program runs as it is.
    unsetenv(kMarker);
    if (tunables) {
        setenv("GLIBC_TUNABLES", tunables, 1);
    } else {
        unsetenv("GLIBC_TUNABLES");
    }
}

int main(int argc, char** argv) {
    startWithHugePages(argv);
    struct sigaction action {};
    action.sa_handler = interrupted;
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
    sigaction(SIGHUP, &action, nullptr);
    // A reader that goes away (| head) makes a write fail, which is told and
    // exits 3, instead of ending the program silently.
    signal(SIGPIPE, SIG_IGN);
    return qv::cli::runGuarded([&] { return run(argc, argv); }, [](std::string_view line) { toStandardError(line); });
}
