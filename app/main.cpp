#include <QCoreApplication>

#include "app/core/headless_agent.h"

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    HeadlessAgent agent;
    agent.Start();
    return app.exec();
}
