#pragma once
// A stand-in for a module editor window: a plain widget that takes part in the editor cycle. With a command
// it sends that command on the first call of each turn and ends the turn on the next call, as the real
// editors do.

#include "bus/transaction_engine.h"
#include "workspace/module_editor.h"
#include "workspace/module_records.h"

#include <QWidget>

namespace navix {

class FakeEditor : public QWidget, public ModuleEditor
{
public:
    explicit FakeEditor(TransactionEngine *engine = nullptr, const QByteArray &command = {})
        : engine(engine), command(command)
    {
        resize(200, 120);
    }

    bool HandleReply(const QByteArray &reply) override
    {
        replies.append(reply);
        if (!engine || command.isEmpty() || waiting) {
            waiting = false;
            return true;
        }
        waiting = true;
        engine->SendCommand({.command = command,
                             .checksum = false,
                             .receiveMode = ReceiveMode::CheckedFrame,
                             .startChar = '!',
                             .endChar = '\r',
                             .expectedLength = 4});
        return false;
    }
    void CloseAtTurnEnd() override { close(); }
    QStringList Captions() const override { return captions; }

    // Links the editor to a record as the editor factory does, in the given editor state.
    void Attach(ModuleRecord &record, EditorState editorState)
    {
        record.SetEditor(this, this);
        record.editorState = editorState;
    }

    TransactionEngine *engine;
    QByteArray command;
    bool waiting = false;
    QList<QByteArray> replies;
    QStringList captions;
};

} // namespace navix
