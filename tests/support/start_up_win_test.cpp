// The HTTP client and the start-up checks against a server on 127.0.0.1, and
// the registry store and the first-run agreement on the prefix's own registry.
#include "support/start_up_win.h"

#include <gtest/gtest.h>

#include <chrono>
#include <optional>

#include "core/app_state.h"
#include "core/utf.h"
#include "core/whole_file.h"
#include "support/error_report.h"
#include "support/http_client.h"
#include "support/registry_store_win.h"
#include "tests/support/fakes/loopback_server_win.h"
#include "tests/support/fakes/saved_registry_value_win.h"
#include "tests/support/fakes/scripted_ui.h"

namespace qv {
namespace {

using testing::httpAnswer;
using testing::LoopbackServer;
using testing::SavedRegistryValue;
using testing::ScriptedPrompt;

constexpr size_t kWhole = std::string::npos;
constexpr DWORD kShortTimeoutMs = 300;
const std::string kVersionRequest = "GET /AppVersions/QuorvelVersion.txt HTTP/1.0";

std::vector<std::string> titlesOf(const ScriptedPrompt& prompt) {
    std::vector<std::string> titles;
    for (const auto& call : prompt.calls) titles.push_back(call.title);
    return titles;
}

double secondsSince(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

TEST(HttpClient, GetFileReadsTheBodyAsTheServerSentIt) {
    std::string big;
    for (int i = 10000; big.size() < 5000; ++i) big += "line " + std::to_string(i) + "\n";
    const std::string head = "HTTP/1.0 200 OK\r\nContent-Length: 8\r\n\r\n";
    struct Case {
        const char* name;
        std::string response;
        size_t stallAfter;
        bool ok;
        std::optional<std::string> data;  // none: what came before a stall is WinINet's to pass on or not
        bool box;                         // "Could not retrieve latest version"
    };
    const Case cases[] = {
        {"version file", httpAnswer("1.01,http://a/,x"), kWhole, true, "1.01,http://a/,x", false},
        {"404 page", httpAnswer("<h1>Not Found</h1>", "404 Not Found"), kWhole, true, "<h1>Not Found</h1>",
         false},
        {"empty body", httpAnswer(""), kWhole, true, "", false},
        {"several chunks", httpAnswer(big + "\xE9"), kWhole, true, big + "\xC3\xA9", false},
        {"over 1 MiB", httpAnswer(std::string(kMaxMemoryBody + 1, 'x')), kWhole, false, "", false},
        {"stalls before its head", httpAnswer("1.01"), 0, false, "stale", false},
        {"stalls inside its body", head + "1.01,abc", head.size() + 4, false, std::nullopt, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        LoopbackServer server;
        server.response = c.response;
        server.stallAfter = c.stallAfter;
        ScriptedPrompt prompt;
        clsHTTP http(prompt, nullptr, kShortTimeoutMs);
        std::string data = "stale";
        bool toMemory = false;  // no local file: memory all the same
        const auto start = std::chrono::steady_clock::now();
        EXPECT_EQ(http.GetFile("http://" + server.host() + "/AppVersions/QuorvelVersion.txt", "", data,
                               toMemory, "X-Quorvel: 1"),
                  c.ok);
        EXPECT_LT(secondsSince(start), 3.0);
        EXPECT_EQ(toMemory, c.data != "stale") << "memory mode is taken once connected";
        if (c.data) {
            EXPECT_EQ(data, *c.data);
        }
        EXPECT_EQ(titlesOf(prompt), c.box ? std::vector<std::string>{"Error"} : std::vector<std::string>{});
        const std::vector<std::string> requests = server.requests();
        ASSERT_FALSE(requests.empty());
        EXPECT_TRUE(requests[0].starts_with(kVersionRequest + "\r\n")) << requests[0];
        EXPECT_NE(requests[0].find("\r\nX-Quorvel: 1"), std::string::npos) << requests[0];
        if (c.ok) {
            EXPECT_EQ(http.URL(), server.host() + "/AppVersions/QuorvelVersion.txt");
            const size_t body = c.response.size() - c.response.find("\r\n\r\n") - 4;
            EXPECT_EQ(http.ContentLength(), static_cast<int32_t>(body));
            EXPECT_EQ(http.LastModified(), "Mon, 01 Jan 2024 10:00:00 GMT");
        }
    }
}

TEST(HttpClient, FileModeReplacesTheLocalFileAndNoServerFailsSilently) {
    wchar_t temp[MAX_PATH];
    GetTempPathW(MAX_PATH, temp);
    const std::string file =
        toUtf8(temp) + "QuorvelHttpTest-" + std::to_string(GetCurrentProcessId()) + ".txt";
    ASSERT_TRUE(replaceWholeFile(file, std::string(5000, 'o')));
    ScriptedPrompt prompt;
    clsHTTP http(prompt, nullptr, kShortTimeoutMs);
    std::string data, closedHost;
    bool toMemory = false;
    {
        LoopbackServer server;
        server.response = httpAnswer("new");
        closedHost = server.host();
        EXPECT_TRUE(http.GetFile(server.host() + "/v.txt", file, data, toMemory));
    }
    EXPECT_EQ(readWholeFile(file), "new");
    EXPECT_EQ(data, "");
    DeleteFileW(toWide(file).c_str());
    // Nothing listens on that port any more.
    EXPECT_FALSE(http.GetFile(closedHost + "/v.txt", "", data, toMemory));
    EXPECT_EQ(http.LastError(), "HttpSendRequest failed");
    EXPECT_TRUE(prompt.calls.empty());
}

struct RecordingBrowser : Browser {
    std::vector<std::string> opened;
    void OpenInternet(const std::string& Url, int WindowStyle) override {
        opened.push_back(Url + " " + std::to_string(WindowStyle));
    }
};

TEST(StartUpOverHttp, TheServedVersionFileDecidesTheOfferAndTheEnd) {
    SavedRegistryValue firstRun(HKEY_CURRENT_USER, L"SOFTWARE\\Marrowby", L"QuorvelFirstTime");
    firstRun.set(L"No");  // agreed before: only the update question can show
    const std::string page = "http://127.0.0.1:1/download";
    struct Case {
        std::string response;
        size_t stallAfter;
        std::vector<Answer> answers;
        bool asked, go;
        std::vector<std::string> opened;
    };
    const Case cases[] = {
        {httpAnswer("1.00," + page + ",must-download"), kWhole, {}, false, true, {}},
        {httpAnswer("1.01," + page + ",must-download"), kWhole, {Answer::Yes}, true, false, {page + " 5"}},
        // The body reaches the check as served: its last field is then no "must-download".
        {httpAnswer("1.01," + page + ",must-download\r\n"), kWhole, {Answer::Yes}, true, true, {page + " 5"}},
        {httpAnswer("<html>404</html>", "404 Not Found"), kWhole, {}, false, true, {}},
        {httpAnswer("9.9," + page + ",must-download"), 0, {}, false, true, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.response);
        LoopbackServer server;
        server.response = c.response;
        server.stallAfter = c.stallAfter;
        ScriptedPrompt prompt;
        prompt.answers.assign(c.answers.begin(), c.answers.end());
        ErrorReporter reporter{prompt};
        testing::ScriptedYielder yielder;
        HttpVersionSource versions(prompt, yielder, kShortTimeoutMs);
        RecordingBrowser browser;
        Win32RegistryStore store;
        StartUpServices s{prompt, reporter, versions, store, browser};
        EXPECT_EQ(StartUp(s, server.host()), c.go);
        EXPECT_EQ(titlesOf(prompt),
                  c.asked ? std::vector<std::string>{"New Version"} : std::vector<std::string>{});
        EXPECT_EQ(browser.opened, c.opened);
        const std::vector<std::string> requests = server.requests();
        ASSERT_EQ(requests.size(), 1u);
        EXPECT_TRUE(requests[0].starts_with(kVersionRequest + "\r\n"));
    }
}

// Whatever the server does, the update check gives up at its deadline, reads
// no more than a version file may hold, and the start goes on as if there were
// no network: silence, headers or a body a byte a second, a huge body.
TEST(StartUpOverHttp, TheWholeCheckEndsByItsDeadline) {
    const auto deadline = std::chrono::milliseconds(1500);
    const std::string huge = httpAnswer(std::string(size_t{100} << 20, 'x'));
    struct Case {
        const char* what;
        std::string response;
        size_t stallAfter;
        unsigned dripMs;
    };
    const Case cases[] = {
        {"silent", httpAnswer("1.01,http://a/,x"), 0, 0},
        {"dripped headers", httpAnswer("1.01,http://a/,x"), kWhole, 1000},
        {"dripped body", httpAnswer(std::string(4096, '1')), kWhole, 1000},
        {"100 MB", huge, kWhole, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        LoopbackServer server;
        server.response = c.response;
        server.stallAfter = c.stallAfter;
        server.dripMs = c.dripMs;
        ScriptedPrompt prompt;
        testing::ScriptedYielder yielder;
        // Per-call timeouts far past the deadline: only the deadline ends it.
        HttpVersionSource versions(prompt, yielder, 60'000, deadline);
        const auto start = std::chrono::steady_clock::now();
        EXPECT_EQ(versions.fetch("http://" + server.host() + "/AppVersions/QuorvelVersion.txt"), "");
        EXPECT_LT(secondsSince(start), 1.5 + 1.0);
        EXPECT_TRUE(prompt.calls.empty());
    }
}

TEST(RegistryStore, RoundTripsAndReadsValuesOthersWroteOnTheRealRegistry) {
    const std::wstring root = L"Software\\QuorvelStoreTest-" + std::to_wstring(GetCurrentProcessId());
    const std::string path = toUtf8(root) + "\\below\\deeper";
    struct Cleanup {
        std::wstring key;
        ~Cleanup() {
            RegDeleteTreeW(HKEY_CURRENT_USER, key.c_str());
            RegDeleteKeyW(HKEY_CURRENT_USER, key.c_str());
        }
    } cleanup{root};
    Win32RegistryStore store;
    EXPECT_EQ(store.GetString(kHiveCurrentUser, path, "v"), "");  // no key yet
    const std::string texts[] = {"No", "", "Gr\u00FC\u00DFe, 1.00", std::string(3000, 'x')};
    for (const std::string& text : texts) {
        store.SaveString(kHiveCurrentUser, path, "v", text);
        EXPECT_EQ(store.GetString(kHiveCurrentUser, path, "v"), text);
    }
    EXPECT_EQ(store.GetString(kHiveCurrentUser, path, "never written"), "");

    struct Raw {
        const wchar_t* name;
        DWORD type;
        std::string bytes;
        const char* text;
    };
    const Raw raws[] = {
        {L"nul", REG_SZ, std::string("a\0b\0\0\0c\0\0\0", 10), "ab"},
        {L"bin", REG_BINARY, "\x01\x02", "513"},
        {L"dword", REG_DWORD, std::string("\x07\0\0\0", 4), ""},
        {L"expand", REG_EXPAND_SZ, std::string("a\0\0\0", 4), ""},
    };
    const std::wstring wpath = toWide(path);
    HKEY key = nullptr;
    ASSERT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, wpath.c_str(), 0, KEY_READ, &key), ERROR_SUCCESS);
    for (const Raw& r : raws) {
        SCOPED_TRACE(toUtf8(r.name));
        RegSetKeyValueW(HKEY_CURRENT_USER, wpath.c_str(), r.name, r.type, r.bytes.data(),
                        static_cast<DWORD>(r.bytes.size()));
        EXPECT_EQ(store.GetString(kHiveCurrentUser, path, toUtf8(r.name)), r.text);
        EXPECT_EQ(RegQueryStringValue(key, toUtf8(r.name)), r.text);
    }
    RegCloseKey(key);
}

}  // namespace
}  // namespace qv
