#pragma once
// Ctrl-C and SIGTERM in oriole-cli. While a device operation waits for the
// box (its host pumps), the first Ctrl-C cancels it as the progress window's
// Cancel does. Anywhere else, or a second time, the tool ends at once: the
// serial ports get their settings back, "中断しました。" goes to standard
// error, and the signal is raised again, so that the shell sees the tool
// interrupted (status 130 for Ctrl-C).

namespace oriole::cli {

void InstallInterruptHandlers();

// The operation host's pump runs: a Ctrl-C in the next moments is a cancel.
void NotePump();

// True once for the Ctrl-C taken as a cancel.
[[nodiscard]] bool TakeCancel();

}  // namespace oriole::cli
