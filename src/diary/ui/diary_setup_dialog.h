#pragma once

#include <QCoreApplication>
#include <QDialog>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "capture/preview_graph.h"
#include "diary/ui/motion_thread.h"
#include "settings/diary_settings.h"

class C2DPushGraph;
class Clock;
class DataExchange;
class PreviewView;
class Prompts;
class QCheckBox;
class QLineEdit;
class QPushButton;
class SharedSettings;
class SpinEdit;

struct DiarySetupServices {
    // Its DIARY fields (except ONAIR) are what the dialog edits.
    SharedSettings& settings;
    Prompts& prompts;
    Clock& clock;
    // False lists the test devices only (tests).
    bool system_devices = true;
    // The folder browser: the chosen folder's path, or nullopt. Unset: a
    // folders-only QFileDialog.
    std::function<std::optional<std::string>(QWidget* owner)> choose_folder;
};

// "キャプチャ設定": the save folder, the storing interval and the motion
// settings, with a live picture of its own preview graph and a motion graph
// drawn by its motion thread. Lives as long as the main window and is shown
// modally; every opening builds the preview graph, every closing releases it.
// The fields are exchanged with the dialog's own copy of the settings, which
// reaches them only through an OK or an "適用" whose checks all passed;
// "参照" fills in the folder field only, and Cancel stores nothing.
class CDiarySetupDialog : public QDialog {
    Q_DECLARE_TR_FUNCTIONS(CDiarySetupDialog)

public:
    explicit CDiarySetupDialog(DiarySetupServices services, QWidget* parent = nullptr);
    ~CDiarySetupDialog() override;

    // Called before every opening.
    void SetDeviceInfo(const std::string& name, std::int32_t width, std::int32_t height,
                       std::int64_t frame_time);

    void StartMotionThread();
    void StopMotionThread();
    // Only while the motion thread is stopped.
    void ResetMotionGraph();

    // true: controls into the dialog's copy, with the checks (a failed one
    // leaves the copy as the framework would); false: the copy into the
    // controls. False when a check failed.
    bool UpdateData(bool save_and_validate);

    // "参照" and "適用".
    void OnBrowse();
    void OnApply();

    C2DPushGraph* MotionGraph() const { return graph_; }
    PreviewView* LivePicture() const { return live_picture_; }
    const MotionThread& Motion() const { return motion_; }
    bool PreviewReady() const { return preview_.ready(); }
    // Checks the motion thread began since the dialog was made.
    int ChecksMade() const { return checks_.load(); }
    const PreviewDeviceSettings& DeviceInfo() const { return device_; }

    static constexpr std::uint32_t kScoreColour = 0x00FF00;
    static constexpr std::uint32_t kLevelColour = 0x00FFFF;
    static constexpr std::uint32_t kGridColour = 0x165D29;

protected:
    void showEvent(QShowEvent* event) override;
    void accept() override;
    void done(int result) override;

private:
    void OnInitDialog();
    void Exchange(DataExchange& dx, DiarySettings& s);
    // The copy's DIARY fields into the settings.
    void Commit();
    void PlaceGraph();

    DiarySetupServices services_;
    DiarySettings edit_;
    PreviewDeviceSettings device_;
    // Before the preview graph: its release stops the motion thread.
    MotionThread motion_;
    PreviewGraph preview_;
    bool open_ = false;
    std::atomic<int> checks_{0};

    QLineEdit* folder_ = nullptr;
    QPushButton* browse_ = nullptr;
    SpinEdit* hours_ = nullptr;
    SpinEdit* minutes_ = nullptr;
    SpinEdit* seconds_ = nullptr;
    QCheckBox* motion_detect_ = nullptr;
    SpinEdit* level_ = nullptr;
    SpinEdit* update_ = nullptr;
    SpinEdit* least_interval_ = nullptr;
    QPushButton* apply_ = nullptr;
    PreviewView* live_picture_ = nullptr;
    C2DPushGraph* graph_ = nullptr;
    QRect graph_rect_;
};

// The least storing interval, level and check period with which "適用"
// starts the motion thread again.
bool MotionValuesAllowRestart(const DiarySettings& s);
