#pragma once
// avrdude's options as oriole-cli reads them: getopt's way (values glued or
// separate, flags grouped), the -U requests, immediate values and the
// value-list output formats.

#include <QString>
#include <QStringList>
#include <cstdint>
#include <string>
#include <vector>

namespace oriole::cli {

enum class AvrMem { Flash, Eeprom, LowFuse, HighFuse, ExtFuse, Lock, Calibration, Signature };

inline constexpr char kFormatOmitted = 0;

// One -U memory:op:file[:format].
struct MemOp {
    QString spec;  // as given, for messages
    QString memName;
    AvrMem mem = AvrMem::Flash;
    char op = 'w';  // r, w, v
    QString file;   // "-": standard input or output
    char format = kFormatOmitted;
};

struct AvrdudeOptions {
    int deviceRow = 0;  // 0: whatever the signature says
    QString part;
    std::string writer = "auto";
    bool erase = false;
    bool noAutoErase = false;
    bool noVerify = false;
    bool dryRun = false;
    bool force = false;
    bool keepTrailingFF = false;  // -A: FLASH reads keep their trailing 0xFF bytes
    int verbosity = 0;  // -q lowers it, -v raises it
    std::vector<MemOp> ops;
};

// Prints "oriole-cli: message" on standard error; returns false.
bool Refuse(const QString& message);

// False after the message (and the usage where it helps).
[[nodiscard]] bool ParseAvrdudeOptions(const QStringList& args, AvrdudeOptions& o);

// "0xD9", "0331" (octal), "217"; several separated by commas or blanks.
[[nodiscard]] bool ParseImmediate(const QString& text, std::vector<uint8_t>& out);

// avrdude's h, d, o and b outputs: the values separated by commas, one line.
std::string FormatValues(const std::vector<uint8_t>& data, char format);

}  // namespace oriole::cli
