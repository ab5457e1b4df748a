#pragma once
// avrdude's options as oriole-cli reads them: getopt's way (values glued or
// separate, flags grouped), the -U requests, immediate values and the
// value-list output formats.

#include <QString>
#include <QStringList>
#include <cstdint>
#include <string>
#include <vector>

#include "image/ImageFormat.h"
#include "terminal/AvrdudeFiles.h"
#include "terminal/TerminalData.h"

namespace oriole::cli {

using AvrMem = terminal::Memory;

inline constexpr char kFormatOmitted = 0;

// One -U memory:op:file[:format], or a terminal step (-T line, -t), which
// run in the order given.
struct MemOp {
    QString spec;  // as given, for messages
    QString memName;
    AvrMem mem = AvrMem::Flash;
    char op = 'w';  // r, w, v; T a terminal line (in spec), t the interactive terminal
    QString file;   // "-": standard input or output
    char format = kFormatOmitted;
    // memName is no memory's whole name but the start of one or more: as
    // avrdude, the part's memories decide which it names (`mem` is the
    // match among every part's names, if there is only one).
    bool prefix = false;
};

struct AvrdudeOptions {
    int deviceRow = 0;  // 0: whatever the signature says
    QString part;
    std::string writer = "auto";
    std::string trace;  // --trace FILE (long only: avrdude has no such letter to clash with)
    bool erase = false;
    bool noAutoErase = false;
    bool noVerify = false;
    bool dryRun = false;
    bool force = false;
    bool keepTrailingFF = false;  // -A: FLASH reads keep their trailing 0xFF bytes
    QString logFile;              // -l: the messages go there instead of standard error
    int verbosity = 0;  // -q lowers it, -v raises it
    std::vector<MemOp> ops;
};

inline bool IsTerminalStep(const MemOp& op) { return op.op == 'T' || op.op == 't'; }

// Prints "oriole-cli: message" on standard error; returns false.
bool Refuse(const QString& message);

// False after the message (and the usage where it helps).
[[nodiscard]] bool ParseAvrdudeOptions(const QStringList& args, AvrdudeOptions& o);

// The bytes of an m value (`comments` false) or of an h, d, o, b or R file:
// avrdude reads them all alike, as the terminal's data items (C numbers with
// their base by prefix, characters, strings); warnings go to standard error.
[[nodiscard]] bool ParseDataItems(const QByteArray& text, bool comments, std::vector<uint8_t>& out);

// The terminal's data items as the loader reads value lists (h, d, o, b, R
// files, and files found to be such by their content).
ValueListParser DataItemParser();

// avrdude's output files (value lists, Intel HEX, S-records), as the
// terminal's save writes them too.
using terminal::AvrdudeIntelHex;
using terminal::AvrdudeSRecord;
using terminal::FormatValues;

// The text of an avrdude I file made strict: what follows a record (a comment)
// dropped, and every record's checksum set right, as avrdude tolerates them.
QByteArray StrictIntelHex(const QByteArray& text);

}  // namespace oriole::cli
