#pragma once
// Serial numbers: a number as the bytes a rule stores, and the allocator
// that hands out each number once. The counter file is advanced and synced
// before the number is used, so a crash, a pulled plug or a kill can skip a
// number but never give two chips the same one. Boxes running at once share
// one allocator; other runs on the same counter wait for its folder's lock.
// The counter and list files are reached by their real paths (links
// resolved once), so two names of one file share one lock.
//
// The counter file holds the next number, then, when failed chips gave
// their numbers back (FailedSerial=reuse), a line "free N N ..." of the
// numbers the next chips get first. A list gives a number back by taking
// the used mark off its line. Each number taken is noted in the journal
// (ChipJournal.h) first, and its note leaves when the chip's row is logged.

#include <QString>
#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "production/ChipJournal.h"
#include "production/ProductionJob.h"

namespace oriole {

// The rule's bytes for `value`, in address order; nothing when the value
// does not fit the width in the rule's encoding. The byte order turns the
// binary encodings round (bin, and bcd: two figures a byte); ASCII figures
// (dec, hex) always read left to right, most significant first.
std::optional<std::vector<uint8_t>> EncodeSerial(const SerialRule& rule, uint64_t value);

// One number (or list line) taken for a chip.
struct SerialNumber {
    std::vector<uint8_t> bytes;  // in address order
    QString text;                // as the log shows it: decimal, or the list line
};

class CSerialAllocator {
public:
    // `counterFile` is used when the rule has no list.
    CSerialAllocator(SerialRule rule, QString counterFile);

    // Checks the rule before the first chip: every value from first to last
    // fits (a counter), the counter's number lies on the rule's grid, the
    // list file can be read and holds no number twice. False with the reason.
    [[nodiscard]] bool Check(std::string& error) const;

    // Takes the next number (a number given back first) for the chip on
    // `box`: the journal notes it, then the counter file (or list) is
    // rewritten and synced, folder included, before this returns. False
    // with the reason when the numbers are used up or a file cannot be read
    // or written.
    [[nodiscard]] bool Take(SerialNumber& number, const QString& box, const QString& time,
                            const QString& settingFile, std::string& error);
    [[nodiscard]] bool Take(SerialNumber& number, std::string& error) {
        return Take(number, QStringLiteral("-"), {}, {}, error);
    }

    // The chip on `box` has its row in the log: its journal line goes. With
    // `giveBack` (a failed chip under FailedSerial=reuse) its number is
    // given to a later chip, once.
    [[nodiscard]] bool Finish(const QString& box, const QString& serial, bool giveBack, std::string& error);

    // The journal's lines of runs that died mid-chip (lines of runs still
    // going on are left out). A line whose number was never spent (the run
    // died between the note and the counter) comes with an empty serial: it
    // needs no row. They stay in the journal until Forget, once the rows
    // are logged.
    [[nodiscard]] bool Interrupted(std::vector<JournalEntry>& entries, std::string& error) const;
    [[nodiscard]] bool Forget(const std::vector<JournalEntry>& entries, std::string& error);

    const SerialRule& Rule() const { return m_rule; }
    // The files as used: real paths.
    const QString& NumbersFile() const { return m_rule.listFile.isEmpty() ? m_counterFile : m_rule.listFile; }
    QString JournalFile() const { return JournalFileOf(NumbersFile()); }

    // The number the next Take would give, as the log shows it, without
    // taking it; empty when none is left or the file cannot be read.
    QString Next() const;

private:
    struct Counter;
    [[nodiscard]] bool ReadCounter(Counter& counter, std::string& error) const;
    [[nodiscard]] bool CheckCounter(const Counter& counter, std::string& error) const;
    [[nodiscard]] bool TakeFromCounter(SerialNumber& number, const JournalEntry& note, std::string& error);
    [[nodiscard]] bool TakeFromList(SerialNumber& number, const JournalEntry& note, std::string& error);

    SerialRule m_rule;
    QString m_counterFile;
    std::mutex m_mutex;
};

// The next number of the job's rule, for the window before Start; empty
// without a rule or when none can be given.
QString NextSerialText(const ProductionJob& job);

}  // namespace oriole
