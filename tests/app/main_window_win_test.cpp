// The real main window, driven through its own messages as a user would, with
// real registry keys and files underneath. Needs a display (Xvfb under Wine).
#include <windows.h>
#include <commctrl.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "app/application_win.h"
#include "app/exports.h"
#include "capture/registry_provider_win.h"
#include "capture/registry_walk.h"
#include "cli/commands.h"
#include "core/registry_types.h"
#include "core/utf.h"
#include "core/whole_file.h"
#include "settings/ansi_code_page_win.h"
#include "settings/data_files.h"
#include "settings/text_files.h"
#include "tests/support/fakes/box_answerer_win.h"
#include "tests/support/fakes/saved_registry_value_win.h"
#include "tests/support/fakes/scripted_ui.h"
#include "tests/support/fakes/window_driver_win.h"

namespace qv {
namespace {

using testing::BoxAnswerer;
using testing::shownRows;

void setValue(const std::wstring& key, const wchar_t* name, DWORD type, const void* data, size_t bytes) {
    RegSetKeyValueW(HKEY_CURRENT_USER, key.c_str(), name, type, data, static_cast<DWORD>(bytes));
}

// Runs a program of the Wine prefix and waits for it.
DWORD runAndWait(std::wstring commandLine) {
    STARTUPINFOW si{};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi{};
    if (!CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, FALSE, CREATE_NO_WINDOW, nullptr, nullptr,
                        &si, &pi))
        return 0xFFFFFFFF;
    WaitForSingleObject(pi.hProcess, 60000);
    DWORD code = 0;
    GetExitCodeProcess(pi.hProcess, &code);
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
    return code;
}

// The key's subtree as the walk records it, texts and types.
RegSnapshot walkKey(const std::string& keyPath) {
    AppState state;
    testing::ScriptedYielder yielder;
    testing::ScriptedView view;
    Win32RegistryProviderSource source;
    std::unique_ptr<RegistryProvider> provider = source.connect();
    RegistryWalkContext ctx{state, *provider, yielder, view};
    getvalsStart(ctx, kHiveCurrentUser, keyPath, "");
    trimSnapshot(state.regArray, state.j);
    return state.regArray;
}

std::wstring testKeyPath() { return L"Software\\QuorvelWindowTest-" + std::to_wstring(GetCurrentProcessId()); }

void setString(const std::wstring& key, const wchar_t* name, const wchar_t* value) {
    RegSetKeyValueW(HKEY_CURRENT_USER, key.c_str(), name, REG_SZ, value,
                    static_cast<DWORD>((wcslen(value) + 1) * sizeof(wchar_t)));
}

void writeFile(const std::wstring& path, const char* text, int hoursAhead = 0) {
    HANDLE h = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    DWORD written = 0;
    WriteFile(h, text, static_cast<DWORD>(strlen(text)), &written, nullptr);
    if (hoursAhead) {
        FILETIME now;
        GetSystemTimeAsFileTime(&now);
        ULARGE_INTEGER t{{now.dwLowDateTime, now.dwHighDateTime}};
        t.QuadPart += static_cast<ULONGLONG>(hoursAhead) * 36000000000ULL;
        FILETIME later{t.LowPart, t.HighPart};
        SetFileTime(h, nullptr, nullptr, &later);
    }
    CloseHandle(h);
}

class MainWindowTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (!testing::displayReady()) GTEST_SKIP() << "no display";
        key_ = testKeyPath();
        RegDeleteTreeW(HKEY_CURRENT_USER, key_.c_str());
        wchar_t temp[MAX_PATH];
        GetTempPathW(MAX_PATH, temp);
        folder_ = std::wstring(temp) + L"QuorvelWindowTest-" + std::to_wstring(GetCurrentProcessId());
        CreateDirectoryW(folder_.c_str(), nullptr);
        // This user has agreed to the terms already, and the update check asks
        // a loopback port where nothing listens.
        firstRun_.set(L"No");
        restart();
    }
    // `remembers`: the run keeps what a user's run keeps between starts.
    void restart(bool remembers = false) {
        app_.reset();
        app_ = std::make_unique<Application>(GetModuleHandleW(nullptr), "127.0.0.1:9");
        app_->window().onClose = [] {};
        app_->remembers = remembers;
        app_->Form_Load(SW_SHOW);
        main_ = app_->window().hwnd();
        ASSERT_NE(main_, nullptr);
    }
    void TearDown() override {
        app_.reset();
        RegDeleteTreeW(HKEY_CURRENT_USER, key_.c_str());
        std::error_code ignored;
        std::filesystem::remove_all(std::filesystem::path(folder_), ignored);
    }

    HWND control(int id) { return GetDlgItem(main_, id); }
    std::wstring text(int id) {
        wchar_t buffer[512] = {};
        GetWindowTextW(control(id), buffer, 512);
        return buffer;
    }
    void click(int id) { SendMessageW(control(id), BM_CLICK, 0, 0); }
    void watch(const std::wstring& keyPath, const std::wstring& folder) {
        SendMessageW(control(IDC_cmbRegStart), CB_SELECTSTRING, static_cast<WPARAM>(-1),
                     reinterpret_cast<LPARAM>(L"HKEY_CURRENT_USER"));
        SetWindowTextW(control(IDC_txtRegKeyStart), keyPath.c_str());
        click(IDC_chkDetectFiles);
        SetWindowTextW(control(IDC_txtFileSystemStart), folder.c_str());
    }

    std::wstring key_, folder_;
    testing::SavedRegistryValue firstRun_{HKEY_CURRENT_USER, L"SOFTWARE\\Marrowby", L"QuorvelFirstTime"};
    std::unique_ptr<Application> app_;
    HWND main_ = nullptr;
};

