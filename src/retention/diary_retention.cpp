#include "retention/diary_retention.h"

#include <QtGlobal>
#include <algorithm>
#include <cstdio>
#include <memory>
#include <system_error>
#include <utility>

#include "diary/layout/diary_layout.h"
#include "diary/layout/diary_names.h"
#include "platform/clock.h"
#include "retention/retention_settings.h"
#include "settings/shared_settings.h"

namespace {

std::string SizeText(std::uint64_t bytes) {
    char text[32];
    if (bytes < DiaryRetention::kBytesPerMb) {
        std::snprintf(text, sizeof text, "%.0fKB", static_cast<double>(bytes) / 1024.0);
    } else {
        std::snprintf(
            text, sizeof text, "%.1fMB",
            static_cast<double>(bytes) / static_cast<double>(DiaryRetention::kBytesPerMb));
    }
    return text;
}

std::uint64_t Megabytes(std::int32_t mb) {
    return static_cast<std::uint64_t>(std::max(mb, 0)) * DiaryRetention::kBytesPerMb;
}

// True when the day folder holds one of the program's pictures (a link
// named like one does not count).
bool HoldsPictures(const OpenFolder& save, const std::string& day) {
    const OpenFolder folder = OpenFolder::OpenInside(save, day);
    bool found = false;
    folder.ForEachEntry([&](std::string_view name, unsigned char type) {
        if (!found && IsPictureFileName(name, day)) found = folder.IsRegularFile(name, type);
    });
    return found;
}

}  // namespace

DiaryRetention::DiaryRetention(DiaryJobContext context) : context_(std::move(context)) {}

void RegisterRetention(const DiaryJobContext& context) {
    RegisterSettingsSection(RetentionSettingsSection());
    context.events.Subscribe(std::make_shared<DiaryRetention>(context));
}

DiaryRetention::Rules DiaryRetention::ReadRules() const {
    return context_.settings.Read([](const DiarySettings& s) {
        Rules rules;
        const RetentionSettings& kept = s.Section<RetentionSettings>();
        rules.keep_days = std::max(kept.KEEP_DAYS, 0);
        rules.max_mb = std::max(kept.KEEP_MAX_MB, 0);
        rules.free_mb = std::max(kept.KEEP_FREE_MB, 0);
        const DiaryLayout layout = DiaryLayout::Of(s);
        rules.save = layout.save_folder;
        rules.day_page = layout.day_page;
        rules.index_page = layout.index_page;
        return rules;
    });
}

void DiaryRetention::Begin(const StopSignal& stop) { Sweep(stop); }

void DiaryRetention::Handle(const DiaryEvent& event, const StopSignal& stop) {
    if (std::holds_alternative<StoreComing>(event)) {
        const Rules rules = ReadRules();
        if (rules.free_mb == 0 || rules.save.empty()) return;
        // Only a low disk needs the listing: the query alone takes microseconds.
        const std::optional<FileSystemSpace> space = SpaceOf(rules.save);
        // A floor the whole file system cannot reach stays off (the sweep said so).
        if (!space || space->free_bytes >= Megabytes(rules.free_mb) ||
            space->total_bytes < Megabytes(rules.free_mb)) {
            said_nothing_left_.erase(Rule::kFreeSpace);
            return;
        }
        OpenFolder save;
        if (!OpenSave(rules, save)) return;
        KeepFreeSpace(rules, save, stop);
    } else if (const auto* stored = std::get_if<PictureStored>(&event)) {
        storing_day_ = stored->day_name;
        emptied_.erase(stored->day_name);
        const Rules rules = ReadRules();
        if (rules.max_mb == 0 || !counted_ || stored->save_directory != save_) return;
        AddStored(rules, *stored);
        if (total_ <= Megabytes(rules.max_mb)) {
            said_nothing_left_.erase(Rule::kMaxSize);
            return;
        }
        OpenFolder save;
        if (OpenSave(rules, save)) KeepMaxSize(rules, save, stop);
    } else if (const auto* made = std::get_if<DayVideoMade>(&event)) {
        emptied_.erase(made->day_name);
        const Rules rules = ReadRules();
        if (rules.max_mb > 0 && counted_ && made->save_directory == save_) AddVideo(rules, *made);
    }
}

