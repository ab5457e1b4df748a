#pragma once
// avrdude's options as oriole-cli reads them: getopt's way (values glued or
// separate, flags grouped); each -U read into a request by the avrdude
// library.

#include <QString>
#include <QStringList>
#include <string>

#include "avrdude/AvrdudeRun.h"

namespace oriole::cli {

struct AvrdudeOptions {
    avrdude::RunSettings run;  // -p -e -D -V -n -F -A -q -v and the requests
    std::string writer = "auto";
    std::string trace;  // --trace FILE (long only: avrdude has no such letter to clash with)
    QString logFile;    // -l: the messages go there instead of standard error
};

// Prints "oriole-cli: message" on standard error; returns false.
bool Refuse(const QString& message);

// False after the message (and the usage where it helps).
[[nodiscard]] bool ParseAvrdudeOptions(const QStringList& args, AvrdudeOptions& o);

}  // namespace oriole::cli
