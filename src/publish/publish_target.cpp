#include "publish/publish_target.h"

#include <sys/random.h>

#include <QJsonArray>
#include <algorithm>
#include <cctype>
#include <cerrno>
#include <ctime>

#include "publish/publish_names.h"

namespace {

QString Q(const std::string& s) { return QString::fromStdString(s); }

std::pair<std::string, std::string> SplitFolder(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    if (slash == std::string::npos) return {std::string(), path};
    return {path.substr(0, slash + 1), path.substr(slash + 1)};
}

bool ReadNumber(const std::string& text, std::size_t& at, std::size_t digits, int& out) {
    if (at + digits > text.size()) return false;
    out = 0;
    for (std::size_t i = 0; i < digits; ++i) {
        const char c = text[at + i];
        if (c < '0' || c > '9') return false;
        out = out * 10 + (c - '0');
    }
    at += digits;
    return true;
}

bool Expect(const std::string& text, std::size_t& at, char c) {
    if (at >= text.size() || std::toupper(static_cast<unsigned char>(text[at])) != c) return false;
    ++at;
    return true;
}

}  // namespace

bool ParseRfc3339(const std::string& text, std::int64_t& ns) {
    std::size_t at = 0;
    std::tm tm{};
    int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
    if (!ReadNumber(text, at, 4, year) || !Expect(text, at, '-') ||
        !ReadNumber(text, at, 2, month) || !Expect(text, at, '-') ||
        !ReadNumber(text, at, 2, day) || !Expect(text, at, 'T') || !ReadNumber(text, at, 2, hour) ||
        !Expect(text, at, ':') || !ReadNumber(text, at, 2, minute) || !Expect(text, at, ':') ||
        !ReadNumber(text, at, 2, second)) {
        return false;
    }
    std::int64_t fraction = 0;
    if (at < text.size() && text[at] == '.') {
        ++at;
        int digits = 0;
        while (at < text.size() && std::isdigit(static_cast<unsigned char>(text[at]))) {
            if (digits < 9) {
                fraction = fraction * 10 + (text[at] - '0');
                ++digits;
            }
            ++at;
        }
        for (; digits < 9; ++digits) fraction *= 10;
    }
    int offset_s = 0;
    if (at < text.size() && (text[at] == 'Z' || text[at] == 'z')) {
        ++at;
    } else if (at < text.size() && (text[at] == '+' || text[at] == '-')) {
        const int sign = text[at++] == '-' ? -1 : 1;
        int oh = 0, om = 0;
        if (!ReadNumber(text, at, 2, oh) || !Expect(text, at, ':') || !ReadNumber(text, at, 2, om))
            return false;
        offset_s = sign * (oh * 3600 + om * 60);
    } else {
        return false;
    }
    if (at != text.size()) return false;
    tm.tm_year = year - 1900;
    tm.tm_mon = month - 1;
    tm.tm_mday = day;
    tm.tm_hour = hour;
    tm.tm_min = minute;
    tm.tm_sec = second;
    const std::time_t seconds = ::timegm(&tm) - offset_s;
    ns = static_cast<std::int64_t>(seconds) * 1'000'000'000 + fraction;
    return true;
}

std::string RandomPartialTag() {
    static constexpr char kAlphabet[] =
        "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
    unsigned char raw[6] = {};
    std::size_t got = 0;
    while (got < sizeof raw) {
        const ssize_t n = ::getrandom(raw + got, sizeof raw - got, 0);
        if (n < 0) {
            if (errno == EINTR) continue;
            break;
        }
        got += static_cast<std::size_t>(n);
    }
    std::string tag;
    for (unsigned char c : raw) tag += kAlphabet[c % (sizeof kAlphabet - 1)];
    return tag;
}

bool IsRemoteRefusal(const std::string& error) {
    // rclone words an HTTP answer as "<code> <reason>", whatever the backend.
    for (std::size_t at = 0; at + 5 <= error.size(); ++at) {
        const auto digit = [&](std::size_t i) { return error[i] >= '0' && error[i] <= '9'; };
        if ((error[at] == '4' || error[at] == '5') && digit(at + 1) && digit(at + 2) &&
            (at == 0 || !digit(at - 1)) && error[at + 3] == ' ' &&
            std::isupper(static_cast<unsigned char>(error[at + 4]))) {
            return true;
        }
    }
    std::string lower = error;
    for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    for (const char* words : {"read-only", "read only", "permission denied", "access denied",
                              "quota", "insufficient storage", "no space left"}) {
        if (lower.find(words) != std::string::npos) return true;
    }
    return false;
}

