#include "platform/qt/FormBuilder.h"

#include <QFocusEvent>
#include <QFont>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStringList>
#include <QWidget>

namespace sundral {

QPushButton* Button(QWidget* Parent, const char* Name, const char* Caption, QRect Place) {
    auto* button = Named(new QPushButton(QString::fromUtf8(Caption), Parent), Name);
    button->setGeometry(Place);
    // No button takes Enter for itself: in a dialog Qt would otherwise press the first
    // button (or the focused one) whenever Enter is pressed in a field.
    button->setAutoDefault(false);
    return button;
}

QLabel* Text(QWidget* Parent, const char* Name, const QString& Caption, QRect Place) {
    auto* label = Named(new QLabel(Caption, Parent), Name);
    label->setGeometry(Place);
    return label;
}

QLineEdit* TimeField(QWidget* Parent, const char* Name, const char* Hint, QRect Place) {
    auto* edit = Named(new QLineEdit(QStringLiteral("00:00:00.0"), Parent), Name);
    edit->setMaxLength(10);
    edit->setToolTip(QString::fromUtf8(Hint));
    edit->setGeometry(Place);
    return edit;
}

QLineEdit* FileField(QWidget* Parent, const char* Name, QRect Place) {
    auto* edit = Named(new QLineEdit(Parent), Name);
    edit->setReadOnly(true);
    edit->setGeometry(Place);
    return edit;
}

void SetDesignFont(QWidget* Form) {
    QFont designFont(QStringList{QStringLiteral("MS Sans Serif"), QStringLiteral("DejaVu Sans")});
    designFont.setStyleHint(QFont::SansSerif);
    designFont.setPixelSize(11);
    Form->setFont(designFont);
}

void SetFixedDialog(QWidget* Form, int ClientWidth, int ClientHeight) {
    // The hints are taken as given only with CustomizeWindowHint; without it the window
    // system adds its usual buttons, maximise among them.
    Form->setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::MSWindowsFixedSizeDialogHint |
                         Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                         Qt::WindowCloseButtonHint);
    Form->setFixedSize(ClientWidth, ClientHeight);
}

bool IsFieldExit(const QEvent* Event) {
    if (Event->type() != QEvent::FocusOut) return false;
    const Qt::FocusReason reason = static_cast<const QFocusEvent*>(Event)->reason();
    return reason != Qt::ActiveWindowFocusReason && reason != Qt::PopupFocusReason;
}

} // namespace sundral
