// The port side of the main window: listing the serial ports under "PC", opening the chosen one in
// timer-driven stages, and the port panel with its baud rate and reply time-out fields.

#include "main_window.h"

#include "tree_icons.h"
#include "tree_items.h"

#include "bus/text.h"
#include "workspace/prompt.h"

#include <QComboBox>
#include <QFileInfo>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QSpinBox>
#include <QTreeWidget>

namespace navix {

namespace {
QString ParityName(ParityKind parity)
{
    // The module line settings speak of "Event" parity; the panel shows it the same way.
    static const char *names[] = {"None", "Odd", "Event", "Mark", "Space"};
    const int index = static_cast<int>(parity);
    return index >= 0 && index < 5 ? QString(names[index]) : QString();
}

// A port's device for the user: the path, and for a link (a virtual port) also the device it leads to.
QString DeviceDescription(const QString &path)
{
    if (path.isEmpty())
        return QStringLiteral("No device found");
    const QString device = QFileInfo(path).canonicalFilePath();
    return device.isEmpty() || device == path ? path : path + " -> " + device;
}

QLineEdit *ReadOnlyEdit(const char *name, QWidget *parent)
{
    auto *edit = new QLineEdit(parent);
    edit->setObjectName(name);
    edit->setReadOnly(true);
    return edit;
}

QLabel *FieldLabel(const char *name, const QString &text, QWidget *buddy, QWidget *parent)
{
    auto *label = new QLabel(text, parent);
    label->setObjectName(name);
    label->setBuddy(buddy);
    return label;
}
} // namespace

void TForm1::BuildPortPanel()
{
    ComProperties = new QGroupBox(" Com properties :", GroupBox1);
    ComProperties->setObjectName("ComProperties");
    BuildPortFields();
    LayOutPortPanel();
    connect(BaudRateComboBox, &QComboBox::activated, this, &TForm1::BaudRateComboBoxChange);
    connect(BaudRateComboBox->lineEdit(), &QLineEdit::editingFinished, this, &TForm1::BaudRateComboBoxChange);
    connect(SpinEdit1, &QSpinBox::valueChanged, this, &TForm1::SpinEdit1Change);
    connect(SpinEdit1, &QSpinBox::editingFinished, this, &TForm1::SpinEdit1Change);
}

void TForm1::BuildPortFields()
{
    ComEdit = ReadOnlyEdit("ComEdit", ComProperties);
    DevicePathEdit = ReadOnlyEdit("DevicePathEdit", ComProperties);
    BaudRateComboBox = new QComboBox(ComProperties);
    BaudRateComboBox->setObjectName("BaudRateComboBox");
    BaudRateComboBox->setEditable(true);
    // A typed rate must not become a new item: only the listed rates exist.
    BaudRateComboBox->setInsertPolicy(QComboBox::NoInsert);
    BaudRateComboBox->addItems({"1200", "2400", "4800", "9600", "19200", "38400", "57600", "115200"});
    BaudRateComboBox->setCurrentText("9600");
    DataBitsEdit = ReadOnlyEdit("DataBitsEdit", ComProperties);
    StopBitsEdit = ReadOnlyEdit("StopBitsEdit", ComProperties);
    ParityEdit = ReadOnlyEdit("ParityEdit", ComProperties);
    SpinEdit1 = new QSpinBox(ComProperties);
    SpinEdit1->setObjectName("SpinEdit1");
    SpinEdit1->setRange(0, 5000);
    SpinEdit1->setValue(DefaultTimeOutMs);
    // Values are taken when committed (Enter, arrows, leaving), not at every key: typing 250 must not pass
    // through a 2 ms time-out on the way.
    SpinEdit1->setKeyboardTracking(false);
    SpinEdit1->installEventFilter(this);
}

void TForm1::LayOutPortPanel()
{
    ComLabel = FieldLabel("ComLabel", "Serial port :", ComEdit, ComProperties);
    DevicePathLabel = FieldLabel("DevicePathLabel", "Device :", DevicePathEdit, ComProperties);
    BaudRateLabel = FieldLabel("BaudRateLabel", "Baudrate :  (bps)", BaudRateComboBox, ComProperties);
    DataBitsLabel = FieldLabel("DataBitsLabel", "Data bits :", DataBitsEdit, ComProperties);
    StopBitsLabel = FieldLabel("StopBitsLabel", "Stop bits :", StopBitsEdit, ComProperties);
    ParityLabel = FieldLabel("ParityLabel", "Parity :", ParityEdit, ComProperties);
    TimeOutLabel = FieldLabel("TimeOutLabel", "Time out :  (ms) ", SpinEdit1, ComProperties);
    // Two label-and-field pairs a row.
    QWidget *const rows[][4] = {{ComLabel, ComEdit, DevicePathLabel, DevicePathEdit},
                                {BaudRateLabel, BaudRateComboBox, DataBitsLabel, DataBitsEdit},
                                {StopBitsLabel, StopBitsEdit, ParityLabel, ParityEdit},
                                {TimeOutLabel, SpinEdit1, nullptr, nullptr}};
    auto *grid = new QGridLayout(ComProperties);
    for (int row = 0; row < 4; ++row)
        for (int column = 0; column < 4; ++column)
            if (rows[row][column])
                grid->addWidget(rows[row][column], row, column);
    grid->setColumnStretch(1, 1);
    grid->setColumnStretch(3, 2);
}

void TForm1::EnumeratePorts()
{
    setWindowTitle(MainCaption);
    ClearModules(false);
    EnableWorkspace(false);
    qDeleteAll(pcItem->takeChildren());
    ComProperties->hide();
    RefreshPortList();
    SetHint("Hint: Available ports...");
    pcItem->setExpanded(true);
}

QMap<int, QString> TForm1::ListSerialPorts() const
{
    return portLister ? portLister() : QMap<int, QString>();
}

void TForm1::RefreshPortList()
{
    portDirectory.UpdateSerialPorts(ListSerialPorts());
    SyncPortItems();
}

void TForm1::SyncPortItems()
{
    QMap<int, QString> wanted; // number -> tooltip
    const QMap<int, ComPortTarget> ports = portDirectory.Ports();
    for (auto port = ports.cbegin(); port != ports.cend(); ++port)
        wanted.insert(port.key(), port.value().IsNetwork() ? port.value().address->Text()
                                                           : DeviceDescription(port.value().device));
    if (wanted.isEmpty())
        for (int number = 1; number <= FallbackPortCount; ++number)
            wanted.insert(number, DeviceDescription(QString()));

    QMap<int, QTreeWidgetItem *> present;
    for (int index = pcItem->childCount() - 1; index >= 0; --index) {
        QTreeWidgetItem *item = pcItem->child(index);
        const int number = PortNumber(item->text(0));
        // The chosen port keeps its item while it is away (it may come back and be opened again), and so
        // does a port whose module items the user still works with.
        if (wanted.contains(number) || number == ApdComPort1.ComNumber() || item->childCount() > 0)
            present.insert(number, item);
        else
            delete item;
    }
    for (auto port = wanted.cbegin(); port != wanted.cend(); ++port) {
        QTreeWidgetItem *item = present.value(port.key());
        if (!item) {
            item = new QTreeWidgetItem(QStringList(PortCaption(port.key()).toUpper()), PortItem);
            item->setIcon(0, TreeIcon(TreeImage::Port));
            const auto next = present.upperBound(port.key());
            pcItem->insertChild(
                next == present.end() ? pcItem->childCount() : pcItem->indexOfChild(next.value()), item);
            present.insert(port.key(), item);
        }
        if (item->toolTip(0) != port.value())
            item->setToolTip(0, port.value());
    }
}

void TForm1::SelectPort(const QString &caption)
{
    const QString text = caption.toUpper();
    if (Copy(text, 1, 3) != "COM")
        return;
    bool isNumber = false;
    const quint16 number = Copy(text, 4, text.size()).toUShort(&isNumber);
    if (!isNumber)
        return;
    comTimer1Tag = number;
    ComTimer1.start();
}

void TForm1::ComTimer1Timer()
{
    ComTimer1.stop();
    const quint16 wanted = static_cast<quint16>(comTimer1Tag);
    if (ApdComPort1.ComNumber() != wanted) {
        RunPortStage([this, wanted] {
            if (ApdComPort1.IsOpen() || ApdComPort1.IsOpening()) {
                ApdComPort1.SetOpen(false);
            } else {
                ApdComPort1.SetComNumber(wanted);
                ApdComPort1.SetOpen(true);
                portLost = false;
            }
            ComTimer1.start();
        });
    } else if (ApdComPort1.IsOpen()) {
        ShowPortPanel();
    } else if (ApdComPort1.IsOpening()) {
        // A network port's connection is still being made: look again on the next tick.
        ComTimer1.start();
    } else if (portLost) {
        // The device went away while open (an adapter unplugged and plugged in again): choosing the port
        // again opens it again.
        RunPortStage([this] {
            ApdComPort1.SetOpen(true);
            portLost = false;
            ComTimer1.start();
        });
    }
}

void TForm1::RunPortStage(const std::function<void()> &stage)
{
    try {
        stage();
    } catch (const EBadId &) {
        PortOpenFailed("Error, bad ID !");
    } catch (const ENoPortSelected &) {
        PortOpenFailed("Error,no port selected !");
    } catch (const EAlreadyOpen &) {
        PortOpenFailed("Port is already open !");
    } catch (const EPermissionDenied &error) {
        SetHint(PermissionHint);
        PortOpenFailed(QString::fromLocal8Bit(error.what()));
    } catch (const std::exception &error) {
        PortOpenFailed(QString::fromLocal8Bit(error.what()));
    }
}

void TForm1::PortOpenFailed(const QString &message)
{
    EnableWorkspace(false);
    ComProperties->hide();
    Prompts().Error(message);
}

void TForm1::ShowPortPanel()
{
    SetHint(PortHint());
    ComEdit->setText(QString::number(ApdComPort1.ComNumber()));
    DevicePathEdit->setText(ApdComPort1.DevicePath());
    BaudRateComboBox->setCurrentText(QString::number(ApdComPort1.Baud()));
    DataBitsEdit->setText(QString::number(ApdComPort1.DataBits()));
    StopBitsEdit->setText(QString::number(ApdComPort1.StopBits()));
    ParityEdit->setText(ParityName(ApdComPort1.Parity()));
    ComProperties->show();
    Layout();
    EnableWorkspace(true);
}

QString TForm1::PortHint() const
{
    const QString hint = "Hint: Com " + QString::number(ApdComPort1.ComNumber()) + "  " +
                         QString::number(ApdComPort1.Baud()) + " bps";
    if (ApdComPort1.IsNetworkPort())
        return hint + NetworkBaudNote;
    const int latencyMs = ApdComPort1.AdapterLatencyMs();
    if (latencyMs > TApdComPort::LowAdapterLatencyMs)
        return hint + QStringLiteral(" - the adapter holds replies %1 ms: set its latency_timer to 1 (see README)")
                          .arg(latencyMs);
    return hint;
}

void TForm1::BaudRateComboBoxChange()
{
    const QString text = BaudRateComboBox->currentText();
    if (BaudRateComboBox->findText(text, Qt::MatchExactly) >= 0)
        ApdComPort1.SetBaud(text.toInt());
    else
        BaudRateComboBox->setCurrentText(QString::number(ApdComPort1.Baud()));
    SetHint(PortHint());
}

void TForm1::SetLineBaud(int baud)
{
    // The same path as a rate chosen in the panel, so the panel, the port and the hint agree.
    BaudRateComboBox->setCurrentText(QString::number(baud));
    BaudRateComboBoxChange();
}

void TForm1::TakeTimeOut(int milliseconds)
{
    // 0 would end every exchange at once and more than a second stalls the editor cycle: such values are
    // ignored.
    if (milliseconds < 1 || milliseconds > 1000)
        return;
    panelTimeOutMs = milliseconds;
    engine.SetTimeOutMs(milliseconds);
}

void TForm1::SpinEdit1Change()
{
    TakeTimeOut(SpinEdit1->value());
}

void TForm1::SpinEdit1Exit()
{
    bool isNumber = false;
    const int typed = SpinEdit1->cleanText().toInt(&isNumber);
    if (!isNumber) {
        SpinEdit1->setValue(DefaultTimeOutMs);
        TakeTimeOut(DefaultTimeOutMs);
        return;
    }
    TakeTimeOut(typed);
}

void TForm1::ApdComPort1DeviceLost(const QString &reason)
{
    portLost = true;
    // The system's own words for a vanished device ("Resource temporarily unavailable", "Input/output
    // error") do not tell a technician what happened; they stay at hand in the tooltip.
    SetHint("Hint: Com " + QString::number(ApdComPort1.ComNumber()) +
            " lost (the device went away), choose the port to open it again...");
    HintPanel->setToolTip(reason);
}

} // namespace navix
