#include "settings/settings_io.h"

#include <array>
#include <charconv>
#include <cstdint>
#include <initializer_list>
#include <mutex>
#include <optional>
#include <string_view>
#include <variant>

#include "platform/cp932.h"
#include "settings/app_directory.h"
#include "settings/ini_file.h"
#include "settings/settings_section.h"

namespace {

enum class IniFileId { kDevice, kSetup };

struct Multiline {
    std::string DiarySettings::*member;
};
struct Colour {
    std::uint32_t DiarySettings::*member;
};
struct FrameTime {
    std::int64_t DiarySettings::*member;
};

using Field = std::variant<std::int32_t DiarySettings::*, bool DiarySettings::*,
                           std::string DiarySettings::*, Multiline, Colour, FrameTime>;

struct KeyDef {
    IniFileId file;
    const char* section;
    const char* key;
    Field field;
};

#define DEVICE_KEY(name, field) \
    { IniFileId::kDevice, "DEVICE", #name, field }
#define SETUP_KEY(section, name, field) \
    { IniFileId::kSetup, section, #name, field }
#define F(name) &DiarySettings::name

// Load order; SaveOrder() below differs only in the HTML section.
constexpr KeyDef kKeys[] = {
    DEVICE_KEY(SELECT, F(SELECT)),
    DEVICE_KEY(WIDTH, F(WIDTH)),
    DEVICE_KEY(HEIGHT, F(HEIGHT)),
    DEVICE_KEY(FRAMERATE, FrameTime{F(FRAMERATE)}),
    SETUP_KEY("APPLICATION", LOGFILE, F(LOGFILE)),
    SETUP_KEY("APPLICATION", CLOSECANCEL, F(CLOSECANCEL)),
    SETUP_KEY("APPLICATION", JPEG_QUALITY, F(JPEG_QUALITY)),
    SETUP_KEY("APPLICATION", STARTUP_TIMER, F(STARTUP_TIMER)),
    SETUP_KEY("APPLICATION", STARTUP_DIALOG, F(STARTUP_DIALOG)),
    SETUP_KEY("DIARY", ONAIR, F(ONAIR)),
    SETUP_KEY("DIARY", SAVE_DIRECTORY, F(SAVE_DIRECTORY)),
    SETUP_KEY("DIARY", INTERVAL_HOUR, F(INTERVAL_HOUR)),
    SETUP_KEY("DIARY", INTERVAL_MINUTE, F(INTERVAL_MINUTE)),
    SETUP_KEY("DIARY", INTERVAL_SECOND, F(INTERVAL_SECOND)),
    SETUP_KEY("DIARY", MOTION_DETECT, F(MOTION_DETECT)),
    SETUP_KEY("DIARY", MOTION_DETECT_LEVEL, F(MOTION_DETECT_LEVEL)),
    SETUP_KEY("DIARY", MOTION_DETECT_UPDATE, F(MOTION_DETECT_UPDATE)),
    SETUP_KEY("DIARY", MOTION_DETECT_INTERVAL, F(MOTION_DETECT_INTERVAL)),
    SETUP_KEY("HTML", PREVIEW_CREATE, F(PREVIEW_CREATE)),
    SETUP_KEY("HTML", PREVIEW_HTML, F(PREVIEW_HTML)),
    SETUP_KEY("HTML", PREVIEW_IMAGE_SIZE, F(PREVIEW_IMAGE_SIZE)),
    SETUP_KEY("HTML", PREVIEW_AUTO_REFLESH, F(PREVIEW_AUTO_REFLESH)),
    SETUP_KEY("HTML", PREVIEW_AUTO_REFLESH_SECOND, F(PREVIEW_AUTO_REFLESH_SECOND)),
    SETUP_KEY("HTML", PREVIEW_SORT, F(PREVIEW_SORT)),
    SETUP_KEY("HTML", INDEX_CREATE, F(INDEX_CREATE)),
    SETUP_KEY("HTML", INDEX_HTML, F(INDEX_HTML)),
    SETUP_KEY("HTML", INDEX_PREVIEW, F(INDEX_PREVIEW)),
    SETUP_KEY("HTML", INDEX_IMAGE_SIZE, F(INDEX_IMAGE_SIZE)),
    SETUP_KEY("HTML", INDEX_IMAGE_MAX, F(INDEX_IMAGE_MAX)),
    SETUP_KEY("HTML", INDEX_AUTO_REFLESH, F(INDEX_AUTO_REFLESH)),
    SETUP_KEY("HTML", INDEX_AUTO_REFLESH_SECOND, F(INDEX_AUTO_REFLESH_SECOND)),
    SETUP_KEY("HTML", INDEX_CALENDAR, F(INDEX_CALENDAR)),
    SETUP_KEY("HTML", INDEX_CALENDAR_SORT, F(INDEX_CALENDAR_SORT)),
    SETUP_KEY("HTML", INDEX_CALENDAR_MAX, F(INDEX_CALENDAR_MAX)),
    SETUP_KEY("HTML", INDEX_CALENDAR_ROW, F(INDEX_CALENDAR_ROW)),
    SETUP_KEY("HTML", INDEX_CALENDAR_FONT_SIZE, F(INDEX_CALENDAR_FONT_SIZE)),
    SETUP_KEY("HTML", INDEX_HTML_TITLE, F(INDEX_HTML_TITLE)),
    SETUP_KEY("HTML", TOP_CODE, Multiline{F(TOP_CODE)}),
    SETUP_KEY("HTML", BOTTOM_CODE, Multiline{F(BOTTOM_CODE)}),
    SETUP_KEY("TIMETEXT", SHOW_TEXT, F(SHOW_TEXT)),
    SETUP_KEY("TIMETEXT", TEXT_XPOS, F(TEXT_XPOS)),
    SETUP_KEY("TIMETEXT", TEXT_YPOS, F(TEXT_YPOS)),
    SETUP_KEY("TIMETEXT", TIME_FORMAT, F(TIME_FORMAT)),
    SETUP_KEY("TIMETEXT", FONT_NAME, F(FONT_NAME)),
    SETUP_KEY("TIMETEXT", FONT_SIZE, F(FONT_SIZE)),
    SETUP_KEY("TIMETEXT", FONT_BOLD, F(FONT_BOLD)),
    SETUP_KEY("TIMETEXT", FONT_ITALIC, F(FONT_ITALIC)),
    SETUP_KEY("TIMETEXT", SHOW_SHADOW, F(SHOW_SHADOW)),
    SETUP_KEY("TIMETEXT", SHADOW_XPOS, F(SHADOW_XPOS)),
    SETUP_KEY("TIMETEXT", SHADOW_YPOS, F(SHADOW_YPOS)),
    SETUP_KEY("TIMETEXT", TEXT_COLOR, Colour{F(TEXT_COLOR)}),
    SETUP_KEY("TIMETEXT", SHADOW_COLOR, Colour{F(SHADOW_COLOR)}),
};

#undef DEVICE_KEY
#undef SETUP_KEY
#undef F

// The save order: the table order, except that each page's file name
// precedes its create flag.
std::array<const KeyDef*, std::size(kKeys)> SaveOrder() {
    std::array<const KeyDef*, std::size(kKeys)> order{};
    for (std::size_t i = 0; i < std::size(kKeys); ++i) order[i] = &kKeys[i];
    for (std::size_t i = 0; i + 1 < order.size(); ++i) {
        const std::string_view key = order[i]->key;
        if (key == "PREVIEW_CREATE" || key == "INDEX_CREATE") {
            std::swap(order[i], order[i + 1]);
            ++i;
        }
    }
    return order;
}

template <class... Ts>
struct Overloaded : Ts... {
    using Ts::operator()...;
};
// clang 14 lacks aggregate deduction.
template <class... Ts>
Overloaded(Ts...) -> Overloaded<Ts...>;

// A value of a UTF-8 file cut at the reader's 1023 bytes may end in part of
// a character: that part is dropped.
std::string Utf8Value(std::string_view raw) {
    for (std::size_t cut = 0; cut <= 3 && cut < raw.size(); ++cut) {
        const std::string_view kept = raw.substr(0, raw.size() - cut);
        if (IsValidUtf8(kept)) return std::string(kept);
    }
    return Cp932ToUtf8(raw);
}

// The text of a raw value in a file whose text is `kind`.
std::string DecodeValue(std::string_view raw, SettingsFileText kind) {
    switch (kind) {
        case SettingsFileText::kCp932:
            break;
        case SettingsFileText::kUtf8:
            return Utf8Value(raw);
        case SettingsFileText::kMixed:
            if (!IsValidCp932(raw) && IsValidUtf8(raw)) return std::string(raw);
            break;
    }
    return Cp932ToUtf8(raw);
}

SettingsFileText TextOf(const IniFile& ini) { return ClassifySettingsText(ini.Content()); }

// A line of a file that is not CP932 throughout, in CP932 when it is UTF-8
// that CP932 holds without loss; otherwise as it stands.
std::string TranscodeLine(std::string_view line, SettingsFileText kind) {
    const bool utf8 = kind == SettingsFileText::kUtf8 ? IsValidUtf8(line)
                                                      : !IsValidCp932(line) && IsValidUtf8(line);
    if (!utf8) return std::string(line);
    std::string cp932 = Utf8ToCp932(line);
    return Cp932ToUtf8(cp932) == line ? cp932 : std::string(line);
}

IniFile TranscodedToCp932(const IniFile& ini, SettingsFileText kind) {
    if (kind == SettingsFileText::kCp932) return ini;
    const std::string content = ini.Content();
    std::string out;
    out.reserve(content.size());
    std::size_t pos = 0;
    while (pos < content.size()) {
        std::size_t end = content.find_first_of("\r\n", pos);
        if (end == std::string::npos) end = content.size();
        out += TranscodeLine(std::string_view(content).substr(pos, end - pos), kind);
        std::size_t next = end;
        if (next < content.size() && content[next] == '\r') ++next;
        if (next < content.size() && content[next] == '\n') ++next;
        out.append(content, end, next - end);
        pos = next;
    }
    return IniFile(out);
}

void LoadKey(const KeyDef& def, const IniFile& ini, SettingsFileText kind, DiarySettings& s,
             const DiarySettings& defaults) {
    std::visit(Overloaded{
                   [&](std::int32_t DiarySettings::*m) {
                       s.*m = ini.GetInt(def.section, def.key, defaults.*m);
                   },
                   [&](bool DiarySettings::*m) {
                       const auto value = ini.GetString(def.section, def.key);
                       s.*m = value ? *value == "on" : defaults.*m;
                   },
                   [&](std::string DiarySettings::*m) {
                       const auto value = ini.GetString(def.section, def.key);
                       s.*m = value ? DecodeValue(*value, kind) : defaults.*m;
                   },
                   [&](Multiline f) {
                       const auto value = ini.GetString(def.section, def.key);
                       s.*f.member = value ? UnescapeMultiline(DecodeValue(*value, kind))
                                           : defaults.*f.member;
                   },
                   [&](Colour f) {
                       s.*f.member = static_cast<std::uint32_t>(ini.GetInt(
                           def.section, def.key, static_cast<std::int32_t>(defaults.*f.member)));
                   },
                   [&](FrameTime f) {
                       // Only the low 32 bits are stored; the high half reads as 0.
                       s.*f.member = static_cast<std::uint32_t>(ini.GetInt(
                           def.section, def.key, static_cast<std::int32_t>(defaults.*f.member)));
                   },
               },
               def.field);
}

std::string SavedValue(const KeyDef& def, const DiarySettings& s) {
    return std::visit(
        Overloaded{
            [&](std::int32_t DiarySettings::*m) { return std::to_string(s.*m); },
            [&](bool DiarySettings::*m) { return std::string(s.*m ? "on" : "off"); },
            [&](std::string DiarySettings::*m) { return Utf8ToCp932(s.*m); },
            [&](Multiline f) { return Utf8ToCp932(EscapeMultiline(s.*f.member)); },
            [&](Colour f) { return std::to_string(static_cast<std::int32_t>(s.*f.member)); },
            [&](FrameTime f) {
                return std::to_string(
                    static_cast<std::int32_t>(static_cast<std::uint32_t>(s.*f.member)));
            },
        },
        def.field);
}

// A whole number, nothing else; false for anything else. Beyond the 32-bit
// range it is clamped to it.
bool ParseWholeNumber(std::string_view text, std::int64_t& value) {
    const bool negative = !text.empty() && text.front() == '-';
    if (!text.empty() && (text.front() == '-' || text.front() == '+')) text.remove_prefix(1);
    if (text.empty() || text.front() < '0' || text.front() > '9') return false;
    std::uint64_t magnitude = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), magnitude);
    if (end != text.data() + text.size()) return false;
    constexpr std::uint64_t kBeyond = std::uint64_t{1} << 40;
    if (error == std::errc::result_out_of_range || magnitude > kBeyond) magnitude = kBeyond;
    value = negative ? -static_cast<std::int64_t>(magnitude) : static_cast<std::int64_t>(magnitude);
    return true;
}

// The capture core's own added section.
class CaptureSection final : public SettingsSection {
public:
    const char* Name() const override { return "CAPTURE"; }
    void VisitKeys(DiarySettings& settings, SectionKeyVisitor& visitor) const override {
        visitor.Whole("SETTLE_MAX_MS", settings.SETTLE_MAX_MS, DiarySettings{}.SETTLE_MAX_MS, 0,
                      60000);
    }
};

std::mutex g_sections_mutex;
std::vector<const SettingsSection*> g_sections;

// The jobs' sections in the order they came, then the capture core's.
std::vector<const SettingsSection*> AddedSections() {
    static const CaptureSection capture;
    std::vector<const SettingsSection*> sections;
    {
        std::lock_guard lock(g_sections_mutex);
        sections = g_sections;
    }
    sections.push_back(&capture);
    return sections;
}

// Reads an added section: what cannot be used as it stands is replaced by
// the default or the nearest bound and remarked on.
class SectionLoader final : public SectionKeyVisitor {
public:
    SectionLoader(const char* section, const IniFile& ini, SettingsFileText kind,
                  std::vector<std::string>* remarks)
        : section_(section), ini_(ini), kind_(kind), remarks_(remarks) {}

