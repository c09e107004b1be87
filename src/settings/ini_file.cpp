#include "settings/ini_file.h"

#include <fstream>
#include <iterator>

#include "platform/atomic_file.h"
#include "platform/cp932.h"

namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

std::string_view Trim(std::string_view s) {
    while (!s.empty() && IsBlank(s.front())) s.remove_prefix(1);
    while (!s.empty() && IsBlank(s.back())) s.remove_suffix(1);
    return s;
}

// Position of `wanted` in `s`, skipping second bytes of double-byte characters.
std::size_t FindSingleByte(std::string_view s, char wanted) {
    for (std::size_t i = 0; i < s.size(); ++i) {
        const auto byte = static_cast<unsigned char>(s[i]);
        if (IsCp932LeadByte(byte)) {
            ++i;
            continue;
        }
        if (s[i] == wanted) return i;
    }
    return std::string_view::npos;
}

enum class LineKind { kBlank, kComment, kSection, kKey };

struct ParsedLine {
    LineKind kind = LineKind::kBlank;
    std::string_view name;        // section or key name, trimmed
    std::size_t value_begin = 0;  // relative to the line start (keys only)
    std::size_t value_end = 0;
};

ParsedLine ParseLine(std::string_view line) {
    ParsedLine parsed;
    const std::string_view body = Trim(line);
    if (body.empty()) return parsed;
    if (body.front() == ';') {
        parsed.kind = LineKind::kComment;
        return parsed;
    }
    if (body.front() == '[') {
        parsed.kind = LineKind::kSection;
        std::string_view rest = body.substr(1);
        const std::size_t close = FindSingleByte(rest, ']');
        parsed.name = Trim(close == std::string_view::npos ? rest : rest.substr(0, close));
        return parsed;
    }
    parsed.kind = LineKind::kKey;
    const std::size_t eq = FindSingleByte(body, '=');
    const std::size_t body_offset = static_cast<std::size_t>(body.data() - line.data());
    if (eq == std::string_view::npos) {
        parsed.name = body;
        parsed.value_begin = parsed.value_end = body_offset + body.size();
        return parsed;
    }
    parsed.name = Trim(body.substr(0, eq));
    const std::string_view value = Trim(body.substr(eq + 1));
    if (value.empty()) {
        parsed.value_begin = parsed.value_end = body_offset + body.size();
    } else {
        parsed.value_begin = static_cast<std::size_t>(value.data() - line.data());
        parsed.value_end = parsed.value_begin + value.size();
    }
    return parsed;
}

char FoldAscii(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; }

}  // namespace

bool ProfileNamesEqual(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        const auto byte = static_cast<unsigned char>(a[i]);
        if (IsCp932LeadByte(byte) && i + 1 < a.size()) {
            if (a[i] != b[i] || a[i + 1] != b[i + 1]) return false;
            ++i;
            continue;
        }
        if (FoldAscii(a[i]) != FoldAscii(b[i])) return false;
    }
    return true;
}

IniFile::IniFile(std::string cp932_content) : content_(std::move(cp932_content)) { Reindex(); }

