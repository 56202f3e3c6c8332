#include "app/background_list.h"

#include <gtest/gtest.h>

#include "settings/data_files.h"

namespace qv {
namespace {

// The built-in list names Wine's start-up keys and Windows' usual records,
// and matches them as a user would write them: short or long roots, any
// letter case, "*" across backslashes.
TEST(BackgroundList, BuiltInListMarksWhatChangesOnItsOwnAndNothingElse) {
    const BackgroundList list(builtInBackgroundList());
    const struct {
        const char* root;
        const char* key;
        const char* name;
        bool background;
    } keys[] = {
        {"HKEY_LOCAL_MACHINE", "System\\CurrentControlSet\\Control\\Video\\{AB}\\0000\\", "Device", true},
        {"HKEY_LOCAL_MACHINE", "SYSTEM\\ControlSet001\\Control\\Class\\{4d36e968-e325-11ce-bfc1-08002be10318}\\0000\\",
         "DriverDateData", true},
        {"HKEY_LOCAL_MACHINE", "SYSTEM\\ControlSet001\\Control\\Class\\{4d36e968-e325-11ce-bfc1-08002be10318}\\0000\\",
         "", true},
        {"HKEY_LOCAL_MACHINE", "SYSTEM\\ControlSet001\\Control\\Class\\{4d36e968-e325-11ce-bfc1-08002be10318}\\0000\\",
         "DriverDesc", false},
        {"", "HKEY_USERS\\S-1-5-21-1\\Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\UserAssist\\{X}\\Count\\",
         "HRZR", true},
        {"HKEY_LOCAL_MACHINE", "Software\\Microsoft\\Windows NT\\CurrentVersion\\NetworkCards\\4\\", "ServiceName", true},
        {"HKEY_LOCAL_MACHINE", "Software\\Microsoft\\Windows NT\\CurrentVersion\\", "ProductName", false},
        {"HKEY_CURRENT_USER", "Software\\Wine\\Temporary System Parameters\\Control Panel\\Colors\\", "Hilight", true},
        {"HKEY_CURRENT_USER", "Software\\Wine\\Direct3D\\", "renderer", false},
        {"HKEY_LOCAL_MACHINE", "System\\CurrentControlSet\\Control\\ServiceCurrent\\", "", true},
        {"HKEY_LOCAL_MACHINE", "SOFTWARE\\Acme\\", "Path", false},
        {"HKEY_CURRENT_USER", "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Acme\\", "", false},
    };
    for (const auto& k : keys)
        EXPECT_EQ(list.matchesRegistry(k.root, k.key, k.name), k.background) << k.key << k.name;
    const std::pair<const char*, bool> files[] = {
        {"C:\\Windows\\Prefetch\\SETUP.EXE-12AB34CD.pf", true},
        {"C:\\Windows\\System32\\winevt\\Logs\\Application.evtx", true},
        {"C:\\Users\\me\\NTUSER.DAT.LOG1", true},
        {"C:\\Program Files\\Acme\\acme.exe", false},
        {"C:\\Program Files\\Acme\\prefetch.txt", false},
    };
    for (const auto& [path, background] : files) EXPECT_EQ(list.matchesFile(path), background) << path;
}

TEST(BackgroundList, FileTextTakesOnePatternALineWithoutRemarksOrBlanks) {
    EXPECT_EQ(backgroundListFromText("; a remark\r\n  HKLM\\A\\*  \r\n\r\n# another\n*.log\n?x"),
              (std::vector<std::string>{"HKLM\\A\\*", "*.log", "?x"}));
    const BackgroundList list({"?x", "C:\\a*b*c"});
    EXPECT_TRUE(list.matchesFile("yx"));
    EXPECT_FALSE(list.matchesFile("yyx"));
    EXPECT_TRUE(list.matchesFile("c:\\A-b-b-C"));
    EXPECT_FALSE(list.matchesFile("C:\\a-b-c-d"));
    EXPECT_TRUE(BackgroundList({}).empty());
}

}  // namespace
}  // namespace qv
