#include "calibration_dialogs.h"

#include "bus/text.h"
#include "workspace/prompt.h"

#include <QHBoxLayout>
#include <QLineEdit>
#include <QStyle>

namespace navix {

namespace {
CalibrationDialogSet *installedSet = nullptr;

CalibrationDialogSet &InstalledSet()
{
    if (!installedSet)
        qFatal("the calibration dialogs are used before they were created");
    return *installedSet;
}

constexpr int PictureSize = 32;
constexpr int CountCharacters = 3; // "-95"
constexpr int ByteRange = 256;
} // namespace

CalibrationDialogFrame::CalibrationDialogFrame(const QString &caption, const QString &message,
                                               QWidget *parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                          Qt::WindowCloseButtonHint)
{
    setWindowTitle(caption);
    setModal(false);

    Image1.setObjectName("Image1");
    Image1.setPixmap(
        style()->standardIcon(QStyle::SP_MessageBoxInformation).pixmap(PictureSize, PictureSize));
    Image1.setAlignment(Qt::AlignTop);
    Label1.setObjectName("Label1");
    Label1.setText(message);
    Label1.setWordWrap(true);
    ExecuteButton.setObjectName("ExecuteButton");
    ExecuteButton.setText("&Execute");
    CancelButton.setObjectName("CancelButton");
    CancelButton.setText("&Cancel");
    ExitButton.setObjectName("ExitButton");
    ExitButton.setText("E&xit");

    auto *layout = new QVBoxLayout(this);
    auto *messageRow = new QHBoxLayout;
    messageRow->addWidget(&Image1);
    messageRow->addWidget(&Label1, 1);
    layout->addLayout(messageRow);
    inputLayout = new QVBoxLayout;
    layout->addLayout(inputLayout);
    auto *buttonRow = new QHBoxLayout;
    buttonRow->addWidget(&ExecuteButton);
    buttonRow->addWidget(&CancelButton);
    buttonRow->addWidget(&ExitButton);
    layout->addLayout(buttonRow);

    connect(&ExecuteButton, &QPushButton::clicked, this, &CalibrationDialogFrame::ExecuteButtonClick);
    connect(&CancelButton, &QPushButton::clicked, this, &CalibrationDialogFrame::CancelButtonClick);
    connect(&ExitButton, &QPushButton::clicked, this, &CalibrationDialogFrame::ExitButtonClick);
}

void CalibrationDialogFrame::SetTarget(QObject *editor, std::function<void(int)> store)
{
    targetEditor = editor;
    targetStore = std::move(store);
}

bool CalibrationDialogFrame::HasTarget() const
{
    return targetStore && !targetEditor.isNull();
}

void CalibrationDialogFrame::SetMessage(const QString &message)
{
    Label1.setText(message);
}

void CalibrationDialogFrame::ExecuteButtonClick()
{
    int request = 0;
    if (!TakeRequest(request))
        return;
    // The editor that asked may have been closed while the dialog was open; its request went with it.
    if (HasTarget())
        targetStore(request);
    hide();
}

void CalibrationDialogFrame::CancelButtonClick()
{
    hide();
}

void CalibrationDialogFrame::ExitButtonClick()
{
    hide();
}

TForm7::TForm7(QWidget *parent)
    : CalibrationDialogFrame("Calibration ...", "Stores the current output value as 4mA.", parent)
{
    setObjectName("TForm7");
}

bool TForm7::TakeRequest(int &request)
{
    request = requestCode;
    return true;
}

CountSpinBox::CountSpinBox(QWidget *parent) : QSpinBox(parent)
{
    // Three typed characters reach from -99 to 999; the arrows keep to the counts a trim allows.
    setRange(-99, 999);
    setValue(0);
    lineEdit()->setMaxLength(CountCharacters);
}

void CountSpinBox::stepBy(int steps)
{
    setValue(qBound(LowestCount, value() + steps, HighestCount));
}

QAbstractSpinBox::StepEnabled CountSpinBox::stepEnabled() const
{
    StepEnabled enabled = StepNone;
    if (value() < HighestCount)
        enabled |= StepUpEnabled;
    if (value() > LowestCount)
        enabled |= StepDownEnabled;
    return enabled;
}

TForm8::TForm8(QWidget *parent)
    : CalibrationDialogFrame("Trim Calibratioon", "Enter number of counts betwen - 95 and + 95.", parent)
{
    setObjectName("TForm8");
    SpinEdit1.setObjectName("SpinEdit1");
    InputLayout()->addWidget(&SpinEdit1);
}

bool TForm8::TakeRequest(int &request)
{
    // A count still being typed counts as well.
    SpinEdit1.interpretText();
    const int counts = SpinEdit1.value();
    if (counts < CountSpinBox::LowestCount || counts > CountSpinBox::HighestCount) {
        Prompts().Error("Invalid number of counts!");
        return false;
    }
    // The module takes the count as one byte, negative counts in two's complement.
    request = counts < 0 ? counts + ByteRange : counts;
    return true;
}

CalibrationDialogSet::CalibrationDialogSet() : previous(installedSet)
{
    installedSet = this;
}

CalibrationDialogSet::~CalibrationDialogSet()
{
    if (installedSet == this)
        installedSet = previous;
}

TForm7 &CalibrationDialog()
{
    return InstalledSet().Form7;
}

TForm8 &TrimDialog()
{
    return InstalledSet().Form8;
}

bool AnyCalibrationDialogVisible()
{
    return installedSet && (installedSet->Form7.isVisible() || installedSet->Form8.isVisible());
}

QString CalibrationCaption(const QString &kind, const QString &model, int address)
{
    return kind + " Calibaration " + model + " (" + FromWire(HexByte(address)) + ")";
}

bool OpenCalibrationDialog(QObject *editor, std::function<void(int)> store, int code, const QString &caption,
                           const QString &message)
{
    if (AnyCalibrationDialogVisible())
        return false;
    TForm7 &dialog = CalibrationDialog();
    dialog.SetRequestCode(code);
    dialog.SetTarget(editor, std::move(store));
    dialog.setWindowTitle(caption);
    dialog.SetMessage(message);
    dialog.show();
    return true;
}

} // namespace navix
