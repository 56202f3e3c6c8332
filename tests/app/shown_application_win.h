#pragma once
// The main window shown as a user starts it, without the first run's
// question, the update check's server or a remembered placement: the
// fixture of the window's own tests.
#include <windows.h>

#include <gtest/gtest.h>

#include <memory>

#include "app/application_win.h"
#include "tests/support/fakes/saved_registry_value_win.h"
#include "tests/support/fakes/window_driver_win.h"

namespace qv::testing {

class ShownApplicationTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (!displayReady()) GTEST_SKIP() << "no display";
        firstRun_.set(L"No");
        app_ = std::make_unique<Application>(GetModuleHandleW(nullptr), "127.0.0.1:9");
        app_->window().onClose = [] {};
        app_->remembers = false;
        app_->Form_Load(SW_SHOW);
        main_ = app_->window().hwnd();
        ASSERT_NE(main_, nullptr);
    }
    void TearDown() override { app_.reset(); }

    SavedRegistryValue firstRun_{HKEY_CURRENT_USER, L"SOFTWARE\\Marrowby", L"QuorvelFirstTime"};
    std::unique_ptr<Application> app_;
    HWND main_ = nullptr;
};

}  // namespace qv::testing
