#pragma once
// The poll turn of a module editor, without any widget. The transaction engine's editor cycle calls
// HandleReply; each call sends at most one command and gets that command's reply in the next call. The turn
// holds what the editor knows of its module: the stored settings (the configuration last read or written),
// the settings the user has chosen since, the captions, and the requests that wait for the next turn
// (configuration update, calibration, the type's writes). An editor window shows what the turn reports
// through its signals and hands it what the user did; a test drives a turn without any window.
//
// The common steps live here once: firmware, data read, configuration update, calibrations with the raised
// time-out. A module type adds its data query and, where it needs them, phases of its own in TypePhase.

#include "module_protocol.h"
#include "module_readings.h"

#include "bus/exchange.h"
#include "workspace/module_editor.h"
#include "workspace/trend_feed.h"
#include "workspace/workspace.h"

#include <QObject>
#include <QStringList>

#include <optional>
#include <vector>

namespace navix {

// Where a turn stands. Start and Idle are the rest phases of every editor: in them no exchange of the editor
// is outstanding. TypePhase hands the step to the module type, which keeps a phase of its own.
enum class EditorPhase {
    Start,
    FirmwareAsked,
    DataAsked,
    WriteSent,
    Idle,
    ConfigSent,
    CalibrationSent,
    TypePhase
};

// The calibrations the editors send. Each stands for one command of the calibration table.
enum class CalibrationCode { Span, Offset, Zero, FourMilliamps, TwentyMilliamps, StackSpan, StackOffset };

// A setting of the configuration text that the user picks from a list (the baud rate and the type's
// settings): how many items the list holds, the index stored with the configuration and the index the user
// has chosen since. -1 is no item: a code the list does not hold.
struct SettingChoice
{
    int itemCount = 0;
    int stored = -1;
    int chosen = -1;
};

// What differs between the module types in the common part of their turns.
struct TurnDesign
{
    EditorKind kind = EditorKind::Type4013;
    QString modelLabel;    // short label of the tree caption ("N720")
    QStringList captions;  // the description or channel names before the record's are set
    int baudrateCount = 6; // the 4017 lists only the first five rates
};

class EditorTurn : public QObject, public ModuleEditor
{
    Q_OBJECT
public:
    static constexpr int RaisedTimeOutMs = navix::RaisedTimeOutMs; // configuration writes and calibrations
    static constexpr int BaudSetting = 0; // the baud rate's row among the setting choices
    static const QStringList BaudrateItems;
    static const QString CommunicationText;
    static const QString CommunicationErrorText;
    static const QString UnknownFirmwareText;

    EditorTurn(BusWorkspace &workspace, const TurnDesign &design, QObject *parent = nullptr);

    // Set-up as an editor opens, in this order: module name, configuration text, INIT flag, captions.
    void SetModuleName(const QByteArray &typeId);
    void ShowConfig(const QByteArray &config);
    void SetInitMode(bool init);
    void SetCaptions(const QStringList &captions);

    // The editor cycle's calls (ModuleEditor).
    bool HandleReply(const QByteArray &reply) final;
    void CloseAtTurnEnd() override;
    QStringList Captions() const override { return captions; }

    // What the user did.
    void SetCaption(int index, const QString &text);
    void ChooseAddress(int address);
    // index -1: the text in the list is no item, so the stored one stands again.
    void ChooseSetting(int row, int index);
    void ChooseChecksum(bool on);
    // Chooses the settings a configuration text stands for (address, type settings, baud rate, checksum),
    // as a user would in the controls, without showing them; the module's own settings stay the stored ones
    // until a write is acknowledged. A program without windows writes a configuration this way.
    void ChooseConfig(const QByteArray &config);
    void RequestUpdate() { updateRequested = true; }
    void RequestCalibration(CalibrationCode code) { calibrationRequest = code; }
    // A trim of the 4021 output by a count byte (two's complement); 0 is no trim.
    void RequestTrim(int countByte) { trimRequest = countByte; }
    // The window is closing: the settings go back to the stored ones and the record learns of the close.
    // False when an exchange is outstanding: the turn is served to its end first (CloseRequested).
    bool Close();
    // The window was shown by the program (not brought back from the task bar).
    virtual void WindowShown() {}

