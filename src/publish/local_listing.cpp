#include "publish/local_listing.h"

#include <sys/stat.h>

#include "publish/publish_names.h"

std::vector<LocalFile> LocalFolder(const DiaryLayout& layout, const std::string& folder) {
    std::vector<LocalFile> files;
    for (PublishedFile& file : ListPublishedFiles(layout, folder))
        files.push_back({std::move(file.name), {file.size, file.mtime_ns}});
    return files;
}

Stamp StampOf(const std::string& path) {
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return {};
    return {static_cast<std::int64_t>(st.st_size),
            static_cast<std::int64_t>(st.st_mtim.tv_sec) * 1'000'000'000 + st.st_mtim.tv_nsec};
}
