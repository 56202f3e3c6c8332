#include "capture/registry_saver_win.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <vector>

#include "capture/registry_provider_win.h"
#include "capture/saved_key_provider.h"
#include "capture/registry_walk.h"
#include "core/registry_types.h"
#include "core/utf.h"
#include "tests/support/fakes/fake_registry.h"
#include "tests/support/fakes/scripted_ui.h"

namespace qv {
namespace {

using testing::ScriptedView;
using testing::ScriptedYielder;

struct Capture {
    RegSnapshot entries;
    std::vector<std::string> unread;
};

Capture capture(RegistryProviderSource& source, int32_t hive, const std::string& start) {
    AppState state;
    state.regArray = RegSnapshot(1);
    state.j = 0;
    ScriptedYielder yielder;
    ScriptedView view;
    {
        std::unique_ptr<RegistryProvider> provider = source.connect();
        RegistryWalkContext ctx{state, *provider, yielder, view};
        getvalsStart(ctx, hive, start, "");
    }
    trimSnapshot(state.regArray, state.j);
    return {std::move(state.regArray), std::move(state.FirstUnread)};
}

// Entry for entry, in order: key, name, text, type and raw bytes.
void expectSame(const Capture& walked, const Capture& saved) {
    EXPECT_EQ(saved.unread, walked.unread);
    EXPECT_EQ(saved.entries.size(), walked.entries.size());
    int reported = 0;
    for (size_t i = 0; i < std::min(saved.entries.size(), walked.entries.size()) && reported < 10; ++i) {
        if (saved.entries[i] == walked.entries[i]) continue;
        ++reported;
        ADD_FAILURE() << "entry " << i << ": walked " << ::testing::PrintToString(walked.entries[i])
                      << " type " << walked.entries[i].ValueType << ", saved "
                      << ::testing::PrintToString(saved.entries[i]) << " type " << saved.entries[i].ValueType;
    }
}

const wchar_t* const kTestKey = L"Software\\QuorvelSaveTest";

TEST(RegistrySaverTest, SavedCaptureOfWholeLocalMachineAndCurrentUserEqualsTheWalk) {
    Win32RegistryProviderSource walk;
    SavingRegistryProviderSource save;
    for (int32_t hive : {kHiveLocalMachine, kHiveCurrentUser}) {
        const uint64_t savesBefore = registrySavesMade();
        const uint64_t callsBefore = registryCallsMade();
        const Capture walked = capture(walk, hive, "");
        const uint64_t walkCalls = registryCallsMade() - callsBefore;
        const Capture saved = capture(save, hive, "");
        const uint64_t liveCalls = registryCallsMade() - callsBefore - walkCalls;
        // The keys below the root were saved, and few were read key by key.
        EXPECT_GT(registrySavesMade(), savesBefore) << hiveName(hive);
        EXPECT_LT(liveCalls * 4, walkCalls) << hiveName(hive);
        EXPECT_GT(walked.entries.size(), 100u);
        expectSame(walked, saved);
    }
}

// A volatile key lives only in memory: a save leaves it out, and the capture
// walks it, with everything below it.
TEST(RegistrySaverTest, VolatileKeysTheSaveLeavesOutAreWalked) {
    RegDeleteTreeW(HKEY_CURRENT_USER, kTestKey);
    HKEY root = nullptr, stable = nullptr, volatileKey = nullptr, below = nullptr;
    ASSERT_EQ(
        RegCreateKeyExW(HKEY_CURRENT_USER, kTestKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &root, nullptr),
        ERROR_SUCCESS);
    ASSERT_EQ(RegCreateKeyExW(root, L"Stable", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &stable, nullptr),
              ERROR_SUCCESS);
    ASSERT_EQ(RegCreateKeyExW(root, L"Volatile", 0, nullptr, REG_OPTION_VOLATILE, KEY_ALL_ACCESS, nullptr,
                              &volatileKey, nullptr),
              ERROR_SUCCESS);
    ASSERT_EQ(RegCreateKeyExW(volatileKey, L"Below", 0, nullptr, REG_OPTION_VOLATILE, KEY_ALL_ACCESS, nullptr,
                              &below, nullptr),
              ERROR_SUCCESS);
    const DWORD one = 1;
    const wchar_t text[] = L"in memory only";
    RegSetValueExW(stable, L"n", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&one), sizeof one);
    RegSetValueExW(volatileKey, L"v", 0, REG_SZ, reinterpret_cast<const BYTE*>(text), sizeof text);
    RegSetValueExW(below, L"b", 0, REG_BINARY, reinterpret_cast<const BYTE*>(text), 6);
    for (HKEY k : {below, volatileKey, stable, root}) RegCloseKey(k);

