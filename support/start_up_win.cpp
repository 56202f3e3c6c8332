#include "support/start_up_win.h"

#include <shellapi.h>

#include "core/utf.h"

#ifndef QUORVEL_UPDATE_HOST
#define QUORVEL_UPDATE_HOST "www.marrowby.com"
#endif

namespace qv {

void ShellBrowser::OpenInternet(const std::string& Url, int WindowStyle) {
    // The last guard before the shell: only a web address is ever opened.
    if (!isWebAddress(Url)) return;
    ShellExecuteW(owner, L"Open", toWide(Url).c_str(), L"", L"", WindowStyle);
}

const char* builtInUpdateHost() { return QUORVEL_UPDATE_HOST; }

}  // namespace qv
