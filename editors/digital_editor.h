#pragma once
// The part the digital module editors share: a column of channel panels, each with an editable channel name
// beside it, and the data field that shows all channels as two hexadecimal digits. The data query is the
// framework's "$AA6"; the channel state is positions 2-3 of its reply.

#include "editor_window.h"
#include "output_panel.h"

#include <QLabel>
#include <QLineEdit>
#include <QList>

struct DigitalDesign
{
    int channelCount = 8;
    QString channelStem; // default channel names: stem + number
};

class DigitalEditorWindow : public ModuleEditorWindow
{
    Q_OBJECT
public:
    DigitalEditorWindow(Workspace &workspace, const EditorDesign &design, const DigitalDesign &digital,
                        QWidget *parent = nullptr);

    void SetCaptions(const QStringList &captions) override;
    QStringList Captions() const override;

    // Brings every panel whose caption differs from its bit of value to the other state.
    void ShowOutputs(int value);
    // All panels in the order of creation, the k-th contributing 2 to the power k when it shows "1".
    int PanelValue() const;

    const QList<OutputPanel *> &Panels() const { return panels; }
    const QList<QLineEdit *> &ChannelEdits() const { return channelEdits; }

    QLineEdit DataEdit;
    QLabel Label1;

protected:
    // The channel state of a data reply, or -1 when positions 2-3 are no hexadecimal byte.
    static int ReplyState(const QByteArray &reply);

private:
    QList<OutputPanel *> panels;
    QList<QLineEdit *> channelEdits;
};
