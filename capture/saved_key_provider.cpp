#include "capture/saved_key_provider.h"

#include <cstring>
#include <string_view>
#include <utility>

#include "capture/value_rendering.h"
#include "core/registry_types.h"
#include "core/utf.h"

namespace qv {

namespace {

std::string_view keyPath(std::string_view key) {
    if (!key.empty() && key.back() == '\\') key.remove_suffix(1);
    return key;
}

// Whether `path` is `base` or lies below it.
bool within(std::string_view base, std::string_view path) {
    return path.starts_with(base) && (path.size() == base.size() || path[base.size()] == '\\');
}

// Registry names compare without regard to case; the paths a link names are
// ASCII in practice, and a name outside it is read live.
bool sameName(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        char x = a[i], y = b[i];
        if (x >= 'a' && x <= 'z') x = static_cast<char>(x - 0x20);
        if (y >= 'a' && y <= 'z') y = static_cast<char>(y - 0x20);
        if (x != y) return false;
    }
    return true;
}

// Links that lead through links: the registry gives up after a few, and so
// does a save's reader, which then asks the live registry.
constexpr int kMaxLinkHops = 8;

bool savable(int32_t hive) {
    return hive == kHiveLocalMachine || hive == kHiveCurrentUser || hive == kHiveUsers;
}

class SavedKeyProvider final : public RegistryProvider {
public:
    SavedKeyProvider(std::unique_ptr<RegistryProvider> live, std::unique_ptr<RegistrySaver> saver,
                     std::shared_ptr<const EnvironmentExpander> environment)
        : live_(std::move(live)), saver_(std::move(saver)), environment_(std::move(environment)) {}

    bool EnumValues(int32_t hive, const std::string& path, std::vector<std::string>& names,
                    std::vector<uint32_t>& types) override {
        const std::string_view p = keyPath(path);
        if (!mountFor(hive, p)) trySave(hive, p);
        const Found f = find(hive, p);
        if (!f.tree) return live_->EnumValues(hive, path, names, types);
        names.clear();
        types.clear();
        const WineHive::Value* v = f.tree->values(f.node);
        const uint32_t n = f.tree->key(f.node).valueCount;
        for (uint32_t i = 0; i < n; ++i) {
            names.emplace_back(f.tree->valueName(v[i]));
            types.push_back(v[i].type);
        }
        cursor_ = 0;
        return n > 0;
    }

    bool EnumKey(int32_t hive, const std::string& path, std::vector<std::string>& names) override {
        const Found f = find(hive, keyPath(path));
        if (!f.tree) return live_->EnumKey(hive, path, names);
        names.clear();
        if (const auto it = f.mount->saved.liveSubkeys.find(f.node); it != f.mount->saved.liveSubkeys.end()) {
            names = it->second;
        } else {
            for (uint32_t c : f.tree->children(f.node)) names.emplace_back(f.tree->keyName(c));
        }
        return !names.empty();
    }

    KeyAccess keyAccess(int32_t hive, const std::string& path) override {
        return live_->keyAccess(hive, path);
    }

    bool denied(int32_t hive, const std::string& path) override {
        return !find(hive, keyPath(path)).tree && live_->denied(hive, path);
    }

    bool GetRawValue(int32_t hive, const std::string& key, const std::string& name, uint32_t& type,
                     std::string& bytes) override {
        const Found f = find(hive, keyPath(key));
        if (!f.tree) return live_->GetRawValue(hive, key, name, type, bytes);
        const WineHive::Value* v = value(f, name);
        if (!v) return false;
        type = v->type;
        bytes.assign(f.tree->valueData(*v));
        return true;
    }

    bool GetStringValue(int32_t hive, const std::string& key, const std::string& name,
                        std::string& out) override {
        const Found f = find(hive, keyPath(key));
        if (!f.tree) return live_->GetStringValue(hive, key, name, out);
        std::string_view data;
        if (!typed(f, name, kRegSz, data)) return false;
        out = toUtf8(stringDataUnits(data));
        return true;
    }

