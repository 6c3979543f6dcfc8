#include "app/message_prompt.h"
#include "app/program.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    QApplication application(argc, argv);
    QApplication::setApplicationName(TForm1::MainCaption);
    MessagePrompt prompt;
    InstallPrompt(&prompt);
    int result = 0;
    {
        NavixProgram program;
        // Closing the main window ends the program, whatever tool or editor window is still open.
        QObject::connect(&program.Form1, &TForm1::Closed, &application, &QApplication::quit,
                         Qt::QueuedConnection);
        program.Show();
        result = application.exec();
    }
    InstallPrompt(nullptr);
    return result;
}
