#pragma once
// Window of the type 4017 module (Navix 770): eight analog inputs with their enable boxes, values and channel
// names, the range text, and the zero and span calibrations. Its turn (Turn4017) reads the channels and
// writes the mask the user ticked.

#include "editor_window.h"
#include "turn_4017.h"

#include <array>

namespace navix {

class TForm50 : public ModuleEditorWindow
{
    Q_OBJECT
public:
    explicit TForm50(Workspace &workspace, QWidget *parent = nullptr);

    // A click on the enable box of a channel (0..7).
    void CheckBoxClick(int channel);
    void ZeroButtonClick();
    void SpanButtonClick();

protected:
    void ShowTypeConfig() override;
    void ApplySettingsLayout(bool settingsShown) override;

private:
    TForm50(Workspace &workspace, Turn4017 &turn, QWidget *parent);
    void BuildChannels();
    void BuildDataArea();
    void BuildSettings();
    void ShowChannelBoxes(int mask);
    void OpenDialog(CalibrationCode code, const QString &kind, const QString &message);

    Turn4017 &channels;
    // Data area: CheckBox1..CheckBox8, the values Edit1..Edit8 and the channel names Edit9..Edit16.
    std::array<QCheckBox, Turn4017::ChannelCount> EnableBoxes;
    std::array<QLineEdit, Turn4017::ChannelCount> ValueEdits;
    std::array<QLineEdit, Turn4017::ChannelCount> NameEdits;
    QLabel FormatLabel;
    QLineEdit FormatEdit;
    QPushButton ZeroButton;
    QPushButton SpanButton;
    // Settings.
    QLabel InputRangeLabel;
    QComboBox InputRange17ComboBox;
    QLabel DataFormatLabel;
    QComboBox DataFormat17ComboBox;
    QLabel IntgrTimeLabel;
    QComboBox IntgrTimeComboBox;
};

} // namespace navix