TEST_F(MainWindowTest, StartsWithTheDesignedControlsAndStates) {
    wchar_t caption[64] = {};
    GetWindowTextW(main_, caption, 64);
    EXPECT_STREQ(caption, L"Quorvel 1.00");
    EXPECT_EQ(text(IDC_cmdSnapShot), L"Collect data");
    EXPECT_EQ(text(IDC_cmbRegStart), L"HKEY_LOCAL_MACHINE");
    EXPECT_EQ(text(IDC_txtRegKeyStart), L"SOFTWARE");
    EXPECT_EQ(text(IDC_txtFileSystemStart), L"C:\\");
    EXPECT_FALSE(IsWindowEnabled(control(IDC_cmdDetectChanges)));
    EXPECT_FALSE(IsWindowEnabled(control(IDC_txtFileSystemStart)));
    EXPECT_FALSE(IsWindowEnabled(control(IDC_cmdFileSystemStart)));
    EXPECT_FALSE(IsWindowEnabled(control(IDC_lblFileSystem)));
    EXPECT_TRUE(IsWindowEnabled(control(IDC_cmbRegStart)));
    EXPECT_TRUE(IsWindowVisible(control(IDC_lstNewEntries)));
    EXPECT_FALSE(IsWindowVisible(control(IDC_lstDeletedFiles)));

    // The check boxes enable and disable their dependent controls.
    click(IDC_chkDetectFiles);
    EXPECT_TRUE(IsWindowEnabled(control(IDC_txtFileSystemStart)));
    EXPECT_TRUE(IsWindowEnabled(control(IDC_cmdFileSystemStart)));
    click(IDC_chkDetectRegistry);
    EXPECT_FALSE(IsWindowEnabled(control(IDC_cmbRegStart)));
    EXPECT_FALSE(IsWindowEnabled(control(IDC_txtRegKeyStart)));
    EXPECT_FALSE(IsWindowEnabled(control(IDC_lblRegStart)));

    // A tab shows its own list and hides the other five.
    app_->window().selectTab(4);
    for (int t = 0; t < 6; ++t) EXPECT_EQ(IsWindowVisible(control(kListIdsByTab[t])) != FALSE, t == 4) << t;

    // The lists follow the window's size.
    RECT before{}, after{};
    GetWindowRect(control(IDC_lstDeletedFiles), &before);
    RECT window{};
    GetWindowRect(main_, &window);
    SetWindowPos(main_, nullptr, 0, 0, window.right - window.left + 200, window.bottom - window.top + 160,
                 SWP_NOMOVE | SWP_NOZORDER);
    GetWindowRect(control(IDC_lstDeletedFiles), &after);
    EXPECT_GT(after.right - after.left, before.right - before.left);
    EXPECT_GT(after.bottom - after.top, before.bottom - before.top);
}

