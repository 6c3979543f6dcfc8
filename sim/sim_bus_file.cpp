#include "sim_bus_file.h"

#include "bus/text.h"
#include "sim_replies.h"

#include <QFile>
#include <QList>

#include <optional>

namespace navix {

namespace {
struct ModuleLine
{
    int number = 0;
    QByteArray text;
    QByteArray typeId;
    QByteArray config;
    bool init = false;
    bool tvr = false;
    bool frozen = false;
    QByteArray firmware;
    SimFaults faults;

    int FirstAddress() const { return init ? 0 : HexToInt(Copy(config, 1, 2)); }
    int Span() const { return tvr || typeId == "20" ? 3 : 1; }
};

std::optional<int> Count(const QByteArray &text)
{
    bool ok = false;
    const int value = text.toInt(&ok);
    return ok && value >= 0 ? std::optional<int>(value) : std::nullopt;
}

// Reads one option into the line; an empty result means it was understood.
QString ReadOption(const QByteArray &option, ModuleLine &line)
{
    const qsizetype equals = option.indexOf('=');
    const QByteArray name = equals < 0 ? option : option.left(equals);
    const QByteArray value = equals < 0 ? QByteArray() : option.mid(equals + 1);
    const bool flag = equals < 0;
    if (flag && name == "init")
        line.init = true;
    else if (flag && name == "tvr")
        line.tvr = true;
    else if (flag && name == "frozen")
        line.frozen = true;
    else if (flag && name == "bad-checksum")
        line.faults.badChecksum = true;
    else if (flag && name == "noise")
        line.faults.noise = true;
    else if (flag && name == "split")
        line.faults.splitReplies = true;
    else if (!flag && name == "firmware" && value.size() == 4)
        line.firmware = value;
    else if (!flag && name == "lose" && value == "all")
        line.faults.loseAllReplies = true;
    else if (!flag && name == "lose" && Count(value))
        line.faults.loseReplies = *Count(value);
    else if (!flag && name == "lose-every" && Count(value))
        line.faults.loseEvery = *Count(value);
    else if (!flag && name == "late" && Count(value))
        line.faults.lateReplyMs = *Count(value);
    else
        return QStringLiteral("unknown option or bad value \"%1\"").arg(FromWire(option));
    return {};
}

QString ReadLine(ModuleLine &line)
{
    QByteArray content = line.text;
    const qsizetype comment = content.indexOf('#');
    if (comment >= 0)
        content.truncate(comment);
    const QList<QByteArray> words = content.simplified().split(' ');
    line.typeId = words.value(0);
    line.config = words.value(1);
    const bool typeOk = line.typeId == "20" || (line.typeId.size() == 4 && IsDecimalText(line.typeId));
    if (!typeOk)
        return QStringLiteral("the type \"%1\" is not a four-digit type id").arg(FromWire(line.typeId));
    if (line.config.size() != 8 || !IsHexText(line.config))
        return QStringLiteral("the configuration \"%1\" is not eight hex digits (AATTCCFF)")
            .arg(FromWire(line.config));
    line.config = line.config.toUpper();
    for (qsizetype i = 2; i < words.size(); ++i) {
        const QString problem = ReadOption(words[i], line);
        if (!problem.isEmpty())
            return problem;
    }
    if (line.tvr && line.typeId != "4013" && line.typeId != "20")
        return QStringLiteral("only type 4013 can be a Tvr 5x");
    return {};
}

QString LineMessage(const ModuleLine &line, const QString &problem)
{
    return QStringLiteral("line %1: %2: %3").arg(line.number).arg(problem, FromWire(line.text.trimmed()));
}
} // namespace

QString LoadBusText(SimBus &bus, const QByteArray &text)
{
    QList<ModuleLine> lines;
    const QList<QByteArray> rows = text.split('\n');
    for (qsizetype index = 0; index < rows.size(); ++index) {
        ModuleLine line;
        line.number = static_cast<int>(index + 1);
        line.text = rows[index];
        if (line.text.endsWith('\r'))
            line.text.chop(1);
        const qsizetype comment = line.text.indexOf('#');
        if ((comment < 0 ? line.text : line.text.left(comment)).trimmed().isEmpty())
            continue;
        const QString problem = ReadLine(line);
        if (!problem.isEmpty())
            return LineMessage(line, problem);
        // Two modules that answer at one address would talk at once.
        for (const ModuleLine &earlier : lines) {
            const int first = qMax(line.FirstAddress(), earlier.FirstAddress());
            const int last =
                qMin(line.FirstAddress() + line.Span(), earlier.FirstAddress() + earlier.Span()) - 1;
            if (first <= last)
                return LineMessage(line, QStringLiteral("address %1 is taken by line %2")
                                             .arg(FromWire(HexByte(first)))
                                             .arg(earlier.number));
        }
        lines.append(line);
    }
    for (const ModuleLine &line : lines) {
        SimModule &module = bus.AddModule(line.typeId, line.config);
        module.initMode = line.init;
        module.tvr = module.tvr || line.tvr;
        module.frozen = module.frozen || line.frozen;
        if (!line.firmware.isEmpty())
            module.firmware = line.firmware;
        static_cast<SimFaults &>(module) = line.faults;
    }
    return {};
}

QString LoadBusFile(SimBus &bus, const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return QStringLiteral("cannot read %1: %2").arg(path, file.errorString());
    const QString problem = LoadBusText(bus, file.readAll());
    return problem.isEmpty() ? problem : path + ": " + problem;
}

QByteArray DemoBusText()
{
    return "# The demo bus: one module of every type.\n"
           "4013  01200600           # thermometer, Pt100 -100..100 degrees\n"
           "4017  02080600           # eight inputs, +/- 10 V\n"
           "4021  03310600           # output 4..20 mA\n"
           "4050  04400600           # eight outputs\n"
           "4052  05400600           # eight inputs\n"
           "4060  06400700           # four relays, at 19200 baud\n"
           "4113  07200600           # temperature sensor\n"
           "4213  08200600           # humidity sensor\n"
           "4313  09200600           # CO sensor\n"
           "4413  0A200600           # CO2 sensor\n"
           "4513  0B200500           # absolute pressure, at 4800 baud\n"
           "4613  0C200600           # differential pressure\n"
           "4152  0D400600           # digital inputs\n"
           "4013  10200602  tvr      # Tvr 5x at 10, 11 and 12; hex format carries degree codes\n"
           "4113  20200600  init     # in INIT: answers at 00 without checksum\n"
           "4017  14080640           # uses checksums\n";
}

} // namespace navix