    void Whole(const char* key, std::int32_t& value, std::int32_t fallback, std::int32_t min,
               std::int32_t max) override {
        value = fallback;
        const auto stored = ini_.GetString(section_, key);
        if (!stored) return;
        std::int64_t number = 0;
        if (!ParseWholeNumber(*stored, number)) {
            Remark(key, *stored,
                   "is not a whole number; " + std::to_string(fallback) + " is used.");
        } else if (number < min || number > max) {
            value = number < min ? min : max;
            Remark(key, *stored,
                   "is outside " + std::to_string(min) + " to " + std::to_string(max) + "; " +
                       std::to_string(value) + " is used.");
        } else {
            value = static_cast<std::int32_t>(number);
        }
    }

    void Flag(const char* key, bool& value, bool fallback) override {
        value = fallback;
        const auto stored = ini_.GetString(section_, key);
        if (!stored) return;
        if (*stored == "on" || *stored == "off") {
            value = *stored == "on";
        } else {
            Remark(
                key, *stored,
                std::string("is neither on nor off; ") + (fallback ? "on" : "off") + " is used.");
        }
    }

    void Text(const char* key, std::string& value, const std::string& fallback) override {
        const auto stored = ini_.GetString(section_, key);
        value = stored ? DecodeValue(*stored, kind_) : fallback;
    }

