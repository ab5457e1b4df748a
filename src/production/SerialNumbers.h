#pragma once
// Serial numbers: a number as the bytes a rule stores, and the allocator
// that hands out each number once. The counter file is advanced and synced
// before the number is used, so a crash, a pulled plug or a kill can skip a
// number but never give two chips the same one. Boxes running at once share
// one allocator; other runs on the same counter wait for its folder's lock.

#include <QString>
#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "production/ProductionJob.h"

namespace oriole {

// The rule's bytes for `value`, in address order; nothing when the value
// does not fit the width in the rule's encoding.
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
    // fits (a counter), the list file can be read. False with the reason.
    [[nodiscard]] bool Check(std::string& error) const;

    // Takes the next number: the counter file (or list) is rewritten and
    // synced, folder included, before this returns. False with the reason
    // when the numbers are used up or the file cannot be read or written.
    [[nodiscard]] bool Take(SerialNumber& number, std::string& error);

    const SerialRule& Rule() const { return m_rule; }

    // The number the next Take would give, as the log shows it, without
    // taking it; empty when none is left or the file cannot be read.
    QString Next() const;

private:
    [[nodiscard]] bool TakeFromCounter(SerialNumber& number, std::string& error);
    [[nodiscard]] bool TakeFromList(SerialNumber& number, std::string& error);

    SerialRule m_rule;
    QString m_counterFile;
    std::mutex m_mutex;
};

// The next number of the job's rule, for the window before Start; empty
// without a rule or when none can be given.
QString NextSerialText(const ProductionJob& job);

}  // namespace oriole
