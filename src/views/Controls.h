#pragma once
// The controls of one built dialog, reached by their resource ids, so that
// handlers read like the resource: Text(1007), IsChecked(1109), Enable(1019).

#include <QHash>
#include <QString>
#include <QVariant>
#include <vector>

#include "res/DialogTypes.h"
#include "views/DialogUnits.h"

class QAbstractButton;
class QButtonGroup;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QProgressBar;
class QScrollBar;
class QSlider;
class QWidget;

namespace oriole {

class CDialogBuilder;

class CControls {
public:
    struct Entry {
        const res::ControlDef* def = nullptr;
        QWidget* widget = nullptr;
        QButtonGroup* radioGroup = nullptr;  // radio buttons only
    };

    CControls() = default;
    CControls(const CControls&) = delete;
    CControls& operator=(const CControls&) = delete;

    // The widget of a control, or nullptr when the dialog has no such id.
    [[nodiscard]] QWidget* Control(int id) const;
    // The table row a control was built from, or nullptr.
    [[nodiscard]] const res::ControlDef* Definition(int id) const;
    // Every control, unnamed ones included, in table order.
    [[nodiscard]] const std::vector<Entry>& All() const { return m_all; }
    // The dialog units to pixels scale the controls were placed with.
    [[nodiscard]] const DialogScale& Scale() const { return m_scale; }

    // Typed access; nullptr when the id is missing or of another kind.
    [[nodiscard]] QAbstractButton* Button(int id) const;  // push buttons, check and radio boxes
    [[nodiscard]] QLineEdit* LineEdit(int id) const;      // one-line edits
    [[nodiscard]] QPlainTextEdit* TextBox(int id) const;  // multi-line edits
    [[nodiscard]] QLabel* Label(int id) const;            // statics and pictures
    [[nodiscard]] QComboBox* ComboBox(int id) const;
    [[nodiscard]] QGroupBox* GroupBox(int id) const;
    [[nodiscard]] QScrollBar* ScrollBar(int id) const;
    [[nodiscard]] QSlider* Slider(int id) const;
    [[nodiscard]] QProgressBar* ProgressBar(int id) const;
    // The exclusive group a radio button belongs to, or nullptr.
    [[nodiscard]] QButtonGroup* RadioGroup(int id) const;

    // The text a control shows, whatever its kind (a drop-down list: the
    // current item); empty for a missing id.
    [[nodiscard]] QString Text(int id) const;
    void SetText(int id, const QString& text);
    [[nodiscard]] bool IsChecked(int id) const;
    void SetChecked(int id, bool checked);
    [[nodiscard]] bool IsEnabled(int id) const;
    void Enable(int id, bool enabled);
    void Show(int id, bool shown);

    // Adds an item to a drop-down list or list box, in order when the table
    // marks the list sorted (without regard to case, like the lists the
    // layouts were drawn for), else at the end. Returns the item's index, or
    // -1 when the id is not a list.
    int AddListItem(int id, const QString& text, const QVariant& data = {});

private:
    friend class CDialogBuilder;
    [[nodiscard]] const Entry* Find(int id) const;

    // Filled once by the builder; the widgets belong to the dialog.
    std::vector<Entry> m_all;
    QHash<int, size_t> m_byId;  // index into m_all; the first control of an id wins
    DialogScale m_scale{1, 1, 1, 1};
};

// The text a widget shows, by the same rules as CControls::Text.
[[nodiscard]] QString WidgetText(const QWidget* widget);

}  // namespace oriole
