#pragma once
// The module records of the workspace: one per known module, kept in eight lists by editor kind. The search
// puts each module it finds at the head of its list, so its lists run newest first; a configuration file's
// modules keep the order of the file. The transaction engine walks them in the editor cycle; the main window,
// the search and the file loader create, find and clear them.

#include "module_editor.h"

#include <QByteArray>
#include <QObject>
#include <QPointer>
#include <QStringList>

#include <array>
#include <deque>
#include <functional>
#include <memory>
#include <vector>

namespace navix {

// The type id a Tvr 5x is recorded with: it names itself 4013 and tells itself apart by its clock.
constexpr const char *TvrTypeId = "20";
// A Tvr 5x answers at its own address and at the two after it (stack temperature, status word).
constexpr int TvrAddressSpan = 3;
constexpr int HighestBusAddress = 0xFF;

// The editor kinds in the order of the editor cycle.
enum class EditorKind { Type4013 = 0, Type4x13, Type4050, Type4060, Type4017, Type4021, Type4152, Type4052 };
constexpr int EditorKindCount = 8;

// Whether a record's module has an editor window: none, one that is open and polled, or one whose close waits
// for the end of its turn in the editor cycle.
enum class EditorState { Closed, Open, CloseAtTurnEnd };

struct ModuleRecord
{
    EditorKind kind = EditorKind::Type4013;
    QByteArray typeId;    // as the module named itself ("4013", "4513", ...), "20" for the TVR5x variant
    QByteArray config;    // AATTCCFF; its first two characters are the module's address
    QStringList captions; // value label or channel names
    EditorState editorState = EditorState::Closed;
    bool initFlag = false; // found in INIT mode at address 00

    QByteArray Address() const;
    // How many bus addresses the module takes, from its own address up.
    int AddressSpan() const;
    // The editor while its window exists; never a dangling pointer.
    ModuleEditor *Editor() const;
    QObject *EditorObject() const { return editorObject.data(); }
    void SetEditor(QObject *object, ModuleEditor *editor);

private:
    QPointer<QObject> editorObject;
    ModuleEditor *editorInterface = nullptr;
};

using ModuleRecordPtr = std::shared_ptr<ModuleRecord>;

// A known type id and what a new record of it gets.
struct ModuleType
{
    const char *typeId;
    EditorKind kind;
    const char *modelLabel; // as in tree captions, with its leading blank (" N770")
    QStringList defaultCaptions;
    int addressSpan = 1;
};

// The type table; nullptr for a type id that is not known (or not a decimal number).
const ModuleType *FindModuleType(const QByteArray &typeId);

// Tree caption of a module: "*(" in INIT mode else " (", address, ")", model label.
QString ModuleCaption(const QByteArray &addressText, const ModuleType &type, bool initFlag);

// Where a new record goes in its list.
enum class RecordPlace { Head, Tail };

class ModuleRegistry
{
public:
    // Records go in at either end without moving the others.
    using List = std::deque<ModuleRecordPtr>;

    List &Records(EditorKind kind) { return lists[static_cast<int>(kind)]; }
    const List &Records(EditorKind kind) const { return lists[static_cast<int>(kind)]; }

    // Creates a record for a found or loaded module at the head (or the tail) of its list, with the type's
    // default captions. Returns nullptr (and creates nothing) for an unknown type id.
    ModuleRecordPtr AddModule(const QByteArray &typeId, const QByteArray &config, bool initFlag,
                              RecordPlace place = RecordPlace::Head);

    // The record an opened tree item stands for: lists searched as 4013, 4x13, 4017, 4021, 4052, 4152, 4050,
    // 4060.
    ModuleRecordPtr FindForOpen(const QByteArray &address) const;
    // The record an editor updates: lists searched as 4013, 4x13, 4017, 4021, 4050, 4152, 4052, 4060.
    ModuleRecordPtr FindForUpdate(const QByteArray &address) const;
    // No module answers at the address: none has it as its own, and none spans it (the Tvr 5x).
    bool IsAddressFree(const QByteArray &address) const;
    bool AnyEditorOpen() const; // any record with an open editor
    // An editor's update of its record after a configuration write or at its close: the first record (update
    // order) whose configuration starts with address gets the new text and editor state and the editor's
    // captions. Closed, the record lets go of its editor. Returns the record, nullptr when none matches.
    ModuleRecordPtr UpdateRecord(const QByteArray &address, const QByteArray &config,
                                 EditorState editorState);
    int Count() const;

    // Empties every list in the order 4013, 4x13, 4017, 4021, 4052, 4152, 4050, 4060, calling freeEditor for
    // each record that has an editor before dropping it.
    void Clear(const std::function<void(ModuleRecord &)> &freeEditor);

    // Calls visit for every record, lists in cycle order, each list from its head.
    void ForEach(const std::function<void(const ModuleRecordPtr &)> &visit) const;

    static const std::array<EditorKind, EditorKindCount> OpenOrder;
    static const std::array<EditorKind, EditorKindCount> UpdateOrder;
    static const std::array<EditorKind, EditorKindCount> ClearOrder;

private:
    ModuleRecordPtr FindIn(const std::array<EditorKind, EditorKindCount> &order,
                           const QByteArray &address) const;
    std::array<List, EditorKindCount> lists;
};

// Characters 3 and 4 of a module item's caption are the module's address.
QByteArray CaptionAddress(const QString &caption);
// The caption a tree item gets when its module is relabelled: the new caption, with its first character
// replaced by "*" when the old caption marked a module in INIT mode.
QString RelabeledCaption(const QString &oldCaption, const QString &newCaption);

} // namespace navix
