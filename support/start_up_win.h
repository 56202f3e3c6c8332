#pragma once
// The start-up checks' platform side: the shell's browser and the version
// file fetched over HTTP.
#include <windows.h>

#include <chrono>

#include "support/http_client_win.h"
#include "support/start_up.h"

namespace qv {

class ShellBrowser : public Browser {
public:
    HWND owner = nullptr;
    void OpenInternet(const std::string& Url, int WindowStyle) override;
};

// The whole update check, name lookup to the last byte, may take this long;
// the main window or the first-run question then still appears within a few
// seconds of the start, whatever the network or the server does.
inline constexpr std::chrono::milliseconds kUpdateCheckDeadline{6000};

// The version file over HTTP in memory mode: what arrived, "" when the server
// could not be reached, sent more than a version file could hold, or did not
// finish within the deadline. The request runs on a thread of its own: per-call
// timeouts do not bound a server that trickles, and Wine's WinINet drains a
// long body while it closes the request, so a check that overruns is abandoned
// to end by itself, and the window goes on as if there were no network.
class HttpVersionSource : public VersionSource {
public:
    HttpVersionSource(UserPrompt& prompt, Yielder& yielder, DWORD timeoutMs = 10'000,
                      std::chrono::milliseconds deadline = kUpdateCheckDeadline)
        : prompt_(prompt), yielder_(yielder), timeoutMs_(timeoutMs), deadline_(deadline) {}
    std::string fetch(const std::string& url) override;

private:
    UserPrompt& prompt_;
    Yielder& yielder_;
    DWORD timeoutMs_;
    std::chrono::milliseconds deadline_;
};

// The update host the exe was built with; nothing at run time can change it.
const char* builtInUpdateHost();

}  // namespace qv
