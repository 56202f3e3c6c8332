#include "settings/data_files.h"

#include <algorithm>
#include <charconv>

#include "core/failure.h"
#include "core/handler.h"
#include "core/split_string.h"
#include "core/whole_file.h"
#include "settings/text_files.h"
#include "background_text.h"

namespace qv {

void setDataFilePaths(AppState& state, const std::string& exeFolder) {
    // The native Linux program opens these paths itself, where a backslash is
    // part of a name and not a separator.
#ifdef _WIN32
    const std::string folder = exeFolder + "\\";
#else
    const std::string folder = exeFolder + "/";
#endif
    state.SettingsPath = folder + "Settings.dat";
    state.RegExceptionsPath = folder + "RegExceptions.dat";
    state.FileExceptionsPath = folder + "FileExceptions.dat";
    state.FilterPath = folder + "Filter.dat";
    state.BackgroundPath = folder + "Background.dat";
}

std::vector<TextPair> pairRule(const std::vector<std::string>& pieces) {
    std::vector<TextPair> pairs;
    for (size_t x = 0; x + 1 < pieces.size(); x += 2) {
        if (!pieces[x].empty()) pairs.emplace_back(pieces[x], pieces[x + 1]);
    }
    return pairs;
}

std::vector<std::string> singleRule(const std::vector<std::string>& pieces) {
    std::vector<std::string> singles;
    for (size_t x = 0; x + 1 < pieces.size(); ++x) {
        if (!pieces[x].empty()) singles.push_back(pieces[x]);
    }
    return singles;
}

namespace {

std::vector<std::string> piecesAtCr(const std::string& text) {
    std::vector<std::string> pieces;
    SplitString(text, '\r', pieces);
    return pieces;
}

}  // namespace

std::vector<RegException> regExceptionsFromText(const std::string& text) {
    std::vector<RegException> list(1);
    for (auto& [hKey, keyPath] : pairRule(piecesAtCr(text))) list.push_back({std::move(hKey), std::move(keyPath)});
    return list;
}

std::vector<FileException> fileExceptionsFromText(const std::string& text) {
    std::vector<FileException> list(1);
    for (auto& [path, kind] : pairRule(piecesAtCr(text))) list.push_back({std::move(path), std::move(kind)});
    return list;
}

std::vector<std::string> filterListFromText(const std::string& text) {
    std::vector<std::string> list(1);
    for (auto& entry : singleRule(piecesAtCr(text))) list.push_back(std::move(entry));
    return list;
}

std::vector<std::string> backgroundListFromText(std::string_view text) {
    std::vector<std::string> list;
    size_t at = 0;
    while (at < text.size()) {
        size_t end = text.find_first_of("\r\n", at);
        if (end == std::string_view::npos) end = text.size();
        std::string_view line = text.substr(at, end - at);
        at = end + 1;
        while (!line.empty() && (line.front() == ' ' || line.front() == '\t')) line.remove_prefix(1);
        while (!line.empty() && (line.back() == ' ' || line.back() == '\t')) line.remove_suffix(1);
        if (line.empty() || line.front() == ';' || line.front() == '#') continue;
        list.emplace_back(line);
    }
    return list;
}

std::vector<std::string> builtInBackgroundList() {
    return backgroundListFromText(kBuiltInBackgroundText);
}

std::string settingsText(const std::array<int16_t, 6>& flags, int16_t attributeChanges) {
    std::string text;
    for (size_t i = 0; i < flags.size(); ++i) {
        if (i) text += ',';
        text += std::to_string(flags[i]);
    }
    if (attributeChanges != 0) {
        text += ',';
        text += std::to_string(attributeChanges);
    }
    return text;
}

std::string pairsText(const std::vector<TextPair>& rows) {
    std::string text;
    for (const auto& [first, second] : rows) {
        text += first;
        text += '\r';
        text += second;
        text += '\r';
    }
    return text;
}

std::string singlesText(const std::vector<std::string>& rows) {
    std::string text;
    for (const auto& row : rows) {
        text += row;
        text += '\r';
    }
    return text;
}

int16_t parseSettingValue(const std::string& piece) {
    const auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; };
    size_t begin = 0, end = piece.size();
    while (begin < end && blank(piece[begin])) ++begin;
    while (end > begin && blank(piece[end - 1])) --end;
    const char* first = piece.data() + begin;
    const char* last = piece.data() + end;
    if (first != last && *first == '+') ++first;
    long value = 0;
    const auto [stop, ec] = std::from_chars(first, last, value);
    check(first != last && stop == last && ec != std::errc::invalid_argument, 13, "Type mismatch");
    check(ec != std::errc::result_out_of_range && value >= INT16_MIN && value <= INT16_MAX, 6, "Overflow");
    return static_cast<int16_t>(value);
}

