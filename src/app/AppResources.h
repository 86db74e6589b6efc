// The program's pictures and style sheet, compiled in from resources/sundral.qrc.
//
// Threading: GUI thread (QPixmap). Ownership: values.
#pragma once

#include <QPixmap>
#include <QString>

namespace sundral {

// Registers the compiled resources; safe to call more than once. Windows call it before
// they load anything below.
void InitAppResources();

// The style sheet every window sets on itself (resources/skin.qss).
QString SkinStyleSheet();
// A picture of resources/images by file name ("banner-main.jpg"); a null pixmap when the
// image plugin for its type is missing.
QPixmap AppPicture(const QString& Name);

} // namespace sundral
