#pragma once
// A Wine prefix on this machine: where it is, and whether its wineserver runs.
// While it runs, the registry files lag behind the server's memory; it writes
// them when it ends.
#include <sys/types.h>

#include <optional>
#include <string>

#include "capture/directory_source_posix.h"
#include "capture/wine_registry_provider.h"
#include "cli/console.h"

namespace qv::cli {

// --prefix, else $WINEPREFIX, else ~/.wine.
std::string winePrefixPath(const std::string& given);

// The wineserver serving `prefix`, found as Wine finds it: the prefix's device
// and inode name its folder below <tmp>/.wine-<uid>/, and the server holds a
// lock on the "lock" file there while it runs. Its process id, or nothing.
// `tmp` is /tmp but for tests, which cannot own Wine's real folder.
std::optional<pid_t> runningWineServer(const std::string& prefix, const std::string& tmp = "/tmp");

// Waits until no wineserver serves `prefix`.
void waitForWineServer(const std::string& prefix, const std::string& tmp = "/tmp");

// Whether the prefix can be read now: "" when it can, else the one line that
// says why not (no prefix there, or its wineserver running without `wait`
// while the `registry` files are to be read). With `wait`, a running server
// is waited for, and the console's progress line says so meanwhile. Only the
// registry lags behind a running server: a snapshot of folders alone never
// waits.
std::string prefixReadiness(const std::string& prefix, bool wait, bool registry, Console& console,
                            const std::string& tmp = "/tmp");

// The date and time pictures of the prefix's user (HKCU\Control Panel\International),
// as Wine's date functions take them; the defaults of English (United States)
// where the hive has none.
DatePictures datePictures(const WinePrefixHives& hives);

// This process's environment, for the variables of expandable strings.
EnvironmentList hostEnvironment();

}  // namespace qv::cli
