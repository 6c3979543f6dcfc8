#include "app/app_icon.h"
#include "app/message_prompt.h"
#include "app/program.h"
#include "bus/network_port_store.h"

#include <QApplication>

using namespace navix;

int main(int argc, char *argv[])
{
    QApplication application(argc, argv);
    QApplication::setApplicationName(TForm1::MainCaption);
    // Lets the desktop match the windows to the program's menu entry and icon.
    QApplication::setDesktopFileName(ApplicationId);
    QApplication::setWindowIcon(ApplicationIcon());
    MessagePrompt prompt;
    InstallPrompt(&prompt);
    int result = 0;
    {
        NavixProgram program;
        NetworkPortStore networkPorts;
        program.Form1.SetNetworkPortStore(&networkPorts);
        // Closing the main window ends the program, whatever tool or editor window is still open.
        QObject::connect(&program.Form1, &TForm1::Closed, &application, &QApplication::quit,
                         Qt::QueuedConnection);
        program.Show();
        result = application.exec();
    }
    InstallPrompt(nullptr);
    return result;
}