// A whole run as a user makes it, with the four data files written by hand
// beside the exe before Quorvel starts: every switch on, a key exception, a
// folder exception that also covers the folders it prefixes, a file exception
// and a filtered value. The first snapshot is saved, and opened again after a
// reset, as after a reboot; the results are exported.
TEST_F(MainWindowTest, CollectSaveOpenDetectAndExportObeyTheDataFiles) {
    const std::string key = toUtf8(key_), folder = toUtf8(folder_);
    const std::pair<const char*, std::string> files[] = {
        {"Settings.dat", "1,1,1,1,1,1\r\n"},
        {"RegExceptions.dat", "HKEY_CURRENT_USER\r" + key + "\\Noisy\r\r\n"},
        {"FileExceptions.dat", folder + "\\cache\rFolder\r" + folder + "\\skip.txt\rFile\r\r\n"},
        {"Filter.dat", "filtered\r\r\n"}};
    const std::string saved = folder + "-first";
    struct RemoveFiles {
        std::vector<std::string> paths;
        ~RemoveFiles() {
            for (const std::string& path : paths) DeleteFileW(toWide(path).c_str());
        }
    } removeFiles{{saved + ".qvs", saved + ".csv"}};
    for (const auto& [name, bytes] : files) {
        removeFiles.paths.push_back(exeFolder() + "\\" + name);
        ASSERT_TRUE(replaceWholeFile(removeFiles.paths.back(), bytes));
    }
    setString(key_, L"Kept", L"same");
    setString(key_, L"Edited", L"old");
    setString(key_, L"Removed", L"gone soon");
    writeFile(folder_ + L"\\kept.txt", "kept");
    writeFile(folder_ + L"\\changed.txt", "before");
    writeFile(folder_ + L"\\removed.txt", "bye");
    restart();
    watch(key_, folder_);
    testing::ScriptedFileDialogs dialogs;
    app_->answerFileDialogsWith(dialogs, dialogs);
    HMENU fileMenu = GetSubMenu(GetMenu(main_), 0);
    auto offered = [&](int id) {
        SendMessageW(main_, WM_INITMENUPOPUP, reinterpret_cast<WPARAM>(fileMenu), 0);
        return (GetMenuState(fileMenu, static_cast<UINT>(id), MF_BYCOMMAND) & MF_GRAYED) == 0;
    };
    auto choose = [&](int id) { SendMessageW(main_, WM_COMMAND, MAKEWPARAM(id, 0), 0); };
    EXPECT_FALSE(offered(IDM_mnuSaveFirst));
    EXPECT_TRUE(offered(IDM_mnuOpenFirst));
    EXPECT_FALSE(offered(IDM_mnuExport));

    BoxAnswerer boxes;
    boxes.buttonFor[L"Detect"] = L"No";
    click(IDC_cmdSnapShot);
    ASSERT_EQ(boxes.seen.size(), 1u);
    EXPECT_EQ(boxes.seen[0].first, L"Collect");
    EXPECT_EQ(text(IDC_txtFileSystemStart), folder_ + L"\\");
    EXPECT_EQ(app_->state().regArray.size(), 3u);
    EXPECT_EQ(app_->state().StartFileList.size(), 4u);
    ASSERT_TRUE(offered(IDM_mnuSaveFirst));
    dialogs.chosen = saved + ".qvs";
    choose(IDM_mnuSaveFirst);
    ASSERT_TRUE(regularFileExists(saved + ".qvs"));

    // A reset and other places; opening the file puts the first collection back.
    click(IDC_cmdReset);
    SendMessageW(control(IDC_cmbRegStart), CB_SELECTSTRING, static_cast<WPARAM>(-1),
                 reinterpret_cast<LPARAM>(L"HKEY_LOCAL_MACHINE"));
    SetWindowTextW(control(IDC_txtRegKeyStart), L"SOFTWARE");
    click(IDC_chkDetectFiles);
    choose(IDM_mnuOpenFirst);
    EXPECT_EQ(boxes.seen.size(), 1u);
    EXPECT_EQ(text(IDC_cmdSnapShot), L"Collect final data");
    EXPECT_TRUE(IsWindowEnabled(control(IDC_cmdSnapShot)));
    EXPECT_EQ(text(IDC_cmbRegStart), L"HKEY_CURRENT_USER");
    EXPECT_EQ(text(IDC_txtRegKeyStart), key_);
    EXPECT_EQ(text(IDC_txtFileSystemStart), folder_ + L"\\");
    EXPECT_EQ(SendMessageW(control(IDC_chkDetectFiles), BM_GETCHECK, 0, 0), BST_CHECKED);
    EXPECT_TRUE(IsWindowEnabled(control(IDC_txtFileSystemStart)));
    EXPECT_EQ(app_->window().statusText(), "");

    // What an installer would do between the snapshots.
    setString(key_, L"Added", L"new value");
    setString(key_, L"Filtered", L"filtered");
    setString(key_, L"Edited", L"new");
    RegDeleteKeyValueW(HKEY_CURRENT_USER, key_.c_str(), L"Removed");
    setString(key_ + L"\\Noisy\\Below", L"hidden", L"x");
    for (const wchar_t* sub : {L"\\cache", L"\\cache2"}) CreateDirectoryW((folder_ + sub).c_str(), nullptr);
    for (const wchar_t* name : {L"\\cache\\a.tmp", L"\\cache2\\b.tmp", L"\\skip.txt", L"\\added.txt"})
        writeFile(folder_ + name, "hello");
    writeFile(folder_ + L"\\changed.txt", "after!", 1);
    DeleteFileW((folder_ + L"\\removed.txt").c_str());

    click(IDC_cmdSnapShot);
    EXPECT_TRUE(IsWindowEnabled(control(IDC_cmdDetectChanges)));
    click(IDC_cmdDetectChanges);
    ASSERT_EQ(boxes.seen.size(), 3u);
    EXPECT_EQ(boxes.seen[1].first, L"Detect");
    EXPECT_EQ(boxes.seen[2].first, L"Done");
    EXPECT_EQ(boxes.seen[2].second, L"Detection done");
    EXPECT_EQ(text(IDC_cmdSnapShot), L"Collect data");
    EXPECT_FALSE(IsWindowEnabled(control(IDC_cmdDetectChanges)));

    const std::string k = key + "\\", f = folder + "\\";
    using Rows = std::vector<std::vector<std::string>>;
    EXPECT_EQ(shownRows(control(IDC_lstNewEntries), 3), (Rows{{k, "Added", "new value"}}));
    EXPECT_EQ(shownRows(control(IDC_lstEditedRegistry), 3), (Rows{{k, "Edited", "new"}}));
    // Wine lists values alphabetically: the old data of "Edited" comes first.
    EXPECT_EQ(shownRows(control(IDC_lstDeletedEntries), 3),
              (Rows{{k, "Edited", "old"}, {k, "Removed", "gone soon"}}));
    Rows added = shownRows(control(IDC_lstNewFiles), 3);
    ASSERT_EQ(added.size(), 1u);
    EXPECT_EQ(added[0][0], f + "added.txt");
    EXPECT_EQ(added[0][1], "5");
    EXPECT_FALSE(added[0][2].empty());
    Rows changed = shownRows(control(IDC_lstModifiedFiles), 3);
    ASSERT_EQ(changed.size(), 1u);
    EXPECT_EQ(changed[0][0], f + "changed.txt");
    EXPECT_EQ(changed[0][1], "6");
    EXPECT_EQ(shownRows(control(IDC_lstDeletedFiles), 1), (Rows{{f + "removed.txt"}}));
    for (int tab = 0; tab < 6; ++tab) {
        app_->window().selectTab(tab);
        testing::keepScreenshot(main_, (L"main-window-tab" + std::to_wstring(tab + 1) + L".bmp"));
    }
    app_->window().selectTab(0);

    ASSERT_TRUE(offered(IDM_mnuExport));
    dialogs.chosen = saved;
    dialogs.filterIndex = 1;
    choose(IDM_mnuExport);
    ResultLists lists;
    for (ListId id : kAllLists) lists[id] = app_->window().list(id).rows();
    EXPECT_EQ(readWholeFile(saved + ".csv"), exportCsv(lists, app_->state().regArray));
    EXPECT_NE(readWholeFile(saved + ".csv").value_or("").find("added.txt"), std::string::npos);
}

