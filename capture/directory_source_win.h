#pragma once
// The file system as the Win32 W functions see it. Folders are listed in their
// extended-length form (\\?\X:\..., \\?\UNC\server\share\...), so paths of any
// length the platform allows are read.
#include <string>
#include <string_view>

#include "capture/date_text.h"
#include "capture/directory_source.h"

namespace qv {

// The extended-length form of an absolute path; a relative path, or one that is
// already in that form (or a device path), is returned unchanged.
std::wstring extendedPath(std::wstring_view path);

class Win32DirectorySource : public DirectorySource {
public:
    Win32DirectorySource();

    std::string fullPathName(const std::string& path) override;
    std::optional<uint32_t> attributes(const std::string& path) override;
    std::unique_ptr<DirEnumeration> list(const std::string& folder) override;
    // Local time through the time zone's rules for that date (not today's
    // offset), so a file's text does not change when daylight saving does.
    SharedText modifiedText(uint64_t lastWriteTime) override;
    std::optional<uint64_t> fileSize(const std::string& path) override;
    std::string folderIdentity(const std::string& folder) override;

private:
    DateTextCache dates_;

public:
    std::optional<int64_t> localSeconds(uint64_t lastWriteTime) override { return dates_.localSeconds(lastWriteTime); }
};

}  // namespace qv
