#include "capture/registry_walk.h"

#include <algorithm>
#include <string_view>
#include <utility>
#include <vector>

#include "capture/exception_index.h"
#include "capture/value_rendering.h"
#include "core/failure.h"

namespace qv {

namespace {

// The program's own settings key is never part of a snapshot. The comparison
// is exact, so a start key spelled "SOFTWARE" walks it.
constexpr std::string_view kOwnSettingsKey = "Software\\Marrowby\\";
constexpr std::string_view kStatusPrefix = "Getting registry data: ";

// One open level of the walk: a visited key whose subkeys are being visited.
struct OpenKey {
    std::string walkPath;
    std::vector<std::string> subkeys;
    size_t next = 0;
};

class RegistryWalk {
public:
    RegistryWalk(RegistryWalkContext& ctx, RegSnapshot AppState::*target, int32_t hive)
        : ctx_(ctx), target_(target), hive_(hive), exceptionIndex_(hive) {}

    // Pre-order: a key's own entries, then each subkey's subtree in the order
    // the provider lists the subkeys. An explicit stack keeps the native stack
    // flat however deep the registry goes.
    void run(const std::string& strPath, const std::string& sk) {
        std::string startPath = registryWalkPath(strPath, sk);
        // Room that is reserved but never written costs no memory, while a
        // snapshot that grows by doubling is copied, and for a moment held
        // one and a half times.
        size_t expected = 0;
        try {
            expected = ctx_.oreg.expectedEntries(hive_, startPath);
        } catch (const Failure&) {
        }
        if (expected > 0) (ctx_.state.*target_).reserve(static_cast<size_t>(ctx_.state.j) + expected);
        std::vector<OpenKey> open;
        OpenKey start;
        if (visit(std::move(startPath), start)) open.push_back(std::move(start));
        while (!open.empty()) {
            OpenKey& parent = open.back();
            if (parent.next >= parent.subkeys.size()) {
                open.pop_back();
                continue;
            }
            const std::string& name = parent.subkeys[parent.next++];
            std::string childPath = parent.walkPath;
            childPath += '\\';
            childPath += name;
            if (skipped(childPath)) continue;
            // The child lies open.size() levels below the start key.
            if (open.size() > kMaxRegistryWalkDepth) {
                unread("key " + std::string(hiveName(hive_)) + "\\" + trimmedPath(childPath) +
                       " (deeper than " + std::to_string(kMaxRegistryWalkDepth) + " levels)");
                continue;
            }
            OpenKey child;
            // Below a named parent the visit's path is the one just tested.
            std::string walkPath = parent.walkPath.empty() || name.empty()
                                       ? registryWalkPath(parent.walkPath, name)
                                       : std::move(childPath);
            if (visit(std::move(walkPath), child)) open.push_back(std::move(child));
        }
    }

private:
    // Records the key's entries; true when it has subkeys to visit, which are
    // then in `key`.
    bool visit(std::string walkPath, OpenKey& key) {
        // A nested handler may run here (a click on "Stop", a dialog's OK), so
        // everything of the window's state is read afresh afterwards.
        ctx_.yielder.yield();
        if (ctx_.state.StopDetect) return false;

        std::string keyName = walkPath;
        keyName += '\\';
        const SharedText keyText(keyName);  // one copy, for all the key's entries
        status_.assign(kStatusPrefix);
        status_ += keyName;

        names_.clear();
        types_.clear();
        const bool performanceText = isPerformanceTextKey(hive_, walkPath);
        bool hasValues =
            !performanceText && guarded([&] { return ctx_.oreg.EnumValues(hive_, walkPath, names_, types_); });
        if (!hasValues && !performanceText && ctx_.oreg.denied(hive_, walkPath)) {
            unread("key " + std::string(hiveName(hive_)) + (walkPath.empty() ? "" : "\\") + trimmedPath(walkPath));
        }
        if (!hasValues || names_.empty()) {
            std::string data;
            if (performanceText ||
                !guarded([&] { return ctx_.oreg.GetStringValue(hive_, keyName, std::string(), data); }))
                data.clear();
            RegSnapshot& target = ctx_.state.*target_;
            if (static_cast<size_t>(ctx_.state.j) >= target.size())
                target.resize(static_cast<size_t>(ctx_.state.j) + 1);
            RegEntry& entry = target[static_cast<size_t>(ctx_.state.j)];
            entry.ValueData = std::move(data);
            entry.Raw = RawForm::NotRecorded;
            entry.RawData.clear();
            record(target, keyText, std::string(), kKeyEntryType);
        } else {
            const size_t n = names_.size();
            RegSnapshot& target = ctx_.state.*target_;
            // Grown to hold the key's values from j on, and no further: every
            // element made is written to memory, and spares left at each key
            // would add up to one per key. If a nested handler replaced the
            // snapshot with a shorter one, it still grows far enough.
            if (target.size() < static_cast<size_t>(ctx_.state.j) + n)
                target.resize(static_cast<size_t>(ctx_.state.j) + n);
            for (size_t i = 0; i < n; ++i) {
                const uint32_t type = i < types_.size() ? types_[i] : 0;
                RegEntry& entry = target[static_cast<size_t>(ctx_.state.j)];
                if (!guarded([&] {
                        readValueInto(ctx_.oreg, hive_, keyName, names_[i], type, entry);
                        return true;
                    })) {
                    entry.ValueData.clear();
                    entry.Raw = RawForm::NotRecorded;
                    entry.RawData.clear();
                }
                record(target, keyText, std::move(names_[i]), type);
            }
        }

        key.subkeys.clear();
        if (performanceText || !guarded([&] { return ctx_.oreg.EnumKey(hive_, walkPath, key.subkeys); }) ||
            key.subkeys.empty())
            return false;
        key.walkPath = std::move(walkPath);
        key.next = 0;
        return true;
    }

