#include "platform/ThreadBudget.h"

#include <algorithm>
#include <thread>

namespace {

constexpr int kMostDecodeThreads = 8;

}  // namespace

int Cores() {
    return std::max(1, static_cast<int>(std::thread::hardware_concurrency()));
}

int DecodeThreads() {
    return std::clamp(Cores(), 2, kMostDecodeThreads);
}

int ThreadsLeavingOneCore() {
    return std::max(1, Cores() - 1);
}