    bool GetExpandedStringValue(int32_t hive, const std::string& key, const std::string& name,
                                std::string& out) override {
        const Found f = find(hive, keyPath(key));
        if (!f.tree) return live_->GetExpandedStringValue(hive, key, name, out);
        std::string_view data;
        if (!typed(f, name, kRegExpandSz, data)) return false;
        const std::u16string text = stringDataUnits(data);
        if (text.find(u'%') == std::u16string::npos) {
            out = toUtf8(text);
            return true;
        }
        // Asking the live registry would open the key and read all its values
        // again, for each such value; the expansion is the environment's.
        if (!environment_) return live_->GetExpandedStringValue(hive, key, name, out);
        expanded_.clear();
        environment_->expand(text, expanded_);
        out = toUtf8(expanded_);
        return true;
    }

    bool GetBinaryValue(int32_t hive, const std::string& key, const std::string& name,
                        std::vector<uint8_t>& out) override {
        const Found f = find(hive, keyPath(key));
        if (!f.tree) return live_->GetBinaryValue(hive, key, name, out);
        std::string_view data;
        if (!typed(f, name, kRegBinary, data)) return false;
        out.assign(data.begin(), data.end());
        return true;
    }

    bool GetDWORDValue(int32_t hive, const std::string& key, const std::string& name,
                       uint32_t& out) override {
        const Found f = find(hive, keyPath(key));
        if (!f.tree) return live_->GetDWORDValue(hive, key, name, out);
        std::string_view data;
        if (!typed(f, name, kRegDword, data) || data.size() != 4) return false;
        std::memcpy(&out, data.data(), 4);
        return true;
    }

    bool GetMultiStringValue(int32_t hive, const std::string& key, const std::string& name,
                             std::vector<std::string>& out) override {
        const Found f = find(hive, keyPath(key));
        if (!f.tree) return live_->GetMultiStringValue(hive, key, name, out);
        std::string_view data;
        if (!typed(f, name, kRegMultiSz, data)) return false;
        out = multiStringData(data);
        return true;
    }

private:
    struct Mount {
        int32_t hive = 0;
        std::string path;
        SavedKey saved;
        uint64_t lastUse = 0;
    };
    struct Found {
        const Mount* mount = nullptr;
        const WineHive* tree = nullptr;  // nullptr: read it live
        uint32_t node = 0;
    };

    const Mount* mountFor(int32_t hive, std::string_view path) {
        for (const std::unique_ptr<Mount>& m : mounts_) {
            if (m->hive == hive && within(m->path, path)) {
                m->lastUse = ++uses_;
                return m.get();
            }
        }
        return nullptr;
    }

    // Saves the subtree at `path`, unless a save of it or above it failed or
    // came out too large to keep: that subtree is walked, which holds no copy
    // beside the snapshot.
    void trySave(int32_t hive, std::string_view path) {
        if (!savable(hive) || path.empty()) return;
        for (const auto& [h, p] : unsaved_)
            if (h == hive && within(p, path)) return;
        std::optional<SavedKey> saved = saver_->save(hive, std::string(path));
        if (!saved || !saved->tree) {
            unsaved_.emplace_back(hive, std::string(path));
            return;
        }
        keep(std::make_unique<Mount>(Mount{hive, std::string(path), std::move(*saved), ++uses_}));
    }

    // Keeps a new copy, and lets go of the copies used longest ago while they
    // add up to more than the limit. The walk is done with a subtree once it
    // has left it; a copy let go of is read live, or saved again, if a link
    // leads back into it.
    void keep(std::unique_ptr<Mount> mount) {
        uint64_t kept = mount->saved.bytes;
        for (const std::unique_ptr<Mount>& m : mounts_) kept += m->saved.bytes;
        while (kept > kMaxKeptSaveBytes && !mounts_.empty()) {
            auto oldest = mounts_.begin();
            for (auto it = mounts_.begin(); it != mounts_.end(); ++it)
                if ((*it)->lastUse < (*oldest)->lastUse) oldest = it;
            kept -= (*oldest)->saved.bytes;
            mounts_.erase(oldest);
        }
        mounts_.push_back(std::move(mount));
        openMount_ = nullptr;
        open_.clear();
    }

