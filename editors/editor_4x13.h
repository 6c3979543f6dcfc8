#pragma once
// Editor of the single-value sensor modules 4113 .. 4613 (Navix 755, 756, 742, 743, PKR-2, PKR-1): one
// window class for all six, told apart by the type id of the module record. Each sensor has one fixed
// measuring range; the editor shows the settings, polls the value and offers offset and span calibration on
// the sensors that take one (the temperature and humidity sensors come calibrated from the factory).
//
// A turn: the first one reads the firmware, every turn reads the value, then sends a pending configuration
// or calibration.

#include "analog_input_editor.h"

class TForm1x : public AnalogInputEditor
{
    Q_OBJECT
public:
    // The phases of this type beyond the common ones.
    enum class Phase4x13 { None, CalibrationSent };
    // Calibration requests of the span and offset buttons.
    static constexpr int CalibrateSpan = 1;
    static constexpr int CalibrateOffset = 2;

    explicit TForm1x(Workspace &workspace, QWidget *parent = nullptr);

    // The main window names the sensor before the configuration is shown.
    void SetModuleName(const QByteArray &typeId) override;
    // Caption, model label, range item and calibration buttons by type id; an unknown type id changes
    // nothing.
    void SetSubType(const QByteArray &typeId);

    void OffsetButtonClick() override;
    void SpanButtonClick() override;

    int SubType() const { return subType; }
    Phase4x13 TypePhase() const { return typePhase; }
    int CalibrationRequest() const { return calibrationRequest; }

protected:
    bool &BusyFlag() override;
    bool TypePhaseStep(const QByteArray &reply) override;
    void SendDataQuery() override;
    void ShowData(const QByteArray &reply) override;

    void ApplySettingsLayout(bool settingsShown) override;
    void FormShow() override;

private:
    // A calibration waiting for this turn: sent with the raised time-out; false when none waits.
    bool SendPendingCalibration() override;
    void OpenDialog(int requestCode, const QString &kind, const QString &message);

    int subType = 0; // row of the sensor table, 1..6; 0 until the type id is known
    Phase4x13 typePhase = Phase4x13::None;
    int calibrationRequest = 0;
};
