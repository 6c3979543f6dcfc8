#pragma once
// Polls modules without any window. Each record's turn comes from the turn table (turn_factory.h), is set up
// from the record and linked to it as an editor window links its own, and takes its turn in the router's
// editor cycle: the same commands, order and pacing as the editors. What the turns read leaves as numbers
// (ValuesRead); a module that misses MissedPollsForAbsent polls in a row is reported Absent until it answers.
//
// With back-off on, an absent module costs the others nothing: it sits its turns out for a while (the first
// back-off, doubling after every poll it misses up to the longest) and is asked again once that has passed,
// while the others keep their rate. Its first answer ends the back-off.

#include "editor_turn.h"
#include "workspace/module_records.h"
#include "workspace/trend_feed.h"

#include <QElapsedTimer>
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

    // Absent modules back off from firstMs, doubling up to longestMs.
    void BackOffAbsentModules(int firstMs, int longestMs);
    // The module missed MissedPollsForAbsent polls in a row and has not answered since.
    bool IsAbsent(const QByteArray &address) const;
    // The module sits its turns out now.
    bool IsBackingOff(const QByteArray &address) const;
    // Every module is asked again in its next turn (the line came back); absent ones stay absent until they
    // answer.
    void EndBackOffs();
    // How long the module's present back-off lasts, 0 when it has none.
    int BackOffMs(const QByteArray &address) const;

signals:
    void ValuesRead(const ModuleValues &values);

private:
    void TakeValues(ModuleValues values);
    void BackOff(const QByteArray &address);

    struct BackOffState
    {
        int delayMs = 0;
        qint64 untilMs = 0; // on the poller's clock
    };

    BusWorkspace &workspace;
    std::vector<std::unique_ptr<EditorTurn>> turns;
    QHash<QByteArray, int> missedPolls; // by the module's address
    int firstBackOffMs = 0;             // 0: no back-off
    int longestBackOffMs = 0;
    QHash<QByteArray, BackOffState> backOffs; // by the module's address
    QElapsedTimer clock;
};

} // namespace navix
