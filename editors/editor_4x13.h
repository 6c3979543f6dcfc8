#pragma once
// Window of the single-value sensor modules 4113 .. 4613 (Navix 755, 756, 742, 743, PKR-2, PKR-1): one window
// class for all six, told apart by the type id its turn (Turn4x13) is named with. The window shows the
// sensor's caption, range item and value and offers offset and span calibration on the sensors that take
// one (the temperature and humidity sensors come calibrated from the factory).

#include "analog_input_editor.h"
#include "turn_4x13.h"

namespace navix {

class TForm1x : public AnalogInputEditor
{
    Q_OBJECT
public:
    explicit TForm1x(Workspace &workspace, QWidget *parent = nullptr);

    void OffsetButtonClick() override;
    void SpanButtonClick() override;

protected:
    void ApplySettingsLayout(bool settingsShown) override;
    void FormShow() override;

private:
    TForm1x(Workspace &workspace, Turn4x13 &turn, QWidget *parent);
    // Caption, range item and calibration buttons of the sensor the turn was named with.
    void ShowSensor();
    void OpenDialog(CalibrationCode code, const QString &kind, const QString &message);

    Turn4x13 &sensorTurn;
};

} // namespace navix
