// A small stand-in for a real installer, for the demo: it adds, changes and
// removes a few registry values under HKEY_CURRENT_USER\Software\QuorvelDemo and
// a few files in the demo folder given as its argument.
#include <windows.h>

#include <cstdio>
#include <string>

namespace {

void setString(HKEY key, const wchar_t* name, const std::wstring& value) {
    RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                   static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
}

void setDword(HKEY key, const wchar_t* name, DWORD value) {
    RegSetValueExW(key, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), sizeof(value));
}

bool writeFile(const std::wstring& path, const char* text) {
    HANDLE h = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) return false;
    DWORD written = 0;
    WriteFile(h, text, static_cast<DWORD>(strlen(text)), &written, nullptr);
    // Move the write time an hour on: the snapshots compare times to the
    // second, and the demo runs faster than that.
    FILETIME now;
    GetSystemTimeAsFileTime(&now);
    ULARGE_INTEGER t{{now.dwLowDateTime, now.dwHighDateTime}};
    t.QuadPart += 36000000000ULL;
    FILETIME later{t.LowPart, t.HighPart};
    SetFileTime(h, nullptr, nullptr, &later);
    CloseHandle(h);
    return true;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc < 2) {
        fwprintf(stderr, L"usage: sample_installer <demo folder>\n");
        return 2;
    }
    std::wstring folder = argv[1];
    if (folder.back() != L'\\') folder += L'\\';

    HKEY app = nullptr;
    if (RegCreateKeyExW(HKEY_CURRENT_USER, L"Software\\QuorvelDemo", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &app,
                        nullptr) != ERROR_SUCCESS)
        return 1;
    setString(app, L"InstallDir", folder + L"Sample App");
    setDword(app, L"Version", 2);
    RegDeleteValueW(app, L"Obsolete");
    HKEY plugins = nullptr;
    if (RegCreateKeyExW(app, L"Plugins", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &plugins, nullptr) ==
        ERROR_SUCCESS) {
        setString(plugins, L"Renderer", L"fast");
        RegCloseKey(plugins);
    }
    RegCloseKey(app);

    CreateDirectoryW((folder + L"Sample App").c_str(), nullptr);
    bool ok = writeFile(folder + L"Sample App\\sample.exe", "MZ sample program\n");
    ok = writeFile(folder + L"Sample App\\readme.txt", "Thank you for installing the sample.\n") && ok;
    ok = writeFile(folder + L"settings.ini", "[sample]\ninstalled=1\n") && ok;
    ok = writeFile(folder + L"notes.txt", "demo\nSample App was installed here.\n") && ok;
    DeleteFileW((folder + L"old.log").c_str());
    wprintf(L"sample installer: registry and files changed under %ls\n", folder.c_str());
    return ok ? 0 : 1;
}
