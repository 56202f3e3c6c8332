#pragma once
// Test help: a one-thread HTTP server on 127.0.0.1 and a free port. Every
// connection gets the same scripted bytes; `stallAfter` holds back the rest of
// them until the server stops (5 s at most, so that a client without a timeout
// fails its test instead of hanging it), as a server that never finishes.
// `dripMs` sends the bytes one at a time with that pause between them, as a
// server that trickles. The server stops sending as soon as it is destroyed.
// `sent()` counts the bytes the clients took, so that a test can tell how
// much of a long answer was transferred.
#include <winsock2.h>

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <mutex>
#include <string_view>
#include <string>
#include <thread>
#include <vector>

namespace qv::testing {

class LoopbackServer {
public:
    std::string response;
    size_t stallAfter = std::string::npos;
    unsigned dripMs = 0;

    LoopbackServer() {
        WSADATA wsa;
        WSAStartup(MAKEWORD(2, 2), &wsa);
        listener_ = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
        sockaddr_in at{};
        at.sin_family = AF_INET;
        at.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        int size = sizeof at;
        bind(listener_, reinterpret_cast<sockaddr*>(&at), size);
        listen(listener_, 4);
        getsockname(listener_, reinterpret_cast<sockaddr*>(&at), &size);
        port_ = ntohs(at.sin_port);
        stop_ = CreateEventW(nullptr, TRUE, FALSE, nullptr);
        thread_ = std::thread([this] { serve(); });
    }
    ~LoopbackServer() {
        SetEvent(stop_);
        closesocket(listener_);  // wakes the accept
        thread_.join();
        CloseHandle(stop_);
        WSACleanup();
    }
    LoopbackServer(const LoopbackServer&) = delete;
    LoopbackServer& operator=(const LoopbackServer&) = delete;

    std::string host() const { return "127.0.0.1:" + std::to_string(port_); }
    uint64_t sent() const { return sent_.load(); }
    // The request heads received so far, up to their blank line.
    std::vector<std::string> requests() {
        std::lock_guard lock(mutex_);
        return requests_;
    }

private:
    void serve() {
        for (;;) {
            SOCKET client = accept(listener_, nullptr, nullptr);
            if (client == INVALID_SOCKET) return;
            std::string head;
            char buffer[1024];
            while (head.find("\r\n\r\n") == std::string::npos) {
                const int n = recv(client, buffer, sizeof buffer, 0);
                if (n <= 0) break;
                head.append(buffer, static_cast<size_t>(n));
            }
            {
                std::lock_guard lock(mutex_);
                requests_.push_back(head.substr(0, head.find("\r\n\r\n")));
            }
            // A send that cannot go on within a moment gives the stop a look.
            const DWORD sendTimeoutMs = 100;
            setsockopt(client, SOL_SOCKET, SO_SNDTIMEO, reinterpret_cast<const char*>(&sendTimeoutMs),
                       sizeof sendTimeoutMs);
            const std::string_view sent = std::string_view(response).substr(0, stallAfter);
            for (size_t done = 0; done < sent.size() && WaitForSingleObject(stop_, 0) == WAIT_TIMEOUT;) {
                const size_t piece = dripMs ? 1 : std::min<size_t>(sent.size() - done, 1 << 16);
                const int n = send(client, sent.data() + done, static_cast<int>(piece), 0);
                if (n < 0 && WSAGetLastError() == WSAETIMEDOUT) continue;
                if (n <= 0) break;
                done += static_cast<size_t>(n);
                sent_ += static_cast<uint64_t>(n);
                if (dripMs) WaitForSingleObject(stop_, dripMs);
            }
            if (stallAfter != std::string::npos) WaitForSingleObject(stop_, 5000);
            shutdown(client, SD_SEND);
            closesocket(client);
        }
    }

    SOCKET listener_ = INVALID_SOCKET;
    unsigned short port_ = 0;
    HANDLE stop_ = nullptr;
    std::mutex mutex_;
    std::vector<std::string> requests_;
    std::atomic<uint64_t> sent_{0};
    std::thread thread_;
};

// A whole HTTP/1.0 answer with a length, as a plain server sends it.
inline std::string httpAnswer(const std::string& body, const char* status = "200 OK") {
    return std::string("HTTP/1.0 ") + status +
           "\r\nContent-Type: text/plain\r\nContent-Length: " + std::to_string(body.size()) +
           "\r\nLast-Modified: Mon, 01 Jan 2024 10:00:00 GMT\r\n\r\n" + body;
}

}  // namespace qv::testing
