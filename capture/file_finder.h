#pragma once
// The file finder: walks a directory tree depth-first and records every file in
// the file snapshot that StartFileListBoolean selects. One object serves one
// search (one click on the collect button).
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "capture/directory_source.h"
#include "capture/exception_index.h"
#include "core/app_state.h"
#include "core/error_sink.h"
#include "core/status_sink.h"
#include "core/yielder.h"

namespace qv {

// Whether `name` matches a file name pattern the way the platform's listing
// does: "*" and "*.*" match every name; otherwise "*" stands for any run of
// characters and "?" for one character, letters compared without regard to
// ASCII case unless `caseSensitive`.
bool matchesFileSpec(std::string_view spec, std::string_view name, bool caseSensitive);

class clsFileFind {
public:
    static constexpr int32_t DirExSuccess = 0;
    static constexpr int32_t UserCanceled = 1120;
    static constexpr int32_t PathNameNotValid = 1121;
    static constexpr int32_t NoFilesFound = 1122;
    static constexpr int32_t DirExFailed = 1123;

    clsFileFind(AppState& state, DirectorySource& fs, Yielder& yielder, StatusSink& status,
                ErrorSink& reporter);

    // Runs the whole search synchronously; the outcome is the recorded entries,
    // the result flag and the Finished notification.
    void SearchFile(std::string Pathname, bool blnSubFolders, bool blnCaseSensitive = false);

    // Gives the user interface its turn, then returns the result flag.
    int32_t ResultFlag();
    void StopSearch() { m_ResultFlag = UserCanceled; }

    bool CaseSensitive() const { return m_CaseSensitive; }
    void CaseSensitive(bool value) { m_CaseSensitive = value; }
    bool RecursiveSearch() const { return m_Recurse; }
    void RecursiveSearch(bool value) { m_Recurse = value; }
    int32_t Files() const { return m_Files; }

    // The folder about to be read, without its trailing backslash (a drive
    // root keeps it).
    std::function<void(std::string_view)> CurrentFolder;
    // The final result flag and the count of accepted entries.
    std::function<void(int32_t, int32_t)> Finished;

    // Helpers of the start-path split, exposed for their tests.
    // A drive root keeps its backslash; every other folder path loses one.
    static std::string Qualify(std::string path);
    // Length of the root of an absolute path ("X:\", "\\server\share\"), which
    // a split never cuts into; 0 for other paths.
    static size_t RootLength(std::string_view path);

private:
    struct PendingFolder {
        std::string name;
        size_t depth;
        DirEntry found;      // as the parent's listing gave it; unused for the start folder
        bool enter = true;   // false: a link that is recorded but not walked
        bool record = true;  // its own entry, where its name matches the pattern
    };

    std::string FullPath(const std::string& sFilename, size_t& specPos);
    bool ExistFile(const std::string& path, uint32_t mask);
    bool FileSpec(std::string& InitPath, std::string& Spec);
    void FindFolders(const std::string& start);
    bool FolderExcluded();
    bool FileExcluded();
    void FoundFile(const DirEntry& found);
    // Whether a link to a folder (at path_ + name) leads somewhere no walk of
    // this search has been: then it is walked once, under its own path.
    bool FollowLink(const std::string& name);
    FileSnapshot& TargetList();

    AppState& state_;
    DirectorySource& fs_;
    Yielder& yielder_;
    StatusSink& status_;
    ErrorSink& reporter_;

    int32_t m_ResultFlag = DirExSuccess;
    int32_t m_Files = 0;
    std::string m_FileSpec;
    bool m_Recurse = false;
    bool m_CaseSensitive = false;

    // The walk's working buffers, reused for every folder and file so that the
    // walk allocates only what it records.
    std::string path_;  // the folder being read, ending with "\"; a file's name appended while it is tested
    std::string statusText_;
    FileExceptionIndex exceptionIndex_;
    // Where this search walks for real: the start folder and the target of
    // every link it followed. A link into one of them, or to a folder that
    // holds one, is not entered, so nothing is walked twice and no circle of
    // links is ever gone round.
    std::vector<std::string> walkedPlaces_;
};

}  // namespace qv