    void OptionalText(const char* key, std::optional<std::string>& value) override {
        const auto stored = ini_.GetString(section_, key);
        if (stored) {
            value = DecodeValue(*stored, kind_);
        } else {
            value.reset();
        }
    }

private:
    void Remark(const char* key, const std::string& stored, const std::string& why) {
        if (remarks_ == nullptr) return;
        remarks_->push_back(std::string("quillomat: setup.ini [") + section_ + "] " + key + "=" +
                            DecodeValue(stored, kind_) + " " + why);
    }

    const char* section_;
    const IniFile& ini_;
    SettingsFileText kind_;
    std::vector<std::string>* remarks_;
};

// Writes an added section: a key only when it was in the file or differs
// from its default.
class SectionSaver final : public SectionKeyVisitor {
public:
    SectionSaver(const char* section, IniFile& ini) : section_(section), ini_(ini) {}

    void Whole(const char* key, std::int32_t& value, std::int32_t fallback, std::int32_t,
               std::int32_t) override {
        if (value != fallback || ini_.GetString(section_, key))
            ini_.SetString(section_, key, std::to_string(value));
    }

    void Flag(const char* key, bool& value, bool fallback) override {
        if (value != fallback || ini_.GetString(section_, key))
            ini_.SetString(section_, key, value ? "on" : "off");
    }

