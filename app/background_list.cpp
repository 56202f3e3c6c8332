#include "app/background_list.h"

#include <utility>

namespace qv {
namespace {

char upper(char c) {
    return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
}

void appendUpper(std::string& out, std::string_view text) {
    for (char c : text) out += upper(c);
}

// The long name of a pattern's root, where it begins with a short one.
std::string withLongRoot(std::string_view pattern) {
    static constexpr std::pair<std::string_view, std::string_view> kShort[] = {
        {"HKLM\\", "HKEY_LOCAL_MACHINE\\"}, {"HKCU\\", "HKEY_CURRENT_USER\\"}, {"HKCR\\", "HKEY_CLASSES_ROOT\\"},
        {"HKU\\", "HKEY_USERS\\"},          {"HKCC\\", "HKEY_CURRENT_CONFIG\\"}};
    std::string folded;
    appendUpper(folded, pattern);
    for (const auto& [shortName, longName] : kShort) {
        if (folded.starts_with(shortName)) return std::string(longName) + folded.substr(shortName.size());
    }
    return folded;
}

// "*" and "?" over upper-cased text; the last "*" takes one more character
// at a time when what follows it does not match.
bool globMatches(std::string_view pattern, std::string_view text) {
    size_t p = 0, t = 0, starP = std::string_view::npos, starT = 0;
    while (t < text.size()) {
        if (p < pattern.size() && pattern[p] == '*') {
            starP = ++p;
            starT = t;
        } else if (p < pattern.size() && (pattern[p] == '?' || pattern[p] == text[t])) {
            ++p;
            ++t;
        } else if (starP != std::string_view::npos) {
            p = starP;
            t = ++starT;
        } else {
            return false;
        }
    }
    while (p < pattern.size() && pattern[p] == '*') ++p;
    return p == pattern.size();
}

}  // namespace

BackgroundList::BackgroundList(const std::vector<std::string>& patterns) {
    for (const std::string& line : patterns) {
        if (line.empty()) continue;
        Pattern p;
        p.text = withLongRoot(line);
        const size_t first = p.text.find_first_of("*?");
        p.wild = first != std::string::npos;
        p.prefix = p.text.substr(0, p.wild ? first : p.text.size());
        if (p.wild) p.suffix = p.text.substr(p.text.find_last_of("*?") + 1);
        patterns_.push_back(std::move(p));
    }
}

bool BackgroundList::matches(std::string_view path) const {
    for (const Pattern& p : patterns_) {
        // Most patterns begin with a root and a key, or end with a name's
        // ending, so a comparison of those letters rules out nearly every row.
        if (!path.starts_with(p.prefix)) continue;
        if (!p.wild) {
            if (path.size() == p.text.size()) return true;
            continue;
        }
        if (path.size() < p.prefix.size() + p.suffix.size() || !path.ends_with(p.suffix)) continue;
        if (globMatches(p.text, path)) return true;
    }
    return false;
}

bool BackgroundList::matchesRegistry(std::string_view root, std::string_view key, std::string_view valueName) const {
    if (patterns_.empty()) return false;
    scratch_.clear();
    if (!root.empty()) {
        appendUpper(scratch_, root);
        scratch_ += '\\';
    }
    appendUpper(scratch_, key);
    appendUpper(scratch_, valueName);
    return matches(scratch_);
}

bool BackgroundList::matchesFile(std::string_view path) const {
    if (patterns_.empty()) return false;
    scratch_.clear();
    appendUpper(scratch_, path);
    return matches(scratch_);
}

}  // namespace qv
