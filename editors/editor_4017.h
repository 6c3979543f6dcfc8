#pragma once
// Editor of the type 4017 module (Navix 770): eight analog inputs, each of which the module can switch on or
// off. The editor shows the settings, lets the user switch channels, reads every enabled channel once a
// turn, and runs the zero and span calibrations.
//
// A turn: the channel mask, one read per enabled channel in ascending order, then a pending configuration or
// calibration. A channel switched by the user is written as a new mask at the start of the next turn; until
// then the boxes keep what the user ticked.

#include "editor_window.h"
#include "input_format.h"

#include <array>

class TForm50 : public ModuleEditorWindow
{
    Q_OBJECT
public:
    // The phases of this type beyond the common ones.
    enum class Phase4017 { None, MaskAsked, ChannelAsked, MaskSent, CalibrationSent };
    static constexpr int ChannelCount = 8;
    // Calibration requests of the zero and span buttons.
    static constexpr int CalibrateZero = 1;
    static constexpr int CalibrateSpan = 2;

    explicit TForm50(Workspace &workspace, QWidget *parent = nullptr);

    void SetCaptions(const QStringList &captions) override;
    QStringList Captions() const override;

    // A click on the enable box of a channel (0..7).
    void CheckBoxClick(int channel);
    void ZeroButtonClick();
    void SpanButtonClick();

    Phase4017 TypePhase() const { return typePhase; }
    int ChannelMask() const { return channelMask; }
    int CurrentChannel() const { return currentChannel; }
    bool ChannelChanged() const { return channelChanged; }
    int CalibrationRequest() const { return calibrationRequest; }
    // The mask the enable boxes show, as two hexadecimal digits.
    QByteArray MaskFromBoxes() const;

    // Data area: CheckBox1..CheckBox8, the values Edit1..Edit8 and the channel names Edit9..Edit16.
    std::array<QCheckBox, ChannelCount> EnableBoxes;
    std::array<QLineEdit, ChannelCount> ValueEdits;
    std::array<QLineEdit, ChannelCount> NameEdits;
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

protected:
    bool &BusyFlag() override;
    bool IdleStep(const QByteArray &reply) override;
    bool TypePhaseStep(const QByteArray &reply) override;
    void SendDataQuery() override;

    void ShowTypeConfig(const QByteArray &config) override;
    QByteArray TypeCode() const override;
    int TypeFormatBits() const override;

    void ApplySettingsLayout(bool settingsShown) override;
    void FormShow() override;

private:
    void BuildDataArea();
    void BuildSettings();
    void SendTypeCommand(const QByteArray &command, int expectedLength, char startChar, Phase4017 next);
    bool MaskAskedStep(const QByteArray &reply);
    bool ChannelAskedStep(const QByteArray &reply);
    bool MaskSentStep();
    // Reads the next enabled channel from this one on, blanking the disabled ones on the way; false when no
    // enabled channel is left.
    bool ScanChannels(int from);
    // After the last read of a turn: a pending configuration or calibration, else the turn ends.
    bool EndOfScan();
    bool SendPendingCalibration() override;
    void OpenDialog(int requestCode, const QString &kind, const QString &message);

    Phase4017 typePhase = Phase4017::None;
    int channelMask = 0;
    int currentChannel = 0;
    bool channelChanged = false;
    // Counts the clicks on the enable boxes, so that a mask write clears the flag only for what it wrote.
    int channelClicks = 0;
    int writtenClicks = 0;
    int calibrationRequest = 0;
    // The range code and format bits as the module reported them, written back while no item stands for them.
    QByteArray reportedRangeCode = "08";
    InputFormat reportedFormat;
};