    void OptionalText(const char* key, std::optional<std::string>& value) override {
        if (value) {
            Write(key, *value);
        } else {
            ini_.RemoveKey(section_, key);
        }
    }

    void Text(const char* key, std::string& value, const std::string& fallback) override {
        if (value == fallback && !ini_.GetString(section_, key)) return;
        Write(key, value);
    }

private:
    void Write(const char* key, const std::string& value) {
        std::string saved = Utf8ToCp932(value);
        // Reading drops a pair of quotes around a whole value (as the
        // profile functions do); a command line such as 'a b' c 'd' gets
        // one more pair, so that it reads back as it was.
        if (saved.size() >= 2 && (saved.front() == '"' || saved.front() == '\'') &&
            saved.back() == saved.front()) {
            saved = '"' + saved + '"';
        }
        ini_.SetString(section_, key, saved);
    }

private:
    const char* section_;
    IniFile& ini_;
};

// The text a key holds in the record; nullopt for keys that are no text.
std::optional<std::string> TextOfKey(const KeyDef& def, const DiarySettings& s) {
    if (const auto* m = std::get_if<std::string DiarySettings::*>(&def.field)) return s.**m;
    if (const auto* f = std::get_if<Multiline>(&def.field)) return s.*f->member;
    return std::nullopt;
}

std::string ReadBack(const KeyDef& def, std::string_view raw, SettingsFileText kind) {
    std::string text = DecodeValue(raw, kind);
    return std::holds_alternative<Multiline>(def.field) ? UnescapeMultiline(text) : text;
}

// A text the user did not change since it was read, and that CP932 cannot
// hold, keeps the bytes it has in the file: writing it in CP932 would lose
// the characters CP932 lacks (or that were never valid text at all).
bool KeepsFileBytes(const KeyDef& def, const IniFile& file, SettingsFileText kind,
                    const DiarySettings& s, const std::string& saved) {
    const std::optional<std::string> text = TextOfKey(def, s);
    if (!text) return false;
    const auto raw = file.GetString(def.section, def.key);
    if (!raw || ReadBack(def, *raw, kind) != *text) return false;
    return ReadBack(def, saved, SettingsFileText::kCp932) != *text;
}

void LoadNamedKeys(DiarySettings& settings, const std::filesystem::path& setup_ini,
                   std::initializer_list<std::string_view> names) {
    const IniFile setup = IniFile::Load(setup_ini);
    const SettingsFileText kind = TextOf(setup);
    const DiarySettings defaults;
    for (const KeyDef& def : kKeys) {
        for (std::string_view name : names) {
            if (def.file == IniFileId::kSetup && name == def.key)
                LoadKey(def, setup, kind, settings, defaults);
        }
    }
}

}  // namespace

