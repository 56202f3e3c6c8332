#include "capture/file_finder.h"

#include <algorithm>
#include <cstdint>
#include <exception>
#include <vector>

#include "core/failure.h"
#include "core/statements.h"

namespace qv {
namespace {

constexpr std::string_view kStatusPrefix = "Getting file system data: ";

char foldAscii(char c) {
    return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
}

// Length of the UTF-8 sequence that starts at `at`, so that "?" and the
// retries after "*" step over whole characters.
size_t sequenceLength(std::string_view text, size_t at) {
    const auto lead = static_cast<unsigned char>(text[at]);
    size_t length = 1;
    if (lead >= 0xF0) {
        length = 4;
    } else if (lead >= 0xE0) {
        length = 3;
    } else if (lead >= 0xC0) {
        length = 2;
    }
    return std::min(length, text.size() - at);
}

bool isMatchAll(std::string_view spec) {
    return spec == "*" || spec == "*.*";
}

}  // namespace

bool matchesFileSpec(std::string_view spec, std::string_view name, bool caseSensitive) {
    if (isMatchAll(spec)) return true;
    size_t p = 0;
    size_t n = 0;
    size_t starP = std::string_view::npos;
    size_t starN = 0;
    while (n < name.size()) {
        if (p < spec.size() && spec[p] == '*') {
            starP = ++p;
            starN = n;
        } else if (p < spec.size() && spec[p] == '?') {
            ++p;
            n += sequenceLength(name, n);
        } else if (p < spec.size() &&
                   (caseSensitive ? spec[p] == name[n] : foldAscii(spec[p]) == foldAscii(name[n]))) {
            ++p;
            ++n;
        } else if (starP != std::string_view::npos) {
            // Let the last "*" take one more character and try again from there.
            starN += sequenceLength(name, starN);
            n = starN;
            p = starP;
        } else {
            return false;
        }
    }
    while (p < spec.size() && spec[p] == '*') ++p;
    return p == spec.size();
}

clsFileFind::clsFileFind(AppState& state, DirectorySource& fs, Yielder& yielder, StatusSink& status,
                         ErrorSink& reporter)
    : state_(state), fs_(fs), yielder_(yielder), status_(status), reporter_(reporter) {}

int32_t clsFileFind::ResultFlag() {
    yielder_.yield();
    return m_ResultFlag;
}

void clsFileFind::SearchFile(std::string Pathname, bool blnSubFolders, bool blnCaseSensitive) {
    if (Pathname.empty()) {
        m_ResultFlag = PathNameNotValid;
    } else {
        m_Recurse = blnSubFolders;
        m_CaseSensitive = blnCaseSensitive;
        m_Files = 0;
        m_ResultFlag = DirExSuccess;
        try {
            if (FileSpec(Pathname, m_FileSpec)) {
                FindFolders(Pathname);
                if (m_Files == 0 && m_ResultFlag == DirExSuccess) m_ResultFlag = NoFilesFound;
            }
        } catch (const std::exception&) {
            // Nothing is shown: the lists keep what was recorded so far.
            m_ResultFlag = DirExFailed;
        }
    }
    if (Finished) Finished(m_ResultFlag, m_Files);
}

size_t clsFileFind::RootLength(std::string_view path) {
    size_t start = 0;
    bool unc = false;
    if (path.starts_with("\\\\?\\UNC\\")) {
        start = 8;
        unc = true;
    } else if (path.starts_with("\\\\?\\") || path.starts_with("\\\\.\\")) {
        start = 4;
    } else if (path.starts_with("\\\\")) {
        start = 2;
        unc = true;
    }
    if (unc) {
        // \\server\share\ : the root ends with the backslash after the share.
        const size_t serverEnd = path.find('\\', start);
        if (serverEnd == std::string_view::npos) return path.size();
        const size_t shareEnd = path.find('\\', serverEnd + 1);
        return shareEnd == std::string_view::npos ? path.size() : shareEnd + 1;
    }
    if (path.size() >= start + 3 && path[start + 1] == ':' && path[start + 2] == '\\') return start + 3;
    return 0;
}

std::string clsFileFind::Qualify(std::string path) {
    if (path.empty()) return path;
    if (path.back() == ':') path += '\\';
    // A drive root (X:\, or \\?\X:\) keeps its backslash.
    const bool driveRoot = path.size() >= 2 && path[path.size() - 2] == ':';
    if (path.size() > 3 && path.back() == '\\' && !driveRoot) path.pop_back();
    return path;
}

std::string clsFileFind::FullPath(const std::string& sFilename, size_t& specPos) {
    specPos = 0;
    if (sFilename.empty()) return {};
    std::string full = fs_.fullPathName(sFilename);
    const size_t slash = full.rfind('\\');
    specPos = slash == std::string::npos ? 0 : slash + 1;
    specPos = std::max(specPos, RootLength(full));
    return full;
}

bool clsFileFind::ExistFile(const std::string& path, uint32_t mask) {
    if (path.empty()) return false;
    const std::optional<uint32_t> attributes = fs_.attributes(Qualify(path));
    return attributes && (*attributes & mask) == mask;
}

// Splits the start path into the folder to walk and the name pattern; specPos
// is where the name part of the full path begins (its length when none).
bool clsFileFind::FileSpec(std::string& InitPath, std::string& Spec) {
    size_t specPos = 0;
    std::string sPath = FullPath(InitPath, specPos);

    // A folder written with its trailing backslash lists "." first.
    bool listsDot = false;
    if (!sPath.empty() && sPath.back() == '\\') {
        auto listing = fs_.list(sPath);
        DirEntry first;
        listsDot = listing && listing->next(first) && first.name == ".";
    }
    if (listsDot) {
        if (!ExistFile(sPath, 0)) sPath.resize(specPos);
        InitPath = Qualify(sPath);
        Spec = "*.*";
        return true;
    }
    if (ExistFile(sPath, 0)) {
        InitPath = Qualify(sPath.substr(0, specPos));
        const bool withinPath = specPos < sPath.size();
        if (ExistFile(sPath, kAttrDirectory)) {
            Spec = withinPath ? sPath.substr(specPos) : "*.*";
        } else {
            Spec = withinPath ? sPath.substr(specPos) : std::string();
        }
        return true;
    }
    // Nothing of that name: the name part is a pattern to look for in its folder.
    std::string folder;
    std::string pattern;
    if (specPos < sPath.size()) {
        pattern = sPath.substr(specPos);
        folder = Qualify(sPath.substr(0, specPos));
    } else {
        folder = Qualify(sPath);
        pattern = "*.*";
    }
    if (ExistFile(folder, 0)) {
        InitPath = folder;
        Spec = pattern;
        return true;
    }
    m_ResultFlag = PathNameNotValid;
    return false;
}

FileSnapshot& clsFileFind::TargetList() {
    FileSnapshot& list = state_.StartFileListBoolean ? state_.StartFileList : state_.FinishFileList;
    // Element 0 stays the empty one even if a handler emptied the list outright.
    if (list.empty()) list.emplace_back();
    return list;
}

bool clsFileFind::FolderExcluded() {
    // Asked of the current list every time: a handler run during a yield may
    // have replaced it, and the index then follows.
    return exceptionIndex_.coversFolder(state_.FileExceptions, path_, yielder_.turns());
}

bool clsFileFind::FileExcluded() {
    return exceptionIndex_.coversFile(state_.FileExceptions, path_, yielder_.turns());
}

// Records the file, or the folder, whose full path is in path_ (a folder's
// ends with its backslash).
void clsFileFind::FoundFile(const DirEntry& found) {
    FileSnapshot& list = TargetList();
    list.emplace_back();
    list.back().Filepath = path_;
    const bool folder = (found.attributes & kAttrDirectory) != 0;
    list.back().Size = folder ? kUnknownFileSize : found.size;
    list.back().Attributes = found.attributes;
    try {
        list.back().ModifiedDate = fs_.modifiedText(found.lastWriteTime);
        list.back().ModifiedLocal = fs_.localSeconds(found.lastWriteTime).value_or(-1);
        if (list.back().ModifiedLocal >= 0) {
            // Both count seconds since 1601: the one local, the other UTC.
            const auto utc = static_cast<int64_t>(found.lastWriteTime / 10'000'000);
            list.back().UtcOffset = static_cast<int32_t>(list.back().ModifiedLocal - utc);
        }
    } catch (const Failure& failure) {
        // The entry keeps its path with an empty date and the walk goes on.
        const Statement at = statementAt(failure.where().file_name(), failure.where().line());
        reporter_.ReportError(failure.number(), failure.description(), at.number);
        // The error box ran its own message loop, where any handler may have run.
        exceptionIndex_.forget();
        return;
    }
    statusText_.assign(kStatusPrefix);
    statusText_ += path_;
    status_.setStatus(statusText_);
}

namespace {

// Whether `inner` is `outer` or lies below it; both end with their separator.
bool within(std::string_view inner, std::string_view outer) {
    return inner.starts_with(outer);
}

}  // namespace

bool clsFileFind::FollowLink(const std::string& name) {
    const size_t folderLength = path_.size();
    path_ += name;
    path_ += '\\';
    const std::string target = fs_.folderIdentity(path_);
    path_.resize(folderLength);
    if (target.empty()) return false;
    for (const std::string& walked : walkedPlaces_) {
        if (within(target, walked) || within(walked, target)) return false;
    }
    walkedPlaces_.push_back(target);
    return true;
}

// The walk in pre-order: a folder's own entry, its files in the order the
// listing gives them, then each subfolder with everything below it. It keeps
// its own stack of pending folders, so no depth of tree can exhaust the
// thread's stack; each folder is listed once, and that listing is closed
// before anything below it is read.
void clsFileFind::FindFolders(const std::string& start) {
    std::vector<PendingFolder> pending;
    // parentLength[d]: length of the path (with its backslash) of the parent of
    // the folders at depth d.
    std::vector<size_t> parentLength{0};
    std::string root = start;
    if (!root.empty() && root.back() == '\\') root.pop_back();
    walkedPlaces_.clear();
    if (std::string self = fs_.folderIdentity(root + '\\'); !self.empty()) walkedPlaces_.push_back(std::move(self));
    pending.push_back({std::move(root), 0, DirEntry{}, true, false});

    const bool matchAll = isMatchAll(m_FileSpec);
    DirEntry entry;
    while (!pending.empty()) {
        PendingFolder folder = std::move(pending.back());
        pending.pop_back();
        path_.resize(parentLength[folder.depth]);
        path_ += folder.name;
        path_ += '\\';

        if (ResultFlag() != DirExSuccess) return;
        if (FolderExcluded()) continue;
        // This folder's file step begins. After a stop nothing later may be
        // recorded, so the walk ends here instead of visiting folders in vain.
        if (state_.StopDetect) return;
        // A folder below the start is an entry of its own: an installer's
        // empty folder is as much its work as a file.
        if (folder.record) FoundFile(folder.found);
        if (!folder.enter) continue;
        if (CurrentFolder) CurrentFolder(Qualify(path_));

        const size_t folderLength = path_.size();
        const size_t firstSubfolder = pending.size();
        auto listing = fs_.list(path_);
        if (!listing) {
            // Its files and folders are not in the snapshot, and a diff of it
            // must not pass for complete.
            (state_.StartFileListBoolean ? state_.FirstUnread : state_.FinalUnread).push_back("folder " + path_);
        } else {
            while (listing->next(entry)) {
                if (ResultFlag() != DirExSuccess) return;
                const std::string& name = entry.name;
                if (name == "." || name == "..") continue;
                const bool isFolder = (entry.attributes & kAttrDirectory) != 0;
                const bool matches = matchAll || matchesFileSpec(m_FileSpec, name, m_CaseSensitive);
                if (isFolder && m_Recurse) {
                    // A link or junction is walked when it leads out of
                    // everything walked so far, and recorded either way; a
                    // reparse point that holds its own data (a cloud folder)
                    // is an ordinary folder.
                    const bool link = isNameSurrogate(entry.attributes, entry.reparseTag);
                    pending.push_back({name, folder.depth + 1, entry, !link || FollowLink(name), matches});
                }
                if (!matches) continue;
                if (m_Files < INT32_MAX) ++m_Files;
                if (isFolder) continue;  // recorded when its own turn comes
                path_ += name;
                if (!FileExcluded()) FoundFile(entry);
                path_.resize(folderLength);
            }
        }
        // The listing gave the subfolders in order; the stack hands them out last first.
        std::reverse(pending.begin() + static_cast<std::ptrdiff_t>(firstSubfolder), pending.end());
        if (parentLength.size() < folder.depth + 2) parentLength.resize(folder.depth + 2);
        parentLength[folder.depth + 1] = folderLength;
    }
}

}  // namespace qv
