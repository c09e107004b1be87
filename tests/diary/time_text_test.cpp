#include "diary/time_text.h"

#include <gtest/gtest.h>

#include <QFontInfo>
#include <QFontMetricsF>
#include <QStringList>
#include <optional>
#include <vector>

#include "diary/drawing_surface.h"
#include "settings/diary_settings.h"

namespace {

std::tm Time(int year, int month, int day, int hour, int minute, int second, int weekday) {
    std::tm t{};
    t.tm_year = year - 1900;
    t.tm_mon = month - 1;
    t.tm_mday = day;
    t.tm_hour = hour;
    t.tm_min = minute;
    t.tm_sec = second;
    t.tm_wday = weekday;
    return t;
}

const std::tm kFriday = Time(2024, 3, 15, 9, 30, 5, 5);

TEST(ExpandTimeFormatTest, DefaultFormatAndTokens) {
    EXPECT_EQ(ExpandTimeFormat(DiarySettings{}.TIME_FORMAT, kFriday), "2024/03/15(金) 09:30:05");
    EXPECT_EQ(ExpandTimeFormat("%h:%m", Time(2024, 3, 15, 9, 5, 0, 5)), "09:05");
    // Case-sensitive: %H is no token, %M is the month.
    EXPECT_EQ(ExpandTimeFormat("%H:%M", kFriday), "%H:03");
    EXPECT_EQ(ExpandTimeFormat("100% %x %", kFriday), "100% %x %");
    EXPECT_EQ(ExpandTimeFormat("%Y%Y", Time(987, 1, 2, 3, 4, 6, 0)), "09870987");
}

TEST(ExpandTimeFormatTest, WeekdayTablesStartOnSunday) {
    const char* english[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
    const char* japanese[] = {"日", "月", "火", "水", "木", "金", "土"};
    for (int wday = 0; wday < 7; ++wday) {
        const std::tm t = Time(2024, 3, 10 + wday, 0, 0, 0, wday);
        EXPECT_EQ(ExpandTimeFormat("%W %w", t), std::string(english[wday]) + " " + japanese[wday]);
    }
}

TEST(ExpandTimeFormatTest, LineBreakSequences) {
    EXPECT_EQ(ExpandTimeFormat("%D\\n%h\\r\\n%m", kFriday), "15\n09\r\n30");
    EXPECT_EQ(ExpandTimeFormat("\\t\\", kFriday), "\\t\\");
}

TEST(ExpandTimeFormatTest, EachTokenScansOnceInOrderWithoutOverlap) {
    // On a Wednesday "%%W" becomes "%Wed": the new "%W" is not scanned again.
    EXPECT_EQ(ExpandTimeFormat("%%W", Time(2024, 3, 13, 0, 0, 0, 3)), "%Wed");
    // "%%" is no token; the second '%' still starts "%Y".
    EXPECT_EQ(ExpandTimeFormat("%%Y", kFriday), "%2024");
    EXPECT_EQ(ExpandTimeFormat("\\\\n", kFriday), "\\\n");
}

TEST(ExpandTimeFormatTest, TokensNeverStartInsideAMultiByteCharacter) {
    // In CP932 the second byte of 表 is a backslash; followed by n it must
    // not become a line feed.
    EXPECT_EQ(ExpandTimeFormat("表n", kFriday), "表n");
    EXPECT_EQ(ExpandTimeFormat("表\\n%w", kFriday), "表\n金");
    EXPECT_EQ(ExpandTimeFormat("ソ%s能", kFriday), "ソ05能");
}

TEST(ExpandTimeFormatTest, OutOfRangeTimeFieldsStayWellDefined) {
    std::tm t = kFriday;
    t.tm_wday = -1;
    t.tm_year = 2147483647;
    EXPECT_EQ(ExpandTimeFormat("%W%w", t), "Sat土");
    EXPECT_EQ(ExpandTimeFormat("%Y", t), "2147485547");
}

// ----- drawing -------------------------------------------------------------

constexpr std::uint8_t kGrey = 128;

struct Rgb {
    int r, g, b;
};

// A frame filled with grey, drawn into, and read back in picture
// coordinates (top row first).
class Canvas {
public:
    explicit Canvas(FrameFormat format)
        : surface_(*DrawingSurface::Create(format, format.SizeBytes())) {
        std::uint8_t* p = surface_.Pixels();
        for (std::size_t i = 0; i < surface_.SizeBytes(); ++i) p[i] = kGrey;
    }
    DrawingSurface& surface() { return surface_; }
    const FrameFormat& format() const { return surface_.Format(); }
    std::vector<std::uint8_t> Bytes() const {
        return {surface_.Pixels(), surface_.Pixels() + surface_.SizeBytes()};
    }
    Rgb At(int x, int y) const {
        const std::uint8_t* p =
            surface_.Pixels() +
            static_cast<std::size_t>(format().height - 1 - y) * format().Stride() + x * 3;
        return {p[2], p[1], p[0]};
    }

private:
    DrawingSurface surface_;
};

struct Region {
    int count = 0;
    int min_x = 1 << 30, min_y = 1 << 30, max_x = -1, max_y = -1;
    double sum_x = 0, sum_y = 0;
    void Add(int x, int y) {
        ++count;
        min_x = std::min(min_x, x);
        min_y = std::min(min_y, y);
        max_x = std::max(max_x, x);
        max_y = std::max(max_y, y);
        sum_x += x;
        sum_y += y;
    }
    double cx() const { return sum_x / count; }
    double cy() const { return sum_y / count; }
};

template <class Pred>
Region Find(const Canvas& c, Pred pred, int top = 0, int bottom = -1) {
    Region region;
    if (bottom < 0) bottom = c.format().height;
    for (int y = top; y < bottom; ++y) {
        for (int x = 0; x < c.format().width; ++x) {
            if (pred(c.At(x, y))) region.Add(x, y);
        }
    }
    return region;
}

bool White(Rgb p) { return p.r > 200 && p.g > 200 && p.b > 200; }
bool Black(Rgb p) { return p.r < 60 && p.g < 60 && p.b < 60; }
bool Changed(Rgb p) { return p.r != kGrey || p.g != kGrey || p.b != kGrey; }

DiarySettings TextSettings(const std::string& format) {
    DiarySettings s;
    s.TIME_FORMAT = format;
    // Named, not left to the machine's fallback: pixel positions differ
    // between faces.
    s.FONT_NAME = "IPAGothic";
    s.FONT_SIZE = 24;
    s.FONT_BOLD = true;
    s.TEXT_XPOS = 5;
    s.TEXT_YPOS = 5;
    s.TEXT_COLOR = 0xFFFFFF;
    s.SHOW_SHADOW = false;
    s.SHADOW_COLOR = 0;
    return s;
}

Canvas Draw(const DiarySettings& s, FrameFormat format = {158, 120}) {
    Canvas canvas(format);
    DrawTimeText(canvas.surface(), kFriday, s);
    return canvas;
}

TEST(DrawTimeTextTest, WhiteTextWithShadowDownRightNearTheTopLeft) {
    DiarySettings s = TextSettings("HH%s");
    s.SHOW_SHADOW = true;
    s.SHADOW_XPOS = 1;
    s.SHADOW_YPOS = 1;
    const Canvas c = Draw(s);

    const Region white = Find(c, White);
    const Region black = Find(c, Black);
    ASSERT_GT(white.count, 30);
    ASSERT_GT(black.count, 10);
    // Upright at the top-left, although the rows are stored bottom-up.
    EXPECT_GE(white.min_x, 5);
    EXPECT_GE(white.min_y, 5);
    EXPECT_LE(white.min_x, 9);
    EXPECT_LE(white.max_y, 5 + 24);
    EXPECT_EQ(Find(c, Changed, c.format().height / 2).count, 0);
    // The visible shadow is the lower-right fringe of the text.
    EXPECT_GT(black.cx(), white.cx());
    EXPECT_GT(black.cy(), white.cy());
    EXPECT_GE(black.min_x, white.min_x);
    EXPECT_GE(black.min_y, white.min_y);
    EXPECT_EQ(black.max_x, white.max_x + 1);
    EXPECT_EQ(black.max_y, white.max_y + 1);
}

TEST(DrawTimeTextTest, ShadowWithoutOffsetIsCoveredAndOffShadowDrawsNone) {
    DiarySettings s = TextSettings("HH%s");
    s.SHOW_SHADOW = true;
    s.SHADOW_XPOS = 0;
    s.SHADOW_YPOS = 0;
    const Canvas covered = Draw(s);
    EXPECT_GT(Find(covered, White).count, 30);
    EXPECT_EQ(Find(covered, Black).count, 0);

    s.SHOW_SHADOW = false;
    s.SHADOW_XPOS = 3;
    EXPECT_EQ(Find(Draw(s), Black).count, 0);
}

TEST(DrawTimeTextTest, ColoursAreBlueGreenRedValues) {
    DiarySettings s = TextSettings("HH");
    s.TEXT_COLOR = 0x0000FF;  // red
    const Canvas c = Draw(s);
    const Region red = Find(c, [](Rgb p) { return p.r > 220 && p.g < 40 && p.b < 40; });
    EXPECT_GT(red.count, 20);
    EXPECT_EQ(Find(c, [](Rgb p) { return p.b > 160; }).count, 0);
}

TEST(DrawTimeTextTest, NothingOutsideThePictureAndRowPaddingUntouched) {
    // Width 158: every row ends in two padding bytes.
    DiarySettings s = TextSettings("HHHHHHHHHHHHHHHHHHHH\\nH\\nH\\nH\\nH\\nH\\nH");
    s.SHOW_SHADOW = true;
    s.TEXT_XPOS = 150;
    s.TEXT_YPOS = 100;
    const Canvas c = Draw(s);
    EXPECT_GT(Find(c, Changed).count, 0);
    const Region changed = Find(c, Changed);
    EXPECT_GE(changed.min_x, 150);
    EXPECT_GE(changed.min_y, 100);
    const auto bytes = c.Bytes();
    for (int row = 0; row < c.format().height; ++row) {
        const std::size_t end = static_cast<std::size_t>(row) * c.format().Stride() + 158 * 3;
        EXPECT_EQ(bytes[end], kGrey);
        EXPECT_EQ(bytes[end + 1], kGrey);
    }
}

TEST(DrawTimeTextTest, TextOutsideThePictureChangesNoPixel) {
    const std::vector<std::uint8_t> untouched = Canvas({158, 120}).Bytes();
    DiarySettings s = TextSettings("HHHH");
    s.SHOW_SHADOW = true;
    for (auto [x, y] : {std::pair{158, 5}, {1000, 5}, {5, 120}, {-100000, 5}, {5, -2147483647}}) {
        s.TEXT_XPOS = x;
        s.TEXT_YPOS = y;
        EXPECT_EQ(Draw(s).Bytes(), untouched) << x << "," << y;
    }
    // The shadow offset is not a way around the bounds either.
    s.TEXT_XPOS = 2147483647;
    s.SHADOW_XPOS = 2147483647;
    EXPECT_EQ(Draw(s).Bytes(), untouched);
}

TEST(DrawTimeTextTest, LinesBreakAtCrLfOrCrLfAndStartAtTheLeftEdge) {
    DiarySettings s = TextSettings("HH\\nHH");
    s.TEXT_XPOS = 20;
    const Canvas lf = Draw(s);
    const Region first = Find(lf, White, 0, 5 + 24);
    const Region second = Find(lf, White, 5 + 24, 120);
    ASSERT_GT(first.count, 20);
    ASSERT_GT(second.count, 20);
    EXPECT_NEAR(second.min_x, first.min_x, 1);
    EXPECT_NEAR(second.max_x, first.max_x, 1);

    s.TIME_FORMAT = "HH\\rHH";
    EXPECT_EQ(Draw(s).Bytes(), lf.Bytes());
    s.TIME_FORMAT = "HH\\r\\nHH";
    EXPECT_EQ(Draw(s).Bytes(), lf.Bytes());
    s.TIME_FORMAT = "HH\\n\\nHH";
    EXPECT_GT(Find(Draw(s), White, 5 + 48, 120).count, 20);
}

TEST(DrawTimeTextTest, AmpersandUnderlinesTheNextCharacterAndTwoDrawOne) {
    const Region plain = Find(Draw(TextSettings("AB")), White);
    const Region prefixed = Find(Draw(TextSettings("A&B")), White);
    const Region doubled = Find(Draw(TextSettings("A&&B")), White);
    // The underline lies below the baseline, under B only.
    EXPECT_GT(prefixed.max_y, plain.max_y);
    EXPECT_NEAR(prefixed.max_x, plain.max_x, 1);
    EXPECT_EQ(prefixed.min_x, plain.min_x);
    // One ampersand is drawn: wider than AB, no underline.
    EXPECT_GT(doubled.max_x, plain.max_x + 5);
    EXPECT_LE(doubled.max_y, plain.max_y + 1);
}

TEST(TimeTextFontTest, CellHeightFaceNameCutAndStyle) {
    DiarySettings s;
    s.FONT_NAME = "IPAPGothic";  // proportional, and installed with the program
    s.FONT_SIZE = 30;
    s.FONT_BOLD = true;
    s.FONT_ITALIC = true;
    const QFont font = TimeTextFont(s);
    EXPECT_NEAR(QFontMetricsF(font).height(), 30.0, 1.0);
    // The fixed-pitch hint does not trade the named face for another.
    EXPECT_EQ(QFontInfo(font).family(), "IPAPGothic");
    EXPECT_EQ(font.weight(), QFont::Bold);
    EXPECT_TRUE(font.italic());
    EXPECT_FALSE(font.underline());
    s.FONT_BOLD = false;
    s.FONT_ITALIC = false;
    EXPECT_EQ(TimeTextFont(s).weight(), QFont::Normal);
    EXPECT_FALSE(TimeTextFont(s).italic());

    s.FONT_NAME = std::string(40, 'x');
    EXPECT_EQ(TimeTextFont(s).families().at(0), QString(31, 'x'));
    std::string japanese;
    for (int i = 0; i < 20; ++i) japanese += "ゴ";
    s.FONT_NAME = japanese;
    EXPECT_EQ(TimeTextFont(s).families().at(0).size(), 15);  // 30 CP932 bytes
}

TEST(TimeTextFontTest, ZeroNegativeAndAbsurdSizes) {
    DiarySettings s = TextSettings("HH");
    s.FONT_SIZE = -20;  // GDI: the em height
    EXPECT_EQ(TimeTextFont(s).pixelSize(), 20);
    s.FONT_SIZE = 0;  // GDI: a default size
    const Canvas default_size = Draw(s);
    EXPECT_GT(Find(default_size, White).count, 10);
    // The most negative height has no em height to negate into.
    s.FONT_SIZE = -2147483647 - 1;
    EXPECT_TRUE(Draw(s).Bytes() == default_size.Bytes());
    // Huge heights may draw a giant glyph or nothing, but never above or left
    // of where the text starts.
    for (int size : {100000, 2147483647}) {
        s.FONT_SIZE = size;
        const Region changed = Find(Draw(s), Changed);
        EXPECT_GE(changed.min_x, 5) << size;
        EXPECT_GE(changed.min_y, 5) << size;
    }
}

TEST(TimeTextFontTest, WindowsJapaneseFacesDrawAsTheirIpaFaces) {
    const std::pair<const char*, const char*> faces[] = {
        {"ＭＳ ゴシック", "IPAGothic"},    {"MS Gothic", "IPAGothic"},
        {"ＭＳ Ｐゴシック", "IPAPGothic"}, {"MS UI Gothic", "IPAPGothic"},
        {"ＭＳ 明朝", "IPAMincho"},        {"ＭＳ Ｐ明朝", "IPAPMincho"},
    };
    for (const auto& [windows_face, ipa_face] : faces) {
        DiarySettings s = TextSettings("%Y/%M/%D(%w) 明朝ゴシック Wij");
        s.FONT_NAME = ipa_face;
        ASSERT_EQ(QFontInfo(TimeTextFont(s)).family().toStdString(), ipa_face) << "not installed";
        const Canvas direct = Draw(s);
        s.FONT_NAME = windows_face;
        EXPECT_EQ(QFontInfo(TimeTextFont(s)).family().toStdString(), ipa_face) << windows_face;
        EXPECT_TRUE(Draw(s).Bytes() == direct.Bytes()) << windows_face;
    }
    // The comparison tells faces apart.
    DiarySettings gothic = TextSettings("%Y/%M/%D(%w) 明朝ゴシック Wij");
    DiarySettings mincho = gothic;
    mincho.FONT_NAME = "IPAMincho";
    EXPECT_TRUE(Draw(gothic).Bytes() != Draw(mincho).Bytes());
}

TEST(TimeTextFontTest, MissingFaceStillDrawsJapanese) {
    DiarySettings s = TextSettings("%w");  // 金
    s.FONT_NAME = "No Such Face Anywhere";
    const Region glyph = Find(Draw(s), White);
    EXPECT_GT(glyph.count, 30);
    EXPECT_GE(glyph.max_x - glyph.min_x, 12);
}

}  // namespace
