// SPDX-License-Identifier: MIT
// Cost of the settings reads and writes Corvalen does through cInifile, on a
// file of the size it ships with (7 keys) and on a large one (10,000 keys), to
// show how a read's cost grows with the file; then the start-up reads and a
// delete on files of up to a million lines and on one of 16 MiB of blank
// lines, with the process's peak memory.

#include <benchmark/benchmark.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <sys/resource.h>
#include <unistd.h>

#include "inifile/cinifile.hpp"

namespace {

namespace fs = std::filesystem;

// A settings file with the Options and Toolbar sections start-up reads; with
// more keys than those seven, the extra ones go into sections placed before
// them, so that a read has to get through all of it.
fs::path make_settings(int keys) {
    const fs::path path =
        fs::temp_directory_path() /
        ("corvalen-bench-" + std::to_string(getpid()) + "-" + std::to_string(keys) + ".ini");
    std::ofstream out(path, std::ios::trunc);
    const int filler = keys - 7;
    for (int i = 0; i < filler; ++i) {
        if (i % 100 == 0) {
            out << "[Filler" << i / 100 << "]\n";
        }
        out << "Key" << i << "=some value number " << i << "\n";
    }
    out << "[Options]\nHomepage=http://127.0.0.1/\nPassword=secret\n"
           "[Toolbar]\nBackEnabled=1\nForwardEnabled=1\nStopEnabled=1\nRefreshEnabled=0\n"
           "HomeEnabled=1\n";
    return path;
}

struct Read {
    const char* section;
    const char* key;
};

// What Form_Load reads at start-up.
constexpr Read kStartupReads[] = {
    {"Options", "Homepage"},       {"Options", "Password"},    {"Toolbar", "BackEnabled"},
    {"Toolbar", "ForwardEnabled"}, {"Toolbar", "StopEnabled"}, {"Toolbar", "RefreshEnabled"},
    {"Toolbar", "HomeEnabled"},
};

// What Form_Load does with the settings file.
void startup_reads(const fs::path& path) {
    cInifile ini;
    ini.Path(path.string());
    for (const Read& read : kStartupReads) {
        ini.Section(read.section);
        ini.Key(read.key);
        ini.Default("");
        benchmark::DoNotOptimize(ini.Value());
    }
}

void BM_Read(benchmark::State& state) {
    const fs::path path = make_settings(static_cast<int>(state.range(0)));
    cInifile ini;
    ini.Path(path.string());
    ini.Section("Toolbar");
    ini.Key("HomeEnabled");
    ini.Default("1");
    for (auto _ : state) {
        benchmark::DoNotOptimize(ini.Value());
    }
    state.SetComplexityN(state.range(0));
    fs::remove(path);
}
BENCHMARK(BM_Read)->Arg(7)->Arg(100)->Arg(1000)->Arg(10000)->Complexity();

void BM_StartupReads(benchmark::State& state) {
    const fs::path path = make_settings(static_cast<int>(state.range(0)));
    for (auto _ : state) {
        startup_reads(path);
    }
    fs::remove(path);
}
BENCHMARK(BM_StartupReads)->Arg(7)->Arg(10000);

void BM_Write(benchmark::State& state) {
    const fs::path path = make_settings(static_cast<int>(state.range(0)));
    cInifile ini;
    ini.Path(path.string());
    ini.Section("Options");
    ini.Key("Homepage");
    bool flip = false;
    for (auto _ : state) {
        // A changed value each time, so that every write really rewrites.
        flip = !flip;
        ini.Value(std::string(flip ? "http://127.0.0.1/a" : "http://127.0.0.1/b"));
    }
    state.SetComplexityN(state.range(0));
    fs::remove(path);
}
BENCHMARK(BM_Write)->Arg(7)->Arg(100)->Arg(1000)->Arg(10000)->Complexity();

// A file of `lines` lines (short keys in sections of 100, so that a million
// stay under the size limit), the start-up sections last; with lines < 0,
// 16 MiB of blank lines before them.
fs::path make_large(std::int64_t lines) {
    const fs::path path =
        fs::temp_directory_path() /
        ("corvalen-bench-" + std::to_string(getpid()) + "-large-" + std::to_string(lines) + ".ini");
    std::ofstream out(path, std::ios::trunc);
    if (lines < 0) {
        out << std::string(16 * 1024 * 1024 - 200, '\n');
    }
    for (std::int64_t i = 0; i < lines; ++i) {
        if (i % 100 == 0) {
            out << "[Filler" << i / 100 << "]\n";
        }
        out << "K" << i << "=v\n";
    }
    out << "[Options]\nHomepage=http://127.0.0.1/\nPassword=secret\n"
           "[Toolbar]\nBackEnabled=1\nForwardEnabled=1\nStopEnabled=1\nRefreshEnabled=0\n"
           "HomeEnabled=1\n";
    return path;
}

// The files of the large-file benchmarks, with their growth fitted.
void large_files(benchmark::internal::Benchmark* benchmark) {
    benchmark->Arg(1000)->Arg(100000)->Arg(1000000)->Arg(-1);
    benchmark->Unit(benchmark::kMillisecond)->Complexity(benchmark::oN);
}

void report_peak_memory(benchmark::State& state) {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    state.counters["peak_MB"] = static_cast<double>(usage.ru_maxrss) / 1024.0;
}

void BM_LargeStartupReads(benchmark::State& state) {
    const fs::path path = make_large(state.range(0));
    for (auto _ : state) {
        startup_reads(path);
    }
    state.SetComplexityN(static_cast<std::int64_t>(fs::file_size(path)));
    report_peak_memory(state);
    fs::remove(path);
}
BENCHMARK(BM_LargeStartupReads)->Apply(large_files);

void BM_LargeDelete(benchmark::State& state) {
    const fs::path path = make_large(state.range(0));
    const std::string original = [&] {
        std::ifstream in(path, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }();
    cInifile ini;
    ini.Path(path.string());
    ini.Section(state.range(0) < 0 ? "Options" : "Filler0");
    ini.Key(state.range(0) < 0 ? "Password" : "K1");
    for (auto _ : state) {
        state.PauseTiming();
        std::ofstream(path, std::ios::trunc | std::ios::binary) << original;
        state.ResumeTiming();
        ini.DeleteKey();
    }
    state.SetComplexityN(static_cast<std::int64_t>(original.size()));
    report_peak_memory(state);
    fs::remove(path);
}
BENCHMARK(BM_LargeDelete)->Apply(large_files);

} // namespace

BENCHMARK_MAIN();
