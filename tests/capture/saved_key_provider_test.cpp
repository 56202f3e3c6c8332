#include "capture/saved_key_provider.h"

#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "capture/registry_walk.h"
#include "capture/wine_registry_provider.h"
#include "core/registry_types.h"
#include "tests/support/fakes/fake_registry.h"
#include "tests/support/fakes/scripted_ui.h"

namespace qv {
namespace {

using testing::ScriptedView;
using testing::ScriptedYielder;

std::string linkTo(std::u16string_view target) {
    std::string hex = "hex(6):";
    char byte[4];
    for (char16_t u : target) {
        for (int shift : {0, 8}) {
            std::snprintf(byte, sizeof byte, "%02x,", (u >> shift) & 0xFF);
            hex += byte;
        }
    }
    hex.pop_back();
    return hex;
}

// The live registry: what a walk reads key by key.
const std::string kLive =
    "WINE REGISTRY Version 2\n;; All keys relative to REGISTRY\\\\Machine\n\n#arch=win64\n\n"
    "[Software\\\\Other]\n\"o\"=\"through the link\"\n"
    "[Software\\\\Vendor]\n\"s\"=\"text\"\n\"e\"=str(2):\"%QV_NO_SUCH%\\\\x\"\n\"d\"=dword:00000005\n"
    "[Software\\\\Vendor\\\\Volatile]\n\"v\"=\"in memory\"\n"
    "[Software\\\\Vendor\\\\Volatile\\\\Deeper]\n\"w\"=hex:01,02\n"
    "[Software\\\\Vendor\\\\Stable]\n@=\"default\"\n\"m\"=str(7):\"a\\0b\\0\"\n"
    "[Software\\\\Vendor\\\\Closed]\n\"x\"=\"live\"\n"
    "[Software\\\\Vendor\\\\Link]\n#link\n\"SymbolicLinkValue\"=" +
    linkTo(u"\\Registry\\Machine\\Software\\Other") + "\n" +
    "[Software\\\\Vendor\\\\Inner]\n#link\n\"SymbolicLinkValue\"=" +
    linkTo(u"\\REGISTRY\\Machine\\software\\vendor\\Stable") + "\n";

// The same subtree as a save wrote it: no volatile key, the link as a key.
const std::string kSaved =
    "WINE REGISTRY Version 2\n;; All keys relative to REGISTRY\\\\Machine\\\\Software\\\\Vendor\n\n"
    "[]\n\"s\"=\"text\"\n\"e\"=str(2):\"%QV_NO_SUCH%\\\\x\"\n\"d\"=dword:00000005\n"
    "[Stable]\n@=\"default\"\n\"m\"=str(7):\"a\\0b\\0\"\n"
    "[Closed]\n\"x\"=\"stale\"\n"
    "[Link]\n#link\n\"SymbolicLinkValue\"=" +
    linkTo(u"\\Registry\\Machine\\Software\\Other") + "\n" +
    "[Inner]\n#link\n\"SymbolicLinkValue\"=" +
    linkTo(u"\\REGISTRY\\Machine\\software\\vendor\\Stable") + "\n";

// The saved subtree with one text of it changed, so that what the capture
// shows can be told to come from the save.
std::shared_ptr<const WineHive> savedWith(std::string_view from, std::string_view to) {
    auto tree = std::make_shared<WineHive>();
    std::string text = kSaved;
    text.replace(text.find(from), from.size(), to);
    std::string error;
    EXPECT_TRUE(tree->parse(text, "saved", error)) << error;
    return tree;
}

class ScriptedSaver : public RegistrySaver {
public:
    std::optional<SavedKey> save(int32_t hive, const std::string& path) override {
        asked.push_back(std::string(hiveName(hive)) + "\\" + path);
        const auto it = saves.find(path);
        if (it == saves.end()) return std::nullopt;
        return it->second;
    }
    std::map<std::string, SavedKey> saves;
    std::vector<std::string> asked;
};

class SavedKeyProviderTest : public ::testing::Test {
protected:
    void SetUp() override {
        auto hives = std::make_shared<WinePrefixHives>();
        std::string error;
        ASSERT_TRUE(hives->machine.parse(kLive, "live", error)) << error;
        hives_ = hives;
        auto tree = std::make_shared<WineHive>();
        ASSERT_TRUE(tree->parse(kSaved, "saved", error)) << error;
        SavedKey vendor;
        vendor.tree = tree;
        // As the registry lists them: the volatile key among the saved ones.
        vendor.liveSubkeys[WineHive::kRoot] = {"Volatile", "Stable", "Closed", "Link", "Inner"};
        vendor.readLive.insert(tree->child(WineHive::kRoot, "Closed"));
        auto saver = std::make_unique<ScriptedSaver>();
        saver->saves["Software\\Vendor"] = vendor;
        saver_ = saver.get();
        saverOwned_ = std::move(saver);
    }

