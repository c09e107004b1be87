#include "web/index_page.h"

#include <algorithm>
#include <cstdio>
#include <functional>

#include "diary/layout/day_folders.h"
#include "diary/layout/diary_names.h"
#include "diary/page_writers.h"
#include "platform/replace_all.h"
#include "platform/weekdays.h"
#include "settings/diary_settings.h"
#include "web/page_text.h"

namespace {

const char* const kColumnColours[7] = {"#ff0000", "#000000", "#000000", "#000000",
                                       "#000000", "#000000", "#0000ff"};

std::string RecentPictureEntry(const std::string& day, const std::string& file) {
    return "./" + LinkText(day) + "/" + LinkText(file);
}

void UpdateRecentPictures(PageCache& cache, const StoredPicture& picture,
                          const DiarySettings& settings) {
    const std::size_t max =
        static_cast<std::size_t>(std::clamp(settings.INDEX_IMAGE_MAX, 0, kMaxIndexPictures));
    auto& recent = cache.recentPictures;
    if (!recent.empty()) {
        const std::string entry = RecentPictureEntry(picture.day_name, picture.file_name);
        // The same file stored again is moved to the front, not listed twice.
        recent.erase(std::remove(recent.begin(), recent.end(), entry), recent.end());
        recent.insert(recent.begin(), entry);
    } else {
        auto& dirs = cache.saveSubdirectories;
        std::sort(dirs.begin(), dirs.end(), std::greater<>());
        std::size_t count = 0;
        for (const std::string& dir : dirs) {
            for (const std::string& file : ListPagePictures(picture.save_directory, dir)) {
                recent.push_back(RecentPictureEntry(dir, file));
                ++count;
            }
            if (count >= max) break;
        }
        std::sort(recent.begin(), recent.end(), std::greater<>());
    }
    if (recent.size() > max) recent.resize(max);
}

std::string ThumbnailBlock(const std::vector<std::string>& recent, int width, int height) {
    const std::string size = "\" width=\"" + std::to_string(width) + "\" height=\"" +
                             std::to_string(height) + "\" border=\"0\"></a>\n";
    std::string block;
    for (const std::string& entry : recent) {
        block += "<a href=\"";
        block += entry;
        block += "\"><img src=\"";
        block += entry;
        block += size;
    }
    return block;
}

}  // namespace

int DayOfWeek(int year, int month, int day) {
    if (month < 3) {
        month += 12;
        year -= 1;
    }
    const int w = (year + year / 4 - year / 100 + year / 400 + (13 * month + 8) / 5 + day) % 7;
    return w < 0 ? w + 7 : w;
}

std::string BuildMonthTable(int year, int month, const std::set<std::string>& day_keys,
                            const MonthTableContext& context) {
    const int length = DaysInMonth(year, month);
    if (length == 0) return {};
    const int cellpadding = std::min(context.font_size / 3, 10);
    char buffer[512];
    std::string table;
    table.reserve(8192);
    table +=
        "<table cellspacing=\"0\" cellpadding=\"0\" bgcolor=\"#FF9933\" border=\"0\"><tr><th>\n";
    std::snprintf(buffer, sizeof buffer,
                  "<table bgcolor=\"#FF9933\" cellpadding=\"%d\" cellspacing=\"1\" border=\"0\" "
                  "style=\"font-size:%d;\">\n",
                  cellpadding, context.font_size);
    table += buffer;
    table += "<tr><td colspan=\"7\" align=\"center\" bgcolor=\"#fec674\"><b>";
    std::snprintf(buffer, sizeof buffer, "<b>%d年 %d月</b></td></tr><tr>\n", year, month);
    table += buffer;
    for (int col = 0; col < 7; ++col) {
        table += "<td align=\"center\" bgcolor=\"#ffefdf\"><font color=\"";
        table += kColumnColours[col];
        table += "\">";
        table += JapaneseWeekday(col);
        table += "</font></td>";
    }
    table += "</tr>\n";

    enum class Phase { kBefore, kInside, kAfter };
    const int first = DayOfWeek(year, month, 1);
    Phase phase = Phase::kBefore;
    int col = 0;
    int day = 1;
    for (;;) {
        if (col == first) phase = Phase::kInside;
        if (day > length) phase = Phase::kAfter;
        if (phase == Phase::kAfter && col == 0) break;
        if (col == 0) table += "<tr>";
        switch (phase) {
            case Phase::kBefore:
                table += "<td align=\"center\" bgcolor=\"#ffffff\"> - </td>";
                break;
            case Phase::kAfter:
                table += "<td align=center bgcolor=\"#ffffff\"> - </td>";
                break;
            case Phase::kInside: {
                char key[40];
                std::snprintf(key, sizeof key, "%04d%02d%02d", year % 10000, month, day);
                if (day_keys.count(key) != 0) {
                    std::string target = std::string(key) + "/";
                    if (EntryExists(context.save_directory + key, context.preview_html)) {
                        target += LinkText(context.preview_html);
                    }
                    table += "<td align=\"center\" valign=top bgcolor=\"#FFFFD4\">";
                    std::snprintf(
                        buffer, sizeof buffer,
                        "<a href=\"./%s\"><font color=\"%s\"><b>%d</b></font></a><br>\n</td>\n",
                        target.c_str(), kColumnColours[col], day);
                } else {
                    table += "<td align=\"center\" valign=top bgcolor=\"#ffffff\">";
                    std::snprintf(buffer, sizeof buffer,
                                  "<font color=\"%s\">%d</font><br>\n</td>\n", kColumnColours[col],
                                  day);
                }
                table += buffer;
                break;
            }
        }
        ++col;
        if (phase != Phase::kBefore) ++day;
        if (col == 7) {
            table += "</tr>\n";
            col = 0;
        }
    }
    table += "</table></th></tr></table><br>\n";
    return table;
}

