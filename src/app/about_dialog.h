#pragma once

#include <QCoreApplication>
#include <QDialog>
#include <QPixmap>

// "Quillomat - バージョン情報": a frameless box showing the preview's
// placeholder picture with the version text; a left click anywhere (or
// Escape) closes it.
class CAboutDialog : public QDialog {
    Q_DECLARE_TR_FUNCTIONS(CAboutDialog)

public:
    explicit CAboutDialog(QWidget* parent = nullptr);

    // The version text drawn into the box.
    static QString AboutText();

protected:
    void paintEvent(QPaintEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    QPixmap bitmap_;
};
