#include "publish/remote_secrets.h"

#include <algorithm>
#include <cctype>
#include <optional>

namespace {

struct ParsedParameter {
    RemoteParameter parameter;
    std::size_t value_begin = 0;  // the raw value text, quotes included
    std::size_t value_end = 0;
};

std::string Lower(std::string_view s) {
    std::string out(s);
    std::transform(out.begin(), out.end(), out.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return out;
}

// "[:]name[,key=value]...:path", values bare or in single or double quotes
// (a quote doubled inside stands for itself), as rclone reads it. Nothing for
// a configured remote without parameters or a local path.
std::optional<std::vector<ParsedParameter>> Parse(std::string_view s) {
    std::size_t i = s.starts_with(':') ? 1 : 0;
    const std::size_t name_end = s.find_first_of(",:", i);
    if (name_end == std::string_view::npos || s[name_end] != ',') return std::nullopt;
    if (s.substr(0, name_end).find_first_of("/\\") != std::string_view::npos) return std::nullopt;
    std::vector<ParsedParameter> parameters;
    i = name_end;
    while (i < s.size() && s[i] == ',') {
        ++i;
        const std::size_t key_end = s.find_first_of("=,:", i);
        if (key_end == std::string_view::npos) return std::nullopt;
        ParsedParameter p;
        p.parameter.key = std::string(s.substr(i, key_end - i));
        i = key_end;
        p.value_begin = p.value_end = i;
        if (s[i] == '=') {
            ++i;
            p.value_begin = i;
            if (i < s.size() && (s[i] == '\'' || s[i] == '"')) {
                const char quote = s[i++];
                for (;;) {
                    if (i >= s.size()) return std::nullopt;
                    if (s[i] == quote) {
                        if (i + 1 < s.size() && s[i + 1] == quote) {
                            p.parameter.value += quote;
                            i += 2;
                            continue;
                        }
                        ++i;
                        break;
                    }
                    p.parameter.value += s[i++];
                }
            } else {
                const std::size_t end = std::min(s.find_first_of(",:", i), s.size());
                p.parameter.value = std::string(s.substr(i, end - i));
                i = end;
            }
            p.value_end = i;
        }
        parameters.push_back(std::move(p));
    }
    if (i >= s.size() || s[i] != ':') return std::nullopt;
    return parameters;
}

void ReplaceAll(std::string& text, std::string_view what, std::string_view with) {
    if (what.empty()) return;
    for (std::size_t at = text.find(what); at != std::string::npos;
         at = text.find(what, at + with.size())) {
        text.replace(at, what.size(), with);
    }
}

// "scheme://user:password@" -> "scheme://user:***@".
std::string MaskUrlPasswords(std::string text) {
    for (std::size_t at = text.find("://"); at != std::string::npos;
         at = text.find("://", at + 3)) {
        const std::size_t start = at + 3;
        const std::size_t end = text.find_first_of("/@ \t\r\n\"'<>", start);
        if (end == std::string::npos || text[end] != '@') continue;
        const std::size_t colon = text.find(':', start);
        if (colon == std::string::npos || colon > end) continue;
        text.replace(colon + 1, end - colon - 1, kMask);
    }
    return text;
}

}  // namespace

std::vector<RemoteParameter> RemoteParameters(std::string_view remote) {
    std::vector<RemoteParameter> out;
    if (const auto parsed = Parse(remote)) {
        for (const ParsedParameter& p : *parsed) out.push_back(p.parameter);
    }
    return out;
}

bool IsSecretKey(std::string_view key) {
    const std::string k = Lower(key);
    static constexpr std::string_view kParts[] = {
        "pass", "secret", "key",     "token",   "auth",   "credential", "cookie",
        "sig",  "sas",    "private", "session", "bearer", "pem",        "cert",
    };
    return std::any_of(std::begin(kParts), std::end(kParts),
                       [&](std::string_view part) { return k.find(part) != std::string::npos; });
}

bool IsCredentialKey(std::string_view key) {
    const std::string k = Lower(key);
    for (std::string_view part : {"pass", "secret", "token", "private", "pem"}) {
        if (k.find(part) != std::string::npos) return true;
    }
    return k == "key" || k.ends_with("_key") || k.ends_with("sas_url");
}

std::vector<RemoteParameter> StoredCredentials(std::string_view remote) {
    std::vector<RemoteParameter> out;
    for (RemoteParameter& p : RemoteParameters(remote)) {
        if (IsCredentialKey(p.key) && !p.value.empty()) out.push_back(std::move(p));
    }
    return out;
}

std::string MaskRemote(std::string_view remote) {
    std::string out(remote);
    if (const auto parsed = Parse(remote)) {
        // Back to front, so that the earlier positions stay valid.
        for (auto it = parsed->rbegin(); it != parsed->rend(); ++it) {
            if (!IsSecretKey(it->parameter.key) || it->value_end == it->value_begin) continue;
            out.replace(it->value_begin, it->value_end - it->value_begin, kMask);
        }
    }
    return MaskUrlPasswords(std::move(out));
}

std::string MaskSecrets(std::string_view text, std::string_view remote) {
    std::string out(text);
    ReplaceAll(out, remote, MaskRemote(remote));
    if (const auto parsed = Parse(remote)) {
        std::vector<std::string> values;
        for (const ParsedParameter& p : *parsed) {
            if (!IsSecretKey(p.parameter.key)) continue;
            // Short values ("true", "1") would mask ordinary words.
            if (p.parameter.value.size() >= 4) values.push_back(p.parameter.value);
            const std::string raw(remote.substr(p.value_begin, p.value_end - p.value_begin));
            if (raw.size() >= 4) values.push_back(raw);
        }
        // Longest first, so that a value inside another is not half masked.
        std::sort(values.begin(), values.end(),
                  [](const std::string& a, const std::string& b) { return a.size() > b.size(); });
        for (const std::string& value : values) ReplaceAll(out, value, kMask);
    }
    return MaskUrlPasswords(std::move(out));
}

std::string UnmaskRemote(std::string_view edited, std::string_view original) {
    const auto parsed = Parse(edited);
    if (!parsed) return std::string(edited);
    const std::vector<RemoteParameter> before = RemoteParameters(original);
    std::string out(edited);
    for (auto it = parsed->rbegin(); it != parsed->rend(); ++it) {
        if (it->parameter.value != kMask) continue;
        const auto old = std::find_if(before.begin(), before.end(), [&](const RemoteParameter& p) {
            return p.key == it->parameter.key;
        });
        if (old == before.end()) continue;
        // Written back quoted as rclone reads it, so that any character fits.
        std::string quoted = "'";
        for (char c : old->value) quoted += c == '\'' ? std::string("''") : std::string(1, c);
        quoted += '\'';
        out.replace(it->value_begin, it->value_end - it->value_begin, quoted);
    }
    return out;
}
