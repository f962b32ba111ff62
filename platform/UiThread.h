#pragma once

#include <functional>

// True on the thread of the running application. Safe to call from any thread.
bool IsUiThread();

// Runs `call` on the UI thread: at once when called there, else queued without waiting for it.
// Does nothing without a running application. Safe to call from any thread.
void RunOnUiThread(std::function<void()> call);
