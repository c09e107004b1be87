#include "settings/ui/font_list.h"

#include <QFontDatabase>
#include <QStringList>
#include <algorithm>

std::vector<FontFamily> SystemFontFamilies() {
    std::vector<FontFamily> families;
    const QStringList names = QFontDatabase::families();
    families.reserve(static_cast<std::size_t>(names.size()));
    for (const QString& name : names) {
        if (QFontDatabase::isPrivateFamily(name)) continue;
        const QList<QFontDatabase::WritingSystem> systems = QFontDatabase::writingSystems(name);
        FontFamily f;
        f.name = name.toStdString();
        f.outline = QFontDatabase::isSmoothlyScalable(name);
        f.japanese = systems.contains(QFontDatabase::Japanese);
        f.latin = systems.contains(QFontDatabase::Latin);
        families.push_back(std::move(f));
    }
    return families;
}

bool FontList::Wanted(const FontFamily& family) {
    return family.outline && (family.japanese || family.latin) && !family.name.empty();
}

void FontList::Add(const std::vector<FontFamily>& families) {
    for (const FontFamily& family : families) {
        if (!Wanted(family)) continue;
        // std::string compares as unsigned bytes.
        const auto at = std::lower_bound(names_.begin(), names_.end(), family.name);
        if (at != names_.end() && *at == family.name) continue;
        names_.insert(at, family.name);
    }
}
