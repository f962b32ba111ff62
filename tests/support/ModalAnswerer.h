#pragma once

#include <QMessageBox>
#include <QObject>
#include <QStringList>
#include <QTimer>
#include <functional>

class QWidget;

// Answers the modal windows a test opens: every few milliseconds it looks at the active modal
// window; a message box is recorded and closed with OK, any other window is passed to the
// handler the test set (or rejected). Keeps a test from hanging on a window nobody answers.
class ModalAnswerer : public QObject {
    Q_OBJECT
public:
    ModalAnswerer();

    // How questions (message boxes without OK) are answered; Yes unless told otherwise.
    void SetQuestionAnswer(QMessageBox::StandardButton answer) { m_questionAnswer = answer; }
    // Handles modal windows that are not message boxes; without one they are rejected.
    void SetDialogHandler(std::function<void(QWidget*)> handler);
    // The texts of the message boxes answered so far.
    QStringList Messages() const { return m_messages; }
    void Clear() { m_messages.clear(); }
    // Processes events until `count` messages have been answered or `ms` have passed.
    bool WaitForMessages(int count, int ms = 10000);

private:
    void AnswerActiveModal();

    QTimer m_timer;
    QStringList m_messages;
    std::function<void(QWidget*)> m_dialogHandler;
    QMessageBox::StandardButton m_questionAnswer = QMessageBox::Yes;
};
