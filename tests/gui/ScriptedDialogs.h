// Dialogs for tests: every call is recorded, and answers come from queues the test fills.
// An empty queue answers like a user who cancels: No, no file, the modal window rejected.
#pragma once

#include <deque>
#include <functional>
#include <optional>
#include <vector>

#include <QDialog>
#include <QPointer>
#include <QString>
#include <QWidget>

#include "platform/qt/Dialogs.h"

namespace sundral {

class TScriptedDialogs : public TDialogs {
public:
    enum TKind { dkMessage, dkYesNo, dkOpenFile, dkSaveFile, dkModal };
    struct TCall {
        TKind Kind;
        QPointer<QWidget> Owner;
        QString Text; // message text, or the modal window's objectName
        TFileDialogOptions Options;
    };

    std::vector<TCall> Calls;
    std::deque<bool> YesNoAnswers;
    // Paths the file dialogs return, in order; an empty text stands for Cancel.
    std::deque<QString> FileAnswers;
    // Drives a modal window (find its controls, click them) and returns its result.
    std::function<int(QDialog&)> OnShowModal;

    void ShowMessage(QWidget* Owner, const QString& Text) override {
        Calls.push_back({dkMessage, Owner, Text, {}});
    }
    bool AskYesNo(QWidget* Owner, const QString& Text) override {
        Calls.push_back({dkYesNo, Owner, Text, {}});
        return Pop(YesNoAnswers, false);
    }
    std::optional<QString> OpenFile(QWidget* Owner, const TFileDialogOptions& Options) override {
        Calls.push_back({dkOpenFile, Owner, {}, Options});
        return PopFile();
    }
    std::optional<QString> SaveFile(QWidget* Owner, const TFileDialogOptions& Options) override {
        Calls.push_back({dkSaveFile, Owner, {}, Options});
        return PopFile();
    }
    int ShowModal(QDialog& Dialog) override {
        Calls.push_back({dkModal, nullptr, Dialog.objectName(), {}});
        return OnShowModal ? OnShowModal(Dialog) : int(QDialog::Rejected);
    }

    // The texts of the message boxes shown so far, in order.
    QStringList Messages() const {
        QStringList result;
        for (const TCall& call : Calls)
            if (call.Kind == dkMessage) result << call.Text;
        return result;
    }

private:
    std::optional<QString> PopFile() {
        const QString path = Pop(FileAnswers, QString());
        if (path.isEmpty()) return std::nullopt;
        return path;
    }
    template <class T> static T Pop(std::deque<T>& Queue, T Default) {
        if (Queue.empty()) return Default;
        T value = Queue.front();
        Queue.pop_front();
        return value;
    }
};

} // namespace sundral
