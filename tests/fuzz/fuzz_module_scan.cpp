// The search's reply handling, fed arbitrary replies at every step of its scan, as a noisy line or a confused
// module could bring them. The scan must never stall (while it runs, every reply makes it send exactly one
// command) and may only send the commands of the search, built from what it checked: the address it asks, and
// for the INIT probe and its restore a configuration of eight upper-case hex digits.
//
// Input: the first and last address of the scan, then replies, each a length byte (0 for a time-out) and that
// many characters.

#include "fuzz_support.h"

#include "bus/text.h"
#include "search/module_scan.h"
#include "support/test_workspace.h"

using namespace navix;

namespace {
// The command without its CR and, where it carries one, without a valid checksum; empty when the checksum is
// wrong or the CR is missing.
QByteArray CommandBody(const QByteArray &command)
{
    if (!command.endsWith(CR))
        return {};
    const QByteArray text = command.chopped(1);
    static const QList<qsizetype> plainLengths = {4, 11}; // $AAM, $AA2, @AAG; %AA + AATTCCFF
    if (plainLengths.contains(text.size()))
        return text;
    const QByteArray body = text.chopped(2);
    return ComputeChecksum(body) == text.right(2) ? body : QByteArray();
}

void CheckCommand(const QByteArray &command, const ModuleScan &scan)
{
    const QByteArray body = CommandBody(command);
    FuzzCheck(!body.isEmpty(), "a command ends with CR, after a right checksum where it has one");
    FuzzCheck(Copy(body, 2, 2) == HexByte(scan.CurrentAddress()),
              "a command goes to the address being asked");
    const QByteArray request = Copy(body, 1, 1) + Copy(body, 4, body.size());
    if (CharAt(body, 1) == '%') {
        FuzzCheck(scan.CurrentAddress() == 0, "only a module at 00 gets the INIT probe");
        FuzzCheck(body.size() == 11 && IsUpperHex(Copy(body, 4, 8)),
                  "the INIT probe and restore carry eight upper-case hex digits");
    } else {
        FuzzCheck(request == "$M" || request == "$2" || request == "@G",
                  "the search only asks name, configuration and clock");
    }
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    FuzzInput input(data, size);
    const int first = input.Byte();
    const int last = input.Byte();

    TestWorkspace workspace;
    ModuleScan scan(workspace);
    QList<QByteArray> &written = workspace.port.written;
    qsizetype checked = 0;
    const auto checkStep = [&] {
        if (scan.Scanning())
            FuzzCheck(written.size() == checked + 1, "a running scan sends one command for each reply");
        for (; checked < written.size(); ++checked)
            CheckCommand(written.at(checked), scan);
    };

    scan.Start(first, last);
    checkStep();
    while (scan.Scanning() && !input.AtEnd()) {
        scan.ReplyStep(input.Bytes(input.Byte()));
        checkStep();
    }
    FuzzCheck(workspace.pendingItems.size() == workspace.Modules().Count(),
              "every module the scan lists gets its tree item, no other");
    return 0;
}
