#include "cli/CliSplice.h"

#include <cstdio>
#include <iostream>

#include "cli/CliRun.h"
#include "edit/PendingOutput.h"

namespace sundral::cli {

std::optional<int> SpliceLossless(const std::vector<mp3lossless::TMp3Stretch>& Stretches,
                                  const std::string& Out, bool ShowProgress) {
    using namespace mp3lossless;
    TPendingOutput output(Out);
    TSpliceControl control;
    control.Stop = &InterruptFlag();
    if (ShowProgress) control.OnProgress = [](int32_t Percent) { DrawBar(Percent); };
    const TCutResult result = SpliceMp3(Stretches, output.TempName(), control);
    if (ShowProgress) std::fputc('\n', stderr);
    if (Interrupted()) return Fail("interrupted; " + Out + " was not written");
    if (result.Status == TCutStatus::csFailed) return Fail(result.Message);
    if (result.Status == TCutStatus::csUnsuitable) {
        std::cerr << "sundral-cli: note: " << result.Message << "; re-encoding instead\n";
        return std::nullopt;
    }
    std::string error;
    if (!output.Commit(error)) return Fail(error);
    return 0;
}

} // namespace sundral::cli
