#pragma once
// frmMain: the controls, their layout and enabling rules, and the MainView the
// workflow talks to. Clicks are handed to a CommandTarget. The results pane
// (the lists, find, the count line, the context menu) is defined in
// main_window_results_win.cpp; the controls' placing and the scrolling below
// the window's minimum in main_window_layout_win.cpp.
#include <windows.h>

#include "window/base_window_win.h"

#include <array>
#include <functional>
#include <string>

#include "app/control_ids.h"
#include "app/main_layout.h"
#include "app/main_view.h"
#include "app/result_list_win.h"
#include "app/snapshot_commands.h"
#include "app/window_memory.h"
#include "core/win_handles_win.h"

namespace qv {

class CommandTarget {
public:
    virtual ~CommandTarget() = default;
    virtual void onCommand(int controlId) = 0;
    // False greys the menu item: the command makes no sense at the moment.
    virtual bool available(int controlId) const = 0;
};

class MainWindow : public BaseWindow<MainWindow>, public MainView, public SnapshotView {
public:
    MainWindow(HINSTANCE instance, CommandTarget& commands);
    ~MainWindow() override;

    // Creates the window with every control in its initial state.
    void create(const std::wstring& caption);
    HWND hwnd() const { return hwnd_; }
    HWND control(int id) const { return GetDlgItem(hwnd_, id); }

    // Asked before the window closes (also Alt+F4): false keeps it open.
    std::function<bool()> mayClose;
    // What closing the window does; by default the process ends at once.
    std::function<void()> onClose;
    // More about a row for its tooltip, such as an edited value's old data.
    std::function<std::string(ListId, const ResultRow&)> rowDetail;
    // The root key ("HKEY_CURRENT_USER") that the registry rows' key names
    // are relative to; "" when the registry was not walked.
    std::function<std::string()> registryRoot;

    // Which of the six lists detection looked for (indexed by ListId): one
    // that was not looked for is counted as "not checked".
    std::function<std::array<bool, 6>()> listsChecked;

    // How many keys and folders either snapshot could not read: the counts
    // are then partial, and the count line says so first.
    std::function<size_t()> unreadPlaces;

    // What a running capture has recorded so far, such as "1,234 registry
    // entries, 56 files", shown with the time it has taken.
    std::function<std::string()> captureProgress;

    // The keys that press the window's buttons and boxes with Alt.
    HACCEL accelerators() const { return accelerators_; }
    // Gives the keyboard focus to the first command, as a dialog does.
    void focusFirst();
    ResultList& shownList() { return lists_[static_cast<size_t>(listOfTab(selectedTab()))]; }
    const ResultList& shownList() const { return lists_[static_cast<size_t>(listOfTab(selectedTab()))]; }
    // Ctrl+C: the selected rows with a header line; or only their paths.
    void copySelection(bool pathsOnly);
    // The line beside the tabs: how many rows each list holds.
    std::wstring countsText() const;
    // Whether any of the six lists holds a row.
    bool hasResults() const;
    // View > Show background changes: the rows of places that change on
    // their own, shown (the default) or hidden in every list.
    void showBackground(bool shown);

    // Pushes deferred status, progress and new rows to the controls.
    void flush();
    // Scrolls the control that has the keyboard into view, after a key that
    // may have moved it there.
    void keepFocusInView();
    // The smallest outer size at which every control fits without scrolling;
    // zero before the controls are made.
    SIZE minimumFrame() const;

    // What the window remembers between runs: its normal place on the screen
    // (in screen pixels) and the lists' column widths.
    Placement placement() const;
    // Moves the window there where it fits a monitor's work area; a
    // maximized one turns `showCommand` into maximizing.
    void restorePlacement(const Placement& placement, int& showCommand);
    ColumnWidths columnWidths() const;
    void setColumnWidths(const ColumnWidths& widths);

    ResultList& list(ListId id) { return lists_[static_cast<size_t>(id)]; }
    std::string statusText() const { return status_; }
    int selectedTab() const;
    void selectTab(int index);  // 0-based, as a tab click would

