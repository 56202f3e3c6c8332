#pragma once
// The parts of the HTTP client that are plain text work: where a URL goes.
#include <cstdint>
#include <string>
#include <string_view>

namespace qv {

inline constexpr uint16_t kDefaultHttpPort = 80;
// The most a body may hold in memory; a longer one is not read at all.
inline constexpr size_t kMaxMemoryBody = 1 << 20;
inline constexpr size_t kHttpChunk = 2048;

struct HttpTarget {
    std::string server;  // the text before the first "/" (host, or host:port)
    std::string object;  // from the first "/" on; "" without one
    std::string host;
    uint16_t port = kDefaultHttpPort;
};

// Removes a lower-case "http://" from the front of `Url` (in place, as Connect
// does) and splits the rest. A server "host:port" with a valid port number
// names that port; anything else is a host on port 80.
HttpTarget splitUrl(std::string& Url);

// The leading decimal number of a header value, 0 without one.
int32_t leadingInteger(std::string_view text);

// A body's bytes as text, one character per byte.
std::string bytesAsText(std::string_view bytes);

}  // namespace qv
