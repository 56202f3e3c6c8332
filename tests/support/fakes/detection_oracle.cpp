#include "tests/support/fakes/detection_oracle.h"

#include <cstdint>
#include <exception>
#include <string>

namespace qv::testing {
namespace {

// Upper bound of an array: its highest index, -1 when it holds nothing.
int64_t ub(size_t size) {
    return static_cast<int64_t>(size) - 1;
}

std::vector<ResultRow>& rowsOf(DetectionRows& rows, ListId id) {
    return rows[static_cast<size_t>(id)];
}

bool filtered(const std::vector<std::string>& filterList, const std::string& data) {
    for (int64_t f = 1; f <= ub(filterList.size()); ++f)
        if (filterList[static_cast<size_t>(f)] == data) return true;
    return false;
}

// A snapshot that was never filled holds one empty element and no entry.
bool neverFilled(const RegSnapshot& snapshot) {
    return snapshot.empty() || (snapshot.size() == 1 && snapshot[0].KeyName.empty());
}

std::string sizeOf(DirectorySource& files, const std::string& path) {
    try {
        auto size = files.fileSize(path);
        if (size) return std::to_string(*size);
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
    DetectionRows rows;
    const DetectionSwitches& sw = state.switches;
    const RegSnapshot& regArray = state.regArray;
    const RegSnapshot& regArray2 = state.regArray2;
    const FileSnapshot& StartFileList = state.StartFileList;
    const FileSnapshot& FinishFileList = state.FinishFileList;
    yield();

    bool registry = registryTicked &&
                    !(sw.chkNewRegSetting == 0 && sw.chkDeleteRegSetting == 0 && sw.chkEditedRegSetting == 0);
    // Pass A: new and edited registry entries.
    if (registry && !(sw.chkNewRegSetting == 0 && sw.chkEditedRegSetting == 0) && !neverFilled(regArray2)) {
        for (int64_t i = 0; i <= ub(regArray2.size()); ++i) {
            const RegEntry& F = regArray2[static_cast<size_t>(i)];
            yield();
            int64_t found = -1;
            for (int64_t k = 0; k <= ub(regArray.size()); ++k) {
                yield();
                const RegEntry& S = regArray[static_cast<size_t>(k)];
                if (S.ValueName == F.ValueName && S.KeyName == F.KeyName) {
                    found = k;
                    break;
                }
            }
            if (filtered(state.FilterList, F.ValueData)) continue;
            if (found < 0) {
                rowsOf(rows, ListId::NewEntries).push_back({F.KeyName, F.ValueName, F.ValueData});
            } else if (regArray[static_cast<size_t>(found)].ValueData != F.ValueData &&
                       sw.chkEditedRegSetting == 1) {
                rowsOf(rows, ListId::EditedRegistry).push_back({F.KeyName, F.ValueName, F.ValueData});
            }
        }
    }
    // Pass B: deleted registry entries.
    if (registry && sw.chkDeleteRegSetting != 0 && !neverFilled(regArray)) {
        for (int64_t i = 0; i <= ub(regArray.size()); ++i) {
            const RegEntry& S = regArray[static_cast<size_t>(i)];
            yield();
            bool found = false;
            for (int64_t k = 0; k <= ub(regArray2.size()); ++k) {
                yield();
                const RegEntry& F = regArray2[static_cast<size_t>(k)];
                if (F.ValueName == S.ValueName && F.ValueData == S.ValueData && F.KeyName == S.KeyName) {
                    found = true;
                    break;
                }
            }
            if (found || filtered(state.FilterList, S.ValueData) || S.ValueName.empty()) continue;
            rowsOf(rows, ListId::DeletedEntries).push_back({S.KeyName, S.ValueName, S.ValueData});
        }
    }
    // Pass C: new and modified files; only when a final file scan produced the list.
    if (!state.FinishFileScanRan && ub(FinishFileList.size()) <= 0) return rows;
    for (int64_t i = 1; i <= ub(FinishFileList.size()); ++i) {
        const FileSnapshotEntry& F = FinishFileList[static_cast<size_t>(i)];
        yield();
        int64_t found = -1;
        for (int64_t k = 0; k <= ub(StartFileList.size()); ++k) {
            yield();
            if (StartFileList[static_cast<size_t>(k)].Filepath == F.Filepath) {
                found = k;
                break;
            }
        }
        if (found < 0) {
            rowsOf(rows, ListId::NewFiles).push_back({F.Filepath, sizeOf(files, F.Filepath), F.ModifiedDate});
        } else if (StartFileList[static_cast<size_t>(found)].ModifiedDate != F.ModifiedDate) {
            rowsOf(rows, ListId::ModifiedFiles)
                .push_back({F.Filepath, sizeOf(files, F.Filepath), F.ModifiedDate});
        }
    }
    // Pass D: deleted files; the inner scan never stops early.
    if (sw.chkDeleteFilesSetting == 0 || ub(StartFileList.size()) <= 0) return rows;
    for (int64_t i = 0; i <= ub(StartFileList.size()); ++i) {
        const FileSnapshotEntry& S = StartFileList[static_cast<size_t>(i)];
        yield();
        bool seen = false;
        for (int64_t k = 0; k <= ub(FinishFileList.size()); ++k) {
            yield();
            if (FinishFileList[static_cast<size_t>(k)].Filepath == S.Filepath) seen = true;
        }
        if (!seen) rowsOf(rows, ListId::DeletedFiles).push_back({S.Filepath, "", ""});
    }
    return rows;
}

}  // namespace qv::testing
