#pragma once
// search/ finds the modules on the bus: this window and its widget-free step machines, the scan of an
// address range (ModuleScan, library navix_scan) and the search over every baud rate (BaudSweep).
//
// The module search window: it takes the bus while shown, scans an address range for modules with ModuleScan
// and gives the bus back when it closes, at which point the captions of the found modules become tree items.

#include "baud_sweep.h"
#include "module_scan.h"

#include "bus/transaction_engine.h"
#include "workspace/tool_session.h"
#include "workspace/workspace.h"

#include <QCheckBox>
#include <QDialog>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QSpinBox>
#include <QTimer>

namespace navix {

class TForm3 : public QDialog, public ToolReplyHandler
{
    Q_OBJECT
public:
    // The workspace and its engine must outlive the window.
    explicit TForm3(Workspace &workspace, QWidget *parent = nullptr);

    void HandleToolReply(const QByteArray &reply) override;

    ScanPhase Phase() const { return session.Phase(); }
    const ModuleScan &Scan() const { return scan; }
    const BaudSweep &Sweep() const { return sweep; }

private:
    void StartScanButtonClick();
    void CancelButtonClick();

    void FormShow();
    void BuildRangeFields();
    void BuildScanControls();
    void BuildLayout();
    void SetScanningLook(bool scanning);
    void ShowAddress(int address);
    void FinishClose();
    void SweepFinished();
    // After a search over every rate: where the port was left.
    QString RateNote() const;

    // Controls and timers: each object name is the member's name, by which tests find the control.
    QLabel SearchForModulesLabel;
    QSpinBox FirstAdresSpinEdit;
    QSpinBox SecondAdresSpinEdit;
    QLabel DecLabel;
    QLabel DecLabel1;
    QLabel HexLabel;
    QLabel HexLabel1;
    QCheckBox AllBaudRatesCheckBox;
    QProgressBar Animate1;
    QPushButton StartScanButton;
    QPushButton CancelButton;
    QTimer InitTimer;
    QTimer CloseTimer;

    Workspace &workspace;
    ModuleScan scan;
    BaudSweep sweep{workspace, scan};
    ToolBusSession session{workspace.Engine(), workspace.Router(), ToolKind::Search, *this, *this,
                           InitTimer,          CloseTimer};
};

} // namespace navix
