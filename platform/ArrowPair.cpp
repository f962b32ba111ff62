#include "platform/ArrowPair.h"

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

void ArrowPair::resizeEvent(QResizeEvent* /*event*/) {
    const int upperHeight = height() / 2;
    m_upper->setGeometry(0, 0, width(), upperHeight);
    m_lower->setGeometry(0, upperHeight, width(), height() - upperHeight);
}
