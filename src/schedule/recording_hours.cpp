#include "schedule/recording_hours.h"

#include <libnova/nutation.h>
#include <libnova/rise_set.h>
#include <libnova/sidereal_time.h>
#include <libnova/solar.h>
#include <libnova/transform.h>
#include <libnova/utility.h>

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <map>
#include <string_view>
#include <utility>

namespace {

using Bound = RecordingHours::Bound;
using Range = RecordingHours::Range;
using Kind = RecordingHours::Bound::Kind;

constexpr long kDaySeconds = 86400;
// An offset from the sun is at most this, which bounds how far the ranges of
// one day reach into the days around it.
constexpr int kMaxOffsetMinutes = 12 * 60;
constexpr long kMaxOffsetSeconds = kMaxOffsetMinutes * 60L;

// ---- Days and local time -------------------------------------------------

struct Date {
    int year;
    int month;
    int day;
};

// Days since 1970-01-01 of a Gregorian date, and back (H. Hinnant's
// civil-days algorithms): stepping days needs no time zone.
long DaysFromCivil(int year, int month, int day) {
    const long y = year - (month <= 2 ? 1 : 0);
    const long era = (y >= 0 ? y : y - 399) / 400;
    const long year_of_era = y - era * 400;
    const long day_of_year = (153L * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
    const long day_of_era = year_of_era * 365 + year_of_era / 4 - year_of_era / 100 + day_of_year;
    return era * 146097 + day_of_era - 719468;
}

Date CivilFromDays(long days) {
    days += 719468;
    const long era = (days >= 0 ? days : days - 146096) / 146097;
    const long day_of_era = days - era * 146097;
    const long year_of_era =
        (day_of_era - day_of_era / 1460 + day_of_era / 36524 - day_of_era / 146096) / 365;
    const long day_of_year = day_of_era - (365 * year_of_era + year_of_era / 4 - year_of_era / 100);
    const long month_index = (5 * day_of_year + 2) / 153;
    const int day = static_cast<int>(day_of_year - (153 * month_index + 2) / 5 + 1);
    const int month = static_cast<int>(month_index < 10 ? month_index + 3 : month_index - 9);
    return {static_cast<int>(year_of_era + era * 400 + (month <= 2 ? 1 : 0)), month, day};
}

// 0 is Sunday, as tm_wday; 1970-01-01 was a Thursday.
int WeekdayOf(long day) {
    const long weekday = (day + 4) % 7;
    return static_cast<int>(weekday < 0 ? weekday + 7 : weekday);
}

long LocalDayOf(std::time_t t) {
    std::tm local{};
    localtime_r(&t, &local);
    return DaysFromCivil(local.tm_year + 1900, local.tm_mon + 1, local.tm_mday);
}

bool ShowsWallClock(std::time_t t, const std::tm& wall) {
    std::tm local{};
    localtime_r(&t, &local);
    return local.tm_year == wall.tm_year && local.tm_mon == wall.tm_mon &&
           local.tm_mday == wall.tm_mday && local.tm_hour == wall.tm_hour &&
           local.tm_min == wall.tm_min && local.tm_sec == wall.tm_sec;
}

// The moment the local clock shows `seconds` after the midnight of `day`. A
// time skipped by the change to summer time is the hour after, as mktime
// normalises it; one the clock shows twice is the first.
std::time_t WallClock(long day, long seconds) {
    // Fields in range: mktime counts surplus seconds as elapsed time, so 05:00
    // given as 18000 s after 00:00 would be 06:00 on a summer-time start day.
    day += seconds / kDaySeconds;
    seconds %= kDaySeconds;
    const Date date = CivilFromDays(day);
    std::tm wall{};
    wall.tm_year = date.year - 1900;
    wall.tm_mon = date.month - 1;
    wall.tm_mday = date.day;
    wall.tm_hour = static_cast<int>(seconds / 3600);
    wall.tm_min = static_cast<int>(seconds / 60 % 60);
    wall.tm_sec = static_cast<int>(seconds % 60);
    wall.tm_isdst = -1;
    std::tm normal = wall;
    std::time_t t = std::mktime(&normal);
    // mktime may take either of two times the clock shows twice.
    std::tm other = wall;
    other.tm_isdst = normal.tm_isdst > 0 ? 0 : 1;
    const std::time_t earlier = std::mktime(&other);
    if (earlier != -1 && earlier < t && ShowsWallClock(earlier, normal)) t = earlier;
    return t;
}

// ---- The sun ---------------------------------------------------------------

double JulianDay(double unix_seconds) { return unix_seconds / kDaySeconds + 2440587.5; }

double UnixSeconds(double julian_day) { return (julian_day - 2440587.5) * kDaySeconds; }

// The sun's apparent place for the equinox of date. libnova 0.16 gives the
// Earth on the J2000 ecliptic without precession to the date and an
// aberration 360 times too small: sunrise and sunset came out about a minute
// and a half early in 2026, and more every year. Both are put right here.
void ApparentSun(double julian_day, ln_equ_posn* position) {
    ln_helio_posn geometric{};
    ln_get_solar_geom_coords(julian_day, &geometric);
    ln_nutation nutation{};
    ln_get_nutation(julian_day, &nutation);
    const double centuries = (julian_day - 2451545.0) / 36525.0;
    // General precession in longitude since J2000 (IAU 1976), arc seconds.
    const double precession = 5029.0966 * centuries + 1.11113 * centuries * centuries;
    const double aberration = 20.4898 / geometric.R;
    ln_lnlat_posn ecliptic{};
    ecliptic.lng =
        ln_range_degrees(geometric.L + nutation.longitude + (precession - aberration) / 3600.0);
    ecliptic.lat = geometric.B;
    ln_get_equ_from_ecl(&ecliptic, julian_day, position);
}

// The sun's highest point nearest to the middle of the day.
long TransitSeconds(ln_lnlat_posn observer, std::time_t midnight, long length) {
    double t = static_cast<double>(midnight) + length / 2.0;
    for (int pass = 0; pass < 3; ++pass) {
        const double julian_day = JulianDay(t);
        ln_equ_posn sun{};
        ApparentSun(julian_day, &sun);
        const double hour_angle = std::remainder(
            ln_get_apparent_sidereal_time(julian_day) * 15.0 + observer.lng - sun.ra, 360.0);
        t -= hour_angle / 360.985647 * kDaySeconds;
    }
    return std::clamp(std::lround(t - static_cast<double>(midnight)), 0L, length);
}

SunDay ComputeSun(double latitude, double longitude, std::time_t midnight,
                  std::time_t next_midnight) {
    ln_lnlat_posn observer{};
    observer.lng = longitude;  // libnova counts east positive, as LONGITUDE does
    observer.lat = latitude;
    const long length = static_cast<long>(next_midnight - midnight);
    ln_rst_time rst{};
    // A NAN offset: the rise and set in the day from `midnight` on, not in
    // the UT day around it.
    const int circumpolar =
        ln_get_body_rst_horizon_offset(JulianDay(static_cast<double>(midnight)), &observer,
                                       ApparentSun, LN_SOLAR_STANDART_HORIZON, &rst, NAN);
    SunDay sun;
    if (circumpolar > 0) {
        sun.kind = SunDay::Kind::kPolarDay;
        sun.sunrise_s = 0;
        sun.sunset_s = length;
    } else if (circumpolar < 0) {
        sun.kind = SunDay::Kind::kPolarNight;
        sun.sunrise_s = sun.sunset_s = TransitSeconds(observer, midnight, length);
    } else {
        const auto seconds_of_day = [&](double julian_day) {
            return std::clamp(std::lround(UnixSeconds(julian_day) - static_cast<double>(midnight)),
                              0L, length);
        };
        sun.sunrise_s = seconds_of_day(rst.rise);
        sun.sunset_s = seconds_of_day(rst.set);
    }
    return sun;
}

// ---- Texts -----------------------------------------------------------------

std::string_view Trim(std::string_view text) {
    const auto space = [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; };
    while (!text.empty() && space(text.front())) text.remove_prefix(1);
    while (!text.empty() && space(text.back())) text.remove_suffix(1);
    return text;
}

bool StartsWithWord(std::string_view text, std::string_view word) {
    if (text.size() < word.size()) return false;
    for (std::size_t i = 0; i < word.size(); ++i) {
        const char c = text[i];
        if ((c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c) != word[i]) return false;
    }
    return true;
}

bool IsWord(std::string_view text, std::string_view word) {
    return text.size() == word.size() && StartsWithWord(text, word);
}

// The items of a comma-separated list, without spaces around them; empty
// items (a comma at the end) are no items.
std::vector<std::string_view> Items(std::string_view text) {
    std::vector<std::string_view> items;
    while (true) {
        const std::size_t comma = text.find(',');
        const std::string_view item = Trim(text.substr(0, comma));
        if (!item.empty()) items.push_back(item);
        if (comma == std::string_view::npos) break;
        text.remove_prefix(comma + 1);
    }
    return items;
}

// "7:00" or "07:00" up to "24:00", as minutes after midnight.
std::optional<int> ParseClock(std::string_view text) {
    const std::size_t colon = text.find(':');
    if (colon == std::string_view::npos || colon == 0 || colon > 2 || text.size() != colon + 3) {
        return std::nullopt;
    }
    int value[2] = {0, 0};
    const std::string_view parts[2] = {text.substr(0, colon), text.substr(colon + 1)};
    for (int i = 0; i < 2; ++i) {
        for (const char c : parts[i]) {
            if (c < '0' || c > '9') return std::nullopt;
            value[i] = value[i] * 10 + (c - '0');
        }
    }
    const int hours = value[0];
    const int minutes = value[1];
    if (hours > 24 || minutes > 59 || (hours == 24 && minutes != 0)) return std::nullopt;
    return hours * 60 + minutes;
}

// "12:00", "sunrise", "sunset-00:30", "sunrise + 1:00".
std::optional<Bound> ParseBound(std::string_view text) {
    text = Trim(text);
    Bound bound;
    std::string_view rest;
    if (StartsWithWord(text, "sunrise")) {
        bound.kind = Kind::kSunrise;
        rest = text.substr(7);
    } else if (StartsWithWord(text, "sunset")) {
        bound.kind = Kind::kSunset;
        rest = text.substr(6);
    } else {
        const auto minutes = ParseClock(text);
        if (!minutes) return std::nullopt;
        bound.minutes = *minutes;
        return bound;
    }
    rest = Trim(rest);
    if (rest.empty()) return bound;
    const char sign = rest.front();
    if (sign != '+' && sign != '-') return std::nullopt;
    const auto offset = ParseClock(Trim(rest.substr(1)));
    if (!offset || *offset > kMaxOffsetMinutes) return std::nullopt;
    bound.minutes = sign == '-' ? -*offset : *offset;
    return bound;
}

// '-' both separates the bounds and starts an offset: the range is the one
// split at which both sides are bounds ("sunrise-00:30-sunset").
std::optional<Range> ParseRange(std::string_view text) {
    std::optional<Range> found;
    for (std::size_t dash = text.find('-'); dash != std::string_view::npos;
         dash = text.find('-', dash + 1)) {
        const auto begin = ParseBound(text.substr(0, dash));
        const auto end = ParseBound(text.substr(dash + 1));
        if (!begin || !end) continue;
        if (found) return std::nullopt;  // two readings: neither is meant
        found = Range{*begin, *end};
    }
    return found;
}

bool UsesSun(const Bound& bound) { return bound.kind != Kind::kClock; }

struct Place {
    std::optional<double> latitude;
    std::optional<double> longitude;
    bool given = false;  // either was written
    bool Usable() const { return latitude && longitude; }
    std::string Missing() const {
        return given ? "uses sunrise or sunset but LATITUDE and LONGITUDE are not usable."
                     : "uses sunrise or sunset but LATITUDE and LONGITUDE are not set.";
    }
};

// A list of ranges, or why it cannot be used.
std::optional<std::string> ReadRanges(std::string_view text, const Place& place,
                                      std::vector<Range>* ranges) {
    std::vector<Range> read;
    bool sun = false;
    for (const std::string_view item : Items(text)) {
        const auto range = ParseRange(item);
        if (!range) return "is not a list of time ranges such as 07:00-19:00.";
        if (range->begin.kind == range->end.kind && range->begin.minutes == range->end.minutes) {
            return "has a range that begins and ends at the same time.";
        }
        sun = sun || UsesSun(range->begin) || UsesSun(range->end);
        read.push_back(*range);
    }
    if (sun && !place.Usable()) return place.Missing();
    *ranges = std::move(read);
    return std::nullopt;
}

std::optional<double> ReadDegrees(std::string_view text, double limit, std::string* why) {
    text = Trim(text);
    std::string_view number = text;
    if (number.size() > 1 && number.front() == '+' && number[1] != '-') number.remove_prefix(1);
    double value = 0;
    const auto [end, error] = std::from_chars(number.data(), number.data() + number.size(), value);
    if (error != std::errc() || end != number.data() + number.size() || !std::isfinite(value)) {
        *why = text.find(',') != std::string_view::npos
                   ? "has a comma: write decimal degrees with a point, such as 52.52."
                   : "is not a number of decimal degrees such as 52.52.";
        return std::nullopt;
    }
    if (std::fabs(value) > limit) {
        *why = limit == 90 ? "is not between -90 and 90." : "is not between -180 and 180.";
        return std::nullopt;
    }
    return value;
}

std::string Joined(const std::vector<std::string_view>& items) {
    std::string joined;
    for (const std::string_view item : items) {
        if (!joined.empty()) joined += ", ";
        joined += item;
    }
    return joined;
}

std::vector<RecordingSpan> Merged(std::vector<RecordingSpan> spans) {
    std::sort(spans.begin(), spans.end(),
              [](const RecordingSpan& a, const RecordingSpan& b) { return a.begin < b.begin; });
    std::vector<RecordingSpan> merged;
    for (const RecordingSpan& span : spans) {
        if (!merged.empty() && span.begin <= merged.back().end) {
            merged.back().end = std::max(merged.back().end, span.end);
        } else {
            merged.push_back(span);
        }
    }
    return merged;
}

}  // namespace

// ---- Days of one call --------------------------------------------------------

class RecordingHours::Days {
public:
    Days(std::optional<double> latitude, std::optional<double> longitude)
        : latitude_(latitude), longitude_(longitude) {}

