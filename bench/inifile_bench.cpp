// SPDX-License-Identifier: MIT
// Cost of the settings reads and writes Corvalen does through cInifile, on a
// file of the size it ships with (7 keys) and on a large one (10,000 keys), to
// show how a read's cost grows with the file.

#include <benchmark/benchmark.h>

#include <filesystem>
#include <fstream>
#include <string>
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
        cInifile ini;
        ini.Path(path.string());
        for (const Read& read : kStartupReads) {
            ini.Section(read.section);
            ini.Key(read.key);
            ini.Default("");
            benchmark::DoNotOptimize(ini.Value());
        }
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

} // namespace

BENCHMARK_MAIN();
