#include "module_file.h"

#include "bus/text.h"

#include <algorithm>

namespace navix {

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

// A part of the file read at a time, and the part that tells its encoding.
constexpr qint64 ChunkBytes = 16 * 1024;
constexpr qint64 EncodingSampleBytes = 64 * 1024;

qsizetype FirstBeyondAscii(const QByteArray &text)
{
    const auto found = std::find_if(text.cbegin(), text.cend(),
                                    [](char c) { return static_cast<unsigned char>(c) >= 0x80; });
    return found == text.cend() ? -1 : found - text.cbegin();
}

// How the 8-bit text of a file without a byte-order mark is read; more tells that the file goes on past text.
// ASCII reads alike in Windows-1250 and UTF-8, so only the text from its first byte beyond ASCII on decides,
// however far down the file that is: UTF-8 when a sample from there is well-formed UTF-8. Nothing while the
// text is all ASCII. Reading and saving both go by it, so that a saved file is read in the encoding it was
// written in.
std::optional<NameEncoding> EightBitEncoding(const QByteArray &text, bool more)
{
    const qsizetype first = FirstBeyondAscii(text);
    if (first < 0)
        return std::nullopt;
    const QByteArray sample = text.mid(first, EncodingSampleBytes);
    const bool cutOff = more || first + sample.size() < text.size();
    return IsUtf8(sample, cutOff) ? NameEncoding::Utf8 : NameEncoding::Windows1250;
}

QByteArray ModuleBlocks(const ModuleRegistry &modules, NameEncoding encoding)
{
    QByteArray text;
    for (EditorKind kind : ModuleRegistry::OpenOrder)
        for (const ModuleRecordPtr &record : modules.Records(kind))
            text += ModuleBlock(*record, encoding);
    return text;
}

qsizetype LineEndIn(const QByteArray &text, qsizetype from)
{
    for (qsizetype i = from; i < text.size(); ++i)
        if (text.at(i) == '\r' || text.at(i) == '\n')
            return i;
    return -1;
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
    if (record.editorState != EditorState::Closed)
        if (const ModuleEditor *editor = record.Editor())
            return editor->Captions();
    return record.captions;
}

NameEncoding SavedEncoding(const ModuleRegistry &modules)
{
    NameEncoding encoding = NameEncoding::Windows1250;
    modules.ForEach([&encoding](const ModuleRecordPtr &record) {
        if (!Windows1250Holds(SavedTexts(*record).join(QString())))
            encoding = NameEncoding::Utf8;
    });
    return encoding;
}

QByteArray ModuleBlock(const ModuleRecord &record, NameEncoding encoding)
{
    QByteArray block = SavedTypeId(record) + "," + record.config + LineEnd;
    const QStringList texts = SavedTexts(record);
    // A line break in a text would end its line early and turn the rest into lines of their own; a text
    // longer than a name holds might not fit the line the loader reads.
    const auto text = [&](int n) { return EncodeName(AsName(texts.value(n)), encoding); };
    const int channels = ChannelLineCount(record.kind);
    if (channels == 0) {
        block += QByteArray(DescriptionMark) + " (" + text(0) + NameEnd + LineEnd;
    } else {
        block += QByteArray(DescriptionMark) + LineEnd;
        for (int n = 0; n < channels; ++n)
            block += "(" + text(n) + NameEnd + LineEnd;
    }
    block += QByteArray(EndLine) + LineEnd;
    return block;
}

QByteArray ModuleFileText(const ModuleRegistry &modules)
{
    const NameEncoding encoding = SavedEncoding(modules);
    const QByteArray text = ModuleBlocks(modules, encoding);
    const std::optional<NameEncoding> read = EightBitEncoding(text, false);
    if (!read || *read == encoding)
        return text;
    // Code page bytes that happen to form UTF-8 ("Ă©" is C3 A9, "é" in UTF-8) would load back as other
    // names; the same names in UTF-8 load back as themselves.
    const QByteArray utf8 = encoding == NameEncoding::Utf8 ? text : ModuleBlocks(modules, NameEncoding::Utf8);
    // A configuration text is written as the bytes it was read as, so one from a file may hold a byte that
    // keeps the UTF-8 names from reading as UTF-8; the byte-order mark says what they are.
    if (EightBitEncoding(utf8, false) != NameEncoding::Utf8)
        return "\xEF\xBB\xBF" + utf8;
    return utf8;
}

std::optional<ModuleHeader> ParseHeader(const QByteArray &line)
{
    const qsizetype comma = Pos(',', line);
    if (comma == 0)
        return std::nullopt;
    const QByteArray addressText = Copy(line, comma + 1, 2);
    if (addressText.size() != 2 || !IsUpperHex(addressText))
        return std::nullopt;
    const QByteArray typeText = Copy(line, 1, 4);
    for (const char *known : LoadOrder)
        if (Pos(QByteArray(known), typeText) > 0)
            return ModuleHeader{known, addressText, Copy(line, comma + 1, 8)};
    return std::nullopt;
}

QByteArray BracketText(const QByteArray &line)
{
    const qsizetype open = Pos('(', line);
    const qsizetype close = Pos(NameEnd, line);
    return Copy(line, open + 1, close - open - 1);
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
    Close();
    file.setFileName(path);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    TakeEncoding();
    return true;
}

void ModuleFileReader::Close()
{
    file.close();
    pending.clear();
    taken = 0;
    skipping = false;
    fileEnded = false;
    bytesRead = 0;
    encoding = NameEncoding::Windows1250;
    encodingKnown = false;
    wideText.reset();
}

void ModuleFileReader::TakeEncoding()
{
    pending = file.read(EncodingSampleBytes);
    bytesRead = pending.size();
    fileEnded = pending.size() < EncodingSampleBytes && file.atEnd();
    const auto startsWith = [this](const char *mark) { return pending.startsWith(mark); };
    std::optional<QStringConverter::Encoding> wide;
    qsizetype mark = 0;
    if (startsWith("\xEF\xBB\xBF")) {
        encoding = NameEncoding::Utf8;
        encodingKnown = true;
        mark = 3;
    } else if (startsWith("\xFF\xFE")) {
        wide = QStringConverter::Utf16LE;
        mark = 2;
    } else if (startsWith("\xFE\xFF")) {
        wide = QStringConverter::Utf16BE;
        mark = 2;
    } else if (pending.size() >= 2 && (pending.at(0) == 0) != (pending.at(1) == 0)) {
        // Every line starts with a type id or a keyword: in UTF-16 its first character has one zero byte.
        wide = pending.at(1) == 0 ? QStringConverter::Utf16LE : QStringConverter::Utf16BE;
    } else {
        TakeEightBitEncoding();
    }
    pending.remove(0, mark);
    if (wide) {
        encoding = NameEncoding::Utf8;
        encodingKnown = true;
        wideText.emplace(*wide);
        pending = QString(wideText->decode(pending)).toUtf8();
    }
}

void ModuleFileReader::TakeEightBitEncoding()
{
    if (encodingKnown)
        return;
    // What was handed out so far was ASCII, which reads alike either way; the choice needs a whole sample
    // from the first byte beyond it.
    const qsizetype first = FirstBeyondAscii(pending);
    if (first < 0)
        return;
    const qint64 missing = first + EncodingSampleBytes - pending.size();
    if (missing > 0) {
        const QByteArray more = file.read(missing);
        bytesRead += more.size();
        pending += more;
    }
    encoding = EightBitEncoding(pending, !file.atEnd()).value_or(NameEncoding::Windows1250);
    encodingKnown = true;
}

bool ModuleFileReader::ReadMore()
{
    if (fileEnded || !file.isOpen())
        return false;
    pending.remove(0, taken);
    taken = 0;
    QByteArray part = file.read(ChunkBytes);
    if (part.isEmpty()) {
        fileEnded = true; // the end, or a file that can no longer be read
        return false;
    }
    bytesRead += part.size();
    if (wideText)
        part = QString(wideText->decode(part)).toUtf8();
    pending += part;
    TakeEightBitEncoding();
    return true;
}

std::optional<QByteArray> ModuleFileReader::TakeLine()
{
    for (;;) {
        const qsizetype end = LineEndIn(pending, taken);
        if (end < 0) {
            const qsizetype length = pending.size() - taken;
            if (fileEnded) {
                // The last line of the file has no line end.
                const bool rest = skipping || length == 0;
                QByteArray line = pending.mid(taken, MaxLineLength);
                taken = pending.size();
                skipping = false;
                return rest ? std::nullopt : std::optional<QByteArray>(line);
            }
            if (skipping) {
                taken = pending.size();
            } else if (length > MaxLineLength) {
                QByteArray line = pending.mid(taken, MaxLineLength);
                taken = pending.size();
                skipping = true;
                return line;
            }
            return std::nullopt;
        }
        // A CR at the end of what was read may be the first half of a CR LF.
        if (pending.at(end) == '\r' && end + 1 == pending.size() && !fileEnded)
            return std::nullopt;
        QByteArray line = pending.mid(taken, qMin(end - taken, MaxLineLength));
        taken = end + 1;
        if (pending.at(end) == '\r' && taken < pending.size() && pending.at(taken) == '\n')
            ++taken;
        if (!skipping)
            return line;
        skipping = false; // that was the rest of an overlong line
    }
}

bool ModuleFileLoad::Open(const QString &path)
{
    Close();
    fileName = path;
    return file.Open(path);
}

void ModuleFileLoad::Close()
{
    file.Close();
    header.reset();
    record.reset();
    channel = -1;
    loadedModules = 0;
}

LoadStep ModuleFileLoad::Step(BusWorkspace &workspace)
{
    const qint64 stepEnd = file.BytesRead() + StepBytes;
    for (;;) {
        std::optional<QByteArray> line = file.TakeLine();
        if (!line) {
            if (file.AtEnd()) {
                // A block without "END" ends with the file.
                record.reset();
                return LoadStep::Ended;
            }
            if (file.BytesRead() >= stepEnd)
                return LoadStep::Loading;
            file.ReadMore();
            continue;
        }
        if (record) {
            if (*line == EndLine) {
                record.reset();
                return LoadStep::Loading;
            }
            TakeDescription(*line);
        } else if (ParseHeader(*line)) {
            if (loadedModules == MaxModules)
                return LoadStep::TooManyModules;
            TakeHeader(*line, workspace);
        }
    }
}

void ModuleFileLoad::TakeHeader(const QByteArray &line, BusWorkspace &workspace)
{
    header = ParseHeader(line);
    const ModuleType *type = FindModuleType(header->typeId);
    record = workspace.Modules().AddModule(header->typeId, header->config, false, RecordPlace::Tail);
    channel = -1;
    if (!type || !record) {
        record.reset();
        return;
    }
    ++loadedModules;
    workspace.QueueModuleItem(ModuleCaption(header->addressText, *type, false));
}

// A block that lacks its "END" runs on into the next one and swallows its header, as files written by
// earlier versions expect.
void ModuleFileLoad::TakeDescription(const QByteArray &line)
{
    // A loaded name keeps to what typing one and saving one keep to, so that it is saved as it was loaded.
    const auto name = [&] { return AsName(DecodeName(BracketText(line), file.Encoding())); };
    if (channel >= 0) {
        ++channel;
        if (channel <= record->captions.size())
            record->captions[channel - 1] = name();
        if (channel == MaxChannelLines)
            channel = -1;
    } else if (Pos(QByteArray(DescriptionMark), line) > 0) {
        if (ChannelLineCount(record->kind) > 0)
            channel = 0;
        else if (!record->captions.isEmpty())
            record->captions[0] = name();
    }
}

int LoadModuleFile(const QString &path, BusWorkspace &workspace)
{
    ModuleFileLoad load;
    if (!load.Open(path))
        return -1;
    while (load.Step(workspace) == LoadStep::Loading) {
    }
    workspace.FlushModuleItems();
    const int loaded = load.LoadedModules();
    load.Close();
    return loaded;
}

} // namespace navix
