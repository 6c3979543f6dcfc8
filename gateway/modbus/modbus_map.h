#pragma once
// The gateway's Modbus register map, the same for every unit (one unit per module):
//
//   table              addresses         content
//   input registers    0 .. n-1          analog inputs as the module's data format gives them, as a signed
//                                        16-bit integer: the reading's digits without its decimal point
//                                        ("+05.123" V is 5123, "-0.150" mA is -150), the count itself in the
//                                        two's complement hex format
//   input registers    1000 .. 1000+2n-1 the same inputs as IEEE-754 32-bit floats in engineering units, two
//                                        registers each, high word first
//   discrete inputs    0 .. n-1          digital inputs
//   coils              0 .. n-1          digital outputs (writable modules only)
//   holding registers  0                 the analog output, scaled as the input registers (writable modules)
//   holding registers  1000 .. 1007      status: quality, time since the last good read in 100 ms (65535 at
//                                        most and before the first read), exchanges, time-outs, wrong
//                                        checksums (32-bit counters, high word first, modulo 2^32)
//
// A unit id that is no module is answered with exception 0x0B (gateway target failed to respond), and so is
// every request to a module that is away (not read yet, or missed several polls in a row) but a read of its
// status block. A read or write that leaves a block is refused with 0x02, a function not listed with 0x01, a
// quantity or coil value the protocol does not allow with 0x03; a write that its module refuses or does not
// read back with 0x04. Functions: 01, 02, 03, 04, 05, 06, 0F, 10.

#include <QtGlobal>

namespace navix::modbus {

// The first address of each block in its table.
enum class Block : quint16 {
    ScaledInputs = 0,   // input registers
    FloatInputs = 1000, // input registers
    DigitalInputs = 0,  // discrete inputs
    DigitalOutputs = 0, // coils
    AnalogOutput = 0,   // holding registers
    Status = 1000,      // holding registers
};

constexpr quint16 Start(Block block)
{
    return static_cast<quint16>(block);
}

// The registers of the status block, counted from its start.
enum class StatusRegister : quint16 {
    Quality = 0,
    SinceGoodRead = 1, // in 100 ms
    Exchanges = 2,     // high word, low word at 3
    TimeOuts = 4,      // and 5
    WrongChecksums = 6 // and 7
};
constexpr quint16 StatusRegisters = 8;
constexpr quint16 SinceGoodReadStepMs = 100;

// The status block's quality register.
enum class UnitQuality : quint16 {
    Good = 0,          // the last poll was answered
    Lost = 1,          // the last poll went unanswered: the registers hold the last good values
    WrongChecksum = 2, // the last poll's reply had a wrong checksum: the same
    Absent = 3,        // the module missed several polls in a row: its data is refused with 0x0B
    NotYetRead = 4,    // no good read since the gateway started
};

} // namespace navix::modbus
