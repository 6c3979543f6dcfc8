#include "search_window.h"

#include "bus/text.h"

#include <QHBoxLayout>
#include <QVBoxLayout>

namespace navix {

TForm3::TForm3(Workspace &workspace, QWidget *parent)
    : QDialog(parent, Qt::Dialog | Qt::WindowStaysOnTopHint | Qt::WindowTitleHint |
                          Qt::WindowCloseButtonHint | Qt::CustomizeWindowHint),
      workspace(workspace), scan(workspace)
{
    setObjectName("TForm3");
    setWindowTitle("Searching for modules ...");

    BuildRangeFields();
    BuildScanControls();
    BuildLayout();
    SetScanningLook(false);

    session.onShow = [this] { FormShow(); };
    session.onClose = [this] { FinishClose(); };
    connect(&scan, &ModuleScan::AddressShown, this, &TForm3::ShowAddress);
    connect(&sweep, &BaudSweep::Finished, this, &TForm3::SweepFinished);
}

void TForm3::BuildRangeFields()
{
    SearchForModulesLabel.setObjectName("SearchForModulesLabel");
    SearchForModulesLabel.setText("Set first and last address (dec)");
    FirstAdresSpinEdit.setObjectName("FirstAdresSpinEdit");
    FirstAdresSpinEdit.setRange(ModuleScan::LowestAddress, ModuleScan::HighestAddress - 1);
    FirstAdresSpinEdit.setValue(ModuleScan::LowestAddress);
    SecondAdresSpinEdit.setObjectName("SecondAdresSpinEdit");
    SecondAdresSpinEdit.setRange(ModuleScan::LowestAddress + 1, ModuleScan::HighestAddress);
    SecondAdresSpinEdit.setValue(ModuleScan::HighestAddress);
    AllBaudRatesCheckBox.setObjectName("AllBaudRatesCheckBox");
    AllBaudRatesCheckBox.setText("All baud rates");
}

void TForm3::BuildScanControls()
{
    DecLabel.setObjectName("DecLabel");
    DecLabel1.setObjectName("DecLabel1");
    DecLabel1.setText("(dec)");
    HexLabel.setObjectName("HexLabel");
    HexLabel1.setObjectName("HexLabel1");
    HexLabel1.setText("(hex)");
    Animate1.setObjectName("Animate1");
    Animate1.setTextVisible(false);
    // The address labels and the animation appear and vanish while the dialog keeps its size.
    for (QWidget *hidden : {static_cast<QWidget *>(&DecLabel), static_cast<QWidget *>(&DecLabel1),
                            static_cast<QWidget *>(&HexLabel), static_cast<QWidget *>(&HexLabel1),
                            static_cast<QWidget *>(&Animate1)}) {
        QSizePolicy policy = hidden->sizePolicy();
        policy.setRetainSizeWhenHidden(true);
        hidden->setSizePolicy(policy);
    }
    StartScanButton.setObjectName("StartScanButton");
    StartScanButton.setText("&Start scan");
    StartScanButton.setAutoDefault(false);
    CancelButton.setObjectName("CancelButton");
    CancelButton.setText("&Cancel");
    CancelButton.setAutoDefault(false);
    connect(&StartScanButton, &QPushButton::clicked, this, &TForm3::StartScanButtonClick);
    connect(&CancelButton, &QPushButton::clicked, this, &TForm3::CancelButtonClick);
}

void TForm3::BuildLayout()
{
    SearchForModulesLabel.setBuddy(&FirstAdresSpinEdit);

    auto *rangeRow = new QHBoxLayout;
    rangeRow->addWidget(&FirstAdresSpinEdit);
    rangeRow->addWidget(&SecondAdresSpinEdit);

    auto *addressRow = new QHBoxLayout;
    addressRow->addWidget(&DecLabel);
    addressRow->addWidget(&DecLabel1);
    addressRow->addSpacing(12);
    addressRow->addWidget(&HexLabel);
    addressRow->addWidget(&HexLabel1);
    addressRow->addStretch();

    auto *buttonRow = new QHBoxLayout;
    buttonRow->addWidget(&StartScanButton);
    buttonRow->addWidget(&CancelButton);

    auto *column = new QVBoxLayout(this);
    column->addWidget(&SearchForModulesLabel);
    column->addLayout(rangeRow);
    column->addWidget(&AllBaudRatesCheckBox);
    column->addLayout(addressRow);
    column->addWidget(&Animate1);
    column->addLayout(buttonRow);
    // The dialog keeps the size its contents need.
    column->setSizeConstraint(QLayout::SetFixedSize);

    setTabOrder(&FirstAdresSpinEdit, &SecondAdresSpinEdit);
    setTabOrder(&SecondAdresSpinEdit, &AllBaudRatesCheckBox);
    setTabOrder(&AllBaudRatesCheckBox, &StartScanButton);
    setTabOrder(&StartScanButton, &CancelButton);
}

void TForm3::FormShow()
{
    workspace.SetMainEnabled(false);
    workspace.SetWorkspaceCaption("Navix V1.2");
    const QRect main = workspace.MainGeometry();
    move(main.left() + main.width() / 2 - width() / 2, main.top() + main.height() / 2 - height() / 2);
    workspace.SetHint("Hint: Searching for modules...");
}

void TForm3::StartScanButtonClick()
{
    sweep.Stop();
    if (session.Phase() != ScanPhase::Ready)
        return;
    workspace.ClearModules(true);
    // The captions queued by an earlier scan stand for records that were just cleared.
    workspace.DropPendingModuleItems();
    SetScanningLook(true);
    sweep.Start(FirstAdresSpinEdit.value(), SecondAdresSpinEdit.value(), AllBaudRatesCheckBox.isChecked());
}

void TForm3::CancelButtonClick()
{
    hide();
}

void TForm3::HandleToolReply(const QByteArray &reply)
{
    if (session.ReplyArrived())
        scan.ReplyStep(reply);
}

void TForm3::FinishClose()
{
    const bool sweptAllRates = sweep.AllRates() && !sweep.Running() && sweep.LastFoundBaud() > 0;
    sweep.Stop();
    SetScanningLook(false);
    workspace.FlushModuleItems();
    workspace.SetMainEnabled(true);
    workspace.SetHint(sweptAllRates ? "Hint: Available modules... " + RateNote()
                                    : QStringLiteral("Hint: Available modules..."));
}

void TForm3::SweepFinished()
{
    SetScanningLook(false);
    if (sweep.AllRates())
        workspace.SetHint("Hint: " + RateNote());
}

QString TForm3::RateNote() const
{
    const QString rate = QString::number(workspace.LineBaud());
    return sweep.LastFoundBaud() > 0 ? "the port stays at " + rate + " bps, the rate of the last module found"
                                     : "no module at any rate, the port is back at " + rate + " bps";
}

void TForm3::SetScanningLook(bool scanning)
{
    StartScanButton.setEnabled(!scanning);
    // A busy bar animates by itself while shown; a determinate one stands still.
    Animate1.setRange(0, scanning ? 0 : 1);
    Animate1.setVisible(scanning);
    DecLabel.setVisible(scanning);
    DecLabel1.setVisible(scanning);
    HexLabel.setVisible(scanning);
    HexLabel1.setVisible(scanning);
    FirstAdresSpinEdit.setEnabled(!scanning);
    SecondAdresSpinEdit.setEnabled(!scanning);
    AllBaudRatesCheckBox.setEnabled(!scanning);
}

void TForm3::ShowAddress(int address)
{
    DecLabel.setText(QString::number(address));
    HexLabel.setText(FromWire(HexByte(address)));
}

} // namespace navix
