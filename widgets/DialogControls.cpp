#include "widgets/DialogControls.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFontMetrics>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPixmap>
#include <QProgressBar>
#include <QPushButton>
#include <QRegularExpression>
#include <QRegularExpressionValidator>
#include <QString>

#include "widgets/ArrowPair.h"

namespace {

constexpr char kControlIdProperty[] = "controlId";

// The average width of the Latin letters, as dialog base units are defined, rounded up: the
// captions were fitted to a narrow font, and a fraction lost per unit would clip them here.
int AverageCharWidth(const QFontMetrics& metrics) {
    static const QString letters =
        QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz");
    return (metrics.horizontalAdvance(letters) + letters.size() - 1) / letters.size();
}

QString PlainCaption(const char* caption) {
    QString text = QString::fromUtf8(caption);
    text.remove(QRegularExpression(QStringLiteral("&(?!&)")));
    return text;
}

QWidget* CreateEdit(QWidget& parent, const ControlTemplate& control) {
    auto* edit = new QLineEdit(&parent);
    edit->setReadOnly(control.style & kReadOnly);
    const QString pattern = control.style & kDigitsOnly   ? QStringLiteral("[0-9]*")
                            : control.style & kOneDecimal ? QStringLiteral("[0-9]*\\.?[0-9]?")
                                                          : QString();
    if (!pattern.isEmpty()) {
        edit->setValidator(new QRegularExpressionValidator(QRegularExpression(pattern), edit));
    }
    return edit;
}

QWidget* CreateButton(QWidget& parent, const ControlTemplate& control, bool isDefault) {
    auto* button = new QPushButton(QString::fromUtf8(control.caption), &parent);
    if (control.style & kFlat) {
        // A flat button keeps a thin frame, so that it still reads as a button.
        button->setFlat(true);
        button->setStyleSheet(QStringLiteral(
            "QPushButton { border: 1px solid palette(dark); border-radius: 2px; padding: 1px; }"
            "QPushButton:pressed { background: palette(mid); }"
            "QPushButton:disabled { border-color: palette(midlight); }"));
    }
    button->setDefault(isDefault);
    button->setAutoDefault(false);
    return button;
}

QWidget* CreateLabel(QWidget& parent, const ControlTemplate& control) {
    auto* label = new QLabel(QString::fromUtf8(control.caption), &parent);
    label->setWordWrap(true);
    label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    label->setTextFormat(Qt::PlainText);
    return label;
}

QWidget* CreateWidget(QWidget& parent, const ControlTemplate& control) {
    switch (control.kind) {
        case ControlKind::GroupBox:
            return new QGroupBox(QString::fromUtf8(control.caption), &parent);
        case ControlKind::Label:
            return CreateLabel(parent, control);
        case ControlKind::Edit:
            return CreateEdit(parent, control);
        case ControlKind::UpDown:
            return new ArrowPair(&parent);
        case ControlKind::PushButton:
            return CreateButton(parent, control, false);
        case ControlKind::DefaultButton:
            return CreateButton(parent, control, true);
        case ControlKind::CheckBox:
            return new QCheckBox(QString::fromUtf8(control.caption), &parent);
        case ControlKind::ProgressBar: {
            // A plain bar, as the template draws it: no percentage text beside it.
            auto* bar = new QProgressBar(&parent);
            bar->setTextVisible(false);
            return bar;
        }
        case ControlKind::ComboBox: {
            auto* box = new QComboBox(&parent);
            box->addItems(QString::fromUtf8(control.caption).split(QLatin1Char('|')));
            return box;
        }
        case ControlKind::Icon: {
            // An icon control's caption names its picture in the resources.
            auto* icon = new QLabel(&parent);
            icon->setPixmap(QPixmap(QString::fromUtf8(control.caption)));
            icon->setScaledContents(true);
            return icon;
        }
    }
    return nullptr;
}

}  // namespace

QRect DialogUnitsToPixels(const QFontMetrics& metrics, int x, int y, int width, int height) {
    const int charWidth = AverageCharWidth(metrics);
    const int charHeight = metrics.height();
    auto toX = [&](int units) { return units * charWidth / 4; };
    auto toY = [&](int units) { return units * charHeight / 8; };
    return QRect(toX(x), toY(y), toX(width), toY(height));
}

void CreateControls(QWidget& dialog, const DialogTemplate& dialogTemplate) {
    const QFontMetrics metrics(dialog.font());
    dialog.setWindowTitle(QString::fromUtf8(dialogTemplate.title));
    dialog.setFixedSize(
        DialogUnitsToPixels(metrics, 0, 0, dialogTemplate.width, dialogTemplate.height).size());
    QWidget* previous = nullptr;
    for (const ControlTemplate& control : dialogTemplate.controls) {
        QWidget* widget = CreateWidget(dialog, control);
        // Arrows right after an edit belong to it, as an up-down control takes its buddy.
        if (auto* arrows = qobject_cast<ArrowPair*>(widget);
            arrows && qobject_cast<QLineEdit*>(previous)) {
            arrows->BindKeys(previous);
        }
        previous = widget;
        widget->setGeometry(
            DialogUnitsToPixels(metrics, control.x, control.y, control.width, control.height));
        widget->setProperty(kControlIdProperty, control.id);
        widget->setAccessibleName(control.accessibleName ? QString::fromUtf8(control.accessibleName)
                                                         : PlainCaption(control.caption));
        widget->setEnabled(!(control.style & kDisabled));
        if (control.kind == ControlKind::GroupBox) {
            widget->lower();  // a frame drawn behind the controls it surrounds
        }
    }
}

QWidget* GetDlgItem(const QWidget& dialog, int id) {
    if (id == -1) {
        return nullptr;
    }
    for (QWidget* child : dialog.findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
        const QVariant value = child->property(kControlIdProperty);
        if (value.isValid() && value.toInt() == id) {
            return child;
        }
    }
    return nullptr;
}

void SetDlgItemText(const QWidget& dialog, int id, const QString& text) {
    if (auto* edit = GetDlgItemAs<QLineEdit>(dialog, id)) {
        if (edit->text() == text) {
            emit edit->textChanged(text);
        } else {
            edit->setText(text);
        }
    } else if (auto* box = GetDlgItemAs<QComboBox>(dialog, id)) {
        box->setCurrentText(text);
    } else if (auto* button = GetDlgItemAs<QAbstractButton>(dialog, id)) {
        button->setText(text);
        // Screen readers name a button by its caption, which changes (Start/Stop, Pause).
        button->setAccessibleName(QString(text).remove(QLatin1Char('&')));
    }
}

QString GetDlgItemText(const QWidget& dialog, int id) {
    if (auto* edit = GetDlgItemAs<QLineEdit>(dialog, id)) {
        return edit->text();
    }
    if (auto* button = GetDlgItemAs<QAbstractButton>(dialog, id)) {
        return button->text();
    }
    if (auto* box = GetDlgItemAs<QComboBox>(dialog, id)) {
        return box->currentText();
    }
    return {};
}

void EnableDlgItem(const QWidget& dialog, int id, bool enable) {
    if (QWidget* control = GetDlgItem(dialog, id)) {
        control->setEnabled(enable);
    }
}
