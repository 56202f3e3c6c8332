#include "capture/wine_registry_provider.h"

#include <cstring>
#if defined(__GLIBC__)
#include <malloc.h>
#endif
#include <optional>
#include <string_view>
#include <system_error>

#include "capture/environment_expansion.h"
#include "core/failure.h"
#include "capture/value_rendering.h"
#include "core/registry_types.h"
#include "core/utf.h"
#include "core/whole_file.h"

namespace qv {

namespace {

constexpr const char* kFiles[] = {"system.reg", "user.reg", "userdef.reg"};
// A chain of links longer than this is a loop; the key then cannot be opened.
constexpr int kMaxLinkHops = 16;

std::string_view keyPath(std::string_view key) {
    if (!key.empty() && key.back() == '\\') key.remove_suffix(1);
    return key;
}

std::u16string foldAscii(std::u16string_view name) {
    std::u16string folded(name);
    for (char16_t& c : folded)
        if (c >= u'a' && c <= u'z') c = static_cast<char16_t>(c - u'a' + u'A');
    return folded;
}

// A key of one of the hives, or the root of HKEY_USERS, which Wine makes up
// of the two user hives.
struct Node {
    const WineHive* hive = nullptr;  // nullptr: the root of HKEY_USERS
    uint32_t key = 0;
};

class WineRegistryProvider final : public RegistryProvider {
public:
    WineRegistryProvider(std::shared_ptr<const WinePrefixHives> hives, EnvironmentList host)
        : hives_(std::move(hives)), host_(std::move(host)) {}

    bool EnumValues(int32_t hive, const std::string& path, std::vector<std::string>& names,
                    std::vector<uint32_t>& types) override {
        names.clear();
        types.clear();
        const std::optional<Node> node = select(hive, keyPath(path));
        if (!node || !node->hive) return false;
        const WineHive& h = *node->hive;
        const WineHive::Value* v = h.values(node->key);
        const uint32_t n = h.key(node->key).valueCount;
        names.reserve(n);
        types.reserve(n);
        for (uint32_t i = 0; i < n; ++i) {
            names.emplace_back(h.valueName(v[i]));
            types.push_back(v[i].type);
        }
        cursor_ = 0;
        return n > 0;
    }

    bool EnumKey(int32_t hive, const std::string& path, std::vector<std::string>& names) override {
        names.clear();
        const std::optional<Node> node = select(hive, keyPath(path));
        if (!node) return false;
        if (!node->hive) {
            // Wine lists a key's subkeys in name order: ".Default" before any SID.
            if (hives_->userDefault.keyCount() > 1 || hives_->userDefault.valueCount()) names.emplace_back(".Default");
            if (!hives_->userSid.empty()) names.push_back(hives_->userSid);
            return !names.empty();
        }
        const WineHive& h = *node->hive;
        for (uint32_t c : h.children(node->key)) names.emplace_back(h.keyName(c));
        return !names.empty();
    }

    KeyAccess keyAccess(int32_t hive, const std::string& path) override {
        return select(hive, keyPath(path)) ? KeyAccess::Readable : KeyAccess::Missing;
    }

    size_t expectedEntries(int32_t hive, const std::string& path) override {
        const std::optional<Node> node = select(hive, keyPath(path));
        if (!node) return 0;
        if (node->hive) return node->hive->entriesBelow(node->key);
        return hives_->userDefault.entriesBelow(WineHive::kRoot) + hives_->user.entriesBelow(WineHive::kRoot);
    }

    bool GetRawValue(int32_t hive, const std::string& key, const std::string& name, uint32_t& type,
                     std::string& bytes) override {
        const WineHive* h = nullptr;
        const WineHive::Value* v = find(hive, key, name, h);
        if (!v) return false;
        type = v->type;
        bytes.assign(h->valueData(*v));
        return true;
    }

    bool viewsValueBytes() const override { return true; }
    bool GetRawValueView(int32_t hive, const std::string& key, const std::string& name, uint32_t& type,
                         std::string_view& bytes) override {
        const WineHive* h = nullptr;
        const WineHive::Value* v = find(hive, key, name, h);
        if (!v) return false;
        type = v->type;
        bytes = h->valueData(*v);
        return true;
    }

    bool GetStringValue(int32_t hive, const std::string& key, const std::string& name,
                        std::string& out) override {
        std::string_view data;
        if (!typed(hive, key, name, kRegSz, data)) return false;
        out = toUtf8(stringDataUnits(data));
        return true;
    }

