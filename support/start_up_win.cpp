#include "support/start_up_win.h"

#include <shellapi.h>

#include <memory>
#include <string>
#include <vector>

#include "core/utf.h"
#include "support/bounded_wait.h"
#include "support/http_client.h"

#ifndef QUORVEL_UPDATE_HOST
#define QUORVEL_UPDATE_HOST "www.marrowby.com"
#endif

namespace qv {

namespace {

// The answer the client would have shown, kept for the window's thread: the
// abandoned thread must never show anything.
class DeferredPrompt : public UserPrompt {
public:
    Answer ask(std::string_view text, std::string_view title, Buttons buttons, Icon icon) override {
        asked.push_back({std::string(text), std::string(title), buttons, icon});
        return buttons == Buttons::Ok ? Answer::Ok : Answer::Cancel;
    }
    struct Call {
        std::string text, title;
        Buttons buttons;
        Icon icon;
    };
    std::vector<Call> asked;
};

}  // namespace

std::string HttpVersionSource::fetch(const std::string& url) {
    // Everything the thread touches is its own or shared with it, since it may
    // outlive this call and the window.
    struct Outcome {
        DeferredPrompt prompt;
        std::string data;
    };
    auto outcome = std::make_shared<Outcome>();
    const DWORD timeoutMs = timeoutMs_;
    const bool inTime = finishesWithin(
        [outcome, url, timeoutMs] {
            clsHTTP http(outcome->prompt, nullptr, timeoutMs);
            std::string data;
            bool toMemory = true;
            http.GetFile(url, "", data, toMemory);
            outcome->data = std::move(data);
        },
        deadline_, yielder_);
    if (!inTime) return {};
    for (const DeferredPrompt::Call& call : outcome->prompt.asked)
        prompt_.ask(call.text, call.title, call.buttons, call.icon);
    return outcome->data;
}

void ShellBrowser::OpenInternet(const std::string& Url, int WindowStyle) {
    // The last guard before the shell: only a web address is ever opened.
    if (!isWebAddress(Url)) return;
    ShellExecuteW(owner, L"Open", toWide(Url).c_str(), L"", L"", WindowStyle);
}

const char* builtInUpdateHost() { return QUORVEL_UPDATE_HOST; }

}  // namespace qv
