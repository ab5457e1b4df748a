#pragma once
// What a simulated writer box is made of: the device on its socket, whether
// it keeps real time, and the faults it is told to show. Built from the
// option text of "--writer=sim:..." or of oriole-sim's command line, or
// filled in directly by tests.

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace oriole::sim {

// The driver calls a fault can make fail.
enum class DriverCall { Open, Latency, Flow, Baud, Data, Dtr, Write, Queue, Read, Close, Purge, Count };

std::string_view DriverCallName(DriverCall call);

struct CallFault {
    DriverCall call = DriverCall::Open;
    int nth = 0;             // 1-based call of that kind; 0 = every call
    uint32_t status = 4;     // FT_IO_ERROR unless told otherwise
};

// A memory cell of a bad chip that does not keep what is written: it reads
// `value` whatever was written, or without a value the inverse of what the
// cell holds (0x00 when erased), so that any byte written there fails the
// verify.
struct StuckCell {
    bool eeprom = false;
    uint32_t address = 0;          // byte address
    std::optional<uint8_t> value;
};

struct SimFaults {
    // No answer to a command at all (piece 0), or from the n-th 32-byte piece
    // of its data on, counted since power-up (piece n >= 1).
    struct Mute {
        uint8_t command = 0;
        int piece = 0;
    };
    std::vector<Mute> mute;
    std::vector<uint8_t> wrongAck;                 // these commands answer a wrong byte
    bool refuseProgramming = false;                // A answers 0xFE
    std::vector<uint8_t> shortReply;               // data replies lose their last byte
    std::vector<uint8_t> duplicated;               // the answer's last byte comes twice
    std::vector<uint8_t> late;                     // the answer comes after the host gave up
    int answerDelayMs = 0;                         // every answer comes this much later
    std::vector<CallFault> callFaults;
    int64_t disconnectAfter = -1;                  // host bytes until the box is gone
    std::optional<std::array<uint8_t, 3>> signature;  // answer to C instead of the device's
    // Bad chips: the cells that fail, and which chips have them. badEvery 0:
    // every chip; N: the N-th, 2N-th, ... chip put in (the first chip is 1).
    // A badEvery without cells makes FLASH byte 0 the stuck one.
    std::vector<StuckCell> stuck;
    int badEvery = 0;
    // A loose contact: the n-th answer to a command (counted since power-up,
    // from 1) comes once with every data byte inverted; the chip keeps what
    // it holds, and the next answer is right again.
    struct Misread {
        uint8_t command = 0;
        int nth = 0;
    };
    std::vector<Misread> misread;
};

// A tray of chips on the socket, one after another, as an operator handles
// them: a chip stays `hold` after it was first changed (erased, or written:
// FLASH, EEPROM, fuses, lock bits), is then taken out, and `gap` later a new
// blank one of the same device is put in. A chip put in while a job runs gets
// whatever the rest of the job writes, and is taken out `hold` after that.
// A chip nothing is written to within `wait` of being put in (put in after
// the job's last write, or one the box has failed and waits to see removed)
// is taken out then, and the next one put in `gap` after the box has found
// the socket empty, as an operator waits for the prompt to insert one.
// A negative hold: the chip stays for good.
struct ChipSwap {
    int64_t holdMs = -1;
    int64_t gapMs = 0;
    // Long enough that a slow host (a sanitizer's build, many boxes on few
    // cores) gets from the chip's detection to its first write in time.
    int64_t waitMs = 5000;
};

// The transcript's memory, far more than one operation on the largest device
// takes (a 256 KB FLASH write is some 1.5 MB of entries).
inline constexpr size_t kDefaultTranscriptLimit = size_t{4} << 20;

// The USB chip's latency timer until the host sets its own: what the host
// asks for at its default USB timing. A box served on a pseudo-terminal keeps
// it, since a terminal carries no latency request.
inline constexpr uint8_t kDefaultSimLatencyMs = 2;

struct SimConfig {
    int deviceRow = 0;      // catalogue row; 0 = no target
    bool timing = true;     // real-time model of baud rate, USB latency, programming
    // The latency timer the USB chip keeps whatever the host asks for, as
    // FTDI's kernel driver does when its latency_timer cannot be written;
    // empty: the host's request (kDefaultSimLatencyMs until it makes one).
    std::optional<uint8_t> latencyMs;
    SimFaults faults;
    size_t transcriptLimit = kDefaultTranscriptLimit;  // memory the transcript keeps at most
    ChipSwap swap;
};

// Default device of a box when the option text names none.
inline constexpr char kDefaultSimDevice[] = "ATmega328P";

// Parses "[DEVICE][,option...]" (the text after "sim:"). Options:
//   timing=on|off, fast (= timing=off), none (no target), latency=MS (1..255),
//   mute=CMD[#PIECE], wrongack=CMD, refuse, short=CMD, dup=CMD, late=CMD, slow=MS,
//   fail=CALL[#N][:STATUS]  (CALL: open latency flow baud data dtr write queue read close purge),
//   disconnect=BYTES, signature=XXXXXX (six hex figures),
//   swap=HOLD:GAP[:WAIT] (milliseconds; see ChipSwap),
//   stuck=flash|eeprom:ADDR[:VALUE] (see StuckCell), bad=N (see SimFaults),
//   misread=CMD#N (see SimFaults).
// Numbers are decimal or hexadecimal with 0x.
// On failure returns nothing and describes the problem in `error`.
std::optional<SimConfig> ParseSimOptions(std::string_view text, std::string& error);

}  // namespace oriole::sim
