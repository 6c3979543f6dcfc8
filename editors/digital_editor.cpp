#include "digital_editor.h"

#include "editor_controls.h"

#include <QGridLayout>
#include <QHBoxLayout>

namespace navix {

DigitalEditorWindow::DigitalEditorWindow(Workspace &workspace, const EditorDesign &design, DigitalTurn &turn,
                                         QWidget *parent)
    : ModuleEditorWindow(workspace, design, turn, parent)
{
    BuildChannelRows(turn.ChannelCount());
    BuildDataRow();
    connect(&turn, &DigitalTurn::ChannelsShown, this, &DigitalEditorWindow::ShowChannels);
    connect(&turn, &DigitalTurn::DataTextShown, this, TextShower(DataEdit));
}

void DigitalEditorWindow::BuildChannelRows(int channelCount)
{
    auto *channels = new QGridLayout;
    for (int n = 1; n <= channelCount; ++n) {
        auto *panel = new OutputPanel(n - 1, &DataAreaBox);
        panel->setObjectName("Panel" + QString::number(n));
        auto *edit = new QLineEdit(&DataAreaBox);
        edit->setObjectName("Edit" + QString::number(n));
        edit->setFrame(false);
        AddCaptionEdit(*edit, n - 1);
        panel->setAccessibleName(edit->text());
        connect(edit, &QLineEdit::textChanged, panel, &QWidget::setAccessibleName);
        channels->addWidget(panel, n - 1, 0);
        channels->addWidget(edit, n - 1, 1);
        panels.append(panel);
        channelEdits.append(edit);
    }
    AddDataRow(channels);
}

void DigitalEditorWindow::BuildDataRow()
{
    DataEdit.setObjectName("DataEdit");
    DataEdit.setText("FF");
    Label1.setObjectName("Label1");
    Label1.setText("Hex");
    Label1.setBuddy(&DataEdit);
    auto *dataRow = new QHBoxLayout;
    dataRow->addWidget(&DataEdit);
    dataRow->addWidget(&Label1);
    dataRow->addStretch();
    AddDataRow(dataRow);
}

void DigitalEditorWindow::ShowChannels(int channels)
{
    for (OutputPanel *panel : panels) {
        const bool bit = (channels >> panel->Tag()) & 1;
        if (panel->IsOn() != bit)
            panel->Toggle();
    }
}

} // namespace navix
