#pragma once
// navix-gateway as a program: its command line (--config FILE, --check), and SIGHUP and SIGTERM taken into
// the event loop through a pipe, the one thing a signal handler may safely do.

#include <QObject>
#include <QSocketNotifier>

#include <memory>

namespace navix {

// Turns SIGHUP, SIGTERM and SIGINT into signals on the event loop. One per program.
class UnixSignals : public QObject
{
    Q_OBJECT
public:
    explicit UnixSignals(QObject *parent = nullptr);
    ~UnixSignals() override;
    // False when the pipe could not be made.
    bool IsReady() const { return notifier != nullptr; }

signals:
    void Hangup();
    void Terminate();

private:
    void TakeSignals();
    std::unique_ptr<QSocketNotifier> notifier;
};

// Runs the program; its exit code (2 for a bad command line or configuration).
int RunGateway(int argc, char *argv[]);

} // namespace navix
