#include "module_protocol.h"

#include "bus/baud_table.h"
#include "bus/text.h"

namespace navix {

QByteArray CommandAddress(int address, bool init)
{
    return init ? QByteArray("00") : HexByte(address);
}

QByteArray CommandAddress(const ModuleRecord &record)
{
    return record.initFlag ? QByteArray("00") : record.Address();
}

bool CommandsCarryChecksum(bool checksumOn, bool init)
{
    return checksumOn && !init;
}

bool CommandsCarryChecksum(const ModuleRecord &record)
{
    return CommandsCarryChecksum(ChecksumOn(record.config), record.initFlag);
}

bool ChecksumOn(const QByteArray &config)
{
    return (HexToInt(Copy(config, 7, 2)) & ChecksumFormatBit) != 0;
}

QByteArray ConfigurationCommand(const QByteArray &commandAddress, const QByteArray &newConfig)
{
    return '%' + commandAddress + newConfig + CR;
}

bool ChangesLine(const QByteArray &oldConfig, const QByteArray &newConfig)
{
    return Copy(oldConfig, 5, 2) != Copy(newConfig, 5, 2) || ChecksumOn(oldConfig) != ChecksumOn(newConfig);
}

} // namespace navix
