#pragma once

#include <cstdint>
#include <ctime>
#include <optional>
#include <string>

class StopSignal;

// What the retention tab shows of the save folder: its free space and, at
// the rate of the last seven days, about how many days of pictures still fit.
struct DiaryOutlook {
    // errno when the folder could not be looked at; 0 otherwise.
    int error = 0;
    std::uint64_t free_bytes = 0;
    std::uint64_t total_bytes = 0;
    // The program's files of today and the six days before.
    std::uint64_t recent_bytes = 0;
    // From the first picture among them to now, at least an hour; 0 when
    // they hold no picture.
    double recent_days = 0;

    // The rate of those days; nullopt when unknown.
    std::optional<double> BytesPerDay() const;
    // Days of pictures that still fit into the free space at that rate.
    std::optional<double> DaysThatFit() const;
};

// Looks at the save folder `save_folder` (day page `day_page`) as of the local
// time `now`. Lists seven day folders and reads their files' sizes: run it
// off the user interface thread. Ends early, with what it has, on `stop`.
DiaryOutlook LookAtDiary(const std::string& save_folder, const std::string& day_page,
                         const std::tm& now, const StopSignal& stop);
