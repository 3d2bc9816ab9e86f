#include "app/ui/about_dlg.h"

#include <QLabel>
#include <QMouseEvent>

#include "version.h"

CAboutDlg::CAboutDlg(QWidget* parent) : QDialog(parent, Qt::Dialog | Qt::FramelessWindowHint)
{
    setObjectName(QStringLiteral("aboutDialog"));
    const QPixmap picture(QStringLiteral(":/images/bitmap136.png"));
    auto* background = new QLabel(this);
    background->setPixmap(picture);
    background->setGeometry(0, 0, picture.width(), picture.height());
    setFixedSize(picture.size());

    version_ = new QLabel(VersionLabelText(), this);
    version_->setObjectName(QStringLiteral("ctl_1016"));
    QFont font(QStringLiteral("Arial"), 12);
    font.setBold(true);
    version_->setFont(font);
    version_->setAlignment(Qt::AlignRight | Qt::AlignBottom);
    version_->setAttribute(Qt::WA_TranslucentBackground);
    QPalette palette = version_->palette();
    palette.setColor(QPalette::WindowText, QColor(0, 52, 99));
    version_->setPalette(palette);
    version_->setGeometry(picture.width() - 200, picture.height() - 58, 188, 48);
    // Clicks on the label close the box too.
    version_->setAttribute(Qt::WA_TransparentForMouseEvents);
    background->setAttribute(Qt::WA_TransparentForMouseEvents);
}

QString CAboutDlg::VersionLabelText()
{
    return QStringLiteral("Version 2.1\nBuild %1.%2.%3")
        .arg(TWINLARK_VERSION_MAJOR)
        .arg(TWINLARK_VERSION_MINOR)
        .arg(TWINLARK_VERSION_PATCH);
}

void CAboutDlg::mouseReleaseEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton)
        accept();
    else
        QDialog::mouseReleaseEvent(event);
}