    bool GetExpandedStringValue(int32_t hive, const std::string& key, const std::string& name,
                                std::string& out) override {
        std::string_view data;
        if (!typed(hive, key, name, kRegExpandSz, data)) return false;
        const std::u16string text = stringDataUnits(data);
        if (text.find(u'%') == std::u16string::npos) {
            out = toUtf8(text);
            return true;
        }
        std::u16string expanded;
        environment().expand(text, expanded);
        out = toUtf8(expanded);
        return true;
    }

    bool GetBinaryValue(int32_t hive, const std::string& key, const std::string& name,
                        std::vector<uint8_t>& out) override {
        std::string_view data;
        if (!typed(hive, key, name, kRegBinary, data)) return false;
        out.assign(data.begin(), data.end());
        return true;
    }

    bool GetDWORDValue(int32_t hive, const std::string& key, const std::string& name, uint32_t& out) override {
        std::string_view data;
        if (!typed(hive, key, name, kRegDword, data) || data.size() != 4) return false;
        std::memcpy(&out, data.data(), 4);
        return true;
    }

    bool GetMultiStringValue(int32_t hive, const std::string& key, const std::string& name,
                             std::vector<std::string>& out) override {
        std::string_view data;
        if (!typed(hive, key, name, kRegMultiSz, data)) return false;
        out = multiStringData(data);
        return true;
    }

private:
    bool typed(int32_t hive, const std::string& key, const std::string& name, uint32_t type, std::string_view& data) {
        const WineHive* h = nullptr;
        const WineHive::Value* v = find(hive, key, name, h);
        if (!v || v->type != type) return false;
        data = h->valueData(*v);
        return true;
    }

    // The walk reads a key's values in the order it listed them, so the next
    // one is tried first.
    const WineHive::Value* find(int32_t hive, const std::string& key, const std::string& name, const WineHive*& h) {
        const std::optional<Node> node = select(hive, keyPath(key));
        if (!node || !node->hive) return nullptr;
        h = node->hive;
        const WineHive::Value* v = h->values(node->key);
        const uint32_t n = h->key(node->key).valueCount;
        if (cursor_ < n && h->valueName(v[cursor_]) == name) return &v[cursor_++];
        const WineHive::Value* found = h->findValue(node->key, name);
        if (found) cursor_ = static_cast<uint32_t>(found - v) + 1;
        return found;
    }

    // The key at `path` below a root, remembered with its ancestors: the walk
    // asks for a key's values and subkeys, then for each subkey in turn.
    std::optional<Node> select(int32_t hive, std::string_view path) {
        if (hive != openHive_) {
            open_.clear();
            openHive_ = hive;
        }
        while (!open_.empty()) {
            const std::string& p = open_.back().first;
            if (path == p) return open_.back().second;
            if (p.empty() || (path.size() > p.size() && path.starts_with(p) && path[p.size()] == '\\')) break;
            open_.pop_back();
        }
        std::optional<Node> node;
        size_t start = 0;
        if (open_.empty()) {
            node = root(hive);
            if (!node) return std::nullopt;
            if (path.empty()) {
                open_.emplace_back(std::string(), *node);
                return node;
            }
        } else {
            node = open_.back().second;
            start = open_.back().first.empty() ? 0 : open_.back().first.size() + 1;
        }
        // Cursor_ belongs to the key last enumerated; a new key starts afresh.
        cursor_ = 0;
        while (start <= path.size()) {
            size_t end = path.find('\\', start);
            if (end == std::string_view::npos) end = path.size();
            node = descend(*node, path.substr(start, end - start), 0);
            if (!node) return std::nullopt;
            open_.emplace_back(std::string(path.substr(0, end)), *node);
            start = end + 1;
        }
        return node;
    }

    std::optional<Node> root(int32_t hive) const {
        const WineHive& m = hives_->machine;
        switch (hive) {
            case kHiveLocalMachine:
                return Node{&m, WineHive::kRoot};
            case kHiveCurrentUser:
                return Node{&hives_->user, WineHive::kRoot};
            case kHiveUsers:
                return Node{nullptr, 0};
            case kHiveClassesRoot:
                return path(Node{&m, WineHive::kRoot}, "Software\\Classes", 0);
            case kHiveCurrentConfig:
                return path(Node{&m, WineHive::kRoot}, "System\\CurrentControlSet\\Hardware Profiles\\Current", 0);
            default:
                return std::nullopt;
        }
    }

