#pragma once
// The built quorvel-cli, run as a user runs it: its own process, its exit
// code, what it wrote to standard output and error, and a deadline after
// which it is killed, so that a program that hangs fails the test instead of
// holding it up.
#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace qv::cli::testing {

class CliProcess {
public:
    // Starts the program beside the test executable with `args`; its output
    // goes to files in `scratch`.
    CliProcess(const std::vector<std::string>& args, const std::filesystem::path& scratch)
        : out_(scratch / "cli.out"), err_(scratch / "cli.err") {
        const std::string cli = (std::filesystem::read_symlink("/proc/self/exe").parent_path() / "quorvel-cli").string();
        std::vector<std::string> all{cli};
        all.insert(all.end(), args.begin(), args.end());
        std::vector<char*> argv;
        for (std::string& a : all) argv.push_back(a.data());
        argv.push_back(nullptr);
        const int out = open(out_.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
        const int err = open(err_.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
        pid_ = fork();
        if (pid_ == 0) {
            dup2(out, STDOUT_FILENO);
            dup2(err, STDERR_FILENO);
            execv(argv[0], argv.data());
            _exit(126);
        }
        close(out);
        close(err);
        started_ = std::chrono::steady_clock::now();
    }
    ~CliProcess() {
        if (pid_ > 0 && !ended_) {
            kill(pid_, SIGKILL);
            waitpid(pid_, nullptr, 0);
        }
    }

    pid_t pid() const { return pid_; }

    // Waits for the program's end, at most `limit`; its exit code (128 + the
    // signal where one ended it), or -1 when it had to be killed.
    int finish(std::chrono::milliseconds limit = std::chrono::seconds(20)) {
        int status = 0;
        for (;;) {
            const pid_t done = waitpid(pid_, &status, WNOHANG);
            if (done == pid_) break;
            if (std::chrono::steady_clock::now() - started_ > limit) {
                kill(pid_, SIGKILL);
                waitpid(pid_, nullptr, 0);
                ended_ = true;
                return -1;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        ended_ = true;
        return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    }

    std::string out() const { return read(out_); }
    std::string err() const { return read(err_); }

private:
    static std::string read(const std::filesystem::path& file) {
        std::ifstream in(file);
        std::stringstream s;
        s << in.rdbuf();
        return s.str();
    }

    std::filesystem::path out_, err_;
    pid_t pid_ = -1;
    bool ended_ = false;
    std::chrono::steady_clock::time_point started_;
};

// Whether the process runs; one that has ended and waits to be reaped does not.
inline bool alive(pid_t pid) {
    std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
    std::string text;
    if (!std::getline(in, text) || text.rfind(')') == std::string::npos) return false;
    const char state = text[text.rfind(')') + 2];
    return state != 'Z' && state != 'X';
}

}  // namespace qv::cli::testing
