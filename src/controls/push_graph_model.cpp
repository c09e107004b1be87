#include "controls/push_graph_model.h"

#include <algorithm>

void PushGraphModel::SetStepWidth(std::uint16_t pixels) {
    std::lock_guard lock(mutex_);
    step_width_ = pixels;
    capacity_ = -1;
}

void PushGraphModel::SetGridSpacing(std::int32_t pixels) {
    std::lock_guard lock(mutex_);
    grid_spacing_ = std::max(pixels, 3);
}

void PushGraphModel::SetGridVisible(bool visible) {
    std::lock_guard lock(mutex_);
    grid_visible_ = visible;
}

bool PushGraphModel::AddSeries(int id, std::uint32_t colour) {
    std::lock_guard lock(mutex_);
    series_.push_back(Series{colour, id, {}});
    return true;
}

void PushGraphModel::RemoveSeries(int id) {
    std::lock_guard lock(mutex_);
    for (auto it = series_.rbegin(); it != series_.rend(); ++it) {
        if (it->id == id) {
            series_.erase(std::next(it).base());
            return;
        }
    }
}

PushGraphModel::Series* PushGraphModel::Find(int id) {
    for (auto it = series_.rbegin(); it != series_.rend(); ++it) {
        if (it->id == id) return &*it;
    }
    return nullptr;
}

bool PushGraphModel::PushValue(std::int32_t value, int id) {
    std::lock_guard lock(mutex_);
    Series* series = Find(id);
    if (!series) return false;
    series->values.push_back(std::clamp(value, kRangeMin, kRangeMax));
    return true;
}

std::size_t PushGraphModel::Longest() const {
    std::size_t longest = 0;
    for (const Series& s : series_) longest = std::max(longest, s.values.size());
    return longest;
}

void PushGraphModel::Refresh() {
    std::lock_guard lock(mutex_);
    const auto longest = static_cast<std::int64_t>(Longest());
    if (longest >= capacity_) {
        // Truncating remainder keeps the offset in (-spacing, 0].
        const std::int64_t moved = (longest - capacity_ + 1) * step_width_;
        grid_offset_ = static_cast<std::int32_t>((grid_offset_ - moved) % grid_spacing_);
    }
    // The redraw used to follow at once on the same values; painting is
    // asynchronous here, so its trimming is done now, or a second push before
    // the paint would move the grid by two steps.
    if (capacity_ != -1) Normalise();
}

void PushGraphModel::Resized() {
    std::lock_guard lock(mutex_);
    capacity_ = -1;
}

void PushGraphModel::Normalise() {
    const std::size_t longest = Longest();
    if (longest == 0) return;
    for (Series& s : series_) {
        if (s.values.empty()) s.values.push_back(kRangeMin);
        if (s.values.size() < longest) s.values.resize(longest, s.values.back());
        const auto keep = static_cast<std::size_t>(std::max(capacity_ - 1, 0));
        if (s.values.size() > keep) s.values.erase(s.values.begin(), s.values.end() - keep);
    }
}

PushGraphModel::Layout PushGraphModel::LayOut(int plot_width, int plot_height) {
    std::lock_guard lock(mutex_);
    Layout layout;
    if (grid_visible_) {
        for (int y = plot_height - 1; y >= 0; y -= grid_spacing_) layout.grid_rows.push_back(y);
        for (int x = grid_offset_; x < plot_width; x += grid_spacing_) {
            if (x >= 0) layout.grid_columns.push_back(x);
        }
    }
    if (capacity_ == -1) {
        const int step = std::max<int>(step_width_, 1);
        capacity_ = std::max(plot_width / step + (plot_width % step != 0 ? 1 : 0) + 2, 1);
    }
    const std::size_t longest = Longest();
    if (longest == 0) return layout;
    Normalise();
    const int range = kRangeMax - kRangeMin;
    for (const Series& s : series_) {
        Line line;
        line.colour = s.colour;
        for (std::size_t j = 0; j < s.values.size(); ++j) {
            line.points.push_back({static_cast<int>(step_width_ * j),
                                   plot_height - (plot_height * s.values[j]) / range});
        }
        const bool from_bottom = longest == 1 || line.points.empty();
        line.start = {0, from_bottom ? plot_height : line.points.front().y};
        layout.lines.push_back(std::move(line));
    }
    return layout;
}

std::uint16_t PushGraphModel::StepWidth() const {
    std::lock_guard lock(mutex_);
    return step_width_;
}

std::int32_t PushGraphModel::GridSpacing() const {
    std::lock_guard lock(mutex_);
    return grid_spacing_;
}

std::int32_t PushGraphModel::GridOffset() const {
    std::lock_guard lock(mutex_);
    return grid_offset_;
}

std::int32_t PushGraphModel::Capacity() const {
    std::lock_guard lock(mutex_);
    return capacity_;
}

bool PushGraphModel::GridVisible() const {
    std::lock_guard lock(mutex_);
    return grid_visible_;
}

std::vector<std::int32_t> PushGraphModel::Values(int id) const {
    std::lock_guard lock(mutex_);
    for (auto it = series_.rbegin(); it != series_.rend(); ++it) {
        if (it->id == id) return it->values;
    }
    return {};
}
