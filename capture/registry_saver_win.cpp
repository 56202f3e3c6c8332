#include "capture/registry_saver_win.h"

#include <windows.h>
// After windows.h, which it needs.
#include <winternl.h>

#include <atomic>
#include <optional>
#include <string>

#include "capture/regf_hive.h"
#include "capture/registry_provider_win.h"
#include "capture/saved_key_provider.h"
#include "core/utf.h"
#include "core/whole_file.h"

namespace qv {

namespace {

std::atomic<uint64_t> savesMade{0};
std::atomic<uint64_t> savesRefused{0};
std::atomic<uint64_t> checkCalls{0};

HKEY hiveKey(int32_t hive) {
    return reinterpret_cast<HKEY>(static_cast<ULONG_PTR>(static_cast<LONG>(hive)));
}

// SeBackupPrivilege enabled on this thread alone, for as long as the object
// lives: enabled for the process it would also open folders past their
// permissions wherever the file scan asks for backup semantics.
class BackupPrivilege {
public:
    explicit BackupPrivilege(bool wanted) {
        if (!wanted || !ImpersonateSelf(SecurityImpersonation)) return;
        impersonating_ = true;
        HANDLE token = nullptr;
        if (!OpenThreadToken(GetCurrentThread(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY, FALSE, &token))
            return;
        TOKEN_PRIVILEGES tp{};
        tp.PrivilegeCount = 1;
        tp.Privileges[0].Attributes = SE_PRIVILEGE_ENABLED;
        // AdjustTokenPrivileges succeeds for a privilege the token lacks, and
        // says so only through the last error.
        held_ = LookupPrivilegeValueW(nullptr, SE_BACKUP_NAME, &tp.Privileges[0].Luid) &&
                AdjustTokenPrivileges(token, FALSE, &tp, 0, nullptr, nullptr) &&
                GetLastError() == ERROR_SUCCESS;
        CloseHandle(token);
    }
    ~BackupPrivilege() {
        if (impersonating_) RevertToSelf();
    }
    BackupPrivilege(const BackupPrivilege&) = delete;
    BackupPrivilege& operator=(const BackupPrivilege&) = delete;
    bool held() const { return held_; }

private:
    bool impersonating_ = false;
    bool held_ = false;
};

// The native calls under RegOpenKeyExW, RegQueryInfoKeyW and RegCloseKey. The
// check below makes three a key, the most of a capture from saves; the
// wrappers' own work (a special-root lookup, a path copy, the class buffer)
// is a good part of each call's cost under Wine, where the call itself is a
// quick round trip to the server.
class NativeKeys {
public:
    NativeKeys() {
        if (HMODULE ntdll = GetModuleHandleW(L"ntdll.dll")) {
            open_ = function<OpenKey>(ntdll, "NtOpenKey");
            query_ = function<QueryKey>(ntdll, "NtQueryKey");
            close_ = function<Close>(ntdll, "NtClose");
        }
    }
    bool available() const { return open_ && query_ && close_; }

    // The subkey `name` of `parent` opened for reading; nullptr where it
    // cannot be.
    HANDLE open(HANDLE parent, std::wstring_view name) const {
        UNICODE_STRING text;
        text.Buffer = const_cast<wchar_t*>(name.data());
        text.Length = text.MaximumLength = static_cast<USHORT>(name.size() * sizeof(wchar_t));
        OBJECT_ATTRIBUTES attributes;
        InitializeObjectAttributes(&attributes, &text, OBJ_CASE_INSENSITIVE, parent, nullptr);
        HANDLE key = nullptr;
        return open_(&key, KEY_READ, &attributes) >= 0 ? key : nullptr;
    }
    // The key's subkey and value counts.
    bool counts(HANDLE key, DWORD& subkeys, DWORD& values) const {
        struct {
            LARGE_INTEGER lastWriteTime;
            ULONG titleIndex, classOffset, classLength, subKeys, maxNameLen, maxClassLen, values,
                maxValueNameLen, maxValueDataLen;
            wchar_t className[256];
        } info;
        ULONG length = 0;
        constexpr int kKeyFullInformation = 2;
        const NTSTATUS status = query_(key, kKeyFullInformation, &info, sizeof info, &length);
        // A class name longer than the buffer leaves the counts filled.
        if (status < 0 && status != static_cast<NTSTATUS>(0x80000005L)) return false;  // STATUS_BUFFER_OVERFLOW
        subkeys = info.subKeys;
        values = info.values;
        return true;
    }
    void close(HANDLE key) const { close_(key); }

private:
    // Through the generic function type, which any function pointer type
    // converts to and from without a warning.
    template <class F>
    static F function(HMODULE module, const char* name) {
        return reinterpret_cast<F>(reinterpret_cast<void (*)()>(GetProcAddress(module, name)));
    }

    using OpenKey = NTSTATUS(NTAPI*)(PHANDLE, ACCESS_MASK, POBJECT_ATTRIBUTES);
    using QueryKey = NTSTATUS(NTAPI*)(HANDLE, int, PVOID, ULONG, PULONG);
    using Close = NTSTATUS(NTAPI*)(HANDLE);
    OpenKey open_ = nullptr;
    QueryKey query_ = nullptr;
    Close close_ = nullptr;
};

struct KeyCloser {
    void operator()(HKEY key) const noexcept { RegCloseKey(key); }
};
using UniqueKey = std::unique_ptr<std::remove_pointer_t<HKEY>, KeyCloser>;

class Win32RegistrySaver final : public RegistrySaver {
public:
    explicit Win32RegistrySaver(bool enablePrivilege) : enablePrivilege_(enablePrivilege) {}