std::optional<std::chrono::milliseconds> DiaryRetention::NextWake() {
    if (!swept_with_ || ReadRules() != *swept_with_) return std::chrono::milliseconds(0);
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        next_sweep_ - std::chrono::steady_clock::now());
    return std::clamp(left, std::chrono::milliseconds(0), kLookAgain);
}

void DiaryRetention::Wake(const StopSignal& stop) {
    if (!swept_with_ || ReadRules() != *swept_with_ ||
        std::chrono::steady_clock::now() >= next_sweep_) {
        Sweep(stop);
    }
}

void DiaryRetention::Sweep(const StopSignal& stop) {
    Rules rules = ReadRules();
    swept_with_ = rules;
    next_sweep_ = std::chrono::steady_clock::now() + kSweepEvery;
    OpenFolder save;
    // Without a rule the diary is as designed, its log too.
    const bool open =
        (rules.keep_days > 0 || rules.max_mb > 0 || rules.free_mb > 0) && OpenSave(rules, save);
    if (open) {
        SayLaterDays();
        RefuseBeyondTheDisk(rules);
    }
    if (rules.max_mb == 0) ForgetTotals();
    if (!open || (rules.keep_days == 0 && rules.max_mb == 0 && rules.free_mb == 0)) return;
    if (rules.keep_days > 0) KeepDays(rules, save, stop);
    if (rules.free_mb > 0 && !stop.IsSet()) KeepFreeSpace(rules, save, stop);
    if (rules.max_mb > 0 && !stop.IsSet() && CountDays(rules, save, stop))
        KeepMaxSize(rules, save, stop);
}

bool DiaryRetention::OpenSave(const Rules& rules, OpenFolder& save) {
    if (rules.save.empty()) return false;
    if (rules.save != save_) {
        save_ = rules.save;
        emptied_.clear();
        said_kept_.clear();
        said_nothing_left_.clear();
        said_later_.clear();
        said_beyond_.clear();
        ForgetTotals();
    }
    save = OpenFolder::Open(save_);
    if (!save.IsOpen()) return false;
    days_ = ListDayFolders(save);
    today_ = DayDirectoryName(context_.clock.LocalNow());
    return true;
}

void DiaryRetention::SayLaterDays() {
    // Left by a clock that was ahead: never old by any rule, so the user
    // is told which ones they are.
    std::vector<std::string> later;
    for (auto it = std::upper_bound(days_.begin(), days_.end(), today_); it != days_.end(); ++it) {
        if (said_later_.insert(*it).second) later.push_back(*it);
    }
    if (later.empty()) return;
    constexpr std::size_t kNamed = 5;
    std::string names;
    for (std::size_t i = 0; i < later.size() && i < kNamed; ++i)
        names += (i == 0 ? "" : ", ") + later[i];
    if (later.size() > kNamed) names += ", ...";
    context_.post_line(
        TranslatedLogText("DiaryRetention",
                          QT_TRANSLATE_NOOP("DiaryRetention",
                                            "今日より後の日付の日別ディレクトリがあります: %1 "
                                            "(時計を確かめてください。保存期間では削除しません)"),
                          {names}));
}

void DiaryRetention::RefuseBeyondTheDisk(Rules& rules) {
    if (rules.free_mb == 0 && rules.max_mb == 0) return;
    const std::optional<FileSystemSpace> space = SpaceOf(save_);
    if (!space) return;
    // A typo's target would delete every past day and still not be met.
    const auto refuse = [&](std::int32_t& mb, Rule rule, const char* source) {
        if (mb == 0 || Megabytes(mb) <= space->total_bytes) return;
        if (said_beyond_.insert({rule, mb}).second) {
            context_.post_line(TranslatedLogText(
                "DiaryRetention", source, {std::to_string(mb), SizeText(space->total_bytes)}));
        }
        mb = 0;
    };
    refuse(rules.free_mb, Rule::kFreeSpace,
           QT_TRANSLATE_NOOP("DiaryRetention",
                             "空き容量の下限%1MBは保存先のファイルシステム全体(%2)より大きいため、"
                             "この規則は使いません"));
    refuse(rules.max_mb, Rule::kMaxSize,
           QT_TRANSLATE_NOOP("DiaryRetention",
                             "合計の上限%1MBは保存先のファイルシステム全体(%2)より大きいため、"
                             "この規則は使いません"));
}

