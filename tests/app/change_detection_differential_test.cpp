// The indexed detection against the literal nested scans, over random snapshot
// pairs drawn from small alphabets so that every kind of collision shows up:
// duplicate names within a snapshot, empty data, filter hits, case variants,
// empty index-0 elements and entries of keys without values.
#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "app/change_detection.h"
#include "tests/app/size_only_source.h"
#include "tests/support/fakes/detection_oracle.h"
#include "tests/support/fakes/scripted_ui.h"

namespace qv {
namespace {

using testing::DetectionRows;
using testing::ScriptedPrompt;
using testing::ScriptedView;
using testing::ScriptedYielder;
using testing::SizeOnlySource;

const std::vector<std::string> kKeys = {"HKLM\\A\\", "HKLM\\a\\", "HKLM\\B\\", "HKLM\\A\\B\\", ""};
const std::vector<std::string> kNames = {"", "v", "V", "w"}, kData = {"", "1", "2", "x", "X"};
const std::vector<std::string> kPaths = {"C:\\a", "C:\\A", "c:\\a", "C:\\b", "C:\\d\\e", ""};
const std::vector<std::string> kDates = {"d1", "d2", ""};

struct Case {
    AppState state;
    bool registryTicked = true;
    SizeOnlySource files;
};

class Draw {
public:
    explicit Draw(uint32_t seed) : rng_(seed) {}

    void into(Case& c) {
        c.state.regArray = regSnapshot();
        c.state.regArray2 = finalRegSnapshot(c.state.regArray);
        c.state.StartFileList = fileSnapshot();
        c.state.FinishFileList = chance(30) ? fileSnapshot() : c.state.StartFileList;
        if (!c.state.FinishFileList.empty() && chance(30)) c.state.FinishFileList.back().ModifiedDate = "d3";
        c.state.FinishFileScanRan = chance(70);
        c.state.FilterList = {chance(20) ? "x" : ""};
        for (size_t n = upTo(3); n > 0; --n) c.state.FilterList.push_back(oneOf(kData));
        DetectionSwitches& sw = c.state.switches;
        for (int16_t* v : {&sw.chkNewRegSetting, &sw.chkDeleteRegSetting, &sw.chkEditedRegSetting,
                           &sw.chkNewFilesSetting, &sw.chkDeleteFilesSetting, &sw.chkModifiedFilesSetting})
            *v = static_cast<int16_t>(chance(5) ? 2 : upTo(1));
        c.registryTicked = chance(85);
        for (const auto& f : c.state.FinishFileList) {
            if (chance(60)) c.files.sizes[f.Filepath] = upTo(5000);
            if (chance(5)) c.files.failing.insert(f.Filepath);
        }
    }

private:
    size_t upTo(size_t n) { return std::uniform_int_distribution<size_t>(0, n)(rng_); }
    bool chance(int percent) { return upTo(99) < static_cast<size_t>(percent); }
    const std::string& oneOf(const std::vector<std::string>& options) {
        return options[upTo(options.size() - 1)];
    }
    RegEntry regEntry() { return {oneOf(kKeys), oneOf(kNames), oneOf(kData)}; }

    RegSnapshot regSnapshot() {
        if (chance(15)) return RegSnapshot(1);  // never filled
        if (chance(3)) return RegSnapshot();
        RegSnapshot s(upTo(7) + 1);
        for (auto& e : s) e = regEntry();
        return s;
    }
    // Mostly the first snapshot with a few edits (erase, insert, new data), so that matches are common.
    RegSnapshot finalRegSnapshot(const RegSnapshot& first) {
        if (chance(30)) return regSnapshot();
        RegSnapshot s = first;
        for (size_t n = upTo(3); n > 0; --n) {
            const size_t edit = upTo(3), at = upTo(s.size());
            if (edit == 1)
                s.insert(s.begin() + static_cast<std::ptrdiff_t>(at), regEntry());
            else if (at < s.size() && edit == 0)
                s.erase(s.begin() + static_cast<std::ptrdiff_t>(at));
            else if (at < s.size())
                s[at].ValueData = oneOf(kData);
        }
        return s;
    }
    FileSnapshot fileSnapshot() {
        if (chance(3)) return FileSnapshot();
        FileSnapshot s(1);
        for (size_t n = upTo(6); n > 0; --n) s.push_back({oneOf(kPaths), oneOf(kDates)});
        return s;
    }

    std::mt19937 rng_;
};

std::string describe(const std::vector<ResultRow>& rows) {
    std::string text;
    for (const auto& r : rows) text += "[" + r.text + "|" + r.sub1 + "|" + r.sub2 + "]\n";
    return text;
}

TEST(ChangeDetectionDifferential, IndexedPassesGiveTheRowsOfTheNestedScans) {
    constexpr uint32_t kBaseSeed = 20260101;
    constexpr int kCases = 5000;
    size_t rowsPerList[6] = {};
    for (int n = 0; n < kCases; ++n) {
        const uint32_t seed = kBaseSeed + static_cast<uint32_t>(n);
        Case c;
        Draw(seed).into(c);

        const DetectionRows expected = testing::literalDetection(c.state, c.registryTicked, c.files);
        ScriptedView view;
        view.chkDetectRegistry = c.registryTicked;
        ScriptedYielder yielder;
        ScriptedPrompt prompt;
        DetectionContext ctx{c.state, view, yielder, c.files, prompt};
        Detect_Click(ctx);

        for (size_t l = 0; l < expected.size(); ++l) {
            ASSERT_EQ(describe(view.lists[l]), describe(expected[l])) << "seed " << seed << ", list " << l;
            rowsPerList[l] += expected[l].size();
        }
        ASSERT_EQ(prompt.calls.size(), 1u) << "seed " << seed;
    }
    // Every list must get rows from the draws, or the comparison proves little for it.
    for (size_t count : rowsPerList) EXPECT_GT(count, static_cast<size_t>(kCases / 20));
}

}  // namespace
}  // namespace qv