    std::optional<SavedKey> save(int32_t hive, const std::string& path) override {
        if (refused_) return std::nullopt;
        HKEY opened = nullptr;
        if (RegOpenKeyExW(hiveKey(hive), toWide(path).c_str(), 0, KEY_READ, &opened) != ERROR_SUCCESS)
            return std::nullopt;
        const UniqueKey key(opened);
        wchar_t dir[MAX_PATH + 1];
        wchar_t file[MAX_PATH + 1];
        const DWORD dirChars = GetTempPathW(MAX_PATH + 1, dir);
        if (dirChars == 0 || dirChars > MAX_PATH || !GetTempFileNameW(dir, L"qvs", 0, file))
            return std::nullopt;
        // RegSaveKeyExW writes only a file that is not there yet.
        DeleteFileW(file);
        LSTATUS rc;
        {
            const BackupPrivilege privilege(enablePrivilege_);
            if (!privilege.held()) {
                refused_ = true;
                ++savesRefused;
                return std::nullopt;
            }
            rc = RegSaveKeyExW(key.get(), file, nullptr, REG_LATEST_FORMAT);
        }
        if (rc == ERROR_PRIVILEGE_NOT_HELD) {
            refused_ = true;
            ++savesRefused;
        }
        if (rc != ERROR_SUCCESS) {
            DeleteFileW(file);
            return std::nullopt;
        }
        WIN32_FILE_ATTRIBUTE_DATA written{};
        if (!GetFileAttributesExW(file, GetFileExInfoStandard, &written)) {
            DeleteFileW(file);
            return std::nullopt;
        }
        const uint64_t size = (static_cast<uint64_t>(written.nFileSizeHigh) << 32) | written.nFileSizeLow;
        if (size > kMaxSaveBytes) {  // walked instead: no copy held beside the snapshot
            DeleteFileW(file);
            return std::nullopt;
        }
        const std::optional<std::string> bytes = readWholeFile(toUtf8(std::wstring_view(file)));
        DeleteFileW(file);
        if (!bytes) return std::nullopt;
        auto tree = std::make_shared<WineHive>();
        std::string error;
        const bool parsed = looksLikeRegfHive(*bytes) ? parseRegfHive(*bytes, "save", *tree, error)
                                                      : tree->parse(*bytes, "save", error);
        if (!parsed) return std::nullopt;
        SavedKey saved;
        saved.tree = tree;
        saved.bytes = bytes->size();
        compare(key.get(), *tree, WineHive::kRoot, saved);
        ++savesMade;
        return saved;
    }

private:
    // Marks where the live key differs from the saved one: subkeys the save
    // left out (volatile keys, and whatever was made since), a key that
    // cannot be opened as the walk opens it, values that differ in number.
    // Three calls a key, where walking it takes two and one per value and
    // subkey more.
    void compare(HKEY key, const WineHive& tree, uint32_t node, SavedKey& saved) {
        DWORD subkeys = 0;
        DWORD values = 0;
        ++checkCalls;
        const bool counted = native_.available()
                                 ? native_.counts(key, subkeys, values)
                                 : RegQueryInfoKeyW(key, nullptr, nullptr, nullptr, &subkeys, nullptr, nullptr,
                                                    &values, nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS;
        if (!counted || values != tree.key(node).valueCount) {
            saved.readLive.insert(node);
            return;
        }
        const WineHive::Children children = tree.children(node);
        if (subkeys != children.size()) {
            std::vector<std::string>& names = saved.liveSubkeys[node];
            for (DWORD i = 0;; ++i) {
                DWORD chars = static_cast<DWORD>(name_.size());
                ++checkCalls;
                const LSTATUS rc =
                    RegEnumKeyExW(key, i, name_.data(), &chars, nullptr, nullptr, nullptr, nullptr);
                if (rc != ERROR_SUCCESS) break;
                names.push_back(toUtf8(std::wstring_view(name_.data(), chars)));
            }
        }
        for (uint32_t c : children) {
            if (tree.key(c).link) continue;  // read live, through the link
            checkCalls += 2;  // the open and the close
            if (native_.available()) {
                HANDLE child = native_.open(key, toWide(tree.keyName(c)));
                if (!child) {
                    saved.readLive.insert(c);
                    continue;
                }
                compare(static_cast<HKEY>(child), tree, c, saved);
                native_.close(child);
                continue;
            }
            HKEY opened = nullptr;
            if (RegOpenKeyExW(key, toWide(tree.keyName(c)).c_str(), 0, KEY_READ, &opened) != ERROR_SUCCESS) {
                saved.readLive.insert(c);
                continue;
            }
            const UniqueKey child(opened);
            compare(child.get(), tree, c, saved);
        }
    }

    NativeKeys native_;
    bool enablePrivilege_;
    bool refused_ = false;  // one refusal holds for the provider's every key
    std::vector<wchar_t> name_ = std::vector<wchar_t>(1024);
};

}  // namespace

uint64_t registrySavesMade() {
    return savesMade.load();
}
uint64_t registrySavesRefused() {
    return savesRefused.load();
}
uint64_t registryCheckCallsMade() {
    return checkCalls.load();
}

std::unique_ptr<RegistryProvider> SavingRegistryProviderSource::connect() {
    return makeSavedKeyProvider(Win32RegistryProviderSource().connect(),
                                std::make_unique<Win32RegistrySaver>(privilege_ == Privilege::Enable),
                                std::make_shared<const EnvironmentExpander>(processEnvironment()));
}

}  // namespace qv
