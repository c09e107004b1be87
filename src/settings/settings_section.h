#pragma once

#include <cstdint>
#include <initializer_list>
#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "settings/diary_settings.h"

// A section of setup.ini beyond the original four, owned by a job after a
// picture: its struct lives in DiarySettings (Section<T>()), its keys are
// listed with the field each fills. settings_io reads and writes them by its
// rules for every such section: a key is written back only when it was in
// the file or differs from its default, so that a user who sets none keeps
// the original files byte for byte; a whole number outside its bounds reads
// as the nearest bound, a value that cannot be read at all as the default,
// and either is remarked on.

// One key and the field of the job's struct that holds it.
template <class T>
struct SectionKey {
    const char* key;
    std::variant<std::int32_t T::*, bool T::*, std::string T::*, std::optional<std::string> T::*>
        field;
    // Bounds of a whole number.
    std::int32_t min = 0;
    std::int32_t max = 0;
};

// What settings_io does with each key of a section, loading or saving.
class SectionKeyVisitor {
public:
    virtual void Whole(const char* key, std::int32_t& value, std::int32_t fallback,
                       std::int32_t min, std::int32_t max) = 0;
    virtual void Flag(const char* key, bool& value, bool fallback) = 0;
    virtual void Text(const char* key, std::string& value, const std::string& fallback) = 0;
    // A text whose absence means something else than an empty value: nullopt
    // while the key is not in the file, and then never written.
    virtual void OptionalText(const char* key, std::optional<std::string>& value) = 0;

protected:
    ~SectionKeyVisitor() = default;
};

class SettingsSection {
public:
    virtual ~SettingsSection() = default;
    virtual const char* Name() const = 0;
    // Hands `visitor` each key with its field in `settings`, in file order.
    virtual void VisitKeys(DiarySettings& settings, SectionKeyVisitor& visitor) const = 0;
};

template <class T>
class SettingsSectionOf final : public SettingsSection {
public:
    SettingsSectionOf(const char* name, std::initializer_list<SectionKey<T>> keys)
        : name_(name), keys_(keys) {}

    const char* Name() const override { return name_; }

    void VisitKeys(DiarySettings& settings, SectionKeyVisitor& visitor) const override {
        static const T defaults{};
        T& section = settings.Section<T>();
        for (const SectionKey<T>& key : keys_) {
            if (const auto* whole = std::get_if<std::int32_t T::*>(&key.field)) {
                visitor.Whole(key.key, section.**whole, defaults.**whole, key.min, key.max);
            } else if (const auto* flag = std::get_if<bool T::*>(&key.field)) {
                visitor.Flag(key.key, section.**flag, defaults.**flag);
            } else if (const auto* text = std::get_if<std::string T::*>(&key.field)) {
                visitor.Text(key.key, section.**text, defaults.**text);
            } else if (const auto* optional =
                           std::get_if<std::optional<std::string> T::*>(&key.field)) {
                visitor.OptionalText(key.key, section.**optional);
            }
        }
    }

private:
    const char* name_;
    std::vector<SectionKey<T>> keys_;
};

// Adds a job's section to the key table LoadSettings and SaveSettings go
// through, after the sections already there (a section new to setup.ini is
// appended to it in this order). A section of a name already there is left
// as it was. `section` lives as long as the program; on the owner's thread,
// before the settings are loaded.
void RegisterSettingsSection(const SettingsSection& section);