    std::time_t Midnight(long day) {
        const auto [at, fresh] = midnights_.try_emplace(day, 0);
        if (fresh) at->second = WallClock(day, 0);
        return at->second;
    }

    const std::optional<SunDay>& Sun(long day) {
        const auto [at, fresh] = suns_.try_emplace(day);
        if (fresh && latitude_ && longitude_) {
            at->second = ComputeSun(*latitude_, *longitude_, Midnight(day), Midnight(day + 1));
        }
        return at->second;
    }

private:
    std::optional<double> latitude_;
    std::optional<double> longitude_;
    std::map<long, std::time_t> midnights_;
    std::map<long, std::optional<SunDay>> suns_;
};

// ---- RecordingHours ----------------------------------------------------------

RecordingHours RecordingHours::From(const ScheduleSettings& settings,
                                    std::vector<ScheduleProblem>* problems) {
    const auto report = [problems](const char* key, const std::string& text, std::string why) {
        if (problems != nullptr) problems->push_back({key, text, std::move(why)});
    };
    RecordingHours hours;

    // The place first: the hours need it; its problems come in the keys' order.
    std::vector<ScheduleProblem> place_problems;
    Place place;
    const std::string_view latitude_text = Trim(settings.LATITUDE);
    const std::string_view longitude_text = Trim(settings.LONGITUDE);
    place.given = !latitude_text.empty() || !longitude_text.empty();
    if (place.given) {
        std::string why;
        if (latitude_text.empty()) {
            place_problems.push_back(
                {"LATITUDE", settings.LATITUDE, "is not set but LONGITUDE is."});
        } else if (!(place.latitude = ReadDegrees(latitude_text, 90, &why))) {
            place_problems.push_back({"LATITUDE", settings.LATITUDE, why});
        }
        if (longitude_text.empty()) {
            place_problems.push_back(
                {"LONGITUDE", settings.LONGITUDE, "is not set but LATITUDE is."});
        } else if (!(place.longitude = ReadDegrees(longitude_text, 180, &why))) {
            place_problems.push_back({"LONGITUDE", settings.LONGITUDE, why});
        }
        if (!place.Usable()) place.latitude = place.longitude = std::nullopt;
    }
    hours.latitude_ = place.latitude;
    hours.longitude_ = place.longitude;

    std::vector<Range> every_day;
    if (const auto why = ReadRanges(settings.HOURS, place, &every_day)) {
        report("HOURS", settings.HOURS, *why);
    }
    bool has_hours = !every_day.empty();
    hours.ranges_by_weekday_.assign(7, every_day);
    const std::array<std::pair<const char*, const std::optional<std::string>*>, 7> weekdays = {{
        {"SUN", &settings.SUN},
        {"MON", &settings.MON},
        {"TUE", &settings.TUE},
        {"WED", &settings.WED},
        {"THU", &settings.THU},
        {"FRI", &settings.FRI},
        {"SAT", &settings.SAT},
    }};
    // Reported Monday first, as the keys stand in the file.
    for (int n = 1; n <= 7; ++n) {
        const int weekday = n % 7;
        const auto& [key, text] = weekdays[weekday];
        if (!*text) continue;
        std::vector<Range> own;
        if (const auto why = ReadRanges(**text, place, &own)) {
            report(key, **text, *why);
            continue;
        }
        hours.ranges_by_weekday_[weekday] = std::move(own);
        has_hours = true;
    }
    hours.has_hours_ = has_hours;

    const std::string_view mode = Trim(settings.MODE);
    if (IsWord(mode, "outside")) {
        hours.outside_ = true;
    } else if (!IsWord(mode, "during")) {
        report("MODE", settings.MODE, "is neither during nor outside.");
    }

    if (problems != nullptr) {
        problems->insert(problems->end(), place_problems.begin(), place_problems.end());
    }

    std::vector<std::string_view> unreadable;
    std::vector<std::string_view> sunless;
    for (const std::string_view item : Items(settings.AT)) {
        const auto bound = ParseBound(item);
        if (!bound) {
            unreadable.push_back(item);
        } else if (UsesSun(*bound) && !place.Usable()) {
            sunless.push_back(item);
        } else {
            hours.set_times_.push_back(*bound);
        }
    }
    if (!unreadable.empty() || !sunless.empty()) {
        std::string why = "leaves out ";
        if (!unreadable.empty()) {
            why += Joined(unreadable) + " (not a time such as 12:00 or sunset-00:30)";
        }
        if (!sunless.empty()) {
            if (!unreadable.empty()) why += " and ";
            why += Joined(sunless) + " (sunrise and sunset need LATITUDE and LONGITUDE)";
        }
        report("AT", settings.AT, why + ".");
    }
    return hours;
}

bool RecordingHours::HasHours() const { return has_hours_; }

bool RecordingHours::HasSetTimes() const { return !set_times_.empty(); }

bool RecordingHours::HasPlace() const { return latitude_ && longitude_; }

std::optional<std::time_t> RecordingHours::TimeOf(Days& days, const Bound& bound, long day) const {
    if (bound.kind == Kind::kClock) return WallClock(day, bound.minutes * 60L);
    const auto& sun = days.Sun(day);
    if (!sun) return std::nullopt;
    const long at = bound.kind == Kind::kSunrise ? sun->sunrise_s : sun->sunset_s;
    return days.Midnight(day) + at + bound.minutes * 60L;
}

std::vector<RecordingSpan> RecordingHours::RawSpansOfDay(Days& days, long day) const {
    std::vector<RecordingSpan> spans;
    if (ranges_by_weekday_.size() != 7) return spans;
    for (const Range& range : ranges_by_weekday_[WeekdayOf(day)]) {
        const auto begin = TimeOf(days, range.begin, day);
        auto end = TimeOf(days, range.end, day);
        if (!begin || !end) continue;
        if (*end <= *begin) {
            // In a polar night sunrise and sunset are one moment: no day.
            if (*end == *begin && range.begin.kind == Kind::kSunrise &&
                range.end.kind == Kind::kSunset) {
                continue;
            }
            end = TimeOf(days, range.end, day + 1);
            if (!end || *end <= *begin) continue;
        }
        spans.push_back({*begin, *end});
    }
    return spans;
}

std::vector<RecordingSpan> RecordingHours::MergedSpans(Days& days, long first_day,
                                                       long last_day) const {
    std::vector<RecordingSpan> spans;
    for (long day = first_day; day <= last_day; ++day) {
        const auto own = RawSpansOfDay(days, day);
        spans.insert(spans.end(), own.begin(), own.end());
    }
    return Merged(std::move(spans));
}

// A day's ranges begin at most kMaxOffsetSeconds before its midnight and end
// less than three days after it, so the days from two before on decide.
RecordingHours::State RecordingHours::At(std::time_t now) const {
    State state;
    if (!has_hours_) return state;
    Days days(latitude_, longitude_);
    const long today = LocalDayOf(now);
    std::vector<RecordingSpan> spans;
    bool inside = false;
    std::optional<std::time_t> change;
    for (long day = today - 2; day <= today + 9; ++day) {
        const auto own = RawSpansOfDay(days, day);
        spans.insert(spans.end(), own.begin(), own.end());
        if (day < today) continue;
        inside = false;
        change.reset();
        for (const RecordingSpan& span : Merged(spans)) {
            if (span.end <= now) continue;
            inside = span.begin <= now;
            change = inside ? span.end : span.begin;
            break;
        }
        // No later day can begin a range before this or join one ending there.
        if (change && *change < days.Midnight(day + 1) - kMaxOffsetSeconds) break;
    }
    state.recording = inside != outside_;
    if (change && *change - now <= 8 * kDaySeconds) state.until = change;
    return state;
}

std::vector<RecordingSpan> RecordingHours::SpansOfDay(int year, int month, int day) const {
    Days days(latitude_, longitude_);
    const long number = DaysFromCivil(year, month, day);
    const std::time_t midnight = days.Midnight(number);
    const std::time_t next_midnight = days.Midnight(number + 1);
    if (!has_hours_) return {{midnight, next_midnight}};
    std::vector<RecordingSpan> result;
    const auto spans = MergedSpans(days, number - 2, number + 1);
    if (!outside_) {
        for (const RecordingSpan& span : spans) {
            const std::time_t begin = std::max(span.begin, midnight);
            const std::time_t end = std::min(span.end, next_midnight);
            if (begin < end) result.push_back({begin, end});
        }
        return result;
    }
    std::time_t from = midnight;
    for (const RecordingSpan& span : spans) {
        if (span.end <= from) continue;
        if (span.begin >= next_midnight) break;
        if (span.begin > from) result.push_back({from, span.begin});
        from = span.end;
    }
    if (from < next_midnight) result.push_back({from, next_midnight});
    return result;
}

std::optional<SunDay> RecordingHours::Sun(int year, int month, int day) const {
    Days days(latitude_, longitude_);
    return days.Sun(DaysFromCivil(year, month, day));
}

std::vector<std::time_t> RecordingHours::SetTimesOfDay(int year, int month, int day) const {
    std::vector<std::time_t> times;
    if (set_times_.empty()) return times;
    Days days(latitude_, longitude_);
    const long number = DaysFromCivil(year, month, day);
    for (const Bound& bound : set_times_) {
        if (UsesSun(bound)) {
            const auto& sun = days.Sun(number);
            if (!sun || sun->kind != SunDay::Kind::kRisesAndSets) continue;
        }
        if (const auto t = TimeOf(days, bound, number)) times.push_back(*t);
    }
    std::sort(times.begin(), times.end());
    times.erase(std::unique(times.begin(), times.end()), times.end());
    return times;
}

// The first moment from `t` on at which the local clock shows a multiple of
// the interval after midnight. Where the clock's offset changes on the way,
// the search goes on from the change: after 01:59 on the day summer time
// starts comes 03:00, and the hour shown twice in autumn has its points
// twice.
std::time_t NextGridPoint(std::time_t t, long interval_s) {
    if (interval_s <= 0) return t;
    std::time_t at = t;
    for (int change = 0; change < 4; ++change) {
        std::tm local{};
        localtime_r(&at, &local);
        const long shown = local.tm_hour * 3600L + local.tm_min * 60L + local.tm_sec;
        if (shown % interval_s == 0) return at;
        const long next = std::min((shown / interval_s + 1) * interval_s, kDaySeconds);
        const std::time_t candidate = at + (next - shown);
        std::tm there{};
        localtime_r(&candidate, &there);
        if (there.tm_gmtoff == local.tm_gmtoff) return candidate;
        // The first second with the new offset.
        std::time_t before = at;
        std::time_t after = candidate;
        while (after - before > 1) {
            const std::time_t middle = before + (after - before) / 2;
            std::tm probe{};
            localtime_r(&middle, &probe);
            (probe.tm_gmtoff == local.tm_gmtoff ? before : after) = middle;
        }
        at = after;
    }
    return at;
}