// The values a user's run keeps in the registry store, put back as they were.
struct StoredValues {
    std::vector<std::unique_ptr<testing::SavedRegistryValue>> values;
    StoredValues() {
        for (const wchar_t* name : {L"QuorvelStartRoot", L"QuorvelStartKey", L"QuorvelStartFolder", L"QuorvelPlacement",
                                    L"QuorvelColumns", L"QuorvelAskBeforeDropping", L"QuorvelFirstSnapshotFile"}) {
            values.push_back(std::make_unique<testing::SavedRegistryValue>(HKEY_CURRENT_USER, L"SOFTWARE\\Marrowby", name));
            values.back()->remove();
        }
    }
};

TEST_F(MainWindowTest, ThePlacesAndTheWindowComeBackAtTheNextStart) {
    StoredValues stored;
    restart(true);
    watch(key_, folder_ + L"\\");
    SetWindowPos(main_, nullptr, 40, 30, 820, 610, SWP_NOZORDER);
    app_->window().list(ListId::NewEntries).setColumnWidths96({300, 120, 200});
    const Placement left = app_->window().placement();
    SendMessageW(main_, WM_CLOSE, 0, 0);  // nothing to lose: nothing is asked
    EXPECT_TRUE(stored.values[3]->now().has_value());

    restart(true);
    EXPECT_EQ(text(IDC_cmbRegStart), L"HKEY_CURRENT_USER");
    EXPECT_EQ(text(IDC_txtRegKeyStart), key_);
    EXPECT_EQ(text(IDC_txtFileSystemStart), folder_ + L"\\");
    const Placement back = app_->window().placement();
    EXPECT_NEAR(back.normal.left, left.normal.left, 40);
    EXPECT_NEAR(back.normal.top, left.normal.top, 40);
    EXPECT_EQ(back.normal.width(), left.normal.width());
    EXPECT_EQ(back.normal.height(), left.normal.height());
    EXPECT_EQ(app_->window().list(ListId::NewEntries).columnWidths96()[0], 300);

    // A monitor that has gone: the window opens where it would.
    stored.values[3]->set(L"5000,5000,5820,5610,0");
    restart(true);
    EXPECT_LT(app_->window().placement().normal.left, 5000);
    app_->remembers = false;
}

