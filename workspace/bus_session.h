#pragma once
// One bus as the program talks to it: the port, the transaction engine that writes to it and reads from it,
// the router that hands the engine's replies on, and the records of the modules found on it. It is the one
// way to open a port and run exchanges: the main window, navix-cli, the headless poller, the tests and the
// benchmarks each hold a session, and none of them wires an engine to a port itself.
//
// A session is also the plain BusWorkspace of a program without windows: the module records are the tree,
// the captions of the modules found are kept as a list, and the time-out field is a number.

#include "bus/bus_port.h"
#include "bus/port_directory.h"
#include "bus/transaction_engine.h"
#include "bus_router.h"
#include "module_records.h"
#include "workspace.h"

#include <QObject>
#include <QStringList>

#include <memory>

namespace navix {

class TApdComPort;

class BusSession : public QObject, public BusWorkspace
{
    Q_OBJECT
public:
    // A session on the program's serial port, which also reaches network ports by their COM numbers.
    explicit BusSession(QObject *parent = nullptr);
    // A session on another port (the in-process simulated bus of the tests and benchmarks).
    explicit BusSession(std::unique_ptr<BusPort> port, QObject *parent = nullptr);
    ~BusSession() override;
    BusSession(const BusSession &) = delete;
    BusSession &operator=(const BusSession &) = delete;

    BusPort &Port() { return *port; }
    // The serial port, or nullptr when the session runs on another kind of port.
    TApdComPort *ComPort() const;

    // Opens the serial port at baud, target standing for number within this session alone (a device path, a
    // registered link, or a device server's address). Returns the reason when it cannot be opened at once,
    // without the port's name in front; a network port's connection goes on in the background
    // (ComPort()->IsOpening()), and the port's OpenFailed says when it fails.
    QString OpenComPort(int number, const ComPortTarget &target, int baud);

    // Offers a line inside this program (the simulated bus of the tests, the benchmarks and the soak run)
    // under a COM number of the serial port: opening that number opens the line, as the user opens a port.
    // The line must outlive the session's use of it.
    void OfferLine(int number, BusPort &line);

    // The value of the time-out field: the engine's reply time-out, and the one editors restore after
    // raising it.
    void SetTimeOutField(int ms);

    // The captions of the modules found, in the order they were flushed (the tree of a program without one),
    // and those queued but not flushed yet.
    const QStringList &ModuleCaptions() const { return captions; }
    QStringList &ModuleCaptions() { return captions; }
    QStringList &PendingCaptions() { return pendingCaptions; }

    // BusWorkspace
    TransactionEngine &Engine() override { return engine; }
    BusRouter &Router() override { return router; }
    ModuleRegistry &Modules() override { return modules; }
    void ClearModules(bool keepRouting) override;
    void QueueModuleItem(const QString &caption) override { pendingCaptions.append(caption); }
    void FlushModuleItems() override;
    void DropPendingModuleItems() override { pendingCaptions.clear(); }
    bool IsAddressFree(const QByteArray &address) override { return modules.IsAddressFree(address); }
    void UpdateModuleRecord(const QByteArray &address, const QByteArray &config,
                            EditorState editorState) override;
    void RelabelModule(const QByteArray &address, const QString &caption) override;
    int TimeOutFieldMs() const override { return timeOutFieldMs; }
    int LineBaud() const override { return port->Baud(); }
    void SetLineBaud(int baud) override { port->SetBaud(baud); }

private:
    // Declared first, so that the port outlives the engine that writes to it.
    std::unique_ptr<BusPort> port;
    PortDirectory directory; // the one port OpenComPort opened, under its number
    ModuleRegistry modules;
    TransactionEngine engine;
    BusRouter router{engine, modules};
    int timeOutFieldMs = 100;
    QStringList captions;
    QStringList pendingCaptions;
};

} // namespace navix