    std::optional<Node> path(Node node, std::string_view rest, int hops) const {
        while (!rest.empty()) {
            const size_t end = rest.find('\\');
            const std::string_view name = rest.substr(0, end);
            rest = end == std::string_view::npos ? std::string_view() : rest.substr(end + 1);
            if (name.empty()) continue;
            const std::optional<Node> next = descend(node, name, hops);
            if (!next) return std::nullopt;
            node = *next;
        }
        return node;
    }

    // The subkey `name` of `node`, through the link where it is one.
    std::optional<Node> descend(Node node, std::string_view name, int hops) const {
        if (!node.hive) {
            if (registryNamesEqual(name, ".Default")) return Node{&hives_->userDefault, WineHive::kRoot};
            if (!hives_->userSid.empty() && registryNamesEqual(name, hives_->userSid))
                return Node{&hives_->user, WineHive::kRoot};
            return std::nullopt;
        }
        const uint32_t k = node.hive->child(node.key, name);
        if (k == WineHive::kNoKey) return std::nullopt;
        Node child{node.hive, k};
        if (!node.hive->key(k).link) return child;
        if (hops >= kMaxLinkHops) return std::nullopt;
        const WineHive::Value* target = node.hive->findValue(k, "SymbolicLinkValue");
        if (!target || target->type != kRegLink) return std::nullopt;
        return absolute(toUtf8(stringDataUnits(node.hive->valueData(*target))), hops + 1);
    }

    // A link's target: "\Registry\Machine\..." or "\Registry\User\<name>\...".
    std::optional<Node> absolute(std::string_view target, int hops) const {
        constexpr std::string_view kRegistry = "\\Registry\\";
        if (target.size() < kRegistry.size() || !registryNamesEqual(target.substr(0, kRegistry.size()), kRegistry))
            return std::nullopt;
        target.remove_prefix(kRegistry.size());
        const size_t end = target.find('\\');
        const std::string_view top = target.substr(0, end);
        const std::string_view rest = end == std::string_view::npos ? std::string_view() : target.substr(end + 1);
        if (registryNamesEqual(top, "Machine")) return path(Node{&hives_->machine, WineHive::kRoot}, rest, hops);
        if (registryNamesEqual(top, "User")) return path(Node{nullptr, 0}, rest, hops);
        return std::nullopt;
    }

    // The variables a program started in the prefix sees: the host's, then
    // the system's and the user's from the registry, as Wine builds them.
    const EnvironmentExpander& environment() {
        if (environment_) return *environment_;
        EnvironmentList vars = host_;
        auto set = [&](std::u16string name, std::u16string value) {
            const std::u16string folded = foldAscii(name);
            for (auto& [n, v] : vars) {
                if (foldAscii(n) == folded) {
                    v = std::move(value);
                    return;
                }
            }
            vars.emplace_back(std::move(name), std::move(value));
        };
        auto fromKey = [&](const WineHive& h, std::string_view at) {
            const std::optional<Node> node = path(Node{&h, WineHive::kRoot}, at, 0);
            if (!node) return;
            const WineHive::Value* v = h.values(node->key);
            for (uint32_t i = 0; i < h.key(node->key).valueCount; ++i) {
                if (v[i].type != kRegSz && v[i].type != kRegExpandSz) continue;
                std::u16string value = stringDataUnits(h.valueData(v[i]));
                if (v[i].type == kRegExpandSz) {
                    std::u16string expanded;
                    EnvironmentExpander(vars, foldAscii).expand(value, expanded);
                    value = std::move(expanded);
                }
                set(toUtf16(h.valueName(v[i])), std::move(value));
            }
        };
        std::u16string user = u"user";
        for (const auto& [n, v] : host_)
            if (n == u"USER") user = v;
        set(u"SystemDrive", u"C:");
        set(u"SystemRoot", u"C:\\windows");
        set(u"windir", u"C:\\windows");
        set(u"ProgramData", u"C:\\ProgramData");
        set(u"ALLUSERSPROFILE", u"C:\\ProgramData");
        set(u"PUBLIC", u"C:\\users\\Public");
        set(u"USERNAME", user);
        set(u"USERPROFILE", u"C:\\users\\" + user);
        set(u"APPDATA", u"C:\\users\\" + user + u"\\AppData\\Roaming");
        set(u"LOCALAPPDATA", u"C:\\users\\" + user + u"\\AppData\\Local");
        // Wine names the program folders after these values.
        if (const std::optional<Node> cv = path(Node{&hives_->machine, WineHive::kRoot},
                                                "Software\\Microsoft\\Windows\\CurrentVersion", 0)) {
            constexpr std::pair<const char*, const char16_t*> kFolders[] = {
                {"ProgramFilesDir", u"ProgramFiles"},
                {"ProgramFilesDir (x86)", u"ProgramFiles(x86)"},
                {"ProgramW6432Dir", u"ProgramW6432"},
                {"CommonFilesDir", u"CommonProgramFiles"},
                {"CommonFilesDir (x86)", u"CommonProgramFiles(x86)"},
                {"CommonW6432Dir", u"CommonProgramW6432"}};
            for (const auto& [valueName, variable] : kFolders)
                if (const WineHive::Value* v = hives_->machine.findValue(cv->key, valueName); v && v->type == kRegSz)
                    set(variable, stringDataUnits(hives_->machine.valueData(*v)));
        }
        fromKey(hives_->machine, "System\\CurrentControlSet\\Control\\Session Manager\\Environment");
        fromKey(hives_->user, "Environment");
        environment_.emplace(vars, foldAscii);
        return *environment_;
    }