// A run that ends without its close (killed, or crashed) leaves its first
// snapshot beside the program, and the next start offers it.
TEST_F(MainWindowTest, AFirstSnapshotOutlivesARunThatEndedWithoutItsClose) {
    StoredValues stored;
    const std::string kept = exeFolder() + "\\" + kKeptSnapshotName;
    DeleteFileW(toWide(kept).c_str());
    setString(key_, L"Before", L"1");
    restart(true);
    watch(key_, folder_);
    BoxAnswerer boxes;
    click(IDC_cmdSnapShot);
    ASSERT_TRUE(regularFileExists(kept));
    const RegSnapshot first = app_->state().regArray;

    boxes.buttonFor[L"Open first snapshot"] = L"Yes";
    restart(true);  // the old run's close never ran
    ASSERT_EQ(boxes.seen.size(), 2u);
    EXPECT_EQ(boxes.seen[1].first, L"Open first snapshot");
    EXPECT_EQ(text(IDC_cmdSnapShot), L"Collect final data");
    EXPECT_EQ(app_->state().regArray, first);

    // Stop/Reset asks before it drops it; No drops it on purpose, file and all.
    // The question is kept as a screenshot before it is answered.
    boxes.buttonFor[L"Quorvel"] = L"(not yet)";
    bool shot = false;
    boxes.onTick = [&] {
        HWND box = FindWindowW(L"#32770", L"Quorvel");
        if (shot || !box || !IsWindowVisible(box)) return;
        shot = true;
        // "Don't ask again", ticked as a user who resets on purpose does.
        HWND tick = FindWindowExW(box, nullptr, L"Button", L"Don't ask again");
        testing::pumpFor(700);  // the process's first box takes a while to paint
        testing::keepScreenshot(box, L"drop-question.bmp");
        if (tick) SendMessageW(tick, BM_SETCHECK, BST_CHECKED, 0);
        boxes.buttonFor[L"Quorvel"] = L"No";
    };
    click(IDC_cmdReset);
    ASSERT_EQ(boxes.seen.size(), 3u);
    EXPECT_EQ(boxes.seen[2].first, L"Quorvel");
    EXPECT_EQ(text(IDC_cmdSnapShot), L"Collect data");
    EXPECT_FALSE(regularFileExists(kept));
    EXPECT_EQ(stored.values[5]->now(), L"No");  // QuorvelAskBeforeDropping: not asked again
    app_->remembers = false;
}

