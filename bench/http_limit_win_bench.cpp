// How much of an answer too long for a version file is transferred: the HTTP
// client reads no more than 1 MiB of a 100 MB body with a Content-Length,
// and the server on 127.0.0.1 counts what left it. Under Wine, WinINet reads
// the rest of such a body inside InternetCloseHandle, to keep the connection
// for another request. Prints the most the client reads, the bytes the
// server sent, their ratio, and the time GetFile took. Run pinned to one CPU
// with its wineserver:
//   taskset -c 0 wineserver -p; taskset -c 0 wine http_limit_win_bench.exe
#include <windows.h>

#include <chrono>
#include <cstdio>
#include <string>

#include "support/http_client.h"
#include "support/http_client_win.h"
#include "tests/support/fakes/loopback_server_win.h"
#include "tests/support/fakes/scripted_ui.h"

int main() {
    constexpr size_t kBody = 100'000'000;
    for (int round = 0; round < 3; ++round) {
        qv::testing::LoopbackServer server;
        server.response = qv::testing::httpAnswer(std::string(kBody, '1'));
        qv::testing::ScriptedPrompt prompt;
        std::string data;
        bool toMemory = true;
        const auto start = std::chrono::steady_clock::now();
        {
            qv::clsHTTP http(prompt, nullptr, 10'000);
            http.GetFile("http://" + server.host() + "/AppVersions/QuorvelVersion.txt", "", data, toMemory);
        }
        const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        // What the server could still send after the client was done with it.
        Sleep(500);
        const double sent = static_cast<double>(server.sent());
        const double answer = static_cast<double>(server.response.size());
        std::printf("the client reads at most %zu bytes; the server sent %.0f of its %.0f (%.1fx the limit, %.0f%%); "
                    "GetFile took %.2f s\n",
                    qv::kMaxMemoryBody + qv::kHttpChunk, sent, answer, sent / static_cast<double>(qv::kMaxMemoryBody),
                    100 * sent / answer, seconds);
    }
    return 0;
}
