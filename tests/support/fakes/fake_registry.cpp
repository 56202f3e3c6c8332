#include "tests/support/fakes/fake_registry.h"

#include "core/utf.h"

#include <stdexcept>

#include "core/failure.h"
#include "core/split_string.h"

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

}  // namespace

FakeRegistry::Key* FakeRegistry::find(int32_t hive, std::string_view path, bool create) {
    path = withoutTrailingSlash(path);
    if (!validPath(path)) {
        if (create) throw std::invalid_argument("bad fake registry path");
        return nullptr;
    }
    const std::pair<int32_t, std::string> id{hive, folded(path)};
    auto it = tree_->keys.find(id);
    if (it != tree_->keys.end()) return &it->second;
    if (!create) return nullptr;
    if (!path.empty()) {
        const size_t slash = path.rfind('\\');
        const std::string_view parent = slash == std::string_view::npos ? "" : path.substr(0, slash);
        find(hive, parent, true)
            ->subkeys.emplace_back(path.substr(slash == std::string_view::npos ? 0 : slash + 1));
    }
    return &tree_->keys[id];
}

void FakeRegistry::addKey(int32_t hive, std::string_view path) {
    find(hive, path, true);
}

void FakeRegistry::addValue(int32_t hive, std::string_view path, std::string_view name, uint32_t type,
                            std::string text) {
    Key& key = *find(hive, path, true);
    auto [it, added] = key.index.emplace(folded(name), key.values.size());
    (added ? key.values.emplace_back() : key.values[it->second]) =
        Value{std::string(name), type, std::move(text)};
}

void FakeRegistry::removeValue(int32_t hive, std::string_view path, std::string_view name) {
    Key& key = *find(hive, path, true);
    const auto it = key.index.find(folded(name));
    if (it == key.index.end()) return;
    key.values.erase(key.values.begin() + static_cast<std::ptrdiff_t>(it->second));
    key.index.clear();
    for (size_t i = 0; i < key.values.size(); ++i) key.index.emplace(folded(key.values[i].name), i);
}

void FakeRegistry::failRead(int32_t hive, std::string_view path, std::string_view name) {
    tree_->failedReads.emplace(hive, folded(withoutTrailingSlash(path)), folded(name));
}

void FakeRegistry::makeUnreadable(int32_t hive, std::string_view path) {
    find(hive, path, true)->unreadable = true;
}

bool FakeRegistry::denied(int32_t hive, const std::string& path) {
    const Key* key = find(hive, path, false);
    return key && key->unreadable;
}

bool FakeRegistry::EnumValues(int32_t hive, const std::string& path, std::vector<std::string>& names,
                              std::vector<uint32_t>& types) {
    ++enumCalls;
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

RegistryProvider::KeyAccess FakeRegistry::keyAccess(int32_t hive, const std::string& path) {
    std::string_view p = path;
    while (p.ends_with('\\')) p.remove_suffix(1);
    const Key* key = find(hive, p, false);
    if (!key) return p.empty() ? KeyAccess::Readable : KeyAccess::Missing;
    return key->unreadable ? KeyAccess::Denied : KeyAccess::Readable;
}

bool FakeRegistry::EnumKey(int32_t hive, const std::string& path, std::vector<std::string>& names) {
    ++enumCalls;
    const Key* key = find(hive, path, false);
    names = key && !key->unreadable ? key->subkeys : std::vector<std::string>{};
    return !names.empty();
}

bool FakeRegistry::read(int32_t hive, const std::string& keyPath, const std::string& name, uint32_t type,
                        std::string& out) {
    ++readCalls;
    const Key* key = find(hive, keyPath, false);
    if (!key || key->unreadable) return false;
    auto it = key->index.find(folded(name));
    if (it == key->index.end() || key->values[it->second].type != type) return false;
    out = key->values[it->second].text;
    return !tree_->failedReads.count({hive, folded(withoutTrailingSlash(keyPath)), folded(name)});
}

// The bytes a registry would hold for the text as addValue takes it: strings
// in UTF-16 with their terminators, numbers little-endian, anything else as it is.
bool FakeRegistry::GetRawValue(int32_t hive, const std::string& keyPath, const std::string& name, uint32_t& type,
                               std::string& bytes) {
    ++readCalls;
    const Key* key = find(hive, keyPath, false);
    if (!key || key->unreadable) return false;
    auto it = key->index.find(folded(name));
    if (it == key->index.end()) return false;
    const Value& value = key->values[it->second];
    type = value.type;
    const auto units = [&](std::string_view text) {
        for (char16_t u : toUtf16(text)) {
            bytes += static_cast<char>(u & 0xFF);
            bytes += static_cast<char>(u >> 8);
        }
        bytes.append(2, '\0');
    };
    const auto number = [&](size_t size) {
        const unsigned long long n = std::stoull("0" + value.text);
        for (size_t i = 0; i < size; ++i) bytes += static_cast<char>((n >> (8 * i)) & 0xFF);
    };
    bytes.clear();
    // No text stands for the number 0, as a DWORD added without data reads.
    const bool digits = value.text.find_first_not_of("0123456789") == std::string::npos;
    if (type == kRegSz || type == kRegExpandSz) {
        units(value.text);
    } else if (type == kRegMultiSz) {
        std::vector<std::string> strings;
        SplitString(value.text, '\0', strings);
        for (const std::string& s : strings) units(s);
        bytes.append(2, '\0');
    } else if (type == kRegDword && digits) {
        number(4);
    } else if (type == kRegQword && digits) {
        number(8);
    } else {
        bytes = value.text;
    }
    return !tree_->failedReads.count({hive, folded(withoutTrailingSlash(keyPath)), folded(name)});
}

bool FakeRegistry::GetStringValue(int32_t hive, const std::string& key, const std::string& name,
                                  std::string& out) {
    return read(hive, key, name, kRegSz, out);
}

bool FakeRegistry::GetExpandedStringValue(int32_t hive, const std::string& key, const std::string& name,
                                          std::string& out) {
    return read(hive, key, name, kRegExpandSz, out);
}

bool FakeRegistry::GetBinaryValue(int32_t hive, const std::string& key, const std::string& name,
                                  std::vector<uint8_t>& out) {
    std::string bytes;
    const bool ok = read(hive, key, name, kRegBinary, bytes);
    out.assign(bytes.begin(), bytes.end());
    return ok;
}

bool FakeRegistry::GetDWORDValue(int32_t hive, const std::string& key, const std::string& name,
                                 uint32_t& out) {
    std::string digits;
    const bool ok = read(hive, key, name, kRegDword, digits);
    out = static_cast<uint32_t>(std::stoul("0" + digits));
    return ok;
}

bool FakeRegistry::GetMultiStringValue(int32_t hive, const std::string& key, const std::string& name,
                                       std::vector<std::string>& out) {
    std::string strings;
    const bool ok = read(hive, key, name, kRegMultiSz, strings);
    SplitString(strings, '\0', out);
    return ok;
}

namespace {

// A provider on the same keys and values, counted while it lives.
class ConnectedRegistry : public FakeRegistry {
public:
    ConnectedRegistry(const FakeRegistry& registry, long& live) : FakeRegistry(registry), live_(live) {
        ++live_;
    }
    ~ConnectedRegistry() override { --live_; }

private:
    long& live_;
};

}  // namespace

std::unique_ptr<RegistryProvider> FakeRegistrySource::connect() {
    ++connects;
    if (failConnect) fail(-2147217405, "Access denied");  // WBEM_E_ACCESS_DENIED
    return std::make_unique<ConnectedRegistry>(registry_, live);
}

}  // namespace qv::testing
