#include "editor_4021.h"

#include "calibration_dialogs.h"
#include "editor_controls.h"

#include "bus/text.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QSignalBlocker>

namespace {
constexpr int FirstRangeCode = 30; // "30" = 0 to 20 mA
constexpr int RangeFourToTwenty = 1;
constexpr int RangeZeroToTenVolts = 2;
constexpr int FormatPercent = 1;
constexpr int FormatHexadecimal = 2;
constexpr int ScrollLargeStep = 100;
constexpr int WindowHeight = 277;
constexpr int StatusBoxHeight = 228;

const QStringList OutputRangeItems = {"0 to 20 mA", "4 to 20 mA", "0 to 10 V"};
const QStringList OutputRangeTexts = {"0-20 mA", "4-20 mA", "0-10 V"};
const QStringList DataFormatItems = {"Engineering units", "% of FSR", "Hexadecimal"};
const QStringList SlewRateItems = {
    "Immediate chance",      "0,0625 V/s  0,125 mA/s", "0,125 V/s  0,250 mA/s", "0,250 V/s  0,500 mA/s",
    "0,500 V/s  1,000 mA/s", "1,000 V/s  2,000 mA/s",  "2,000 V/s  4,000 mA/s", "4,000 V/s  8,000 mA/s",
    "8,000 V/s  16,00 mA/s", "16,00 V/s  32,00 mA/s",  "32,00 V/s  64,00 mA/s", "64,00 V/s  128,0 mA/s"};

// Data characters of a read reply by data format: "dd.ddd", "sddd.dd", "hhh".
int DataLengthOf(int dataFormat)
{
    switch (dataFormat) {
    case FormatPercent:
        return 7;
    case FormatHexadecimal:
        return 3;
    default:
        return 6;
    }
}
} // namespace

TForm60::TForm60(Workspace &workspace, QWidget *parent)
    : ModuleEditorWindow(workspace,
                         EditorDesign{.typeNumber = "4060",
                                      .baudrateComboName = "Baudrate21ComboBox",
                                      .caption = "Navix 780",
                                      .modelLabel = "N780"},
                         parent)
{
    setObjectName("TForm60");
    BuildDataArea();
    BuildSettings();
}

void TForm60::BuildDataArea()
{
    DesriptionEdit.setObjectName("DesriptionEdit");
    DesriptionEdit.setText("Vystup");
    SetUpNameEdit(DesriptionEdit);
    AddDataWidget(&DesriptionEdit);

    SetUpLabel(OutRanLabel, "OutRanLabel", "Output range :");
    SetUpReadOnlyEdit(OutRanEdit, "OutRanEdit");
    SetUpLabel(DataLabel, "DataLabel", "Current readback :");
    SetUpReadOnlyEdit(DataEdit, "DataEdit");
    SetUpLabel(LastvalueLabel, "LastvalueLabel", "Last value readback :");
    SetUpReadOnlyEdit(LastvalueEdit, "LastvalueEdit");
    SetUpLabel(SetValueLabel, "SetValueLabel", "Set value :");
    SetUpReadOnlyEdit(SetValueEdit, "SetValueEdit");
    auto *values = new QGridLayout;
    int row = 0;
    for (auto [label, edit] :
         {std::pair{&OutRanLabel, &OutRanEdit}, std::pair{&DataLabel, &DataEdit},
          std::pair{&LastvalueLabel, &LastvalueEdit}, std::pair{&SetValueLabel, &SetValueEdit}}) {
        values->addWidget(label, row, 0);
        values->addWidget(edit, row, 1);
        label->setBuddy(edit);
        ++row;
    }
    AddDataRow(values);

    SetUpLabel(MinLabel, "MinLabel", "Min");
    SetUpLabel(MaxLabel, "MaxLabel", "Max");
    ScrollBar1.setObjectName("ScrollBar1");
    ScrollBar1.setOrientation(Qt::Horizontal);
    ScrollBar1.setPageStep(ScrollLargeStep);
    ScrollBar1.setMinimumWidth(160);
    auto *scrollRow = new QHBoxLayout;
    scrollRow->addWidget(&MinLabel);
    scrollRow->addWidget(&ScrollBar1, 1);
    scrollRow->addWidget(&MaxLabel);
    AddDataRow(scrollRow);

    SetUpButton(Cal4mAButton, "Cal4mAButton", "&4 mA Cal.");
    SetUpButton(Cal20mAButton, "Cal20mAButton", "&20 mA Cal.");
    SetUpButton(TrimCalButton, "TrimCalButton", "&Trim Cal.");
    auto *buttonRow = new QHBoxLayout;
    buttonRow->addWidget(&Cal4mAButton);
    buttonRow->addWidget(&Cal20mAButton);
    buttonRow->addWidget(&TrimCalButton);
    AddDataRow(buttonRow);

    connect(&ScrollBar1, &QScrollBar::valueChanged, this, &TForm60::ScrollBar1Change);
    connect(&Cal4mAButton, &QPushButton::clicked, this, &TForm60::Cal4mAButtonClick);
    connect(&Cal20mAButton, &QPushButton::clicked, this, &TForm60::Cal20mAButtonClick);
    connect(&TrimCalButton, &QPushButton::clicked, this, &TForm60::TrimCalButtonClick);
}