void RegisterSettingsSection(const SettingsSection& section) {
    std::lock_guard lock(g_sections_mutex);
    for (const SettingsSection* known : g_sections) {
        if (std::string_view(known->Name()) == section.Name()) return;
    }
    g_sections.push_back(&section);
}

void LoadDayPageSettingsFrom(DiarySettings& settings, const std::filesystem::path& setup_ini) {
    LoadNamedKeys(settings, setup_ini,
                  {"PREVIEW_CREATE", "PREVIEW_HTML", "PREVIEW_IMAGE_SIZE", "PREVIEW_AUTO_REFLESH",
                   "PREVIEW_AUTO_REFLESH_SECOND", "PREVIEW_SORT"});
}

void LoadIndexPageSettingsFrom(DiarySettings& settings, const std::filesystem::path& setup_ini) {
    LoadNamedKeys(
        settings, setup_ini,
        {"INDEX_CREATE", "INDEX_HTML", "INDEX_PREVIEW", "INDEX_IMAGE_SIZE", "INDEX_IMAGE_MAX",
         "INDEX_AUTO_REFLESH", "INDEX_AUTO_REFLESH_SECOND", "INDEX_CALENDAR", "INDEX_CALENDAR_SORT",
         "INDEX_CALENDAR_MAX", "INDEX_CALENDAR_ROW", "INDEX_CALENDAR_FONT_SIZE"});
}

