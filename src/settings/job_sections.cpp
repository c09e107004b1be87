#include "settings/job_sections.h"

JobSections::JobSections(const JobSections& other) {
    entries_.reserve(other.entries_.size());
    for (const auto& entry : other.entries_) entries_.push_back(entry->Clone());
}

JobSections& JobSections::operator=(const JobSections& other) {
    if (this != &other) *this = JobSections(other);
    return *this;
}

const JobSections::Entry* JobSections::Find(std::type_index type) const {
    for (const auto& entry : entries_) {
        if (entry->type == type) return entry.get();
    }
    return nullptr;
}

JobSections::Entry* JobSections::Find(std::type_index type) {
    return const_cast<Entry*>(static_cast<const JobSections&>(*this).Find(type));
}

bool JobSections::operator==(const JobSections& other) const {
    for (const auto& entry : entries_) {
        const Entry* theirs = other.Find(entry->type);
        if (theirs ? !entry->Equals(*theirs) : !entry->IsDefault()) return false;
    }
    for (const auto& entry : other.entries_) {
        if (!Find(entry->type) && !entry->IsDefault()) return false;
    }
    return true;
}
