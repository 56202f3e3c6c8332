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
    std::unordered_map<std::string, size_t> valueIndex;  // folded name -> position in values
    bool unreadable = false;

    Value* value(std::string_view valueName);
    void reindex();
};

namespace {

char foldedChar(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

std::string folded(std::string_view text) {
    std::string out(text);
    for (char& c : out) c = foldedChar(c);
    return out;
}

bool sameName(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (foldedChar(a[i]) != foldedChar(b[i])) return false;
    return true;
}

// Path components; a trailing "\" names the same key, a leading one names none.
bool splitPath(std::string_view path, std::vector<std::string_view>& parts) {
    parts.clear();
    if (!path.empty() && path.back() == '\\') path.remove_suffix(1);
    if (path.empty()) return true;
    size_t start = 0;
    while (true) {
        const size_t end = path.find('\\', start);
        std::string_view part =
            path.substr(start, end == std::string_view::npos ? std::string_view::npos : end - start);
        if (part.empty()) return false;
        parts.push_back(part);
        if (end == std::string_view::npos) return true;
        start = end + 1;
    }
}

}  // namespace

FakeRegistry::Value* FakeRegistry::Key::value(std::string_view valueName) {
    auto it = valueIndex.find(folded(valueName));
    return it == valueIndex.end() ? nullptr : &values[it->second];
}

void FakeRegistry::Key::reindex() {
    valueIndex.clear();
    for (size_t i = 0; i < values.size(); ++i) valueIndex.emplace(folded(values[i].name), i);
}

FakeRegistry::FakeRegistry() = default;
FakeRegistry::~FakeRegistry() = default;

FakeRegistry::Key* FakeRegistry::find(int32_t hive, std::string_view path) {
    std::vector<std::string_view> parts;
    if (!splitPath(path, parts)) return nullptr;
    auto h = std::find_if(hives_.begin(), hives_.end(), [&](const auto& e) { return e.first == hive; });
    if (h == hives_.end()) return nullptr;
    Key* key = h->second.get();
    for (std::string_view part : parts) {
        auto it = std::find_if(key->subkeys.begin(), key->subkeys.end(),
                               [&](const auto& k) { return sameName(k->name, part); });
        if (it == key->subkeys.end()) return nullptr;
        key = it->get();
    }
    return key;
}

FakeRegistry::Key& FakeRegistry::make(int32_t hive, std::string_view path) {
    std::vector<std::string_view> parts;
    if (!splitPath(path, parts)) throw std::invalid_argument("bad fake registry path");
    auto h = std::find_if(hives_.begin(), hives_.end(), [&](const auto& e) { return e.first == hive; });
    if (h == hives_.end()) {
        hives_.emplace_back(hive, std::make_unique<Key>());
        h = std::prev(hives_.end());
    }
    Key* key = h->second.get();
    for (std::string_view part : parts) {
        auto it = std::find_if(key->subkeys.begin(), key->subkeys.end(),
                               [&](const auto& k) { return sameName(k->name, part); });
        if (it == key->subkeys.end()) {
            key->subkeys.push_back(std::make_unique<Key>());
            key->subkeys.back()->name = part;
            it = std::prev(key->subkeys.end());
        }
        key = it->get();
    }
    return *key;
}

void FakeRegistry::addKey(int32_t hive, std::string_view path) {
    make(hive, path);
}

FakeRegistry::Value& FakeRegistry::putValue(int32_t hive, std::string_view path, std::string_view name,
                                            uint32_t type) {
    Key& key = make(hive, path);
    Value* v = key.value(name);
    if (!v) {
        key.valueIndex.emplace(folded(name), key.values.size());
        v = &key.values.emplace_back();
    }
    *v = Value{};
    v->name = name;
    v->type = type;
    return *v;
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

bool FakeRegistry::removeValue(int32_t hive, std::string_view path, std::string_view name) {
    Key* key = find(hive, path);
    if (!key) return false;
    Value* v = key->value(name);
    if (!v) return false;
    key->values.erase(key->values.begin() + (v - key->values.data()));
    key->reindex();
    return true;
}

bool FakeRegistry::removeKey(int32_t hive, std::string_view path) {
    std::vector<std::string_view> parts;
    if (!splitPath(path, parts) || parts.empty()) return false;
    const size_t lastSeparator = path.substr(0, path.size() - (path.back() == '\\' ? 1 : 0)).rfind('\\');
    Key* parent = find(
        hive, lastSeparator == std::string_view::npos ? std::string_view() : path.substr(0, lastSeparator));
    if (!parent) return false;
    auto it = std::find_if(parent->subkeys.begin(), parent->subkeys.end(),
                           [&](const auto& k) { return sameName(k->name, parts.back()); });
    if (it == parent->subkeys.end()) return false;
    parent->subkeys.erase(it);
    return true;
}

void FakeRegistry::failRead(int32_t hive, std::string_view path, std::string_view name) {
    std::string p = folded(path);
    if (!p.empty() && p.back() == '\\') p.pop_back();
    failedReads_.emplace(hive, p, folded(name));
}

void FakeRegistry::makeUnreadable(int32_t hive, std::string_view path) {
    make(hive, path).unreadable = true;
}

bool FakeRegistry::EnumValues(int32_t hive, const std::string& path, std::vector<std::string>& names,
                              std::vector<uint32_t>& types) {
    ++calls;
    ++enumValuesCalls;
    names.clear();
    types.clear();
    const Key* key = find(hive, path);
    if (!key || key->unreadable || key->values.empty()) return false;
    for (const Value& v : key->values) {
        names.push_back(v.name);
        types.push_back(v.type);
    }
    return true;
}

bool FakeRegistry::EnumKey(int32_t hive, const std::string& path, std::vector<std::string>& names) {
    ++calls;
    ++enumKeyCalls;
    names.clear();
    const Key* key = find(hive, path);
    if (!key || key->unreadable || key->subkeys.empty()) return false;
    for (const auto& k : key->subkeys) names.push_back(k->name);
    return true;
}

const FakeRegistry::Value* FakeRegistry::readable(int32_t hive, const std::string& keyPath,
                                                  const std::string& name, uint32_t type) {
    ++calls;
    ++readCalls;
    if (failAllReads) return nullptr;
    Key* key = find(hive, keyPath);
    if (!key || key->unreadable) return nullptr;
    if (!failedReads_.empty()) {
        std::string p = folded(keyPath);
        if (!p.empty() && p.back() == '\\') p.pop_back();
        if (failedReads_.count({hive, p, folded(name)})) return nullptr;
    }
    const Value* v = key->value(name);
    return v && v->type == type ? v : nullptr;
}

bool FakeRegistry::GetStringValue(int32_t hive, const std::string& key, const std::string& name,
                                  std::string& out) {
    const Value* v = readable(hive, key, name, kRegSz);
    if (!v) return false;
    out = v->text;
    return true;
}

bool FakeRegistry::GetExpandedStringValue(int32_t hive, const std::string& key, const std::string& name,
                                          std::string& out) {
    const Value* v = readable(hive, key, name, kRegExpandSz);
    if (!v) return false;
    out = v->text;
    return true;
}

bool FakeRegistry::GetBinaryValue(int32_t hive, const std::string& key, const std::string& name,
                                  std::vector<uint8_t>& out) {
    const Value* v = readable(hive, key, name, kRegBinary);
    if (!v) return false;
    out = v->bytes;
    return true;
}

bool FakeRegistry::GetDWORDValue(int32_t hive, const std::string& key, const std::string& name,
                                 uint32_t& out) {
    const Value* v = readable(hive, key, name, kRegDword);
    if (!v) return false;
    out = v->number;
    return true;
}

bool FakeRegistry::GetMultiStringValue(int32_t hive, const std::string& key, const std::string& name,
                                       std::vector<std::string>& out) {
    const Value* v = readable(hive, key, name, kRegMultiSz);
    if (!v) return false;
    out = v->strings;
    return true;
}

namespace {

class ForwardingProvider : public RegistryProvider {
public:
    ForwardingProvider(FakeRegistry& registry, long& live) : registry_(registry), live_(live) { ++live_; }
    ~ForwardingProvider() override { --live_; }

    bool EnumValues(int32_t h, const std::string& p, std::vector<std::string>& n,
                    std::vector<uint32_t>& t) override {
        return registry_.EnumValues(h, p, n, t);
    }
    bool EnumKey(int32_t h, const std::string& p, std::vector<std::string>& n) override {
        return registry_.EnumKey(h, p, n);
    }
    bool GetStringValue(int32_t h, const std::string& k, const std::string& n, std::string& o) override {
        return registry_.GetStringValue(h, k, n, o);
    }
    bool GetExpandedStringValue(int32_t h, const std::string& k, const std::string& n,
                                std::string& o) override {
        return registry_.GetExpandedStringValue(h, k, n, o);
    }
    bool GetBinaryValue(int32_t h, const std::string& k, const std::string& n,
                        std::vector<uint8_t>& o) override {
        return registry_.GetBinaryValue(h, k, n, o);
    }
    bool GetDWORDValue(int32_t h, const std::string& k, const std::string& n, uint32_t& o) override {
        return registry_.GetDWORDValue(h, k, n, o);
    }
    bool GetMultiStringValue(int32_t h, const std::string& k, const std::string& n,
                             std::vector<std::string>& o) override {
        return registry_.GetMultiStringValue(h, k, n, o);
    }

private:
    FakeRegistry& registry_;
    long& live_;
};

}  // namespace

std::unique_ptr<RegistryProvider> FakeRegistrySource::connect() {
    ++connects;
    if (failConnect) fail(connectErrorNumber, connectErrorText);
    return std::make_unique<ForwardingProvider>(registry_, live);
}

}  // namespace qv::testing
