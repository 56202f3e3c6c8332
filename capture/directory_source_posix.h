#pragma once
// A Wine prefix's drives read straight from the Unix file system, as Wine's
// own file functions show them to a Windows program: X:\ is the target of
// dosdevices/x:, folders list "." and ".." first and then their names in
// name order, a symbolic link to a folder is a reparse point with the
// symbolic link's tag, names beginning with "." are hidden, and the time of a
// file is its Unix modification time.
#include <filesystem>
#include <memory>
#include <optional>
#include <string>

#include "capture/date_text.h"
#include "capture/directory_source.h"
#include "capture/folder_chain_posix.h"
#include "capture/work_ahead.h"

namespace qv {

// How the user's locale writes dates and times (HKCU\Control Panel\International).
struct DatePictures {
    std::string shortDate = "M/d/yyyy";
    std::string longTime = "h:mm:ss tt";
    std::string am = "AM";
    std::string pm = "PM";
};

class PosixDirectorySource : public DirectorySource {
public:
    PosixDirectorySource(std::filesystem::path prefix, DatePictures pictures);

    std::string fullPathName(const std::string& path) override;
    std::optional<uint32_t> attributes(const std::string& path) override;
    std::unique_ptr<DirEnumeration> list(const std::string& folder) override;
    SharedText modifiedText(uint64_t lastWriteTime) override;
    std::optional<uint64_t> fileSize(const std::string& path) override;
    std::string folderIdentity(const std::string& folder) override;
    std::optional<int64_t> localSeconds(uint64_t lastWriteTime) override { return dates_.localSeconds(lastWriteTime); }

    // The Unix path of a Windows path on one of the prefix's drives; nothing
    // where the drive is not mapped. A name that is not there in the case
    // given is looked for in any case, as Wine does.
    std::optional<std::string> unixPath(const std::string& windowsPath) const;

private:
    std::filesystem::path prefix_;
    DatePictures pictures_;
    DateTextCache dates_;
    FolderChain chain_;  // the walk's way down, held open
    std::unique_ptr<HelperThreads> helpers_;  // made for the first large folder
};

}  // namespace qv
