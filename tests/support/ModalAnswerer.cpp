#include "support/ModalAnswerer.h"

#include <QApplication>
#include <QDialog>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>

ModalAnswerer::ModalAnswerer() {
    connect(&m_timer, &QTimer::timeout, this, &ModalAnswerer::AnswerActiveModal);
    m_timer.start(10);
}

void ModalAnswerer::SetDialogHandler(std::function<void(QWidget*)> handler) {
    m_dialogHandler = std::move(handler);
}

bool ModalAnswerer::WaitForMessages(int count, int ms) {
    return QTest::qWaitFor([&] { return m_messages.size() >= count; }, ms);
}

void ModalAnswerer::AnswerActiveModal() {
    QWidget* modal = QApplication::activeModalWidget();
    if (modal == nullptr || !modal->isVisible()) {
        return;
    }
    if (auto* box = qobject_cast<QMessageBox*>(modal)) {
        m_messages << box->text();
        if (QAbstractButton* ok = box->button(QMessageBox::Ok)) {
            ok->click();
        } else if (QAbstractButton* answer = box->button(m_questionAnswer)) {
            answer->click();
        } else {
            box->reject();
        }
        return;
    }
    if (m_dialogHandler) {
        m_dialogHandler(modal);
    } else if (auto* dialog = qobject_cast<QDialog*>(modal)) {
        dialog->reject();
    }
}
