#pragma once
// Shared pieces of the command-line tool: the command table and the exit
// statuses.

#include <QCommandLineParser>
#include <QStringList>
#include <cstdio>

namespace oriole::cli {

inline constexpr int kExitOk = 0;
inline constexpr int kExitFailed = 1;  // the operation failed; its message was printed
inline constexpr int kExitUsage = 2;

// One command of the tool. `args` holds the words after the command's name.
struct Command {
    const char* name;
    const char* summary;
    int (*run)(const QStringList& args);
};

// Parses `args` (program name first) with `parser`, which already holds the
// command's options and positional arguments. Adds --help. Returns -1 to go
// on, otherwise the exit status to end with (0 after --help, 2 on a usage
// error, with the message printed).
int ParseCommand(QCommandLineParser& parser, const QStringList& args, int minPositional,
                 int maxPositional);

// Prints to standard error and returns kExitUsage.
int UsageError(const QString& message);

// "123", "0x7B" -> value; false when the text is not a number.
bool ParseUnsigned(const QString& text, uint32_t& value);

int RunDevices(const QStringList& args);
int RunWriters(const QStringList& args);
int RunImage(const QStringList& args);
int RunTrace(const QStringList& args);
int RunDoctor(const QStringList& args);

}  // namespace oriole::cli
