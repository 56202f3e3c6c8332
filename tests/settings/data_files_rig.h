#pragma once
// The four data files in a temporary folder of their own, with the state that
// points at them.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>

#include "core/whole_file.h"
#include "settings/data_files.h"
#include "settings/text_files.h"
#include "support/error_report.h"
#include "tests/support/fakes/scripted_ui.h"

namespace qv::testing {

class DataFiles : public ::testing::Test {
protected:
    DataFiles() {
        dir_ = std::filesystem::temp_directory_path() /
               ("quorvel-data-files-" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()));
        std::filesystem::remove_all(dir_);
        std::filesystem::create_directories(dir_);
        setDataFilePaths(state, dir_.string());
    }
    ~DataFiles() override { std::filesystem::remove_all(dir_); }

    void write(const std::string& path, const std::string& bytes) {
        ASSERT_TRUE(replaceWholeFile(path, bytes));
    }
    std::string bytes(const std::string& path) { return readWholeFile(path).value_or("(missing)"); }
    void load() { LoadSettingsAndLists(state, codePage, reporter); }

    std::filesystem::path dir_;
    AppState state;
    Latin1CodePage codePage;
    ScriptedPrompt prompt;
    ErrorReporter reporter{prompt};
};

}  // namespace qv::testing
