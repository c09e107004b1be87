#pragma once

#include <cstdint>
#include <filesystem>
#include <list>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>

// An INI file with the semantics of the Windows private-profile functions:
// names match case-insensitively (single-byte letters only, CP932-aware),
// white space (space, tab, vertical tab) around names and values is trimmed,
// the first matching section and key win, only a line starting with ';' is a
// comment, a line without '=' is no key, and a write keeps every other line
// of the file byte for byte.
//
// The file is parsed once into lines with an index of sections and keys, so
// reading a key and writing one cost the length of that line, and a save the
// length of the file.
//
// The content is held as the file's CP932 bytes; conversion to UTF-8 is the
// caller's (see settings_io).
class IniFile {
public:
    static constexpr std::size_t kValueBufferBytes = 1024;

    IniFile() = default;
    explicit IniFile(std::string_view cp932_content);
    IniFile(const IniFile& other) : IniFile(other.Content()) {}
    IniFile& operator=(const IniFile& other);
    IniFile(IniFile&&) = default;
    IniFile& operator=(IniFile&&) = default;

    // A missing or unreadable file gives an empty document.
    static IniFile Load(const std::filesystem::path& path);

    // The raw value (CP932), with one pair of matching outer quotes removed and
    // cut to 1023 bytes without splitting a character; nullopt when absent.
    std::optional<std::string> GetString(std::string_view section, std::string_view key) const;

    // The leading decimal integer of the value (optional sign); the default
    // when the key is absent or its value empty.
    std::int32_t GetInt(std::string_view section, std::string_view key,
                        std::int32_t default_value) const;

    // Replaces the value of an existing key in place, or appends the key after
    // the last key line of its section, or appends the section at the end.
    // Every line written ends in CR LF.
    void SetString(std::string_view section, std::string_view key, std::string_view cp932_value);

    // The document as it goes to disk.
    // Removes every line of `key` in the first `section` of its name.
    void RemoveKey(std::string_view section, std::string_view key);

    std::string Content() const;

    // Writes the content atomically; false on failure (the old file stays).
    bool Save(const std::filesystem::path& path) const;

    // Parses the leading integer of a value the way the profile reader does.
    static std::int32_t ParseLeadingInt(std::string_view value);

private:
    struct Line {
        std::string text;  // without its line end
        std::string end;   // "\r\n", "\n", "\r", or empty on a last line without one
    };
    using LineList = std::list<Line>;
    struct Section {
        LineList::iterator header;
        LineList::iterator last_key;  // the header while the section has no key
        std::unordered_map<std::string, LineList::iterator> keys;  // first line of each name
    };

    void Reindex();
    void SetPlainString(std::string_view section, std::string_view key, const std::string& value);
    // Takes the index over for a line just replaced or inserted into
    // `section`, expected to be the key `folded_key`; anything else (a value
    // that changed how the line reads) is left to a full Reindex.
    void IndexKeyLine(Section& section, LineList::iterator line, const std::string& folded_key);

    LineList lines_;
    std::unordered_map<std::string, Section> sections_;  // by folded name, first of each
};

// Case-insensitive comparison of CP932 names: ASCII letters fold, second bytes
// of double-byte characters never do.
bool ProfileNamesEqual(std::string_view a, std::string_view b);
