#pragma once
// frmAdvanced: the modeless dialog window, its controls and their layout. The
// behaviour lives in AdvancedSettings; this is its view.
#include <windows.h>

#include "window/base_window_win.h"

#include "window/scaled_controls_win.h"

#include <functional>
#include <memory>

#include "settings/advanced_settings.h"

namespace qv {

// The dialog's own control ids; the main window has controls of the same names.
namespace advanced {
enum ControlId : int {
    IDC_Frame1 = 2001,
    IDC_chkNewReg,
    IDC_chkDeleteReg,
    IDC_chkEditedReg,
    IDC_Frame2,
    IDC_chkNewFiles,
    IDC_chkDeleteFiles,
    IDC_chkModifiedFiles,
    IDC_tbExceptions,
    IDC_lstRegExceptions,
    IDC_cmbRegStartAdvanced,
    IDC_txtRegKey,
    IDC_lstFileExceptions,
    IDC_optFile,
    IDC_optFolder,
    IDC_lstFilter,
    IDC_txtFilter,
    IDC_cmdAddRegExceptions,
    IDC_cmdRemoveRegExceptions,
    // The labels of the boxes below the lists.
    IDC_lblKey,
    IDC_lblSubkey,
    IDC_lblData,
    // Keys that walk the tabs: Ctrl+Tab and Ctrl+Shift+Tab, Ctrl+PgDn and Ctrl+PgUp.
    IDM_nextTab,
    IDM_previousTab,
    // OK and Cancel carry the ids that Enter and Esc press.
    IDC_cmdOK = IDOK,
    IDC_cmdCancel = IDCANCEL,
};
}  // namespace advanced

inline constexpr const wchar_t* kAdvancedWindowClass = L"QuorvelAdvanced";

class AdvancedDialog : public BaseWindow<AdvancedDialog>, public AdvancedView {
public:
    // `makeLogic` builds the dialog's behaviour over this view once the window exists.
    AdvancedDialog(HINSTANCE instance, std::function<std::unique_ptr<AdvancedSettings>(AdvancedView&)> makeLogic);
    ~AdvancedDialog() override;

    // Opens the dialog beside `owner`, or brings it to the front when open.
    void show(HWND owner);
    HWND hwnd() const { return hwnd_; }
    bool isOpen() const { return hwnd_ != nullptr; }
    // The dialog's keys: Alt with a letter of a control's caption presses or
    // ticks it, and Ctrl+Tab walks the tabs. The captions stay as they are,
    // without an ampersand, because scripts look for them.
    HACCEL accelerators() const { return keys_; }

    // AdvancedView
    int16_t checkValue(size_t index) const override;
    void setCheckValue(size_t index, int16_t value) override;
    std::string regRootText() const override;
    void setRegRootText(const std::string& text) override;
    std::string regKeyText() const override;
    std::string filterText() const override;
    bool fileOptionSelected() const override;
    void showTab(SettingsList list) override;
    SettingsList visibleList() const override;
    std::vector<SettingsRow> rows(SettingsList list) const override;
    void setRows(SettingsList list, const std::vector<SettingsRow>& rows) override;
    intptr_t windowHandle() const override { return reinterpret_cast<intptr_t>(hwnd_); }
    void close() override;

private:
    friend class BaseWindow<AdvancedDialog>;
    LRESULT HandleMessage(UINT msg, WPARAM wParam, LPARAM lParam);
    void createControls();
    void fitTabRow();
    void changeDpi(UINT dpi, const RECT& suggested);
    SIZE frameSize() const;
    int scale(int dips) const { return scaledToDpi(dips, dpi_); }
    HWND control(int id) const { return GetDlgItem(hwnd_, id); }
    HWND listControl(SettingsList list) const;
    void removeSelectedRows();
    void onAccelerator(int id);

    HINSTANCE instance_;
    std::function<std::unique_ptr<AdvancedSettings>(AdvancedView&)> makeLogic_;
    std::unique_ptr<AdvancedSettings> logic_;
    HWND hwnd_ = nullptr;
    HACCEL keys_ = nullptr;
    ScaledControls controls_;  // made anew for each opening, with their font
    UINT dpi_ = 96;
};

}  // namespace qv
