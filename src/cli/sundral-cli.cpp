// sundral-cli: cut, join and mix sound files from the command line, through the same
// components the windows use. The main thread plays the UI thread.
#include <CLI/CLI.hpp>
#include <cstdio>

#include "cli/CliCommands.h"
#include "cli/CliSegmentCut.h"
#include "cli/CliSplit.h"

using namespace sundral::cli;

int main(int argc, char** argv) {
    CLI::App app{"Sundral: cut, join and mix MP3, WAV and WMA files; find their silences.\n"
                 "Positions are time texts (00:01:02.5), seconds (62.5) or, with --samples, "
                 "sample numbers.",
                 "sundral-cli"};
    app.set_version_flag("--version", std::string("sundral-cli ") + SUNDRAL_VERSION);
    app.require_subcommand(1);
    TCommonOptions common;
    auto addCommon = [&](CLI::App* Cmd) {
        Cmd->add_flag("-q,--quiet", common.Quiet, "No progress bar");
        Cmd->add_flag("-f,--force", common.Force, "Replace an existing OUT");
        Cmd->add_flag("--bit-reservoir", common.BitReservoir,
                      "MP3: let the encoder use its bit reservoir (the windows leave it off; a VBR "
                      "source gets it anyway)");
    };

    std::string file;
    bool json = false;
    CLI::App* info = app.add_subcommand("info", "Show the format, length and tags of FILE");
    info->add_option("FILE", file, "The sound file")->required();
    info->add_flag("--json", json, "Print one JSON object");

    std::string in, out;
    std::optional<std::string> from, to;
    bool samples = false;
    CLI::App* cut = app.add_subcommand("cut", "Write the stretch [--from, --to) of IN to OUT");
    cut->add_option("IN", in, "The sound file to cut")->required();
    cut->add_option("OUT", out, "The new file, of the same type as IN")->required();
    cut->add_option("--from", from, "Start of the stretch (default: the beginning)");
    cut->add_option("--to", to, "End of the stretch, not included (default: the end)");
    cut->add_flag("--samples", samples, "--from and --to are sample numbers");
    cut->add_flag("--reencode", common.Reencode,
                  "MP3: decode and encode again (default: copy the frames, exact to the sample)");
    addCommon(cut);

    std::string a, b;
    CLI::App* join = app.add_subcommand("join", "Write A followed by B to OUT");
    CLI::App* mix = app.add_subcommand("mix", "Write A and B played at once to OUT");
    for (CLI::App* cmd : {join, mix}) {
        cmd->add_option("A", a, "The first file")->required();
        cmd->add_option("B", b, "The second file, of the same type")->required();
        cmd->add_option("OUT", out, "The new file, of the same type")->required();
        addCommon(cmd);
    }
    join->add_flag("--reencode", common.Reencode,
                   "MP3: decode and encode again (default: copy the frames and encode only "
                   "those around the junction)");

    TSegmentCutOptions segmentCut;
    CLI::App* segment = AddSegmentCutCommand(app, segmentCut, common);
    TSplitOptions splitOptions;
    TCommonOptions splitCommon;
    CLI::App* split = AddSplitCommand(app, splitOptions, splitCommon);
    double threshold = -50, minLength = 0.5;
    CLI::App* silences = app.add_subcommand("silences", "List the silent stretches of FILE");
    silences->add_option("FILE", file, "The sound file")->required();
    silences
        ->add_option("--threshold", threshold,
                     "Level in dB below full scale (RMS over 20 ms) under which it is silent")
        ->capture_default_str();
    silences->add_option("--min-length", minLength, "Shortest stretch listed, in seconds")
        ->capture_default_str();
    silences->add_flag("--json", json, "Print one JSON object");

    TPeaksOptions peaksOptions;
    CLI::App* peaks = app.add_subcommand("peaks", "Print the min/max peaks of FILE per column");
    peaks->add_option("FILE", file, "The sound file")->required();
    peaks->add_option("--width", peaksOptions.Width, "Columns for the whole file");
    peaks->add_option("--pixels-per-second", peaksOptions.PixelsPerSecond, "Columns a second");
    peaks->add_option("--channels", peaksOptions.Channels, "merged or all")->capture_default_str();
    peaks->add_flag("--json", peaksOptions.Json, "Print the waveform-data JSON (version 2)");

    try {
        app.parse(argc, argv);
    } catch (const CLI::CallForHelp& e) {
        return app.exit(e);
    } catch (const CLI::CallForAllHelp& e) {
        return app.exit(e);
    } catch (const CLI::CallForVersion& e) {
        return app.exit(e);
    } catch (const CLI::ParseError& e) {
        app.exit(e);
        return 2;
    }

    if (info->parsed()) return CommandInfo(file, json);
    if (cut->parsed()) return CommandCut(in, out, from, to, samples, common);
    if (join->parsed()) return CommandJoin(a, b, out, false, common);
    if (mix->parsed()) return CommandJoin(a, b, out, true, common);
    if (segment->parsed()) return CommandSegmentCut(segmentCut, common);
    if (split->parsed()) return CommandSplit(splitOptions, splitCommon);
    if (silences->parsed()) return CommandSilences(file, threshold, minLength, json);
    if (peaks->parsed()) return CommandPeaks(file, peaksOptions);
    return 2;
}
