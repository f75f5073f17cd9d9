// SPDX-License-Identifier: Apache-2.0
// Moments: local civil times as instants in the machine's zone, and the text
// forms every output shares.
#include "report/core/calendar.h"
#include "report/core/text-forms.h"
#include "tests/helpers.h"

namespace {

report::LocalMinute At(const char* moment)
{
    return *report::ParseMoment(moment);
}

// Local times read in the machine's zone: the hour skipped in spring as if
// the clocks had not gone forward yet, the hour repeated in autumn as its
// first or its second coming.
TEST(LocalZone, InstantsOfLocalTimes)
{
    InZone berlin("Europe/Berlin");
    struct {
        const char* Local;
        int64_t First;
        int64_t Second;
    } cases[] = {
        {"2026-01-01T00:00", 1767222000, 1767222000},  // winter: UTC+1
        {"2026-03-29T01:59", 1774745940, 1774745940},  // the last minute before summer time
        {"2026-03-29T02:30", 1774747800, 1774747800},  // skipped: read as UTC+1
        {"2026-03-29T03:00", 1774746000, 1774746000},  // the first minute of it: UTC+2
        {"2026-07-01T12:30", 1782901800, 1782901800},
        {"2026-10-25T01:59", 1792886340, 1792886340},  // the last minute before the repeated hour
        {"2026-10-25T02:10", 1792887000, 1792890600},  // repeated: UTC+2, then UTC+1
        {"2026-10-25T03:00", 1792893600, 1792893600},  // back on UTC+1
    };
    report::LocalZone zone;
    for (const auto& c : cases) {
        report::LocalMinute local = At(c.Local);
        EXPECT_EQ(zone.InstantOf(local) * 60, c.First) << c.Local;
        EXPECT_EQ(zone.InstantOf(local, true) * 60, c.Second) << c.Local;
        EXPECT_EQ(zone.IsRepeated(local), c.First != c.Second) << c.Local;
        EXPECT_EQ(report::LocalZone::LocalOf(c.Second),
                  local == At("2026-03-29T02:30") ? At("2026-03-29T03:30") : local)
            << c.Local;
    }
}

// The text summary and the picture print shares alike: a share short of all
// never reads 100.00%, one above none never 0.00%.
TEST(FormatPercent, NeverRoundsToAllOrNone)
{
    const struct {
        double Share;
        const char* Text;
    } cases[] = {{0.0, "0.00%"},
                 {1.0, "100.00%"},
                 {0.5, "50.00%"},
                 {0.97304, "97.30%"},
                 {29999.0 / 30000, "99.99%"},
                 {1.0 / 30000, "0.01%"},
                 {0.99994, "99.99%"},
                 {0.00006, "0.01%"}};
    for (const auto& c : cases)
        EXPECT_EQ(report::FormatPercent(c.Share), c.Text) << c.Share;
}

}  // namespace
