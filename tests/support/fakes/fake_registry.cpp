#include "tests/support/fakes/fake_registry.h"

#include <algorithm>
#include <stdexcept>
#include <unordered_map>

#include "support/failure.h"

namespace qv::testing {

struct FakeRegistry::Value {
    std::string name;
    uint32_t type = 0;
    std::string text;
    std::vector<uint8_t> bytes;
    uint32_t number = 0;
    std::vector<std::string> strings;
};

struct FakeRegistry::Key {
    std::string name;
    std::vector<std::unique_ptr<Key>> subkeys;
    std::vector<Value> values;
    std::unordered_map<std::string, size_t> index;  // folded value name -> position
    bool unreadable = false;
};

namespace {

std::string folded(std::string_view text) {
    std::string out(text);
    for (char& c : out)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return out;
}

bool sameName(std::string_view a, std::string_view b) {
    return folded(a) == folded(b);
}

// Path components; a trailing "\" names the same key, an empty component none.
bool splitPath(std::string_view path, std::vector<std::string_view>& parts) {
    if (!path.empty() && path.back() == '\\') path.remove_suffix(1);
    for (size_t start = 0; !path.empty();) {
        const size_t end = path.find('\\', start);
        const std::string_view part = path.substr(start, end == std::string_view::npos ? end : end - start);
        if (part.empty()) return false;
        parts.push_back(part);
        if (end == std::string_view::npos) break;
        start = end + 1;
    }
    return true;
}

std::string foldedKeyPath(std::string_view path) {
    std::string p = folded(path);
    if (!p.empty() && p.back() == '\\') p.pop_back();
    return p;
}

}  // namespace

FakeRegistry::FakeRegistry() = default;
FakeRegistry::~FakeRegistry() = default;

FakeRegistry::Key* FakeRegistry::find(int32_t hive, std::string_view path, bool create) {
    std::vector<std::string_view> parts;
    if (!splitPath(path, parts)) {
        if (create) throw std::invalid_argument("bad fake registry path");
        return nullptr;
    }
    auto& root = hives_[hive];
    if (!root && !create) return nullptr;
    if (!root) root = std::make_unique<Key>();
    Key* key = root.get();
    for (std::string_view part : parts) {
        auto it = std::find_if(key->subkeys.begin(), key->subkeys.end(),
                               [&](const auto& k) { return sameName(k->name, part); });
        if (it == key->subkeys.end()) {
            if (!create) return nullptr;
            key->subkeys.push_back(std::make_unique<Key>(Key{std::string(part), {}, {}, {}, false}));
            it = std::prev(key->subkeys.end());
        }
        key = it->get();
    }
    return key;
}

void FakeRegistry::addKey(int32_t hive, std::string_view path) {
    find(hive, path, true);
}

FakeRegistry::Value& FakeRegistry::putValue(int32_t hive, std::string_view path, std::string_view name,
                                            uint32_t type) {
    Key& key = *find(hive, path, true);
    auto [it, added] = key.index.emplace(folded(name), key.values.size());
    Value& v = added ? key.values.emplace_back() : key.values[it->second];
    v = Value{std::string(name), type, {}, {}, 0, {}};
    return v;
}

void FakeRegistry::addValue(int32_t hive, std::string_view path, std::string_view name, uint32_t type,
                            std::string text) {
    putValue(hive, path, name, type).text = std::move(text);
}

void FakeRegistry::addBinary(int32_t hive, std::string_view path, std::string_view name,
                             std::vector<uint8_t> bytes) {
    putValue(hive, path, name, kRegBinary).bytes = std::move(bytes);
}

void FakeRegistry::addDword(int32_t hive, std::string_view path, std::string_view name, uint32_t number) {
    putValue(hive, path, name, kRegDword).number = number;
}

void FakeRegistry::addMultiString(int32_t hive, std::string_view path, std::string_view name,
                                  std::vector<std::string> strings) {
    putValue(hive, path, name, kRegMultiSz).strings = std::move(strings);
}

void FakeRegistry::failRead(int32_t hive, std::string_view path, std::string_view name) {
    failedReads_.emplace(hive, foldedKeyPath(path), folded(name));
}

void FakeRegistry::makeUnreadable(int32_t hive, std::string_view path) {
    find(hive, path, true)->unreadable = true;
}

bool FakeRegistry::EnumValues(int32_t hive, const std::string& path, std::vector<std::string>& names,
                              std::vector<uint32_t>& types) {
    names.clear();
    types.clear();
    const Key* key = find(hive, path, false);
    if (!key || key->unreadable || key->values.empty()) return false;
    for (const Value& v : key->values) {
        names.push_back(v.name);
        types.push_back(v.type);
    }
    return true;
}

bool FakeRegistry::EnumKey(int32_t hive, const std::string& path, std::vector<std::string>& names) {
    names.clear();
    const Key* key = find(hive, path, false);
    if (!key || key->unreadable || key->subkeys.empty()) return false;
    for (const auto& k : key->subkeys) names.push_back(k->name);
    return true;
}

const FakeRegistry::Value* FakeRegistry::readable(int32_t hive, const std::string& keyPath,
                                                  const std::string& name, uint32_t type) {
    ++readCalls;
    const Key* key = find(hive, keyPath, false);
    if (!key || key->unreadable || failedReads_.count({hive, foldedKeyPath(keyPath), folded(name)}))
        return nullptr;
    auto it = key->index.find(folded(name));
    if (it == key->index.end()) return nullptr;
    const Value& v = key->values[it->second];
    return v.type == type ? &v : nullptr;
}

bool FakeRegistry::GetStringValue(int32_t hive, const std::string& key, const std::string& name,
                                  std::string& out) {
    const Value* v = readable(hive, key, name, kRegSz);
    if (v) out = v->text;
    return v;
}

bool FakeRegistry::GetExpandedStringValue(int32_t hive, const std::string& key, const std::string& name,
                                          std::string& out) {
    const Value* v = readable(hive, key, name, kRegExpandSz);
    if (v) out = v->text;
    return v;
}

bool FakeRegistry::GetBinaryValue(int32_t hive, const std::string& key, const std::string& name,
                                  std::vector<uint8_t>& out) {
    const Value* v = readable(hive, key, name, kRegBinary);
    if (v) out = v->bytes;
    return v;
}

bool FakeRegistry::GetDWORDValue(int32_t hive, const std::string& key, const std::string& name,
                                 uint32_t& out) {
    const Value* v = readable(hive, key, name, kRegDword);
    if (v) out = v->number;
    return v;
}

bool FakeRegistry::GetMultiStringValue(int32_t hive, const std::string& key, const std::string& name,
                                       std::vector<std::string>& out) {
    const Value* v = readable(hive, key, name, kRegMultiSz);
    if (v) out = v->strings;
    return v;
}

namespace {

class ForwardingProvider : public RegistryProvider {
public:
    ForwardingProvider(FakeRegistry& registry, long& live) : r_(registry), live_(live) { ++live_; }
    ~ForwardingProvider() override { --live_; }

