// Timing programs for the benchmarks that compare sundral-cli with a peer tool: run a command
// line as a child process, measure its wall time and peak memory, keep the best of several
// runs (the machine is shared: the best run is the least disturbed), print the ratio.
//
// Threading: one thread. Header-only, for the benchmark programs.
#pragma once

#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

extern char** environ;

namespace sundral_bench {

struct TMeasure {
    double Seconds = 0;    // wall time
    double CpuSeconds = 0; // user and system time of the program and its children
    long PeakKb = 0;
    bool Ok = false;
    std::chrono::steady_clock::time_point Start; // just before the child was started
};

// Extra holds NAME=VALUE settings added to the environment; with Out, the child's standard
// output is collected there.
inline TMeasure RunOnce(const std::vector<std::string>& Args,
                        const std::vector<std::string>& Extra = {}, std::string* Out = nullptr) {
    std::vector<char*> argv, envp;
    for (const auto& a : Args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    for (const auto& e : Extra) envp.push_back(const_cast<char*>(e.c_str()));
    for (char** e = environ; *e != nullptr; ++e) envp.push_back(*e);
    envp.push_back(nullptr);
    int pipeFds[2] = {-1, -1};
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    if (Out != nullptr && pipe(pipeFds) == 0) {
        posix_spawn_file_actions_adddup2(&actions, pipeFds[1], 1);
        posix_spawn_file_actions_addclose(&actions, pipeFds[0]);
    }
    const auto t0 = std::chrono::steady_clock::now();
    pid_t pid;
    TMeasure m;
    const int spawned = posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    if (pipeFds[1] >= 0) close(pipeFds[1]);
    if (pipeFds[0] >= 0) {
        char buffer[4096];
        for (ssize_t n; spawned == 0 && (n = read(pipeFds[0], buffer, sizeof buffer)) > 0;)
            Out->append(buffer, size_t(n));
        close(pipeFds[0]);
    }
    if (spawned != 0) return m;
    int status = 0;
    struct rusage usage {};
    wait4(pid, &status, 0, &usage);
    m.Start = t0;
    m.Seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    m.CpuSeconds = double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
                   double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
    m.PeakKb = usage.ru_maxrss;
    m.Ok = WIFEXITED(status) && WEXITSTATUS(status) == 0;
    return m;
}

// The best of Repeats runs; a failed run ends the benchmark.
inline TMeasure Best(const std::vector<std::string>& Args, int Repeats = 3) {
    TMeasure best;
    best.Seconds = 1e30;
    for (int i = 0; i < Repeats; ++i) {
        const TMeasure m = RunOnce(Args);
        if (!m.Ok) {
            std::string line;
            for (const auto& a : Args) line += a + " ";
            std::fprintf(stderr, "failed: %s\n", line.c_str());
            std::exit(1);
        }
        if (m.Seconds < best.Seconds) best = m;
    }
    return best;
}

// Times ours and the peer alternately, Rounds times each, and prints the best of each and
// their ratio against Target: wall time, and the processor time, which other work on a
// shared machine disturbs less.
inline double Compare(const char* What, const std::vector<std::string>& Ours,
                      const std::vector<std::string>& Peer, const char* PeerName,
                      double Target = 1.0, int Rounds = 3) {
    TMeasure a, b;
    a.Seconds = b.Seconds = a.CpuSeconds = b.CpuSeconds = 1e30;
    for (int i = 0; i < Rounds; ++i) {
        const TMeasure x = Best(Ours, 1), y = Best(Peer, 1);
        a.Seconds = std::min(a.Seconds, x.Seconds);
        a.CpuSeconds = std::min(a.CpuSeconds, x.CpuSeconds);
        b.Seconds = std::min(b.Seconds, y.Seconds);
        b.CpuSeconds = std::min(b.CpuSeconds, y.CpuSeconds);
    }
    const double ratio = a.Seconds / b.Seconds;
    std::printf("%-14s sundral-cli %7.3f s   %-8s %7.3f s   ratio %.2f (target <= %.2f)   "
                "cpu %.3f s / %.3f s = %.2f\n",
                What, a.Seconds, PeerName, b.Seconds, ratio, Target, a.CpuSeconds, b.CpuSeconds,
                a.CpuSeconds / b.CpuSeconds);
    std::fflush(stdout);
    return ratio;
}

// The sundral-cli to measure: the one named first on the command line, else the one beside
// the benchmark.
inline std::string CliPath(int argc, char** argv) {
    return argc > 1 ? argv[1]
                    : (std::filesystem::path(argv[0]).parent_path() / "sundral-cli").string();
}

// The music-like stereo signal the MP3 benchmarks encode: a sweeping tone, a steady one and a
// little noise, so that frames differ as they do in real recordings.
inline const char kMusicSignal[] = "aevalsrc=0.4*sin(2*PI*(220+200*sin(t/7))*t)|"
                                   "0.3*sin(2*PI*330*t)+0.05*(random(0)-0.5):s=44100";

// Seconds of kMusicSignal encoded at 128 kbps MP3 into Out.
inline void MakeMusicMp3(int Seconds, const std::string& Out) {
    Best({"ffmpeg", "-nostdin", "-v", "error", "-y", "-f", "lavfi", "-i", kMusicSignal, "-t",
          std::to_string(Seconds), "-c:a", "libmp3lame", "-b:a", "128k", Out},
         1);
}

} // namespace sundral_bench