    // The chosen settings go back to the stored ones.
    void RestoreSettings();
    // Old address, new address, type code, baud code and format: the body of the configuration command.
    QByteArray ComposeConfig();

    EditorKind Kind() const { return design.kind; }
    EditorPhase Phase() const { return phase; }
    // No exchange of this editor is outstanding.
    virtual bool IsRestPhase() const;
    // How many bus addresses the module takes, from its own address up.
    virtual int AddressSpan() const { return 1; }
    bool IsInitMode() const { return initMode; }
    bool UpdateRequested() const { return updateRequested; }
    std::optional<CalibrationCode> CalibrationRequest() const { return calibrationRequest; }
    int TrimRequest() const { return trimRequest; }
    int StoredAddress() const { return storedAddress; }
    int ChosenAddress() const { return chosenAddress; }
    bool StoredChecksum() const { return storedChecksum; }
    bool ChosenChecksum() const { return chosenChecksum; }
    const SettingChoice &Setting(int row) const { return settings.at(row); }
    int SettingCount() const { return static_cast<int>(settings.size()); }
    // The address as the configuration text writes it (positions 1-2), even where it is no hex byte.
    QByteArray ConfigAddressText() const;
    // The values of the turn's reads, for a trend of them.
    TrendFeed &Trend() { return trendFeed; }
    // The module as its reads describe it now (address, type, model, channels, unit), without values: what a
    // program that publishes the values announces before the first read.
    ModuleValues Describe() const;
    const QString &ModelLabel() const { return modelLabel; }
    // The address of commands: the stored one, "00" in INIT mode, where no checksum is ever added.
    QByteArray AddressText() const;
    bool ChecksumFlag() const { return CommandsCarryChecksum(chosenChecksum, initMode); }

signals:
    void ModuleNamed(const QByteArray &typeId);
    // The stored settings changed (configuration read or written): the controls show them.
    void ConfigShown();
    void InitModeShown(bool init);
    void CaptionsShown();
    // The chosen settings went back to the stored ones.
    void SettingsRestored();
    // The chosen address was refused and is the stored one again.
    void AddressRefused();
    void UpdateStarted();
    // One poll's values as numbers, with the channels' names, the unit and their quality; the trend feed is
    // one subscriber.
    void ValuesRead(const ModuleValues &values);
    // A configuration write ended: acknowledged by the module, or not (the settings are restored).
    void ConfigurationDone(bool written);
    // A calibration (or trim) command ended: taken by the module, or not answered.
    void CalibrationDone(bool taken);
    void FirmwareShown(const QString &text);
    void StatusShown(const QString &caption);
    // The close deferred by Close may happen now: the turn is over.
    void CloseRequested();

protected:
    // A setting row of the type, after the baud rate; returns its row.
    int AddSetting(int itemCount);
    void SetSettingItemCount(int row, int itemCount);
    // Makes index the stored and chosen one; an index outside the list is no item.
    void ShowStoredSetting(int row, int index);
    int ChosenIndex(int row) const { return settings.at(row).chosen; }
    void SetModelLabel(const QString &label) { modelLabel = label; }

    // The type's hooks for the module name and the fields of the configuration text beyond address, baud
    // and checksum.
    virtual void NameType(const QByteArray &typeId);
    virtual void ShowTypeConfig(const QByteArray &config);
    virtual QByteArray TypeCode() const;
    virtual int TypeFormatBits() const;

    // The steps of the turn, one per phase; each returns true when the turn is over.
    virtual bool StartStep(const QByteArray &reply);
    virtual bool FirmwareAskedStep(const QByteArray &reply);
    virtual bool DataAskedStep(const QByteArray &reply);
    virtual bool WriteSentStep(const QByteArray &reply);
    virtual bool IdleStep(const QByteArray &reply);
    virtual bool TypePhaseStep(const QByteArray &reply);
    // What follows the data read when no write or request waits: the turn ends.
    virtual bool AfterDataStep();
    // The reply to the configuration command: the new configuration stored and shown, or the old one back.
    virtual bool ConfigSentStep(const QByteArray &reply);

