#include "RunSink.h"

#include "Pump.h"

namespace sundral_test {

std::string RunToDone(sundral::TAuOutput& Sink, sundral::TAuInput& Input) {
    bool done = false;
    Sink.OnDone = [&](sundral::TComponent*) { done = true; };
    Sink.SetInput(&Input);
    Sink.Run();
    if (!PumpUntil([&] { return done; })) return "<no OnDone>";
    return Sink.ExceptionMessage();
}

} // namespace sundral_test
