#include "audio/AuConcat.h"

#include <algorithm>
#include <string>

namespace sundral {

TAuConcatenator::TAuConcatenator(TComponent* AOwner) : TAuInput(AOwner) {}

void TAuConcatenator::SetInputs(const std::vector<TAuInput*>& Value) {
    if (FBusy) throw EAuException("The component is busy.");
    for (TAuInput* input : FInputs) RemoveFreeNotification(input);
    FInputs.clear();
    for (TAuInput* input : Value) {
        if (input == nullptr) continue;
        FInputs.push_back(input);
        FreeNotification(input);
    }
}

void TAuConcatenator::Notification(TComponent* AComponent, TOperation Operation) {
    if (Operation == TOperation::opRemove && AComponent != nullptr)
        std::erase_if(FInputs, [AComponent](TAuInput* Input) { return Input == AComponent; });
    TAuInput::Notification(AComponent, Operation);
}

TAuInput* TAuConcatenator::First() {
    if (FInputs.empty()) throw EAuException("Input not assigned");
    return FInputs.front();
}

uint32_t TAuConcatenator::GetBitsPerSample() {
    return First()->BitsPerSample();
}

uint32_t TAuConcatenator::GetChannels() {
    return First()->Channels();
}

uint32_t TAuConcatenator::GetSampleRate() {
    return First()->SampleRate();
}

void TAuConcatenator::InitInput() {
    FBusy = true;
    FPosition = 0;
    FCurrent = 0;
    TAuInput* first = First();
    int64_t size = 0;
    for (std::size_t i = 0; i < FInputs.size(); ++i) {
        TAuInput* input = FInputs[i];
        if (std::count(FInputs.begin(), FInputs.end(), input) > 1)
            throw EAuException("One source is given twice");
        input->Init();
        const std::string name = "Input" + std::to_string(i + 1);
        if (const std::string reason = input->InvalidReason(); !reason.empty())
            throw EAuException(name + " cannot be read: " + reason);
        // Bytes are passed on as they are: every input must be laid out like the first.
        if (input->BitsPerSample() != first->BitsPerSample() ||
            input->Channels() != first->Channels() || input->SampleRate() != first->SampleRate())
            throw EAuException(name + " differs from Input1 in sample size, channels or rate");
        const int64_t inputSize = input->Size();
        size = size < 0 || inputSize < 0 ? -1 : size + inputSize;
    }
    FSize = size;
    FFrameSize = static_cast<uint16_t>(first->Channels() * (first->BitsPerSample() / 8));
    FBufferStart = 1;
    FBufferEnd = 0;
}

void TAuConcatenator::FlushInput() {
    // The inputs that ended were flushed already; flushing twice is harmless.
    for (std::size_t i = FCurrent; i < FInputs.size(); ++i) FInputs[i]->Flush();
    FCurrent = 0;
    FBusy = false;
}

void TAuConcatenator::ReadSource(const uint8_t*& Buffer, uint32_t& Bytes) {
    const uint32_t wanted = Bytes;
    Bytes = 0;
    while (wanted > 0 && FCurrent < FInputs.size()) {
        uint32_t got = wanted;
        FInputs[FCurrent]->GetData(Buffer, got);
        if (got > 0) {
            Bytes = got;
            FPosition += got;
            return;
        }
        FInputs[FCurrent]->Flush();
        ++FCurrent;
    }
}

} // namespace sundral
