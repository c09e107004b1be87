#pragma once

#include <cstdint>
#include <mutex>
#include <vector>

// The values and grid of the scrolling motion graph, without any window, so
// that its arithmetic is testable on its own. Every operation locks: values
// are pushed from the motion thread while the user interface thread lays
// them out for a paint.
class PushGraphModel {
public:
    static constexpr std::int32_t kRangeMin = 0;
    static constexpr std::int32_t kRangeMax = 100;

    struct Point {
        int x = 0;
        int y = 0;
        bool operator==(const Point&) const = default;
    };
    struct Line {
        std::uint32_t colour = 0;  // 0x00BBGGRR
        Point start;
        std::vector<Point> points;  // one per value, oldest first
    };
    // What one paint draws, in plot coordinates (the plot is the whole window).
    struct Layout {
        std::vector<int> grid_rows;     // y of each horizontal grid line, bottom up
        std::vector<int> grid_columns;  // x of each vertical grid line, left to right
        std::vector<Line> lines;        // in series order, later ones on top
    };

    void SetStepWidth(std::uint16_t pixels);
    void SetGridSpacing(std::int32_t pixels);
    void SetGridVisible(bool visible);
    bool AddSeries(int id, std::uint32_t colour);
    void RemoveSeries(int id);
    // Clamps to the range; false when no series has the id.
    bool PushValue(std::int32_t value, int id);
    // Moves the grid with the values pushed beyond the capacity, then pads and
    // trims the series as the paint that follows would.
    void Refresh();
    // A size change: the next layout works the capacity out again.
    void Resized();

    // Works out the capacity when unknown, pads every series to the longest
    // one, trims them to capacity - 1 values and returns what to draw.
    Layout LayOut(int plot_width, int plot_height);

    std::uint16_t StepWidth() const;
    std::int32_t GridSpacing() const;
    std::int32_t GridOffset() const;
    std::int32_t Capacity() const;
    bool GridVisible() const;
    // The stored values of the last series with the id (empty when none).
    std::vector<std::int32_t> Values(int id) const;

private:
    struct Series {
        std::uint32_t colour = 0x00FF00;
        int id = 0;
        std::vector<std::int32_t> values;
    };
    Series* Find(int id);
    std::size_t Longest() const;
    void Normalise();

    mutable std::mutex mutex_;
    std::uint16_t step_width_ = 2;
    std::int32_t grid_spacing_ = 15;
    std::int32_t grid_offset_ = 0;
    std::int32_t capacity_ = -1;
    bool grid_visible_ = false;
    std::vector<Series> series_;
};
