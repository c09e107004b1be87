#pragma once

#include <memory>
#include <typeindex>
#include <typeinfo>
#include <vector>

// The settings sections of the jobs after a picture, one struct each, kept
// in the settings record without the record knowing the jobs. A section
// never set reads as its struct's defaults, and compares equal to them. A
// section struct is copyable and has operator==.
class JobSections {
public:
    JobSections() = default;
    JobSections(const JobSections& other);
    JobSections& operator=(const JobSections& other);
    JobSections(JobSections&&) noexcept = default;
    JobSections& operator=(JobSections&&) noexcept = default;

    template <class T>
    const T& Get() const {
        if (const Entry* entry = Find(typeid(T))) return static_cast<const Held<T>&>(*entry).value;
        static const T defaults{};
        return defaults;
    }

    template <class T>
    T& Get() {
        if (Entry* entry = Find(typeid(T))) return static_cast<Held<T>&>(*entry).value;
        auto held = std::make_unique<Held<T>>();
        T& value = held->value;
        entries_.push_back(std::move(held));
        return value;
    }

    bool operator==(const JobSections& other) const;

private:
    struct Entry {
        explicit Entry(std::type_index t) : type(t) {}
        virtual ~Entry() = default;
        virtual std::unique_ptr<Entry> Clone() const = 0;
        // `other` is of the same type.
        virtual bool Equals(const Entry& other) const = 0;
        virtual bool IsDefault() const = 0;
        const std::type_index type;
    };

    template <class T>
    struct Held final : Entry {
        Held() : Entry(typeid(T)) {}
        std::unique_ptr<Entry> Clone() const override { return std::make_unique<Held>(*this); }
        bool Equals(const Entry& other) const override {
            return value == static_cast<const Held&>(other).value;
        }
        bool IsDefault() const override { return value == T{}; }
        T value{};
    };

    const Entry* Find(std::type_index type) const;
    Entry* Find(std::type_index type);

    // A few sections: a list is quicker than a map to look through and copy.
    std::vector<std::unique_ptr<Entry>> entries_;
};
