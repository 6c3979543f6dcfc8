// The engine's receive path: one exchange in any receive mode, with or without checksum, answered by
// arbitrary characters that arrive in arbitrary pieces, with time-outs and new commands in between, as a
// noisy line and a busy tool make them. Whatever comes, the receive buffer stays bounded and every reply
// handed on has the shape its mode promises.
//
// Input: a mode byte (bits 0-1 the receive mode CheckedFrame .. LineMode, bit 2 checksum, bit 3 the tool
// sends the next command from its reply handler), the start character, the end character, the expected
// length; then actions, each a byte whose low two bits choose: 0 a piece of (byte / 4 + 1) characters
// arrives, 1 the time-out fires, 2 the tool sends a new command, 3 a long piece of (byte / 4 + 1) * 64
// characters arrives.

#include "fuzz_support.h"

#include "bus/transaction_engine.h"
#include "sim/memory_port.h"

#include <QCoreApplication>

using namespace navix;

namespace {
constexpr int ModeMask = 0x03;
constexpr int ChecksumBit = 0x04;
constexpr int AnswerBit = 0x08;
constexpr int LengthMask = 0x3F;
constexpr int LongPieceUnit = 64;
// Long enough never to run out by itself: the input says when a time-out comes.
constexpr int IdleTimeOutMs = 3600 * 1000;
enum class Action { Piece = 0, TimeOut = 1, NewCommand = 2, LongPiece = 3 };

class ReplyChecker : public ReplySink
{
public:
    ReplyChecker(TransactionEngine &engine, const Exchange &exchange, bool answers)
        : engine(engine), exchange(exchange), answers(answers)
    {
    }

    // What the test made happen: characters that came and time-outs that fired.
    qint64 received = 0;
    qint64 timeOuts = 0;

    void Send()
    {
        ++commands;
        engine.SendCommand(exchange);
    }

    void DeliverReply(const QByteArray &reply) override
    {
        // Two frames in one piece are two replies to one command; still every reply is owed to a command,
        // a time-out or characters that came, and no character is handed on twice.
        FuzzCheck(++replies <= commands + timeOuts + received, "every reply has a cause");
        delivered += reply.size();
        FuzzCheck(delivered <= received, "no character is handed on twice");
        if (!reply.isEmpty())
            CheckShape(reply);
        // A tool that sends on at once (the terminal's continued sending) starts the next exchange from
        // inside the receive path.
        if (answers)
            Send();
    }

private:
    void CheckShape(const QByteArray &reply) const
    {
        const int length = engine.ExpectedLength();
        switch (engine.CurrentReceiveMode()) {
        case ReceiveMode::CheckedFrame:
        case ReceiveMode::UncheckedFrame:
            FuzzCheck(reply.front() == exchange.startChar, "a frame begins with its start character");
            if (engine.ChecksumInUse())
                FuzzCheck(length >= 3 && reply.size() == length - 2,
                          "a checked frame loses just its checksum");
            else
                FuzzCheck(reply.size() == qMax(length, 1), "a frame is as long as announced");
            if (engine.CurrentReceiveMode() == ReceiveMode::CheckedFrame)
                FuzzCheck(reply.back() == exchange.endChar, "a checked frame ends with its end character");
            break;
        case ReceiveMode::RawMode:
            FuzzCheck(reply.size() <= TransactionEngine::RxBufferLimit,
                      "raw text is never more than the buffer");
            break;
        case ReceiveMode::LineMode:
            FuzzCheck(reply.count(CR) <= 1 && (!reply.contains(CR) || reply.endsWith(CR)),
                      "a line holds at most its own CR, at its end");
            break;
        default:
            FuzzCheck(false, "replies come only for a command's receive mode");
        }
    }

    TransactionEngine &engine;
    const Exchange &exchange;
    bool answers;
    qint64 commands = 0;
    qint64 replies = 0;
    qint64 delivered = 0;
};
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    FuzzInput input(data, size);
    const quint8 modeByte = input.Byte();
    Exchange exchange{.command = "$01M\r"};
    exchange.receiveMode =
        static_cast<ReceiveMode>(static_cast<int>(ReceiveMode::CheckedFrame) + (modeByte & ModeMask));
    exchange.checksum = (modeByte & ChecksumBit) != 0;
    exchange.startChar = static_cast<char>(input.Byte());
    exchange.endChar = static_cast<char>(input.Byte());
    exchange.expectedLength = input.Byte() & LengthMask;

    MemoryPort port;
    TransactionEngine engine;
    engine.SetPort(&port);
    engine.SetPacingTag(VeryFast);
    engine.SetTimeOutMs(IdleTimeOutMs);
    ReplyChecker checker(engine, exchange, (modeByte & AnswerBit) != 0);
    engine.SetReplySink(&checker);
    checker.Send();

    while (!input.AtEnd()) {
        const quint8 action = input.Byte();
        const int amount = action / 4 + 1;
        switch (static_cast<Action>(action & 3)) {
        case Action::Piece:
        case Action::LongPiece: {
            const QByteArray piece =
                input.Bytes(static_cast<Action>(action & 3) == Action::Piece ? amount : amount * LongPieceUnit);
            checker.received += piece.size();
            port.Receive(piece);
            break;
        }
        case Action::TimeOut:
            // The wait that runs ends now, as if its time had passed; the next one is long again.
            if (engine.AwaitingReply()) {
                ++checker.timeOuts;
                engine.SetTimeOutMs(0);
                engine.ArmTimeOut(true);
                engine.SetTimeOutMs(IdleTimeOutMs);
            }
            break;
        case Action::NewCommand:
            checker.Send();
            break;
        }
        QCoreApplication::processEvents();
        FuzzCheck(engine.RxBuffer().size() <= TransactionEngine::RxBufferLimit,
                  "the receive buffer holds no more than the port's");
    }
    engine.SetReplySink(nullptr);
    return 0;
}
