#pragma once

#include <QCoreApplication>
#include <QTimer>
#include <array>
#include <optional>
#include <string>
#include <vector>

#include "schedule/recording_hours.h"
#include "settings/ui/extra_setup_dialog.h"

class Clock;
class Prompts;
class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class ScheduleBars;
class SpinEdit;

// The "スケジュール" tab: [SCHEDULE] as texts, with what they mean drawn
// and said back while they are edited: today's and tomorrow's recording
// hours with the sun, the next change of state, the place in words and the
// keys that cannot be read. OK is refused while one cannot.
class SchedulePage final : public SettingsPage {
    Q_DECLARE_TR_FUNCTIONS(SchedulePage)

public:
    SchedulePage(Prompts& prompts, Clock& clock, QWidget* parent = nullptr);

    QString Title() const override;
    void Load(const DiarySettings& settings) override;
    bool Validate() override;
    void Store(DiarySettings& settings) const override;

protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    struct Weekday {
        QCheckBox* own = nullptr;
        QLineEdit* hours = nullptr;
    };

    // The sentence under the bars: "録画中。19:00 に休止します".
    static QString NextChangeText(const RecordingHours& hours, std::time_t now);
    // "北緯 52.52°、東経 13.41°", or why there is no place.
    static QString PlaceText(const ScheduleSettings& fields, const RecordingHours& hours);
    // The section as the controls read now; SKIP_DARK_BELOW from `base`
    // when its text is not a number.
    ScheduleSettings Fields(const ScheduleSettings& base) const;
    // Everything that follows the texts, for the time on the clock now.
    void Refresh();
    QWidget* FieldOf(const std::string& key) const;

    Prompts& prompts_;
    Clock& clock_;
    QLineEdit* hours_ = nullptr;
    std::array<Weekday, 7> weekdays_{};  // Monday first, as in the file
    QComboBox* mode_ = nullptr;
    QLineEdit* latitude_ = nullptr;
    QLineEdit* longitude_ = nullptr;
    QLabel* place_ = nullptr;
    QCheckBox* interval_ = nullptr;
    QCheckBox* motion_ = nullptr;
    QCheckBox* release_camera_ = nullptr;
    QCheckBox* align_interval_ = nullptr;
    QCheckBox* skip_dark_motion_ = nullptr;
    QLineEdit* at_ = nullptr;
    SpinEdit* skip_dark_below_ = nullptr;
    ScheduleBars* bars_ = nullptr;
    QLabel* next_change_ = nullptr;
    QLabel* problems_ = nullptr;

    std::vector<ScheduleProblem> problems_found_;
    bool loading_ = false;
    // The state changes with the time too, not only with the texts.
    QTimer tick_;
};
