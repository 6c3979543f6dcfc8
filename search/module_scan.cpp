#include "module_scan.h"

#include "bus/text.h"

#include <utility>

namespace navix {

namespace {
// Reply lengths as announced to the engine: start and end character included, checksum never.
constexpr int NameReplyLength = 8;
constexpr int ConfigReplyLength = 10;
constexpr int VariantReplyLength = 20;
constexpr int ConfigChangeReplyLength = 4;
constexpr int ConfigTextLength = 8; // AATTCCFF

const QByteArray VariantTypeId = TvrTypeId;
const QByteArray PlainTypeId = "4013";
} // namespace

QByteArray InitProbeFormat(const QByteArray &format)
{
    QByteArray bits = HexToBits(format);
    if (format.size() != 2 || bits.size() != 8)
        return QByteArray();
    // The second bit from the left is the checksum setting of the data format byte.
    bits[1] = CharAt(bits, 2) == '1' ? '0' : '1';
    return HexByte(BitsToInt(bits));
}

ModuleScan::ModuleScan(BusWorkspace &workspace, QObject *parent) : QObject(parent), workspace(workspace) {}

void ModuleScan::Stop()
{
    step = ScanStep::StartStep;
    scanning = false;
}

void ModuleScan::Start(int first, int last)
{
    first = qBound(LowestAddress, first, HighestAddress);
    last = qBound(LowestAddress, last, HighestAddress);
    if (first > last)
        std::swap(first, last);
    currentAddress = first;
    lastAddress = last;
    step = ScanStep::StartStep;
    scanning = true;
    ReplyStep(QByteArray());
}

void ModuleScan::ReplyStep(const QByteArray &reply)
{
    // A reply that comes when no scan runs (a late answer after the scan ended) has no step to feed.
    if (!scanning)
        return;
    switch (step) {
    case ScanStep::StartStep:
        Advance(0);
        break;
    case ScanStep::NameRequest:
        NameReplyStep(reply, false);
        break;
    case ScanStep::NameRequestChecked:
        NameReplyStep(reply, true);
        break;
    case ScanStep::ConfigRequest:
    case ScanStep::ConfigRequestChecked:
        ConfigReplyStep(reply);
        break;
    case ScanStep::VariantRequest:
        VariantReplyStep(reply);
        break;
    case ScanStep::InitProbe:
        InitProbeReplyStep(reply);
        break;
    case ScanStep::InitRestore:
        AdvancePastModule();
        break;
    }
}

void ModuleScan::NameReplyStep(const QByteArray &reply, bool checked)
{
    if (reply.isEmpty()) {
        if (checked) {
            Advance(1); // silent with and without checksum: nobody is at this address
        } else {
            step = ScanStep::NameRequestChecked;
            SendNameRequest(true);
        }
        return;
    }
    addressText = Copy(reply, 2, 2);
    typeId = Copy(reply, 4, 4);
    checksumRequests = checked;
    step = checked ? ScanStep::ConfigRequestChecked : ScanStep::ConfigRequest;
    SendConfigRequest();
}

void ModuleScan::ConfigReplyStep(const QByteArray &reply)
{
    if (reply.isEmpty()) {
        // The module named itself but will not tell its configuration: without it no record can be made, and
        // waiting here would stall the scan, so it goes on as after any other failed request.
        Advance(1);
        return;
    }
    config = Copy(reply, 2, ConfigTextLength);
    if (typeId == PlainTypeId) {
        step = ScanStep::VariantRequest;
        SendVariantRequest();
        return;
    }
    if (currentAddress == 0 && SendInitProbe(checksumRequests))
        return;
    AddModule(false);
    Advance(1);
}

void ModuleScan::VariantReplyStep(const QByteArray &reply)
{
    if (!reply.isEmpty())
        typeId = VariantTypeId;
    // The probe after a variant request always goes without checksum. The TVR5x answers the variant request
    // with its clock, so its probe, like every other, is built from the configuration text; the restore puts
    // back that same text.
    if (currentAddress == 0 && SendInitProbe(false))
        return;
    AddModule(false);
    AdvancePastModule();
}

void ModuleScan::InitProbeReplyStep(const QByteArray &reply)
{
    if (reply.isEmpty()) {
        AddModule(false);
        AdvancePastModule();
        return;
    }
    // The module accepted the change of its checksum setting, which only a module in INIT state does; the
    // restore puts its configuration back as it was read.
    AddModule(true);
    step = ScanStep::InitRestore;
    SendInitRestore();
}

void ModuleScan::AdvancePastModule()
{
    Advance(typeId == VariantTypeId ? VariantAddressSpan : 1);
}

void ModuleScan::Advance(int count)
{
    currentAddress += count;
    if (currentAddress > lastAddress) {
        scanning = false;
        emit Finished();
        return;
    }
    step = ScanStep::NameRequest;
    emit AddressShown(currentAddress);
    SendNameRequest(false);
}

QByteArray ModuleScan::AddressDigits() const
{
    return HexByte(currentAddress);
}

void ModuleScan::SendNameRequest(bool withChecksum)
{
    workspace.Engine().SendCommand({.command = "$" + AddressDigits() + "M" + CR,
                                    .checksum = withChecksum,
                                    .receiveMode = ReceiveMode::CheckedFrame,
                                    .startChar = '!',
                                    .endChar = CR,
                                    .expectedLength = NameReplyLength});
}

void ModuleScan::SendConfigRequest()
{
    workspace.Engine().SendCommand({.command = "$" + AddressDigits() + "2" + CR,
                                    .checksum = checksumRequests,
                                    .receiveMode = ReceiveMode::CheckedFrame,
                                    .startChar = '!',
                                    .endChar = CR,
                                    .expectedLength = ConfigReplyLength});
}

void ModuleScan::SendVariantRequest()
{
    workspace.Engine().SendCommand({.command = "@" + AddressDigits() + "G" + CR,
                                    .checksum = checksumRequests,
                                    .receiveMode = ReceiveMode::UncheckedFrame,
                                    .startChar = '>',
                                    .endChar = ' ',
                                    .expectedLength = VariantReplyLength});
}

bool ModuleScan::SendInitProbe(bool withChecksum)
{
    // The probe and the restore write the configuration text back into the module. On a line without
    // checksums a disturbed reply would thus become the module's settings for good; only a text that has
    // the form of a configuration (eight upper-case hex digits) may go back.
    if (config.size() != ConfigTextLength || !IsUpperHex(config))
        return false;
    const QByteArray probeFormat = InitProbeFormat(Copy(config, 7, 2));
    step = ScanStep::InitProbe;
    // Sent only at address 00: the module's own configuration with the checksum bit flipped, which only a
    // module in INIT state accepts.
    workspace.Engine().SendCommand({.command = "%" + AddressDigits() + Copy(config, 1, 6) + probeFormat + CR,
                                    .checksum = withChecksum,
                                    .receiveMode = ReceiveMode::UncheckedFrame,
                                    .startChar = '!',
                                    .endChar = CR,
                                    .expectedLength = ConfigChangeReplyLength});
    return true;
}

void ModuleScan::SendInitRestore()
{
    workspace.Engine().SendCommand({.command = "%" + AddressDigits() + config + CR,
                                    .checksum = false,
                                    .receiveMode = ReceiveMode::UncheckedFrame,
                                    .startChar = '!',
                                    .endChar = CR,
                                    .expectedLength = ConfigChangeReplyLength});
}

void ModuleScan::AddModule(bool initFlag)
{
    // An unknown type id (or one that is no decimal number) gets neither record nor caption.
    const ModuleRecordPtr record = workspace.Modules().AddModule(typeId, config, initFlag);
    const ModuleType *type = FindModuleType(typeId);
    if (!record || !type)
        return;
    const QString caption = ModuleCaption(addressText, *type, initFlag) + captionSuffix;
    workspace.QueueModuleItem(caption);
    emit ModuleAdded(record, caption);
}

} // namespace navix
