#pragma once
// Where a serial device server listens: the host and TCP port behind which it exposes a bus line as a raw
// byte stream. Shown and remembered as "host:port" ("[v6 address]:port" for an IPv6 address).

#include <QString>

#include <optional>

namespace navix {

struct NetworkAddress
{
    QString host;
    quint16 port = 0;

    // A host without blanks and a port from 1 to 65535.
    bool IsValid() const;
    QString Text() const;
    // The address a text written as Text() writes it stands for; nothing when the text is no such address.
    static std::optional<NetworkAddress> FromText(const QString &text);
    // The address made of a typed host (outer blanks dropped, brackets around an IPv6 address allowed) and
    // port; nothing when either is unusable.
    static std::optional<NetworkAddress> FromParts(const QString &host, int port);

    friend bool operator==(const NetworkAddress &, const NetworkAddress &) = default;
};

} // namespace navix
