#include "port_names.h"

#include "serial_platform.h"

#include <QDir>
#include <QSerialPortInfo>
#include <QSet>

#include <algorithm>

namespace navix {

namespace {

constexpr int HighestComNumber = 65535; // the port object keeps the number in 16 bits

QString FileName(const QString &path)
{
    const qsizetype slash = std::max(path.lastIndexOf(QLatin1Char('/')), path.lastIndexOf(QLatin1Char('\\')));
    return path.mid(slash + 1);
}

// The number that follows prefix in name, written as plain decimal ("COM12", "ttyS0"); -1 when name is not
// of that form. Leading zeros are refused: "COM05" would show as a different name than it has.
int NumberAfter(const QString &name, const QString &prefix)
{
    if (!name.startsWith(prefix))
        return -1;
    const QString digits = name.mid(prefix.size());
    bool ok = false;
    const int number = digits.toInt(&ok);
    if (!ok || number < 0 || QString::number(number) != digits)
        return -1;
    return number;
}

bool IsComNumber(int number)
{
    return number >= 1 && number <= HighestComNumber;
}

// Name order that counts trailing numbers as numbers, so that ttyUSB2 comes before ttyUSB10.
bool NameOrderLess(const QString &left, const QString &right)
{
    auto split = [](const QString &path) {
        qsizetype end = path.size();
        while (end > 0 && path.at(end - 1).isDigit())
            --end;
        const QString digits = path.mid(end);
        return std::pair(path.left(end), digits.isEmpty() ? -1LL : digits.toLongLong());
    };
    const auto [leftBase, leftNumber] = split(left);
    const auto [rightBase, rightNumber] = split(right);
    if (leftBase != rightBase)
        return leftBase < rightBase;
    if (leftNumber != rightNumber)
        return leftNumber < rightNumber;
    return left < right;
}

} // namespace

QString VirtualPortFolder()
{
    return UserRuntimeFolder() + QStringLiteral("/navix/ports");
}

QMap<int, QString> NumberComPorts(const QStringList &systemDevices, const QList<VirtualPortLink> &links)
{
    QMap<int, QString> ports;
    QSet<QString> linkedDevices;
    for (const VirtualPortLink &link : links) {
        const int number = NumberAfter(FileName(link.path), QStringLiteral("COM"));
        if (!IsComNumber(number) || ports.contains(number))
            continue;
        ports.insert(number, link.path);
        linkedDevices.insert(link.target);
    }

    QStringList unnumbered;
    QSet<QString> seen;
    for (const QString &device : systemDevices) {
        if (device.isEmpty() || linkedDevices.contains(device) || seen.contains(device))
            continue;
        seen.insert(device);
        const QString name = FileName(device);
        int number = NumberAfter(name, QStringLiteral("ttyS"));
        if (number >= 0)
            ++number;
        else
            number = NumberAfter(name, QStringLiteral("COM"));
        if (IsComNumber(number) && !ports.contains(number))
            ports.insert(number, device);
        else
            unnumbered.append(device);
    }

    std::sort(unnumbered.begin(), unnumbered.end(), NameOrderLess);
    int next = 1;
    for (const QString &device : unnumbered) {
        while (next <= HighestComNumber && ports.contains(next))
            ++next;
        if (next > HighestComNumber)
            break;
        ports.insert(next, device);
    }
    return ports;
}

QMap<int, QString> EnumerateComPorts()
{
    QStringList systemDevices;
    const QList<QSerialPortInfo> infos = QSerialPortInfo::availablePorts();
    for (const QSerialPortInfo &info : infos)
        systemDevices.append(info.systemLocation());

    QList<VirtualPortLink> links;
    const QDir folder(VirtualPortFolder());
    const QFileInfoList entries =
        folder.entryInfoList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot, QDir::Name);
    for (const QFileInfo &entry : entries) {
        const QString target = ResolveSerialDevice(entry.filePath());
        if (!target.isEmpty())
            links.append({entry.filePath(), target});
    }
    return NumberComPorts(systemDevices, links);
}

} // namespace navix