void TForm60::BuildSettings()
{
    AddSettingComboBox(OutputRangeLabel, "OutputRangeLabel", "Out ran :", OutputRange21ComboBox,
                       "OutputRange21ComboBox", OutputRangeItems);
    AddSettingComboBox(DataFormatLabel, "DataFormatLabel", "Data form :", DataFormat21ComboBox,
                       "DataFormat21ComboBox", DataFormatItems);
    AddSettingComboBox(SlewRateLabel, "SlewRateLabel", "Slew rate :", SlewRateComboBox, "SlewRateComboBox",
                       SlewRateItems);
}

bool &TForm60::BusyFlag()
{
    static bool busy = false;
    return busy;
}

void TForm60::SetCaptions(const QStringList &captions)
{
    if (!captions.isEmpty())
        DesriptionEdit.setText(captions.first());
}

QStringList TForm60::Captions() const
{
    return {DesriptionEdit.text()};
}

// Configuration

void TForm60::ShowTypeConfig(const QByteArray &config)
{
    reportedRangeCode = Copy(config, 3, 2);
    bool isNumber = false;
    const int rangeCode = reportedRangeCode.toInt(&isNumber, 10);
    const int rangeIndex = isNumber ? rangeCode - FirstRangeCode : -1;
    ShowStoredItem(OutputRange21ComboBox, rangeIndex);
    OutRanEdit.setText(OutputRangeTexts.value(rangeIndex));

    const QByteArray bits = HexToBits(Copy(config, 7, 2));
    reportedSlewRate = BitsToInt(Copy(bits, 3, 4));
    reportedDataFormat = BitsToInt(Copy(bits, 7, 2));
    ShowStoredItem(SlewRateComboBox, reportedSlewRate);
    ShowStoredItem(DataFormat21ComboBox, reportedDataFormat);

    dataLength = DataLengthOf(reportedDataFormat);
    SetUpScrollBar(reportedDataFormat, rangeIndex);
}

void TForm60::SetUpScrollBar(int dataFormat, int rangeIndex)
{
    int minimum = 0;
    int maximum = 20000;
    if (dataFormat == FormatPercent) {
        scrollMode = ScrollMode::PercentOfRange;
        maximum = 10000;
    } else if (dataFormat == FormatHexadecimal) {
        scrollMode = ScrollMode::Hexadecimal;
        maximum = 4095;
    } else {
        scrollMode = ScrollMode::EngineeringUnits;
        if (rangeIndex == RangeFourToTwenty)
            minimum = 4000;
        else if (rangeIndex == RangeZeroToTenVolts)
            maximum = 10000;
    }
    {
        // Setting up the range is no choice of the user: nothing waits to be written.
        const QSignalBlocker blocker(ScrollBar1);
        ScrollBar1.setRange(minimum, maximum);
        ScrollBar1.setValue(minimum);
    }
    ShowSetValueText();
    setValuePending = false;
    // The module's output keeps whatever it drives now; the editor reads it back before it shows a set value
    // as the module's own.
    outputUnread = true;
}

