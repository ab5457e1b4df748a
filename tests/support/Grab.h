#pragma once
// Pictures of windows for a person to look at, and the keys no dialog may
// close on. ORIOLE_GRAB_DIR names the folder the pictures go to; without it
// the windows are still drawn, so that a window that cannot be drawn fails.

#include <gtest/gtest.h>

#include <QApplication>
#include <QDir>
#include <QImage>
#include <QKeyEvent>
#include <QWidget>
#include <initializer_list>

namespace oriole::test {

// Draws `widget` (or the part `area` of it, `zoom` times as large) and saves
// it as `name` in ORIOLE_GRAB_DIR when that is set.
inline void Grab(QWidget& widget, const QString& name, QRect area = {}, int zoom = 1) {
    QImage image = (area.isNull() ? widget.grab() : widget.grab(area)).toImage();
    ASSERT_FALSE(image.isNull()) << name.toStdString();
    if (area.isNull()) {
        EXPECT_EQ(image.size(), widget.size() * image.devicePixelRatio()) << name.toStdString();
    }
    if (zoom > 1) image = image.scaled(image.size() * zoom);
    const QByteArray dir = qgetenv("ORIOLE_GRAB_DIR");
    if (dir.isEmpty()) return;
    const QString path = QDir(QString::fromLocal8Bit(dir)).filePath(name);
    EXPECT_TRUE(image.save(path)) << path.toStdString();
}

// Presses Return, keypad Enter and Escape on each of `targets`; after each
// press `stillOpen` must hold.
template <typename Check>
void PressEnterAndEscape(std::initializer_list<QWidget*> targets, Check stillOpen) {
    for (QWidget* target : targets) {
        for (int key : {int(Qt::Key_Return), int(Qt::Key_Enter), int(Qt::Key_Escape)}) {
            target->setFocus();
            QKeyEvent press(QEvent::KeyPress, key, key == Qt::Key_Enter ? Qt::KeypadModifier : Qt::NoModifier);
            QApplication::sendEvent(target, &press);
            QApplication::processEvents();
            stillOpen(target, key);
        }
    }
}

}  // namespace oriole::test
