#include "tests/support/fakes/fake_registry.h"

#include <stdexcept>

#include "core/failure.h"

namespace qv::testing {
namespace {

std::string folded(std::string_view text) {
    std::string out(text);
    for (char& c : out)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return out;
}

// A trailing "\" names the same key; an empty component names none.
bool validPath(std::string_view path) {
    return !path.starts_with('\\') && !path.ends_with('\\') && path.find("\\\\") == std::string_view::npos;
}

std::string_view withoutTrailingSlash(std::string_view path) {
    if (!path.empty() && path.back() == '\\') path.remove_suffix(1);
    return path;
}

template <class T, class V>
bool copyOut(const V* value, T V::*field, T& out) {
    if (value) out = value->*field;
    return value != nullptr;
}

}  // namespace

FakeRegistry::Key* FakeRegistry::find(int32_t hive, std::string_view path, bool create) {
    path = withoutTrailingSlash(path);
    if (!validPath(path)) {
        if (create) throw std::invalid_argument("bad fake registry path");
        return nullptr;
    }
    const std::pair<int32_t, std::string> id{hive, folded(path)};
    auto it = keys_.find(id);
    if (it != keys_.end()) return &it->second;
    if (!create) return nullptr;
    if (!path.empty()) {
        const size_t slash = path.rfind('\\');
        const std::string_view parent = slash == std::string_view::npos ? "" : path.substr(0, slash);
        find(hive, parent, true)
            ->subkeys.emplace_back(path.substr(slash == std::string_view::npos ? 0 : slash + 1));
    }
    return &keys_[id];
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
    failedReads_.emplace(hive, folded(withoutTrailingSlash(path)), folded(name));
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
    const Key* key = find(hive, path, false);
    names = key && !key->unreadable ? key->subkeys : std::vector<std::string>{};
    return !names.empty();
}

const FakeRegistry::Value* FakeRegistry::readable(int32_t hive, const std::string& keyPath,
                                                  const std::string& name, uint32_t type) {
    ++readCalls;
    const Key* key = find(hive, keyPath, false);
    if (!key || key->unreadable ||
        failedReads_.count({hive, folded(withoutTrailingSlash(keyPath)), folded(name)}))
        return nullptr;
    auto it = key->index.find(folded(name));
    if (it == key->index.end()) return nullptr;
    const Value& v = key->values[it->second];
    return v.type == type ? &v : nullptr;
}

bool FakeRegistry::GetStringValue(int32_t hive, const std::string& key, const std::string& name,
                                  std::string& out) {
    return copyOut(readable(hive, key, name, kRegSz), &Value::text, out);
}

bool FakeRegistry::GetExpandedStringValue(int32_t hive, const std::string& key, const std::string& name,
                                          std::string& out) {
    return copyOut(readable(hive, key, name, kRegExpandSz), &Value::text, out);
}

bool FakeRegistry::GetBinaryValue(int32_t hive, const std::string& key, const std::string& name,
                                  std::vector<uint8_t>& out) {
    return copyOut(readable(hive, key, name, kRegBinary), &Value::bytes, out);
}

bool FakeRegistry::GetDWORDValue(int32_t hive, const std::string& key, const std::string& name,
                                 uint32_t& out) {
    return copyOut(readable(hive, key, name, kRegDword), &Value::number, out);
}

bool FakeRegistry::GetMultiStringValue(int32_t hive, const std::string& key, const std::string& name,
                                       std::vector<std::string>& out) {
    return copyOut(readable(hive, key, name, kRegMultiSz), &Value::strings, out);
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