TEST_F(MainWindowTest, StopDuringTheFirstWalkResetsTheWindow) {
    // Enough keys that the walk pumps messages several times.
    for (int i = 0; i < 400; ++i) setString(key_ + L"\\k" + std::to_wstring(i), L"v", L"data");
    SendMessageW(control(IDC_cmbRegStart), CB_SELECTSTRING, static_cast<WPARAM>(-1),
                 reinterpret_cast<LPARAM>(L"HKEY_CURRENT_USER"));
    SetWindowTextW(control(IDC_txtRegKeyStart), key_.c_str());

    BoxAnswerer boxes;
    bool pressed = false;
    boxes.onTick = [&] {
        if (!pressed && text(IDC_cmdSnapShot) == L"Stop") {
            pressed = true;
            PostMessageW(control(IDC_cmdSnapShot), BM_CLICK, 0, 0);
        }
    };
    // Slow each pump down so the timer is sure to fire while the walk runs.
    app_->pump().beforePump = [&] {
        app_->window().flush();
        Sleep(60);
    };
    click(IDC_cmdSnapShot);
    EXPECT_TRUE(pressed);
    EXPECT_TRUE(boxes.seen.empty());
    EXPECT_EQ(text(IDC_cmdSnapShot), L"Collect data");
    EXPECT_TRUE(IsWindowEnabled(control(IDC_cmdSnapShot)));
    EXPECT_EQ(app_->state().regArray.size(), 1u);
    EXPECT_EQ(app_->state().j, 0);
    EXPECT_EQ(SendMessageW(control(IDC_lstNewEntries), LVM_GETITEMCOUNT, 0, 0), 0);
    EXPECT_EQ(app_->window().statusText(), "");
}

TEST_F(MainWindowTest, WholePrefixHiveAndWindowsFolderCompareAsUnchanged) {
    // A registry and a tree that nobody arranged for the test: the prefix's own
    // HKEY_LOCAL_MACHINE\Software and C:\windows, collected twice with nothing
    // installed in between.
    wchar_t windows[MAX_PATH] = {};
    GetWindowsDirectoryW(windows, MAX_PATH);
    SendMessageW(control(IDC_cmbRegStart), CB_SELECTSTRING, static_cast<WPARAM>(-1),
                 reinterpret_cast<LPARAM>(L"HKEY_LOCAL_MACHINE"));
    SetWindowTextW(control(IDC_txtRegKeyStart), L"Software");
    click(IDC_chkDetectFiles);
    SetWindowTextW(control(IDC_txtFileSystemStart), windows);
    app_->state().switches.chkDeleteRegSetting = 1;
    app_->state().switches.chkDeleteFilesSetting = 1;

    BoxAnswerer boxes;
    boxes.buttonFor[L"Detect"] = L"Yes";
    click(IDC_cmdSnapShot);
    const size_t entries = app_->state().regArray.size();
    const size_t files = app_->state().StartFileList.size() - 1;
    EXPECT_GT(entries, 1000u);
    EXPECT_GT(files, 100u);
    click(IDC_cmdSnapShot);
    ASSERT_EQ(boxes.seen.size(), 3u);
    EXPECT_EQ(boxes.seen[2].first, L"Done");
    EXPECT_EQ(app_->state().regArray2.size(), entries);
    EXPECT_EQ(app_->state().FinishFileList.size() - 1, files);
    for (ListId id : {ListId::NewEntries, ListId::DeletedEntries, ListId::EditedRegistry, ListId::NewFiles,
                      ListId::DeletedFiles, ListId::ModifiedFiles})
        EXPECT_TRUE(app_->window().list(id).rows().empty()) << static_cast<int>(id);
}

