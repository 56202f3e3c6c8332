#include "support/start_up.h"

#include <gtest/gtest.h>

#include <map>

#include "support/error_report.h"
#include "tests/support/fakes/scripted_ui.h"

namespace qv {
namespace {

// Keyed by hive too, so that the first-run value is checked to live under the current user.
class MemoryStore : public RegistryStore {
public:
    std::map<std::string, std::string> values;
    void SaveString(int32_t hive, const std::string& path, const std::string& name,
                    const std::string& data) override {
        values[std::to_string(hive) + "|" + path + "|" + name] = data;
    }
    std::string GetString(int32_t hive, const std::string& path, const std::string& name) override {
        auto it = values.find(std::to_string(hive) + "|" + path + "|" + name);
        return it == values.end() ? "" : it->second;
    }
};

const std::string kFirstRun = std::to_string(kHiveCurrentUser) + "|SOFTWARE\\Marrowby|QuorvelFirstTime";

struct Fixed : VersionSource, Browser {
    std::string body;
    std::string asked;
    std::vector<std::string> opened;
    std::string fetch(const std::string& url) override {
        asked = url;
        return body;
    }
    void OpenInternet(const std::string& url, int style) override {
        EXPECT_EQ(style, 5);
        opened.push_back(url);
    }
};

TEST(StartUpRules, LeadingNumbersWebAddressesAndTheUpdateUrl) {
    EXPECT_GT(leadingNumber("1.1"), leadingNumber("1.09"));
    EXPECT_EQ(leadingNumber("1.00"), leadingNumber("1.0 beta"));
    EXPECT_EQ(leadingNumber("<html>"), 0);
    EXPECT_EQ(leadingNumber(""), 0);
    EXPECT_EQ(leadingNumber("  2.5x"), 2.5);
    for (const char* ok : {"http://example.com/get", "HTTPS://example.com/a?b=c"})
        EXPECT_TRUE(isWebAddress(ok)) << ok;
    for (const char* bad :
         {"C:\\Windows\\System32\\calc.exe", "file:///C:/x", "http://", "javascript:alert(1)",
          "http://a.com/ \"C:\\x.exe\"", "\\\\server\\share\\setup.exe", "ms-settings:"})
        EXPECT_FALSE(isWebAddress(bad)) << bad;
    EXPECT_EQ(updateUrl("127.0.0.1:8080"), "http://127.0.0.1:8080/AppVersions/QuorvelVersion.txt");
}

TEST(StartUp, VersionFileDecidesTheOfferAndTheAgreementIsAskedUntilAccepted) {
    const std::string download = "http://example.com/get";
    struct Case {
        std::string body;
        std::vector<Answer> answers;  // to the boxes, in order
        std::vector<std::string> titles;
        bool go, opened, agreed;
        std::string stored = "";  // the first-run value before the start
    };
    // clang-format off
    const Case cases[] = {
        {"", {Answer::Yes}, {"Agreement"}, true, false, true},
        {"1.00," + download + ",", {Answer::Yes}, {"Agreement"}, true, false, true},
        {"1.01," + download + ",x", {Answer::Yes, Answer::Yes}, {"New Version", "Agreement"}, true, true, true},
        {"2.0," + download + ",must-download", {Answer::No}, {"New Version"}, false, false, false},
        {"2.0," + download + ",must-download", {Answer::Yes}, {"New Version"}, false, true, false},
        {"2.0," + download + ",must-download\r\n", {Answer::No, Answer::Yes}, {"New Version", "Agreement"}, true, false, true},
        {"2.0", {Answer::Yes}, {"Agreement"}, true, false, true},  // fewer fields: no address, no offer
        {"2.0," + download, {Answer::No, Answer::Yes}, {"New Version", "Agreement"}, true, false, true},
        {"9.9,C:\\Windows\\notepad.exe,must-download", {Answer::Yes}, {"Agreement"}, true, false, true},
        {"", {Answer::No}, {"Agreement"}, false, false, false},
        {"", {}, {}, true, false, false, "Yes please"},  // once accepted, any text means no question
    };
    // clang-format on
    for (const Case& c : cases) {
        SCOPED_TRACE(c.body);
        Fixed server;
        server.body = c.body;
        MemoryStore store;
        store.values[kFirstRun] = c.stored;
        testing::ScriptedPrompt prompt;
        prompt.answers.assign(c.answers.begin(), c.answers.end());
        ErrorReporter reporter{prompt};
        StartUpServices s{prompt, reporter, server, store, server};
        EXPECT_EQ(StartUp(s, "updates.example"), c.go);
        EXPECT_EQ(server.asked, "http://updates.example/AppVersions/QuorvelVersion.txt");
        std::vector<std::string> titles;
        for (const auto& call : prompt.calls) titles.push_back(call.title);
        EXPECT_EQ(titles, c.titles);
        EXPECT_EQ(server.opened.size(), c.opened ? 1u : 0u);
        EXPECT_EQ(store.values[kFirstRun], c.agreed ? "No" : c.stored);
        if (!prompt.calls.empty() && prompt.calls[0].title == "New Version") {
            EXPECT_EQ(prompt.calls[0].text,
                      "New version is available at: " + download + ". Do you wish to go there now?");
            EXPECT_EQ(prompt.calls[0].icon, Icon::Information);
        }
    }
}

TEST(RegistryStoreText, StringsEndAtTheirFirstNulAndBinaryReadsTwoBytes) {
    const std::string text("a\0b\0\0\0c\0", 8);  // UTF-16 "ab", NUL, "c"
    EXPECT_EQ(storedValueText(kRegSz, text), "ab");
    EXPECT_EQ(storedValueText(kRegBinary, std::string("\x01\x02\x03", 3)), "513");
    EXPECT_EQ(storedValueText(kRegBinary, std::string("\xFF\xFF", 2)), "-1");
    EXPECT_EQ(storedValueText(kRegBinary, std::string("\x07", 1)), "7");
    EXPECT_EQ(storedValueText(4, std::string("\x07\0\0\0", 4)), "");
}

}  // namespace
}  // namespace qv
