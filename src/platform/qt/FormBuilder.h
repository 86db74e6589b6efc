// Small helpers the windows use to create their controls with their design values, so that
// every window names, places and styles them the same way.
//
// Threading: GUI thread only. Ownership: every created widget is a Qt child of Parent.
#pragma once

#include <QRect>
#include <QString>

class QEvent;
class QLabel;
class QLineEdit;
class QPushButton;
class QWidget;

namespace sundral {

// The open dialogs' single filter entry.
inline constexpr char kSoundFilesFilter[] = "Sound Files(*.wav;*.mp3;*.wma)|*.wav;*.mp3;*.wma";

// Gives Widget its objectName (the control's design name, which tests look up) and returns it.
template <class T> T* Named(T* Widget, const char* Name) {
    Widget->setObjectName(QString::fromLatin1(Name));
    return Widget;
}

// A push button that is never a default button (Enter in a field does not press it).
QPushButton* Button(QWidget* Parent, const char* Name, const char* Caption, QRect Place);
QLabel* Text(QWidget* Parent, const char* Name, const QString& Caption, QRect Place);
// A time field: "00:00:00.0", at most 10 characters, Hint as its tool tip.
QLineEdit* TimeField(QWidget* Parent, const char* Name, const char* Hint, QRect Place);
// A read-only field showing a file's path.
QLineEdit* FileField(QWidget* Parent, const char* Name, QRect Place);

// The design font of every window: 11 pixels high, the named face when installed.
void SetDesignFont(QWidget* Form);
// A fixed dialog border of the given client size: no resizing, no minimise or maximise box.
void SetFixedDialog(QWidget* Form, int ClientWidth, int ClientHeight);

// True when Event means the user left a field for another control of the same window; the
// window losing the focus (to another window, a menu or a message box) is not leaving it.
bool IsFieldExit(const QEvent* Event);

} // namespace sundral
