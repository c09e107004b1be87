// IniFile on arbitrary content: parse, read, write, read back.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstdlib>
#include <string>

#include "settings/ini_file.h"

namespace {

// A name the file format can hold unambiguously: printable ASCII, no blanks
// at either end, nothing that makes the line a comment, a section or a value.
bool PlainName(const std::string& s, bool is_key) {
    if (s.empty() || s.front() == ' ' || s.back() == ' ') return false;
    if (is_key && (s.front() == ';' || s.front() == '[')) return false;
    for (char c : s) {
        if (c < 0x20 || c > 0x7E || c == '=' || c == ']') return false;
    }
    return true;
}

bool PlainValue(const std::string& s) {
    if (s.size() >= IniFile::kValueBufferBytes) return false;
    if (!s.empty() && (s.front() == ' ' || s.back() == ' ')) return false;
    if (s.size() >= 2 && (s.front() == '"' || s.front() == '\'') && s.back() == s.front())
        return false;
    for (char c : s) {
        if (c < 0x20 || c > 0x7E) return false;
    }
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzedDataProvider input(data, size);
    const std::string section = input.ConsumeRandomLengthString(64);
    const std::string key = input.ConsumeRandomLengthString(64);
    const std::string value = input.ConsumeRandomLengthString(2048);
    IniFile ini(input.ConsumeRemainingBytesAsString());

    const auto before = ini.GetString(section, key);
    const std::int32_t number = ini.GetInt(section, key, 7);
    if (!before || before->empty()) {
        if (number != 7) std::abort();
    } else if (number != IniFile::ParseLeadingInt(*before)) {
        std::abort();
    }
    if (before && before->size() >= IniFile::kValueBufferBytes) std::abort();

    ini.SetString(section, key, value);
    const auto after = ini.GetString(section, key);
    if (PlainName(section, false) && PlainName(key, true) && PlainValue(value)) {
        if (!after || *after != value) std::abort();
    }
    // The written document parses again to the same answer.
    const IniFile reread(ini.Content());
    if (reread.GetString(section, key) != after) std::abort();
    return 0;
}