void BuildCalendarHtml(PageCache& cache, const std::string& save_directory,
                       const DiarySettings& settings) {
    cache.calendarHtml.clear();
    auto& dirs = cache.saveSubdirectories;
    if (settings.INDEX_CALENDAR_SORT) {
        std::sort(dirs.begin(), dirs.end(), std::greater<>());
    } else {
        std::sort(dirs.begin(), dirs.end());
    }
    std::set<std::string> months;
    std::set<std::string> days;
    for (const std::string& name : dirs) {
        if (!IsDayDirectoryName(name)) continue;
        months.insert(name.substr(0, 6));
        days.insert(name);
    }
    std::vector<std::string> month_order(months.begin(), months.end());
    if (settings.INDEX_CALENDAR_SORT) std::reverse(month_order.begin(), month_order.end());

    const int max = std::min(settings.INDEX_CALENDAR_MAX, kMaxCalendarMonths);
    const int columns = std::clamp(settings.INDEX_CALENDAR_ROW, 1, kMaxCalendarColumns);
    const int n = std::max(std::min(static_cast<int>(month_order.size()), max), 0);
    const int rows = n / columns + 1;
    // The limit is tested after a month is placed: one month always shows.
    const std::size_t placed =
        std::min(month_order.size(), static_cast<std::size_t>(std::max(max, 1)));

    const MonthTableContext context{save_directory, settings.PREVIEW_HTML,
                                    settings.INDEX_CALENDAR_FONT_SIZE};
    std::string& html = cache.calendarHtml;
    html += "<table>";
    std::size_t slot = 0;
    for (int row = 0; row < rows; ++row) {
        html += "<tr>";
        for (int col = 0; col < columns; ++col, ++slot) {
            html += "<td valign=\"top\">";
            if (slot < placed) {
                const std::string& key = month_order[slot];
                html += BuildMonthTable(std::stoi(key.substr(0, 4)), std::stoi(key.substr(4, 2)),
                                        days, context);
            } else {
                html += "<!--" + std::to_string(slot) + "-->";
            }
            html += "</td>";
        }
        html += "</tr>";
    }
    html += "</table>";
}

std::string WriteIndexPage(PageCache& cache, const StoredPicture& picture,
                           const DiarySettings& settings, NoticeSink& notices) {
    if (!(settings.INDEX_PREVIEW || picture.calendar_rebuild) || !settings.INDEX_CREATE ||
        settings.INDEX_HTML.empty()) {
        return {};
    }

    std::string page;
    page.reserve(2048 + cache.calendarHtml.size());
    page += "<!DOCTYPE HTML PUBLIC \"-//W3C//DTD HTML 4.01 Transitional//EN\">\n";
    page += "<HTML lang=\"ja\">\n";
    page += "<HEAD>\n";
    page += "<META http-equiv=\"Content-Type\" content=\"text/html; charset=Shift_JIS\">\n";
    page += "<META http-equiv=\"Content-Style-Type\" content=\"text/css\">\n";
    page += "<!--REFRESH-->\n";
    page += "<TITLE><!--TITLE--></TITLE>\n";
    page += "<LINK href=\"style.css\" rel=\"stylesheet\" type=\"text/css\">\n";
    page += "</HEAD><body><!--Quillomat v1.61--><!--TOPCODE--><center>\n";
    page += "<!--CORVANET-->\n";
    page += "<table><tr><td><!--THUMBNAIL--></td></tr></table><br>\n";
    page += "<!--CALENDAR-->\n";
    page += "</center>\n";
    page += "<!--BOTTOMCODE--></body></html>\n";

    // The user's texts go in verbatim and before the other markers are
    // replaced, so a marker typed into them is replaced as well.
    ReplaceAll(page, "<!--TITLE-->", settings.INDEX_HTML_TITLE);
    ReplaceAll(page, "<!--TOPCODE-->", settings.TOP_CODE);
    ReplaceAll(page, "<!--BOTTOMCODE-->", settings.BOTTOM_CODE);
    if (settings.INDEX_AUTO_REFLESH) {
        ReplaceAll(page, "<!--REFRESH-->",
                   "<META http-equiv=\"refresh\" content=\"" +
                       std::to_string(settings.INDEX_AUTO_REFLESH_SECOND) + "\">\n");
    }

    if (cache.saveSubdirectories.empty() || picture.calendar_rebuild) {
        cache.saveSubdirectories = ListSubfolders(OpenFolder::Open(picture.save_directory));
    }
    if (picture.calendar_rebuild || (cache.calendarHtml.empty() && settings.INDEX_CALENDAR)) {
        BuildCalendarHtml(cache, picture.save_directory, settings);
    }

    if (settings.INDEX_PREVIEW) {
        UpdateRecentPictures(cache, picture, settings);
        ReplaceAll(page, "<!--THUMBNAIL-->",
                   ThumbnailBlock(cache.recentPictures,
                                  ThumbnailSide(picture.width, settings.INDEX_IMAGE_SIZE),
                                  ThumbnailSide(picture.height, settings.INDEX_IMAGE_SIZE)));
    }
    if (settings.INDEX_CALENDAR) ReplaceAll(page, "<!--CALENDAR-->", cache.calendarHtml);

    const std::string path = picture.save_directory + settings.INDEX_HTML;
    return WritePageFile(path, page, notices) ? path : std::string();
}
