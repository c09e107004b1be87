// One push of the capture settings dialog's motion graph (score and level,
// then a paint) at its designed size, against the floor: the same widget
// rendering of a widget of that size that only draws one ready image. Both
// render into an image as a window's backing store would be painted, so no
// display or event loop is needed.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QImage>
#include <QPainter>
#include <QWidget>
#include <cstdlib>

#include "controls/dialog_units.h"
#include "controls/push_graph.h"

namespace {

QSize GraphSize() {
    const DialogUnits units(DialogFont(QStringLiteral("MS UI Gothic"), 9));
    return units.Size(134, 44);
}

void BM_PushGraphPaint(benchmark::State& state) {
    QWidget parent;
    auto* graph = new C2DPushGraph(&parent);
    graph->setGeometry(QRect(QPoint(0, 0), GraphSize()));
    graph->SetStepWidth(5);
    graph->SetGridSpacing(10);
    graph->SetGridVisible(true);
    graph->AddSeries(0, 0x00FF00);
    graph->AddSeries(1, 0x0000FF);
    QImage target(GraphSize(), QImage::Format_RGB32);
    int i = 0;
    for (auto _ : state) {
        graph->PushValue((i * 37) % 100, 0);
        graph->PushValue(20, 1);
        graph->render(&target);
        ++i;
    }
    if (graph->Surface().size() != GraphSize()) state.SkipWithError("the graph did not paint");
}

class ImageWidget : public QWidget {
public:
    explicit ImageWidget(QWidget* parent) : QWidget(parent) {
        setAttribute(Qt::WA_OpaquePaintEvent);
    }
    QImage image;

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        painter.drawImage(0, 0, image);
    }
};

void BM_PushGraphPaint_Floor(benchmark::State& state) {
    QWidget parent;
    auto* widget = new ImageWidget(&parent);
    widget->setGeometry(QRect(QPoint(0, 0), GraphSize()));
    widget->image = QImage(GraphSize(), QImage::Format_RGB32);
    widget->image.fill(Qt::black);
    QImage target(GraphSize(), QImage::Format_RGB32);
    for (auto _ : state) widget->render(&target);
}

BENCHMARK(BM_PushGraphPaint)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_PushGraphPaint_Floor)->Unit(benchmark::kMicrosecond);

}  // namespace

int main(int argc, char** argv) {
    ::setenv("QT_QPA_PLATFORM", "offscreen", 0);
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
