// The editors' poll turns, every editor kind, fed arbitrary replies in every phase of their turns, with what
// a user does in the window mixed in (configuration update, calibrations, trims, settings, address, checksum,
// outputs switched, limits edited and written, the window shown again or closed). Whatever the replies, a
// turn keeps the editor cycle's contract: a step that keeps the bus sends exactly one command, a step that
// gives it back sends none and leaves the turn at rest. Every command is one line for a module of this editor
// (command character, the editor's address or the next ones of a Tvr 5x, printable characters, one CR at its
// end), so that nothing a module or the line garbled goes back onto the bus.
//
// Input: the module (a byte choosing type id and editor, four bytes of configuration, a flag byte: INIT mode,
// checksum), then actions, each a byte whose low two bits choose: 0 a reply of the next byte's length from
// the input, 1 a time-out or wrong checksum (empty reply), 2 a frame of the length the command asked for,
// filled from the input, 3 a user action chosen by the next bytes.

#include "fuzz_support.h"

#include "bus/text.h"
#include "editors/digital_turns.h"
#include "editors/turn_4013.h"
#include "editors/turn_4017.h"
#include "editors/turn_4021.h"
#include "editors/turn_4x13.h"
#include "support/recording_prompt.h"
#include "support/test_workspace.h"

#include <array>
#include <cstdio>
#include <functional>
#include <memory>
#include <optional>

using namespace navix;

