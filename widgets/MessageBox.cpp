#include "widgets/MessageBox.h"

#include "platform/UiThread.h"
#include "widgets/WidgetApplication.h"

#include <QApplication>
#include <QMessageBox>
#include <QTimer>
#include <future>

namespace {

// Without a limit the box stays until it is answered.
constexpr std::chrono::milliseconds kNoLimit{0};

void ShowOnUiThread(const QString& text, std::chrono::milliseconds limit = kNoLimit) {
    // No parent: a window that goes away while the box is open would take the box with it.
    QMessageBox box(QMessageBox::NoIcon, QApplication::applicationName(), text, QMessageBox::Ok);
    if (limit > kNoLimit) {
        QTimer::singleShot(limit, &box, &QMessageBox::accept);
    }
    box.exec();
}

}  // namespace

void ShowMessageBox(const QString& text) {
    ShowMessageBox(text, kNoLimit);
}

void ShowMessageBox(const QString& text, std::chrono::milliseconds limit) {
    if (WidgetApplication() == nullptr) {
        return;
    }
    if (IsUiThread()) {
        ShowOnUiThread(text, limit);
        return;
    }
    // If the call is dropped undelivered (the application is going away), the promise is broken
    // and the caller is released all the same.
    auto answered = std::make_shared<std::promise<void>>();
    std::future<void> done = answered->get_future();
    RunOnUiThread([text, limit, answered] {
        ShowOnUiThread(text, limit);
        answered->set_value();
    });
    answered.reset();
    done.wait();
}

void PostMessageBox(const QString& text) {
    if (WidgetApplication() == nullptr) {
        return;
    }
    RunOnUiThread([text] { ShowOnUiThread(text); });
}

bool AskYesNo(const QString& text) {
    QMessageBox box(QMessageBox::Question, QApplication::applicationName(), text,
                    QMessageBox::Yes | QMessageBox::No);
    box.setDefaultButton(QMessageBox::No);
    box.setEscapeButton(QMessageBox::No);
    return box.exec() == QMessageBox::Yes;
}
