#include "web/day_page.h"

#include <jpeglib.h>

#include <algorithm>
#include <csetjmp>
#include <cstdio>
#include <fstream>
#include <functional>
#include <iterator>

#include "diary/layout/day_folders.h"
#include "diary/layout/diary_names.h"
#include "diary/page_writers.h"
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

std::string VideoLink(const std::string& video_name) {
    return "<br><a href=\"./" + LinkText(video_name) + "\">タイムラプス動画</a>";
}

struct HeaderErrors {
    jpeg_error_mgr base;
    std::jmp_buf resume;
};
[[noreturn]] void HeaderFailed(j_common_ptr cinfo) {
    std::longjmp(reinterpret_cast<HeaderErrors*>(cinfo->err)->resume, 1);
}

std::string DateText(const std::tm& t) {
    char text[64];
    std::snprintf(text, sizeof text, "%04d年%02d月%02d日(%s)", t.tm_year + 1900, t.tm_mon + 1,
                  t.tm_mday, JapaneseWeekday(DayOfWeek(t.tm_year + 1900, t.tm_mon + 1, t.tm_mday)));
    return text;
}

// Lines 1 to 11 of the template, the date line ending with the table it
// opens; the video's link goes between the date and that table.
std::string PageHead(const std::tm& date_time, const DiarySettings& settings,
                     const std::string& video_name) {
    const std::string date = DateText(date_time);
    std::string page;
    page.reserve(1024);
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
    page += date;
    if (!video_name.empty()) page += VideoLink(video_name);
    page += "<br><table border=\"0\" cellpadding=\"0\" cellspacing=\"0\">\n";
    return page;
}

void AppendThumbnailsAndTail(std::string& page, const std::string& thumbnails) {
    page += "<tr><td>";
    page += thumbnails;
    page += "</td></tr><tr><td></td></tr></table>\n";
    page += "</center>\n";
    page += "</body></html>\n";
}

void SortForPage(std::vector<std::string>& names, const DiarySettings& settings) {
    if (settings.PREVIEW_SORT) {
        std::sort(names.begin(), names.end(), std::greater<>());
    } else {
        std::sort(names.begin(), names.end());
    }
}

// Width and height from the frame header; false when the file has none.
bool PictureSize(const std::string& path, int& width, int& height) {
    std::FILE* const file = std::fopen(path.c_str(), "rbe");
    if (file == nullptr) return false;
    jpeg_decompress_struct cinfo;
    HeaderErrors errors;
    cinfo.err = jpeg_std_error(&errors.base);
    errors.base.error_exit = HeaderFailed;
    errors.base.emit_message = [](j_common_ptr, int) {};
    if (setjmp(errors.resume) != 0) {
        jpeg_destroy_decompress(&cinfo);
        std::fclose(file);
        return false;
    }
    jpeg_create_decompress(&cinfo);
    jpeg_stdio_src(&cinfo, file);
    jpeg_read_header(&cinfo, TRUE);
    const int w = static_cast<int>(cinfo.image_width);
    const int h = static_cast<int>(cinfo.image_height);
    jpeg_destroy_decompress(&cinfo);
    std::fclose(file);
    if (w <= 0 || h <= 0) return false;
    width = w;
    height = h;
    return true;
}

}  // namespace

std::string WriteDayPage(PageCache& cache, const StoredPicture& picture,
                         const DiarySettings& settings, NoticeSink& notices,
                         const std::string& video_name) {
    if (!settings.PREVIEW_CREATE || settings.PREVIEW_HTML.empty()) return {};

    std::string page = PageHead(picture.capture_time, settings, video_name);

    const int width = ThumbnailSide(picture.width, settings.PREVIEW_IMAGE_SIZE);
    const int height = ThumbnailSide(picture.height, settings.PREVIEW_IMAGE_SIZE);

    auto& list = cache.dayThumbnails;
    if (cache.dayName != picture.day_name) {
        list.clear();
        cache.dayName = picture.day_name;
    }
    if (list.empty() && picture.day_directory_existed) {
        std::vector<std::string> names = ListPagePictures(picture.save_directory, picture.day_name);
        SortForPage(names, settings);
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

    std::string thumbnails;
    thumbnails.reserve(list.size() * 96);
    for (const PageCache::Thumbnail& thumbnail : list) thumbnails += thumbnail.line;
    AppendThumbnailsAndTail(page, thumbnails);

    const std::string path = picture.day_directory + settings.PREVIEW_HTML;
    return WritePageFile(path, page, notices) ? path : std::string();
}

std::string RewriteDayPage(const std::string& save_directory, const std::string& day_name,
                           const DiarySettings& settings, NoticeSink& notices,
                           const std::string& video_name) {
    // Any thread may ask, with the settings as set: the page goes under the
    // name the store writes it under.
    const std::string page_name = PageFileName(settings.PREVIEW_HTML);
    if (!settings.PREVIEW_CREATE || page_name.empty() || !IsDayDirectoryName(day_name)) return {};
    std::tm date{};
    date.tm_year = std::stoi(day_name.substr(0, 4)) - 1900;
    date.tm_mon = std::stoi(day_name.substr(4, 2)) - 1;
    date.tm_mday = std::stoi(day_name.substr(6, 2));
    const std::string day_directory = save_directory + day_name + "/";

    std::vector<std::string> names = ListPagePictures(save_directory, day_name);
    std::sort(names.begin(), names.end());
    // The size the last store of the day would have listed them with.
    int width = settings.WIDTH;
    int height = settings.HEIGHT;
    for (auto it = names.rbegin(); it != names.rend(); ++it) {
        if (PictureSize(day_directory + *it, width, height)) break;
    }
    SortForPage(names, settings);
    const int thumbnail_width = ThumbnailSide(width, settings.PREVIEW_IMAGE_SIZE);
    const int thumbnail_height = ThumbnailSide(height, settings.PREVIEW_IMAGE_SIZE);
    std::string thumbnails;
    for (const std::string& name : names)
        thumbnails += ThumbnailLine(name, thumbnail_width, thumbnail_height);

    std::string page = PageHead(date, settings, video_name);
    AppendThumbnailsAndTail(page, thumbnails);
    const std::string path = day_directory + page_name;
    return WritePageFile(path, page, notices) ? path : std::string();
}

bool DayPageLinksVideo(const std::string& page_path, const std::string& video_name) {
    // The link stands in the page's first lines; the thumbnails after it may
    // be long.
    std::ifstream page(page_path, std::ios::binary);
    std::string head(4096, '\0');
    page.read(head.data(), static_cast<std::streamsize>(head.size()));
    head.resize(static_cast<std::size_t>(page.gcount()));
    return head.find(EncodePage(VideoLink(video_name))) != std::string::npos;
}
