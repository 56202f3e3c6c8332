#pragma once
// One result list: a virtual list view over rows held in memory, so a million
// rows appear at once and clearing is instant.
#include <windows.h>
#include <commctrl.h>

#include <string>
#include <vector>

#include "app/main_view.h"

namespace qv {

class ResultList {
public:
    void create(HWND parent, int id, const std::vector<const wchar_t*>& columns, HINSTANCE instance);
    HWND hwnd() const { return hwnd_; }

    void clear();
    void append(ResultRow row);
    // Makes the control show rows appended since the last flush.
    void flush();
    // Answers the control's request for the text of one cell.
    void fillDisplayInfo(NMLVDISPINFOW& info);

    const std::vector<ResultRow>& rows() const { return rows_; }
    int columnCount() const { return columns_; }

private:
    HWND hwnd_ = nullptr;
    int columns_ = 0;
    std::vector<ResultRow> rows_;
    size_t shown_ = 0;
    std::wstring cell_;  // the control reads the text after the notification returns
};

}  // namespace qv