QByteArray TForm60::TypeCode() const
{
    const int index = ItemIndex(OutputRange21ComboBox);
    return index >= 0 ? QByteArray::number(index + FirstRangeCode) : reportedRangeCode;
}

int TForm60::TypeFormatBits() const
{
    const int slewIndex = ItemIndex(SlewRateComboBox);
    const int formatIndex = ItemIndex(DataFormat21ComboBox);
    const int slewRate = slewIndex >= 0 ? slewIndex : reportedSlewRate;
    const int dataFormat = formatIndex >= 0 ? formatIndex : reportedDataFormat;
    return (slewRate & 0x0F) << 2 | (dataFormat & 0x03);
}

// Set value

void TForm60::ScrollBar1Change()
{
    ShowSetValueText();
    setValuePending = true;
    ++setValueGeneration;
}

void TForm60::ShowSetValueText()
{
    const int position = ScrollBar1.value();
    QString text;
    switch (scrollMode) {
    case ScrollMode::EngineeringUnits:
        text = QString::number(position).rightJustified(5, '0');
        text.insert(2, '.');
        break;
    case ScrollMode::PercentOfRange:
        text = QString::number(position).rightJustified(5, '0');
        text.insert(3, '.');
        text.prepend('+');
        break;
    case ScrollMode::Hexadecimal:
        text = FromWire(HexDigits(position, 3));
        break;
    }
    SetValueEdit.setText(text);
}

bool TForm60::AdoptOutputValue(const QByteArray &data)
{
    QByteArray digits = data;
    if (const qsizetype plus = Pos('+', digits))
        Delete(digits, plus, 1);
    if (const qsizetype point = Pos('.', digits))
        Delete(digits, point, 1);
    int value = 0;
    bool isNumber = false;
    if (scrollMode == ScrollMode::Hexadecimal) {
        value = HexToInt(digits);
        isNumber = !digits.isEmpty() && value != 99999;
    } else {
        value = digits.toInt(&isNumber, 10);
    }
    // A garbled read leaves the set value as it was.
    if (!isNumber)
        return false;
    // The module's own value is shown, not chosen: it is never written back.
    {
        const QSignalBlocker blocker(ScrollBar1);
        ScrollBar1.setValue(value);
    }
    SetValueEdit.setText(FromWire(data));
    return true;
}

QByteArray TForm60::ReplyData(const QByteArray &reply) const
{
    return Copy(reply, 4, dataLength);
}

// The poll turn

void TForm60::SendTypeCommand(const QByteArray &command, int expectedLength, char startChar, Phase4021 next)
{
    typePhase = next;
    Send(command, expectedLength, startChar, EditorPhase::TypePhase);
}

bool TForm60::FirmwareAskedStep(const QByteArray &reply)
{
    ShowFirmware(reply);
    SendFirstRead();
    return false;
}

void TForm60::SendDataQuery()
{
    typePhase = Phase4021::None;
    Send(Command('$', "8"), dataLength + 4, '!', EditorPhase::DataAsked);
}

void TForm60::ShowData(const QByteArray &reply)
{
    DataEdit.setText(FromWire(ReplyData(reply)));
}

bool TForm60::SendPendingCalibration()
{
    QByteArray command;
    if (calibrationRequest == Calibrate4mA)
        command = Command('$', "0");
    else if (calibrationRequest == Calibrate20mA)
        command = Command('$', "1");
    else if (calibrationRequest == 0 && trimRequest != 0) {
        command = Command('$', '3' + HexByte(trimRequest));
        trimRequest = 0;
    }
    // Each request is carried out once, whatever the module answers.
    calibrationRequest = 0;
    if (command.isEmpty())
        return false;
    typePhase = Phase4021::CalibrationSent;
    SendCalibration(command);
    return true;
}

void TForm60::SendFirstRead()
{
    SendTypeCommand(Command('$', "6"), dataLength + 4, '!', Phase4021::FirstReadAsked);
}

