#include "widgets/ArrowPair.h"

#include <QKeyEvent>
#include <QToolButton>

namespace {

QToolButton* CreateArrow(QWidget* parent, Qt::ArrowType type, const QString& name) {
    auto* arrow = new QToolButton(parent);
    arrow->setArrowType(type);
    arrow->setAutoRepeat(true);
    arrow->setFocusPolicy(Qt::NoFocus);
    arrow->setAccessibleName(name);
    return arrow;
}

}  // namespace

ArrowPair::ArrowPair(QWidget* parent)
    : QWidget(parent),
      m_upper(CreateArrow(this, Qt::UpArrow, tr("Up"))),
      m_lower(CreateArrow(this, Qt::DownArrow, tr("Down"))) {
    connect(m_upper, &QToolButton::clicked, this, [this] { emit DeltaPos(-1); });
    connect(m_lower, &QToolButton::clicked, this, [this] { emit DeltaPos(+1); });
}

void ArrowPair::BindKeys(QWidget* edit) {
    edit->installEventFilter(this);
}

bool ArrowPair::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() != QEvent::KeyPress) {
        return QWidget::eventFilter(watched, event);
    }
    int delta = 0;
    int steps = 1;
    switch (static_cast<QKeyEvent*>(event)->key()) {
        case Qt::Key_Up:
            delta = -1;
            break;
        case Qt::Key_Down:
            delta = +1;
            break;
        case Qt::Key_PageUp:
            delta = -1;
            steps = 10;
            break;
        case Qt::Key_PageDown:
            delta = +1;
            steps = 10;
            break;
        default:
            return QWidget::eventFilter(watched, event);
    }
    if (isEnabled()) {
        for (int step = 0; step < steps; ++step) {
            emit DeltaPos(delta);
        }
    }
    return true;
}

void ArrowPair::resizeEvent(QResizeEvent* /*event*/) {
    const int upperHeight = height() / 2;
    m_upper->setGeometry(0, 0, width(), upperHeight);
    m_lower->setGeometry(0, upperHeight, width(), height() - upperHeight);
}
