#pragma once
// The places one collection of quorvel-cli covers: every key and folder named,
// --machine's among them, and how the collections of each are made one.
#include <algorithm>
#include <functional>
#include <string>
#include <vector>

#include "cli/arguments.h"
#include "core/snapshot_file.h"

namespace qv::cli {

struct CapturePlaces {
    std::vector<RegistryPlace> keys;
    std::vector<std::string> folders;
    size_t count() const { return std::max(keys.size(), folders.size()); }
    // The i-th key and the i-th folder, as one collection of the window's takes them.
    CaptureOptions at(size_t i) const;
};

// The places as given, in order, with --machine's added where they are not
// given already: HKEY_LOCAL_MACHINE, HKEY_USERS and `fixedDrives`.
CapturePlaces expandPlaces(const CaptureOptions& capture, const std::vector<std::string>& fixedDrives);

// "ROOT\KEY", or the root alone.
std::string placeName(const RegistryPlace& place);

// A line naming two places of which one lies within the other, whose entries
// would be recorded twice; "" where none does. `fullPath` gives a folder's
// absolute form.
std::string overlappingPlaces(const CapturePlaces& places, const std::function<std::string(const std::string&)>& fullPath);

// The collection of the i-th key and the i-th folder, for each i, made one:
// each registry entry's key name begins with its root where there are several
// keys, and the files of every folder follow one another.
Collection mergeCollections(std::vector<Collection> parts);

// "" where two collections cover the same places; otherwise one line saying
// how they differ.
std::string placesMismatch(const Collection& before, const Collection& after);

}  // namespace qv::cli
