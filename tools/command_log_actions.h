#pragma once
class QAbstractItemView;

namespace navix {

// The command log's context menu: "Save log ..." writes the log as comma-separated values (command, response,
// time and round trip of every row) to a file the user chooses; "Clear" empties the log.

class CommandLogModel;

void AddCommandLogActions(QAbstractItemView &view, CommandLogModel &log);

} // namespace navix
