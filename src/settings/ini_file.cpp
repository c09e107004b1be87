#include "settings/ini_file.h"

#include <fstream>
#include <iterator>
#include <sstream>

#include "platform/atomic_file.h"
#include "platform/cp932.h"

namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\v'; }

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

// kOther: blank lines, and text that is neither a section nor a key.
enum class LineKind { kOther, kComment, kSection, kKey };

struct ParsedLine {
    LineKind kind = LineKind::kOther;
    std::string_view name;   // section or key name, trimmed
    std::string_view value;  // keys only, trimmed
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
    const std::size_t eq = FindSingleByte(body, '=');
    if (eq == std::string_view::npos) return parsed;
    parsed.kind = LineKind::kKey;
    parsed.name = Trim(body.substr(0, eq));
    parsed.value = Trim(body.substr(eq + 1));
    return parsed;
}

char FoldAscii(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; }

// Two names are ProfileNamesEqual exactly when their folded forms are equal.
std::string FoldName(std::string_view name) {
    std::string folded(name);
    for (std::size_t i = 0; i < folded.size(); ++i) {
        if (IsCp932LeadByte(static_cast<unsigned char>(folded[i])) && i + 1 < folded.size()) {
            ++i;
            continue;
        }
        folded[i] = FoldAscii(folded[i]);
    }
    return folded;
}

}  // namespace

bool ProfileNamesEqual(std::string_view a, std::string_view b) {
    return a.size() == b.size() && FoldName(a) == FoldName(b);
}

IniFile::IniFile(std::string_view content) {
    std::size_t pos = 0;
    const std::size_t size = content.size();
    while (pos < size) {
        std::size_t end = pos;
        while (end < size && content[end] != '\r' && content[end] != '\n') ++end;
        std::size_t next = end;
        if (next < size && content[next] == '\r') ++next;
        if (next < size && content[next] == '\n' && (next == end || content[end] == '\r')) ++next;
        lines_.push_back({std::string(content.substr(pos, end - pos)),
                          std::string(content.substr(end, next - end))});
        pos = next;
    }
    Reindex();
}

IniFile& IniFile::operator=(const IniFile& other) {
    if (this != &other) *this = IniFile(other.Content());
    return *this;
}

IniFile IniFile::Load(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return IniFile();
    std::ostringstream content;
    content << in.rdbuf();
    return IniFile(content.view());
}

void IniFile::Reindex() {
    sections_.clear();
    Section* current = nullptr;
    for (auto it = lines_.begin(); it != lines_.end(); ++it) {
        const ParsedLine parsed = ParseLine(it->text);
        if (parsed.kind == LineKind::kSection) {
            // Only the first section of a name is ever searched.
            const auto [entry, inserted] = sections_.try_emplace(FoldName(parsed.name));
            current = inserted ? &entry->second : nullptr;
            if (current != nullptr) current->header = current->last_key = it;
        } else if (parsed.kind == LineKind::kKey && current != nullptr) {
            current->keys.try_emplace(FoldName(parsed.name), it);
            current->last_key = it;
        }
    }
}

void IniFile::IndexKeyLine(Section& section, LineList::iterator line,
                           const std::string& folded_key) {
    const ParsedLine parsed = ParseLine(line->text);
    if (parsed.kind != LineKind::kKey || FoldName(parsed.name) != folded_key) {
        Reindex();
        return;
    }
    section.keys.try_emplace(folded_key, line);
}

std::optional<std::string> IniFile::GetString(std::string_view section,
                                              std::string_view key) const {
    const auto sec = sections_.find(FoldName(section));
    if (sec == sections_.end()) return std::nullopt;
    const auto hit = sec->second.keys.find(FoldName(key));
    if (hit == sec->second.keys.end()) return std::nullopt;
    std::string_view value = ParseLine(hit->second->text).value;
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
    if (i < value.size() && (value[i] == '-' || value[i] == '+')) {
        negative = value[i] == '-';
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
    // Names with line breaks (never ours) become several lines: such a write
    // is read back from the text, as a reader of the file will see it.
    if (section.find_first_of("\r\n") != std::string_view::npos ||
        key.find_first_of("\r\n") != std::string_view::npos) {
        SetPlainString(section, key, value);
        *this = IniFile(Content());
        return;
    }
    SetPlainString(section, key, value);
}

void IniFile::RemoveKey(std::string_view section, std::string_view key) {
    for (;;) {
        const auto sec = sections_.find(FoldName(section));
        if (sec == sections_.end()) return;
        const auto line = sec->second.keys.find(FoldName(key));
        if (line == sec->second.keys.end()) return;
        lines_.erase(line->second);
        Reindex();
    }
}

void IniFile::SetPlainString(std::string_view section, std::string_view key,
                             const std::string& value) {
    const std::string folded_key = FoldName(key);
    auto sec = sections_.find(FoldName(section));
    if (sec == sections_.end()) {
        if (!lines_.empty() && lines_.back().end.empty()) lines_.back().end = "\r\n";
        const auto header = lines_.insert(lines_.end(), {"[" + std::string(section) + "]", "\r\n"});
        const ParsedLine parsed = ParseLine(header->text);
        const std::string folded_section = FoldName(section);
        if (parsed.kind != LineKind::kSection || FoldName(parsed.name) != folded_section) {
            lines_.push_back({std::string(key) + "=" + value, "\r\n"});
            Reindex();
            return;
        }
        sec = sections_.try_emplace(folded_section, Section{header, header, {}}).first;
    }
    Section& target = sec->second;
    const auto hit = target.keys.find(folded_key);
    if (hit != target.keys.end()) {
        Line& line = *hit->second;
        line.text = std::string(ParseLine(line.text).name) + "=" + value;
        if (line.end.empty()) line.end = "\r\n";
        const ParsedLine parsed = ParseLine(line.text);
        if (parsed.kind != LineKind::kKey || FoldName(parsed.name) != folded_key) Reindex();
        return;
    }
    Line& after = *target.last_key;
    if (after.end.empty()) after.end = "\r\n";
    const auto line =
        lines_.insert(std::next(target.last_key), {std::string(key) + "=" + value, "\r\n"});
    target.last_key = line;
    IndexKeyLine(target, line, folded_key);
}

std::string IniFile::Content() const {
    std::size_t size = 0;
    for (const Line& line : lines_) size += line.text.size() + line.end.size();
    std::string content;
    content.reserve(size);
    for (const Line& line : lines_) {
        content += line.text;
        content += line.end;
    }
    return content;
}

bool IniFile::Save(const std::filesystem::path& path) const {
    return WriteFileAtomically(path, Content());
}
