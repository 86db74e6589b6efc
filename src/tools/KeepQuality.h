// The tool windows' choice "Keep the original quality (no re-encoding)" and the lossless join
// of MP3 stretches it selects, run off the user-interface thread.
//
// The check box starts as the user left it last (checked the first time) and remembers
// every change in the user's settings. A window enables it only for what it applies to: MP3
// input, and for the Joiner the join mode.
//
// Threading: GUI thread; the join runs on the application's thread pool (Worker.h).
// Ownership: the check box is a Qt child of Parent; a TSpliceJob belongs to its window.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include <QRect>
#include <QString>

#include "formats/Mp3Splice.h"

class QCheckBox;
class QLabel;
class QObject;
class QWidget;

namespace sundral {

class TPendingOutput;

inline constexpr char kKeepQualityCaption[] = "Keep the original quality (no re-encoding)";

QCheckBox* KeepQualityBox(QWidget* Parent, QRect Place);

// The line under the controls that says why a run re-encodes after all; empty until then.
QLabel* NoteLine(QWidget* Parent, QRect Place);
// "Re-encoding instead: REASON"
QString ReencodingNote(const std::string& Reason);

class TSpliceJob {
public:
    using TDone = std::function<void(const mp3lossless::TCutResult&)>;

    ~TSpliceJob() { Stop(); }

    // Joins Stretches into Output's temporary file on a worker. Progress (percent) and Done
    // arrive on the GUI thread while Context lives and the job was not stopped. The worker
    // holds a share of Output until it no longer writes, so that a stopped job's file goes
    // only then, whenever the window lets go of its own share.
    void Start(QObject* Context, std::vector<mp3lossless::TMp3Stretch> Stretches,
               std::shared_ptr<TPendingOutput> Output, std::function<void(int32_t)> Progress,
               TDone Done);
    // Asks the worker to stop; nothing of this job arrives afterwards.
    void Stop();
    bool Running() const { return FStop != nullptr; }

private:
    std::shared_ptr<std::atomic<bool>> FStop; // the running job's, null when idle
};

} // namespace sundral
