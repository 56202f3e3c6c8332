#include "app/unread_places.h"

#include <gtest/gtest.h>

namespace qv {
namespace {

TEST(UnreadPlaces, OneLineSaysHowManyAndNamesTheFirst) {
    const std::pair<std::vector<std::string>, std::string> cases[] = {
        {{}, ""},
        {{"key HKEY_CURRENT_USER\\Software\\Locked"},
         "the registry key HKEY_CURRENT_USER\\Software\\Locked cannot be read (access is denied); it is recorded "
         "without its values"},
        {{"folder C:\\Secret\\"}, "the folder C:\\Secret\\ cannot be read; it is recorded without what it holds"},
        {{"key HKEY_LOCAL_MACHINE\\A (deeper than 512 levels)"},
         "1 key could not be read; the first: key HKEY_LOCAL_MACHINE\\A (deeper than 512 levels)"},
        {{"key HKEY_LOCAL_MACHINE\\A", "folder C:\\B\\", "key HKEY_LOCAL_MACHINE\\C", "folder C:\\D\\"},
         "2 keys and 2 folders could not be read; the first: key HKEY_LOCAL_MACHINE\\A"},
    };
    for (const auto& [unread, line] : cases) EXPECT_EQ(unreadSummary(unread), line);
    EXPECT_EQ(unreadOfBoth({"key A", "folder B"}, {"folder B", "folder C"}),
              (std::vector<std::string>{"key A", "folder B", "folder C"}));
}

}  // namespace
}  // namespace qv
