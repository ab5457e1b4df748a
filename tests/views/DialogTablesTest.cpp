// Invariants of the dialog resource tables: what the builder and the dialog
// code rely on, checked over every table.

#include <gtest/gtest.h>

#include <QString>
#include <set>
#include <vector>

#include "res/Dialogs.h"

namespace oriole::res {
namespace {

bool Has(const ControlDef& c, uint32_t bit) {
    return (c.style & bit) != 0;
}

TEST(DialogTables, EveryResourceIsFoundByItsNumber) {
    const std::vector<int> expected = {102, 129, 130, 132, 133, 134, 135, 138, 140, 141, 150};
    std::vector<int> listed;
    for (const DialogDef* d : AllDialogs()) {
        listed.push_back(d->resourceId);
        EXPECT_EQ(FindDialog(d->resourceId), d);
    }
    EXPECT_EQ(listed, expected);
    EXPECT_EQ(FindDialog(0), nullptr);
    EXPECT_EQ(FindDialog(131), nullptr);
}

TEST(DialogTables, NamedIdsAreUniqueWithinADialog) {
    for (const DialogDef* d : AllDialogs()) {
        std::set<int> seen;
        for (const ControlDef& c : d->controls) {
            if (c.id == kNoId) continue;
            EXPECT_GT(c.id, 0) << d->resourceId;
            EXPECT_TRUE(seen.insert(c.id).second) << d->resourceId << " id " << c.id;
            EXPECT_EQ(FindControl(*d, c.id), &c);
        }
        EXPECT_EQ(FindControl(*d, kNoId), nullptr);
    }
}

TEST(DialogTables, EveryControlLiesInsideItsDialog) {
    for (const DialogDef* d : AllDialogs()) {
        EXPECT_GT(d->width, 0);
        EXPECT_GT(d->height, 0);
        for (const ControlDef& c : d->controls) {
            const DuRect r = RestingRect(c);
            SCOPED_TRACE(testing::Message()
                         << d->resourceId << " control " << c.id << " \"" << c.text << "\"");
            EXPECT_GT(r.w, 0);
            EXPECT_GT(r.h, 0);
            EXPECT_GE(r.x, 0);
            EXPECT_GE(r.y, 0);
            EXPECT_LE(r.x + r.w, d->width);
            EXPECT_LE(r.y + r.h, d->height);
        }
    }
}

// Controls shown at once never cover one another; frames only surround.
TEST(DialogTables, NoTwoShownControlsOverlap) {
    const auto overlap = [](const DuRect& a, const DuRect& b) {
        return a.x < b.x + b.w && b.x < a.x + a.w && a.y < b.y + b.h && b.y < a.y + a.h;
    };
    for (const DialogDef* d : AllDialogs()) {
        for (size_t i = 0; i < d->controls.size(); ++i) {
            const ControlDef& a = d->controls[i];
            if (a.kind == Kind::GroupBox || Has(a, ctl::kHidden)) continue;
            for (size_t j = i + 1; j < d->controls.size(); ++j) {
                const ControlDef& b = d->controls[j];
                if (b.kind == Kind::GroupBox || Has(b, ctl::kHidden)) continue;
                // A slider's ticks reach into the scale printed over it; the
                // builder moves the slider clear of the figures.
                const auto ticked = [](const ControlDef& c) {
                    return c.kind == Kind::Slider && Has(c, ctl::kTicksTop);
                };
                if ((ticked(a) && b.kind == Kind::Static) || (ticked(b) && a.kind == Kind::Static))
                    continue;
                EXPECT_FALSE(overlap(RestingRect(a), RestingRect(b)))
                    << d->resourceId << ": " << a.id << " \"" << a.text << "\" and " << b.id
                    << " \"" << b.text << "\"";
            }
        }
    }
}

TEST(DialogTables, RadioGroupsStartWithGroupFlagAndHoldTwoOrMore) {
    for (const DialogDef* d : AllDialogs()) {
        const ControlDef* previous = nullptr;
        int groupSize = 0;
        auto closeGroup = [&] {
            if (groupSize != 0) {
                EXPECT_GE(groupSize, 2) << d->resourceId;
            }
            groupSize = 0;
        };
        for (const ControlDef& c : d->controls) {
            if (c.kind != Kind::RadioButton) {
                closeGroup();
            } else if (Has(c, ctl::kGroup)) {
                closeGroup();
                groupSize = 1;
            } else {
                // A radio button without the flag continues the group right before it.
                ASSERT_NE(previous, nullptr) << d->resourceId << " id " << c.id;
                EXPECT_EQ(previous->kind, Kind::RadioButton) << d->resourceId << " id " << c.id;
                ++groupSize;
            }
            previous = &c;
        }
        closeGroup();
    }
}

TEST(DialogTables, StyleBitsSuitTheirKind) {
    for (const DialogDef* d : AllDialogs()) {
        EXPECT_STREQ(d->fontFace, "MS UI Gothic");
        EXPECT_EQ(d->fontPoints, 9);
        for (const ControlDef& c : d->controls) {
            SCOPED_TRACE(testing::Message() << d->resourceId << " control " << c.id);
            if (Has(c, ctl::kPushLike)) {
                EXPECT_EQ(c.kind, Kind::CheckBox);
            }
            if (Has(c, ctl::kSorted)) {
                EXPECT_TRUE(c.kind == Kind::DropDownList || c.kind == Kind::ListBox);
            }
            if (Has(c, ctl::kMultiLine) || Has(c, ctl::kReadOnly)) {
                EXPECT_EQ(c.kind, Kind::Edit);
            }
            EXPECT_EQ(c.kind == Kind::Picture, c.image != 0);
            EXPECT_FALSE(Has(c, ctl::kCenter) && Has(c, ctl::kRight));
            // Texts are shown as written: they must be well-formed UTF-8.
            const QByteArray raw(c.text);
            EXPECT_EQ(QString::fromUtf8(raw).toUtf8(), raw);
        }
    }
}

TEST(DialogTables, DialogBehaviourFlagsFollowTheConventions) {
    struct Row {
        int id;
        bool ignoresEnterEscape;
        bool movesDown;
    };
    const Row rows[] = {
        {102, true, false},  {129, true, true},  {130, true, true},  {132, false, false},
        {133, true, true},   {134, true, true},  {135, false, true}, {138, false, true},
        {140, false, false}, {141, false, true}, {150, true, false},
    };
    for (const Row& row : rows) {
        const DialogDef* d = FindDialog(row.id);
        ASSERT_NE(d, nullptr) << row.id;
        EXPECT_EQ((d->style & dlg::kIgnoreEnterEscape) != 0, row.ignoresEnterEscape) << row.id;
        EXPECT_EQ((d->style & dlg::kMoveDownOnOpen) != 0, row.movesDown) << row.id;
        EXPECT_EQ((d->style & dlg::kChild) != 0, row.id == 140) << row.id;
    }
}

// The bit columns: bit 7 on top, rows 15 units apart, the label two units
// below its button's top, every button and label of a column aligned.
void ExpectBitColumn(const DialogDef& d, const std::vector<int>& buttonsTopDown,
                     const std::vector<int>& labelsTopDown, int buttonX, int labelX) {
    ASSERT_EQ(buttonsTopDown.size(), 8u);
    ASSERT_EQ(labelsTopDown.size(), 8u);
    for (int row = 0; row < 8; ++row) {
        const ControlDef* b = FindControl(d, buttonsTopDown[row]);
        const ControlDef* l = FindControl(d, labelsTopDown[row]);
        ASSERT_NE(b, nullptr) << buttonsTopDown[row];
        ASSERT_NE(l, nullptr) << labelsTopDown[row];
        EXPECT_EQ(b->kind, Kind::CheckBox);
        EXPECT_TRUE(Has(*b, ctl::kPushLike));
        EXPECT_EQ(b->rect.x, buttonX);
        EXPECT_EQ(b->rect.y, 55 + 15 * row);
        EXPECT_EQ(l->kind, Kind::Static);
        EXPECT_EQ(l->rect.x, labelX);
        EXPECT_EQ(l->rect.y, b->rect.y + 2);
        EXPECT_LE(l->rect.x + l->rect.w, b->rect.x);  // the name stays left of its button
    }
}

TEST(DialogTables, FuseAndLockBitColumns) {
    ExpectBitColumn(kFuseDialog, {1074, 1075, 1076, 1077, 1078, 1079, 1080, 1098},
                    {1178, 1179, 1180, 1181, 1182, 1183, 1184, 1185}, 70, 21);
    ExpectBitColumn(kFuseDialog, {1081, 1082, 1083, 1084, 1085, 1086, 1087, 1099},
                    {1186, 1187, 1188, 1189, 1190, 1191, 1192, 1193}, 154, 105);
    ExpectBitColumn(kFuseDialog, {1088, 1089, 1090, 1091, 1092, 1093, 1094, 1100},
                    {1194, 1195, 1196, 1197, 1198, 1199, 1200, 1201}, 238, 189);
    ExpectBitColumn(kLockDialog, {1122, 1110, 1111, 1112, 1113, 1114, 1115, 1116},
                    {1204, 1205, 1206, 1207, 1208, 1209, 1210, 1211}, 70, 21);
}

TEST(DialogTables, FlashAndEepromViewsAreTwins) {
    // Same rows, kinds and rectangles; only ids and texts differ, and the
    // EEPROM device dump alone scrolls sideways.
    ASSERT_EQ(kFlashViewDialog.controls.size(), kEepromViewDialog.controls.size());
    EXPECT_EQ(kFlashViewDialog.width, kEepromViewDialog.width);
    EXPECT_EQ(kFlashViewDialog.height, kEepromViewDialog.height);
    EXPECT_EQ(kFlashViewDialog.style, kEepromViewDialog.style);
    for (size_t i = 0; i < kFlashViewDialog.controls.size(); ++i) {
        const ControlDef& f = kFlashViewDialog.controls[i];
        const ControlDef& e = kEepromViewDialog.controls[i];
        SCOPED_TRACE(testing::Message() << "row " << i << ": " << f.id << " / " << e.id);
        EXPECT_EQ(f.kind, e.kind);
        EXPECT_EQ(f.rect.x, e.rect.x);
        EXPECT_EQ(f.rect.y, e.rect.y);
        EXPECT_EQ(f.rect.w, e.rect.w);
        EXPECT_EQ(f.rect.h, e.rect.h);
        const uint32_t diff = f.style ^ e.style;
        EXPECT_EQ(diff, e.id == 1042 ? ctl::kAutoHScroll : 0u);
        // Texts naming the memory differ by exactly that word.
        QString ft = QString::fromUtf8(f.text);
        EXPECT_EQ(ft.replace(QStringLiteral("FLASH"), QStringLiteral("EEPROM")),
                  QString::fromUtf8(e.text));
    }
}

}  // namespace
}  // namespace oriole::res
