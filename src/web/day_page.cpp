#include "web/day_page.h"

#include <algorithm>
#include <cstdio>
#include <functional>
#include <iterator>

#include "diary/page_writers.h"
#include "diary/picture_names.h"
#include "platform/weekdays.h"
#include "settings/diary_settings.h"
#include "web/index_page.h"
#include "web/page_text.h"

namespace {

std::string ThumbnailLine(const std::string& name, int width, int height) {
    const std::string link = LinkText(name);
    std::string line;
    line.reserve(2 * link.size() + 80);
    line += "<a href=\"./";
    line += link;
    line += "\"><img src=\"./";
    line += link;
    line += "\" width=\"";
    line += std::to_string(width);
    line += "\" height=\"";
    line += std::to_string(height);
    line += "\" border=\"0\"></a>\n";
    return line;
}

std::string DateText(const std::tm& t) {
    char text[64];
    std::snprintf(text, sizeof text, "%04d年%02d月%02d日(%s)", t.tm_year + 1900, t.tm_mon + 1,
                  t.tm_mday, JapaneseWeekday(DayOfWeek(t.tm_year + 1900, t.tm_mon + 1, t.tm_mday)));
    return text;
}

}  // namespace

std::string WriteDayPage(PageCache& cache, const StoredPicture& picture,
                         const DiarySettings& settings, NoticeSink& notices) {
    if (!settings.PREVIEW_CREATE || settings.PREVIEW_HTML.empty()) return {};

    const std::string date = DateText(picture.capture_time);
    std::string page;
    page.reserve(cache.dayThumbnails.size() * 96 + 1024);
    page += "<!DOCTYPE HTML PUBLIC \"-//W3C//DTD HTML 4.01 Transitional//EN\">\n";
    page += "<HTML lang=\"ja\">\n";
    page += "<HEAD>\n";
    page += "<META http-equiv=\"Content-Type\" content=\"text/html; charset=Shift_JIS\">\n";
    page += "<META http-equiv=\"Content-Style-Type\" content=\"text/css\">\n";
    if (settings.PREVIEW_AUTO_REFLESH) {
        // The template's own line feed stays behind the marker: an empty line follows.
        page += "<META http-equiv=\"refresh\" content=\"" +
                std::to_string(settings.PREVIEW_AUTO_REFLESH_SECOND) + "\">\n\n";
    } else {
        page += "<!--REFRESH-->\n";
    }
    page += "<TITLE>" + date + "</TITLE>\n";
    page += "<LINK href=\"style.css\" rel=\"stylesheet\" type=\"text/css\">\n";
    page += "</HEAD><body><!--Quillomat v1.61--><center>\n";
    page += "<!--CORVANET-->\n";
    page += date + "<br><table border=\"0\" cellpadding=\"0\" cellspacing=\"0\">\n";

    const int width = ThumbnailSide(picture.width, settings.PREVIEW_IMAGE_SIZE);
    const int height = ThumbnailSide(picture.height, settings.PREVIEW_IMAGE_SIZE);

    auto& list = cache.dayThumbnails;
    if (cache.dayName != picture.day_name) {
        list.clear();
        cache.dayName = picture.day_name;
    }
    if (list.empty() && picture.day_directory_existed) {
        std::vector<std::string> names = ListJpegFiles(picture.day_directory);
        if (settings.PREVIEW_SORT) {
            std::sort(names.begin(), names.end(), std::greater<>());
        } else {
            std::sort(names.begin(), names.end());
        }
        for (std::string& name : names) {
            if (name == picture.file_name) continue;
            std::string line = ThumbnailLine(name, width, height);
            list.push_back({std::move(name), std::move(line)});
        }
    }

    const auto same = [&](const PageCache::Thumbnail& t) { return t.name == picture.file_name; };
    if (std::none_of(list.begin(), list.end(), same)) {
        // The new picture goes first (last when sorted oldest first), except
        // that after a clock was set back it goes behind the diary's own
        // pictures whose names come later, so that the page stays in the
        // order of its names, as a fresh listing of the folder gives it.
        const auto later = [&](const PageCache::Thumbnail& t) {
            return t.name > picture.file_name && IsPictureFileName(t.name);
        };
        PageCache::Thumbnail added{picture.file_name,
                                   ThumbnailLine(picture.file_name, width, height)};
        if (settings.PREVIEW_SORT) {
            auto at = list.begin();
            while (at != list.end() && later(*at)) ++at;
            list.insert(at, std::move(added));
        } else {
            auto at = list.end();
            while (at != list.begin() && later(*std::prev(at))) --at;
            list.insert(at, std::move(added));
        }
    }

    page += "<tr><td>";
    for (const PageCache::Thumbnail& thumbnail : list) page += thumbnail.line;
    page += "</td></tr><tr><td></td></tr></table>\n";
    page += "</center>\n";
    page += "</body></html>\n";

    const std::string path = picture.day_directory + settings.PREVIEW_HTML;
    return WritePageFile(path, page, notices) ? path : std::string();
}
