#pragma once
#include "settings/ansi_code_page.h"

namespace qv {

// The system's ANSI code page (CP_ACP).
class Win32AnsiCodePage : public AnsiCodePage {
public:
    std::optional<std::string> fromUtf8(std::string_view text) const override;
    std::string toUtf8(std::string_view bytes) const override;
};

}  // namespace qv
