#include "module_records.h"

#include "bus/text.h"

namespace navix {

QByteArray ModuleRecord::Address() const
{
    return Copy(config, 1, 2);
}

int ModuleRecord::AddressSpan() const
{
    const ModuleType *type = FindModuleType(typeId);
    return type ? type->addressSpan : 1;
}

ModuleEditor *ModuleRecord::Editor() const
{
    return editorObject ? editorInterface : nullptr;
}

void ModuleRecord::SetEditor(QObject *object, ModuleEditor *editor)
{
    editorObject = object;
    editorInterface = object ? editor : nullptr;
}

namespace {
// The bus address that two hexadecimal digits name; -1 for any other text.
int BusAddress(const QByteArray &text)
{
    const int value = HexToInt(text);
    return text.size() == 2 && value <= HighestBusAddress ? value : -1;
}

QStringList Numbered(const QString &stem, int count)
{
    QStringList names;
    for (int n = 1; n <= count; ++n)
        names.append(stem + QString::number(n));
    return names;
}

const std::vector<ModuleType> &TypeTable()
{
    static const std::vector<ModuleType> table = {
        {"4013", EditorKind::Type4013, " N710", {"Teplota :"}},
        {TvrTypeId, EditorKind::Type4013, " TVR5x", {" Unit :"}, TvrAddressSpan},
        {"4017", EditorKind::Type4017, " N770", Numbered("Vstup ", 8)},
        {"4021", EditorKind::Type4021, " N780", {"Vystup 1"}},
        {"4050", EditorKind::Type4050, " N730", Numbered("Vystup ", 8)},
        {"4052", EditorKind::Type4052, " N76x", Numbered("Vstup ", 8)},
        {"4060", EditorKind::Type4060, " N720", Numbered("Vystup ", 4)},
        {"4113", EditorKind::Type4x13, " N755", {"Teplota :"}},
        {"4213", EditorKind::Type4x13, " N756", {"Vlhkost :"}},
        {"4313", EditorKind::Type4x13, " N742", {"Koncentrace CO :"}},
        {"4413", EditorKind::Type4x13, " N743", {"Koncentrace CO2 :"}},
        {"4513", EditorKind::Type4x13, " PKR-02", {"Absolutni tlak :"}},
        {"4613", EditorKind::Type4x13, " PKR-01", {"Diferencni tlak :"}},
        {"4152", EditorKind::Type4152, " N790", Numbered("Vstup ", 8)},
    };
    return table;
}
} // namespace

const ModuleType *FindModuleType(const QByteArray &typeId)
{
    // The type id is compared as a decimal number; anything that is not one is an unknown type.
    bool isNumber = false;
    const int number = typeId.trimmed().toInt(&isNumber, 10);
    if (!isNumber)
        return nullptr;
    for (const ModuleType &type : TypeTable())
        if (QByteArray(type.typeId).toInt() == number)
            return &type;
    return nullptr;
}

QString ModuleCaption(const QByteArray &addressText, const ModuleType &type, bool initFlag)
{
    return QString(initFlag ? "*(" : " (") + FromWire(addressText) + ")" + type.modelLabel;
}

const std::array<EditorKind, EditorKindCount> ModuleRegistry::OpenOrder = {
    EditorKind::Type4013, EditorKind::Type4x13, EditorKind::Type4017, EditorKind::Type4021,
    EditorKind::Type4052, EditorKind::Type4152, EditorKind::Type4050, EditorKind::Type4060};
const std::array<EditorKind, EditorKindCount> ModuleRegistry::UpdateOrder = {
    EditorKind::Type4013, EditorKind::Type4x13, EditorKind::Type4017, EditorKind::Type4021,
    EditorKind::Type4050, EditorKind::Type4152, EditorKind::Type4052, EditorKind::Type4060};
const std::array<EditorKind, EditorKindCount> ModuleRegistry::ClearOrder = ModuleRegistry::OpenOrder;

ModuleRecordPtr ModuleRegistry::AddModule(const QByteArray &typeId, const QByteArray &config, bool initFlag,
                                          RecordPlace place)
{
    const ModuleType *type = FindModuleType(typeId);
    if (!type)
        return nullptr;
    auto record = std::make_shared<ModuleRecord>();
    record->kind = type->kind;
    record->typeId = typeId;
    record->config = config;
    record->captions = type->defaultCaptions;
    record->initFlag = initFlag;
    List &list = Records(type->kind);
    if (place == RecordPlace::Head)
        list.push_front(record);
    else
        list.push_back(record);
    return record;
}

ModuleRecordPtr ModuleRegistry::FindIn(const std::array<EditorKind, EditorKindCount> &order,
                                       const QByteArray &address) const
{
    if (address.isEmpty())
        return nullptr;
    for (EditorKind kind : order)
        for (const ModuleRecordPtr &record : Records(kind))
            if (record->config.startsWith(address))
                return record;
    return nullptr;
}

ModuleRecordPtr ModuleRegistry::FindForOpen(const QByteArray &address) const
{
    return FindIn(OpenOrder, address);
}

ModuleRecordPtr ModuleRegistry::FindForUpdate(const QByteArray &address) const
{
    return FindIn(UpdateOrder, address);
}

bool ModuleRegistry::IsAddressFree(const QByteArray &address) const
{
    if (FindIn(OpenOrder, address))
        return false;
    const int wanted = BusAddress(address);
    if (wanted < 0)
        return true;
    for (const List &list : lists)
        for (const ModuleRecordPtr &record : list) {
            const int first = BusAddress(record->Address());
            if (first >= 0 && wanted > first && wanted < first + record->AddressSpan())
                return false;
        }
    return true;
}

bool ModuleRegistry::AnyEditorOpen() const
{
    for (const List &list : lists)
        for (const ModuleRecordPtr &record : list)
            if (record->editorState == EditorState::Open)
                return true;
    return false;
}

int ModuleRegistry::Count() const
{
    int count = 0;
    for (const List &list : lists)
        count += static_cast<int>(list.size());
    return count;
}

void ModuleRegistry::Clear(const std::function<void(ModuleRecord &)> &freeEditor)
{
    for (EditorKind kind : ClearOrder) {
        List records;
        records.swap(Records(kind));
        for (const ModuleRecordPtr &record : records)
            if (record->editorState != EditorState::Closed && freeEditor)
                freeEditor(*record);
    }
}

void ModuleRegistry::ForEach(const std::function<void(const ModuleRecordPtr &)> &visit) const
{
    for (const List &list : lists)
        for (const ModuleRecordPtr &record : list)
            visit(record);
}

ModuleRecordPtr ModuleRegistry::UpdateRecord(const QByteArray &address, const QByteArray &config,
                                             EditorState editorState)
{
    ModuleRecordPtr record = FindForUpdate(address);
    if (!record)
        return nullptr;
    record->config = config;
    record->editorState = editorState;
    if (ModuleEditor *editor = record->Editor())
        record->captions = editor->Captions();
    if (editorState == EditorState::Closed)
        record->SetEditor(nullptr, nullptr);
    return record;
}

QByteArray CaptionAddress(const QString &caption)
{
    return ToWire(Copy(caption, 3, 2));
}

QString RelabeledCaption(const QString &oldCaption, const QString &newCaption)
{
    QString caption = newCaption;
    if (oldCaption.contains('*') && !caption.isEmpty())
        caption[0] = '*';
    return caption;
}

} // namespace navix
