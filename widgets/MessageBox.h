#pragma once

#include <QString>
#include <chrono>

// Shows a modal message box titled with the application's name, with one OK button, and
// returns when the user has pressed OK. From a thread other than the UI thread the box is shown
// on the UI thread and the caller blocks until it is answered. Safe to call from any thread.
void ShowMessageBox(const QString& text);

// The same message box, closed by itself after `limit` if nobody has answered it by then, so that
// a launch nobody watches never waits for a person. Safe to call from any thread.
void ShowMessageBox(const QString& text, std::chrono::milliseconds limit);

// Shows the same message box on the UI thread without waiting for it to be answered, for a
// worker that must go on meanwhile. Safe to call from any thread.
void PostMessageBox(const QString& text);

// Asks a question in a modal message box with Yes and No buttons on the UI thread; true for Yes.
// No (also Escape or closing the box) is the default. UI thread only.
bool AskYesNo(const QString& text);
