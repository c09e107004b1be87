// DrawTimeText on a 640x480 frame with the default settings (font made per
// picture) against the floor: the same two drawText calls (shadow, text) on
// the same wrapped, flipped frame with a font made once.
#include <benchmark/benchmark.h>

#include <QFont>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QString>
#include <cstdlib>

#include "diary/drawing_surface.h"
#include "diary/time_text.h"
#include "settings/diary_settings.h"

namespace {

std::tm CaptureTime() {
    std::tm t{};
    t.tm_year = 124;
    t.tm_mon = 2;
    t.tm_mday = 15;
    t.tm_hour = 9;
    t.tm_min = 30;
    t.tm_sec = 5;
    t.tm_wday = 5;
    return t;
}

DrawingSurface Frame() {
    auto surface = *DrawingSurface::Create({640, 480}, 0);
    for (std::size_t i = 0; i < surface.SizeBytes(); ++i)
        surface.Pixels()[i] = static_cast<std::uint8_t>(i * 7);
    return surface;
}

void BM_DrawTimeText(benchmark::State& state) {
    DrawingSurface surface = Frame();
    const DiarySettings settings;
    const std::tm t = CaptureTime();
    for (auto _ : state) {
        DrawTimeText(surface, t, settings);
        benchmark::ClobberMemory();
    }
}

void BM_DrawTimeText_Floor(benchmark::State& state) {
    DrawingSurface surface = Frame();
    const DiarySettings settings;
    const QFont font = TimeTextFont(settings);
    const QString text = QString::fromUtf8(ExpandTimeFormat(settings.TIME_FORMAT, CaptureTime()));
    const FrameFormat& f = surface.Format();
    const int flags = Qt::AlignLeft | Qt::AlignTop | Qt::TextShowMnemonic;
    for (auto _ : state) {
        QImage image(surface.Pixels(), f.width, f.height, static_cast<qsizetype>(f.Stride()),
                     QImage::Format_BGR888);
        QPainter painter(&image);
        painter.translate(0, f.height);
        painter.scale(1, -1);
        painter.setFont(font);
        painter.setPen(QColor(0, 0, 0));
        painter.drawText(QRectF(6, 6, f.width - 6, f.height - 6), flags, text);
        painter.setPen(QColor(255, 255, 255));
        painter.drawText(QRectF(5, 5, f.width - 5, f.height - 5), flags, text);
        painter.end();
        benchmark::ClobberMemory();
    }
}

}  // namespace

BENCHMARK(BM_DrawTimeText_Floor)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_DrawTimeText)->Unit(benchmark::kMicrosecond);

int main(int argc, char** argv) {
    ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
    QGuiApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
