#pragma once

#include <QWidget>

class QToolButton;

// Two stacked arrow buttons that only report presses, as an up-down control without a buddy:
// the signal carries the proposed change, -1 for the upper arrow and +1 for the lower one.
class ArrowPair : public QWidget {
    Q_OBJECT
public:
    explicit ArrowPair(QWidget* parent = nullptr);

    QToolButton* UpperArrow() const { return m_upper; }
    QToolButton* LowerArrow() const { return m_lower; }
    // Lets the keys of `edit`, the control the arrows belong to, press them: Up and Down one
    // step, Page Up and Page Down ten. The arrows themselves take no focus.
    void BindKeys(QWidget* edit);

signals:
    void DeltaPos(int delta);

protected:
    void resizeEvent(QResizeEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QToolButton* m_upper;
    QToolButton* m_lower;
};