    std::shared_ptr<const WinePrefixHives> hives_;
    EnvironmentList host_;
    int32_t openHive_ = 0;
    std::vector<std::pair<std::string, Node>> open_;
    uint32_t cursor_ = 0;
    std::optional<EnvironmentExpander> environment_;
};

}  // namespace

bool loadPrefixHives(const std::filesystem::path& prefix, WinePrefixHives& hives, std::string& error) {
    WineHive* targets[] = {&hives.machine, &hives.user, &hives.userDefault};
    for (int i = 0; i < 3; ++i) {
        const std::filesystem::path file = prefix / kFiles[i];
        std::string why;
        bool missing = false;
        RegularFileReader reader;
        if (!reader.open(file.string(), &why, &missing)) {
            if (missing && i > 0) {
                std::string none;
                targets[i]->parse("WINE REGISTRY Version 2\n", file.string(), none);
                continue;
            }
            error = "cannot read " + file.string() + ": " + why;
            return false;
        }
        // Read a block at a time: the file's text is never held whole.
        const WineHive::ReadBytes read = [&reader](char* into, size_t room, size_t& got, std::string& reason) {
            return reader.read(into, room, got, &reason);
        };
        if (!targets[i]->parse(read, file.string(), error)) return false;
    }
#if defined(__GLIBC__)
    // The arenas grew by doubling while they were read, and what they outgrew
    // is free but, in a heap that is never trimmed (quorvel-cli asks glibc
    // for that, for speed), still resident: given back once, here, so that a
    // hive costs about its own size.
    malloc_trim(0);
#endif
    hives.userSid.clear();
    // ";; All keys relative to REGISTRY\\User\\S-1-5-21-0-0-0-1000": the hive's own name is the last.
    const std::string& relative = hives.user.relativeTo();
    const size_t slash = relative.rfind('\\');
    if (slash != std::string::npos && slash + 1 < relative.size() &&
        foldRegistryName(relative.substr(0, slash + 1)).ends_with("USER\\"))
        hives.userSid = relative.substr(slash + 1);
    return true;
}

std::unique_ptr<RegistryProvider> makeWineRegistryProvider(std::shared_ptr<const WinePrefixHives> hives,
                                                           EnvironmentList host) {
    return std::make_unique<WineRegistryProvider>(std::move(hives), std::move(host));
}

bool WineRegistryProviderSource::load(std::string& error) {
    std::vector<std::filesystem::file_time_type> stamps;
    for (const char* name : kFiles) {
        std::error_code ec;
        stamps.push_back(std::filesystem::last_write_time(prefix_ / name, ec));
    }
    if (hives_ && stamps == stamps_) return true;
    auto hives = std::make_shared<WinePrefixHives>();
    if (!loadPrefixHives(prefix_, *hives, error)) return false;
    hives_ = std::move(hives);
    stamps_ = std::move(stamps);
    return true;
}

std::unique_ptr<RegistryProvider> WineRegistryProviderSource::connect() {
    std::string error;
    if (!load(error)) fail(75, error);
    return makeWineRegistryProvider(hives_, host_);
}

}  // namespace qv