    Win32RegistryProviderSource walk;
    SavingRegistryProviderSource save;
    const uint64_t savesBefore = registrySavesMade();
    const Capture walked = capture(walk, kHiveCurrentUser, "Software\\QuorvelSaveTest");
    const Capture saved = capture(save, kHiveCurrentUser, "Software\\QuorvelSaveTest");
    EXPECT_EQ(registrySavesMade(), savesBefore + 1);
    expectSame(walked, saved);
    bool volatileSeen = false;
    for (const RegEntry& e : saved.entries)
        volatileSeen |= e.KeyName == "Software\\QuorvelSaveTest\\Volatile\\Below\\" && e.ValueName == "b";
    EXPECT_TRUE(volatileSeen);
    RegDeleteTreeW(HKEY_CURRENT_USER, kTestKey);
}

// Wine lets a registry go deeper than the 512 levels Windows allows, and a
// walk goes no deeper than that below its start: the first key past it is
// named as unread, with its path, alike key by key and from the saved
// subtree, which Wine writes as one line of 599 names.
TEST(RegistrySaverTest, AKeyDeeperThanAWalkGoesIsNamedUnreadBothWays) {
    const wchar_t* const top = L"Software\\QuorvelDeepTest";
    RegDeleteTreeW(HKEY_CURRENT_USER, top);
    std::wstring path = top;
    std::string first = "key HKEY_CURRENT_USER\\Software\\QuorvelDeepTest";
    for (int level = 1; level < 600; ++level) {
        path += L"\\" + std::to_wstring(level);
        if (level <= 513) first += "\\" + std::to_string(level);
    }
    HKEY bottom = nullptr;
    if (RegCreateKeyExW(HKEY_CURRENT_USER, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &bottom,
                        nullptr) != ERROR_SUCCESS)
        GTEST_SKIP() << "this registry takes no key 600 levels deep";
    const wchar_t text[] = L"600 levels down";
    RegSetValueExW(bottom, L"bottom", 0, REG_SZ, reinterpret_cast<const BYTE*>(text), sizeof text);
    RegCloseKey(bottom);

    Win32RegistryProviderSource walk;
    SavingRegistryProviderSource save;
    const uint64_t savesBefore = registrySavesMade();
    const Capture walked = capture(walk, kHiveCurrentUser, "Software\\QuorvelDeepTest");
    const Capture saved = capture(save, kHiveCurrentUser, "Software\\QuorvelDeepTest");
    EXPECT_GT(registrySavesMade(), savesBefore);
    EXPECT_EQ(walked.unread, std::vector<std::string>{first + " (deeper than 512 levels)"});
    EXPECT_EQ(walked.entries.size(), 513u);  // the start key and the 512 levels below it
    expectSame(walked, saved);
    RegDeleteTreeW(HKEY_CURRENT_USER, top);
}

TEST(RegistrySaverTest, WithoutThePrivilegeEveryKeyIsWalked) {
    Win32RegistryProviderSource walk;
    SavingRegistryProviderSource unprivileged(SavingRegistryProviderSource::Privilege::Missing);
    const uint64_t savesBefore = registrySavesMade();
    const uint64_t refusedBefore = registrySavesRefused();
    const Capture walked = capture(walk, kHiveCurrentUser, "Software");
    const Capture saved = capture(unprivileged, kHiveCurrentUser, "Software");
    EXPECT_EQ(registrySavesMade(), savesBefore);
    // Refused once, not once a key.
    EXPECT_EQ(registrySavesRefused(), refusedBefore + 1);
    expectSame(walked, saved);
}

// A subtree whose save is larger than the limit is walked, so that no copy of
// it is held beside the snapshot; a small one beside it is still saved.
TEST(RegistrySaverTest, ASaveLargerThanTheLimitIsWalkedInstead) {
    RegDeleteTreeW(HKEY_CURRENT_USER, kTestKey);
    HKEY large = nullptr, small = nullptr;
    ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, (std::wstring(kTestKey) + L"\\Large").c_str(), 0, nullptr, 0,
                              KEY_ALL_ACCESS, nullptr, &large, nullptr),
              ERROR_SUCCESS);
    ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, (std::wstring(kTestKey) + L"\\Small").c_str(), 0, nullptr, 0,
                              KEY_ALL_ACCESS, nullptr, &small, nullptr),
              ERROR_SUCCESS);
    // Saved as text, each byte takes three: a third of the limit in bytes
    // passes it.
    const std::vector<BYTE> block(static_cast<size_t>(kMaxSaveBytes / 3 + 1), 0x5A);
    for (const wchar_t* name : {L"one", L"two"})
        RegSetValueExW(large, name, 0, REG_BINARY, block.data(), static_cast<DWORD>(block.size()));
    const wchar_t text[] = L"kept";
    RegSetValueExW(small, L"s", 0, REG_SZ, reinterpret_cast<const BYTE*>(text), sizeof text);
    RegCloseKey(large);
    RegCloseKey(small);

    Win32RegistryProviderSource walk;
    SavingRegistryProviderSource saving;
    const std::string start = toUtf8(kTestKey);
    const Capture walkedLarge = capture(walk, kHiveCurrentUser, start + "\\Large");
    const Capture walkedSmall = capture(walk, kHiveCurrentUser, start + "\\Small");
    uint64_t before = registrySavesMade();
    expectSame(walkedLarge, capture(saving, kHiveCurrentUser, start + "\\Large"));
    EXPECT_EQ(registrySavesMade(), before);
    before = registrySavesMade();
    expectSame(walkedSmall, capture(saving, kHiveCurrentUser, start + "\\Small"));
    EXPECT_EQ(registrySavesMade(), before + 1);
    RegDeleteTreeW(HKEY_CURRENT_USER, kTestKey);
}

}  // namespace
}  // namespace qv
