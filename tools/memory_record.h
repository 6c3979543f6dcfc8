#pragma once
// The Tvr 5x data memory holds 8-byte records written by the controller itself: clock, two temperature codes
// and its status byte. These functions turn one record as the module sends it (16 hex digits) into the cells
// of a list row, and a list of rows into the text of a memory extract file.

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

namespace navix {

// The controller stores one record every 8 bytes; the last whole record starts at FFF8.
constexpr int MemoryRecordSize = 8;
constexpr int LastRecordAddress = 0xFFF8;
constexpr int StatusBitCount = 8;

// The cells of one list row: the record address (4 hex digits), the time hh:mm:ss, the date dd.mm, the unit
// and stack temperatures and the status bits B0..B7. The clock digits are shown as the module stores them. A
// temperature code that is not two hex digits shows "?"; a status byte that is not two hex digits leaves the
// bit cells it cannot fill empty.
QStringList DecodeMemoryRecord(int address, const QByteArray &record);

// The file text: one line per row, top row first, its cells separated by single blanks, each line ended by
// CR LF.
QByteArray MemoryExtract(const QList<QStringList> &rows);

} // namespace navix
