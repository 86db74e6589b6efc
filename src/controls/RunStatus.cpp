#include "controls/RunStatus.h"

#include <algorithm>

#include <QFileInfo>
#include <QHBoxLayout>
#include <QLabel>
#include <QProcess>
#include <QProgressBar>
#include <QPushButton>

#include "controls/LinkLabel.h"
#include "edit/Global.h"

namespace sundral {

TRunStatus::TRunStatus(QWidget* Parent)
    : QWidget(Parent), FBar(new QProgressBar(this)), FCancel(new QPushButton("Cancel", this)),
      FLine(new QLabel(this)), FShowInFolder(new TLinkLabel(this)) {
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    FBar->setRange(0, 100);
    FBar->setTextVisible(true);
    layout->addWidget(FBar, 1);
    // Enter in a dialog's fields must not cancel the run.
    FCancel->setAutoDefault(false);
    layout->addWidget(FCancel);
    layout->addWidget(FLine, 1);
    FShowInFolder->setText("Show in Folder");
    FShowInFolder->SetColor(QColor(0, 0, 0xff));
    FShowInFolder->SetHoverColor(QColor(0xff, 0, 0));
    FShowInFolder->setCursor(Qt::PointingHandCursor);
    layout->addWidget(FShowInFolder);
    OpenFolder = [](const QString& Folder) { QProcess::startDetached("xdg-open", {Folder}); };
    FShowInFolder->OnClick = [this](TLinkLabel*) {
        if (!FFolder.isEmpty() && OpenFolder) OpenFolder(FFolder);
    };
    connect(FCancel, &QPushButton::clicked, this, [this] {
        if (FRunning && OnCancel) OnCancel();
    });
    Clear();
}

void TRunStatus::Start() {
    FRunning = true;
    FFolder.clear();
    FBar->setValue(0);
    FBar->show();
    FCancel->setEnabled(true);
    FCancel->show();
    FLine->clear();
    FLine->hide();
    FShowInFolder->hide();
}

void TRunStatus::SetPercent(int32_t Percent) {
    FBar->setValue(std::clamp(Percent, 0, 100));
}

void TRunStatus::ShowSaved(const QString& Path, int32_t LengthMs) {
    const QFileInfo info(Path);
    FRunning = false;
    FFolder = info.absolutePath();
    FBar->hide();
    FCancel->hide();
    FLine->setText(QString("Saved %1 (%2)")
                       .arg(info.fileName(), QString::fromStdString(MsToTimeText(LengthMs))));
    FLine->show();
    FShowInFolder->show();
}

void TRunStatus::ShowEnded(const QString& Message) {
    FRunning = false;
    FFolder.clear();
    FBar->hide();
    FCancel->hide();
    FLine->setText(Message);
    FLine->show();
    FShowInFolder->hide();
}

void TRunStatus::Clear() {
    FRunning = false;
    FFolder.clear();
    FBar->hide();
    FCancel->hide();
    FLine->clear();
    FLine->hide();
    FShowInFolder->hide();
}

QString TRunStatus::Line() const {
    return FLine->text();
}

} // namespace sundral
