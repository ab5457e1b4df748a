#pragma once
// oriole-cli with avrdude's options (-p -c -P -U ...), so that upload recipes
// written for avrdude (the Arduino IDE's platform.txt, PlatformIO's
// upload_command, makefiles) work with only the program name changed. The
// options are read here; the requests become a job in the avrdude library
// (avrdude/AvrdudeRun.h).

#include <QStringList>

namespace oriole::cli {

// A first argument in avrdude's style: one dash and a letter ("-p", "-Uflash:...").
bool IsAvrdudeOption(const QString& word);

// `args` are the words after the program name. Exit status 0 on success, 1 on
// any failure, usage errors included, as avrdude does.
int RunAvrdude(const QStringList& args);

}  // namespace oriole::cli
