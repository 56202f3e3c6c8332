// The start-up load on any bytes in the four files, with or without a byte
// order mark: it never crashes, and what it loads survives a save and a load.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <string_view>
#include <unistd.h>

#include "core/whole_file.h"
#include "settings/data_files.h"
#include "settings/text_files.h"

namespace {

class CountingSink : public qv::ErrorSink {
public:
    void ReportError(int32_t, std::string_view, int32_t) override { ++count; }
    int count = 0;
};

const std::string& folder() {
    static const std::string dir = [] {
        auto path = std::filesystem::temp_directory_path() / ("quorvel-fuzz-" + std::to_string(getpid()));
        std::filesystem::create_directories(path);
        return path.string();
    }();
    return dir;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const qv::Latin1CodePage codePage;
    // The input is cut into the four files at the byte 0xFF; a leading bit
    // pattern puts a byte order mark before some of them.
    std::string_view input(reinterpret_cast<const char*>(data), size);
    const unsigned boms = size ? data[0] : 0;
    if (size) input.remove_prefix(1);
    qv::AppState state;
    const std::string base = folder() + "/";
    state.SettingsPath = base + "Settings.dat";
    state.RegExceptionsPath = base + "RegExceptions.dat";
    state.FileExceptionsPath = base + "FileExceptions.dat";
    state.FilterPath = base + "Filter.dat";
    const std::string* paths[] = {&state.SettingsPath, &state.RegExceptionsPath, &state.FileExceptionsPath,
                                  &state.FilterPath};
    for (unsigned i = 0; i < 4; ++i) {
        const size_t cut = input.find('\xFF');
        std::string bytes = (boms >> i & 1) ? std::string(qv::kUtf8Bom) : std::string();
        bytes.append(input.substr(0, cut));
        input = cut == std::string_view::npos ? std::string_view() : input.substr(cut + 1);
        if (!qv::replaceWholeFile(*paths[i], bytes)) std::abort();
    }
    CountingSink sink;
    qv::LoadSettingsAndLists(state, codePage, sink);

    // What was loaded, written back and read again, is the same filter list.
    std::string text;
    for (size_t i = 1; i < state.FilterList.size(); ++i) text += state.FilterList[i] + "\r";
    if (!qv::SaveData(text, state.FilterPath, codePage)) std::abort();
    if (qv::filterListFromText(qv::LoadTextFile(state.FilterPath, codePage, sink)) != state.FilterList) std::abort();
    return 0;
}
