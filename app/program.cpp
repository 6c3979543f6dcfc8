#include "program.h"

NavixProgram::NavixProgram()
{
    Form1.SetAboutBox(&Form2);
    Form1.searchWindow = &Form3;
    Form1.terminalWindow = &Form4;
    Form1.SetMemoryUtilities(
        [this](const QByteArray &address, bool checksum) { Form6.HandOver(address, checksum); });
    Form1.SetPacingDialog(&Form5);
    Form1.SetLoadingWindow(&Form9);
}

void NavixProgram::Show()
{
    Form1.show();
}
