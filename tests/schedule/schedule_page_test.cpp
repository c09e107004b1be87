#include "schedule/ui/schedule_page.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTabWidget>
#include <cstdlib>
#include <ctime>
#include <optional>
#include <ostream>
#include <string>

#include "controls/spin_edit.h"
#include "platform/prompts.h"
#include "schedule/schedule_settings.h"
#include "schedule/ui/schedule_bars.h"
#include "settings/shared_settings.h"
#include "support/fake_clock.h"
#include "support/local_time.h"

// Readable failures: gtest finds these by the types' namespace.
void PrintTo(const QString& text, std::ostream* out) { *out << '"' << text.toStdString() << '"'; }
void PrintTo(const RecordingSpan& span, std::ostream* out) {
    *out << '[' << span.begin << ", " << span.end << ')';
}

namespace {

class NoteTakingPrompts final : public Prompts {
public:
    void ShowMessage(const std::string& text) override { messages.push_back(text); }
    bool AskYesNo(const std::string&) override { return true; }
    std::vector<std::string> messages;
};

template <class T>
T* Find(const QWidget& page, const char* name) {
    T* found = page.findChild<T*>(QString::fromLatin1(name));
    EXPECT_NE(found, nullptr) << name;
    return found;
}

ScheduleSettings Stored(const SchedulePage& page) {
    DiarySettings out;
    page.Store(out);
    return out.Section<ScheduleSettings>();
}

TEST(SchedulePage, StoresEveryKeyAsLoadedAndTheDefaultsAsDefaults) {
    ScopedTimeZone zone("Europe/Berlin");
    FakeClock clock(LocalTime(2024, 3, 15, 12));
    NoteTakingPrompts prompts;
    SchedulePage page(prompts, clock);

    ScheduleSettings full;
    full.HOURS = "sunrise-00:30-sunset";
    full.MON = "08:00-12:00";
    full.TUE = "";  // present and empty: no range begins that day
    full.THU = " 09:00-10:00 ";
    full.FRI = "22:00-06:00";
    full.SAT = "sunrise-12:00";
    full.SUN = "10:00-11:00,14:00-15:00";
    full.MODE = "outside";
    full.LATITUDE = "-33.87";
    full.LONGITUDE = "151.21";
    full.INTERVAL = false;
    full.MOTION = false;
    full.RELEASE_CAMERA = true;
    full.AT = "12:00,sunset";
    full.ALIGN_INTERVAL = true;
    full.SKIP_DARK_BELOW = 40;
    full.SKIP_DARK_MOTION = true;
    DiarySettings with_full;
    with_full.Section<ScheduleSettings>() = full;

    page.Load(with_full);
    EXPECT_EQ(Stored(page), full);
    auto* place = Find<QLabel>(page, "place");
    EXPECT_EQ(place->text(), QStringLiteral("南緯 33.87°、東経 151.21°"));

    // Nothing of the page before is left by a load of the defaults, and they
    // store as they were (nothing new goes into setup.ini).
    page.Load(DiarySettings{});
    EXPECT_EQ(Stored(page), ScheduleSettings{});
    DiarySettings out;
    page.Store(out);
    EXPECT_TRUE(out == DiarySettings{});
    EXPECT_EQ(place->text(), QStringLiteral("場所が設定されていません"));

    // A MODE the tab has no words for stays as written until one is chosen.
    full.MODE = "Outside ";
    with_full.Section<ScheduleSettings>() = full;
    page.Load(with_full);
    EXPECT_EQ(Stored(page).MODE, "Outside ");
    auto* mode = Find<QComboBox>(page, "MODE");
    mode->setCurrentIndex(0);
    EXPECT_EQ(Stored(page).MODE, "during");
    page.Load(DiarySettings{});
    EXPECT_EQ(mode->count(), 2);

    // A weekday's box makes its key present; its text is then kept even empty.
    page.Load(with_full);
    Find<QCheckBox>(page, "MON_own")->setChecked(false);
    Find<QCheckBox>(page, "WED_own")->setChecked(true);
    const ScheduleSettings edited = Stored(page);
    EXPECT_EQ(edited.MON, std::nullopt);
    EXPECT_EQ(edited.WED, std::optional<std::string>(""));
    EXPECT_EQ(edited.TUE, std::optional<std::string>(""));

    // The place said back: a sign error shows as the other hemisphere.
    Find<QLineEdit>(page, "LONGITUDE")->setText(QStringLiteral("-0.1276"));
    EXPECT_EQ(place->text(), QStringLiteral("南緯 33.87°、西経 0.13°"));
    Find<QLineEdit>(page, "LATITUDE")->setText(QStringLiteral("north"));
    EXPECT_EQ(place->text(), QStringLiteral("場所が読めません"));

    EXPECT_EQ(Find<QLineEdit>(page, "HOURS")->accessibleName(), QStringLiteral("録画する時間"));
    EXPECT_EQ(Find<QCheckBox>(page, "MON_own")->accessibleName(), QStringLiteral("月: 個別に設定"));
    EXPECT_EQ(Find<SpinEdit>(page, "SKIP_DARK_BELOW")->accessibleName(),
              QStringLiteral("暗い画像を保存しない明るさ"));
}

TEST(SchedulePage, DrawsTodayAndTomorrowSaysTheNextChangeAndRefusesWhatItCannotRead) {
    ScopedTimeZone zone("Europe/Berlin");
    SharedSettings settings;
    settings.Update([](DiarySettings& s) { s.Section<ScheduleSettings>().HOURS = "07:00-19:00"; });
    // Saturday noon; summer time begins on Sunday.
    FakeClock clock(LocalTime(2024, 3, 30, 12));
    NoteTakingPrompts prompts;
    CExtraSetupDialog dialog(settings);
    auto* page = new SchedulePage(prompts, clock);
    dialog.AddPage(page);
    auto* hours = Find<QLineEdit>(*page, "HOURS");
    auto* sunday = Find<QCheckBox>(*page, "SUN_own");
    auto* mode = Find<QComboBox>(*page, "MODE");
    auto* bars = Find<ScheduleBars>(*page, "bars");
    auto* next_change = Find<QLabel>(*page, "next_change");
    auto* problems = Find<QLabel>(*page, "problems");
    auto* ok = dialog.findChild<QPushButton*>(QStringLiteral("1"));
    ASSERT_TRUE(hours && sunday && mode && bars && next_change && problems && ok);
    EXPECT_EQ(dialog.Tabs()->tabText(0), QStringLiteral("スケジュール"));

    dialog.show();
    EXPECT_EQ(next_change->text(), QStringLiteral("録画中。19:00 に休止します"));
    const auto spans = [&](std::size_t day) { return bars->Days().at(day).spans; };
    ASSERT_EQ(bars->Days().size(), 2u);
    const ScheduleDayBar& saturday = bars->Days()[0];
    const ScheduleDayBar& sunday_bar = bars->Days()[1];
    EXPECT_EQ(std::make_tuple(saturday.caption, saturday.begin, saturday.end),
              std::make_tuple(QStringLiteral("今日"), LocalTime(2024, 3, 30, 0),
                              LocalTime(2024, 3, 31, 0)));
    EXPECT_EQ(
        spans(0),
        (std::vector<RecordingSpan>{{LocalTime(2024, 3, 30, 7), LocalTime(2024, 3, 30, 19)}}));
    // 23 hours, and its 06:00 five hours after midnight.
    EXPECT_EQ(
        std::make_tuple(sunday_bar.caption, sunday_bar.end - sunday_bar.begin,
                        sunday_bar.hour_marks.at(1) - sunday_bar.begin),
        std::make_tuple(QStringLiteral("明日"), std::time_t{23 * 3600}, std::time_t{5 * 3600}));
    EXPECT_EQ(
        spans(1),
        (std::vector<RecordingSpan>{{LocalTime(2024, 3, 31, 7), LocalTime(2024, 3, 31, 19)}}));
    EXPECT_FALSE(bars->Days()[0].sun.has_value());

    Find<QLineEdit>(*page, "LATITUDE")->setText(QStringLiteral("52.52"));
    Find<QLineEdit>(*page, "LONGITUDE")->setText(QStringLiteral("13.41"));
    EXPECT_EQ(Find<QLabel>(*page, "place")->text(), QStringLiteral("北緯 52.52°、東経 13.41°"));
    ASSERT_TRUE(bars->Days()[0].sun.has_value());
    EXPECT_EQ(bars->Days()[0].sun->kind, SunDay::Kind::kRisesAndSets);

    // In the evening, with no hours on Sunday, the next start is Monday's.
    clock.SetWallClock(LocalTime(2024, 3, 30, 20));
    sunday->setChecked(true);
    EXPECT_EQ(next_change->text(), QStringLiteral("休止中。4/1 07:00 に再開します"));
    EXPECT_TRUE(spans(1).empty());
    mode->setCurrentIndex(1);
    EXPECT_EQ(next_change->text(), QStringLiteral("録画中。4/1 07:00 に休止します"));
    EXPECT_EQ(spans(0), (std::vector<RecordingSpan>{
                            {LocalTime(2024, 3, 30, 0), LocalTime(2024, 3, 30, 7)},
                            {LocalTime(2024, 3, 30, 19), LocalTime(2024, 3, 31, 0)}}));
    EXPECT_EQ(spans(1),
              (std::vector<RecordingSpan>{{LocalTime(2024, 3, 31, 0), LocalTime(2024, 4, 1, 0)}}));
    sunday->setChecked(false);
    hours->clear();
    EXPECT_EQ(next_change->text(), QStringLiteral("いつでも記録します"));

    EXPECT_TRUE(problems->isHidden());
    hours->setText(QStringLiteral("25:00-26:00"));
    EXPECT_FALSE(problems->isHidden());
    EXPECT_TRUE(problems->text().startsWith(QStringLiteral("HOURS「25:00-26:00」: ")))
        << problems->text().toStdString();
    ok->click();
    EXPECT_TRUE(dialog.isVisible());
    ASSERT_EQ(prompts.messages.size(), 1u);
    EXPECT_EQ(prompts.messages[0].rfind("スケジュールに使えない設定があります。", 0), 0u)
        << prompts.messages[0];
    hours->setText(QStringLiteral("07:00-19:00"));
    EXPECT_TRUE(problems->isHidden());
    Find<SpinEdit>(*page, "SKIP_DARK_BELOW")->lineEdit()->setText(QStringLiteral("256"));
    ok->click();
    EXPECT_TRUE(dialog.isVisible());
    EXPECT_EQ(prompts.messages.back(), "Please enter an integer between 0 and 255.");
    EXPECT_EQ(settings.Copy().Section<ScheduleSettings>().LATITUDE, "");

    Find<SpinEdit>(*page, "SKIP_DARK_BELOW")->lineEdit()->setText(QStringLiteral("30"));
    ok->click();
    EXPECT_FALSE(dialog.isVisible());
    ScheduleSettings expected;
    expected.HOURS = "07:00-19:00";
    expected.MODE = "outside";
    expected.LATITUDE = "52.52";
    expected.LONGITUDE = "13.41";
    expected.SKIP_DARK_BELOW = 30;
    EXPECT_EQ(settings.Copy().Section<ScheduleSettings>(), expected);
}

}  // namespace
