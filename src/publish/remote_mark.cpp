#include "publish/remote_mark.h"

#include <sys/random.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <system_error>

#include "platform/atomic_file.h"
#include "publish/publish_names.h"

namespace {

bool IsIdentity(const std::string& id) {
    return id.size() == 32 && id.find_first_not_of("0123456789abcdef") == std::string::npos;
}

}  // namespace

std::string DiaryIdentity(const std::string& file, std::string& why) {
    std::error_code ec;
    if (std::filesystem::exists(std::filesystem::symlink_status(file, ec))) {
        std::string id;
        if (FILE* in = std::fopen(file.c_str(), "rb")) {
            char buffer[64] = {};
            const std::size_t n = std::fread(buffer, 1, sizeof buffer - 1, in);
            std::fclose(in);
            id.assign(buffer, n);
        }
        while (!id.empty() && (id.back() == '\n' || id.back() == '\r')) id.pop_back();
        if (IsIdentity(id)) return id;
        why = file + ": not an identity";
        return {};
    }
    unsigned char raw[16] = {};
    if (::getrandom(raw, sizeof raw, 0) != static_cast<ssize_t>(sizeof raw)) {
        why = std::strerror(errno);
        return {};
    }
    static constexpr char kHex[] = "0123456789abcdef";
    std::string id;
    for (const unsigned char c : raw) {
        id += kHex[c >> 4];
        id += kHex[c & 15];
    }
    if (!WriteFileAtomically(file, id + "\n")) {
        why = file + ": " + std::strerror(errno);
        return {};
    }
    return id;
}

std::string MarkName(const std::string& identity) { return std::string(kMarkPrefix) + identity; }

MarkState ReadMark(const std::vector<RemoteEntry>& top, const std::string& identity,
                   std::string& another) {
    MarkState state = MarkState::kNone;
    for (const RemoteEntry& e : top) {
        if (e.is_dir || !e.name.starts_with(kMarkPrefix) || !FinalNameOfPartial(e.name).empty())
            continue;
        if (e.name != MarkName(identity)) {
            // Another diary's mark wins over ours: its pictures and pages
            // are not ours to replace or delete.
            another = e.name;
            return MarkState::kAnother;
        }
        state = MarkState::kOurs;
    }
    return state;
}
