#include "app/ui/message_box.h"

#include <QGuiApplication>
#include <QMessageBox>

#include "core/log_file.h"

bool IsScreenlessPlatform()
{
    const QString platform = QGuiApplication::platformName();
    return platform == QLatin1String("offscreen") || platform == QLatin1String("minimal");
}

QMessageBox* OpenMessageBox(const QString& text)
{
    auto* box = new QMessageBox(QMessageBox::Information, QStringLiteral("TwinLark"), text, QMessageBox::Ok);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->open();
    return box;
}

void ShowMessageBox(const QString& text, LogFile* log)
{
    if (IsScreenlessPlatform()) {
        if (log) log->WriteLogLine(text);
        return;
    }
    OpenMessageBox(text);
}