    std::unique_ptr<RegistryProvider> live() const { return makeWineRegistryProvider(hives_, {}); }

    RegSnapshot walk(RegistryProvider& provider, const std::string& start) {
        AppState state;
        state.regArray = RegSnapshot(1);
        state.j = 0;
        ScriptedYielder yielder;
        ScriptedView view;
        RegistryWalkContext ctx{state, provider, yielder, view};
        getvalsStart(ctx, kHiveLocalMachine, start, "");
        trimSnapshot(state.regArray, state.j);
        return state.regArray;
    }

    std::shared_ptr<const WinePrefixHives> hives_;
    ScriptedSaver* saver_ = nullptr;
    std::unique_ptr<ScriptedSaver> saverOwned_;
};

TEST_F(SavedKeyProviderTest, CaptureFromTheSaveEqualsTheWalkWithLeftOutKeysReadLive) {
    std::unique_ptr<RegistryProvider> liveOnly = live();
    const RegSnapshot walked = walk(*liveOnly, "Software\\Vendor");
    std::unique_ptr<RegistryProvider> saved = makeSavedKeyProvider(live(), std::move(saverOwned_));
    const RegSnapshot captured = walk(*saved, "Software\\Vendor");
    // "Closed" is read live ("live", not the save's "stale"), "Volatile" and
    // its subkey are walked, "Link" is followed: all as the walk has them.
    EXPECT_EQ(captured, walked);
    // The link's target is asked for as a save of its own, and read live when
    // there is none.
    EXPECT_EQ(saver_->asked, (std::vector<std::string>{"HKEY_LOCAL_MACHINE\\Software\\Vendor",
                                                       "HKEY_LOCAL_MACHINE\\Software\\Other"}));
    bool linked = false;
    for (const RegEntry& e : captured) linked |= e.ValueData == "through the link";
    EXPECT_TRUE(linked);
}

TEST_F(SavedKeyProviderTest, ValuesComeFromTheSaveWhereItHoldsTheKey) {
    saver_->saves["Software\\Vendor"].tree = savedWith("\"text\"", "\"saved\"");
    std::unique_ptr<RegistryProvider> saved = makeSavedKeyProvider(live(), std::move(saverOwned_));
    const RegSnapshot captured = walk(*saved, "Software\\Vendor");
    ASSERT_FALSE(captured.empty());
    EXPECT_EQ(captured[0].ValueName, "s");
    EXPECT_EQ(captured[0].ValueData, "saved");
}

TEST_F(SavedKeyProviderTest, WhereTheSaveFailsEverythingIsWalkedAndTheSaveIsNotTriedAgainBelow) {
    saver_->saves.clear();
    std::unique_ptr<RegistryProvider> liveOnly = live();
    const RegSnapshot walked = walk(*liveOnly, "Software");
    std::unique_ptr<RegistryProvider> saved = makeSavedKeyProvider(live(), std::move(saverOwned_));
    EXPECT_EQ(walk(*saved, "Software"), walked);
    EXPECT_EQ(saver_->asked, std::vector<std::string>{"HKEY_LOCAL_MACHINE\\Software"});
}

TEST_F(SavedKeyProviderTest, AHiveRootIsWalkedAndEachKeyBelowItSaved) {
    saver_->saves.clear();
    std::unique_ptr<RegistryProvider> saved = makeSavedKeyProvider(live(), std::move(saverOwned_));
    std::unique_ptr<RegistryProvider> liveOnly = live();
    EXPECT_EQ(walk(*saved, ""), walk(*liveOnly, ""));
    EXPECT_EQ(saver_->asked, std::vector<std::string>{"HKEY_LOCAL_MACHINE\\Software"});
}

// A link into the saved subtree is answered from the save, as its target is;
// one that leads out of it is followed live.
TEST_F(SavedKeyProviderTest, ALinkIntoTheSaveIsReadFromItAndOneOutOfItLive) {
    saver_->saves["Software\\Vendor"].tree = savedWith("\"default\"", "\"saved default\"");
    std::unique_ptr<RegistryProvider> saved = makeSavedKeyProvider(live(), std::move(saverOwned_));
    std::map<std::string, std::string> defaults;
    for (const RegEntry& e : walk(*saved, "Software\\Vendor"))
        if (e.ValueName.empty() || e.ValueName == "o") defaults[std::string(e.KeyName.view())] = e.ValueData;
    EXPECT_EQ(defaults["Software\\Vendor\\Stable\\"], "saved default");
    EXPECT_EQ(defaults["Software\\Vendor\\Inner\\"], "saved default");
    EXPECT_EQ(defaults["Software\\Vendor\\Link\\"], "through the link");
}

// Copies are let go of, the oldest first, once they add up to more than the
// limit; a link into one let go of saves its target again, and the capture
// still equals the walk.
TEST(SavedKeyProviderLimits, OldCopiesAreLetGoOfAndALinkIntoOneSavesItAgain) {
    const std::string live =
        "WINE REGISTRY Version 2\n;; All keys relative to REGISTRY\\\\Machine\n\n#arch=win64\n\n"
        "[A]\n\"a\"=\"first\"\n"
        "[B]\n\"b\"=\"second\"\n"
        "[B\\\\ToA]\n#link\n\"SymbolicLinkValue\"=" +
        linkTo(u"\\Registry\\Machine\\A") + "\n";
    auto hives = std::make_shared<WinePrefixHives>();
    std::string error;
    ASSERT_TRUE(hives->machine.parse(live, "live", error)) << error;
    const auto saveOf = [](const std::string& text) {
        auto tree = std::make_shared<WineHive>();
        std::string error;
        EXPECT_TRUE(tree->parse(text, "saved", error)) << error;
        SavedKey saved;
        saved.tree = tree;
        saved.bytes = kMaxKeptSaveBytes / 2 + 1;  // two do not fit together
        return saved;
    };
    auto saver = std::make_unique<ScriptedSaver>();
    ScriptedSaver* asked = saver.get();
    saver->saves["A"] = saveOf("WINE REGISTRY Version 2\n\n[]\n\"a\"=\"first\"\n");
    saver->saves["B"] = saveOf(
        "WINE REGISTRY Version 2\n\n[]\n\"b\"=\"second\"\n[ToA]\n#link\n\"SymbolicLinkValue\"=" +
        linkTo(u"\\Registry\\Machine\\A") + "\n");
    std::unique_ptr<RegistryProvider> saved = makeSavedKeyProvider(makeWineRegistryProvider(hives, {}), std::move(saver));
    std::unique_ptr<RegistryProvider> walked = makeWineRegistryProvider(hives, {});
    const auto capture = [](RegistryProvider& provider) {
        AppState state;
        state.regArray = RegSnapshot(1);
        state.j = 0;
        ScriptedYielder yielder;
        ScriptedView view;
        RegistryWalkContext ctx{state, provider, yielder, view};
        getvalsStart(ctx, kHiveLocalMachine, "", "");
        trimSnapshot(state.regArray, state.j);
        return state.regArray;
    };
    EXPECT_EQ(capture(*saved), capture(*walked));
    EXPECT_EQ(asked->asked, (std::vector<std::string>{"HKEY_LOCAL_MACHINE\\A", "HKEY_LOCAL_MACHINE\\B",
                                                      "HKEY_LOCAL_MACHINE\\A"}));
}

// Expandable strings expand from the saved data with the environment given,
// as the live provider expands them, without reading the key live again.
TEST_F(SavedKeyProviderTest, ExpandableStringsExpandFromTheSaveWithTheEnvironmentGiven) {
    saver_->saves["Software\\Vendor"].tree = savedWith("%QV_NO_SUCH%", "%qv_dir%\\\\%QV_NO_SUCH%");
    const auto fold = [](std::u16string_view name) {
        std::u16string folded(name);
        for (char16_t& c : folded)
            if (c >= u'a' && c <= u'z') c = static_cast<char16_t>(c - u'a' + u'A');
        return folded;
    };
    auto environment = std::make_shared<const EnvironmentExpander>(
        std::vector<std::pair<std::u16string, std::u16string>>{{u"QV_DIR", u"C:\\qv"}}, fold);
    std::unique_ptr<RegistryProvider> saved = makeSavedKeyProvider(live(), std::move(saverOwned_), environment);
    const RegSnapshot captured = walk(*saved, "Software\\Vendor");
    std::string expanded;
    for (const RegEntry& e : captured)
        if (e.KeyName == "Software\\Vendor\\" && e.ValueName == "e") expanded = e.ValueData;
    // The live key holds "%QV_NO_SUCH%\x": this text can only come from the save.
    EXPECT_EQ(expanded, "C:\\qv\\%QV_NO_SUCH%\\x");
}

}  // namespace
}  // namespace qv
