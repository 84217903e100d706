// riser-meter for file work: how many one-minute files it meters per second
// (the built program, -j 1 and -j 2, with and without the loudness figures
// and true peak), against ffmpeg's ebur128 filter measuring loudness and true
// peak of the same files, and what the level history costs: the
// per-column reduction of every reading of a file and the drawing and PNG
// writing of the picture, for a 1-minute and a 1-hour file.
#include <benchmark/benchmark.h>
#include <sndfile.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "tools/riser_meter/history.h"
#include "tools/riser_meter/plot.h"

using namespace riser_meter;

namespace {

constexpr double kRate = 48000.0;
constexpr int64_t kTick = 1584;  // the meter's 33 ms at 48 kHz
constexpr int kFiles = 24;

// A folder for the files the benchmarks write, removed at exit.
struct TempDir {
    std::string path;
    TempDir() {
        char tmpl[] = "/tmp/riser_meter_benchXXXXXX";
        path = mkdtemp(tmpl) ? tmpl : "/tmp";
    }
    ~TempDir() {
        std::remove((path + "/history.png").c_str());
        rmdir(path.c_str());
    }
};

const std::string& temp_dir() {
    static TempDir dir;
    return dir.path;
}

// 24 one-minute stereo 16-bit WAV files: one written, 23 hard links to it
// (the batch is bound by metering, not by the disk).
struct Batch {
    std::vector<std::string> files;
    Batch() {
        const std::string first = temp_dir() + "/minute000.wav";
        SF_INFO info{};
        info.samplerate = static_cast<int>(kRate);
        info.channels = 2;
        info.format = SF_FORMAT_WAV | SF_FORMAT_PCM_16;
        SNDFILE* f = sf_open(first.c_str(), SFM_WRITE, &info);
        std::vector<float> data(2 * static_cast<size_t>(kRate));
        uint32_t noise = 1;
        for (int second = 0; second < 60; ++second) {
            for (size_t i = 0; i < data.size() / 2; ++i) {
                const double t = second + static_cast<double>(i) / kRate;
                noise = noise * 1664525u + 1013904223u;
                data[2 * i] = static_cast<float>(0.2 * std::sin(2 * M_PI * 440 * t) * (1 + std::sin(t)) / 2);
                data[2 * i + 1] = static_cast<float>((noise >> 8) / 8388608.0 - 1.0) * 0.1f;
            }
            sf_writef_float(f, data.data(), static_cast<sf_count_t>(kRate));
        }
        sf_close(f);
        files.push_back(first);
        for (int n = 1; n < kFiles; ++n) {
            char name[32];
            std::snprintf(name, sizeof name, "/minute%03d.wav", n);
            files.push_back(temp_dir() + name);
            if (link(first.c_str(), files.back().c_str()) != 0) files.pop_back();
        }
    }
    ~Batch() {
        for (const std::string& f : files) std::remove(f.c_str());
    }
};

Batch& batch() {
    static Batch b;
    return b;
}

// Arguments: the jobs, and 1 with the loudness figures, 0 without.
void BM_BatchFilesPerSecond(benchmark::State& state) {
    std::string cmd = std::string(RISER_METER_PATH) + " --summary-only -j " + std::to_string(state.range(0)) +
                      (state.range(1) ? "" : " --no-loudness");
    for (const std::string& f : batch().files) cmd += " " + f;
    cmd += " > /dev/null";
    for (auto _ : state)
        if (std::system(cmd.c_str()) != 0) state.SkipWithError("riser-meter failed");
    state.counters["files_per_s"] =
        benchmark::Counter(static_cast<double>(batch().files.size() * state.iterations()), benchmark::Counter::kIsRate);
}

// The tool a user would otherwise pick, on the same files one after the
// other: `ffmpeg -af ebur128=peak=true -f null -` (integrated loudness,
// range, momentary and short-term loudness, true peak). ffmpeg is a
// benchmark dependency only: without it the benchmark reports an error.
void BM_FfmpegEbur128FilesPerSecond(benchmark::State& state) {
    if (std::system("command -v ffmpeg > /dev/null 2>&1") != 0) {
        state.SkipWithError("ffmpeg is not installed (scripts/setup.sh --bench installs it)");
        return;
    }
    std::string cmd = "true";
    for (const std::string& f : batch().files)
        cmd += " && ffmpeg -nostdin -hide_banner -nostats -i " + f + " -af ebur128=peak=true -f null - 2> /dev/null";
    for (auto _ : state)
        if (std::system(cmd.c_str()) != 0) state.SkipWithError("ffmpeg failed");
    state.counters["files_per_s"] =
        benchmark::Counter(static_cast<double>(batch().files.size() * state.iterations()), benchmark::Counter::kIsRate);
}

// Readings that move like programme material: a slow swell with faster wobble.
void fill(LevelHistory& h, int64_t frames) {
    float v[kTraceCount];
    for (int64_t at = kTick; at <= frames; at += kTick) {
        const double t = static_cast<double>(at) / kRate;
        const float level = static_cast<float>(-24 + 8 * std::sin(t / 7) + 3 * std::sin(t * 3.1));
        for (int c = 0; c < 2; ++c) {
            float* ch = v + c * kTracesPerChannel;
            ch[kRms] = level;
            ch[kHeldRms] = level + 1;
            ch[kPeak] = level + 9 + static_cast<float>(2 * std::sin(t * 11));
            ch[kHeldPeak] = ch[kPeak] + 1;
            ch[kCrest] = ch[kPeak] - ch[kRms];
            ch[kHeldCrest] = ch[kCrest] + 1;
        }
        h.add(at, v);
    }
}

int columns() { return plot_layout(1200, 600, PlotSettings{}).columns(); }

// Every reading of the file through the per-column reduction.
void BM_HistoryReduce(benchmark::State& state) {
    const int64_t frames = state.range(0) * static_cast<int64_t>(kRate);
    for (auto _ : state) {
        LevelHistory h(columns(), frames);
        fill(h, frames);
        benchmark::DoNotOptimize(h.at(kPeak, 0));
    }
}

// Drawing the reduced history alone.
void BM_PlotDraw(benchmark::State& state) {
    const int64_t frames = state.range(0) * static_cast<int64_t>(kRate);
    LevelHistory h(columns(), frames);
    fill(h, frames);
    const PlotInfo info{"bench", kRate, frames, PlotSettings{}, std::string()};
    for (auto _ : state) cairo_surface_destroy(draw_history(h, info, 1200, 600));
}

// Drawing the reduced history and writing the PNG.
void BM_PlotDrawAndWrite(benchmark::State& state) {
    const int64_t frames = state.range(0) * static_cast<int64_t>(kRate);
    LevelHistory h(columns(), frames);
    fill(h, frames);
    const PlotInfo info{"bench", kRate, frames, PlotSettings{}, std::string()};
    const std::string png = temp_dir() + "/history.png";
    std::string error;
    for (auto _ : state)
        if (!write_history_png(png, h, info, 1200, 600, error)) state.SkipWithError(error.c_str());
}

}  // namespace

BENCHMARK(BM_BatchFilesPerSecond)
    ->ArgNames({"jobs", "loudness"})
    ->Args({1, 0})
    ->Args({1, 1})
    ->Args({2, 0})
    ->Args({2, 1})
    ->Unit(benchmark::kSecond)->Iterations(3)->UseRealTime();
BENCHMARK(BM_FfmpegEbur128FilesPerSecond)->Unit(benchmark::kSecond)->Iterations(3)->UseRealTime();
BENCHMARK(BM_HistoryReduce)->Arg(60)->Arg(3600)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PlotDraw)->Arg(60)->Arg(3600)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PlotDrawAndWrite)->Arg(60)->Arg(3600)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
