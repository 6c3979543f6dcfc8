#pragma once
// The command log's context menu: "Save log ..." writes the log as comma-separated values (command, response,
// time and round trip of every row) to a file the user chooses; "Clear" empties the log.

class CommandLogModel;
class QAbstractItemView;

void AddCommandLogActions(QAbstractItemView &view, CommandLogModel &log);