bool DiaryRetention::Deletable(const std::string& day) const {
    if (day >= today_ || emptied_.contains(day)) return false;
    // The day the diary last stored into may still be written to just
    // after midnight.
    return day != storing_day_ || DayNumberOf(today_) - DayNumberOf(day) > 1;
}

std::string DiaryRetention::OldestDeletable() const {
    for (const std::string& day : days_) {
        if (day >= today_) break;
        if (Deletable(day)) return day;
    }
    return {};
}

void DiaryRetention::KeepDays(const Rules& rules, const OpenFolder& save, const StopSignal& stop) {
    const std::int64_t today = DayNumberOf(today_);
    auto young = std::find_if(days_.begin(), days_.end(), [&](const std::string& day) {
        return today - DayNumberOf(day) < rules.keep_days;
    });
    // Most sweeps find nothing to delete: no folder is looked into then.
    if (std::none_of(days_.begin(), young, [&](const std::string& day) { return Deletable(day); }))
        return;
    // A clock far ahead makes every day old at once, and a month switched
    // off every day before it: the newest KEEP_DAYS days up to today that
    // hold pictures stay all the same, so the diary is never emptied.
    std::int32_t with_pictures = 0;
    auto end = days_.end();
    while (end != days_.begin() && *std::prev(end) > today_) --end;
    while (end != days_.begin() && with_pictures < rules.keep_days) {
        --end;
        if (stop.IsSet()) return;
        if (HoldsPictures(save, *end)) ++with_pictures;
    }
    young = std::min(young, end);
    // Copied: each deletion takes its day out of days_.
    const std::vector<std::string> old(days_.begin(), young);
    for (const std::string& day : old) {
        if (Deletable(day) && !DeleteDay(rules, save, day, Rule::kDays, stop)) return;
    }
}

void DiaryRetention::KeepFreeSpace(const Rules& rules, const OpenFolder& save,
                                   const StopSignal& stop) {
    for (;;) {
        const std::optional<FileSystemSpace> space = SpaceOf(save_);
        if (!space || space->free_bytes >= Megabytes(rules.free_mb)) {
            said_nothing_left_.erase(Rule::kFreeSpace);
            return;
        }
        const std::string day = OldestDeletable();
        if (day.empty()) {
            SayNothingLeft(rules, Rule::kFreeSpace);
            return;
        }
        if (!DeleteDay(rules, save, day, Rule::kFreeSpace, stop)) return;
    }
}

void DiaryRetention::KeepMaxSize(const Rules& rules, const OpenFolder& save,
                                 const StopSignal& stop) {
    const std::uint64_t limit = Megabytes(rules.max_mb);
    if (total_ > limit) {
        // A folder changed by hand since it was counted is counted as it is
        // now before anything goes for it.
        Recount(rules, save, stop);
    }
    while (total_ > limit) {
        if (stop.IsSet()) return;
        const std::string day = OldestDeletable();
        if (day.empty()) {
            SayNothingLeft(rules, Rule::kMaxSize);
            return;
        }
        if (!DeleteDay(rules, save, day, Rule::kMaxSize, stop)) return;
    }
    said_nothing_left_.erase(Rule::kMaxSize);
}