std::string EscapeMultiline(const std::string& text) {
    std::string out;
    out.reserve(text.size());
    for (char c : text) {
        switch (c) {
            case '\\':
                out += "\\\\";
                break;
            case '\n':
                out += "\\n";
                break;
            case '\r':
                out += "\\r";
                break;
            default:
                out += c;
        }
    }
    return out;
}

std::string UnescapeMultiline(const std::string& text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\\' && i + 1 < text.size()) {
            const char next = text[i + 1];
            if (next == '\\' || next == 'n' || next == 'r') {
                out += next == 'n' ? '\n' : next == 'r' ? '\r' : '\\';
                ++i;
                continue;
            }
        }
        out += text[i];
    }
    return out;
}

void LoadSettingsFrom(DiarySettings& settings, const std::filesystem::path& device_ini,
                      const std::filesystem::path& setup_ini, const std::string& app_directory,
                      std::vector<std::string>* remarks) {
    const IniFile device = IniFile::Load(device_ini);
    const IniFile setup = IniFile::Load(setup_ini);
    const SettingsFileText device_kind = TextOf(device);
    const SettingsFileText setup_kind = TextOf(setup);
    DiarySettings defaults;
    defaults.SAVE_DIRECTORY = app_directory;
    for (const KeyDef& def : kKeys) {
        const bool in_device = def.file == IniFileId::kDevice;
        LoadKey(def, in_device ? device : setup, in_device ? device_kind : setup_kind, settings,
                defaults);
    }
    for (const SettingsSection* section : AddedSections()) {
        SectionLoader loader(section->Name(), setup, setup_kind, remarks);
        section->VisitKeys(settings, loader);
    }
    settings.settings_folder = app_directory;
}

void SaveSettingsTo(const DiarySettings& settings, const std::filesystem::path& device_ini,
                    const std::filesystem::path& setup_ini) {
    const IniFile device_read = IniFile::Load(device_ini);
    const IniFile setup_read = IniFile::Load(setup_ini);
    const SettingsFileText device_kind = TextOf(device_read);
    const SettingsFileText setup_kind = TextOf(setup_read);
    // A file that is not CP932 throughout goes back in CP932.
    IniFile device = TranscodedToCp932(device_read, device_kind);
    IniFile setup = TranscodedToCp932(setup_read, setup_kind);
    for (const KeyDef* def : SaveOrder()) {
        const bool in_device = def->file == IniFileId::kDevice;
        const std::string saved = SavedValue(*def, settings);
        if (KeepsFileBytes(*def, in_device ? device_read : setup_read,
                           in_device ? device_kind : setup_kind, settings, saved)) {
            continue;
        }
        (in_device ? device : setup).SetString(def->section, def->key, saved);
    }
    // The visitors take fields as they are, the loader's to fill them.
    DiarySettings saving = settings;
    for (const SettingsSection* section : AddedSections()) {
        SectionSaver saver(section->Name(), setup);
        section->VisitKeys(saving, saver);
    }
    device.Save(device_ini);
    setup.Save(setup_ini);
}

SettingsFileText ClassifySettingsText(std::string_view content) {
    if (IsValidCp932(content)) return SettingsFileText::kCp932;
    if (IsValidUtf8(content)) return SettingsFileText::kUtf8;
    return SettingsFileText::kMixed;
}

SettingsFileText SettingsFileTextOf(const std::filesystem::path& path) {
    return TextOf(IniFile::Load(path));
}

void LoadSettings(DiarySettings& settings, std::vector<std::string>* remarks) {
    const std::string dir = GetAppDirectory();
    LoadSettingsFrom(settings, dir + "device.ini", dir + "setup.ini", dir, remarks);
}

void SaveSettings(const DiarySettings& settings) {
    const std::string dir = GetAppDirectory();
    SaveSettingsTo(settings, dir + "device.ini", dir + "setup.ini");
}
