#include "app/unread_places.h"

#include <algorithm>
#include <string_view>

namespace qv {
namespace {

constexpr std::string_view kKey = "key ", kFolder = "folder ";

std::string counted(size_t n, const char* one, const char* many) {
    return std::to_string(n) + " " + (n == 1 ? one : many);
}

}  // namespace

std::string unreadSummary(const std::vector<std::string>& unread) {
    if (unread.empty()) return {};
    if (unread.size() == 1) {
        const std::string_view place = unread.front();
        if (place.starts_with(kKey) && !place.ends_with(")"))
            return "the registry key " + std::string(place.substr(kKey.size())) +
                   " cannot be read (access is denied); it is recorded without its values";
        if (place.starts_with(kFolder))
            return "the folder " + std::string(place.substr(kFolder.size())) +
                   " cannot be read; it is recorded without what it holds";
    }
    const auto keys = static_cast<size_t>(
        std::count_if(unread.begin(), unread.end(), [](const std::string& p) { return p.starts_with(kKey); }));
    const size_t folders = unread.size() - keys;
    std::string line;
    if (keys > 0) line = counted(keys, "key", "keys");
    if (keys > 0 && folders > 0) line += " and ";
    if (folders > 0) line += counted(folders, "folder", "folders");
    return line + " could not be read; the first: " + unread.front();
}

std::vector<std::string> unreadOfBoth(const std::vector<std::string>& a, const std::vector<std::string>& b) {
    std::vector<std::string> both = a;
    for (const std::string& place : b)
        if (std::find(a.begin(), a.end(), place) == a.end()) both.push_back(place);
    return both;
}

}  // namespace qv
