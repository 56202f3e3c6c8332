#pragma once
// What a collection could not read, said in one line: a snapshot that is
// silent about what it missed would let a diff of it pass for complete.
#include <string>
#include <vector>

namespace qv {

// "" for none; otherwise, for example, "12 keys and 3 folders could not be
// read; the first: key HKEY_LOCAL_MACHINE\...", or for a single key "the
// registry key HKEY_...\Locked could not be read (access is denied); it is
// recorded without its values".
std::string unreadSummary(const std::vector<std::string>& unread);

// The places in `a` and then those of `b` that `a` does not name.
std::vector<std::string> unreadOfBoth(const std::vector<std::string>& a, const std::vector<std::string>& b);

}  // namespace qv
