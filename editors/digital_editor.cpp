#include "digital_editor.h"

#include "editor_controls.h"

#include "bus/text.h"

#include <QGridLayout>
#include <QHBoxLayout>

DigitalEditorWindow::DigitalEditorWindow(Workspace &workspace, const EditorDesign &design,
                                         const DigitalDesign &digital, QWidget *parent)
    : ModuleEditorWindow(workspace, design, parent)
{
    auto *channels = new QGridLayout;
    for (int n = 1; n <= digital.channelCount; ++n) {
        auto *panel = new OutputPanel(n - 1, &DataAreaBox);
        panel->setObjectName("Panel" + QString::number(n));
        auto *edit = new QLineEdit(&DataAreaBox);
        edit->setObjectName("Edit" + QString::number(n));
        edit->setFrame(false);
        SetUpNameEdit(*edit);
        edit->setText(digital.channelStem + QString::number(n));
        panel->setAccessibleName(edit->text());
        connect(edit, &QLineEdit::textChanged, panel, &QWidget::setAccessibleName);
        channels->addWidget(panel, n - 1, 0);
        channels->addWidget(edit, n - 1, 1);
        panels.append(panel);
        channelEdits.append(edit);
    }
    AddDataRow(channels);

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

void DigitalEditorWindow::SetCaptions(const QStringList &captions)
{
    for (int i = 0; i < channelEdits.size() && i < captions.size(); ++i)
        channelEdits[i]->setText(captions[i]);
}

QStringList DigitalEditorWindow::Captions() const
{
    QStringList captions;
    for (const QLineEdit *edit : channelEdits)
        captions.append(edit->text());
    return captions;
}

void DigitalEditorWindow::ShowOutputs(int value)
{
    for (OutputPanel *panel : panels) {
        const bool bit = (value >> panel->Tag()) & 1;
        if (panel->IsOn() != bit)
            panel->Toggle();
    }
}

int DigitalEditorWindow::PanelValue() const
{
    int value = 0;
    for (int k = 0; k < panels.size(); ++k)
        if (panels[k]->IsOn())
            value |= 1 << k;
    return value;
}

int DigitalEditorWindow::ReplyState(const QByteArray &reply)
{
    const QByteArray digits = Copy(reply, 2, 2);
    const int value = HexToInt(digits);
    return digits.size() == 2 && value <= 0xFF ? value : -1;
}
