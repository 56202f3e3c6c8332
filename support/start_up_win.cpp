// Winsock's headers must come before <windows.h>, which the own header pulls in.
#include <winsock2.h>
#include <ws2tcpip.h>

#include "support/start_up_win.h"

#include <shellapi.h>

#include "core/utf.h"
#include "support/bounded_wait.h"
#include "support/http_client.h"

#ifndef QUORVEL_UPDATE_HOST
#define QUORVEL_UPDATE_HOST "www.marrowby.com"
#endif

namespace qv {

namespace {

// Long enough for any name server that answers at all, short enough that the
// window still appears within a few seconds of the start.
constexpr std::chrono::milliseconds kLookupBudget{1500};

void lookUp(const std::wstring& host) {
    WSADATA data;
    if (WSAStartup(MAKEWORD(2, 2), &data) != 0) return;
    ADDRINFOW* found = nullptr;
    if (GetAddrInfoW(host.c_str(), nullptr, nullptr, &found) == 0) FreeAddrInfoW(found);
    WSACleanup();
}

}  // namespace

std::string HttpVersionSource::fetch(const std::string& url) {
    // WinINet has no timeout for the name lookup inside its first request: a
    // name server that never answers would hold the start for about 20 s. The
    // same lookup is made first, on its own thread and within a budget; a name
    // that takes longer skips the check as if there were no network.
    std::string rest = url;
    if (!finishesWithin([host = toWide(splitUrl(rest).host)] { lookUp(host); }, kLookupBudget, yielder_))
        return {};
    std::string Data;
    bool toMemory = true;
    CheckVersion.GetFile(url, "", Data, toMemory);
    return Data;
}

void ShellBrowser::OpenInternet(const std::string& Url, int WindowStyle) {
    // The last guard before the shell: only a web address is ever opened.
    if (!isWebAddress(Url)) return;
    ShellExecuteW(owner, L"Open", toWide(Url).c_str(), L"", L"", WindowStyle);
}

const char* builtInUpdateHost() { return QUORVEL_UPDATE_HOST; }

}  // namespace qv
