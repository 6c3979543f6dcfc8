#pragma once
// What the editor cycle of the transaction engine needs of a module editor: its poll turn. The turns and
// their windows live above the bus; the engine reaches a turn only through this interface and only while the
// QObject that guards it (its window) is alive.

#include <QByteArray>
#include <QStringList>

namespace navix {

class ModuleEditor
{
public:
    virtual ~ModuleEditor() = default;
    // One step of the editor's turn. false: the editor has just sent a command and awaits its reply;
    // true: its turn is over and the bus passes on. An empty reply means time-out or wrong checksum.
    virtual bool HandleReply(const QByteArray &reply) = 0;
    // The engine closes an editor whose close was deferred (EditorState::CloseAtTurnEnd) at the end of its
    // turn.
    virtual void CloseAtTurnEnd() = 0;
    // The texts the editor shows as description or channel names, copied into the module record.
    virtual QStringList Captions() const = 0;
};

} // namespace navix
