#include "fuzz_support.h"

#include <QCoreApplication>

#include <cstdio>
#include <cstdlib>

namespace navix {

void FuzzCheck(bool condition, const char *promise)
{
    if (condition)
        return;
    std::fprintf(stderr, "broken promise: %s\n", promise);
    std::abort();
}

FuzzInput::FuzzInput(const uint8_t *data, size_t size)
    : bytes(reinterpret_cast<const char *>(data), static_cast<qsizetype>(size))
{
}

quint8 FuzzInput::Byte()
{
    return AtEnd() ? 0 : static_cast<quint8>(bytes.at(position++));
}

QByteArray FuzzInput::Bytes(qsizetype count)
{
    const QByteArray taken = bytes.mid(position, count);
    position += taken.size();
    return taken;
}

QByteArray FuzzInput::Rest()
{
    return Bytes(bytes.size() - position);
}

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    // The engine's timers and the in-memory port's notifications need an application object; it lives as long
    // as the process.
    static int argc = 1;
    static char name[] = "navix-fuzz";
    static char *argv[] = {name, nullptr};
    static QCoreApplication *application = new QCoreApplication(argc, argv);
    Q_UNUSED(application);
    return 0;
}

} // namespace navix
