#pragma once

#include <QCoreApplication>
#include <QDialog>
#include <QString>
#include <functional>
#include <string>

#include "diary/snapshot.h"

class QFileDialog;
class QLabel;
class QPushButton;

// "Quillomat - スナップショット": the picture of "snap.tmp" at its own size
// (a picture beyond 640 x 480 is cut, not scaled), "保存" and "キャンセル".
class CSnapshotDialog : public QDialog {
    Q_DECLARE_TR_FUNCTIONS(CSnapshotDialog)

public:
    // Runs the prepared save-file dialog; the confirmed path, empty when the
    // user cancelled it. Tests answer without opening it.
    using SaveFileRunner = std::function<QString(QFileDialog& dialog)>;

    CSnapshotDialog(const std::string& stem, const std::string& bitmap_path,
                    QWidget* parent = nullptr, SaveFileRunner run_save_dialog = {});

    // After the dialog ended: the chosen path, empty when discarded.
    const std::string& ChosenPath() const { return chosen_path_; }

    // The save-file dialog as "保存" opens it: default name `stem`.jpg, default
    // extension jpg, the JPEG and all-files filters, overwrite prompt on.
    static void PrepareSaveFileDialog(QFileDialog& dialog, const QString& stem);
    static QString RunSaveFileDialog(QFileDialog& dialog);

    void reject() override;

private:
    void Save();

    std::string stem_;
    std::string chosen_path_;
    SaveFileRunner run_save_dialog_;
    QLabel* picture_;
    QPushButton* save_;
    QPushButton* cancel_;
};

// The snapshot view of the main window: the modal snapshot dialog.
class QtSnapshotView final : public SnapshotView {
public:
    explicit QtSnapshotView(QWidget* parent, CSnapshotDialog::SaveFileRunner run_save_dialog = {})
        : parent_(parent), run_save_dialog_(std::move(run_save_dialog)) {}
    std::string ChooseSnapshotPath(const std::string& bitmap_path,
                                   const std::string& stem) override;

private:
    QWidget* parent_;
    CSnapshotDialog::SaveFileRunner run_save_dialog_;
};
