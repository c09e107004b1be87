#include "publish/publish_names.h"

#include <sys/stat.h>

#include <algorithm>
#include <cctype>
#include <set>

#include "diary/layout/day_folders.h"
#include "diary/layout/diary_names.h"

namespace {

constexpr std::string_view kPartialSuffix = ".partial";
constexpr std::size_t kRandomLength = 6;

bool AllAlnum(std::string_view s) {
    return std::all_of(s.begin(), s.end(),
                       [](char c) { return std::isalnum(static_cast<unsigned char>(c)) != 0; });
}

bool EqualsNoCase(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) ==
                      std::tolower(static_cast<unsigned char>(y));
           });
}

// "a/./b/../c" -> "a/c"; empty when it leaves the root or is absolute.
std::string NormalRelative(std::string_view folder, std::string_view link) {
    std::vector<std::string_view> parts;
    auto push = [&](std::string_view path) -> bool {
        std::size_t start = 0;
        while (start <= path.size()) {
            const std::size_t slash = std::min(path.find('/', start), path.size());
            const std::string_view part = path.substr(start, slash - start);
            if (part == "..") {
                if (parts.empty()) return false;
                parts.pop_back();
            } else if (!part.empty() && part != ".") {
                parts.push_back(part);
            }
            start = slash + 1;
        }
        return true;
    };
    if (link.starts_with('/') || !push(folder) || !push(link)) return {};
    std::string out;
    for (std::string_view part : parts) {
        if (!out.empty()) out += '/';
        out += part;
    }
    return out;
}

// Values of href="..." and src="..." attributes, in page order.
std::vector<std::string_view> LinkValues(std::string_view html) {
    std::vector<std::string_view> values;
    for (std::size_t i = 0; i < html.size(); ++i) {
        if (html[i] != '=') continue;
        std::size_t name_end = i;
        while (name_end > 0 && html[name_end - 1] == ' ') --name_end;
        const bool href = name_end >= 4 && EqualsNoCase(html.substr(name_end - 4, 4), "href");
        const bool src = name_end >= 3 && EqualsNoCase(html.substr(name_end - 3, 3), "src");
        if (!href && !src) continue;
        std::size_t start = i + 1;
        while (start < html.size() && html[start] == ' ') ++start;
        if (start >= html.size()) break;
        const char quote = html[start];
        std::size_t end;
        if (quote == '"' || quote == '\'') {
            ++start;
            end = html.find(quote, start);
            if (end == std::string_view::npos) break;
        } else {
            end = html.find_first_of(" >\t\r\n", start);
            if (end == std::string_view::npos) end = html.size();
        }
        values.push_back(html.substr(start, end - start));
        i = end;
    }
    return values;
}

}  // namespace

bool IsPublishedPath(std::string_view path, const DiaryLayout& layout) {
    const std::size_t slash = path.find('/');
    if (slash == std::string_view::npos) {
        return (!layout.index_page.empty() && path == layout.index_page) || path == kStyleSheetName;
    }
    const std::string_view day = path.substr(0, slash);
    const std::string_view name = path.substr(slash + 1);
    if (!IsDayDirectoryName(day)) return false;
    return IsPictureFileName(name, day) || name == DayVideoName(day) ||
           (!layout.day_page.empty() && name == layout.day_page) || name == kStyleSheetName;
}

std::vector<PublishedFile> ListPublishedFiles(const DiaryLayout& layout, const std::string& day) {
    std::vector<PublishedFile> files;
    if (layout.save_folder.empty()) return files;
    OpenFolder folder = OpenFolder::Open(layout.save_folder);
    if (!day.empty()) folder = OpenFolder::OpenInside(folder, day);
    const std::string prefix = day.empty() ? std::string() : day + "/";
    folder.ForEachEntry([&](std::string_view name, unsigned char) {
        if (!IsPublishedPath(prefix + std::string(name), layout)) return;
        const std::optional<struct stat> st = folder.Status(std::string(name));
        if (!st || !S_ISREG(st->st_mode)) return;
        files.push_back(
            {std::string(name), static_cast<std::int64_t>(st->st_size),
             static_cast<std::int64_t>(st->st_mtim.tv_sec) * 1'000'000'000 + st->st_mtim.tv_nsec});
    });
    std::sort(files.begin(), files.end(),
              [](const PublishedFile& a, const PublishedFile& b) { return a.name < b.name; });
    return files;
}

std::vector<std::string> ListPublishedDays(const DiaryLayout& layout) {
    if (layout.save_folder.empty()) return {};
    std::vector<std::string> days = ListDayFolders(OpenFolder::Open(layout.save_folder));
    std::reverse(days.begin(), days.end());
    return days;
}

std::vector<std::string> LinkedMedia(std::string_view html, std::string_view page) {
    const std::size_t slash = page.rfind('/');
    const std::string_view folder =
        slash == std::string_view::npos ? std::string_view() : page.substr(0, slash);
    std::vector<std::string> media;
    std::set<std::string> seen;
    for (std::string_view value : LinkValues(html)) {
        // Query or fragment parts, and links elsewhere, are no file of ours.
        if (value.find_first_of("?#:") != std::string_view::npos) continue;
        const std::string path = NormalRelative(folder, value);
        const std::size_t cut = path.find('/');
        if (cut == std::string::npos || path.find('/', cut + 1) != std::string::npos) continue;
        const std::string_view day = std::string_view(path).substr(0, cut);
        const std::string_view name = std::string_view(path).substr(cut + 1);
        if (!IsDayDirectoryName(day) ||
            !(IsPictureFileName(name, day) || name == DayVideoName(day)))
            continue;
        if (seen.insert(path).second) media.push_back(path);
    }
    return media;
}

std::string PartialName(std::string_view name, std::string_view random6) {
    std::string out(name);
    out += '.';
    out += random6;
    out += kPartialSuffix;
    return out;
}

std::string FinalNameOfPartial(std::string_view candidate) {
    if (!candidate.ends_with(kPartialSuffix)) return {};
    candidate.remove_suffix(kPartialSuffix.size());
    if (candidate.size() < kRandomLength + 2) return {};
    const std::string_view random = candidate.substr(candidate.size() - kRandomLength);
    if (candidate[candidate.size() - kRandomLength - 1] != '.' || !AllAlnum(random)) return {};
    return std::string(candidate.substr(0, candidate.size() - kRandomLength - 1));
}

bool IsPartialNameOf(std::string_view candidate, std::string_view name) {
    return !name.empty() && FinalNameOfPartial(candidate) == name;
}
