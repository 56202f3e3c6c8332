#include "app/excepted_places.h"

#include <algorithm>

#include "capture/exception_index.h"

namespace qv {
namespace {

// The indexes are built once: the lists do not change during one pass.
constexpr unsigned long long kOnePass = 1;

// The path the walk tested for a key below the start: a child of the root
// itself carried the separator in front.
std::string testedPath(const std::string& startKey, std::string_view keyPath) {
    if (startKey.empty() && keyPath.find('\\') == std::string_view::npos) return "\\" + std::string(keyPath);
    return std::string(keyPath);
}

void dropRegistry(RegSnapshot& snapshot, const AppState& state, const CollectionPlaces& places) {
    RegistryExceptionIndex index(places.hive);
    const std::string& start = places.startKey;
    std::string lastKey;
    bool lastDropped = false;
    // A key's entries share their key name and stand together.
    const auto dropped = [&](const RegEntry& e) {
        const std::string_view key = e.KeyName.view();
        if (key == lastKey) return lastDropped;
        lastKey = key;
        lastDropped = false;
        if (!key.starts_with(start)) return false;
        // Every key from the first below the start to this one was tested.
        for (size_t at = key.find('\\', start.empty() ? 0 : start.size() + 1); at != std::string::npos;
             at = key.find('\\', at + 1)) {
            if (index.covers(state.RegExceptions, testedPath(start, key.substr(0, at)), kOnePass))
                return lastDropped = true;
        }
        return false;
    };
    std::erase_if(snapshot, dropped);
    // A registry snapshot that lost every entry is one empty element, as a
    // walk that found nothing leaves it.
    if (snapshot.empty()) snapshot.emplace_back();
}

void dropFiles(FileSnapshot& snapshot, const AppState& state, const std::string& startFolder) {
    FileExceptionIndex index;
    if (snapshot.size() <= 1) return;
    const auto dropped = [&](const FileSnapshotEntry& e) {
        const std::string& path = e.Filepath;
        if (!path.starts_with(startFolder)) return false;
        for (size_t at = path.find('\\', startFolder.empty() ? 0 : startFolder.size() - 1); at != std::string::npos;
             at = path.find('\\', at + 1)) {
            if (index.coversFolder(state.FileExceptions, path.substr(0, at + 1), kOnePass)) return true;
        }
        return !path.ends_with('\\') && index.coversFile(state.FileExceptions, path, kOnePass);
    };
    // Element 0 stays the empty one.
    snapshot.erase(std::remove_if(snapshot.begin() + 1, snapshot.end(), dropped), snapshot.end());
}

}  // namespace

void dropExceptedPlaces(AppState& state) {
    if (!state.FirstPlaces) return;
    const CollectionPlaces& places = *state.FirstPlaces;
    if (places.registryWalked) {
        dropRegistry(state.regArray, state, places);
        dropRegistry(state.regArray2, state, places);
    }
    if (places.filesScanned) {
        dropFiles(state.StartFileList, state, places.startFolder);
        dropFiles(state.FinishFileList, state, places.startFolder);
    }
}

}  // namespace qv
