#include "platform/automation_errors.h"

QString ComStatusText(ComStatus status)
{
    return QStringLiteral("0x%1").arg(static_cast<std::uint32_t>(status), 8, 16, QLatin1Char('0')).toUpper().replace(
        QLatin1String("0X"), QLatin1String("0x"));
}

COleException::COleException(ComStatus status)
    : status_(status), text_("automation call failed with status " + ComStatusText(status).toStdString())
{
}

COleDispatchException::COleDispatchException(AutomationExceptionInfo info)
    : info_(std::move(info)),
      text_("automation server error " + ComStatusText(info_.code).toStdString() + " from " +
            info_.source.toStdString() + ": " + info_.description.toStdString())
{
}