    using S = const std::string&;
    bool EnumValues(int32_t h, S p, std::vector<std::string>& n, std::vector<uint32_t>& t) override {
        return r_.EnumValues(h, p, n, t);
    }
    bool EnumKey(int32_t h, S p, std::vector<std::string>& n) override { return r_.EnumKey(h, p, n); }
    bool GetStringValue(int32_t h, S k, S n, std::string& o) override {
        return r_.GetStringValue(h, k, n, o);
    }
    bool GetExpandedStringValue(int32_t h, S k, S n, std::string& o) override {
        return r_.GetExpandedStringValue(h, k, n, o);
    }
    bool GetBinaryValue(int32_t h, S k, S n, std::vector<uint8_t>& o) override {
        return r_.GetBinaryValue(h, k, n, o);
    }
    bool GetDWORDValue(int32_t h, S k, S n, uint32_t& o) override { return r_.GetDWORDValue(h, k, n, o); }
    bool GetMultiStringValue(int32_t h, S k, S n, std::vector<std::string>& o) override {
        return r_.GetMultiStringValue(h, k, n, o);
    }

private:
    FakeRegistry& r_;
    long& live_;
};

}  // namespace

std::unique_ptr<RegistryProvider> FakeRegistrySource::connect() {
    ++connects;
    if (failConnect) fail(-2147217405, "Access denied");  // WBEM_E_ACCESS_DENIED
    return std::make_unique<ForwardingProvider>(registry_, live);
}

}  // namespace qv::testing