    // The walk asks for a key's values and subkeys before it moves on to the
    // next key, so the keys on the way down stay at hand.
    Found find(int32_t hive, std::string_view path, int hops = 0) {
        const Mount* m = mountFor(hive, path);
        if (!m) return {};
        if (m != openMount_) {
            open_.clear();
            openMount_ = m;
        }
        const WineHive& tree = *m->saved.tree;
        std::string_view rest = path.substr(m->path.size());
        if (!rest.empty()) rest.remove_prefix(1);
        while (!open_.empty() && !open_.back().first.empty() && !within(open_.back().first, rest))
            open_.pop_back();
        if (open_.empty()) {
            if (m->saved.readLive.count(WineHive::kRoot)) return {};
            open_.emplace_back(std::string(), WineHive::kRoot);
        }
        uint32_t node = open_.back().second;
        if (open_.back().first.size() == rest.size()) return {m, &tree, node};
        size_t start = open_.back().first.empty() ? 0 : open_.back().first.size() + 1;
        while (start <= rest.size()) {
            size_t end = rest.find('\\', start);
            if (end == std::string_view::npos) end = rest.size();
            const uint32_t child = tree.child(node, rest.substr(start, end - start));
            if (child == WineHive::kNoKey || m->saved.readLive.count(child)) return {};
            if (tree.key(child).link) return throughLink(hive, tree, child, rest.substr(end), hops);
            node = child;
            open_.emplace_back(std::string(rest.substr(0, end)), node);
            start = end + 1;
        }
        cursor_ = 0;
        return {m, &tree, node};
    }

    // A key below a registry link is its target's key, which a save of the
    // hive often holds too (the 32-bit views of HKEY_LOCAL_MACHINE\Software are
    // links into it). Read live where no save holds the target.
    Found throughLink(int32_t hive, const WineHive& tree, uint32_t link, std::string_view below, int hops) {
        if (hive != kHiveLocalMachine || hops >= kMaxLinkHops) return {};
        const WineHive::Value* v = tree.findValue(link, "SymbolicLinkValue");
        if (!v || v->type != kRegLink) return {};
        const std::string target = toUtf8(stringDataUnits(tree.valueData(*v)));
        constexpr std::string_view kMachine = "\\Registry\\Machine\\";
        if (target.size() <= kMachine.size() || !sameName(std::string_view(target).substr(0, kMachine.size()), kMachine))
            return {};
        std::string resolved = mountedSpelling(hive, std::string_view(target).substr(kMachine.size()));
        // A target that no copy holds (none was made, or it was let go of) is
        // saved now, as the walk's own keys are.
        if (!mountFor(hive, resolved)) trySave(hive, resolved);
        resolved += below;
        return find(hive, resolved, hops + 1);
    }

    // `path` with its first names spelled as a mount spells them: a link's
    // target may differ from the enumerated names in case alone.
    std::string mountedSpelling(int32_t hive, std::string_view path) const {
        for (const std::unique_ptr<Mount>& m : mounts_) {
            if (m->hive != hive || path.size() < m->path.size()) continue;
            if (path.size() > m->path.size() && path[m->path.size()] != '\\') continue;
            if (sameName(path.substr(0, m->path.size()), m->path))
                return m->path + std::string(path.substr(m->path.size()));
        }
        return std::string(path);
    }

    // The walk reads a key's values in the order it listed them.
    const WineHive::Value* value(const Found& f, const std::string& name) {
        const WineHive::Value* v = f.tree->values(f.node);
        const uint32_t n = f.tree->key(f.node).valueCount;
        if (cursor_ < n && f.tree->valueName(v[cursor_]) == name) return &v[cursor_++];
        const WineHive::Value* found = f.tree->findValue(f.node, name);
        if (found) cursor_ = static_cast<uint32_t>(found - v) + 1;
        return found;
    }

    bool typed(const Found& f, const std::string& name, uint32_t type, std::string_view& data) {
        const WineHive::Value* v = value(f, name);
        if (!v || v->type != type) return false;
        data = f.tree->valueData(*v);
        return true;
    }

    std::unique_ptr<RegistryProvider> live_;
    std::unique_ptr<RegistrySaver> saver_;
    std::shared_ptr<const EnvironmentExpander> environment_;
    std::u16string expanded_;
    std::vector<std::unique_ptr<Mount>> mounts_;
    std::vector<std::pair<int32_t, std::string>> unsaved_;
    uint64_t uses_ = 0;
    const Mount* openMount_ = nullptr;
    std::vector<std::pair<std::string, uint32_t>> open_;
    uint32_t cursor_ = 0;
};

}  // namespace

std::unique_ptr<RegistryProvider> makeSavedKeyProvider(std::unique_ptr<RegistryProvider> live,
                                                       std::unique_ptr<RegistrySaver> saver,
                                                       std::shared_ptr<const EnvironmentExpander> environment) {
    return std::make_unique<SavedKeyProvider>(std::move(live), std::move(saver), std::move(environment));
}

}  // namespace qv
