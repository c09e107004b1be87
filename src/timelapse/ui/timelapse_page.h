#pragma once

#include <QCoreApplication>
#include <cstdint>

#include "settings/ui/extra_setup_dialog.h"

class Prompts;
class QCheckBox;
class SpinEdit;

// The "タイムラプス" tab: [TIMELAPSE] MAKE and FPS (1 to 60).
class TimelapsePage final : public SettingsPage {
    Q_DECLARE_TR_FUNCTIONS(TimelapsePage)

public:
    explicit TimelapsePage(Prompts& prompts, QWidget* parent = nullptr);

    QString Title() const override;
    void Load(const DiarySettings& settings) override;
    bool Validate() override;
    void Store(DiarySettings& settings) const override;

private:
    Prompts& prompts_;
    QCheckBox* make_ = nullptr;
    SpinEdit* fps_ = nullptr;
    std::int32_t checked_fps_ = 25;
};
