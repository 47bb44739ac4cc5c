// The about view's build date: the compiler's __DATE__ layout, computed from
// a count of seconds in UTC, compared with the C library's own calendar.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <ctime>
#include <string>

#include "core/BuildDate.h"
#include "core/ProductIdentity.h"

namespace {

using valvora::identity::formatBuildDate;

std::string dateOf(std::int64_t seconds)
{
    return formatBuildDate(seconds).text;
}

// 2014-03-20 00:00:00 UTC
constexpr std::int64_t march20of2014 = 1395273600;
constexpr std::int64_t day = 86400;

TEST(BuildDate, PrintsTheAboutViewsExampleDate)
{
    EXPECT_EQ(dateOf(march20of2014), "Mar 20 2014");
    EXPECT_EQ(dateOf(march20of2014 + day - 1), "Mar 20 2014");
    EXPECT_EQ(dateOf(march20of2014 + day), "Mar 21 2014");
}

TEST(BuildDate, PadsSingleDigitDaysWithASpaceLikeTheCompilersDate)
{
    EXPECT_EQ(dateOf(march20of2014 - 15 * day), "Mar  5 2014");
    EXPECT_EQ(dateOf(0), "Jan  1 1970");
}

TEST(BuildDate, FollowsTheGregorianLeapYears)
{
    EXPECT_EQ(dateOf(951782400), "Feb 29 2000");  // divisible by 400: a leap year
    EXPECT_EQ(dateOf(1709164800), "Feb 29 2024");
    EXPECT_EQ(dateOf(4107542400), "Mar  1 2100");  // the day after Feb 28: 2100 is no leap year
}

TEST(BuildDate, HoldsDatesOutsideItsYearsAtTheirEnds)
{
    EXPECT_EQ(dateOf(-1), "Jan  1 1970");
    EXPECT_EQ(dateOf(INT64_MIN), "Jan  1 1970");
    EXPECT_EQ(dateOf(253402300799), "Dec 31 9999");
    EXPECT_EQ(dateOf(INT64_MAX), "Dec 31 9999");
}

TEST(BuildDate, AgreesWithTheCLibrarysCalendarOnEveryDayUntil2100)
{
    static const char* const months[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                         "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    int mismatches = 0;
    for (std::int64_t seconds = 0; seconds < 4102444800; seconds += day) {
        // Noon, so that the last second of a day is covered by the next check.
        const std::time_t noon = static_cast<std::time_t>(seconds + day / 2);
        const std::tm* utc = std::gmtime(&noon);
        ASSERT_NE(utc, nullptr);
        char expected[32];
        std::snprintf(expected, sizeof(expected), "%s %2d %d", months[utc->tm_mon], utc->tm_mday,
                      utc->tm_year + 1900);
        if (dateOf(seconds) != expected || dateOf(seconds + day - 1) != expected) {
            if (++mismatches < 5) ADD_FAILURE() << expected << " printed as " << dateOf(seconds);
        }
    }
    EXPECT_EQ(mismatches, 0);
}

TEST(BuildDate, TheBuildsOwnDateIsACalendarDateInTheSameLayout)
{
    const char* date = valvora::identity::buildDate();
    ASSERT_NE(date, nullptr);
    ASSERT_EQ(std::strlen(date), 11u) << date;
    char month[4] = {};
    int dayOfMonth = 0;
    int year = 0;
    ASSERT_EQ(std::sscanf(date, "%3s %d %d", month, &dayOfMonth, &year), 3) << date;
    EXPECT_NE(std::string("JanFebMarAprMayJunJulAugSepOctNovDec").find(month), std::string::npos) << date;
    EXPECT_GE(dayOfMonth, 1);
    EXPECT_LE(dayOfMonth, 31);
    // The repository's commits are all from this century.
    EXPECT_GE(year, 2000);
    EXPECT_EQ(date[4] == ' ', dayOfMonth < 10) << date;
}

}  // namespace
