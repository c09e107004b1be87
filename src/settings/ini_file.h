#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// An INI file with the semantics of the Windows private-profile functions:
// names match case-insensitively (single-byte letters only, CP932-aware),
// white space around names and values is trimmed, the first matching section
// and key win, only a line starting with ';' is a comment, and a write keeps
// every other line of the file byte for byte.
//
// The content is held as the file's CP932 bytes; conversion to UTF-8 is the
// caller's (see settings_io).
class IniFile {
public:
    static constexpr std::size_t kValueBufferBytes = 1024;

    IniFile() = default;
    explicit IniFile(std::string cp932_content);

    // A missing or unreadable file gives an empty document.
    static IniFile Load(const std::filesystem::path& path);

    // The raw value (CP932), with one pair of matching outer quotes removed and
    // cut to 1023 bytes without splitting a character; nullopt when absent.
    std::optional<std::string> GetString(std::string_view section, std::string_view key) const;

    // The leading decimal integer of the value (optional minus sign); the
    // default when the key is absent or its value empty.
    std::int32_t GetInt(std::string_view section, std::string_view key,
                        std::int32_t default_value) const;

    // Replaces the value of an existing key in place, or appends the key after
    // the last key line of its section, or appends the section at the end.
    void SetString(std::string_view section, std::string_view key, std::string_view cp932_value);

    const std::string& Content() const { return content_; }

    // Writes the content atomically; false on failure (the old file stays).
    bool Save(const std::filesystem::path& path) const;

    // Parses the leading integer of a value the way the profile reader does.
    static std::int32_t ParseLeadingInt(std::string_view value);

private:
    struct Line {
        std::size_t begin;  // offset of the first byte of the line
        std::size_t end;    // offset just past its last byte (before the line end)
        std::size_t next;   // offset of the next line
    };
    struct KeyHit {
        std::size_t line_index;
        std::size_t value_begin;
        std::size_t value_end;
    };
    struct SectionHit {
        std::size_t header_line;
        std::size_t last_key_line;  // header_line when the section has no key
    };

    void Reindex();
    std::optional<SectionHit> FindSection(std::string_view section) const;
    std::optional<KeyHit> FindKey(const SectionHit& section, std::string_view key) const;
    std::size_t SectionEnd(std::size_t header_line) const;

    std::string content_;
    std::vector<Line> lines_;
};

// Case-insensitive comparison of CP932 names: ASCII letters fold, second bytes
// of double-byte characters never do.
bool ProfileNamesEqual(std::string_view a, std::string_view b);
