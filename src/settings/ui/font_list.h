#pragma once

#include <string>
#include <vector>

// One font family as the font system reports it.
struct FontFamily {
    std::string name;
    // An outline face that scales to any size (the counterpart of TrueType).
    bool outline = false;
    bool japanese = false;
    bool latin = false;
};

// Every family the font system has, in its own order.
std::vector<FontFamily> SystemFontFamilies();

// The time text dialog's list of faces to offer. It lives as long as the
// dialog and only grows: each opening adds the families it finds that are not
// listed yet.
class FontList {
public:
    // Outline faces that write Japanese or Latin.
    static bool Wanted(const FontFamily& family);

    // Adds each wanted family whose name is not listed yet, keeping the names
    // in byte-wise ascending order.
    void Add(const std::vector<FontFamily>& families);

    const std::vector<std::string>& Names() const { return names_; }

private:
    std::vector<std::string> names_;
};
