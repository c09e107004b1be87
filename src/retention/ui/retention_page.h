#pragma once

#include <QCoreApplication>
#include <cstdint>
#include <string>
#include <thread>

#include "platform/stop_signal.h"
#include "retention/diary_outlook.h"
#include "settings/ui/extra_setup_dialog.h"

class Clock;
class Prompts;
class QLabel;
class SpinEdit;

// The "保存期間" tab: KEEP_DAYS (0 to 36500), KEEP_MAX_MB and KEEP_FREE_MB
// (0 to 2147483647), the save folder's free space and, at the rate of the
// last seven days, about how many days of pictures still fit. The folder is
// looked at on a thread of the tab's own, so that a large diary on a slow
// disk never holds up the dialog.
class RetentionPage final : public SettingsPage {
    Q_DECLARE_TR_FUNCTIONS(RetentionPage)

public:
    RetentionPage(Prompts& prompts, Clock& clock, QWidget* parent = nullptr);
    // Stops the look at the folder and waits for it (it ends between two files).
    ~RetentionPage() override;

    QString Title() const override;
    void Load(const DiarySettings& settings) override;
    bool Validate() override;
    void Store(DiarySettings& settings) const override;

private:
    void LookAt(const std::string& save_folder, const std::string& day_page);
    void StopLooking();
    void Show(const DiaryOutlook& outlook);

    Prompts& prompts_;
    Clock& clock_;
    SpinEdit* days_ = nullptr;
    SpinEdit* max_mb_ = nullptr;
    SpinEdit* free_mb_ = nullptr;
    QLabel* free_space_ = nullptr;
    QLabel* days_that_fit_ = nullptr;
    std::int32_t checked_days_ = 0;
    std::int32_t checked_max_mb_ = 0;
    std::int32_t checked_free_mb_ = 0;

    // The look under way; its result is shown only when it is the latest.
    std::thread looking_;
    StopSignal stop_looking_;
    std::uint64_t look_number_ = 0;
};