bool TForm60::IdleStep(const QByteArray &)
{
    if (setValuePending) {
        writtenGeneration = setValueGeneration;
        typePhase = Phase4021::None;
        Send(Command('#', ToWire(SetValueEdit.text())), 2, '>', EditorPhase::WriteSent);
    } else if (outputUnread) {
        SendFirstRead();
    } else {
        SendDataQuery();
    }
    return false;
}

bool TForm60::WriteSentStep(const QByteArray &)
{
    // A value picked while the write was under way still waits for its own write.
    if (setValueGeneration == writtenGeneration)
        setValuePending = false;
    // The output now drives what the user chose; the read that follows shows what the module took.
    outputUnread = false;
    SendTypeCommand(Command('$', "6"), dataLength + 4, '!', Phase4021::LastValueAsked);
    return false;
}

bool TForm60::ConfigSentStep(const QByteArray &reply)
{
    const bool turnOver = ModuleEditorWindow::ConfigSentStep(reply);
    // Also an unanswered configuration may have reached the module: its output is read back again before
    // anything is shown as its value.
    outputUnread = true;
    return turnOver;
}

bool TForm60::TypePhaseStep(const QByteArray &reply)
{
    switch (typePhase) {
    case Phase4021::FirstReadAsked:
        return FirstReadAskedStep(reply);
    case Phase4021::LastValueAsked:
        return LastValueAskedStep(reply);
    case Phase4021::CalibrationSent:
        return CalibrationSentStep(reply);
    case Phase4021::None:
        break;
    }
    SetPhase(EditorPhase::Idle);
    return true;
}

bool TForm60::FirstReadAskedStep(const QByteArray &reply)
{
    // Without the module's value the turn ends; the next one asks again.
    if (reply.isEmpty()) {
        typePhase = Phase4021::None;
        SetPhase(EditorPhase::Idle);
        return true;
    }
    const QByteArray data = ReplyData(reply);
    DataEdit.setText(FromWire(data));
    LastvalueEdit.setText(FromWire(data));
    // A value the user picked meanwhile stands and goes out on the next turn.
    if (!setValuePending && AdoptOutputValue(data))
        outputUnread = false;
    SendDataQuery();
    return false;
}

bool TForm60::LastValueAskedStep(const QByteArray &reply)
{
    if (!reply.isEmpty())
        LastvalueEdit.setText(FromWire(ReplyData(reply)));
    ShowCommunicationStatus(!reply.isEmpty());
    SendDataQuery();
    return false;
}

bool TForm60::CalibrationSentStep(const QByteArray &reply)
{
    typePhase = Phase4021::None;
    return FinishCalibration(reply);
}

// Calibration buttons

void TForm60::Cal4mAButtonClick()
{
    OpenCalibrationDialog(this, calibrationRequest, Calibrate4mA,
                          CalibrationCaption("4mA", ModelLabel(), StoredAddress()),
                          "Stores the current output value as 4mA.");
}

void TForm60::Cal20mAButtonClick()
{
    OpenCalibrationDialog(this, calibrationRequest, Calibrate20mA,
                          CalibrationCaption("20mA", ModelLabel(), StoredAddress()),
                          "Stores the current output value as 20mA.");
}

void TForm60::TrimCalButtonClick()
{
    if (AnyCalibrationDialogVisible())
        return;
    TForm8 &dialog = TrimDialog();
    dialog.SetTarget(this, trimRequest);
    dialog.setWindowTitle("Trim Calibration N780 (" + FromWire(HexByte(StoredAddress())) + ")");
    dialog.show();
}

// Layout

void TForm60::ApplySettingsLayout(bool settingsShown)
{
    ModuleEditorWindow::ApplySettingsLayout(settingsShown);
    // This window keeps the wider margin in both states and a fixed height, unless its controls need more.
    StatusBox.resize(StatusBox.width(), qMax(StatusBoxHeight, StatusBox.height()));
    const int windowWidth = StatusBox.width() + 22;
    const int windowHeight = qMax(WindowHeight, StatusBox.geometry().bottom() + 9);
    GroupBox1.setGeometry(0, 0, windowWidth, windowHeight);
    setFixedSize(windowWidth, windowHeight);
}

void TForm60::FormShow()
{
    ClearBusyFlag();
    ModuleEditorWindow::FormShow();
}
