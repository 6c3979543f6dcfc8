#pragma once
// The step machine of the module search: it walks an address range one exchange at a time, asks each address
// for its type id and configuration, tells the TVR5x variant of the 4013 apart, probes a module at address 00
// for its INIT state, and creates a record and queues a tree caption for every module that answers. It knows
// no widget: the search window feeds it the replies it receives while it holds the bus and shows what it
// reports.

#include "workspace/workspace.h"

#include <QByteArray>
#include <QObject>

namespace navix {

enum class ScanStep {
    StartStep = 0,
    NameRequest = 1,
    ConfigRequest = 2,
    NameRequestChecked = 3,
    ConfigRequestChecked = 4,
    VariantRequest = 5,
    InitProbe = 10,
    InitRestore = 11
};

// The data format byte with the module's checksum bit (0x40) inverted, as two upper-case hex digits; empty
// when format is not two hex digits, since a probe built from it would change settings other than the
// checksum.
QByteArray InitProbeFormat(const QByteArray &format);

class ModuleScan : public QObject
{
    Q_OBJECT
public:
    static constexpr int LowestAddress = 0;
    static constexpr int HighestAddress = 255;
    // The TVR5x variant answers on three consecutive addresses.
    static constexpr int VariantAddressSpan = TvrAddressSpan;

    explicit ModuleScan(BusWorkspace &workspace, QObject *parent = nullptr);

    // A new scan from first to last (either order), starting with its first exchange.
    void Start(int first, int last);
    // Abandons the running scan (back to the start step): later replies find no step to take.
    void Stop();
    // One reply of the exchange the scan sent, empty for a time-out or a wrong checksum.
    void ReplyStep(const QByteArray &reply);

    // Text that follows the caption of every module found from now on (the rate in a search over every
    // rate); empty by default.
    void SetCaptionSuffix(const QString &suffix) { captionSuffix = suffix; }

    bool Scanning() const { return scanning; }
    ScanStep Step() const { return step; }
    int CurrentAddress() const { return currentAddress; }
    int LastAddress() const { return lastAddress; }

signals:
    // The scan moved on to address; it is asked next.
    void AddressShown(int address);
    // The current address passed the last address; nothing more is sent.
    void Finished();
    // A module was found: its record was made and its caption queued.
    void ModuleAdded(const ModuleRecordPtr &record, const QString &caption);

private:
    void NameReplyStep(const QByteArray &reply, bool checked);
    void ConfigReplyStep(const QByteArray &reply);
    void VariantReplyStep(const QByteArray &reply);
    void InitProbeReplyStep(const QByteArray &reply);

    void Advance(int count);
    void AdvancePastModule();
    void SendNameRequest(bool withChecksum);
    void SendConfigRequest();
    void SendVariantRequest();
    // Sends the INIT probe and moves to its step; false (nothing sent) when the configuration text is not
    // eight upper-case hex digits, so that nothing the module did not send whole goes back to it.
    bool SendInitProbe(bool withChecksum);
    void SendInitRestore();
    void AddModule(bool initFlag);
    QByteArray AddressDigits() const;

    BusWorkspace &workspace;
    ScanStep step = ScanStep::StartStep;
    bool scanning = false;
    int currentAddress = 0;
    int lastAddress = 0;
    QByteArray addressText;        // the address as the module wrote it in its name reply
    QByteArray typeId;             // "20" once the module turned out to be a TVR5x
    QByteArray config;             // AATTCCFF from the configuration reply
    bool checksumRequests = false; // the module answered the name request only with checksum
    QString captionSuffix;
};

} // namespace navix
