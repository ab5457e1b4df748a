#include "link/sim/SimConfig.h"

#include <charconv>

#include "devices/Devices.h"
#include "devices/PartNames.h"

namespace oriole::sim {

namespace {

constexpr std::string_view kCallNames[] = {"open", "latency", "flow", "baud", "data",
                                           "dtr",  "write",   "queue", "read", "close", "purge"};
static_assert(std::size(kCallNames) == static_cast<size_t>(DriverCall::Count));

std::vector<std::string_view> Split(std::string_view text, char separator) {
    std::vector<std::string_view> parts;
    while (true) {
        const size_t at = text.find(separator);
        parts.push_back(text.substr(0, at));
        if (at == std::string_view::npos) return parts;
        text.remove_prefix(at + 1);
    }
}

template <typename T>
bool ParseNumber(std::string_view text, T& value, int base = 10) {
    const auto* end = text.data() + text.size();
    const auto result = std::from_chars(text.data(), end, value, base);
    return !text.empty() && result.ec == std::errc() && result.ptr == end;
}

// Decimal, or hexadecimal after 0x.
template <typename T>
bool ParseAnyBase(std::string_view text, T& value) {
    if (text.starts_with("0x") || text.starts_with("0X")) return ParseNumber(text.substr(2), value, 16);
    return ParseNumber(text, value);
}

// "flash:ADDR[:VALUE]" or "eeprom:ADDR[:VALUE]".
bool ParseStuckCell(std::string_view text, StuckCell& cell) {
    const std::vector<std::string_view> parts = Split(text, ':');
    if (parts.size() < 2 || parts.size() > 3) return false;
    if (parts[0] != "flash" && parts[0] != "eeprom") return false;
    cell.eeprom = parts[0] == "eeprom";
    if (!ParseAnyBase(parts[1], cell.address)) return false;
    if (parts.size() == 3) {
        uint8_t value = 0;
        if (!ParseAnyBase(parts[2], value)) return false;
        cell.value = value;
    }
    return true;
}

// A command is named by its letter ("F") or its byte in hex ("0x46").
bool ParseCommand(std::string_view text, uint8_t& command) {
    if (text.size() == 1 && text[0] >= 'A' && text[0] <= 'Z') {
        command = static_cast<uint8_t>(text[0]);
        return true;
    }
    return text.starts_with("0x") && ParseNumber(text.substr(2), command, 16);
}

bool ParseCallFault(std::string_view text, CallFault& fault) {
    std::string_view status;
    if (const size_t colon = text.find(':'); colon != std::string_view::npos) {
        status = text.substr(colon + 1);
        text = text.substr(0, colon);
        if (!ParseNumber(status, fault.status)) return false;
    }
    if (const size_t hash = text.find('#'); hash != std::string_view::npos) {
        if (!ParseNumber(text.substr(hash + 1), fault.nth) || fault.nth < 1) return false;
        text = text.substr(0, hash);
    }
    for (size_t i = 0; i < std::size(kCallNames); ++i) {
        if (kCallNames[i] == text) {
            fault.call = static_cast<DriverCall>(i);
            return true;
        }
    }
    return false;
}

bool ParseOption(std::string_view key, std::string_view value, bool hasValue, SimConfig& config) {
    SimFaults& f = config.faults;
    if (key == "fast" && !hasValue) return config.timing = false, true;
    if (key == "refuse" && !hasValue) return f.refuseProgramming = true, true;
    if (key == "none" && !hasValue) return config.deviceRow = 0, true;
    if (!hasValue) return false;
    if (key == "timing") {
        if (value != "on" && value != "off") return false;
        config.timing = value == "on";
        return true;
    }
    if (key == "mute") {
        SimFaults::Mute mute;
        const size_t hash = value.find('#');
        if (hash != std::string_view::npos &&
            (!ParseNumber(value.substr(hash + 1), mute.piece) || mute.piece < 1))
            return false;
        if (!ParseCommand(value.substr(0, hash), mute.command)) return false;
        f.mute.push_back(mute);
        return true;
    }
    uint8_t command = 0;
    if (key == "wrongack") return ParseCommand(value, command) && (f.wrongAck.push_back(command), true);
    if (key == "short") return ParseCommand(value, command) && (f.shortReply.push_back(command), true);
    if (key == "dup") return ParseCommand(value, command) && (f.duplicated.push_back(command), true);
    if (key == "late") return ParseCommand(value, command) && (f.late.push_back(command), true);
    if (key == "fail") {
        CallFault fault;
        return ParseCallFault(value, fault) && (f.callFaults.push_back(fault), true);
    }
    if (key == "slow") return ParseNumber(value, f.answerDelayMs) && f.answerDelayMs >= 0;
    if (key == "swap") {
        const std::vector<std::string_view> parts = Split(value, ':');
        ChipSwap& swap = config.swap;
        return (parts.size() == 2 || parts.size() == 3) && ParseNumber(parts[0], swap.holdMs) &&
               ParseNumber(parts[1], swap.gapMs) && (parts.size() == 2 || ParseNumber(parts[2], swap.waitMs)) &&
               swap.holdMs >= 0 && swap.gapMs >= 0 && swap.waitMs >= 0;
    }
    if (key == "stuck") {
        StuckCell cell;
        return ParseStuckCell(value, cell) && (f.stuck.push_back(cell), true);
    }
    if (key == "misread") {
        SimFaults::Misread misread;
        const size_t hash = value.find('#');
        return hash != std::string_view::npos && ParseCommand(value.substr(0, hash), misread.command) &&
               ParseNumber(value.substr(hash + 1), misread.nth) && misread.nth >= 1 &&
               (f.misread.push_back(misread), true);
    }
    if (key == "latency") {
        int ms = 0;
        if (!ParseNumber(value, ms) || ms < 1 || ms > 255) return false;
        config.latencyMs = static_cast<uint8_t>(ms);
        return true;
    }
    if (key == "bad") return ParseNumber(value, f.badEvery) && f.badEvery >= 1;
    if (key == "disconnect") return ParseNumber(value, f.disconnectAfter) && f.disconnectAfter >= 0;
    if (key == "signature") {
        uint32_t bytes = 0;
        if (value.size() != 6 || !ParseNumber(value, bytes, 16)) return false;
        f.signature = std::array<uint8_t, 3>{static_cast<uint8_t>(bytes >> 16),
                                             static_cast<uint8_t>(bytes >> 8),
                                             static_cast<uint8_t>(bytes)};
        return true;
    }
    return false;
}

bool IsOptionWord(std::string_view word) {
    return word.find('=') != std::string_view::npos || word == "fast" || word == "refuse" ||
           word == "none";
}

}  // namespace

std::string_view DriverCallName(DriverCall call) {
    const auto index = static_cast<size_t>(call);
    return index < std::size(kCallNames) ? kCallNames[index] : std::string_view("?");
}

std::optional<SimConfig> ParseSimOptions(std::string_view text, std::string& error) {
    SimConfig config;
    config.deviceRow = FindDeviceByName(kDefaultSimDevice);
    std::vector<std::string_view> words = text.empty() ? std::vector<std::string_view>{} : Split(text, ',');
    size_t first = 0;
    if (!words.empty() && !IsOptionWord(words[0])) {
        config.deviceRow = FindDeviceByPartName(words[0]);
        if (config.deviceRow == 0) {
            error = "unknown device \"" + std::string(words[0]) + "\"";
            return std::nullopt;
        }
        first = 1;
    }
    for (size_t i = first; i < words.size(); ++i) {
        const size_t eq = words[i].find('=');
        const bool hasValue = eq != std::string_view::npos;
        const std::string_view key = words[i].substr(0, eq);
        const std::string_view value = hasValue ? words[i].substr(eq + 1) : std::string_view();
        if (!ParseOption(key, value, hasValue, config)) {
            error = "bad option \"" + std::string(words[i]) + "\"";
            return std::nullopt;
        }
    }
    return config;
}

}  // namespace oriole::sim
