#pragma once
// navix-sim's command line: its options with their help texts, and the reading of numbers with the message
// for one out of range.

#include <QCommandLineOption>
#include <QCommandLineParser>
#include <QString>

class QCoreApplication;

namespace navix {

class SimCommandLine
{
public:
    // Parses the application's arguments; --help and a bad option print their text and end the program.
    explicit SimCommandLine(const QCoreApplication &app);

    bool IsSet(const QCommandLineOption &option) const { return parser.isSet(option); }
    QString Value(const QCommandLineOption &option) const { return parser.value(option); }
    // Reads the option's number into value when it lies from low to high; otherwise says so on standard
    // error and returns false.
    bool Number(const QCommandLineOption &option, int low, int high, int &value) const;

    const QCommandLineOption com;
    const QCommandLineOption bus;
    const QCommandLineOption printDemo;
    const QCommandLineOption lose;
    const QCommandLineOption loseEvery;
    const QCommandLineOption badChecksum;
    const QCommandLineOption noise;
    const QCommandLineOption split;
    const QCommandLineOption late;
    const QCommandLineOption lineTiming;
    const QCommandLineOption adapterLatency;
    const QCommandLineOption baud;
    const QCommandLineOption garble;
    const QCommandLineOption seed;
    const QCommandLineOption frozen;
    const QCommandLineOption trace;
    const QCommandLineOption closeGrace;
    const QCommandLineOption exitOnClose;
    const QCommandLineOption control;

private:
    QCommandLineParser parser;
};

// Prints "navix-sim: " and the message on standard error.
void PrintSimError(const QString &message);

} // namespace navix
