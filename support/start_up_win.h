#pragma once
// The start-up checks' platform side: the shell's browser and the version
// file fetched over HTTP.
#include <windows.h>

#include "support/http_client_win.h"
#include "support/start_up.h"

namespace qv {

class ShellBrowser : public Browser {
public:
    HWND owner = nullptr;
    void OpenInternet(const std::string& Url, int WindowStyle) override;
};

// The version file over HTTP in memory mode: what arrived, "" when the server
// could not be reached or sent more than a version file could hold.
class HttpVersionSource : public VersionSource {
public:
    HttpVersionSource(UserPrompt& prompt, Yielder& yielder, DWORD timeoutMs = 10'000)
        : yielder_(yielder), CheckVersion(prompt, &yielder, timeoutMs) {}
    std::string fetch(const std::string& url) override;

private:
    Yielder& yielder_;
    clsHTTP CheckVersion;
};

// The update host the exe was built with; nothing at run time can change it.
const char* builtInUpdateHost();

}  // namespace qv
