#pragma once
// frmAbout: the name, the version, a short description and a button that
// starts the System Information tool. Modeless beside the main window.
#include <windows.h>

#include "window/base_window_win.h"

#include <optional>
#include <string>

#include "core/user_prompt.h"
#include "window/scaled_controls_win.h"

namespace qv {

inline constexpr const wchar_t* kAboutWindowClass = L"QuorvelAbout";

namespace about {
enum ControlId : int {
    IDC_picIcon = 3001,
    IDC_lblTitle,
    IDC_lblVersion,
    IDC_lblDescription,
    IDC_lblDisclaimer,
    IDC_Line1,
    IDC_Line1b,
    IDC_cmdOK = IDOK,
    IDC_cmdSysInfo = 3010,
};
}  // namespace about

// GetKeyValue: a REG_SZ value below HKEY_LOCAL_MACHINE, up to 1024 bytes.
std::optional<std::string> GetKeyValue(HKEY KeyRoot, const std::string& KeyName, const std::string& SubKeyRef);

class AboutBox : public BaseWindow<AboutBox> {
public:
    AboutBox(HINSTANCE instance, UserPrompt& prompt) : instance_(instance), prompt_(prompt) {}
    ~AboutBox();
    void show(HWND owner);
    HWND hwnd() const { return hwnd_; }
    void StartSysInfo();

private:
    friend class BaseWindow<AboutBox>;
    LRESULT HandleMessage(UINT msg, WPARAM wParam, LPARAM lParam);
    void createControls();
    SIZE frameSize() const;
    int scale(int dips) const { return scaledToDpi(dips, dpi_); }

    HINSTANCE instance_;
    UserPrompt& prompt_;
    HWND hwnd_ = nullptr;
    HWND owner_ = nullptr;
    ScaledControls controls_;
    UINT dpi_ = 96;
};

}  // namespace qv
