#pragma once
// The four data files beside the executable: the six switches in Settings.dat,
// and the registry exceptions, file exceptions and filter entries as values
// each followed by a carriage return.
#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "core/app_state.h"
#include "core/error_sink.h"
#include "settings/ansi_code_page.h"

namespace qv {

// The most of Settings.dat that is read: its first line holds all it says.
inline constexpr uint64_t kSettingsReadLimit = 64 * 1024;

using TextPair = std::pair<std::string, std::string>;

// Sets the four paths: the executable's folder followed by the file's name.
void setDataFilePaths(AppState& state, const std::string& exeFolder);

// The pair rule: pieces 0, 2, 4, ... with the piece after each, skipping pairs
// whose first piece is empty; the last piece never starts a pair.
std::vector<TextPair> pairRule(const std::vector<std::string>& pieces);
// The single rule: every non-empty piece but the last.
std::vector<std::string> singleRule(const std::vector<std::string>& pieces);

// A file's text as list entries (element 0 empty, entries from 1 on).
std::vector<RegException> regExceptionsFromText(const std::string& text);
std::vector<FileException> fileExceptionsFromText(const std::string& text);
std::vector<std::string> filterListFromText(const std::string& text);
// Background.dat: one pattern a line, its blanks at either end taken off;
// empty lines and remarks (";" or "#" first) give nothing.
std::vector<std::string> backgroundListFromText(std::string_view text);
// The list that applies where no Background.dat stands beside the program.
std::vector<std::string> builtInBackgroundList();

// The text SaveData writes to each file (it adds the final CR LF itself).
// A seventh number follows the six only when that switch is on, so the file
// stays as older versions wrote and read it otherwise.
std::string settingsText(const std::array<int16_t, 6>& flags, int16_t attributeChanges = 0);
std::string pairsText(const std::vector<TextPair>& rows);
std::string singlesText(const std::vector<std::string>& rows);

// One value of Settings.dat: a decimal 16-bit number between blanks, tabs and
// line ends. Throws a Failure for anything else.
int16_t parseSettingValue(const std::string& piece);

std::array<int16_t, 6> flagsOf(const DetectionSwitches& switches);
void setFlags(DetectionSwitches& switches, const std::array<int16_t, 6>& flags);

// The start-up load of the switches and the four lists. A missing file skips
// its step (Settings.dat and Background.dat: the defaults); a failure is
// reported and ends the load where it stands.
void LoadSettingsAndLists(AppState& state, const AnsiCodePage& codePage, ErrorSink& reporter);

}  // namespace qv
