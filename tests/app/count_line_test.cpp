#include "app/count_line.h"

#include <gtest/gtest.h>

namespace qv {
namespace {

ResultRow marked(bool oldData, bool background) {
    ResultRow row{"K\\", "v", "d"};
    row.oldData = oldData;
    row.background = background;
    return row;
}

// Every count equals the rows behind it: deletions apart from the old data
// of edits, background apart from the installer's, and a list that was not
// looked for says so instead of "0".
TEST(CountLine, CountsWhatEachListReallyHolds) {
    const ResultRow plain = marked(false, false), old = marked(true, false), bg = marked(false, true);
    const std::array<bool, 6> all{true, true, true, true, true, true};
    const std::array<bool, 6> defaults{true, false, true, true, false, true};
    const struct {
        std::array<std::vector<ResultRow>, 6> rows;
        std::array<bool, 6> checked;
        bool hidden;
        std::string line;
        size_t unread = 0;
    } cases[] = {
        {{}, all, false, "Registry: 0 new, 0 deleted, 0 edited \u00b7 Files: 0 new, 0 deleted, 0 modified"},
        {{{{plain}, {plain, plain, old, old}, {plain, plain}, {}, {}, {}}},
         all,
         false,
         "Registry: 1 new, 2 deleted (+2 old data), 2 edited \u00b7 Files: 0 new, 0 deleted, 0 modified"},
        {{{{}, {}, {plain}, {plain}, {}, {plain}}},
         defaults,
         false,
         "Registry: 0 new, deleted: not checked, 1 edited \u00b7 Files: 1 new, deleted: not checked, 1 modified"},
        {{{{plain, bg}, {bg}, {bg}, {plain, bg, bg}, {}, {}}},
         all,
         true,
         "Registry: 1 new, 0 deleted, 0 edited \u00b7 Files: 1 new, 0 deleted, 0 modified \u00b7 5 background (hidden)"},
        // What either snapshot could not read makes every count partial,
        // said first, before anything that a narrow window could cut off.
        {{{{plain}, {}, {}, {}, {}, {}}},
         all,
         false,
         "Partial: 1 place unread \u2014 Registry: 1 new, 0 deleted, 0 edited \u00b7 Files: 0 new, 0 deleted, 0 modified",
         1},
        {{{{plain, bg}, {old}, {plain}, {}, {}, {}}},
         defaults,
         true,
         "Partial: 3 places unread \u2014 Registry: 1 new, deleted: not checked, 1 edited \u00b7 Files: 0 new, "
         "deleted: not checked, 0 modified \u00b7 1 background (hidden)",
         3},
    };
    for (const auto& c : cases) {
        std::array<const std::vector<ResultRow>*, 6> lists{};
        for (size_t i = 0; i < 6; ++i) lists[i] = &c.rows[i];
        EXPECT_EQ(countLine(lists, c.checked, c.hidden, c.unread), c.line);
    }
}

}  // namespace
}  // namespace qv
