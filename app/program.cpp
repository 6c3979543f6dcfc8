#include "program.h"

NavixProgram::NavixProgram()
{
    Form1.SetAboutBox(&Form2);
    Form1.searchWindow = &Form3;
    Form1.SetPacingDialog(&Form5);
}

void NavixProgram::Show()
{
    Form1.show();
}
