// File-dialog filters from the program's "desc|patterns|" form to Qt's.

#include <gtest/gtest.h>

#include "views/FileFilters.h"

namespace oriole {
namespace {

TEST(FileFilters, PipeListsBecomeQtNameFilters) {
    struct Row {
        const char* pipeList;
        QStringList expected;
    };
    const Row rows[] = {
        {"FLASH ファイル (*.hex;*.srec;*.mot)|*.hex;*.srec;*.mot|すべてのファイル (*.*)|*.*|",
         {"FLASH ファイル (*.hex *.srec *.mot)", "すべてのファイル (*)"}},
        {"設定ファイル (*.set)|*.set|すべてのファイル (*.*)|*.*|",
         {"設定ファイル (*.set)", "すべてのファイル (*)"}},
        // Blanks around patterns, empty pieces, no trailing bar.
        {"Fuse (*.fus)| *.fus ; ;*.FUS", {"Fuse (*.fus *.FUS)"}},
        // A description without its own pattern list gets one.
        {"EEPROM|*.eep|", {"EEPROM (*.eep)"}},
        // A blank pattern setting still lets the user browse.
        {"FLASH ファイル ()||すべてのファイル (*.*)|*.*|",
         {"FLASH ファイル (*)", "すべてのファイル (*)"}},
        // A description without a pattern after it is dropped.
        {"A (*.a)|*.a|B (*.b)|", {"A (*.a)"}},
        {"", {}},
        {"|", {}},
    };
    for (const Row& r : rows) {
        EXPECT_EQ(NameFiltersFromPipeList(QString::fromUtf8(r.pipeList)), r.expected) << r.pipeList;
    }
}

TEST(FileFilters, DataFileDialogsOfferElfAndBinaryAndSavesNoElf) {
    const QString patterns = QStringLiteral("*.hex;*.mot");
    EXPECT_EQ(NameFiltersFromPipeList(DataFileFilter("FLASH ファイル (", patterns)),
              (QStringList{"FLASH ファイル (*.hex *.mot)", "ELF (*.elf)", "バイナリ (*.bin)",
                           "すべてのファイル (*)"}));
    EXPECT_EQ(NameFiltersFromPipeList(DataFileFilter("EEPROM ファイル (", patterns, true)),
              (QStringList{"EEPROM ファイル (*.hex *.mot)", "バイナリ (*.bin)", "すべてのファイル (*)"}));
}

TEST(FileFilters, TheChosenFilterIsFoundByIndex) {
    const QStringList filters = NameFiltersFromPipeList(
        QStringLiteral("設定ファイル (*.set)|*.set|すべてのファイル (*.*)|*.*|"));
    EXPECT_EQ(NameFilterIndex(filters, QStringLiteral("設定ファイル (*.set)")), 0);
    EXPECT_EQ(NameFilterIndex(filters, QStringLiteral("すべてのファイル (*)")), 1);
    EXPECT_EQ(NameFilterIndex(filters, QStringLiteral("設定ファイル (*.SET)")), -1);
    EXPECT_EQ(NameFilterIndex({}, QString()), -1);
}

}  // namespace
}  // namespace oriole
