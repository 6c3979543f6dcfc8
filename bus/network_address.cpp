#include "network_address.h"

namespace navix {

namespace {
constexpr int HighestTcpPort = 65535;

bool IsUsableHost(const QString &host)
{
    if (host.isEmpty())
        return false;
    for (const QChar character : host)
        if (character.isSpace() || character == QLatin1Char('[') || character == QLatin1Char(']') ||
            character == QLatin1Char('/'))
            return false;
    return true;
}
} // namespace

bool NetworkAddress::IsValid() const
{
    return IsUsableHost(host) && port != 0;
}

QString NetworkAddress::Text() const
{
    // A colon in the host can only be an IPv6 address; brackets keep its colons apart from the port's.
    const QString shownHost =
        host.contains(QLatin1Char(':')) ? QLatin1Char('[') + host + QLatin1Char(']') : host;
    return shownHost + QLatin1Char(':') + QString::number(port);
}

std::optional<NetworkAddress> NetworkAddress::FromText(const QString &text)
{
    const qsizetype colon = text.lastIndexOf(QLatin1Char(':'));
    if (colon < 0)
        return std::nullopt;
    bool isNumber = false;
    const int port = text.mid(colon + 1).toInt(&isNumber);
    if (!isNumber)
        return std::nullopt;
    QString host = text.left(colon);
    if (host.startsWith(QLatin1Char('[')) && host.endsWith(QLatin1Char(']')))
        host = host.mid(1, host.size() - 2);
    else if (host.contains(QLatin1Char(':')))
        return std::nullopt; // an IPv6 address without brackets cannot be told from its port
    const std::optional<NetworkAddress> address = FromParts(host, port);
    // Only the form Text() writes counts, so that one address is never remembered under two texts.
    if (!address || address->Text() != text)
        return std::nullopt;
    return address;
}

std::optional<NetworkAddress> NetworkAddress::FromParts(const QString &host, int port)
{
    QString bare = host.trimmed();
    if (bare.startsWith(QLatin1Char('[')) && bare.endsWith(QLatin1Char(']')))
        bare = bare.mid(1, bare.size() - 2);
    if (port < 1 || port > HighestTcpPort || !IsUsableHost(bare))
        return std::nullopt;
    return NetworkAddress{bare, static_cast<quint16>(port)};
}

} // namespace navix