IniFile IniFile::Load(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return IniFile();
    std::string content((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    return IniFile(std::move(content));
}

void IniFile::Reindex() {
    lines_.clear();
    std::size_t pos = 0;
    const std::size_t size = content_.size();
    while (pos < size) {
        std::size_t end = pos;
        while (end < size && content_[end] != '\r' && content_[end] != '\n') ++end;
        std::size_t next = end;
        if (next < size && content_[next] == '\r') ++next;
        if (next < size && content_[next] == '\n' && (next == end || content_[end] == '\r')) ++next;
        lines_.push_back({pos, end, next});
        pos = next;
    }
}

std::optional<IniFile::SectionHit> IniFile::FindSection(std::string_view section) const {
    for (std::size_t i = 0; i < lines_.size(); ++i) {
        const std::string_view text(content_.data() + lines_[i].begin,
                                    lines_[i].end - lines_[i].begin);
        const ParsedLine parsed = ParseLine(text);
        if (parsed.kind != LineKind::kSection || !ProfileNamesEqual(parsed.name, section)) continue;
        SectionHit hit{i, i};
        const std::size_t end = SectionEnd(i);
        for (std::size_t k = i + 1; k < end; ++k) {
            const std::string_view line(content_.data() + lines_[k].begin,
                                        lines_[k].end - lines_[k].begin);
            if (ParseLine(line).kind == LineKind::kKey) hit.last_key_line = k;
        }
        return hit;
    }
    return std::nullopt;
}

std::size_t IniFile::SectionEnd(std::size_t header_line) const {
    for (std::size_t k = header_line + 1; k < lines_.size(); ++k) {
        const std::string_view line(content_.data() + lines_[k].begin,
                                    lines_[k].end - lines_[k].begin);
        if (ParseLine(line).kind == LineKind::kSection) return k;
    }
    return lines_.size();
}

std::optional<IniFile::KeyHit> IniFile::FindKey(const SectionHit& section,
                                                std::string_view key) const {
    const std::size_t end = SectionEnd(section.header_line);
    for (std::size_t k = section.header_line + 1; k < end; ++k) {
        const std::string_view line(content_.data() + lines_[k].begin,
                                    lines_[k].end - lines_[k].begin);
        const ParsedLine parsed = ParseLine(line);
        if (parsed.kind == LineKind::kKey && ProfileNamesEqual(parsed.name, key)) {
            return KeyHit{k, lines_[k].begin + parsed.value_begin,
                          lines_[k].begin + parsed.value_end};
        }
    }
    return std::nullopt;
}

std::optional<std::string> IniFile::GetString(std::string_view section,
                                              std::string_view key) const {
    const auto sec = FindSection(section);
    if (!sec) return std::nullopt;
    const auto hit = FindKey(*sec, key);
    if (!hit) return std::nullopt;
    std::string_view value(content_.data() + hit->value_begin, hit->value_end - hit->value_begin);
    if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
        value.back() == value.front()) {
        value = value.substr(1, value.size() - 2);
    }
    value = value.substr(0, Cp932PrefixLength(value, kValueBufferBytes - 1));
    return std::string(value);
}

std::int32_t IniFile::ParseLeadingInt(std::string_view value) {
    bool negative = false;
    std::size_t i = 0;
    if (i < value.size() && value[i] == '-') {
        negative = true;
        ++i;
    }
    // Accumulate modulo 2^32, as the 32-bit reader does on overflow.
    std::uint32_t result = 0;
    for (; i < value.size() && value[i] >= '0' && value[i] <= '9'; ++i) {
        result = result * 10u + static_cast<std::uint32_t>(value[i] - '0');
    }
    if (negative) result = 0u - result;
    return static_cast<std::int32_t>(result);
}

std::int32_t IniFile::GetInt(std::string_view section, std::string_view key,
                             std::int32_t default_value) const {
    const auto value = GetString(section, key);
    if (!value || value->empty()) return default_value;
    return ParseLeadingInt(*value);
}

void IniFile::SetString(std::string_view section, std::string_view key,
                        std::string_view cp932_value) {
    // A line break inside a value would split the key; callers escape them.
    std::string value(cp932_value);
    for (char& c : value) {
        if (c == '\r' || c == '\n') c = ' ';
    }
    const auto sec = FindSection(section);
    if (sec) {
        if (const auto hit = FindKey(*sec, key)) {
            const Line& line = lines_[hit->line_index];
            const ParsedLine parsed =
                ParseLine(std::string_view(content_.data() + line.begin, line.end - line.begin));
            std::string replacement(parsed.name);
            replacement += '=';
            replacement += value;
            content_.replace(line.begin, line.end - line.begin, replacement);
        } else {
            const Line& after = lines_[sec->last_key_line];
            std::size_t insert_at = after.next;
            if (after.next == after.end) {  // last line of the file, no line end
                content_.insert(after.end, "\r\n");
                insert_at = after.end + 2;
            }
            content_.insert(insert_at, std::string(key) + "=" + value + "\r\n");
        }
    } else {
        if (!content_.empty() && content_.back() != '\n' && content_.back() != '\r')
            content_ += "\r\n";
        content_ += "[" + std::string(section) + "]\r\n" + std::string(key) + "=" + value + "\r\n";
    }
    Reindex();
}

bool IniFile::Save(const std::filesystem::path& path) const {
    return WriteFileAtomically(path, content_);
}
