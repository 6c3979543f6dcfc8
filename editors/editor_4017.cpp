#include "editor_4017.h"

#include "calibration_dialogs.h"
#include "editor_controls.h"

#include "bus/text.h"

#include <QGridLayout>
#include <QHBoxLayout>

namespace {
constexpr int FirstRangeCode = 0x08;  // "08" = +/- 10 V
constexpr int MaskReplyLength = 6;    // "!" + address + two mask digits + CR
constexpr int ChannelReplyLength = 9; // ">" + seven value characters + CR

const QStringList InputRangeItems = {"+/-  10 V",   "+/-     5 V", "+/-      1 V",
                                     "+/-  500 mV", "+/-  150 mV", "+/-    20 mA"};
// The signal the span calibration asks for, by input range.
const QStringList SpanSources = {"+ 10 V", "+ 5 V", "+ 1 V", "+ 500 mV", "+ 150 mV", "+ 20 mA"};
const QStringList DataFormatItems = {"Engineering units"};
const QStringList IntegrationTimeItems = {"50 ms ( 60 Hz power )", "60 ms ( 50 Hz power )"};
} // namespace

TForm50::TForm50(Workspace &workspace, QWidget *parent)
    : ModuleEditorWindow(workspace,
                         EditorDesign{.typeNumber = "4017",
                                      .baudrateComboName = "Baudrate17ComboBox",
                                      .caption = "Navix 770",
                                      .modelLabel = "N770",
                                      .showSettingsName = "ShowSetingCheckBox",
                                      .checkSumText = "Enabled",
                                      .baudrateCount = 5},
                         parent)
{
    setObjectName("TForm50");
    BuildDataArea();
    BuildSettings();
}

void TForm50::BuildDataArea()
{
    auto *channels = new QGridLayout;
    for (int channel = 0; channel < ChannelCount; ++channel) {
        const QString number = QString::number(channel + 1);
        QCheckBox &box = EnableBoxes[channel];
        box.setObjectName("CheckBox" + number);
        box.setAccessibleName("Channel " + number);
        QLineEdit &value = ValueEdits[channel];
        SetUpReadOnlyEdit(value, "Edit" + number);
        MakeSilver(value);
        value.setAccessibleName("Channel " + number + " value");
        QLineEdit &name = NameEdits[channel];
        name.setObjectName("Edit" + QString::number(channel + 1 + ChannelCount));
        name.setText("Vstup " + number);
        MakeSilver(name, true);
        SetUpNameEdit(name);
        name.setAccessibleName("Channel " + number + " name");
        channels->addWidget(&box, channel, 0);
        channels->addWidget(&value, channel, 1);
        channels->addWidget(&name, channel, 2);
        connect(&box, &QCheckBox::clicked, this, [this, channel] { CheckBoxClick(channel); });
    }
    AddDataRow(channels);

    SetUpLabel(FormatLabel, "FormatLabel", "Ran :");
    SetUpReadOnlyEdit(FormatEdit, "FormatEdit");
    FormatLabel.setBuddy(&FormatEdit);
    auto *rangeRow = new QHBoxLayout;
    rangeRow->addWidget(&FormatLabel);
    rangeRow->addWidget(&FormatEdit, 1);
    AddDataRow(rangeRow);

    SetUpButton(ZeroButton, "ZeroButton", "&Zero cal.");
    SetUpButton(SpanButton, "SpanButton", "&Span cal.");
    auto *buttonRow = new QHBoxLayout;
    buttonRow->addWidget(&ZeroButton);
    buttonRow->addWidget(&SpanButton);
    AddDataRow(buttonRow);

    connect(&ZeroButton, &QPushButton::clicked, this, &TForm50::ZeroButtonClick);
    connect(&SpanButton, &QPushButton::clicked, this, &TForm50::SpanButtonClick);
}

void TForm50::BuildSettings()
{
    AddSettingComboBox(InputRangeLabel, "InputRangeLabel", "Input range :", InputRange17ComboBox,
                       "InputRange17ComboBox", InputRangeItems);
    AddSettingComboBox(DataFormatLabel, "DataFormatLabel", "Data format :", DataFormat17ComboBox,
                       "DataFormat17ComboBox", DataFormatItems);
    AddSettingComboBox(IntgrTimeLabel, "IntgrTimeLabel", "Intgr.time :", IntgrTimeComboBox,
                       "IntgrTimeComboBox", IntegrationTimeItems);
}

bool &TForm50::BusyFlag()
{
    static bool busy = false;
    return busy;
}

void TForm50::SetCaptions(const QStringList &captions)
{
    for (int channel = 0; channel < ChannelCount && channel < captions.size(); ++channel)
        NameEdits[channel].setText(captions.at(channel));
}

QStringList TForm50::Captions() const
{
    QStringList names;
    for (const QLineEdit &name : NameEdits)
        names.append(name.text());
    return names;
}

// Configuration

void TForm50::ShowTypeConfig(const QByteArray &config)
{
    reportedRangeCode = Copy(config, 3, 2);
    const int rangeCode = HexToInt(reportedRangeCode);
    const int rangeIndex = reportedRangeCode.size() == 2 ? rangeCode - FirstRangeCode : -1;
    ShowStoredItem(InputRange17ComboBox, rangeIndex);
    FormatEdit.setText(InputRangeItems.value(rangeIndex));

    reportedFormat = InputFormat::FromConfig(config);
    ShowStoredItem(IntgrTimeComboBox, reportedFormat.integrationTime);
    ShowStoredItem(DataFormat17ComboBox, reportedFormat.dataFormat);
}

QByteArray TForm50::TypeCode() const
{
    const int index = ItemIndex(InputRange17ComboBox);
    // A range code the list does not hold goes back to the module as it reported it.
    return index >= 0 ? HexByte(index + FirstRangeCode) : reportedRangeCode;
}