std::array<int16_t, 6> flagsOf(const DetectionSwitches& s) {
    return {s.chkNewRegSetting,   s.chkDeleteRegSetting,   s.chkEditedRegSetting,
            s.chkNewFilesSetting, s.chkDeleteFilesSetting, s.chkModifiedFilesSetting};
}

void setFlags(DetectionSwitches& s, const std::array<int16_t, 6>& f) {
    s.chkNewRegSetting = f[0];
    s.chkDeleteRegSetting = f[1];
    s.chkEditedRegSetting = f[2];
    s.chkNewFilesSetting = f[3];
    s.chkDeleteFilesSetting = f[4];
    s.chkModifiedFilesSetting = f[5];
}

void LoadSettingsAndLists(AppState& state, const AnsiCodePage& codePage, ErrorSink& reporter) {
    runHandler(reporter, [&] {
        if (!regularFileExists(state.SettingsPath)) {
            state.switches = DetectionSwitches{};
        } else {
            // Only the first line holds switches: however large the file, no
            // more of it than that line could need is read.
            std::string text = LoadTextFile(state.SettingsPath, codePage, reporter, kSettingsReadLimit);
            text.resize(std::min(text.find_first_of("\r\n"), text.size()));
            std::vector<std::string> pieces;
            SplitString(text, ',', pieces);
            // A failing value leaves the flags after it off.
            std::array<int16_t, 6> flags{};
            setFlags(state.switches, flags);
            state.switches.chkAttributeChangesSetting = 0;
            try {
                for (size_t i = 0; i < flags.size(); ++i) {
                    check(i < pieces.size(), 9, "Subscript out of range");
                    flags[i] = parseSettingValue(pieces[i]);
                    setFlags(state.switches, flags);
                }
                // The seventh switch, which older versions neither write nor read.
                if (pieces.size() > flags.size() &&
                    pieces[flags.size()].find_first_not_of(" \t") != std::string::npos)
                    state.switches.chkAttributeChangesSetting = parseSettingValue(pieces[flags.size()]);
            } catch (const Failure& failure) {
                // The user's file is at fault, not the program: the message
                // names it and says what is wrong in it.
                throw Failure(failure.number(),
                              std::string(failure.description()) + ": the settings file " + state.SettingsPath +
                                  " does not begin with six whole numbers separated by commas (and an "
                                  "optional seventh)",
                              failure.where());
            }
        }
        if (regularFileExists(state.RegExceptionsPath))
            state.RegExceptions = regExceptionsFromText(LoadTextFile(state.RegExceptionsPath, codePage, reporter));
        if (regularFileExists(state.FileExceptionsPath))
            state.FileExceptions = fileExceptionsFromText(LoadTextFile(state.FileExceptionsPath, codePage, reporter));
        if (regularFileExists(state.FilterPath))
            state.FilterList = filterListFromText(LoadTextFile(state.FilterPath, codePage, reporter));
        state.BackgroundList = regularFileExists(state.BackgroundPath)
                                   ? backgroundListFromText(LoadTextFile(state.BackgroundPath, codePage, reporter))
                                   : builtInBackgroundList();
    });
}

}  // namespace qv
