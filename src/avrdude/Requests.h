#pragma once
// The requests of avrdude's command line as values: a -U memory:op:file[:format]
// read into a Request, a -T line or -t kept in their place among them, the
// refusals of the form as a cause and one line, and the data items of an m
// value or a value-list file.

#include <QByteArray>
#include <QString>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "avrdude/TerminalData.h"
#include "host/MessageHost.h"
#include "image/ImageFormat.h"

namespace oriole::avrdude {

inline constexpr char kFormatOmitted = 0;

// One -U memory:op:file[:format], or a terminal step (-T line, -t), which
// run in the order given.
struct Request {
    QString spec;  // as given, for messages
    QString memName;
    Memory mem = Memory::Flash;
    char op = 'w';  // r, w, v; T a terminal line (in spec), t the interactive terminal
    QString file;   // "-": standard input or output
    char format = kFormatOmitted;
    // memName is no memory's whole name but the start of one or more: as
    // avrdude, the part's memories decide which it names (`mem` is the
    // match among every part's names, if there is only one).
    bool prefix = false;

    bool operator==(const Request&) const = default;
};

inline bool IsTerminalStep(const Request& r) { return r.op == 'T' || r.op == 't'; }

// Why the form refuses a command line or a request, before or during the
// run: a cause a caller can decide by, and the one line it prints.
struct Refusal {
    Cause cause = Cause::None;
    std::string message;
    explicit operator bool() const { return cause != Cause::None; }
};

// A -U's text as a request; a refusal for a text the form cannot read.
[[nodiscard]] Refusal ParseRequest(const QString& text, Request& request);
// A -T line or -t in its place among the requests.
Request TerminalRequest(const QString& line, char op);

// The bytes of an m value (`comments` false) or of an h, d, o, b or R file:
// avrdude reads them all alike, as the terminal's data items (C numbers with
// their base by prefix, characters, strings). Warnings go to `warnings`.
[[nodiscard]] Refusal ParseDataItems(const QByteArray& text, bool comments, std::vector<uint8_t>& out,
                                     std::FILE* warnings);

// The terminal's data items as the loader reads value lists (h, d, o, b, R
// files, and files found to be such by their content).
ValueListParser DataItemParser();

// The text of an avrdude I file made strict: what follows a record (a comment)
// dropped, and every record's checksum set right, as avrdude tolerates them.
QByteArray StrictIntelHex(const QByteArray& text);

}  // namespace oriole::avrdude
