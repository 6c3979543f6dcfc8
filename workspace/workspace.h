#pragma once
// workspace/ holds the seams between the wire (bus/) and the windows: this interface, the editor interface,
// the module records, the bus router, the tool bus session and the prompt seam. No widget lives here.
//
// What the tool windows and module editors ask of the workspace (the main window): the bus, the module
// records, the module tree and the status bar. Windows see only this interface, never the main window or a
// serial port.

#include "bus/transaction_engine.h"
#include "bus_router.h"
#include "module_records.h"
#include "trend_feed.h"

#include <QRect>
#include <QString>

namespace navix {

class Workspace
{
public:
    virtual ~Workspace() = default;

    virtual TransactionEngine &Engine() = 0;
    virtual BusRouter &Router() = 0;
    virtual ModuleRegistry &Modules() = 0;

    // Module records and tree items.
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

} // namespace navix
