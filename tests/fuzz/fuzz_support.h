#pragma once
// What the fuzz targets share: a reader that takes the fuzzer's bytes apart into the choices and texts a
// target feeds the program, and the check that turns a broken promise of the program into a finding. The
// process's Qt application (timers and posted events need one) is made once, before the first input.

#include <QByteArray>

#include <cstddef>
#include <cstdint>

namespace navix {

// A broken promise is a finding like a crash: the fuzzer stops and keeps the input that caused it.
void FuzzCheck(bool condition, const char *promise);

class FuzzInput
{
public:
    FuzzInput(const uint8_t *data, size_t size);

    bool AtEnd() const { return position >= bytes.size(); }
    // The next byte, 0 once the input is used up.
    quint8 Byte();
    // The next count bytes, fewer where the input ends.
    QByteArray Bytes(qsizetype count);
    // Everything not taken yet.
    QByteArray Rest();

private:
    QByteArray bytes;
    qsizetype position = 0;
};

} // namespace navix
