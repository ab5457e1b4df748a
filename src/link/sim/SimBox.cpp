#include "link/sim/SimBox.h"

#include <cstdio>

namespace oriole::sim {

void CSimTranscript::Add(bool toBox, std::span<const uint8_t> bytes) {
    if (bytes.empty()) return;
    m_entries.push_back({toBox, {bytes.begin(), bytes.end()}});
    m_bytes += Cost(m_entries.back());
    while (m_bytes > m_limit && m_entries.size() > 1) {
        m_bytes -= Cost(m_entries.front());
        m_entries.pop_front();
    }
}

std::vector<std::string> CSimTranscript::Lines() const {
    std::vector<std::string> lines;
    for (const auto& e : m_entries) lines.push_back((e.toBox ? "> " : "< ") + HexBytes(e.bytes));
    return lines;
}

std::vector<uint8_t> CSimTranscript::ToBox() const {
    std::vector<uint8_t> out;
    for (const auto& e : m_entries)
        if (e.toBox) out.insert(out.end(), e.bytes.begin(), e.bytes.end());
    return out;
}

std::string HexBytes(std::span<const uint8_t> bytes) {
    std::string out;
    char figures[4];
    for (uint8_t b : bytes) {
        std::snprintf(figures, sizeof figures, "%02X", b);
        if (!out.empty()) out += ' ';
        out += figures;
    }
    return out;
}

CSimBox::CSimBox(const SimConfig& config, IClock& clock)
    : m_config(config),
      m_clock(clock),
      m_target(NewChip(1)),
      m_transcript(config.transcriptLimit),
      m_firmware(m_target, m_config.faults, config.timing,
                 [this](std::span<const uint8_t> bytes, ClockTime t) {
                     m_transcript.Add(false, bytes);
                     for (uint8_t b : bytes) m_wire.BoxToHost(b, t);
                 }) {
    m_wire.SetTiming(config.timing);
    m_wire.SetLatency(config.latencyMs.value_or(kDefaultSimLatencyMs));
    m_putInAt = m_clock.Now();
}

CSimTarget CSimBox::NewChip(int number) const {
    CSimTarget chip(m_config.deviceRow);
    const SimFaults& f = m_config.faults;
    const bool bad = f.badEvery == 0 ? !f.stuck.empty() : number % f.badEvery == 0;
    if (!bad || !chip.IsPresent()) return chip;
    chip.SetStuckCells(f.stuck.empty() ? std::vector<StuckCell>{StuckCell{}} : f.stuck);
    return chip;
}

void CSimBox::FollowTray() {
    const ChipSwap& swap = m_config.swap;
    if (swap.holdMs < 0) return;
    const ClockTime now = m_clock.Now();
    if (m_emptyLooksBefore) {
        if (m_firmware.EmptyLooks() == *m_emptyLooksBefore) return;
        m_emptyLooksBefore.reset();
        m_insertAt = now + std::chrono::milliseconds(swap.gapMs);
    }
    if (m_insertAt) {
        if (now < *m_insertAt) return;
        ++m_swapped;
        m_target = NewChip(m_swapped + 1);
        m_insertAt.reset();
        m_putInAt = now;
        return;
    }
    if (!m_changedAt) {
        if (m_target.Changes() > 0) {
            m_changedAt = now;
        } else if (now - m_putInAt >= std::chrono::milliseconds(swap.waitMs)) {
            // Left alone: taken out, and the next one waits for the box to ask.
            m_target = CSimTarget(0);
            m_emptyLooksBefore = m_firmware.EmptyLooks();
        }
        return;
    }
    if (now - *m_changedAt < std::chrono::milliseconds(swap.holdMs)) return;
    m_target = CSimTarget(0);
    m_changedAt.reset();
    m_insertAt = now + std::chrono::milliseconds(swap.gapMs);
}

void CSimBox::LogCall(std::string entry) {
    // Some seven calls a run: thousands of runs before the oldest half goes.
    constexpr size_t kKept = 8192;
    if (m_callLog.size() >= kKept) m_callLog.erase(m_callLog.begin(), m_callLog.begin() + kKept / 2);
    m_callLog.push_back(std::move(entry));
}

uint32_t CSimBox::Call(DriverCall call) {
    FollowTray();
    const int count = ++m_callCounts[static_cast<size_t>(call)];
    if (!m_connected) return call == DriverCall::Open ? kStatusDeviceNotFound : kStatusIoError;
    for (const CallFault& f : m_config.faults.callFaults)
        if (f.call == call && (f.nth == 0 || f.nth == count)) return f.status;
    return 0;
}

void CSimBox::HostWrite(std::span<const uint8_t> bytes) {
    if (!m_connected) return;
    const int64_t limit = m_config.faults.disconnectAfter;
    if (limit >= 0 && m_hostBytes + static_cast<int64_t>(bytes.size()) >= limit) {
        // The plug comes out after the limit: what got through still counts.
        bytes = bytes.first(static_cast<size_t>(limit - m_hostBytes));
        m_connected = false;
    }
    m_transcript.Add(true, bytes);
    const ClockTime now = m_clock.Now();
    for (uint8_t b : bytes) {
        ++m_hostBytes;
        const ClockTime arrival = m_wire.HostToBox(now);
        // The firmware ends a reply still going out when the host speaks:
        // the host only does so once it has given up on the reply.
        m_wire.StopBoxToHost(arrival);
        m_firmware.Receive(b, arrival);
    }
    if (!m_connected) m_wire.Drop();
}

size_t CSimBox::Queued() { return m_connected ? m_wire.Queued(m_clock.Now()) : 0; }

size_t CSimBox::HostRead(std::span<uint8_t> out) {
    return m_connected ? m_wire.Read(out, m_clock.Now()) : 0;
}

std::optional<ClockTime> CSimBox::NextDelivery() const {
    if (!m_connected) return std::nullopt;
    return m_wire.NextDelivery();
}

}  // namespace oriole::sim
