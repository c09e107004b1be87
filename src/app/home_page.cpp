#include "app/home_page.h"

#include <QString>
#include <system_error>

QUrl HomePageUrlFor(const std::filesystem::path& executable_dir,
                    const std::filesystem::path& source_readme) {
    std::error_code ec;
    const std::filesystem::path installed =
        (executable_dir / ".." / "share" / "doc" / "quillomat" / "README.md").lexically_normal();
    std::filesystem::path chosen = installed;
    if (!std::filesystem::is_regular_file(installed, ec) && !source_readme.empty() &&
        std::filesystem::is_regular_file(source_readme, ec)) {
        chosen = source_readme;
    }
    return QUrl::fromLocalFile(QString::fromStdString(chosen.string()));
}

QUrl HomePageUrl() {
    std::error_code ec;
    const std::filesystem::path executable = std::filesystem::read_symlink("/proc/self/exe", ec);
    return HomePageUrlFor(ec ? std::filesystem::current_path(ec) : executable.parent_path(),
                          QUILLOMAT_SOURCE_README);
}
