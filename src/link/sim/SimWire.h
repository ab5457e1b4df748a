#pragma once
// The timing of the path between the host and the box firmware: each byte
// takes ten bit times on the serial line, and bytes for the host gather in
// the USB chip until a packet is full (62 bytes) or the latency timer runs
// out, as an FTDI chip does. With timing off every byte is there at once.

#include <cstdint>
#include <deque>
#include <optional>
#include <span>

#include "host/Clock.h"

namespace oriole::sim {

inline constexpr size_t kUsbPacketPayload = 62;

class CSimWire {
public:
    void SetTiming(bool on) { m_timing = on; }
    void SetBaud(uint32_t baud) { m_baud = baud == 0 ? 1 : baud; }
    void SetLatency(uint8_t milliseconds) { m_latencyMs = milliseconds; }
    bool Timing() const { return m_timing; }

    // Ten bit times at the current baud rate (0 with timing off).
    ClockTime ByteTime() const;

    // The host sends a byte at `now`; returns when the box has it.
    ClockTime HostToBox(ClockTime now);

    // The box starts sending a byte at `t`.
    void BoxToHost(uint8_t byte, ClockTime t);

    // Bytes the host can read at `now`.
    size_t Queued(ClockTime now);
    size_t Read(std::span<uint8_t> out, ClockTime now);

    // When the next USB packet reaches the host, if nothing else is sent;
    // empty when no byte is on its way.
    std::optional<ClockTime> NextDelivery() const;

    // Drops what reached the chip or the host by `now` (a purge).
    void PurgeArrived(ClockTime now);

    // Drops everything on its way (the box was unplugged).
    void Drop();

    // The box stops sending at `t`: bytes it had not put on the line by
    // then are never sent.
    void StopBoxToHost(ClockTime t);

private:
    struct TimedByte {
        uint8_t byte;
        ClockTime at;  // when it reached the USB chip
    };
    // The next packet: how many bytes and when it leaves the chip.
    std::pair<size_t, ClockTime> NextPacket() const;
    void Deliver(ClockTime now);

    bool m_timing = true;
    uint32_t m_baud = 38400;
    uint8_t m_latencyMs = 16;
    ClockTime m_hostLineFree{0};
    ClockTime m_boxLineFree{0};
    std::deque<TimedByte> m_inChip;
    std::deque<uint8_t> m_forHost;
};

}  // namespace oriole::sim