bool DiaryRetention::CountDays(const Rules& rules, const OpenFolder& save, const StopSignal& stop) {
    // Both in name order: one walk finds the days gone and the days new.
    auto it = totals_.begin();
    const auto forget = [&] {
        total_ -= it->second.bytes;
        it = totals_.erase(it);
    };
    for (const std::string& day : days_) {
        while (it != totals_.end() && it->first < day) forget();
        if (it != totals_.end() && it->first == day) {
            ++it;
            continue;
        }
        if (stop.IsSet()) return false;
        const DayFiles files = CountDayFiles(save, day, rules.day_page);
        if (!files.found) continue;
        it = std::next(totals_.emplace_hint(
            it, day, DayTotal{files.bytes, files.page_bytes, files.folder_changed}));
        total_ += files.bytes;
    }
    while (it != totals_.end()) forget();
    const std::uint64_t index =
        rules.index_page.empty() ? 0 : RegularFileSize(save_ + rules.index_page);
    total_ = total_ - index_bytes_ + index;
    index_bytes_ = index;
    counted_ = true;
    return true;
}

void DiaryRetention::Recount(const Rules& rules, const OpenFolder& save, const StopSignal& stop) {
    std::vector<std::string> changed;
    for (const auto& [day, total] : totals_) {
        if (DayFolderChanged(save, day, total.folder_changed)) changed.push_back(day);
    }
    for (const std::string& day : changed) {
        if (stop.IsSet()) return;
        SetDay(day, CountDayFiles(save, day, rules.day_page));
    }
}

void DiaryRetention::SetDay(const std::string& day, const DayFiles& files) {
    if (!files.found) {
        ForgetDay(day);
        return;
    }
    DayTotal& total = totals_[day];
    total_ -= total.bytes;
    total = {files.bytes, files.page_bytes, files.folder_changed};
    total_ += total.bytes;
}

void DiaryRetention::ForgetDay(const std::string& day) {
    const auto it = totals_.find(day);
    if (it == totals_.end()) return;
    total_ -= it->second.bytes;
    totals_.erase(it);
}

void DiaryRetention::ForgetTotals() {
    counted_ = false;
    totals_.clear();
    index_bytes_ = 0;
    total_ = 0;
}

void DiaryRetention::AddStored(const Rules& rules, const PictureStored& stored) {
    const auto it = totals_.find(stored.day_name);
    if (it == totals_.end()) {
        // First seen: counted whole, this picture included.
        const OpenFolder save = OpenFolder::Open(save_);
        SetDay(stored.day_name, CountDayFiles(save, stored.day_name, rules.day_page));
    } else {
        const std::uint64_t bytes = RegularFileSize(stored.path);
        it->second.bytes += bytes;
        total_ += bytes;
    }
    for (const std::string& page : stored.pages) SetPageBytes(rules, stored.day_name, page);
}

void DiaryRetention::AddVideo(const Rules& rules, const DayVideoMade& made) {
    const auto it = totals_.find(made.day_name);
    if (it == totals_.end()) {
        const OpenFolder save = OpenFolder::Open(save_);
        SetDay(made.day_name, CountDayFiles(save, made.day_name, rules.day_page));
    } else {
        const std::uint64_t bytes = RegularFileSize(made.path);
        it->second.bytes += bytes;
        total_ += bytes;
    }
    for (const std::string& page : made.pages) SetPageBytes(rules, made.day_name, page);
}

void DiaryRetention::SetPageBytes(const Rules& rules, const std::string& day,
                                  const std::string& path) {
    const std::uint64_t bytes = RegularFileSize(path);
    if (!rules.index_page.empty() && path == save_ + rules.index_page) {
        total_ = total_ - index_bytes_ + bytes;
        index_bytes_ = bytes;
        return;
    }
    const auto it = totals_.find(day);
    if (rules.day_page.empty() || it == totals_.end() ||
        path != save_ + day + "/" + rules.day_page) {
        return;
    }
    DayTotal& total = it->second;
    total.bytes = total.bytes - total.page_bytes + bytes;
    total_ = total_ - total.page_bytes + bytes;
    total.page_bytes = bytes;
}

