#pragma once
// workspace/ holds the seams between the wire (bus/) and the windows: these interfaces, the bus session, the
// editor interface, the module records, the bus router, the tool bus session and the prompt seam. No widget
// lives here.
//
// Two interfaces, so that a program without windows implements nothing it does not have:
//  - BusWorkspace is what everything that talks to modules needs: the bus, the module records and the line.
//    The editors' turns, the search's step machines, navix-cli and the headless poller see only this; a
//    BusSession implements it plainly.
//  - WindowHost is what the windows ask of the main window besides the bus: the hint panel, the caption, the
//    geometry and enabled state, and the opening of the memory and trend windows.
// Workspace is both: what the windows see. The windows never see the main window or a serial port.

#include "bus/transaction_engine.h"
#include "bus_router.h"
#include "module_records.h"
#include "trend_feed.h"

#include <QRect>
#include <QString>

namespace navix {

class BusWorkspace
{
public:
    virtual ~BusWorkspace() = default;

    virtual TransactionEngine &Engine() = 0;
    virtual BusRouter &Router() = 0;
    virtual ModuleRegistry &Modules() = 0;

    // Module records and the captions the module tree shows for them.
    virtual void ClearModules(bool keepRouting) = 0;
    virtual void QueueModuleItem(const QString &caption) = 0;
    virtual void FlushModuleItems() = 0;
    // Forgets the queued captions without making tree items of them (a new scan starts over).
    virtual void DropPendingModuleItems() = 0;
    virtual bool IsAddressFree(const QByteArray &address) = 0;
    // Finds the record by address (update search order), stores the configuration text and editor state and
    // copies the captions of the record's editor into it.
    virtual void UpdateModuleRecord(const QByteArray &address, const QByteArray &config,
                                    EditorState editorState) = 0;
    virtual void RelabelModule(const QByteArray &address, const QString &caption) = 0;

    // The reply time-out of the port panel's time-out field, which editors restore after a raised time-out.
    virtual int TimeOutFieldMs() const = 0;

    // The open port's baud rate, and a change of it made as the port panel makes one (the panel shows the new
    // rate and the hint names it); a rate the panel does not list leaves the rate as it is.
    virtual int LineBaud() const = 0;
    virtual void SetLineBaud(int baud) = 0;
};

class WindowHost
{
public:
    virtual ~WindowHost() = default;

    // Main window: hint panel (third status bar panel), caption, geometry and enabled state.
    virtual void SetHint(const QString &hint) = 0;
    virtual void SetWorkspaceCaption(const QString &caption) = 0;
    virtual QRect MainGeometry() const = 0;
    virtual void SetMainEnabled(bool enabled) = 0;

    // Opens the memory utilities window for the Tvr 5x at this address (two hex digits), with or without
    // checksum.
    virtual void ShowMemoryUtilities(const QByteArray &address, bool checksum) = 0;
    // Opens the trend window of an editor's values, or brings it to the front when it is open already.
    virtual void ShowTrend(TrendFeed &feed) = 0;
};

class Workspace : public BusWorkspace, public WindowHost
{
};

} // namespace navix
