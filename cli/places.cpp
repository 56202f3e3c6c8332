#include "cli/places.h"

#include <algorithm>
#include <utility>

#include "capture/registry_provider.h"

namespace qv::cli {
namespace {

std::string upper(std::string text) {
    for (char& c : text) c = static_cast<char>(c >= 'a' && c <= 'z' ? c - 32 : c);
    return text;
}

// A key or folder as a prefix of what lies below it: upper case (Windows
// names ignore letter case), ending with its backslash.
std::string asPrefix(std::string text) {
    text = upper(std::move(text));
    if (text.empty() || text.back() != '\\') text += '\\';
    return text;
}

}  // namespace

CaptureOptions CapturePlaces::at(size_t i) const {
    CaptureOptions one;
    if (i < keys.size()) {
        one.registry = true;
        one.root = keys[i].root;
        one.key = keys[i].key;
    }
    if (i < folders.size()) {
        one.files = true;
        one.folder = folders[i];
    }
    return one;
}

std::string placeName(const RegistryPlace& place) {
    return place.key.empty() ? place.root : place.root + "\\" + place.key;
}

CapturePlaces expandPlaces(const CaptureOptions& capture, const std::vector<std::string>& fixedDrives) {
    CapturePlaces places;
    if (capture.registry) places.keys.push_back({capture.root, capture.key});
    places.keys.insert(places.keys.end(), capture.moreKeys.begin(), capture.moreKeys.end());
    if (capture.files) places.folders.push_back(capture.folder);
    places.folders.insert(places.folders.end(), capture.moreFolders.begin(), capture.moreFolders.end());
    if (capture.machine) {
        for (const char* root : {"HKEY_LOCAL_MACHINE", "HKEY_USERS"}) {
            const RegistryPlace whole{root, ""};
            if (std::find(places.keys.begin(), places.keys.end(), whole) == places.keys.end())
                places.keys.push_back(whole);
        }
        for (const std::string& drive : fixedDrives) {
            const bool given = std::any_of(places.folders.begin(), places.folders.end(),
                                           [&](const std::string& f) { return asPrefix(f) == asPrefix(drive); });
            if (!given) places.folders.push_back(drive);
        }
    }
    return places;
}

std::string overlappingPlaces(const CapturePlaces& places,
                              const std::function<std::string(const std::string&)>& fullPath) {
    for (size_t a = 0; a < places.keys.size(); ++a) {
        for (size_t b = 0; b < places.keys.size(); ++b) {
            if (a == b) continue;
            const RegistryPlace& inner = places.keys[a];
            const RegistryPlace& outer = places.keys[b];
            if (inner.root != outer.root) continue;
            const std::string in = asPrefix(inner.key), out = outer.key.empty() ? std::string() : asPrefix(outer.key);
            if (in.starts_with(out) && (a > b || in != out))
                return "--reg " + placeName(inner) + " lies within --reg " + placeName(outer) +
                       "; give each place once";
        }
    }
    std::vector<std::string> full;
    for (const std::string& folder : places.folders) full.push_back(asPrefix(fullPath(folder)));
    for (size_t a = 0; a < full.size(); ++a) {
        for (size_t b = 0; b < full.size(); ++b) {
            if (a == b || !full[a].starts_with(full[b]) || (a < b && full[a] == full[b])) continue;
            return "--dir " + places.folders[a] + " lies within --dir " + places.folders[b] + "; give each place once";
        }
    }
    return {};
}

Collection mergeCollections(std::vector<Collection> parts) {
    if (parts.size() == 1) return std::move(parts.front());
    Collection all;
    size_t keys = 0, folders = 0;
    for (const Collection& part : parts) {
        keys += part.registryWalked;
        folders += part.filesScanned;
    }
    for (Collection& part : parts) {
        all.seconds += part.seconds;
        all.foldersRecorded = all.foldersRecorded && part.foldersRecorded;
        all.unread.insert(all.unread.end(), part.unread.begin(), part.unread.end());
        if (part.registryWalked) {
            const RegistryPlace place{std::string(hiveName(part.hive)), part.startKey};
            if (!all.registryWalked) {
                all.registryWalked = true;
                all.hive = part.hive;
                all.startKey = part.startKey;
            }
            if (keys > 1) {
                all.registryPlaces.push_back(placeName(place));
                // The entries of one key share their text; so do the renamed ones.
                const std::string prefix = place.root + "\\";
                SharedText last, renamed;
                bool started = false;
                for (RegEntry& e : part.registry) {
                    if (!started || e.KeyName.view() != last.view()) {
                        started = true;
                        last = e.KeyName;
                        std::string_view name = e.KeyName.view();
                        if (name.starts_with('\\')) name.remove_prefix(1);
                        renamed = SharedText(prefix + std::string(name));
                    }
                    e.KeyName = renamed;
                }
            }
            all.registry.insert(all.registry.end(), std::make_move_iterator(part.registry.begin()),
                                std::make_move_iterator(part.registry.end()));
        }
        if (part.filesScanned) {
            if (!all.filesScanned) {
                all.filesScanned = true;
                all.startFolder = part.startFolder;
            }
            if (folders > 1) all.folderPlaces.push_back(part.startFolder);
            all.files.insert(all.files.end(), std::make_move_iterator(part.files.begin() + 1),
                             std::make_move_iterator(part.files.end()));
        }
    }
    if (all.takenAt < 0 && !parts.empty()) {
        all.takenAt = parts.front().takenAt;
        all.machine = parts.front().machine;
        all.user = parts.front().user;
    }
    return all;
}

std::string placesMismatch(const Collection& before, const Collection& after) {
    if (before.registryWalked != after.registryWalked || before.filesScanned != after.filesScanned)
        return "the snapshots do not both hold the registry, or do not both hold files";
    if (before.registryWalked &&
        (before.hive != after.hive || before.startKey != after.startKey || before.registryPlaces != after.registryPlaces))
        return "the snapshots are of different registry keys";
    if (before.filesScanned && (before.startFolder != after.startFolder || before.folderPlaces != after.folderPlaces))
        return "the snapshots are of different folders";
    return {};
}

}  // namespace qv::cli
