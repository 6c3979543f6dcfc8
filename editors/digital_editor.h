#pragma once
// The part the digital module windows share: a column of channel panels, each with an editable channel name
// beside it, and the data field that shows all channels as two hexadecimal digits. The panels and the field
// show what the turn (DigitalTurn) reports.

#include "digital_turns.h"
#include "editor_window.h"
#include "output_panel.h"

#include <QLabel>
#include <QLineEdit>
#include <QList>

namespace navix {

class DigitalEditorWindow : public ModuleEditorWindow
{
    Q_OBJECT
public:
    DigitalEditorWindow(Workspace &workspace, const EditorDesign &design, DigitalTurn &turn,
                        QWidget *parent = nullptr);

protected:
    // Brings every panel whose caption differs from its bit of channels to the other state.
    void ShowChannels(int channels);

    const QList<OutputPanel *> &Panels() const { return panels; }
    const QList<QLineEdit *> &ChannelEdits() const { return channelEdits; }

    QLineEdit DataEdit;
    QLabel Label1;

private:
    void BuildChannelRows(int channelCount);
    void BuildDataRow();

    QList<OutputPanel *> panels;
    QList<QLineEdit *> channelEdits;
};

} // namespace navix