// The undo files of a real change run, applied by the prefix's own regedit
// and cmd, give the registry and the folder back as they were.
TEST_F(MainWindowTest, UndoFilesPutTheRegistryAndTheFolderBack) {
    const DWORD number = 7;
    const unsigned char bytes[] = {1, 0xAB};
    const wchar_t multi[] = L"one\0two\0";
    setString(key_, L"Edited", L"old");
    setString(key_, L"Removed", L"gone soon");
    setString(key_, L"", L"default");
    setValue(key_, L"Number", REG_DWORD, &number, sizeof number);
    setValue(key_, L"Bytes", REG_BINARY, bytes, sizeof bytes);
    setValue(key_, L"Multi", REG_MULTI_SZ, multi, sizeof multi);
    setValue(key_, L"Expand", REG_EXPAND_SZ, L"C:\\plain", sizeof L"C:\\plain");
    setString(key_ + L"\\Doomed\\Deep", L"v", L"x");
    writeFile(folder_ + L"\\kept.txt", "kept");
    watch(key_, folder_);
    app_->state().switches.chkDeleteRegSetting = 1;
    BoxAnswerer boxes;
    boxes.buttonFor[L"Detect"] = L"Yes";
    click(IDC_cmdSnapShot);
    const RegSnapshot before = walkKey(toUtf8(key_));

    const DWORD other = 0xFFFFFFFF;
    const unsigned char otherBytes[] = {2};
    setString(key_, L"Added", L"new");
    setString(key_, L"Edited", L"new");
    setString(key_, L"", L"changed default");
    setValue(key_, L"Number", REG_DWORD, &other, sizeof other);
    setValue(key_, L"Bytes", REG_BINARY, otherBytes, sizeof otherBytes);
    setValue(key_, L"Multi", REG_MULTI_SZ, L"\0", 4);
    RegDeleteKeyValueW(HKEY_CURRENT_USER, key_.c_str(), L"Removed");
    RegDeleteKeyValueW(HKEY_CURRENT_USER, key_.c_str(), L"Expand");
    RegDeleteTreeW(HKEY_CURRENT_USER, (key_ + L"\\Doomed").c_str());
    setString(key_ + L"\\Fresh\\Deeper", L"v", L"x");
    const std::wstring awkward[] = {L"\\a b & 100% ^ (x)!.txt", L"\\plain.txt", L"\\%PATH%.txt"};
    for (const std::wstring& name : awkward) writeFile(folder_ + name, "new");
    click(IDC_cmdSnapShot);
    ASSERT_EQ(boxes.seen.size(), 3u);

    ResultLists lists;
    for (ListId id : kAllLists) lists[id] = app_->window().list(id).rows();
    ASSERT_EQ(lists[ListId::NewFiles].size(), 3u);
    const ResultContext context{"HKEY_CURRENT_USER", toUtf8(key_), toUtf8(folder_)};
    wchar_t temp[MAX_PATH];
    GetTempPathW(MAX_PATH, temp);
    const std::wstring reg = std::wstring(temp) + L"quorvel-undo.reg", cmd = std::wstring(temp) + L"quorvel-undo.cmd";
    ASSERT_TRUE(replaceWholeFile(toUtf8(reg), exportRegUndo(lists, context, app_->state().regArray)));
    ASSERT_TRUE(replaceWholeFile(toUtf8(cmd), exportCmd(lists)));
    EXPECT_EQ(runAndWait(L"regedit.exe /s \"" + reg + L"\""), 0u);
    EXPECT_EQ(runAndWait(L"cmd.exe /c \"" + cmd + L"\""), 0u);

    const RegSnapshot after = walkKey(toUtf8(key_));
    EXPECT_EQ(after.size(), before.size());
    for (size_t i = 0; i < std::min(after.size(), before.size()); ++i)
        EXPECT_EQ(after[i], before[i]) << before[i].KeyName << before[i].ValueName << " / " << after[i].KeyName
                                       << after[i].ValueName << "=" << after[i].ValueData;
    for (const std::wstring& name : awkward)
        EXPECT_EQ(GetFileAttributesW((folder_ + name).c_str()), INVALID_FILE_ATTRIBUTES) << toUtf8(name);
    EXPECT_NE(GetFileAttributesW((folder_ + L"\\kept.txt").c_str()), INVALID_FILE_ATTRIBUTES);
    DeleteFileW(reg.c_str());
    DeleteFileW(cmd.c_str());
}

