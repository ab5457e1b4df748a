#pragma once
// oriole-cli's device commands: global options, then one or more commands
// run in order against the writer, as the batch dialog runs its steps.

#include <QStringList>

namespace oriole::cli {

// `args` starts with the first global option or command word.
int RunDeviceBatch(const QStringList& args);

// The command words, for the tool's command table.
bool IsDeviceCommand(const QString& word);

}  // namespace oriole::cli