    // The type's data query; the digital types ask "$AA6" and wait in DataAsked.
    virtual void SendDataQuery();
    // Shows a non-empty data reply.
    virtual void ShowData(const QByteArray &reply);
    // Hands the reply of the data query (empty when lost) to the trend.
    virtual void TrendData(const QByteArray &reply);
    // The trend's channels and unit as the module stands now.
    virtual QList<TrendChannel> TrendChannels() const;
    virtual QString TrendUnit() const { return {}; }
    // One poll's values, described as the module stands now, to whoever takes them (ValuesRead).
    // texts: each value as the editor shows it.
    void RecordTrend(const QList<double> &values, const QStringList &texts);
    // The sole channel of a one-value module: named by its description, else by its model.
    QList<TrendChannel> SingleTrendChannel() const;

    // Sends a write of the type that waits for the data reply; false when none is pending.
    virtual bool SendPendingWrite();
    // Whether the configuration write started from this phase waits the raised time-out for its reply.
    virtual bool RaisesConfigTimeOut(EditorPhase from) const;

    // After the data of a turn: the configuration update the user asked for, else a pending calibration;
    // false when neither waits.
    bool SendPendingRequest();
    // A pending request, else the turn ends in Idle.
    bool SendPendingRequestOrEnd();
    bool EndTurn();

    void ShowFirmware(const QByteArray &reply);
    void ShowCommunicationStatus(bool replied);
    void RaiseTimeOut();
    void RestoreTimeOut();

    // The command character, the address in use and the tail, ending in CR.
    QByteArray Command(char commandCharacter, const QByteArray &tail) const;
    // The address in use plus offset (the Tvr 5x answers at three consecutive addresses).
    QByteArray OffsetAddress(int offset) const;
    // Whether the address in use plus offset is on the bus: a Tvr 5x found at FE or FF has no room for all
    // three, and a command past FF would reach the module at the bottom of the bus.
    bool IsOffsetOnBus(int offset) const;
    // Sends the exchange with the editor's checksum use. The phase stands before the command leaves, so that
    // whatever the port does next finds the turn ready for the reply.
    void Send(EditorPhase next, Exchange exchange);
    void SetPhase(EditorPhase next) { phase = next; }
    // Sends the exchange in TypePhase, with the type's own phase standing at next.
    template <typename TypePhaseEnum>
    void SendTypeStep(TypePhaseEnum &typePhase, TypePhaseEnum next, const Exchange &exchange)
    {
        typePhase = next;
        Send(EditorPhase::TypePhase, exchange);
    }
    // The re-entrancy guard of HandleReply: one flag for all open editors of a type.

    BusWorkspace &workspace;

private:
    bool Step(const QByteArray &reply);
    // Every address the module would take at the new address is its own already or no other module's.
    bool IsNewAddressFree(int address) const;
    void StartConfigurationUpdate(bool raiseTimeOut);
    bool SendPendingCalibration();
    QByteArray CalibrationCommand(CalibrationCode code) const;
    bool CalibrationSentStep(const QByteArray &reply);

    TurnDesign design;
    QString modelLabel;
    QByteArray moduleTypeId; // as the module named itself
    QStringList captions;
    EditorPhase phase = EditorPhase::Start;
    bool initMode = false;
    bool updateRequested = false;
    std::optional<CalibrationCode> calibrationRequest;
    int trimRequest = 0;
    bool closePending = false; // the window was closed while an exchange of it was outstanding
    int storedAddress = 0;
    int chosenAddress = 0;
    bool storedChecksum = false;
    bool chosenChecksum = false;
    std::vector<SettingChoice> settings;
    QByteArray storedConfig;
    QByteArray sentConfig; // the composed text of the configuration command that went out
    TrendFeed trendFeed;
};

// A decimal value text ("+025.34", " -1.5") as a number; LostValue when it reads as none.
double DecimalValue(const QByteArray &text);

// Sets a turn up from its module record as an editor opens: module name, configuration, INIT flag,
// captions.
void SetUpTurn(EditorTurn &turn, const ModuleRecord &record);

} // namespace navix
