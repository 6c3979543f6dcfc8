#pragma once
// What the editors make of a module's replies, with no widget: how many characters each read brings, where
// the value or channel state sits in it, and the unit names and range texts the windows show beside the
// values. The turns read with these lengths, the windows show these texts, and navix-cli prints the same, so
// a value reads alike in an editor window and in a shell.

#include "workspace/module_records.h"

#include <QByteArray>
#include <QString>

namespace navix {

// The data formats of the analog modules (bits 1..0 of the format byte), in the order of their lists.
enum class DataFormat { EngineeringUnits = 0, PercentOfRange = 1, Hexadecimal = 2, Ohms = 3 };

// Analog inputs (4013, 4113 .. 4613): '#AA' is answered with ">" + value + CR.
constexpr int ValueFrameCharacters = 2;
// The value characters of a read: four hex digits in "2's complement of hex", seven characters otherwise.
int InputValueLength(int dataFormat);
QByteArray InputValueText(const QByteArray &reply, int dataFormat);
// The unit name the editor shows beside the value, by data format; empty for a format it has no name for.
QString InputUnitName(EditorKind kind, int dataFormat);
// The Tvr 5x puts its temperature code into the first two characters of each value: the degrees it stands
// for, as the "(°C)" look of its editor shows them.
QString TvrDegreesText(const QByteArray &value);
QString DegreesUnit();

// The 4017's eight inputs: '$AA6' gives the channel mask, '#AAN' one channel's value.
constexpr int ChannelCount4017 = 8;
constexpr int MaskReplyLength = 6;    // "!" + address + two mask digits + CR
constexpr int ChannelValueLength = 7; // "sdd.ddd" and its kind
constexpr int ChannelReplyLength = ChannelValueLength + ValueFrameCharacters;
// The enabled channels of a mask reply, bit k for channel k; -1 when the mask is no hex byte.
int ChannelMaskOf(const QByteArray &reply);
QByteArray ChannelValueText(const QByteArray &reply);

// The 4021's output: '$AA8' and '$AA6' are answered with "!" + address + data + CR.
constexpr int OutputFrameCharacters = 4;
// The data characters by data format: "dd.ddd", "sddd.dd", "hhh".
int OutputDataLength(int dataFormat);
QByteArray OutputDataText(const QByteArray &reply, int dataFormat);
// The unit of the output's values: the range's in engineering units, "%" of the range, none in hex.
QString OutputUnit(int dataFormat, int rangeIndex);
// The output range as the editor's "Output range :" field names it; empty for a code of no range.
QString OutputRangeText(int rangeIndex);

// The digital modules: '$AA6' carries the channel state in positions 2-3.
// The state, bit k for channel k; -1 when the two digits are no hex byte.
int DigitalStateOf(const QByteArray &reply);
QByteArray DigitalStateText(const QByteArray &reply);
// How many channels the editor shows: the 4152 shows one of its eight inputs.
int ShownChannelCount(EditorKind kind);

// The item of the range list that stands for the configuration's range code (positions 3-4), by type; -1
// where the code stands for none.
int RangeIndexOfCode(EditorKind kind, const QByteArray &rangeCode);
// The range code of an item of the type's range list.
QByteArray RangeCodeOfIndex(EditorKind kind, int index);
// The range item the editor shows for a module's configuration (its input range, the 4017's "Ran :", the
// 4021's output range); empty where the list holds none or the type has no range.
QString RangeText(const ModuleRecord &record);
// How many data formats the type's editor offers; 0 for the digital modules, which have none.
int DataFormatCount(EditorKind kind);
// The data format bits (1..0) of a configuration text.
int DataFormatOf(const QByteArray &config);

// The unit at the end of a range item ("+/-  500 mV" is in mV, "Pt.00385 0 to +100°C" in °C); empty when the
// item ends in no unit.
QString UnitOfRange(const QString &rangeItem);

} // namespace navix
