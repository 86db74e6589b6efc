#include "tools/KeepQuality.h"

#include <QCheckBox>
#include <QCoreApplication>
#include <QLabel>
#include <QPointer>
#include <QSettings>

#include "edit/PendingOutput.h"
#include "platform/qt/FormBuilder.h"
#include "platform/qt/Worker.h"

namespace sundral {
namespace {

constexpr char kKeepQualityKey[] = "Tools/KeepOriginalQuality";

QSettings UserSettings() {
    return QSettings(QStringLiteral("Orvane"), QStringLiteral("Sundral"));
}

} // namespace

QCheckBox* KeepQualityBox(QWidget* Parent, QRect Place) {
    auto* box =
        Named(new QCheckBox(QString::fromLatin1(kKeepQualityCaption), Parent), "cbKeepQuality");
    box->setGeometry(Place);
    box->setChecked(UserSettings().value(QLatin1String(kKeepQualityKey), true).toBool());
    QObject::connect(box, &QCheckBox::toggled, box, [](bool Checked) {
        QSettings settings = UserSettings();
        settings.setValue(QLatin1String(kKeepQualityKey), Checked);
    });
    return box;
}

QLabel* NoteLine(QWidget* Parent, QRect Place) {
    auto* note = Named(new QLabel(Parent), "lNote");
    note->setGeometry(Place);
    note->setWordWrap(true);
    note->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    return note;
}

QString ReencodingNote(const std::string& Reason) {
    return QStringLiteral("Re-encoding instead: ") + QString::fromStdString(Reason);
}

void TSpliceJob::Start(QObject* Context, std::vector<mp3lossless::TMp3Stretch> Stretches,
                       std::shared_ptr<TPendingOutput> Output,
                       std::function<void(int32_t)> Progress, TDone Done) {
    Stop();
    auto stop = std::make_shared<std::atomic<bool>>(false);
    FStop = stop;
    QPointer<QObject> context(Context);
    RunOnWorker<mp3lossless::TCutResult>(
        Context,
        [stop, context, Progress, Stretches = std::move(Stretches),
         Output = std::move(Output)]() mutable {
            mp3lossless::TSpliceControl control;
            control.Stop = stop.get();
            control.OnProgress = [stop, context, Progress](int32_t Percent) {
                QMetaObject::invokeMethod(
                    QCoreApplication::instance(),
                    [stop, context, Progress, Percent] {
                        if (context && !stop->load()) Progress(Percent);
                    },
                    Qt::QueuedConnection);
            };
            mp3lossless::TCutResult result =
                mp3lossless::SpliceMp3(Stretches, Output->TempName(), control);
            // Let go before the window hears of the end: its share is then the last.
            Output.reset();
            return result;
        },
        [this, stop, Done = std::move(Done)](mp3lossless::TCutResult Result) {
            // A stopped job's end belongs to nobody; the window may run another by now.
            if (stop->load()) return;
            FStop.reset();
            Done(Result);
        });
}

void TSpliceJob::Stop() {
    if (FStop) FStop->store(true);
    FStop.reset();
}

} // namespace sundral
