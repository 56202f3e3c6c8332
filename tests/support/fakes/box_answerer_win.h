#pragma once
// Test help for the real windows under Wine: answers the message boxes that a
// window of this process opens.
#include <windows.h>

#include <functional>
#include <map>
#include <string>
#include <utility>
#include <vector>

namespace qv::testing {

// Answers the message boxes of this process: a thread timer keeps running
// while the window waits for a box's answer.
class BoxAnswerer {
public:
    BoxAnswerer() {
        self_ = this;
        timer_ = SetTimer(nullptr, 0, 50, &BoxAnswerer::tick);
    }
    ~BoxAnswerer() {
        KillTimer(nullptr, timer_);
        self_ = nullptr;
    }

    std::map<std::wstring, std::wstring> buttonFor;  // box title -> button caption
    std::vector<std::pair<std::wstring, std::wstring>> seen;  // title, text
    std::function<void()> onTick;

private:
    static BOOL CALLBACK visit(HWND hwnd, LPARAM) {
        DWORD process = 0;
        GetWindowThreadProcessId(hwnd, &process);
        if (process != GetCurrentProcessId()) return TRUE;
        wchar_t cls[32] = {};
        GetClassNameW(hwnd, cls, 32);
        if (wcscmp(cls, L"#32770") != 0 || !IsWindowVisible(hwnd)) return TRUE;
        wchar_t title[256] = {}, text[2048] = {};
        GetWindowTextW(hwnd, title, 256);
        GetDlgItemTextW(hwnd, 0xFFFF, text, 2048);
        auto it = self_->buttonFor.find(title);
        const std::wstring button = it == self_->buttonFor.end() ? L"OK" : it->second;
        for (HWND child = GetWindow(hwnd, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
            wchar_t caption[64] = {};
            GetWindowTextW(child, caption, 64);
            std::wstring c = caption;
            if (c == button || c == L"&" + button) {
                self_->seen.emplace_back(title, text);
                PostMessageW(child, BM_CLICK, 0, 0);
                return FALSE;
            }
        }
        return TRUE;
    }
    static void CALLBACK tick(HWND, UINT, UINT_PTR, DWORD) {
        if (!self_) return;
        if (self_->onTick) self_->onTick();
        EnumWindows(visit, 0);
    }
    static inline BoxAnswerer* self_ = nullptr;
    UINT_PTR timer_ = 0;
};

}  // namespace qv::testing
