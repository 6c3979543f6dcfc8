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

class PtyServer : public QObject
{
    Q_OBJECT
public:
    explicit PtyServer(QObject *parent = nullptr);
    ~PtyServer() override;

    // Creates the pseudo-terminal (raw mode, baud). Returns an empty text or what failed.
    QString Open(int baud);
    // Registers the slave as COM<comNumber>, or as the first free COM number from 20 up when comNumber is 0.
    // Returns an empty text or what failed.
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

    int master = -1;
    QString slavePath;
    QString linkPath;
    int comNumber = 0;
    bool clientPresent = false;
    QSocketNotifier *readNotifier = nullptr;
    QSocketNotifier *writeNotifier = nullptr;
    // While no program has the slave open the master reports hang-up without end; it is then looked at
    // from a timer instead of the notifier.
    QTimer presencePoll;
    QByteArray output;
};

// Whether a COM<n> entry of the virtual port folder is free to take: absent, or a link left behind by a
// simulator that did not end cleanly (its device is gone).
bool VirtualComEntryFree(const QString &entryPath);
