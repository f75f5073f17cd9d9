// SPDX-License-Identifier: Apache-2.0
// Moments: local civil times as Unix time in the machine's zone, and the
// text forms every output shares.
#include "report/core/calendar.h"
#include "report/core/text-forms.h"
#include "tests/helpers.h"

namespace {

report::LocalMinute At(const char* moment)
{
    return *report::ParseMoment(moment);
}

TEST(UnixSeconds, ReadsTheCivilTimeInTheMachinesZone)
{
    InZone berlin("Europe/Berlin");
    struct {
        report::LocalMinute Local;
        int64_t Unix;
    } cases[] = {
        {At("2026-01-01T00:00"), 1767222000},  // winter: UTC+1
        {At("2026-03-29T01:59"), 1774745940},  // the last minute before summer time
        {At("2026-03-29T03:00"), 1774746000},  // the first minute of it: UTC+2
        {At("2026-07-01T12:30"), 1782901800}, {At("2026-10-25T03:00"), 1792893600},  // back on UTC+1
    };
    for (const auto& c : cases)
        EXPECT_EQ(report::UnixSeconds(c.Local), c.Unix) << c.Unix;
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
