#pragma once
// The module search window: it takes the bus while shown, scans an address range for modules with ModuleScan
// and gives the bus back when it closes, at which point the captions of the found modules become tree items.

#include "module_scan.h"

#include "bus/transaction_engine.h"
#include "workspace/tool_session.h"
#include "workspace/workspace.h"

#include <QDialog>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QSpinBox>
#include <QTimer>

class TForm3 : public QDialog, public ToolReplyHandler
{
    Q_OBJECT
public:
    // The workspace and its engine must outlive the window.
    explicit TForm3(Workspace &workspace, QWidget *parent = nullptr);

    void HandleToolReply(const QByteArray &reply) override;

    ScanPhase Phase() const { return session.Phase(); }
    const ModuleScan &Scan() const { return scan; }

    void StartScanButtonClick();
    void CancelButtonClick();

    QLabel SearchForModulesLabel;
    QSpinBox FirstAdresSpinEdit;
    QSpinBox SecondAdresSpinEdit;
    QLabel DecLabel;
    QLabel DecLabel1;
    QLabel HexLabel;
    QLabel HexLabel1;
    QProgressBar Animate1;
    QPushButton StartScanButton;
    QPushButton CancelButton;
    QTimer InitTimer;
    QTimer CloseTimer;

private:
    void FormShow();
    void BuildLayout();
    void SetScanningLook(bool scanning);
    void ShowAddress(int address);
    void FinishClose();

    Workspace &workspace;
    ModuleScan scan;
    ToolBusSession session{workspace.Engine(), workspace.Router(), ToolKind::Search, *this, *this,
                           InitTimer,          CloseTimer};
};
