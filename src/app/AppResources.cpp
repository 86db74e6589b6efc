#include "app/AppResources.h"

#include <QFile>

// Q_INIT_RESOURCE must be used outside any namespace.
static void InitSundralQrc() {
    Q_INIT_RESOURCE(sundral);
}

namespace sundral {

void InitAppResources() {
    static const bool kRegistered = (InitSundralQrc(), true);
    (void)kRegistered;
}

QString SkinStyleSheet() {
    InitAppResources();
    QFile file(QStringLiteral(":/skin.qss"));
    if (!file.open(QIODevice::ReadOnly)) return {};
    return QString::fromUtf8(file.readAll());
}

QPixmap AppPicture(const QString& Name) {
    InitAppResources();
    return QPixmap(QStringLiteral(":/images/") + Name);
}

} // namespace sundral
