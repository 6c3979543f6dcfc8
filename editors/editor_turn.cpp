#include "editor_turn.h"

#include "bus/diagnostics.h"
#include "bus/text.h"

#include <QSignalBlocker>

#include <array>

namespace navix {

const QStringList EditorTurn::BaudrateItems = {"1200 ", "2400", "4800", "9600", "19200", "38400"};
const QString EditorTurn::CommunicationText = QStringLiteral(" Communication...");
const QString EditorTurn::CommunicationErrorText = QStringLiteral(" Communication Error...");
const QString EditorTurn::UnknownFirmwareText = QStringLiteral("Unknow !");

namespace {
constexpr int FirstBaudCode = 3;
constexpr int DefaultBaudIndex = 3; // 9600
constexpr int ChecksumBit = 0x40;
constexpr int AddressLength = 2;
constexpr int ConfigLength = 8;

// Every calibration the editors send: "$" + the address of the input + one digit. The stack input of the
// Tvr 5x answers next to the address in use (in INIT mode that is 01, whatever module may hold the stored
// address plus one).
struct CalibrationEntry
{
    CalibrationCode code;
    int addressOffset;
    char digit;
};
constexpr CalibrationEntry CalibrationTable[] = {
    {CalibrationCode::Span, 0, '0'},
    {CalibrationCode::Offset, 0, '1'},
    {CalibrationCode::Zero, 0, '1'},
    {CalibrationCode::FourMilliamps, 0, '0'},
    {CalibrationCode::TwentyMilliamps, 0, '1'},
    {CalibrationCode::StackSpan, 1, '0'},
    {CalibrationCode::StackOffset, 1, '1'},
};
constexpr char TrimDigit = '3'; // followed by the count byte
} // namespace

EditorTurn::EditorTurn(BusWorkspace &workspace, const TurnDesign &design, QObject *parent)
    : QObject(parent), workspace(workspace), design(design), modelLabel(design.modelLabel),
      captions(design.captions)
{
    AddSetting(design.baudrateCount);
    ShowStoredSetting(BaudSetting, DefaultBaudIndex);
    connect(this, &EditorTurn::ValuesRead, &trendFeed, &TrendFeed::Take);
}

// Set-up

void EditorTurn::SetModuleName(const QByteArray &typeId)
{
    moduleTypeId = typeId;
    NameType(typeId);
    emit ModuleNamed(typeId);
}

void EditorTurn::NameType(const QByteArray &) {}

void EditorTurn::ShowConfig(const QByteArray &config)
{
    storedConfig = config;
    // The address stays inside 0..255 even for a malformed text.
    storedAddress = qBound(0, HexToInt(Copy(config, 1, AddressLength)), HighestBusAddress);
    chosenAddress = storedAddress;
    // The baud code is written as a decimal number of two digits.
    bool isNumber = false;
    const int baudCode = Copy(config, 5, 2).toInt(&isNumber, 10);
    ShowStoredSetting(BaudSetting, isNumber ? baudCode - FirstBaudCode : -1);
    storedChecksum = CharAt(HexToBits(Copy(config, 7, 2)), 2) == '1';
    chosenChecksum = storedChecksum;
    ShowTypeConfig(config);
    emit ConfigShown();
}

void EditorTurn::SetInitMode(bool init)
{
    initMode = init;
    emit InitModeShown(init);
}

void EditorTurn::SetCaptions(const QStringList &newCaptions)
{
    for (int i = 0; i < captions.size() && i < newCaptions.size(); ++i)
        captions[i] = newCaptions[i];
    emit CaptionsShown();
}

void SetUpTurn(EditorTurn &turn, const ModuleRecord &record)
{
    turn.SetModuleName(record.typeId);
    turn.ShowConfig(record.config);
    turn.SetInitMode(record.initFlag);
    turn.SetCaptions(record.captions);
}

// Settings

int EditorTurn::AddSetting(int itemCount)
{
    settings.push_back({itemCount, -1, -1});
    return SettingCount() - 1;
}

void EditorTurn::SetSettingItemCount(int row, int itemCount)
{
    settings.at(row).itemCount = itemCount;
}

void EditorTurn::ShowStoredSetting(int row, int index)
{
    SettingChoice &setting = settings.at(row);
    if (index < 0 || index >= setting.itemCount)
        index = -1;
    setting.stored = index;
    setting.chosen = index;
}

void EditorTurn::SetCaption(int index, const QString &text)
{
    if (index >= 0 && index < captions.size())
        captions[index] = text;
}

void EditorTurn::ChooseAddress(int address)
{
    chosenAddress = qBound(0, address, HighestBusAddress);
}

void EditorTurn::ChooseSetting(int row, int index)
{
    SettingChoice &setting = settings.at(row);
    setting.chosen = index >= 0 && index < setting.itemCount ? index : setting.stored;
}

void EditorTurn::ChooseChecksum(bool on)
{
    chosenChecksum = on;
}

void EditorTurn::ChooseConfig(const QByteArray &config)
{
    const QSignalBlocker quiet(this);
    const QByteArray reported = storedConfig;
    ShowConfig(config);
    const int address = storedAddress;
    const bool checksum = storedChecksum;
    std::vector<int> chosen;
    for (const SettingChoice &setting : settings)
        chosen.push_back(setting.stored);
    ShowConfig(reported);
    chosenAddress = address;
    chosenChecksum = checksum;
    for (size_t row = 0; row < settings.size(); ++row)
        settings[row].chosen = chosen[row];
}

void EditorTurn::RestoreSettings()
{
    chosenAddress = storedAddress;
    for (SettingChoice &setting : settings)
        setting.chosen = setting.stored;
    chosenChecksum = storedChecksum;
    emit SettingsRestored();
}

QByteArray EditorTurn::ConfigAddressText() const
{
    return Copy(storedConfig, 1, AddressLength);
}

QByteArray EditorTurn::ComposeConfig()
{
    QByteArray oldAddress = HexByte(storedAddress);
    QByteArray newAddress = HexByte(chosenAddress);
    if (newAddress != oldAddress && !IsNewAddressFree(chosenAddress)) {
        newAddress = oldAddress;
        chosenAddress = storedAddress;
        emit AddressRefused();
    }
    oldAddress = CommandAddress(storedAddress, initMode);
    const int baudIndex = ChosenIndex(BaudSetting);
    // A baud code that has no item in the list is written back as the module reported it.
    QByteArray baudCode = baudIndex >= 0 ? HexByte(baudIndex + FirstBaudCode) : Copy(storedConfig, 5, 2);
    if (baudCode.size() != 2)
        baudCode = HexByte(DefaultBaudIndex + FirstBaudCode);
    const int format = (chosenChecksum ? ChecksumBit : 0) | TypeFormatBits();
    return oldAddress + newAddress + TypeCode() + baudCode + HexByte(format);
}

bool EditorTurn::IsNewAddressFree(int address) const
{
    const int span = AddressSpan();
    if (address + span - 1 > HighestBusAddress)
        return false;
    for (int taken = address; taken < address + span; ++taken) {
        const bool own = taken >= storedAddress && taken < storedAddress + span;
        if (!own && !workspace.IsAddressFree(HexByte(taken)))
            return false;
    }
    return true;
}

QByteArray EditorTurn::TypeCode() const
{
    return "40";
}

int EditorTurn::TypeFormatBits() const
{
    return 0;
}

void EditorTurn::ShowTypeConfig(const QByteArray &) {}

// Commands

QByteArray EditorTurn::AddressText() const
{
    return CommandAddress(storedAddress, initMode);
}

QByteArray EditorTurn::OffsetAddress(int offset) const
{
    return HexByte(HexToInt(AddressText()) + offset);
}

bool EditorTurn::IsOffsetOnBus(int offset) const
{
    return HexToInt(AddressText()) + offset <= HighestBusAddress;
}

QByteArray EditorTurn::Command(char commandCharacter, const QByteArray &tail) const
{
    return commandCharacter + AddressText() + tail + CR;
}

void EditorTurn::Send(EditorPhase next, Exchange exchange)
{
    phase = next;
    exchange.checksum = ChecksumFlag();
    workspace.Engine().SendCommand(exchange);
}

// The turn

bool EditorTurn::HandleReply(const QByteArray &reply)
{
    // No step waits for the user: outcomes leave as signals, and the window shows its box from the event loop
    // once the step is over, so no delivery can arrive inside a step.
    return Step(reply);
}

bool EditorTurn::Step(const QByteArray &reply)
{
    switch (phase) {
    case EditorPhase::Start:
        return StartStep(reply);
    case EditorPhase::FirmwareAsked:
        return FirmwareAskedStep(reply);
    case EditorPhase::DataAsked:
        return DataAskedStep(reply);
    case EditorPhase::WriteSent:
        return WriteSentStep(reply);
    case EditorPhase::Idle:
        return IdleStep(reply);
    case EditorPhase::ConfigSent:
        return ConfigSentStep(reply);
    case EditorPhase::CalibrationSent:
        return CalibrationSentStep(reply);
    case EditorPhase::TypePhase:
        return TypePhaseStep(reply);
    }
    return EndTurn();
}

bool EditorTurn::EndTurn()
{
    phase = EditorPhase::Idle;
    return true;
}

bool EditorTurn::StartStep(const QByteArray &)
{
    Send(EditorPhase::FirmwareAsked, {.command = Command('$', "F"), .expectedLength = ReplyLength::Firmware});
    return false;
}

bool EditorTurn::FirmwareAskedStep(const QByteArray &reply)
{
    ShowFirmware(reply);
    SendDataQuery();
    return false;
}

bool EditorTurn::DataAskedStep(const QByteArray &reply)
{
    if (!reply.isEmpty())
        ShowData(reply);
    TrendData(reply);
    ShowCommunicationStatus(!reply.isEmpty());
    if (SendPendingWrite() || SendPendingRequest())
        return false;
    return AfterDataStep();
}

bool EditorTurn::AfterDataStep()
{
    return EndTurn();
}

bool EditorTurn::WriteSentStep(const QByteArray &reply)
{
    ShowCommunicationStatus(!reply.isEmpty());
    if (updateRequested) {
        StartConfigurationUpdate(RaisesConfigTimeOut(EditorPhase::WriteSent));
        return false;
    }
    return EndTurn();
}

bool EditorTurn::IdleStep(const QByteArray &)
{
    SendDataQuery();
    return false;
}

bool EditorTurn::TypePhaseStep(const QByteArray &)
{
    return EndTurn();
}

void EditorTurn::SendDataQuery()
{
    Send(EditorPhase::DataAsked, {.command = Command('$', "6"), .expectedLength = ReplyLength::DigitalState});
}

void EditorTurn::ShowData(const QByteArray &) {}

bool EditorTurn::SendPendingWrite()
{
    return false;
}

bool EditorTurn::RaisesConfigTimeOut(EditorPhase from) const
{
    return from == EditorPhase::DataAsked;
}

bool EditorTurn::SendPendingRequest()
{
    if (updateRequested) {
        StartConfigurationUpdate(RaisesConfigTimeOut(EditorPhase::DataAsked));
        return true;
    }
    return SendPendingCalibration();
}

bool EditorTurn::SendPendingRequestOrEnd()
{
    return SendPendingRequest() ? false : EndTurn();
}

void EditorTurn::ShowFirmware(const QByteArray &reply)
{
    emit FirmwareShown(reply.isEmpty() ? UnknownFirmwareText : FromWire(Copy(reply, 4, 4)));
}

void EditorTurn::ShowCommunicationStatus(bool replied)
{
    emit StatusShown(replied ? CommunicationText : CommunicationErrorText);
}

void EditorTurn::RaiseTimeOut()
{
    workspace.Engine().SetTimeOutMs(RaisedTimeOutMs);
}

void EditorTurn::RestoreTimeOut()
{
    // The time-out field's value also becomes the time-out timer's interval (the timer stands still here).
    workspace.Engine().SetTimeOutMs(workspace.TimeOutFieldMs());
}

// Configuration update

void EditorTurn::StartConfigurationUpdate(bool raiseTimeOut)
{
    updateRequested = false;
    emit UpdateStarted();
    sentConfig = ComposeConfig();
    if (raiseTimeOut)
        RaiseTimeOut();
    Send(EditorPhase::ConfigSent, {.command = ConfigurationCommand(Copy(sentConfig, 1, AddressLength),
                                                                   Copy(sentConfig, 3, ConfigLength)),
                                   .expectedLength = ReplyLength::Acknowledge});
}

bool EditorTurn::ConfigSentStep(const QByteArray &reply)
{
    if (!reply.isEmpty()) {
        // The record, the tree and the stored settings take what was actually written: the controls may have
        // changed (or been put back by a close) while the module was answering.
        const QByteArray oldAddress = HexByte(storedAddress);
        const QByteArray newAddress = Copy(sentConfig, 3, AddressLength);
        const QByteArray newConfig = Copy(sentConfig, 3, ConfigLength);
        workspace.RelabelModule(oldAddress, " (" + FromWire(newAddress) + ") " + modelLabel);
        workspace.UpdateModuleRecord(oldAddress, newConfig,
                                     closePending ? EditorState::CloseAtTurnEnd : EditorState::Open);
        ShowConfig(newConfig);
        qCInfo(TurnLog) << modelLabel << oldAddress << "configuration written:" << newConfig;
        emit ConfigurationDone(true);
    } else {
        RestoreSettings();
        qCInfo(TurnLog) << modelLabel << HexByte(storedAddress)
                        << "configuration not acknowledged:" << sentConfig;
        emit ConfigurationDone(false);
    }
    RestoreTimeOut();
    return EndTurn();
}

// Calibrations

QByteArray EditorTurn::CalibrationCommand(CalibrationCode code) const
{
    for (const CalibrationEntry &entry : CalibrationTable)
        if (entry.code == code && IsOffsetOnBus(entry.addressOffset))
            return '$' + OffsetAddress(entry.addressOffset) + entry.digit + CR;
    return {};
}

bool EditorTurn::SendPendingCalibration()
{
    // Each request is carried out once, whatever the module answers; a calibration goes before a trim.
    QByteArray command;
    if (calibrationRequest) {
        command = CalibrationCommand(*calibrationRequest);
        calibrationRequest.reset();
    } else if (trimRequest != 0) {
        command = Command('$', TrimDigit + HexByte(trimRequest));
        trimRequest = 0;
    }
    if (command.isEmpty())
        return false;
    // The module takes a while to store a calibration.
    RaiseTimeOut();
    Send(EditorPhase::CalibrationSent, {.command = command, .expectedLength = ReplyLength::Acknowledge});
    return true;
}

bool EditorTurn::CalibrationSentStep(const QByteArray &reply)
{
    // Any framed answer means the module stored the calibration.
    RestoreTimeOut();
    EndTurn();
    emit CalibrationDone(!reply.isEmpty());
    return true;
}

// Closing

bool EditorTurn::IsRestPhase() const
{
    return phase == EditorPhase::Start || phase == EditorPhase::Idle;
}

bool EditorTurn::Close()
{
    RestoreSettings();
    const QByteArray config = Copy(ComposeConfig(), 3, ConfigLength);
    const QByteArray address = HexByte(storedAddress);
    if (!IsRestPhase()) {
        // An exchange of this editor is outstanding: the engine serves it to the end of its turn and closes
        // the window then (CloseAtTurnEnd), which passes the other branch.
        closePending = true;
        workspace.UpdateModuleRecord(address, config, EditorState::CloseAtTurnEnd);
        return false;
    }
    workspace.UpdateModuleRecord(address, config, EditorState::Closed);
    return true;
}

void EditorTurn::CloseAtTurnEnd()
{
    emit CloseRequested();
}

// Trend

void EditorTurn::TrendData(const QByteArray &) {}

QList<TrendChannel> EditorTurn::TrendChannels() const
{
    return {};
}

QList<TrendChannel> EditorTurn::SingleTrendChannel() const
{
    const QString description = captions.value(0).trimmed();
    return {{description.isEmpty() ? modelLabel : description}};
}

ModuleValues EditorTurn::Describe() const
{
    ModuleValues described;
    described.address = HexByte(storedAddress);
    described.typeId = moduleTypeId;
    described.model = modelLabel;
    described.channels = TrendChannels();
    described.unit = TrendUnit();
    return described;
}

void EditorTurn::RecordTrend(const QList<double> &values, const QStringList &texts)
{
    ModuleValues read = Describe();
    read.values = values;
    read.texts = texts;
    // The poll's last reply says whether the module answered it.
    switch (workspace.Engine().LastReplyStatus()) {
    case ReplyStatus::Answered:
        break;
    case ReplyStatus::WrongChecksum:
        read.quality = ValueQuality::WrongChecksum;
        break;
    default:
        read.quality = ValueQuality::Lost;
        break;
    }
    emit ValuesRead(read);
}

double DecimalValue(const QByteArray &text)
{
    bool isNumber = false;
    const double value = text.trimmed().toDouble(&isNumber);
    return isNumber ? value : LostValue;
}

} // namespace navix
