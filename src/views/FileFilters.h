#pragma once
// File-dialog filters: the program builds them as "desc|patterns|desc|patterns|"
// (patterns separated by ';'); Qt's dialogs take a list of "desc (p1 p2)".

#include <QString>
#include <QStringList>

namespace oriole {

// One Qt name filter per description/pattern pair, in order. The patterns
// replace a parenthesised list at the end of the description. A description
// without a pattern after it is dropped. "*.*" matches every file, as the
// program's users expect, so it becomes "*" (Qt's "*.*" wants a dot); an empty
// pattern list becomes "*" too, so a blank setting still lets the user browse.
[[nodiscard]] QStringList NameFiltersFromPipeList(const QString& pipeList);

// The filter of the FLASH and EEPROM file dialogs: `description` (up to its
// "("), the user's patterns, ELF (not when saving: nothing writes one),
// binary, and every file.
[[nodiscard]] QString DataFileFilter(const char* description, const QString& patterns,
                                     bool forSave = false);

// Index of `selected` (QFileDialog::selectedNameFilter()) in `filters`, or -1.
[[nodiscard]] int NameFilterIndex(const QStringList& filters, const QString& selected);

}  // namespace oriole
