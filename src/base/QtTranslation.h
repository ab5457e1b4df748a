#pragma once
// Qt's own texts in Japanese: the buttons of message boxes, the labels of the
// file dialogs, the command-line parser's usage lines. The program speaks
// Japanese whatever the session's language, so the translation is loaded
// unconditionally; it comes from Qt's translations folder (Debian:
// qt6-translations-l10n).

class QCoreApplication;
class QString;

namespace oriole {

// Installs Qt's Japanese translation into `app` (which owns it afterwards).
// False when the translation is not installed: Qt's texts stay English.
bool InstallQtJapanese(QCoreApplication& app);

// The file InstallQtJapanese loads.
[[nodiscard]] QString QtJapaneseTranslationPath();

}  // namespace oriole
