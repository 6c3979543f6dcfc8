// navix-cli: the Navix module bus from a shell, on the utility's engine, search and configuration files.

#include "cli/cli_commands.h"

#include <QCoreApplication>

using namespace navix;

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName("navix-cli");
    QCoreApplication::setApplicationVersion("1.2");
    return RunCommandLine(QCoreApplication::arguments());
}