int TForm50::TypeFormatBits() const
{
    return reportedFormat.Chosen(ItemIndex(IntgrTimeComboBox), ItemIndex(DataFormat17ComboBox)).Bits();
}

// Channels

QByteArray TForm50::MaskFromBoxes() const
{
    int mask = 0;
    for (int channel = 0; channel < ChannelCount; ++channel)
        if (EnableBoxes[channel].isChecked())
            mask |= 1 << channel;
    return HexByte(mask);
}

void TForm50::CheckBoxClick(int)
{
    channelChanged = true;
    ++channelClicks;
}

// The poll turn

void TForm50::SendTypeCommand(const QByteArray &command, int expectedLength, char startChar, Phase4017 next)
{
    typePhase = next;
    Send(command, expectedLength, startChar, EditorPhase::TypePhase);
}

void TForm50::SendDataQuery()
{
    SendTypeCommand(Command('$', "6"), MaskReplyLength, '!', Phase4017::MaskAsked);
}

bool TForm50::IdleStep(const QByteArray &)
{
    if (channelChanged) {
        writtenClicks = channelClicks;
        SendTypeCommand(Command('$', '5' + MaskFromBoxes()), MaskReplyLength, '!', Phase4017::MaskSent);
    } else {
        SendDataQuery();
    }
    return false;
}

bool TForm50::TypePhaseStep(const QByteArray &reply)
{
    switch (typePhase) {
    case Phase4017::MaskAsked:
        return MaskAskedStep(reply);
    case Phase4017::ChannelAsked:
        return ChannelAskedStep(reply);
    case Phase4017::MaskSent:
        return MaskSentStep();
    case Phase4017::CalibrationSent:
        typePhase = Phase4017::None;
        return FinishCalibration(reply);
    case Phase4017::None:
        break;
    }
    SetPhase(EditorPhase::Idle);
    return true;
}

bool TForm50::MaskAskedStep(const QByteArray &reply)
{
    const QByteArray maskText = Copy(reply, 4, 2);
    const int mask = HexToInt(maskText);
    // A mask that does not read as two hex digits would switch arbitrary channels: no channel is read then,
    // as after a lost reply.
    if (reply.isEmpty() || maskText.size() != 2 || mask > 0xFF) {
        ShowCommunicationStatus(false);
        typePhase = Phase4017::None;
        SetPhase(EditorPhase::Idle);
        return true;
    }
    if (!channelChanged)
        for (int channel = 0; channel < ChannelCount; ++channel)
            EnableBoxes[channel].setChecked((mask >> channel & 1) != 0);
    channelMask = mask;
    if (ScanChannels(0))
        return false;
    // With every channel off there is nothing to read, but a configuration or calibration the user asked for
    // still goes out.
    return EndOfScan();
}

bool TForm50::ChannelAskedStep(const QByteArray &reply)
{
    QLineEdit &value = ValueEdits[currentChannel];
    if (!reply.isEmpty())
        value.setText(FromWire(Copy(reply, 2, 7)));
    else
        value.clear();
    ShowCommunicationStatus(!reply.isEmpty());
    if (ScanChannels(currentChannel + 1))
        return false;
    return EndOfScan();
}

bool TForm50::ScanChannels(int from)
{
    for (int channel = from; channel < ChannelCount; ++channel) {
        if ((channelMask >> channel & 1) != 0) {
            currentChannel = channel;
            SendTypeCommand(Command('#', QByteArray::number(channel)), ChannelReplyLength, '>',
                            Phase4017::ChannelAsked);
            return true;
        }
        ValueEdits[channel].clear();
    }
    return false;
}

bool TForm50::EndOfScan()
{
    typePhase = Phase4017::None;
    if (SendPendingRequest())
        return false;
    SetPhase(EditorPhase::Idle);
    return true;
}

bool TForm50::SendPendingCalibration()
{
    QByteArray command;
    if (calibrationRequest == CalibrateZero)
        command = Command('$', "1");
    else if (calibrationRequest == CalibrateSpan)
        command = Command('$', "0");
    // Each request is carried out once, whatever the module answers.
    calibrationRequest = 0;
    if (command.isEmpty())
        return false;
    typePhase = Phase4017::CalibrationSent;
    SendCalibration(command);
    return true;
}

bool TForm50::MaskSentStep()
{
    // Boxes ticked while the mask was on its way are written on the next idle visit.
    if (channelClicks == writtenClicks)
        channelChanged = false;
    SendDataQuery();
    return false;
}

// Calibration buttons

void TForm50::OpenDialog(int requestCode, const QString &kind, const QString &message)
{
    OpenCalibrationDialog(this, calibrationRequest, requestCode,
                          CalibrationCaption(kind, ModelLabel(), StoredAddress()), message);
}

void TForm50::ZeroButtonClick()
{
    OpenDialog(CalibrateZero, "Zero", "Shunt imput terminals.");
}

void TForm50::SpanButtonClick()
{
    const QString source = SpanSources.value(StoredIndex(InputRange17ComboBox));
    OpenDialog(CalibrateSpan, "Span", "Apply " + source + " voltage source to the imput terminals.");
}

// Layout

void TForm50::ApplySettingsLayout(bool settingsShown)
{
    ModuleEditorWindow::ApplySettingsLayout(settingsShown);
    // This window keeps the wider margin in both states.
    const int windowWidth = StatusBox.width() + 22;
    const int windowHeight = height();
    GroupBox1.setGeometry(0, 0, windowWidth, windowHeight);
    setFixedSize(windowWidth, windowHeight);
}

void TForm50::FormShow()
{
    ClearBusyFlag();
    ModuleEditorWindow::FormShow();
}
