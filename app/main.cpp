#include <QApplication>

#include "app/core/log_file.h"

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    LogFile log;
    log.WriteLogLine(QStringLiteral("Init TwinLark.."));
    return 0;
}
