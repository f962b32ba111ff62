#pragma once

#include <atomic>
#include <climits>
#include <cstdint>

#include "platform/FreeSpace.h"

// A free-space probe that tells what the test sets, on every folder: plenty at first.
class FakeFreeSpace final : public FreeSpaceProbe {
public:
    static constexpr std::uint64_t kMegabyte = std::uint64_t{1024} * 1024;

    std::optional<std::uint64_t> FreeBytes(const std::string&) const override {
        const int probe = ++m_probes;
        return (probe >= m_laterFrom.load() ? m_laterMb.load() : m_freeMb.load()) * kMegabyte;
    }
    void SetFreeMb(std::uint64_t megabytes) {
        m_freeMb = megabytes;
        m_laterFrom = INT_MAX;
    }
    // From the probe numbered `probe` on (the first is 1), tells `megabytes`.
    void SetFreeMbFromProbe(int probe, std::uint64_t megabytes) {
        m_laterMb = megabytes;
        m_laterFrom = probe;
    }
    int Probes() const { return m_probes.load(); }

private:
    std::atomic<std::uint64_t> m_freeMb{1'000'000};
    std::atomic<std::uint64_t> m_laterMb{0};
    std::atomic<int> m_laterFrom{INT_MAX};
    mutable std::atomic<int> m_probes{0};
};
