#include "gateway_program.h"

#include "gateway.h"
#include "gateway_log.h"

#include <QCommandLineParser>
#include <QCoreApplication>

#include <csignal>
#include <cstdio>
#include <fcntl.h>
#include <unistd.h>

namespace navix {

namespace {
constexpr int BadConfiguration = 2;
int signalPipe[2] = {-1, -1};

extern "C" void OnSignal(int number)
{
    const char byte = static_cast<char>(number);
    // Nothing can be done about a full pipe here; the signals already in it will be served.
    [[maybe_unused]] const ssize_t written = ::write(signalPipe[1], &byte, 1);
}
} // namespace

UnixSignals::UnixSignals(QObject *parent) : QObject(parent)
{
    if (::pipe2(signalPipe, O_CLOEXEC | O_NONBLOCK) != 0)
        return;
    notifier = std::make_unique<QSocketNotifier>(signalPipe[0], QSocketNotifier::Read);
    connect(notifier.get(), &QSocketNotifier::activated, this, &UnixSignals::TakeSignals);
    struct sigaction action = {};
    action.sa_handler = OnSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    sigaction(SIGHUP, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
    sigaction(SIGINT, &action, nullptr);
}

UnixSignals::~UnixSignals()
{
    std::signal(SIGHUP, SIG_DFL);
    std::signal(SIGTERM, SIG_DFL);
    std::signal(SIGINT, SIG_DFL);
    notifier.reset();
    for (int &end : signalPipe) {
        if (end >= 0)
            ::close(end);
        end = -1;
    }
}

void UnixSignals::TakeSignals()
{
    char byte = 0;
    while (::read(signalPipe[0], &byte, 1) == 1) {
        if (byte == SIGHUP)
            emit Hangup();
        else
            emit Terminate();
    }
}

int RunGateway(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName("navix-gateway");
    QCommandLineParser parser;
    parser.setApplicationDescription(
        "Polls Navix module buses and serves them on an MQTT broker and as Modbus TCP units.");
    parser.addHelpOption();
    const QCommandLineOption configOption("config", "The configuration file (YAML).", "FILE");
    const QCommandLineOption checkOption("check",
                                         "Validate the configuration file and exit (0: valid, 2: not).");
    parser.addOptions({configOption, checkOption});
    if (!parser.parse(app.arguments())) {
        std::fprintf(stderr, "navix-gateway: %s\n", qPrintable(parser.errorText()));
        return BadConfiguration;
    }
    if (parser.isSet("help"))
        parser.showHelp(0);
    if (!parser.isSet(configOption)) {
        std::fprintf(stderr, "navix-gateway: --config FILE is needed (--help tells more)\n");
        return BadConfiguration;
    }
    const QString path = parser.value(configOption);
    const GatewayConfigResult result = LoadGatewayConfig(path);
    if (!result.config) {
        std::fprintf(stderr, "%s\n", qPrintable(ConfigErrorText(path, result)));
        return BadConfiguration;
    }
    if (parser.isSet(checkOption))
        return 0;
    UnixSignals unixSignals;
    if (!unixSignals.IsReady())
        qCWarning(GatewayLog) << "no signal pipe: SIGHUP and SIGTERM end the program at once";
    Gateway gateway(path, *result.config);
    QObject::connect(&unixSignals, &UnixSignals::Hangup, &gateway, [&gateway] { gateway.Reload(); });
    QObject::connect(&unixSignals, &UnixSignals::Terminate, &gateway, &Gateway::Stop);
    QObject::connect(&gateway, &Gateway::Stopped, &app, &QCoreApplication::quit, Qt::QueuedConnection);
    gateway.Start();
    return app.exec();
}

} // namespace navix