namespace {
enum class Action { Reply = 0, Silence = 1, Frame = 2, User = 3 };
constexpr int InitFlagBit = 0x01;
constexpr int ChecksumBit = 0x02;
// How many user actions the input chooses from; kind-specific ones do nothing for another kind.
constexpr int UserActionCount = 20;
constexpr int CalibrationCodeCount = 7;
// Texts a user types into the Tvr 5x fields and the data field: digits, hex letters and the separators the
// fields take. The windows accept nothing else.
const QByteArray TypedCharacters = "0123456789ABCDEFabcdef:.() -";

struct EditorChoice
{
    const char *typeId;
    std::function<std::unique_ptr<EditorTurn>(Workspace &)> make;
};

template <typename Turn> std::function<std::unique_ptr<EditorTurn>(Workspace &)> Make()
{
    return [](Workspace &workspace) { return std::make_unique<Turn>(workspace); };
}

std::function<std::unique_ptr<EditorTurn>(Workspace &)> MakeDigital(bool output, const DigitalDesign &design)
{
    return [output, &design](Workspace &workspace) -> std::unique_ptr<EditorTurn> {
        if (output)
            return std::make_unique<OutputTurn>(workspace, design);
        return std::make_unique<InputTurn>(workspace, design);
    };
}

const std::array<EditorChoice, 14> &Choices()
{
    static const std::array<EditorChoice, 14> choices = {{
        {"4013", Make<Turn4013>()},
        {"20", Make<Turn4013>()}, // a Tvr 5x, found as such by the search
        {"4113", Make<Turn4x13>()},
        {"4213", Make<Turn4x13>()},
        {"4313", Make<Turn4x13>()},
        {"4413", Make<Turn4x13>()},
        {"4513", Make<Turn4x13>()},
        {"4613", Make<Turn4x13>()},
        {"4017", Make<Turn4017>()},
        {"4021", Make<Turn4021>()},
        {"4050", MakeDigital(true, OutputTurn::Outputs4050)},
        {"4060", MakeDigital(true, OutputTurn::Relays4060)},
        {"4052", MakeDigital(false, InputTurn::Inputs4052)},
        {"4152", MakeDigital(false, InputTurn::Inputs4152)},
    }};
    return choices;
}

QString TypedText(FuzzInput &input)
{
    QString text;
    for (int count = input.Byte() % 12; count > 0; --count)
        text += QChar::fromLatin1(TypedCharacters.at(input.Byte() % TypedCharacters.size()));
    return text;
}

void UserAction(EditorTurn &turn, FuzzInput &input)
{
    const int choice = input.Byte() % UserActionCount;
    const int value = input.Byte();
    auto *turn4013 = qobject_cast<Turn4013 *>(&turn);
    auto *turn4017 = qobject_cast<Turn4017 *>(&turn);
    auto *turn4021 = qobject_cast<Turn4021 *>(&turn);
    auto *output = qobject_cast<OutputTurn *>(&turn);
    switch (choice) {
    case 0:
        turn.RequestUpdate();
        break;
    case 1: {
        // The stack calibrations are offered by the Tvr 5x's window alone.
        const auto code = static_cast<CalibrationCode>(value % CalibrationCodeCount);
        const bool stack = code == CalibrationCode::StackSpan || code == CalibrationCode::StackOffset;
        if (!stack || (turn4013 && turn4013->IsVariant()))
            turn.RequestCalibration(code);
        break;
    }
    case 2:
        turn.RequestTrim(value);
        break;
    case 3:
        // Rows and items the window offers, and the -1 of a text that is no item.
        turn.ChooseSetting(value % turn.SettingCount(), input.Byte() % 12 - 1);
        break;
    case 4:
        turn.ChooseAddress(value);
        break;
    case 5:
        turn.ChooseChecksum(value & 1);
        break;
    case 6:
        turn.WindowShown();
        break;
    case 7:
        turn.RestoreSettings();
        break;
    case 8:
        turn.SetCaption(value % 8, TypedText(input));
        break;
    case 9:
        if (turn4013)
            turn4013->BeginLimitsEdit();
        break;
    case 10:
        if (turn4013)
            turn4013->RequestLimitsUpdate();
        break;
    case 11:
        if (turn4013)
            turn4013->SetLimit(value % Turn4013::LimitCount,
                               Turn4013::LowestLimit + input.Byte() * 2 % (Turn4013::HighestLimit + 51));
        break;
    case 12:
        if (turn4013) {
            const QString text = TypedText(input);
            switch (value % 4) {
            case 0:
                turn4013->SetTimeText(text);
                break;
            case 1:
                turn4013->SetDateText(text);
                break;
            case 2:
                turn4013->SetConstantText(text);
                break;
            default:
                turn4013->SetIntervalText(text);
            }
        }
        break;
    case 13:
        if (turn4017)
            turn4017->ClickChannel(value % Turn4017::ChannelCount, input.Byte() & 1);
        break;
    case 14:
        if (turn4021)
            turn4021->MovePosition((value << 8 | input.Byte()) - 0x1000);
        break;
    case 15:
        if (output)
            output->ClickChannel(value % output->ChannelCount());
        break;
    case 16:
        if (output)
            output->TakeDataText(TypedText(input), value & 1);
        break;
    case 17:
        if (output)
            output->SetDataFocused(value & 1);
        break;
    default:
        break; // the user looks on
    }
}

bool IsPrintable(const QByteArray &text)
{
    for (const char c : text)
        if (static_cast<uchar>(c) < 0x20 || static_cast<uchar>(c) > 0x7E)
            return false;
    return true;
}

void CheckCommand(const QByteArray &command, const EditorTurn &turn, int firstAddress)
{
    const auto expect = [&](bool condition, const char *promise) {
        if (!condition)
            std::fprintf(stderr, "command %s, address in use %s, span %d\n",
                         command.toPercentEncoding().constData(), turn.AddressText().constData(),
                         turn.AddressSpan());
        FuzzCheck(condition, promise);
    };
    expect(command.endsWith(CR) && command.count(CR) == 1, "a command is one line ended by its CR");
    expect(QByteArray("$#%@~").contains(CharAt(command, 1)), "a command begins with a command character");
    const QByteArray body = command.chopped(1);
    expect(IsPrintable(body), "a command holds printable characters only");
    const QByteArray address = Copy(body, 2, 2);
    expect(address.size() == 2 && IsUpperHex(address), "a command goes to a two-digit hex address");
    // Commands go to the address in use and the addresses a Tvr 5x spans; a configuration command names the
    // address it moves from.
    const int to = HexToInt(address);
    const int from = HexToInt(turn.AddressText());
    expect((to >= from && to < from + turn.AddressSpan()) || to == firstAddress,
           "a command goes to the editor's module");
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    FuzzInput input(data, size);
    const EditorChoice &choice = Choices().at(input.Byte() % Choices().size());
    QByteArray config =
        HexByte(input.Byte()) + HexByte(input.Byte()) + HexByte(input.Byte()) + HexByte(input.Byte());
    const quint8 flags = input.Byte();
    if (flags & ChecksumBit)
        config[6] = HexByte(HexToInt(Copy(config, 7, 2)) | 0x40).at(0);

    RecordingPrompt prompt;
    Prompt *previousPrompt = InstallPrompt(&prompt);
    TestWorkspace workspace;
    const ModuleRecordPtr record = workspace.modules.AddModule(choice.typeId, config, flags & InitFlagBit);
    FuzzCheck(record != nullptr, "a fresh bus takes the module");
    std::unique_ptr<EditorTurn> turn = choice.make(workspace);
    SetUpTurn(*turn, *record);
    record->SetEditor(turn.get(), turn.get());
    record->editorState = EditorState::Open;
    const int firstAddress = HexToInt(turn->AddressText());
    int closeRequests = 0;
    QObject::connect(turn.get(), &EditorTurn::CloseRequested, [&] { ++closeRequests; });

    QList<QByteArray> &written = workspace.port.written;
    bool closing = false;
    // The cycle starts every turn with an empty reply, as the bus router hands the bus to an editor.
    QByteArray reply;
    for (;;) {
        const qsizetype before = written.size();
        const bool over = turn->HandleReply(reply);
        FuzzCheck(written.size() == before + (over ? 0 : 1),
                  "a step sends one command while the turn goes on, none when it ends");
        if (over)
            FuzzCheck(turn->IsRestPhase(), "a turn that gives back the bus is at rest");
        for (qsizetype i = before; i < written.size(); ++i)
            CheckCommand(written.at(i), *turn, firstAddress);
        if (over && closing) {
            // As the editor cycle ends the turn of an editor whose window closed meanwhile.
            FuzzCheck(record->editorState == EditorState::CloseAtTurnEnd,
                      "a close asked for during the turn waits for its end");
            turn->CloseAtTurnEnd();
            FuzzCheck(closeRequests == 1, "the window closes once the turn is over");
            break;
        }
        written.clear();

        // The user acts between the steps; then comes the reply to the command that went out, or the next
        // turn.
        std::optional<quint8> action;
        bool closed = false;
        while (!action && !closed && !input.AtEnd()) {
            const quint8 next = input.Byte();
            if (static_cast<Action>(next & 3) != Action::User)
                action = next;
            else if (next >> 2 == 0 && !closing)
                closed = (closing = true) && turn->Close();
            else
                UserAction(*turn, input);
        }
        if (!action || closed)
            break;
        switch (static_cast<Action>(*action & 3)) {
        case Action::Reply:
            reply = input.Bytes(input.Byte());
            break;
        case Action::Frame: {
            // As the engine hands a frame on: its start character, the address, the announced length
            // without the checksum, and the CR last when the command reads up to it.
            const int length = workspace.engine.ExpectedLength() - (workspace.engine.ChecksumInUse() ? 2 : 0);
            reply = QByteArray(1, "!>?"[*action / 4 % 3]) + turn->AddressText();
            reply += input.Bytes(length - reply.size() - 1);
            reply += CR;
            reply = reply.left(qMax(length, 1));
            break;
        }
        default:
            reply.clear();
        }
    }
    turn.reset();
    InstallPrompt(previousPrompt);
    return 0;
}