bool DiaryRetention::DeleteDay(const Rules& rules, const OpenFolder& save, const std::string& day,
                               Rule rule, const StopSignal& stop) {
    const DayDeletion deletion = DeleteDayFiles(save, day, rules.day_page, stop);
    if (!deletion.stopped) {
        if (deletion.folder_removed || !deletion.found) {
            days_.erase(std::remove(days_.begin(), days_.end(), day), days_.end());
            ForgetDay(day);
        } else {
            emptied_.insert(day);
            if (counted_) SetDay(day, CountDayFiles(save, day, rules.day_page));
        }
    }
    if (!deletion.removed.empty()) {
        // The next store builds the pages from the folders, without this day.
        if (context_.mark_pages_changed) context_.mark_pages_changed();
        DayDeleted deleted{save_, day, {}};
        deleted.files.reserve(deletion.removed.size());
        for (const std::string& name : deletion.removed) deleted.files.push_back(day + "/" + name);
        context_.publish.Publish(std::move(deleted));
        // The rule's own text in each of the line's two languages.
        const LogText why = RuleText(rules, rule);
        const char* source =
            QT_TRANSLATE_NOOP("DiaryRetention", "古い日を削除 %1 (%2, %3ファイル, %4)");
        const std::string files = std::to_string(deletion.removed.size());
        const std::string size = SizeText(deletion.bytes);
        context_.post_line(LogText(
            TranslatedLogText("DiaryRetention", source, {day, why.designed, files, size}).designed,
            TranslatedText("DiaryRetention", source, {day, why.shown, files, size})));
    }
    if (deletion.other_file_system) {
        if (said_kept_.insert(day).second) {
            context_.post_line(TranslatedLogText(
                "DiaryRetention",
                QT_TRANSLATE_NOOP("DiaryRetention",
                                  "日別ディレクトリ %1 は別のファイルシステムのため、削除しません"),
                {day}));
        }
    } else if (deletion.others && said_kept_.insert(day).second) {
        context_.post_line(TranslatedLogText(
            "DiaryRetention",
            QT_TRANSLATE_NOOP(
                "DiaryRetention",
                "日別ディレクトリ %1 にはほかのファイルがあるため、ディレクトリを残します"),
            {day}));
    }
    if (deletion.failed_errno != 0) {
        context_.post_line(TranslatedLogText(
            "DiaryRetention", QT_TRANSLATE_NOOP("DiaryRetention", "古い日の削除に失敗 %1 (%2)"),
            {day, std::generic_category().message(deletion.failed_errno)}));
    }
    return !deletion.stopped;
}

LogText DiaryRetention::RuleText(const Rules& rules, Rule rule) const {
    switch (rule) {
        case Rule::kDays:
            return TranslatedLogText("DiaryRetention",
                                     QT_TRANSLATE_NOOP("DiaryRetention", "保存日数%1日"),
                                     {std::to_string(rules.keep_days)});
        case Rule::kMaxSize:
            return TranslatedLogText("DiaryRetention",
                                     QT_TRANSLATE_NOOP("DiaryRetention", "合計の上限%1MB"),
                                     {std::to_string(rules.max_mb)});
        case Rule::kFreeSpace:
            return TranslatedLogText("DiaryRetention",
                                     QT_TRANSLATE_NOOP("DiaryRetention", "空き容量の下限%1MB"),
                                     {std::to_string(rules.free_mb)});
    }
    return std::string();
}

void DiaryRetention::SayNothingLeft(const Rules& rules, Rule rule) {
    if (!said_nothing_left_.insert(rule).second) return;
    if (rule == Rule::kFreeSpace) {
        context_.post_line(TranslatedLogText(
            "DiaryRetention",
            QT_TRANSLATE_NOOP("DiaryRetention",
                              "空き容量が下限%1MBを下回っていますが、削除できる古い日がありません"),
            {std::to_string(rules.free_mb)}));
    } else {
        context_.post_line(TranslatedLogText(
            "DiaryRetention",
            QT_TRANSLATE_NOOP("DiaryRetention",
                              "合計が上限%1MBを超えていますが、削除できる古い日がありません"),
            {std::to_string(rules.max_mb)}));
    }
}
