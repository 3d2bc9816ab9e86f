#pragma once
#include <QDialog>

class QLabel;

// The borderless about box: the product picture with the version in its lower right corner.
// A click anywhere closes it.
class CAboutDlg : public QDialog {
    Q_OBJECT
public:
    explicit CAboutDlg(QWidget* parent = nullptr);

    // "Version 2.1\nBuild a.b.c" from the compiled-in product version.
    static QString VersionLabelText();
    QLabel* VersionLabel() const { return version_; }

protected:
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    QLabel* version_;
};
