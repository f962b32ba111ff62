#pragma once

#include <atomic>
#include <cstdint>

#include "platform/FreeSpace.h"

// A free-space probe that tells what the test sets, on every folder: plenty at first.
class FakeFreeSpace final : public FreeSpaceProbe {
public:
    static constexpr std::uint64_t kMegabyte = 1024 * 1024;

    std::optional<std::uint64_t> FreeBytes(const std::string&) const override {
        ++m_probes;
        return m_freeMb.load() * kMegabyte;
    }
    void SetFreeMb(std::uint64_t megabytes) { m_freeMb = megabytes; }
    int Probes() const { return m_probes.load(); }

private:
    std::atomic<std::uint64_t> m_freeMb{1'000'000};
    mutable std::atomic<int> m_probes{0};
};