// quorvel-cli's watch around the sample installer, run between the window's
// two collections, sees what the window sees before and after, and must list
// exactly what the window lists.
TEST_F(MainWindowTest, CliWatchListsWhatTheWindowLists) {
    const std::wstring bin = toWide(exeFolder()), cli = L"\"" + bin + L"\\quorvel-cli.exe\"";
    EXPECT_EQ(runAndWait(cli + L" snapshot --dir C:\\"), 2u);
    const std::wstring demo = L"Software\\QuorvelDemo", settings = folder_ + L"-cli", out = settings + L"\\lists.txt";
    RegDeleteTreeW(HKEY_CURRENT_USER, demo.c_str());
    const DWORD one = 1;
    setValue(demo, L"Version", REG_DWORD, &one, sizeof one);
    setString(demo, L"Obsolete", L"left over from 0.9");
    for (const wchar_t* name : {L"\\old.log", L"\\notes.txt"}) writeFile(folder_ + name, "demo");
    watch(demo, folder_);
    app_->state().switches.chkDeleteRegSetting = app_->state().switches.chkDeleteFilesSetting = 1;
    CreateDirectoryW(settings.c_str(), nullptr);
    ASSERT_TRUE(SaveData(settingsText(flagsOf(app_->state().switches)), toUtf8(settings) + "\\Settings.dat",
                         Win32AnsiCodePage()));

    BoxAnswerer boxes;
    boxes.buttonFor[L"Detect"] = L"Yes";
    click(IDC_cmdSnapShot);
    // cmd's start returns at once: only the wait for the whole job sees the installer end.
    EXPECT_EQ(runAndWait(cli + L" watch --reg HKEY_CURRENT_USER\\" + demo + L" --dir " + folder_ + L" --settings " +
                         settings + L" -o " + out + L" -- cmd.exe /c start /b " + bin + L"\\sample_installer.exe " +
                         folder_),
              1u);
    click(IDC_cmdSnapShot);
    ASSERT_EQ(boxes.seen.size(), 3u);

    ResultLists shown;
    std::vector<size_t> sizes;
    for (ListId id : kAllLists) sizes.push_back((shown[id] = app_->window().list(id).rows()).size());
    // New: the installer's folder "Sample App" is an entry of its own, beside its three files.
    EXPECT_EQ(sizes, (std::vector<size_t>{2, 2, 1, 4, 1, 1}));
    EXPECT_EQ(readWholeFile(toUtf8(out)).value_or(""),
              cli::formatResults(shown, cli::kTextOutput, {}, app_->state().regArray));
    RegDeleteTreeW(HKEY_CURRENT_USER, demo.c_str());
    std::error_code ignored;
    std::filesystem::remove_all(std::filesystem::path(settings), ignored);
}

}  // namespace
}  // namespace qv
