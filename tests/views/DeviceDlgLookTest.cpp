// What the settings dialog looks like: the figures of the timing scale
// stand over the slider's ticks, and the hidden controls stay hidden. Set
// ORIOLE_GRAB_DIR to also get the dialog as a PNG file there.

#include <gtest/gtest.h>

#include <QDir>
#include <QImage>
#include <QLabel>
#include <QSlider>

#include "QtApp.h"
#include "link/LinkState.h"
#include "ops/MainSettings.h"
#include "views/DeviceDlg.h"
#include "support/Grab.h"

namespace oriole {
namespace {

using namespace device_dlg;

// Columns of the slider's image, above its groove, that hold tick marks:
// pixels clearly darker than the background of their row, grouped into
// runs; the centre of each run.
std::vector<int> TickColumns(const QImage& image, int rows) {
    std::vector<int> dark(size_t(image.width()), 0);
    for (int y = 0; y < rows; ++y) {
        const int background = qGray(image.pixel(0, y));
        for (int x = 0; x < image.width(); ++x)
            if (qGray(image.pixel(x, y)) + 60 < background) ++dark[size_t(x)];
    }
    std::vector<int> centres;
    for (int x = 0; x < image.width();) {
        if (dark[size_t(x)] == 0) {
            ++x;
            continue;
        }
        const int start = x;
        while (x < image.width() && dark[size_t(x)] != 0) ++x;
        centres.push_back((start + x - 1) / 2);
    }
    return centres;
}

TEST(DeviceDlgLookTest, ScaleFiguresStandOverTheTicks) {
    test::EnsureQtApp();
    CMainSettings settings;
    CLinkState link;
    link.m_nUsbTiming = 0;
    CDeviceDlg dlg(settings, link, {});
    dlg.show();

    QSlider* slider = dlg.Slider(kUsbTiming);
    // The handle covers the tick it stands on; move it off the ticks' row
    // by looking only at the rows above the handle's top.
    const QImage image = slider->grab().toImage();
    ASSERT_FALSE(image.isNull());
    const std::vector<int> ticks = TickColumns(image, slider->height() / 3);

    std::vector<QLabel*> figures;
    for (int i = 0; i <= 5; ++i) {
        auto* figure = dlg.findChild<QLabel*>(QStringLiteral("scale%1").arg(i));
        ASSERT_NE(figure, nullptr) << i;
        EXPECT_EQ(figure->text(), QString::number(i));
        EXPECT_TRUE(figure->isVisible());
        figures.push_back(figure);
    }
    ASSERT_EQ(ticks.size(), 6u) << "ticks found in the slider's picture";
    for (size_t i = 0; i < ticks.size(); ++i) {
        const int figureCentre = figures[i]->geometry().center().x() - slider->x();
        EXPECT_LE(std::abs(figureCentre - ticks[i]), 1) << "figure " << i;
    }
    // The figures sit above the slider, clear of one another.
    for (size_t i = 1; i < figures.size(); ++i)
        EXPECT_LT(figures[i - 1]->geometry().right(), figures[i]->geometry().left());
    EXPECT_LE(figures[0]->geometry().top(), slider->geometry().top());

    auto* tail = dlg.findChild<QLabel*>(QStringLiteral("scaleTail"));
    ASSERT_NE(tail, nullptr);
    EXPECT_EQ(tail->text(), QString::fromUtf8(">>遅い"));
    EXPECT_GT(tail->geometry().left(), figures[5]->geometry().center().x());
    EXPECT_LE(tail->geometry().right(), dlg.width());
    EXPECT_GE(tail->width(), tail->sizeHint().width());

    test::Grab(dlg, "settings-dialog.png");
    // The scale and the slider, four times as large.
    const QRect area = figures[0]->geometry().united(slider->geometry()).united(tail->geometry());
    test::Grab(dlg, "settings-scale-x4.png", area.adjusted(-8, -4, 8, 4), 4);
}

}  // namespace
}  // namespace oriole
