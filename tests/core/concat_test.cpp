// The concatenator that Segment Cut's last join reads the pieces through, over in-memory
// sources: the bytes are the inputs' one after another, unchanged, read in uneven pieces;
// the size is their sum (unknown when one is); empty inputs are passed over; inputs of
// another layout and a missing input are refused at Init with the reason.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "PcmPatternSource.h"
#include "audio/AuConcat.h"

using namespace sundral;
using namespace sundral_test;

namespace {

struct TLayout {
    uint32_t Rate;
    uint16_t Channels, Bits;
    int64_t Frames;
};

TEST(Concatenator, DeliversTheInputsInTurn) {
    const struct {
        const char* Name;
        std::vector<TLayout> Inputs;
        bool SizeUnknown; // the second input does not tell its size
        const char* Refusal;
    } cases[] = {
        {"three pieces",
         {{44100, 2, 16, 5000}, {44100, 2, 16, 1}, {44100, 2, 16, 7777}},
         false,
         ""},
        {"empty piece between",
         {{22050, 1, 16, 300}, {22050, 1, 16, 0}, {22050, 1, 16, 40}},
         false,
         ""},
        {"24-bit, size unknown", {{48000, 2, 24, 999}, {48000, 2, 24, 1000}}, true, ""},
        {"one piece", {{8000, 1, 8, 123}}, false, ""},
        {"other rate", {{44100, 2, 16, 10}, {48000, 2, 16, 10}}, false, "Input2 differs"},
        {"other channels",
         {{44100, 2, 16, 10}, {44100, 2, 16, 10}, {44100, 1, 16, 10}},
         false,
         "Input3 differs"},
        {"other sample size", {{44100, 1, 16, 10}, {44100, 1, 24, 10}}, false, "Input2 differs"},
        {"no input", {}, false, "Input not assigned"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        std::vector<std::unique_ptr<TPcmPatternSource>> sources;
        std::vector<TAuInput*> inputs;
        std::vector<uint8_t> expected;
        for (const TLayout& l : c.Inputs) {
            sources.push_back(
                std::make_unique<TPcmPatternSource>(l.Rate, l.Channels, l.Bits, l.Frames));
            sources.back()->MaxPiece = 1001; // pieces that split frames
            expected.insert(expected.end(), sources.back()->Data.begin(),
                            sources.back()->Data.end());
            inputs.push_back(sources.back().get());
        }
        if (c.SizeUnknown) sources.at(1)->ReportedSize = -1;
        TAuConcatenator concat(nullptr);
        concat.SetInputs(inputs);
        if (*c.Refusal != '\0') {
            try {
                concat.Init();
                ADD_FAILURE() << "accepted";
            } catch (const EAuException& e) {
                EXPECT_NE(std::string(e.what()).find(c.Refusal), std::string::npos) << e.what();
            }
            concat.Flush();
            EXPECT_FALSE(concat.Busy());
            continue;
        }
        concat.Init();
        EXPECT_EQ(concat.Size(), c.SizeUnknown ? -1 : int64_t(expected.size()));
        EXPECT_EQ(concat.SampleRate(), c.Inputs.front().Rate);
        std::vector<uint8_t> got(expected.size() + 64);
        bool eof = false;
        got.resize(ReadFull(&concat, got.data(), uint32_t(got.size()), eof));
        EXPECT_TRUE(eof);
        EXPECT_TRUE(got == expected) << got.size() << " bytes against " << expected.size();
        EXPECT_EQ(concat.Position(), int64_t(expected.size()));
        concat.Flush();
        EXPECT_FALSE(concat.Busy());
        for (const auto& s : sources) EXPECT_FALSE(s->Busy()) << "every input let go";
    }
}

// An input destroyed while wired is forgotten, not read.
TEST(Concatenator, ForgetsADestroyedInput) {
    TPcmPatternSource kept(44100, 2, 16, 100);
    auto gone = std::make_unique<TPcmPatternSource>(44100, 2, 16, 100);
    TAuConcatenator concat(nullptr);
    concat.SetInputs({gone.get(), &kept});
    gone.reset();
    ASSERT_EQ(concat.Inputs(), std::vector<TAuInput*>{&kept});
    concat.Init();
    std::vector<uint8_t> got(kept.Data.size() + 16);
    bool eof = false;
    got.resize(ReadFull(&concat, got.data(), uint32_t(got.size()), eof));
    EXPECT_TRUE(got == kept.Data);
    concat.Flush();
}

} // namespace