    void unread(std::string place) {
        (target_ == &AppState::regArray ? ctx_.state.FirstUnread : ctx_.state.FinalUnread).push_back(std::move(place));
    }
    static std::string trimmedPath(std::string_view path) {
        while (!path.empty() && path.front() == '\\') path.remove_prefix(1);
        return std::string(path);
    }

    // The entry at j, whose data and raw bytes are already in place.
    void record(RegSnapshot& target, const SharedText& keyName, std::string valueName, uint32_t type) {
        RegEntry& entry = target[static_cast<size_t>(ctx_.state.j)];
        entry.KeyName = keyName;
        entry.ValueName = std::move(valueName);
        entry.ValueType = type;
        ++ctx_.state.j;
        ctx_.status.setStatus(status_);
    }

    // The own settings key, or a key named in the exception list for this
    // hive. `childPath` always carries the separator, so below an empty start
    // path it begins with "\".
    bool skipped(const std::string& childPath) {
        if (childPath.size() + 1 == kOwnSettingsKey.size() && kOwnSettingsKey.starts_with(childPath))
            return true;
        // Asked of the current list: a handler run during a yield may have
        // replaced it, and the index then follows.
        return exceptionIndex_.covers(ctx_.state.RegExceptions, childPath, ctx_.yielder.turns());
    }

    // A provider's own failure is passed over like a failed read.
    template <class Call>
    static bool guarded(Call&& call) {
        try {
            return call();
        } catch (const Failure&) {
            return false;
        }
    }

    RegistryWalkContext& ctx_;
    RegSnapshot AppState::*target_;
    int32_t hive_;
    std::vector<std::string> names_;
    std::vector<uint32_t> types_;
    std::string status_;
    RegistryExceptionIndex exceptionIndex_;
};

}  // namespace

bool isPerformanceTextKey(int32_t hive, std::string_view walkPath) {
    if (hive != kHiveLocalMachine) return false;
    constexpr std::string_view kParent = "\\microsoft\\windows nt\\currentversion\\perflib\\";
    const size_t last = walkPath.rfind('\\');
    if (last == std::string_view::npos || last + 1 == walkPath.size() || last + 1 < kParent.size()) return false;
    const std::string_view parent = walkPath.substr(last + 1 - kParent.size(), kParent.size());
    for (size_t i = 0; i < kParent.size(); ++i) {
        char c = parent[i];
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
        if (c != kParent[i]) return false;
    }
    return true;
}

std::string registryWalkPath(const std::string& strPath, const std::string& sk) {
    if (strPath.empty() || sk.empty()) return strPath + sk;
    std::string path;
    path.reserve(strPath.size() + 1 + sk.size());
    path += strPath;
    path += '\\';
    path += sk;
    return path;
}

void getvalsStart(RegistryWalkContext& ctx, int32_t hKey, const std::string& strPath, const std::string& sk) {
    RegistryWalk(ctx, &AppState::regArray, hKey).run(strPath, sk);
}

void getvalsFinish(RegistryWalkContext& ctx, int32_t hKey, const std::string& strPath,
                   const std::string& sk) {
    RegistryWalk(ctx, &AppState::regArray2, hKey).run(strPath, sk);
}

void trimSnapshot(RegSnapshot& snapshot, int32_t j) {
    if (j <= 0 || snapshot.size() <= static_cast<size_t>(j)) return;
    // The growth headroom stays: it is address space the walk never wrote,
    // which costs no memory, while shrinking would copy every entry and, for
    // a moment, need room for the whole snapshot twice.
    snapshot.resize(static_cast<size_t>(j));
}

}  // namespace qv
