// Drives the real Quorvel window through one whole cycle, as a user would:
// first collection, a sample install, final collection (with detection), and
// prints what the window shows. Used by the run command on a machine with no
// display of its own.
//
//   quorvel_demo <quorvel.exe> <sample_installer.exe> <demo folder> <screenshot.bmp>
#include <windows.h>
#include <commctrl.h>

#include <chrono>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include "app/control_ids.h"
#include "core/utf.h"
#include "demo/screen_capture_win.h"

namespace {

using namespace std::chrono_literals;

DWORD g_pid = 0;
HANDLE g_process = nullptr;

void say(const std::wstring& text) {
    std::string utf8 = qv::toUtf8(text);
    fwrite(utf8.data(), 1, utf8.size(), stdout);
    fputc('\n', stdout);
    fflush(stdout);
}

[[noreturn]] void giveUp(const std::wstring& why) {
    say(L"demo failed: " + why);
    if (g_process) TerminateProcess(g_process, 1);
    ExitProcess(1);
}

std::wstring textOf(HWND hwnd) {
    wchar_t buffer[4096] = {};
    SendMessageTimeoutW(hwnd, WM_GETTEXT, 4096, reinterpret_cast<LPARAM>(buffer), SMTO_ABORTIFHUNG, 5000, nullptr);
    return buffer;
}

struct Search {
    const wchar_t* cls;
    const wchar_t* title;
    HWND found;
};

BOOL CALLBACK findTop(HWND hwnd, LPARAM lp) {
    auto* s = reinterpret_cast<Search*>(lp);
    DWORD pid = 0;
    GetWindowThreadProcessId(hwnd, &pid);
    if (pid != g_pid || !IsWindowVisible(hwnd)) return TRUE;
    wchar_t cls[64] = {};
    GetClassNameW(hwnd, cls, 64);
    if (wcscmp(cls, s->cls) != 0) return TRUE;
    if (s->title && textOf(hwnd) != s->title) return TRUE;
    s->found = hwnd;
    return FALSE;
}

HWND findWindow(const wchar_t* cls, const wchar_t* title) {
    Search s{cls, title, nullptr};
    EnumWindows(findTop, reinterpret_cast<LPARAM>(&s));
    return s.found;
}

template <class Pred>
bool waitFor(Pred pred, std::chrono::milliseconds limit) {
    auto end = std::chrono::steady_clock::now() + limit;
    while (std::chrono::steady_clock::now() < end) {
        if (pred()) return true;
        if (WaitForSingleObject(g_process, 0) == WAIT_OBJECT_0) giveUp(L"Quorvel ended unexpectedly");
        std::this_thread::sleep_for(50ms);
    }
    return false;
}

// A message box of Quorvel's with this title: its text, and a click on a button.
std::wstring answerBox(const wchar_t* title, const wchar_t* button, std::chrono::milliseconds limit) {
    HWND box = nullptr;
    if (!waitFor([&] { return (box = findWindow(L"#32770", title)) != nullptr; }, limit))
        giveUp(std::wstring(L"no \"") + title + L"\" box appeared");
    std::wstring text = textOf(GetDlgItem(box, 0xFFFF));
    for (HWND child = GetWindow(box, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
        std::wstring caption = textOf(child);
        if (caption == button || caption == std::wstring(L"&") + button) {
            PostMessageW(child, BM_CLICK, 0, 0);
            waitFor([&] { return !IsWindow(box); }, 10s);
            return text;
        }
    }
    giveUp(std::wstring(L"no button ") + button + L" in the \"" + title + L"\" box");
}

// Reads a cell of a list view in Quorvel's process through memory placed there.
class RemoteReader {
public:
    RemoteReader() {
        mem_ = VirtualAllocEx(g_process, nullptr, kSize, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE);
        if (!mem_) giveUp(L"cannot reach Quorvel's memory");
    }
    ~RemoteReader() { VirtualFreeEx(g_process, mem_, 0, MEM_RELEASE); }

    std::wstring cell(HWND list, int row, int column) {
        auto* base = static_cast<char*>(mem_);
        LVITEMW item{};
        item.iSubItem = column;
        item.cchTextMax = kChars;
        item.pszText = reinterpret_cast<wchar_t*>(base + sizeof(LVITEMW));
        WriteProcessMemory(g_process, base, &item, sizeof(item), nullptr);
        SendMessageW(list, LVM_GETITEMTEXTW, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(base));
        std::vector<wchar_t> text(kChars + 1, L'\0');
        ReadProcessMemory(g_process, base + sizeof(LVITEMW), text.data(), kChars * sizeof(wchar_t), nullptr);
        return text.data();
    }

    std::wstring status(HWND bar) {
        auto* base = static_cast<char*>(mem_);
        wchar_t zero = 0;
        WriteProcessMemory(g_process, base, &zero, sizeof(zero), nullptr);
        SendMessageW(bar, SB_GETTEXTW, SB_SIMPLEID, reinterpret_cast<LPARAM>(base));
        std::vector<wchar_t> text(kChars + 1, L'\0');
        ReadProcessMemory(g_process, base, text.data(), kChars * sizeof(wchar_t), nullptr);
        return text.data();
    }

private:
    static constexpr int kChars = 4096;
    static constexpr SIZE_T kSize = sizeof(LVITEMW) + (kChars + 1) * sizeof(wchar_t);
    void* mem_ = nullptr;
};

void prepareDemoData(const std::wstring& folder) {
    RegDeleteTreeW(HKEY_CURRENT_USER, L"Software\\QuorvelDemo");
    HKEY app = nullptr;
    RegCreateKeyExW(HKEY_CURRENT_USER, L"Software\\QuorvelDemo", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &app,
                    nullptr);
    DWORD one = 1;
    RegSetValueExW(app, L"Version", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&one), sizeof(one));
    const wchar_t obsolete[] = L"left over from 0.9";
    RegSetValueExW(app, L"Obsolete", 0, REG_SZ, reinterpret_cast<const BYTE*>(obsolete), sizeof(obsolete));
    RegCloseKey(app);

    // A clean demo folder with a file the installer removes and one it keeps.
    for (const wchar_t* name : {L"\\Sample App\\sample.exe", L"\\Sample App\\readme.txt", L"\\settings.ini"})
        DeleteFileW((folder + name).c_str());
    RemoveDirectoryW((folder + L"\\Sample App").c_str());
    CreateDirectoryW(folder.c_str(), nullptr);
    for (const wchar_t* name : {L"old.log", L"notes.txt"}) {
        HANDLE h = CreateFileW((folder + L"\\" + name).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
        DWORD w = 0;
        WriteFile(h, "demo\n", 5, &w, nullptr);
        CloseHandle(h);
    }
}

void click(HWND main, int id) { PostMessageW(GetDlgItem(main, id), BM_CLICK, 0, 0); }

void printLists(HWND main) {
    RemoteReader reader;
    const wchar_t* tabs[] = {L"New registry entries", L"Deleted registry / old entries", L"Edited registry data",
                             L"New files created",    L"Deleted files",                  L"Modified files"};
    const int columns[] = {3, 3, 3, 3, 1, 3};
    for (int t = 0; t < 6; ++t) {
        HWND list = GetDlgItem(main, qv::kListIdsByTab[t]);
        const int rows = static_cast<int>(SendMessageW(list, LVM_GETITEMCOUNT, 0, 0));
        say(L"[" + std::wstring(tabs[t]) + L"] " + std::to_wstring(rows) + L" rows");
        for (int r = 0; r < rows && r < 200; ++r) {
            std::wstring line = L"    ";
            for (int c = 0; c < columns[t]; ++c) {
                if (c) line += L" | ";
                line += reader.cell(list, r, c);
            }
            say(line);
        }
    }
    say(L"Status bar: \"" + reader.status(GetDlgItem(main, qv::IDC_Status)) + L"\"");
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc < 5) {
        fwprintf(stderr, L"usage: quorvel_demo <quorvel.exe> <sample_installer.exe> <demo folder> <shot.bmp>\n");
        return 2;
    }
    const std::wstring quorvel = argv[1], installer = argv[2], folder = argv[3], shot = argv[4];
    prepareDemoData(folder);

    STARTUPINFOW si{};
    si.cb = sizeof(si);
    PROCESS_INFORMATION pi{};
    std::wstring cmd = L"\"" + quorvel + L"\"";
    if (!CreateProcessW(quorvel.c_str(), cmd.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi))
        giveUp(L"cannot start " + quorvel);
    g_pid = pi.dwProcessId;
    g_process = pi.hProcess;
    CloseHandle(pi.hThread);

    HWND main = nullptr;
    // On a fresh account Quorvel first asks for the terms of use, before any
    // window: the demo agrees, as its user would.
    bool agreementShown = false;
    if (!waitFor(
            [&] {
                if (!agreementShown && findWindow(L"#32770", L"Agreement")) {
                    agreementShown = true;
                    say(L"\"Agreement\" box: " + answerBox(L"Agreement", L"Yes", 10s) + L"  -> Yes");
                }
                return (main = findWindow(qv::kMainWindowClass, nullptr)) != nullptr;
            },
            60s))
        giveUp(L"the main window did not appear");
    say(L"Window: \"" + textOf(main) + L"\"");

    // What the user sets in "Search parameters:".
    SendMessageW(GetDlgItem(main, qv::IDC_cmbRegStart), CB_SELECTSTRING, static_cast<WPARAM>(-1),
                 reinterpret_cast<LPARAM>(L"HKEY_CURRENT_USER"));
    SendMessageW(GetDlgItem(main, qv::IDC_txtRegKeyStart), WM_SETTEXT, 0,
                 reinterpret_cast<LPARAM>(L"Software\\QuorvelDemo"));
    click(main, qv::IDC_chkDetectFiles);
    waitFor([&] { return IsWindowEnabled(GetDlgItem(main, qv::IDC_txtFileSystemStart)) != FALSE; }, 10s);
    SendMessageW(GetDlgItem(main, qv::IDC_txtFileSystemStart), WM_SETTEXT, 0,
                 reinterpret_cast<LPARAM>(folder.c_str()));
    say(L"Watching HKEY_CURRENT_USER\\Software\\QuorvelDemo and " + folder);

    say(L"Clicking \"" + textOf(GetDlgItem(main, qv::IDC_cmdSnapShot)) + L"\"");
    click(main, qv::IDC_cmdSnapShot);
    say(L"\"Collect\" box: " + answerBox(L"Collect", L"OK", 120s));
    say(L"Collect button now reads \"" + textOf(GetDlgItem(main, qv::IDC_cmdSnapShot)) + L"\"");

    say(L"Running the sample installer");
    STARTUPINFOW si2{};
    si2.cb = sizeof(si2);
    PROCESS_INFORMATION pi2{};
    std::wstring cmd2 = L"\"" + installer + L"\" \"" + folder + L"\"";
    if (!CreateProcessW(installer.c_str(), cmd2.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si2, &pi2))
        giveUp(L"cannot start the sample installer");
    WaitForSingleObject(pi2.hProcess, 60000);
    CloseHandle(pi2.hProcess);
    CloseHandle(pi2.hThread);

    say(L"Clicking \"" + textOf(GetDlgItem(main, qv::IDC_cmdSnapShot)) + L"\"");
    click(main, qv::IDC_cmdSnapShot);
    say(L"\"Detect\" box: " + answerBox(L"Detect", L"Yes", 60s) + L"  -> Yes");
    say(L"\"Done\" box: " + answerBox(L"Done", L"OK", 300s));
    waitFor([&] { return textOf(GetDlgItem(main, qv::IDC_cmdSnapShot)) == L"Collect data"; }, 60s);
    say(L"Collect button now reads \"" + textOf(GetDlgItem(main, qv::IDC_cmdSnapShot)) + L"\"");

    printLists(main);
    SetForegroundWindow(main);
    std::this_thread::sleep_for(500ms);
    if (qv::demo::saveWindowShot(main, shot)) say(L"Screenshot saved");
    PostMessageW(main, WM_CLOSE, 0, 0);
    // The results were not exported: the close asks before it drops them.
    if (waitFor([&] { return findWindow(L"#32770", L"Quorvel") != nullptr; }, 10s))
        say(L"Close: " + answerBox(L"Quorvel", L"No", 10s) + L"  -> No");
    WaitForSingleObject(g_process, 10000);
    return 0;
}
