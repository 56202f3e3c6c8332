#include "tests/support/fakes/detection_oracle.h"

#include <algorithm>
#include <exception>
#include <optional>
#include <string>

namespace qv::testing {
namespace {

bool filtered(const std::vector<std::string>& filterList, const std::string& data) {
    return filterList.size() > 1 &&
           std::find(filterList.begin() + 1, filterList.end(), data) != filterList.end();
}

// A snapshot that was never filled holds one empty element and no entry.
bool neverFilled(const RegSnapshot& snapshot) {
    return snapshot.empty() || (snapshot.size() == 1 && snapshot[0].KeyName.empty());
}

std::string sizeOf(DirectorySource& files, const std::string& path) {
    try {
        if (auto size = files.fileSize(path)) return std::to_string(*size);
    } catch (const std::exception&) {
    }
    return "";
}

}  // namespace

DetectionRows literalDetection(const AppState& state, bool registryTicked, DirectorySource& files,
                               Yielder* yielder) {
    auto yield = [&] {
        if (yielder) yielder->yield();
    };
    // The inner scan: the first index of `list` that `same` accepts, yielding before each comparison.
    auto firstMatch = [&](const auto& list, auto same) -> std::optional<size_t> {
        for (size_t k = 0; k < list.size(); ++k) {
            yield();
            if (same(list[k])) return k;
        }
        return std::nullopt;
    };
    DetectionRows rows;
    auto add = [&](ListId id, ResultRow row) { rows[static_cast<size_t>(id)].push_back(std::move(row)); };
    const DetectionSwitches& sw = state.switches;
    const RegSnapshot &first = state.regArray, &final = state.regArray2;
    const FileSnapshot &start = state.StartFileList, &finish = state.FinishFileList;
    yield();

    const bool registry =
        registryTicked && (sw.chkNewRegSetting || sw.chkDeleteRegSetting || sw.chkEditedRegSetting);
    // Pass A: new and edited registry entries.
    if (registry && (sw.chkNewRegSetting || sw.chkEditedRegSetting) && !neverFilled(final)) {
        for (const RegEntry& F : final) {
            yield();
            auto found = firstMatch(first, [&](const RegEntry& S) {
                return S.ValueName == F.ValueName && S.KeyName == F.KeyName;
            });
            if (filtered(state.FilterList, F.ValueData)) continue;
            if (!found)
                add(ListId::NewEntries, {F.KeyName.str(), F.ValueName, F.ValueData});
            else if (first[*found].ValueData != F.ValueData && sw.chkEditedRegSetting == 1)
                add(ListId::EditedRegistry, {F.KeyName.str(), F.ValueName, F.ValueData});
        }
    }
    // Pass B: deleted registry entries.
    if (registry && sw.chkDeleteRegSetting && !neverFilled(first)) {
        for (const RegEntry& S : first) {
            yield();
            auto found = firstMatch(final, [&](const RegEntry& F) { return F == S; });
            if (found || filtered(state.FilterList, S.ValueData) || S.ValueName.empty()) continue;
            add(ListId::DeletedEntries, {S.KeyName.str(), S.ValueName, S.ValueData});
        }
    }
    // Pass C: new and modified files; only when a final file scan produced the list.
    if (!state.FinishFileScanRan && finish.size() <= 1) return rows;
    for (size_t i = 1; i < finish.size(); ++i) {
        const FileSnapshotEntry& F = finish[i];
        yield();
        auto found = firstMatch(start, [&](const FileSnapshotEntry& S) { return S.Filepath == F.Filepath; });
        if (!found)
            add(ListId::NewFiles, {F.Filepath, sizeOf(files, F.Filepath), F.ModifiedDate.str()});
        else if (start[*found].ModifiedDate != F.ModifiedDate)
            add(ListId::ModifiedFiles, {F.Filepath, sizeOf(files, F.Filepath), F.ModifiedDate.str()});
    }
    // Pass D: deleted files; the inner scan never stops early.
    if (!sw.chkDeleteFilesSetting || start.size() <= 1) return rows;
    for (const FileSnapshotEntry& S : start) {
        yield();
        bool seen = false;
        for (const FileSnapshotEntry& F : finish) {
            yield();
            seen = seen || F.Filepath == S.Filepath;
        }
        if (!seen) add(ListId::DeletedFiles, {S.Filepath, "", ""});
    }
    return rows;
}

}  // namespace qv::testing
