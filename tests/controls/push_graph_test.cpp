#include "controls/push_graph.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QSizeGrip>
#include <QTest>
#include <thread>

namespace {

constexpr std::uint32_t kGreen = 0x00FF00;
constexpr std::uint32_t kYellow = 0x00FFFF;

// The capture settings dialog's graph: step 5, grid every 10 pixels.
void Configure(PushGraphModel& model, std::int32_t spacing = 10) {
    model.SetStepWidth(5);
    model.SetGridSpacing(spacing);
    model.SetGridVisible(true);
    model.AddSeries(0, kGreen);
}

TEST(PushGraphModel, KeepsCapacityMinusOneValuesAcrossTheWidth) {
    PushGraphModel model;
    Configure(model);
    for (int i = 0; i < 1000; ++i) model.PushValue(i % 100, 0);
    const auto layout = model.LayOut(280, 100);
    EXPECT_EQ(model.Capacity(), 58);
    ASSERT_EQ(layout.lines.size(), 1u);
    ASSERT_EQ(layout.lines[0].points.size(), 57u);
    EXPECT_EQ(model.Values(0).back(), 99);  // the newest kept, the oldest dropped
    EXPECT_EQ(model.Values(0).front(), (1000 - 57) % 100);
    EXPECT_EQ(layout.lines[0].points.back().x, 5 * 56);
    // A width that is not a multiple of the step has room for one more.
    model.Resized();
    model.LayOut(281, 100);
    EXPECT_EQ(model.Capacity(), 59);
    model.SetStepWidth(2);
    model.LayOut(3, 100);
    EXPECT_EQ(model.Capacity(), 4);
}

TEST(PushGraphModel, ClampsToTheRangeAndDrawsItsEnds) {
    PushGraphModel model;
    Configure(model);
    EXPECT_TRUE(model.PushValue(150, 0));
    EXPECT_TRUE(model.PushValue(-5, 0));
    EXPECT_TRUE(model.PushValue(50, 0));
    EXPECT_FALSE(model.PushValue(70, 7));
    EXPECT_EQ(model.Values(0), (std::vector<std::int32_t>{100, 0, 50}));
    const auto layout = model.LayOut(280, 121);
    const auto& points = layout.lines[0].points;
    EXPECT_EQ(points[0], (PushGraphModel::Point{0, 0}));          // maximum: top row
    EXPECT_EQ(points[1], (PushGraphModel::Point{5, 121}));        // minimum: below the last row
    EXPECT_EQ(points[2], (PushGraphModel::Point{10, 121 - 60}));  // truncated 60.5
    EXPECT_EQ(layout.lines[0].start, (PushGraphModel::Point{0, 0}));

    PushGraphModel single;
    Configure(single);
    single.PushValue(80, 0);
    EXPECT_EQ(single.LayOut(280, 100).lines[0].start, (PushGraphModel::Point{0, 100}));
    PushGraphModel none;
    Configure(none);
    EXPECT_TRUE(none.LayOut(280, 100).lines.empty());
}

TEST(PushGraphModel, PadsALateSeriesToTheLongest) {
    PushGraphModel model;
    Configure(model);
    for (int v : {10, 20, 30, 40}) model.PushValue(v, 0);
    model.AddSeries(1, kYellow);  // empty: the range minimum, then copies
    model.AddSeries(2, kYellow);
    model.PushValue(60, 2);
    model.LayOut(280, 100);
    EXPECT_EQ(model.Values(1), (std::vector<std::int32_t>{0, 0, 0, 0}));
    EXPECT_EQ(model.Values(2), (std::vector<std::int32_t>{60, 60, 60, 60}));
    // A level pushed once stays a horizontal line as the score goes on.
    model.PushValue(90, 0);
    model.LayOut(280, 100);
    EXPECT_EQ(model.Values(2), (std::vector<std::int32_t>{60, 60, 60, 60, 60}));
    // Removal searches from the end; a duplicate id leaves the earlier one.
    model.AddSeries(0, kYellow);
    model.RemoveSeries(0);
    EXPECT_EQ(model.Values(0).size(), 5u);
}

TEST(PushGraphModel, GridMovesOneStepPerPushOnceFull) {
    PushGraphModel model;
    Configure(model, 15);
    for (int i = 0; i < 100; ++i) model.PushValue(i, 0);
    const auto before = model.LayOut(280, 100);
    EXPECT_EQ(model.GridOffset(), 0);
    std::vector<std::int32_t> offsets;
    for (int i = 0; i < 4; ++i) {
        model.PushValue(5, 0);
        model.Refresh();
        offsets.push_back(model.GridOffset());
    }
    EXPECT_EQ(offsets, (std::vector<std::int32_t>{-5, -10, 0, -5}));
    // Pushes faster than the paints still move it one step each.
    model.PushValue(5, 0);
    model.Refresh();
    model.PushValue(5, 0);
    model.Refresh();
    EXPECT_EQ(model.GridOffset(), 0);
    const auto after = model.LayOut(280, 100);
    EXPECT_EQ(after.grid_rows, before.grid_rows);  // horizontal lines never move
    EXPECT_EQ(before.grid_rows.front(), 99);
    EXPECT_EQ(before.grid_rows[1], 84);
    EXPECT_EQ(before.grid_columns.front(), 0);
    model.PushValue(5, 0);
    model.Refresh();
    EXPECT_EQ(model.LayOut(280, 100).grid_columns.front(), 10);  // offset -5
    EXPECT_EQ(model.Values(0).size(), 57u);

    // A partly filled graph keeps its grid still.
    PushGraphModel partial;
    Configure(partial, 15);
    partial.LayOut(280, 100);
    partial.PushValue(1, 0);
    partial.Refresh();
    EXPECT_EQ(partial.GridOffset(), 0);
    partial.SetGridSpacing(1);
    EXPECT_EQ(partial.GridSpacing(), 3);
}

TEST(C2DPushGraph, TakesThePlaceholdersPlaceAndPaintsItsValues) {
    QWidget dialog;
    dialog.resize(400, 300);
    auto* placeholder = new QWidget(&dialog);
    placeholder->setObjectName(QStringLiteral("1075"));
    placeholder->setAccessibleName(QStringLiteral("動作変化量グラフ"));
    placeholder->setGeometry(20, 30, 280, 100);
    auto* graph = new C2DPushGraph;
    EXPECT_FALSE(graph->CreateOverPlaceholder(&dialog, QStringLiteral("1076")));
    ASSERT_TRUE(graph->CreateOverPlaceholder(&dialog, QStringLiteral("1075")));
    EXPECT_EQ(dialog.findChildren<QWidget*>(QStringLiteral("1075")).size(), 1);
    EXPECT_EQ(graph->geometry(), QRect(20, 30, 280, 100));
    EXPECT_EQ(graph->accessibleName(), QStringLiteral("動作変化量グラフ"));
    graph->SetStepWidth(5);
    graph->SetGridSpacing(10);
    graph->SetGridColour(0x165D29);
    graph->SetGridVisible(true);
    graph->AddSeries(0, kGreen);
    graph->AddSeries(1, kYellow);
    graph->PushValue(100, 0);
    graph->PushValue(50, 1);
    dialog.show();

    // Pushes and refreshes from another thread never wait for this one,
    // which is blocked in join meanwhile.
    std::thread motion([graph] {
        for (int i = 0; i < 200; ++i) {
            graph->PushValue(100, 0);
            graph->Refresh();
        }
    });
    motion.join();
    QApplication::processEvents();
    const QImage& picture = graph->Surface();
    ASSERT_EQ(picture.size(), QSize(280, 100));
    EXPECT_EQ(picture.pixelColor(270, 0), QColor(0, 255, 0));     // score at the top
    EXPECT_EQ(picture.pixelColor(270, 50), QColor(255, 255, 0));  // level line
    EXPECT_EQ(picture.pixelColor(270, 99), QColor(41, 93, 22));   // bottom grid row
    EXPECT_EQ(picture.pixelColor(271, 70), QColor(0, 0, 0));
    EXPECT_EQ(graph->Model().Values(0).size(), 57u);
}

TEST(C2DPushGraph, SizingGripResizesTheGraphNotTheDialog) {
    QWidget dialog;
    dialog.resize(400, 300);
    auto* placeholder = new QWidget(&dialog);
    placeholder->setObjectName(QStringLiteral("1075"));
    placeholder->setGeometry(20, 30, 200, 100);
    auto* graph = new C2DPushGraph;
    ASSERT_TRUE(graph->CreateOverPlaceholder(&dialog, QStringLiteral("1075")));
    graph->SetStepWidth(5);
    graph->SetSizingFrame(true);
    graph->AddSeries(0, kGreen);
    graph->PushValue(10, 0);
    dialog.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&dialog));
    QApplication::processEvents();
    EXPECT_EQ(graph->Model().Capacity(), 42);

    auto* grip = graph->findChild<QSizeGrip*>();
    ASSERT_NE(grip, nullptr);
    EXPECT_EQ(grip->geometry().bottomRight(), graph->rect().bottomRight());
    const QPoint start = grip->rect().center();
    QTest::mousePress(grip, Qt::LeftButton, {}, start);
    QTest::mouseMove(grip, start + QPoint(60, 20));
    QTest::mouseRelease(grip, Qt::LeftButton, {}, start + QPoint(60, 20));
    QApplication::processEvents();
    EXPECT_EQ(graph->size(), QSize(260, 120));
    EXPECT_EQ(dialog.size(), QSize(400, 300));
    EXPECT_EQ(grip->geometry().bottomRight(), graph->rect().bottomRight());
    EXPECT_EQ(graph->Model().Capacity(), 54);
}

}  // namespace
