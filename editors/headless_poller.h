#pragma once
// Polls modules without any window. Each record's turn comes from the turn table (turn_factory.h), is set up
// from the record and linked to it as an editor window links its own, and takes its turn in the router's
// editor cycle: the same commands, order and pacing as the editors. What the turns read leaves as numbers
// (ValuesRead); a module that misses MissedPollsForAbsent polls in a row is reported Absent until it answers.

#include "editor_turn.h"
#include "workspace/module_records.h"
#include "workspace/trend_feed.h"

#include <QHash>
#include <QObject>

#include <memory>
#include <vector>

namespace navix {

class BusWorkspace;

class HeadlessPoller : public QObject
{
    Q_OBJECT
public:
    static constexpr int MissedPollsForAbsent = 3;

    // Polls the workspace's records; the router's cycle is made ready to run (no tool holds the bus here).
    explicit HeadlessPoller(BusWorkspace &workspace, QObject *parent = nullptr);
    ~HeadlessPoller() override;

    // Opens the record's turn and starts the cycle when it stood idle. The turn, or nullptr for a kind no
    // turn polls or a record whose editor is open already.
    EditorTurn *Open(const ModuleRecordPtr &record);
    // Opens every record that has a turn; how many were opened.
    int OpenAll();

signals:
    void ValuesRead(const ModuleValues &values);

private:
    void TakeValues(ModuleValues values);

    BusWorkspace &workspace;
    std::vector<std::unique_ptr<EditorTurn>> turns;
    QHash<QByteArray, int> missedPolls; // by the module's address
};

} // namespace navix
