#pragma once
// An up-down control with its buddy edit, as a native one behaves: each
// arrow click, held arrow, wheel notch or Up/Down key in the buddy proposes
// the position one step on, the handler may veto it, and a step that would
// leave the range stops at the bound.  The buddy shows the position; text
// typed into an editable buddy changes nothing until the next step, which
// starts from that number when it is a valid position.
#include <QTimer>
#include <QWidget>

#include <cstdint>
#include <functional>

#include "dialog/setup_view.h"

class QLineEdit;

namespace orbisk::qt {

class UpDown final : public QWidget {
    Q_OBJECT
public:
    UpDown(Control control, QLineEdit* buddy, QWidget* parent);

    // Gets the proposed position; false vetoes the step.
    std::function<bool(std::int16_t)> onChanging;

    void SetPosition(int position);  // clamped into the range, like UDM_SETPOS
    int Position() const { return position_; }
    QLineEdit* Buddy() const { return buddy_; }
    // One step up (+1) or down (-1).
    void Step(int direction);

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void changeEvent(QEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void Repeat();

    Control control_;
    QLineEdit* buddy_;
    int position_;
    int pressed_ = 0;  // the arrow held down: +1, -1 or none
    QTimer repeat_;
};

}  // namespace orbisk::qt
