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

// "user:password@host" -> "user:***@host", with a scheme or without (rclone
// may echo a URL it took apart: "http/./u:password@host").
std::string MaskUrlPasswords(std::string text) {
    constexpr std::string_view kStops = "/@ \t\r\n\"'<>:,";
    for (std::size_t at = text.find('@'); at != std::string::npos; at = text.find('@', at + 1)) {
        std::size_t colon = at;
        while (colon > 0 && kStops.find(text[colon - 1]) == std::string_view::npos) --colon;
        if (colon == 0 || text[colon - 1] != ':' || colon == at) continue;
        const std::size_t password = colon;
        --colon;
        std::size_t user = colon;
        while (user > 0 && kStops.find(text[user - 1]) == std::string_view::npos) --user;
        if (user == colon) continue;
        if (text.compare(password, at - password, kMask) == 0) continue;
        text.replace(password, at - password, kMask);
        at = password + kMask.size();
    }
    return text;
}

bool KeyChar(char c) {
    return std::isalnum(static_cast<unsigned char>(c)) || c == '_' || c == '-' || c == '.';
}

// The end of a value that starts at `at`: its closing quote when quoted,
// else the first character that ends a word, a parameter or a query item.
std::size_t ValueEnd(const std::string& text, std::size_t at, std::size_t& begin) {
    begin = at;
    if (at < text.size() && (text[at] == '\'' || text[at] == '"')) {
        const std::size_t close = text.find(text[at], at + 1);
        begin = at + 1;
        return close == std::string::npos ? text.size() : close;
    }
    const std::size_t end = text.find_first_of(",&;: \t\r\n'\"<>(){}[]\\", at);
    return end == std::string::npos ? text.size() : end;
}

// Every secret form whatever the remote: "key=value" and "key: value" (also
// quoted, as JSON has it) for a secret-like key, and the word after
// "Bearer" or "Basic".
std::string MaskSecretForms(std::string text) {
    std::string lower = Lower(text);
    for (std::size_t at = 0; at < text.size(); ++at) {
        std::size_t value_at = std::string::npos;
        const char c = text[at];
        if ((c == '=' || c == ':') && at > 0) {
            // The key before it (a JSON key in its quotes too).
            std::size_t key_end = at;
            while (key_end > 0 && text[key_end - 1] == ' ') --key_end;
            if (key_end > 0 && text[key_end - 1] == '"') --key_end;
            std::size_t key_begin = key_end;
            while (key_begin > 0 && KeyChar(text[key_begin - 1])) --key_begin;
            const std::string_view key(text.data() + key_begin, key_end - key_begin);
            // "http://": a scheme, not a key; a URL's own password goes below.
            const bool scheme = c == ':' && text.compare(at, 3, "://") == 0;
            if (!key.empty() && !scheme && IsSecretKey(key)) {
                value_at = at + 1;
                while (value_at < text.size() && text[value_at] == ' ') ++value_at;
                // "Authorization: Bearer xyz": the credential is the word after.
                for (const std::string_view scheme_word : {"bearer ", "basic "}) {
                    if (lower.compare(value_at, scheme_word.size(), scheme_word) == 0)
                        value_at += scheme_word.size();
                }
            }
        } else if ((lower.compare(at, 7, "bearer ") == 0 || lower.compare(at, 6, "basic ") == 0) &&
                   (at == 0 || !KeyChar(text[at - 1]))) {
            value_at = text.find(' ', at) + 1;
        }
        if (value_at == std::string::npos || value_at >= text.size()) continue;
        std::size_t begin = 0;
        const std::size_t end = ValueEnd(text, value_at, begin);
        if (end <= begin || text.compare(begin, end - begin, kMask) == 0) continue;
        text.replace(begin, end - begin, kMask);
        lower = Lower(text);
        at = begin + kMask.size() - 1;
    }
    return text;
}

// A remote's secret values however it is written: also an unquoted value
// that runs into the next parameter or the path, which the careful reading
// above gives up on.
std::vector<std::string> LooseSecretValues(std::string_view remote) {
    std::vector<std::string> values;
    std::size_t at = 0;
    while (at < remote.size()) {
        const std::size_t end = std::min(remote.find(',', at), remote.size());
        const std::string_view part = remote.substr(at, end - at);
        const std::size_t eq = part.find('=');
        if (eq != std::string_view::npos && IsSecretKey(part.substr(0, eq))) {
            std::string value(part.substr(eq + 1));
            for (char quote : {'\'', '"'}) {
                if (value.size() >= 2 && value.front() == quote) value = value.substr(1);
                if (!value.empty() && value.back() == quote) value.pop_back();
            }
            values.push_back(value);
            // The path after the last parameter is not part of it.
            if (const std::size_t colon = value.find(':'); colon != std::string::npos)
                values.push_back(value.substr(0, colon));
        }
        at = end + 1;
    }
    return values;
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
    std::vector<std::string> values = LooseSecretValues(remote);
    if (const auto parsed = Parse(remote)) {
        for (const ParsedParameter& p : *parsed) {
            if (!IsSecretKey(p.parameter.key)) continue;
            values.push_back(p.parameter.value);
            values.emplace_back(remote.substr(p.value_begin, p.value_end - p.value_begin));
        }
    }
    // Short values ("true", "1") would mask ordinary words.
    std::erase_if(values, [](const std::string& v) { return v.size() < 4; });
    // Longest first, so that a value inside another is not half masked.
    std::sort(values.begin(), values.end(),
              [](const std::string& a, const std::string& b) { return a.size() > b.size(); });
    for (const std::string& value : values) ReplaceAll(out, value, kMask);
    // What the remote says of itself too (a URL it was redirected to, a
    // token in a query string).
    return MaskUrlPasswords(MaskSecretForms(std::move(out)));
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
