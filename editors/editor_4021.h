#pragma once
// Editor of the type 4021 module (Navix 780): one analog output. The scroll bar picks the output value, which
// is written on the editor's next turn; the module's last written value and its present output are read back.
// The 4 mA, 20 mA and trim calibrations are asked for through the shared calibration dialogs and sent on the
// next turn, each waiting the raised time-out for the module's answer.
//
// A turn: the first one reads the firmware and the last value, which the scroll bar adopts; later ones write
// a set value the user picked and read it back; every turn ends with the present output read and then a
// pending configuration, calibration or trim. Only the user's own choice is ever written: after a
// configuration, or while the first read has not been answered, the output is read back and adopted again.

#include "editor_window.h"

#include <QScrollBar>

class TForm60 : public ModuleEditorWindow
{
    Q_OBJECT
public:
    // How the scroll bar's position reads as a value: by the module's data format.
    enum class ScrollMode { EngineeringUnits, PercentOfRange, Hexadecimal };
    // The phases of this type beyond the common ones.
    enum class Phase4021 { None, FirstReadAsked, LastValueAsked, CalibrationSent };
    // Calibration requests of the 4 mA and 20 mA buttons.
    static constexpr int Calibrate4mA = 1;
    static constexpr int Calibrate20mA = 2;

    explicit TForm60(Workspace &workspace, QWidget *parent = nullptr);

    void SetCaptions(const QStringList &captions) override;
    QStringList Captions() const override;

    void ScrollBar1Change();
    void Cal4mAButtonClick();
    void Cal20mAButtonClick();
    void TrimCalButtonClick();

    int DataLength() const { return dataLength; }
    ScrollMode Mode() const { return scrollMode; }
    Phase4021 TypePhase() const { return typePhase; }
    bool SetValuePending() const { return setValuePending; }
    int CalibrationRequest() const { return calibrationRequest; }
    int TrimRequest() const { return trimRequest; }

    // Settings.
    QLabel OutputRangeLabel;
    QComboBox OutputRange21ComboBox;
    QLabel DataFormatLabel;
    QComboBox DataFormat21ComboBox;
    QLabel SlewRateLabel;
    QComboBox SlewRateComboBox;
    // Data area.
    QLineEdit DesriptionEdit;
    QLabel OutRanLabel;
    QLineEdit OutRanEdit;
    QLabel DataLabel;
    QLineEdit DataEdit;
    QLabel LastvalueLabel;
    QLineEdit LastvalueEdit;
    QLabel SetValueLabel;
    QLineEdit SetValueEdit;
    QLabel MinLabel;
    QScrollBar ScrollBar1;
    QLabel MaxLabel;
    QPushButton Cal4mAButton;
    QPushButton Cal20mAButton;
    QPushButton TrimCalButton;

protected:
    bool &BusyFlag() override;
    bool FirmwareAskedStep(const QByteArray &reply) override;
    bool WriteSentStep(const QByteArray &reply) override;
    bool IdleStep(const QByteArray &reply) override;
    bool ConfigSentStep(const QByteArray &reply) override;
    bool TypePhaseStep(const QByteArray &reply) override;
    void SendDataQuery() override;
    void ShowData(const QByteArray &reply) override;

    void ShowTypeConfig(const QByteArray &config) override;
    QByteArray TypeCode() const override;
    int TypeFormatBits() const override;

    void ApplySettingsLayout(bool settingsShown) override;
    void FormShow() override;

private:
    void BuildDataArea();
    void BuildSettings();
    void SetUpScrollBar(int dataFormat, int rangeIndex);
    // The data of a read reply: n characters from position 4.
    QByteArray ReplyData(const QByteArray &reply) const;
    // The set value text of the scroll bar's position.
    void ShowSetValueText();
    // Shows a value read from the module as the set value, without making it one to write; a text that reads
    // as no number leaves the set value as it was (false).
    bool AdoptOutputValue(const QByteArray &data);
    // The last value read-back whose answer the scroll bar adopts.
    void SendFirstRead();
    void SendTypeCommand(const QByteArray &command, int expectedLength, char startChar, Phase4021 next);
    // A calibration or trim waiting for this turn: sent with the raised time-out; false when none waits.
    bool SendPendingCalibration() override;
    bool FirstReadAskedStep(const QByteArray &reply);
    bool LastValueAskedStep(const QByteArray &reply);
    bool CalibrationSentStep(const QByteArray &reply);

    Phase4021 typePhase = Phase4021::None;
    ScrollMode scrollMode = ScrollMode::EngineeringUnits;
    int dataLength = 6;
    bool setValuePending = false;
    // The module's output has not been read back since the editor opened or last configured it.
    bool outputUnread = true;
    // Counts the value texts produced, so that a write's reply clears only the value that was written.
    int setValueGeneration = 0;
    int writtenGeneration = 0;
    int calibrationRequest = 0;
    int trimRequest = 0;
    // The range code and format bits as the module reported them, written back while no item stands for them.
    QByteArray reportedRangeCode = "30";
    int reportedSlewRate = 0;
    int reportedDataFormat = 0;
};
