#include "link/sim/SimWire.h"

#include <algorithm>

namespace oriole::sim {

ClockTime CSimWire::ByteTime() const {
    if (!m_timing) return ClockTime{0};
    return ClockTime{10LL * 1000000000LL / m_baud};
}

ClockTime CSimWire::HostToBox(ClockTime now) {
    m_hostLineFree = std::max(now, m_hostLineFree) + ByteTime();
    return m_hostLineFree;
}

void CSimWire::BoxToHost(uint8_t byte, ClockTime t) {
    m_boxLineFree = std::max(t, m_boxLineFree) + ByteTime();
    m_inChip.push_back({byte, m_boxLineFree});
}

std::pair<size_t, ClockTime> CSimWire::NextPacket() const {
    const ClockTime first = m_inChip.front().at;
    const ClockTime deadline =
        m_timing ? first + std::chrono::milliseconds(m_latencyMs) : first;
    size_t count = 0;
    while (count < m_inChip.size() && count < kUsbPacketPayload && m_inChip[count].at <= deadline)
        ++count;
    if (count == kUsbPacketPayload) return {count, m_inChip[count - 1].at};
    return {count, deadline};
}

void CSimWire::Deliver(ClockTime now) {
    while (!m_inChip.empty()) {
        const auto [count, at] = NextPacket();
        if (at > now) return;
        for (size_t i = 0; i < count; ++i) {
            m_forHost.push_back(m_inChip.front().byte);
            m_inChip.pop_front();
        }
    }
}

size_t CSimWire::Queued(ClockTime now) {
    Deliver(now);
    return m_forHost.size();
}

size_t CSimWire::Read(std::span<uint8_t> out, ClockTime now) {
    Deliver(now);
    const size_t n = std::min(out.size(), m_forHost.size());
    std::copy_n(m_forHost.begin(), n, out.begin());
    m_forHost.erase(m_forHost.begin(), m_forHost.begin() + static_cast<std::ptrdiff_t>(n));
    return n;
}

std::optional<ClockTime> CSimWire::NextDelivery() const {
    if (!m_forHost.empty()) return ClockTime{0};
    if (m_inChip.empty()) return std::nullopt;
    return NextPacket().second;
}

void CSimWire::StopBoxToHost(ClockTime t) {
    const ClockTime byteTime = ByteTime();
    // A byte reaches the chip one byte time after the box starts sending it.
    while (!m_inChip.empty() && m_inChip.back().at - byteTime > t) m_inChip.pop_back();
    m_boxLineFree = std::min(m_boxLineFree, std::max(t, m_inChip.empty() ? t : m_inChip.back().at));
}

void CSimWire::PurgeArrived(ClockTime now) {
    m_forHost.clear();
    while (!m_inChip.empty() && m_inChip.front().at <= now) m_inChip.pop_front();
}

void CSimWire::Drop() {
    m_inChip.clear();
    m_forHost.clear();
}

}  // namespace oriole::sim
