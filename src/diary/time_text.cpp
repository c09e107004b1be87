#include "diary/time_text.h"

#include <QColor>
#include <QFontMetricsF>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QRectF>
#include <QString>
#include <QStringList>
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <mutex>

#include "diary/drawing_surface.h"
#include "platform/cp932.h"
#include "settings/diary_settings.h"

namespace {

constexpr std::size_t kFaceNameBytes = 31;
// Text starting this far outside the picture cannot reach into it; keeps the
// coordinates handed to Qt small.
constexpr std::int64_t kFarOutside = 1 << 20;

// GDI breaks lines at CR, LF and CR LF; Qt only at LF.
QString WithLineFeeds(const std::string& text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\r') {
            out += '\n';
            if (i + 1 < text.size() && text[i + 1] == '\n') ++i;
        } else {
            out += text[i];
        }
    }
    return QString::fromUtf8(out);
}

QColor FromColorRef(std::uint32_t colorref) {
    return QColor(colorref & 0xFF, (colorref >> 8) & 0xFF, (colorref >> 16) & 0xFF);
}

}  // namespace

void InstallJapaneseFontSubstitutes() {
    // Qt's substitution table has no lock: it is written once, before any
    // time text font is resolved, and only read afterwards.
    static std::once_flag once;
    std::call_once(once, [] {
        const struct {
            const char* face;
            const char* ipa_face;
        } kSubstitutes[] = {
            {"ＭＳ ゴシック", "IPAGothic"},    {"MS Gothic", "IPAGothic"},
            {"ＭＳ Ｐゴシック", "IPAPGothic"}, {"MS PGothic", "IPAPGothic"},
            {"MS UI Gothic", "IPAPGothic"},    {"ＭＳ 明朝", "IPAMincho"},
            {"MS Mincho", "IPAMincho"},        {"ＭＳ Ｐ明朝", "IPAPMincho"},
            {"MS PMincho", "IPAPMincho"},
        };
        for (const auto& s : kSubstitutes) {
            QFont::insertSubstitution(QString::fromUtf8(s.face), QString::fromUtf8(s.ipa_face));
        }
    });
}

QFont TimeTextFont(const DiarySettings& s) {
    InstallJapaneseFontSubstitutes();
    QFont font;
    font.setFamilies({QString::fromUtf8(TruncateToCp932Bytes(s.FONT_NAME, kFaceNameBytes))});
    // Only a preference among the faces of the named family; the family
    // itself is kept even when it is proportional.
    font.setFixedPitch(true);
    font.setWeight(s.FONT_BOLD ? QFont::Bold : QFont::Normal);
    font.setItalic(s.FONT_ITALIC);
    font.setUnderline(false);
    font.setStrikeOut(false);
    if (s.FONT_SIZE > 0) {
        // A positive GDI height is the cell height (ascent + descent); Qt's
        // pixel size is the em height, so scale by the face's proportions.
        font.setPixelSize(s.FONT_SIZE);
        const qreal ratio = s.FONT_SIZE / QFontMetricsF(font).height();
        // A ratio far from 1 comes from a font engine that gave up on an
        // absurd size, not from the face's proportions.
        if (ratio > 0.5 && ratio < 2.0) {
            font.setPixelSize(std::max(1, static_cast<int>(std::lround(s.FONT_SIZE * ratio))));
        }
    } else if (s.FONT_SIZE < 0 && s.FONT_SIZE != INT32_MIN) {
        font.setPixelSize(-s.FONT_SIZE);  // a negative GDI height is the em height
    }
    return font;
}

void DrawTimeText(DrawingSurface& surface, const std::tm& capture_time, const DiarySettings& s) {
    if (qobject_cast<QGuiApplication*>(QCoreApplication::instance()) == nullptr) return;
    const FrameFormat& format = surface.Format();
    const QString text = WithLineFeeds(ExpandTimeFormat(s.TIME_FORMAT, capture_time));
    const QFont font = TimeTextFont(s);

    // Wraps the frame memory in place; the painter is flipped so that
    // picture coordinates run from the top although the rows are bottom-up.
    QImage image(surface.Pixels(), format.width, format.height,
                 static_cast<qsizetype>(format.Stride()), QImage::Format_BGR888);
    QPainter painter(&image);
    painter.translate(0, format.height);
    painter.scale(1, -1);
    painter.setFont(font);
    painter.setBackgroundMode(Qt::TransparentMode);

    const auto draw = [&](std::int64_t left, std::int64_t top, std::uint32_t colorref) {
        if (left >= format.width || top >= format.height) return;
        if (left < -kFarOutside || top < -kFarOutside) return;
        painter.setPen(FromColorRef(colorref));
        const QRectF rect(static_cast<qreal>(left), static_cast<qreal>(top),
                          static_cast<qreal>(format.width - left),
                          static_cast<qreal>(format.height - top));
        painter.drawText(rect, Qt::AlignLeft | Qt::AlignTop | Qt::TextShowMnemonic, text);
    };
    if (s.SHOW_SHADOW) {
        draw(static_cast<std::int64_t>(s.TEXT_XPOS) + s.SHADOW_XPOS,
             static_cast<std::int64_t>(s.TEXT_YPOS) + s.SHADOW_YPOS, s.SHADOW_COLOR);
    }
    draw(s.TEXT_XPOS, s.TEXT_YPOS, s.TEXT_COLOR);
}
