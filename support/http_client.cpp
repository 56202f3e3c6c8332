#include "support/http_client.h"

#include <charconv>

#include "core/utf.h"

namespace qv {

HttpTarget splitUrl(std::string& Url) {
    if (Url.starts_with("http://")) Url.erase(0, 7);
    HttpTarget t;
    const size_t slash = Url.find('/');
    t.server = Url.substr(0, slash);
    t.object = slash == std::string::npos ? std::string() : Url.substr(slash);
    t.host = t.server;
    const size_t colon = t.server.rfind(':');
    if (colon != std::string::npos && colon + 1 < t.server.size() && t.server.find(':') == colon) {
        unsigned port = 0;
        const char* first = t.server.data() + colon + 1;
        const char* last = t.server.data() + t.server.size();
        const auto [stop, ec] = std::from_chars(first, last, port);
        if (ec == std::errc() && stop == last && port > 0 && port <= 65535) {
            t.host = t.server.substr(0, colon);
            t.port = static_cast<uint16_t>(port);
        }
    }
    return t;
}

int32_t leadingInteger(std::string_view text) {
    size_t i = 0;
    while (i < text.size() && text[i] == ' ') ++i;
    int64_t value = 0;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9' && value < INT32_MAX; ++i)
        value = value * 10 + (text[i] - '0');
    return static_cast<int32_t>(value > INT32_MAX ? INT32_MAX : value);
}

std::string bytesAsText(std::string_view bytes) {
    std::u16string wide(bytes.size(), u'\0');
    for (size_t i = 0; i < bytes.size(); ++i) wide[i] = static_cast<unsigned char>(bytes[i]);
    return toUtf8(wide);
}

}  // namespace qv