PublishTarget::Result PublishTarget::FromReply(const RcReply& reply) const {
    Result result;
    switch (reply.kind) {
        case RcReply::Kind::kOk:
            result.outcome = Outcome::kDone;
            break;
        case RcReply::Kind::kAborted:
            result.outcome = Outcome::kAborted;
            break;
        case RcReply::Kind::kError:
            result.outcome = reply.status == 404            ? Outcome::kNotFound
                             : IsRemoteRefusal(reply.error) ? Outcome::kRefused
                                                            : Outcome::kFailed;
            break;
        case RcReply::Kind::kNoAnswer:
            result.outcome = Outcome::kFailed;
            break;
    }
    result.error = reply.error;
    return result;
}

PublishTarget::Result PublishTarget::Connect(const AbortFn& abort) {
    const RcReply reply = daemon_.Call("operations/fsinfo", {{"fs", Q(remote_)}}, abort);
    Result result = FromReply(reply);
    if (!result.Done()) {
        // A remote that cannot even be made is an outage, not a missing file.
        if (result.outcome == Outcome::kNotFound) result.outcome = Outcome::kFailed;
        return result;
    }
    const QJsonObject features = reply.body.value("Features").toObject();
    moves_ = features.value("Move").toBool(false);
    const double precision = reply.body.value("Precision").toDouble(1e9);
    precision_ns_ = precision > 0 ? static_cast<std::int64_t>(std::min(precision, 9e18)) : 1;
    constexpr std::int64_t kHourNs = 3'600'000'000'000;
    exact_times_ = precision_ns_ < kHourNs && !features.value("SlowModTime").toBool(false);
    return result;
}

PublishTarget::Result PublishTarget::List(const std::string& folder,
                                          std::vector<RemoteEntry>& entries, const AbortFn& abort) {
    entries.clear();
    const RcReply reply = daemon_.Call(
        "operations/list",
        {{"fs", Q(remote_)}, {"remote", Q(folder)}, {"opt", QJsonObject{{"noMimeType", true}}}},
        abort);
    Result result = FromReply(reply);
    if (!result.Done()) return result;
    const QJsonArray list = reply.body.value("list").toArray();
    entries.reserve(static_cast<std::size_t>(list.size()));
    for (const QJsonValue& value : list) {
        const QJsonObject item = value.toObject();
        RemoteEntry entry;
        entry.name = item.value("Name").toString().toStdString();
        entry.size = static_cast<std::int64_t>(item.value("Size").toDouble(-1));
        entry.is_dir = item.value("IsDir").toBool(false);
        if (!ParseRfc3339(item.value("ModTime").toString().toStdString(), entry.mtime_ns))
            entry.mtime_ns = 0;
        if (!entry.name.empty()) entries.push_back(std::move(entry));
    }
    return result;
}

PublishTarget::Result PublishTarget::Upload(const std::string& local_folder,
                                            const std::string& local_name,
                                            const std::string& remote_path, const AbortFn& abort) {
    // ":local:" keeps a folder whose name has a colon from reading as a remote.
    const QString source = Q(":local:" + local_folder);
    if (!moves_) {
        return FromReply(daemon_.Call("operations/copyfile",
                                      {{"srcFs", source},
                                       {"srcRemote", Q(local_name)},
                                       {"dstFs", Q(remote_)},
                                       {"dstRemote", Q(remote_path)}},
                                      abort));
    }
    const auto [folder, name] = SplitFolder(remote_path);
    const std::string partial = folder + PartialName(name, RandomPartialTag());
    Result copied = FromReply(daemon_.Call("operations/copyfile",
                                           {{"srcFs", source},
                                            {"srcRemote", Q(local_name)},
                                            {"dstFs", Q(remote_)},
                                            {"dstRemote", Q(partial)}},
                                           abort));
    if (!copied.Done()) {
        copied.partial = partial;
        return copied;
    }
    Result moved = FromReply(daemon_.Call("operations/movefile",
                                          {{"srcFs", Q(remote_)},
                                           {"srcRemote", Q(partial)},
                                           {"dstFs", Q(remote_)},
                                           {"dstRemote", Q(remote_path)}},
                                          abort));
    // The partial file itself cannot be missing: a failure here is the remote's.
    if (moved.outcome == Outcome::kNotFound) moved.outcome = Outcome::kFailed;
    if (!moved.Done()) moved.partial = partial;
    return moved;
}

PublishTarget::Result PublishTarget::Delete(const std::string& remote_path, const AbortFn& abort) {
    Result result = FromReply(daemon_.Call(
        "operations/deletefile", {{"fs", Q(remote_)}, {"remote", Q(remote_path)}}, abort));
    if (result.outcome == Outcome::kNotFound) result.outcome = Outcome::kDone;
    return result;
}

PublishTarget::Result PublishTarget::RemoveEmptyFolder(const std::string& remote_path,
                                                       const AbortFn& abort) {
    return FromReply(
        daemon_.Call("operations/rmdir", {{"fs", Q(remote_)}, {"remote", Q(remote_path)}}, abort));
}
