#include "module_file.h"

#include "bus/text.h"

namespace {
constexpr const char *LineEnd = "\r\n";
constexpr const char *EndLine = "END";
constexpr const char *DescriptionMark = "DSCR";
// A channel block names at most eight channels; a 4060 keeps four of them and reads past the rest.
constexpr int MaxChannelLines = 8;

// The type ids a loaded header may name, in the order they are tried.
constexpr const char *LoadOrder[] = {"4013", "4017", "4021", "4050", "4052", "4060", "4113",
                                     "4213", "4313", "4413", "4513", "4613", "4152"};

struct ModelName
{
    const char *typeId;
    const char *model;
};
constexpr ModelName LoadedModels[] = {
    {"4013", "710"}, {"4017", "770"},    {"4021", "780"},    {"4050", "730"}, {"4052", "76x"},
    {"4060", "720"}, {"4152", "790"},    {"4113", "755"},    {"4213", "756"}, {"4313", "742"},
    {"4413", "743"}, {"4513", "PKL-02"}, {"4613", "PKL-01"},
};

// Channel lines of a block; 0 for the kinds that keep one description instead.
int ChannelLineCount(EditorKind kind)
{
    switch (kind) {
    case EditorKind::Type4017:
    case EditorKind::Type4052:
    case EditorKind::Type4152:
    case EditorKind::Type4050:
        return 8;
    case EditorKind::Type4060:
        return 4;
    case EditorKind::Type4013:
    case EditorKind::Type4x13:
    case EditorKind::Type4021:
        return 0;
    }
    return 0;
}

// The descriptive lines of a block, up to "END" or the end of the file. A block that lacks its "END" runs on
// into the next one and swallows its header, as files written by earlier versions expect.
void ReadDescriptions(ModuleFileReader &file, ModuleRecord &record)
{
    const bool channelKind = ChannelLineCount(record.kind) > 0;
    int channel = -1; // channel lines read after a "DSCR" line; -1 outside of them
    while (!file.AtEnd()) {
        const QByteArray line = file.ReadLine();
        if (line == EndLine)
            return;
        if (channel >= 0) {
            ++channel;
            if (channel <= record.captions.size())
                record.captions[channel - 1] = BracketText(line);
            if (channel == MaxChannelLines)
                channel = -1;
        } else if (Pos(QByteArray(DescriptionMark), line) > 0) {
            if (channelKind)
                channel = 0;
            else if (!record.captions.isEmpty())
                record.captions[0] = BracketText(line);
        }
    }
}
} // namespace

QString ConfigFileName(const QString &chosen)
{
    const qsizetype slash = chosen.lastIndexOf('/');
    const QString folder = chosen.left(slash + 1);
    QString name = chosen.mid(slash + 1);
    if (name.isEmpty())
        return folder + "Noname.cfg";
    const qsizetype upperCase = Pos(QString(".CFG"), name);
    if (upperCase > 0) {
        Delete(name, upperCase, 4);
        name += ".cfg";
    } else if (Pos(QString(".cfg"), name) == 0) {
        name += ".cfg";
    }
    return folder + name;
}

QByteArray SavedTypeId(const ModuleRecord &record)
{
    switch (record.kind) {
    case EditorKind::Type4013:
        return "4013";
    case EditorKind::Type4x13:
    case EditorKind::Type4152:
        return record.typeId;
    case EditorKind::Type4017:
        return "4017";
    case EditorKind::Type4021:
        return "4021";
    case EditorKind::Type4050:
        return "4050";
    case EditorKind::Type4052:
        return "4052";
    case EditorKind::Type4060:
        return "4060";
    }
    return record.typeId;
}

QStringList SavedTexts(const ModuleRecord &record)
{
    if (record.editorState != 0)
        if (const ModuleEditor *editor = record.Editor())
            return editor->Captions();
    return record.captions;
}

QByteArray ModuleBlock(const ModuleRecord &record)
{
    QByteArray block = SavedTypeId(record) + "," + record.config + LineEnd;
    const QStringList texts = SavedTexts(record);
    const int channels = ChannelLineCount(record.kind);
    if (channels == 0) {
        block += QByteArray(DescriptionMark) + " (" + ToWire(texts.value(0)) + ")" + LineEnd;
    } else {
        block += QByteArray(DescriptionMark) + LineEnd;
        for (int n = 0; n < channels; ++n)
            block += "(" + ToWire(texts.value(n)) + ")" + LineEnd;
    }
    block += QByteArray(EndLine) + LineEnd;
    return block;
}

QByteArray ModuleFileText(const ModuleRegistry &modules)
{
    QByteArray text;
    for (EditorKind kind : ModuleRegistry::OpenOrder)
        for (const ModuleRecordPtr &record : modules.Records(kind))
            text += ModuleBlock(*record);
    return text;
}

std::optional<ModuleHeader> ParseHeader(const QByteArray &line)
{
    const qsizetype comma = Pos(',', line);
    if (comma == 0)
        return std::nullopt;
    // An address that is not two hex digits names no module: it would reach the tree and the commands as is.
    const QByteArray address = Copy(line, comma + 1, 2);
    if (address.size() != 2 || HexToInt(address) == 99999)
        return std::nullopt;
    const QByteArray typeText = Copy(line, 1, 4);
    for (const char *known : LoadOrder)
        if (Pos(QByteArray(known), typeText) > 0)
            return ModuleHeader{known, address, Copy(line, comma + 1, 8)};
    return std::nullopt;
}

QString BracketText(const QByteArray &line)
{
    const qsizetype open = Pos('(', line);
    const qsizetype close = Pos(')', line);
    return FromWire(Copy(line, open + 1, close - open - 1));
}

QString LoadedModelName(const QByteArray &typeId)
{
    for (const ModelName &entry : LoadedModels)
        if (typeId == entry.typeId)
            return entry.model;
    return QString();
}

bool ModuleFileReader::Open(const QString &path)
{
    file.close();
    file.setFileName(path);
    return file.open(QIODevice::ReadOnly);
}

void ModuleFileReader::Close()
{
    file.close();
}

bool ModuleFileReader::AtEnd() const
{
    return !file.isOpen() || file.atEnd();
}

QByteArray ModuleFileReader::ReadLine()
{
    QByteArray line = file.readLine();
    if (line.endsWith('\n'))
        line.chop(1);
    if (line.endsWith('\r'))
        line.chop(1);
    return line;
}

std::optional<ModuleHeader> LoadNextBlock(ModuleFileReader &file, Workspace &workspace)
{
    while (!file.AtEnd()) {
        std::optional<ModuleHeader> header = ParseHeader(file.ReadLine());
        if (!header)
            continue;
        const ModuleType *type = FindModuleType(header->typeId);
        ModuleRecordPtr record = workspace.Modules().AddModule(header->typeId, header->config, false);
        if (type && record) {
            workspace.QueueModuleItem(ModuleCaption(header->addressText, *type, false));
            ReadDescriptions(file, *record);
        }
        return header;
    }
    return std::nullopt;
}
