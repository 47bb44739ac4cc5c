#pragma once
// Dates as the about view prints them: "Mar 20 2014", in UTC.

#include <cstdint>

namespace valvora::identity {

struct BuildDateText {
    char text[12];  // "Mmm dd yyyy" and its terminator
};

// The layout is the compiler's __DATE__, which the about view printed before
// builds took their date from the commit: English month abbreviation, the day
// padded with a space to two characters ("Mar  5 2014"), the year. Seconds
// outside years 1970 to 9999 are held at those years' ends, so the text
// always has this one width.
constexpr BuildDateText formatBuildDate(std::int64_t secondsSinceEpoch) noexcept
{
    constexpr std::int64_t lastSecond = 253402300799;  // 9999-12-31 23:59:59
    const std::int64_t seconds =
        secondsSinceEpoch < 0 ? 0 : (secondsSinceEpoch > lastSecond ? lastSecond : secondsSinceEpoch);

    // Civil date from a day count (proleptic Gregorian calendar, eras of 400
    // years that start on 1 March, so the leap day is the era year's last).
    const std::int64_t days = seconds / 86400 + 719468;
    const std::int64_t era = days / 146097;
    const std::int64_t dayOfEra = days - era * 146097;
    const std::int64_t yearOfEra = (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
    const std::int64_t dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
    const std::int64_t shiftedMonth = (5 * dayOfYear + 2) / 153;  // 0 is March
    const int day = static_cast<int>(dayOfYear - (153 * shiftedMonth + 2) / 5 + 1);
    const int month = static_cast<int>(shiftedMonth < 10 ? shiftedMonth + 3 : shiftedMonth - 9);
    const int year = static_cast<int>(yearOfEra + era * 400 + (month <= 2 ? 1 : 0));

    constexpr const char* months = "JanFebMarAprMayJunJulAugSepOctNovDec";
    BuildDateText out{};
    for (int i = 0; i < 3; ++i) out.text[i] = months[(month - 1) * 3 + i];
    out.text[3] = ' ';
    out.text[4] = day < 10 ? ' ' : static_cast<char>('0' + day / 10);
    out.text[5] = static_cast<char>('0' + day % 10);
    out.text[6] = ' ';
    out.text[7] = static_cast<char>('0' + year / 1000);
    out.text[8] = static_cast<char>('0' + year / 100 % 10);
    out.text[9] = static_cast<char>('0' + year / 10 % 10);
    out.text[10] = static_cast<char>('0' + year % 10);
    out.text[11] = '\0';
    return out;
}

}  // namespace valvora::identity
