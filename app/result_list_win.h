#pragma once
// One result list: a virtual list view over rows held in memory, so a million
// rows appear at once and clearing is instant. The view's order and find text
// select among the rows; the control only ever sees line numbers.
#include <windows.h>
#include <commctrl.h>

#include <functional>
#include <string>
#include <vector>

#include "app/main_view.h"
#include "app/result_view.h"

namespace qv {

class ResultList {
public:
    void create(HWND parent, int id, ListId list, HINSTANCE instance);
    HWND hwnd() const { return hwnd_; }
    ListId id() const { return list_; }

    void clear();
    void append(ResultRow row);
    // Makes the control show rows appended since the last flush.
    void flush();
    // Answers the control's request for the text of one cell.
    void fillDisplayInfo(NMLVDISPINFOW& info);
    // Paints a path too long for its cell shortened in the middle, while the
    // text that other programs read from the control stays whole.
    LRESULT customDraw(NMLVCUSTOMDRAW& draw);
    // A row's tooltip shows the whole row, and what this adds to it.
    std::function<std::string(const ResultRow&)> tipDetail;
    // The tooltip's text for a line of the list.
    std::string tipText(size_t line) const;
    HWND tipWindow() const { return tip_; }
    // Places the tooltip's widest line for the window's DPI.
    void setTipWidth(int pixels);

    void sortBy(int column);
    void setFilter(std::string_view text);
    void setHideBackground(bool hide);
    // Sizes the columns to a sample of rows; the last one fills the rest.
    void fitColumns();
    // The columns keep their width in the eye at a new DPI.
    void setDpi(UINT dpi);
    // The columns' widths as at 96 DPI, and widths remembered so: those are
    // kept, and rows no longer fit the columns to themselves.
    std::vector<int> columnWidths96() const;
    void setColumnWidths96(const std::vector<int>& widths);
    // The last column takes the width that is left, after a resize too.
    void fitLastColumn();

    void selectAll();
    // The row numbers of the selected lines, in the order shown.
    std::vector<uint32_t> selectedRows() const;
    // The row under the focused line, else the first selected; nothing when none.
    const ResultRow* focusedRow() const;
    size_t shownCount() const { return view_.size(); }

    const std::vector<ResultRow>& rows() const { return rows_; }
    int columnCount() const { return columns_; }

private:
    void showCount();
    void markSortColumn();
    // The tooltip is shown by the list itself, after the pointer rests on a
    // line: the control's own info tips never come under Wine.
    static LRESULT CALLBACK listProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam, UINT_PTR, DWORD_PTR self);
    // The list's tool in its tooltip: the tool's identity, for every message.
    TTTOOLINFOW tipTool() const;
    void showTip(POINT at);
    void hideTip();
    void watchPointer();
    int lineAt(POINT at) const;

    HWND hwnd_ = nullptr;
    ListId list_ = ListId::NewEntries;
    int columns_ = 0;
    std::vector<ResultRow> rows_;
    ResultView view_;
    size_t shown_ = 0;
    bool fitted_ = false;
    bool widthsKept_ = false;  // the user's remembered widths
    UINT dpi_ = 96;
    bool painting_ = false;  // between an item's pre- and post-paint
    std::wstring cell_;  // the control reads the text after the notification returns
    HWND tip_ = nullptr;
    int tipLine_ = -1;  // the line whose tooltip shows
};

// Puts text on the clipboard as Unicode text; false when the clipboard is busy.
bool copyToClipboard(HWND owner, const std::string& utf8);

}  // namespace qv
