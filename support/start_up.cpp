#include "support/start_up.h"

#include <cctype>

#include "core/app_state.h"
#include "core/handler.h"
#include "core/split_string.h"

namespace qv {

std::string updateUrl(std::string_view host) {
    return "http://" + std::string(host) + "/AppVersions/" + kAppname + "Version.txt";
}

double leadingNumber(std::string_view text) {
    size_t i = 0;
    while (i < text.size() && (text[i] == ' ' || text[i] == '\t')) ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '-' || text[i] == '+')) negative = text[i++] == '-';
    double value = 0;
    for (; i < text.size() && std::isdigit(static_cast<unsigned char>(text[i])); ++i) value = value * 10 + (text[i] - '0');
    if (i < text.size() && text[i] == '.') {
        double scale = 0.1;
        for (++i; i < text.size() && std::isdigit(static_cast<unsigned char>(text[i])); ++i, scale /= 10)
            value += (text[i] - '0') * scale;
    }
    return negative ? -value : value;
}

bool isWebAddress(std::string_view url) {
    const auto startsWithNoCase = [&](std::string_view prefix) {
        if (url.size() <= prefix.size()) return false;
        for (size_t i = 0; i < prefix.size(); ++i) {
            if (std::tolower(static_cast<unsigned char>(url[i])) != prefix[i]) return false;
        }
        return true;
    };
    if (!startsWithNoCase("http://") && !startsWithNoCase("https://")) return false;
    // Nothing that a shell could read as more than one address.
    for (char c : url) {
        if (static_cast<unsigned char>(c) < 0x21 || c == '"') return false;
    }
    return true;
}

bool StartUp(StartUpServices& s, std::string_view updateHost) {
    bool go = true;
    runHandler(s.reporter, [&] {
        std::vector<std::string> DataArray;
        SplitString(s.versions.fetch(updateUrl(updateHost)), ',', DataArray);
        // Missing fields are empty texts, so a short file can never skip the agreement.
        DataArray.resize(std::max<size_t>(DataArray.size(), 3));
        if (leadingNumber(DataArray[0]) > leadingNumber(kCurrentVersion) && isWebAddress(DataArray[1])) {
            const Answer MsgboxRes =
                s.prompt.ask("New version is available at: " + DataArray[1] + ". Do you wish to go there now?",
                             "New Version", Buttons::YesNoCancel, Icon::Information);
            if (MsgboxRes == Answer::Yes) s.browser.OpenInternet(DataArray[1], 5);
            if (DataArray[2] == "must-download") {
                go = false;
                return;
            }
        }
        const std::string valueName = std::string(kAppname) + "FirstTime";
        if (s.store.GetString(kHiveCurrentUserKey, kMainKey, valueName).empty()) {
            const Answer agreed = s.prompt.ask(
                "Use this application at your own risk. Marrowby is not responsible for any loss of data or any "
                "data corruption. Do you agree to this?",
                "Agreement", Buttons::YesNoCancel, Icon::Question);
            if (agreed != Answer::Yes) {
                go = false;
                return;
            }
            s.store.SaveString(kHiveCurrentUserKey, kMainKey, valueName, "No");
        }
    });
    return go;
}

}  // namespace qv
