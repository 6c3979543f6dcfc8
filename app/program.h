#pragma once
// The windows of the program, created once at start in this order: the main window, the about box, the search
// window, the terminal, the memory utilities window, the calibration dialogs, the pacing dialog, the
// loading window and the compare window. Only the main window is shown; the others are shown from its menus
// and hidden again, and live until the program ends. The program wires them: the main window's wishes (its
// signals) go to the windows that fulfil them.

#include "about_box.h"
#include "main_window.h"
#include "pacing_dialog.h"

#include "config/loading_window.h"
#include "editors/calibration_dialogs.h"
#include "search/search_window.h"
#include "tools/compare_window.h"
#include "tools/memory_window.h"
#include "tools/terminal_window.h"

namespace navix {

class NavixProgram
{
public:
    NavixProgram();

    void Show();

    TForm1 Form1;
    TForm2 Form2{Form1};
    TForm3 Form3{Form1};
    TForm4 Form4{Form1};
    TForm6 Form6{Form1};
    CalibrationDialogSet Calibrations; // TForm7 and TForm8
    TForm5 Form5{Form1.Engine()};
    TForm9 Form9; // loading progress of a module configuration file
    CompareWindow Compare{Form1};
};

} // namespace navix
