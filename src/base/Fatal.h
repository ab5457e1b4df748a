#pragma once
// The last word of a program that cannot go on: an exception nobody handled
// (memory that ran out, anything else) ends it with one line on standard
// error and a status of its own, never with a bare abort and no word.

namespace oriole {

// From now on an exception that reaches std::terminate (one thrown through
// a noexcept function, or out of a thread) prints "program: why" and ends
// the program with `status`. `program` must live as long as the program.
void InstallFatalHandlers(const char* program, int status);

// In the program's top-level catch (...): prints the same line for the
// exception being handled and returns the status to end with.
[[nodiscard]] int ReportFatal();

}  // namespace oriole