    // MainView
    bool registryTicked() const override;
    bool filesTicked() const override;
    std::string collectCaption() const override;
    void setCollectCaption(std::string_view caption) override;
    void setCollectEnabled(bool enabled) override;
    void setDetectEnabled(bool enabled) override;
    std::string regRootText() const override;
    void setRegRootText(std::string_view hiveName) override;
    std::string regKeyText() const override;
    void setRegKeyText(std::string_view text) override;
    std::string fileStartText() const override;
    void setFileStartText(std::string_view text) override;
    void clearList(ListId id) override;
    void appendRow(ListId id, ResultRow row) override;
    void setProgressMax(int64_t max) override;
    void setProgressValue(int64_t value) override;
    void lockCommands(bool locked) override;
    intptr_t windowHandle() const override { return reinterpret_cast<intptr_t>(hwnd_); }
    void showCapture(bool running) override;
    void setStatus(std::string_view text) override;

    // SnapshotView
    void setRegistryTicked(bool ticked) override;
    void setFilesTicked(bool ticked) override;
    const std::vector<ResultRow>& resultRows(ListId id) const override;
    bool commandsLocked() const override { return locked_; }

private:
    friend class BaseWindow<MainWindow>;
    LRESULT HandleMessage(UINT msg, WPARAM wParam, LPARAM lParam);
    void createControls();
    void applyFont();
    // Defined in main_window_layout_win.cpp.
    MainLayoutMetrics measure() const;
    SIZE viewSize() const;
    void layout();
    void scrollTo(int bar, int pos);
    void onScroll(int bar, int code);
    bool onWheel(int delta);
    int scale(int dips) const;
    // Whether a menu of the bar has `letter` as its access key.
    bool menuHasAccessKey(wchar_t letter) const;
    void showList(int tabIndex);
    void onCheckBox(int id);
    void setTicked(int id, bool ticked);
    void greyUnavailable(HMENU menu);
    void setEnabled(int id, bool enabled);
    static ListId listOfTab(int tab);
    bool onListNotify(NMHDR& hdr, LPARAM lParam, LRESULT& result);
    void showContextMenu(HWND listWindow, POINT at);
    void openFocusedRow(const ResultList& list);
    // A registry row's key with the root it was collected under, without the
    // trailing backslash.
    std::string fullKeyPath(const ResultRow& row) const;
    void openInRegistryEditor(const ResultRow& row);
    void openContainingFolder(const ResultRow& row);
    void onAccelerator(int id);
    void onDefaultKey();
    void keepKeysAlive();
    void applyFind();
    void updateCounts();
    int tabStripHeight() const;

    // The find box's pause before a long list is searched.
    static constexpr UINT_PTR kFindTimer = 1;

    HINSTANCE instance_;
    CommandTarget& commands_;
    HWND hwnd_ = nullptr;
    UINT dpi_ = 96;
    UniqueFont font_;
    HACCEL accelerators_ = nullptr;
    HWND lastFocus_ = nullptr;  // given back when the window is activated again
    std::wstring counts_;
    ULONGLONG captureStart_ = 0;  // 0 while no capture runs
    ULONGLONG captureShown_ = 0;
    std::array<ResultList, 6> lists_;
    // The controls' places in the scrolled area, and its least size.
    MainLayout placed_;
    LayoutSize minimum_;
    bool placing_ = false;

    std::string status_;
    bool statusDirty_ = false;
    int64_t progressMax_ = 1;
    int64_t progressValue_ = 0;
    bool progressDirty_ = false;

    // While detection runs, the commands' wanted states are kept here and
    // applied when it ends.
    static constexpr auto kLockable = [] {
        std::array<int, std::size(kLockedBoxes) + [] {
            size_t n = 0;
            for (const CommandInfo& c : kCommands) n += c.lockedDuringDetection ? 1 : 0;
            return n;
        }()> ids{};
        size_t at = 0;
        for (const CommandInfo& c : kCommands) {
            if (c.lockedDuringDetection) ids[at++] = c.id;
        }
        for (int id : kLockedBoxes) ids[at++] = id;
        return ids;
    }();
    bool locked_ = false;
    bool backgroundShown_ = true;
    std::array<bool, std::size(kLockable)> savedEnabled_{};
};

}  // namespace qv
