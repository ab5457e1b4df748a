#pragma once
// The program's own pictures, drawn rather than shipped as bitmaps: the
// window icon, the logo of the main window, and the caption with the
// architecture the program was built for.

#include <QIcon>
#include <QPixmap>
#include <QString>

namespace oriole {

[[nodiscard]] QIcon AppIcon();
// The logo at the size of its control.
[[nodiscard]] QPixmap LogoPixmap(QSize size);
// " (x64)", " (x86)", " (ARM64)", ...: what the caption adds to the resource's.
[[nodiscard]] QString ArchitectureSuffix();

}  // namespace oriole
