#pragma once
// The start-up checks: the update server's version file with the offer to
// open its download page, and the first-run agreement, remembered per user.
#include <string>
#include <string_view>

#include "core/error_sink.h"
#include "core/user_prompt.h"
#include "support/registry_store.h"

namespace qv {

inline constexpr int32_t kHiveCurrentUserKey = static_cast<int32_t>(0x80000001u);

// The version file's text, fetched over HTTP into memory; "" when the server
// cannot be reached or its answer is not to be used.
class VersionSource {
public:
    virtual ~VersionSource() = default;
    virtual std::string fetch(const std::string& url) = 0;
};

// Opens a web address in the user's browser (the shell's "Open" verb).
class Browser {
public:
    virtual ~Browser() = default;
    virtual void OpenInternet(const std::string& Url, int WindowStyle) = 0;
};

struct StartUpServices {
    UserPrompt& prompt;
    ErrorSink& reporter;
    VersionSource& versions;
    RegistryStore& store;
    Browser& browser;
};

// "http://", the host, "/AppVersions/", the program's name and "Version.txt".
std::string updateUrl(std::string_view host);

// The leading decimal number of a text (blanks before it skipped); 0 when the
// text does not begin with one.
double leadingNumber(std::string_view text);

// Only these may reach the shell: anything else in a tampered version file
// could start a program or open a document.
bool isWebAddress(std::string_view url);

// False when the program is to end now (a must-download version, or the
// agreement refused); the main window must then never appear.
bool StartUp(StartUpServices& s, std::string_view updateHost);

}  // namespace qv
