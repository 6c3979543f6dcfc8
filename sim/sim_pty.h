#pragma once
// The far end of a serial line for navix-sim: a pseudo-terminal whose slave side the program opens as its
// serial port, registered as COM<n> in the per-user folder of virtual ports. Bytes the program writes arrive
// through BytesReceived; Write sends bytes back. A program may close the port and open it again; while no
// program has it open, nothing is sent (a reply would wait in the line and reach the next program as noise).

#include <QByteArray>
#include <QObject>
#include <QString>
#include <QTimer>

class QSocketNotifier;

namespace navix {

class PtyServer : public QObject
{
    Q_OBJECT
public:
    explicit PtyServer(QObject *parent = nullptr);
    ~PtyServer() override;

    // Creates the pseudo-terminal (raw mode, baud). Returns an empty text or what failed.
    QString Open(int baud);
    // Registers the slave as COM<comNumber>, or as the first free COM number from 20 up when comNumber is 0.
    // Returns an empty text or what failed. The number stays locked (see TakeComNumberLock) until Unregister
    // or the end of the process, however it ends.
    QString Register(int comNumber);
    void Unregister();

    QString SlavePath() const { return slavePath; }
    QString LinkPath() const { return linkPath; }
    int ComNumber() const { return comNumber; }
    bool ClientPresent() const { return clientPresent; }

    void Write(const QByteArray &bytes);
    // The rate the program has set on its side of the line (the pseudo-terminal keeps the settings the
    // program makes); 0 when it cannot be read.
    int LineBaud() const;

signals:
    void BytesReceived(const QByteArray &bytes);
    void ClientOpened();
    void ClientClosed();

private:
    void ReadMaster();
    void FlushOutput();
    void SetClientPresent(bool present);
    void ReleaseComLock();

    int master = -1;
    QString slavePath;
    QString linkPath;
    int comNumber = 0;
    int comLock = -1; // descriptor of the held lock file of comNumber
    bool clientPresent = false;
    QSocketNotifier *readNotifier = nullptr;
    QSocketNotifier *writeNotifier = nullptr;
    // While no program has the slave open the master reports hang-up without end; it is then looked at
    // from a timer instead of the notifier.
    QTimer presencePoll;
    QByteArray output;
};

// A simulator holds the lock file of its COM number (navix/port-locks/COM<n>.lock in the runtime folder) for
// as long as it serves it; the system drops the lock when the process ends, also when it is killed. The lock
// files themselves stay, so that no two simulators can ever lock different files of one name.
// Returns the descriptor of the held lock, or -1 when a running simulator holds it (or no lock file can be
// made).
int TakeComNumberLock(int number);

// Whether the COM<n> entry of the virtual port folder may be taken by a simulator that holds the lock of n:
// absent, a link whose device is gone, or a link to a pseudo-terminal. No running simulator serves such a
// link, so it was left behind by one that was killed; its pseudo-terminal name may well have been handed out
// again, to this very simulator. A link to any other device was made on purpose and stays.
bool VirtualComEntryFree(const QString &entryPath);

} // namespace navix
