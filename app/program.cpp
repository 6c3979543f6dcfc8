#include "program.h"

#include "trends/trend_window.h"

namespace navix {

namespace {
void Present(QWidget &window)
{
    window.show();
    window.raise();
    window.activateWindow();
}
} // namespace

NavixProgram::NavixProgram()
{
    QObject::connect(&Form1, &TForm1::AboutWanted, &Form2, [this] { Present(Form2); });
    QObject::connect(&Form1, &TForm1::SearchWanted, &Form3, [this] { Present(Form3); });
    QObject::connect(&Form1, &TForm1::TerminalWanted, &Form4, [this] { Present(Form4); });
    QObject::connect(&Form1, &TForm1::PacingWanted, &Form5, [this] { Present(Form5); });
    QObject::connect(&Form1, &TForm1::MemoryUtilitiesWanted, &Form6, &TForm6::HandOver);
    QObject::connect(&Form1, &TForm1::TrendWanted, &Form1,
                     [this](TrendFeed *feed) { ShowTrendWindow(*feed, &Form1); });
    QObject::connect(&Form1, &TForm1::LoadStarted, &Form9, &QWidget::show);
    QObject::connect(&Form1, &TForm1::ModuleLoading, &Form9, &TForm9::ShowModule);
    QObject::connect(&Form1, &TForm1::LoadEnded, &Form9, &QWidget::hide);
    QObject::connect(&Form9, &TForm9::Cancel, &Form1, &TForm1::CancelLoad);
    QObject::connect(&Form1, &TForm1::CompareWanted, &Compare,
                     [this](const QString &fileName, const QList<ModuleRecordPtr> &modules) {
                         Compare.TakeFile(fileName, modules);
                         Present(Compare);
                     });
}

void NavixProgram::Show()
{
    Form1.show();
}

} // namespace navix
