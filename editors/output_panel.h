#pragma once
// One digital channel shown as a small panel: caption "0" on a raised silver face for a channel at 0, caption
// "1" on a lowered lime face for a channel at 1. The three attributes always change together, so the caption
// alone tells the state. The tag is the channel's bit number.

#include <QColor>
#include <QLabel>

namespace navix {

class OutputPanel : public QLabel
{
    Q_OBJECT
public:
    static const QColor OffColor; // silver C0C0C0
    static const QColor OnColor;  // lime 00FF00

    OutputPanel(int tag, QWidget *parent = nullptr);

    int Tag() const { return tag; }
    bool IsOn() const { return text() == QLatin1String("1"); }
    QColor Color() const;
    void SetOn(bool on);
    void Toggle() { SetOn(!IsOn()); }
    // Panels of input modules only show their channel.
    void SetClickable(bool on) { clickable = on; }

signals:
    void Clicked(OutputPanel *panel);

protected:
    void mouseReleaseEvent(QMouseEvent *event) override;

private:
    int tag;
    bool clickable = false;
};

} // namespace navix
