#include "dialog/qt/up_down.h"

#include <QKeyEvent>
#include <QLineEdit>
#include <QLocale>
#include <QMouseEvent>
#include <QPainter>
#include <QStyleOption>
#include <QWheelEvent>

namespace orbisk::qt {

namespace {
// The native control's auto-repeat: a pause, then steady steps.
constexpr int InitialDelayMs = 500;
constexpr int RepeatDelayMs = 50;
}  // namespace

UpDown::UpDown(Control control, QLineEdit* buddy, QWidget* parent)
    : QWidget(parent), control_(control), buddy_(buddy), position_(RangeOf(control).min) {
    // Clicking an arrow focuses the buddy, not the arrows.
    setFocusPolicy(Qt::NoFocus);
    buddy_->installEventFilter(this);
    repeat_.setSingleShot(true);
    connect(&repeat_, &QTimer::timeout, this, &UpDown::Repeat);
    SetPosition(position_);
}

void UpDown::SetPosition(int position) {
    position_ = ClampToRange(control_, position);
    buddy_->setText(QString::number(position_));
}

void UpDown::Step(int direction) {
    // A number typed into the buddy becomes the starting point when it is a
    // position the control could hold.
    QString typed = buddy_->text();
    typed.remove(QLocale().groupSeparator());
    bool ok = false;
    const int number = typed.toInt(&ok);
    if (ok && number == ClampToRange(control_, number)) position_ = number;

    const int proposed = position_ + direction * RangeOf(control_).step;
    if (onChanging && !onChanging(static_cast<std::int16_t>(proposed))) return;
    SetPosition(proposed);
}

void UpDown::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    const int half = height() / 2;
    const QRect halves[2] = {QRect(0, 0, width(), half), QRect(0, half, width(), height() - half)};
    for (int i = 0; i < 2; ++i) {
        const bool down = pressed_ == (i == 0 ? 1 : -1);
        QStyleOptionButton button;
        button.initFrom(this);
        button.rect = halves[i];
        button.state |= down ? QStyle::State_Sunken : QStyle::State_Raised;
        style()->drawPrimitive(QStyle::PE_PanelButtonBevel, &button, &painter, this);

        QStyleOption arrow;
        arrow.initFrom(this);
        arrow.rect = halves[i].adjusted(3, 2, -3, -2).translated(down ? 1 : 0, down ? 1 : 0);
        style()->drawPrimitive(i == 0 ? QStyle::PE_IndicatorArrowUp : QStyle::PE_IndicatorArrowDown,
                               &arrow, &painter, this);
    }
}

void UpDown::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) return;
    buddy_->setFocus(Qt::MouseFocusReason);
    pressed_ = event->position().y() < height() / 2 ? 1 : -1;
    update();
    Step(pressed_);
    repeat_.start(InitialDelayMs);
}

void UpDown::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) return;
    pressed_ = 0;
    repeat_.stop();
    buddy_->selectAll();
    update();
}

void UpDown::Repeat() {
    if (pressed_ == 0) return;
    // Only while the pointer stays on the arrow that was pressed.
    const QPoint at = mapFromGlobal(QCursor::pos());
    if (rect().contains(at) && (at.y() < height() / 2 ? 1 : -1) == pressed_) Step(pressed_);
    repeat_.start(RepeatDelayMs);
}

void UpDown::wheelEvent(QWheelEvent* event) {
    const int notches = event->angleDelta().y() / 120;
    for (int i = 0; i < (notches < 0 ? -notches : notches); ++i) Step(notches > 0 ? 1 : -1);
    event->accept();
}

void UpDown::changeEvent(QEvent* event) {
    if (event->type() == QEvent::EnabledChange && !isEnabled()) {
        pressed_ = 0;
        repeat_.stop();
    }
    QWidget::changeEvent(event);
}

bool UpDown::eventFilter(QObject* watched, QEvent* event) {
    if (watched == buddy_ && event->type() == QEvent::KeyPress && isEnabled()) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        if (key == Qt::Key_Up || key == Qt::Key_Down) {
            Step(key == Qt::Key_Up ? 1 : -1);
            return true;
        }
    }
    if (watched == buddy_ && event->type() == QEvent::Wheel && isEnabled()) {
        wheelEvent(static_cast<QWheelEvent*>(event));
        return true;
    }
    return QWidget::eventFilter(watched, event);
}

}  // namespace orbisk::qt
