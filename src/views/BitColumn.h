#pragma once
// One column of a bit dialog: eight push-like bit buttons, their name labels
// and the box that shows the byte. The fuse dialog has three of these, the
// lock dialog one. A pressed button is a programmed bit (value 0) and reads
// "0"; a released one reads "1". Which bits exist comes from the device's
// name indices: a bit without a name can be neither pressed nor released.

#include <QString>
#include <array>
#include <cstdint>
#include <functional>

class QAbstractButton;

namespace oriole {

class CControls;

// Control ids of a column, bit 0 first.
struct BitColumnIds {
    std::array<int, 8> buttons;
    std::array<int, 8> labels;
    int edit;
};

// The name of entry `index` of a bit-name table ("" for 0).
using BitNameFn = const char* (*)(int index);

class CBitColumn {
public:
    // The controls must exist in `controls`; the column keeps their captions
    // in step with their pressed state from now on.
    CBitColumn(CControls& controls, const BitColumnIds& ids);

    // Labels "%d: %s" from the name indices (bit 0 first). A bit named by
    // `pinnedIndex` is shown pressed and cannot be changed; a bit without a
    // name is released and cannot be changed; every other bit is enabled.
    // pinnedIndex 0: no bit is pinned.
    void FillNames(const std::array<int32_t, 8>& indices, BitNameFn name, int32_t pinnedIndex);

    // The named bits follow `value` (pressed where its bit is 0); unnamed
    // and pinned bits keep their state. The byte box is not touched.
    void SetFromValue(uint8_t value);

    // 0xFF with the pressed bits cleared.
    [[nodiscard]] uint8_t Value() const;
    // Shows Value() as "%02X" in the byte box.
    void ShowValue();

    // The byte box's text, exactly as it stands, and a text put in unchanged.
    [[nodiscard]] QString Text() const;
    void SetText(const QString& text);
    // The box's text read as a byte (hexadecimal, leniently).
    [[nodiscard]] uint8_t TextValue() const;

    [[nodiscard]] QAbstractButton* Button(int bit) const {
        return m_buttons[static_cast<size_t>(bit)];
    }
    [[nodiscard]] int32_t NameIndex(int bit) const { return m_indices[static_cast<size_t>(bit)]; }

    // Calls `onClick(button)` after the user toggled one of the bit buttons.
    void OnClicked(const std::function<void(QAbstractButton*)>& onClick);

private:
    CControls& m_controls;
    BitColumnIds m_ids;
    std::array<QAbstractButton*, 8> m_buttons{};
    std::array<int32_t, 8> m_indices{};
    int32_t m_pinned = 0;
};

// The caption a bit button shows in this state.
[[nodiscard]] QString BitCaption(bool pressed);

}  // namespace oriole
