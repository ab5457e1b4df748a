#pragma once
// The simulated writer box as a driver sees it: a byte stream with the
// box's timing, the box firmware with its emulated target behind it, the
// configured faults, and a transcript of every byte both ways. The in-process
// "sim" backend, the fake D2XX library of the tests and oriole-sim on a
// pseudo-terminal all drive one of these.

#include <array>
#include <deque>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "host/Clock.h"
#include "link/sim/SimConfig.h"
#include "link/sim/SimFirmware.h"
#include "link/sim/SimTarget.h"
#include "link/sim/SimWire.h"

namespace oriole::sim {

// D2XX's codes for a box that is not there and a transfer that failed.
inline constexpr uint32_t kStatusDeviceNotFound = 2;
inline constexpr uint32_t kStatusIoError = 4;

struct TranscriptEntry {
    bool toBox;                  // true: host -> box, false: box -> host
    std::vector<uint8_t> bytes;
};

// The traffic both ways, the most recent part of it: a box that serves run
// after run (oriole-sim, the application on "sim") must not keep every byte
// it ever saw. Entries are dropped from the front once the memory they take
// passes the limit, which is far more than the tests look at in one go.
class CSimTranscript {
public:
    explicit CSimTranscript(size_t limit = kDefaultTranscriptLimit) : m_limit(limit) {}
    void Add(bool toBox, std::span<const uint8_t> bytes);
    void Clear() {
        m_entries.clear();
        m_bytes = 0;
    }
    const std::deque<TranscriptEntry>& Entries() const { return m_entries; }
    // The memory the entries take, as counted against the limit.
    size_t Bytes() const { return m_bytes; }
    size_t Limit() const { return m_limit; }
    // One line per entry: "> 54 03 03" for what the host sent, "< 94" for
    // what the box answered.
    std::vector<std::string> Lines() const;
    // Everything the host sent, in order.
    std::vector<uint8_t> ToBox() const;

private:
    static size_t Cost(const TranscriptEntry& e) { return sizeof e + 16 + e.bytes.size(); }

    std::deque<TranscriptEntry> m_entries;
    size_t m_bytes = 0;
    size_t m_limit;
};

std::string HexBytes(std::span<const uint8_t> bytes);  // "54 03 03"

class CSimBox {
public:
    CSimBox(const SimConfig& config, IClock& clock);

    // A driver call of this kind is being made: counts it and returns the
    // status a fault or a pulled plug gives it (0 when none).
    uint32_t Call(DriverCall call);
    int CallCount(DriverCall call) const { return m_callCounts[static_cast<size_t>(call)]; }
    // Configuration calls with their arguments ("baud 38400"), for tests;
    // the most recent ones.
    void LogCall(std::string entry);
    const std::vector<std::string>& CallLog() const { return m_callLog; }

    // The host's latency request; a box told its own latency keeps that.
    void SetLatency(uint8_t milliseconds) {
        if (!m_config.latencyMs) m_wire.SetLatency(milliseconds);
    }
    void SetBaud(uint32_t baud) { m_wire.SetBaud(baud); }

    // Host side of the byte stream, at the clock's present time.
    void HostWrite(std::span<const uint8_t> bytes);
    size_t Queued();
    size_t HostRead(std::span<uint8_t> out);
    // When more bytes reach the host if nothing else is sent; empty when none
    // are on their way.
    std::optional<ClockTime> NextDelivery() const;

    bool Connected() const { return m_connected; }
    // The host's purge of the receive side: what has reached the host's
    // driver or waits in the USB chip is gone; bytes still on the line are not.
    void PurgeReceived() { m_wire.PurgeArrived(m_clock.Now()); }
    // How many chips have been put in since the first (config.swap).
    int ChipsSwapped() const { return m_swapped; }
    // Takes the chip out and puts the next one in as config.swap says, at
    // the clock's present time. Every driver call does this; a box served
    // on a pseudo-terminal, which sees no driver calls, does it for each
    // piece of the host's traffic.
    void FollowTray();

    // Drops every byte on its way to the host: a host that has gone away
    // reads none of them, and the next one must not.
    void DropOutgoing() { m_wire.Drop(); }

    IClock& Clock() { return m_clock; }
    CSimTarget& Target() { return m_target; }
    const CSimFirmware& Firmware() const { return m_firmware; }
    SimFaults& Faults() { return m_config.faults; }
    const SimConfig& Config() const { return m_config; }
    CSimTranscript& Transcript() { return m_transcript; }

private:
    // A new chip on the socket, the `number`-th put in (from 1), bad or good
    // as the faults say.
    CSimTarget NewChip(int number) const;

    SimConfig m_config;
    IClock& m_clock;
    CSimTarget m_target;
    CSimWire m_wire;
    CSimTranscript m_transcript;
    CSimFirmware m_firmware;
    std::array<int, static_cast<size_t>(DriverCall::Count)> m_callCounts{};
    std::vector<std::string> m_callLog;
    int64_t m_hostBytes = 0;
    bool m_connected = true;
    ClockTime m_putInAt{0};                // when the chip on the socket was put in
    std::optional<ClockTime> m_changedAt;  // its first erase or write
    std::optional<ClockTime> m_insertAt;   // the socket is empty until then
    std::optional<int> m_emptyLooksBefore; // the next chip waits for the box to find the socket empty
    int m_swapped = 0;
};

}  // namespace oriole::sim
