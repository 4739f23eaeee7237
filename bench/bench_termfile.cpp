// Terminal-file costs on a large catalogue: 500 groups of 20 commands (10,000 commands with
// eight command fields, four answer fields and a combo list each, about 5 MB). The smaller
// sizes show how each cost grows with the file.

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>

#include <benchmark/benchmark.h>
#include <unistd.h>

#include "bench/benchcatalogue.h"
#include "core/catalogcheck.h"
#include "core/profile.h"
#include "core/template.h"
#include "core/termcache.h"
#include "core/termfile.h"

using namespace tallyhost;
using namespace tallyhost::bench;

namespace {

// One catalogue file per size, made once per run.
std::map<int, std::string> paths;

const std::string& cataloguePath(int groups)
{
    auto it = paths.find(groups);
    if (it == paths.end()) {
        const std::string path = (std::filesystem::temp_directory_path() /
                                  ("tallyhost-bench-" + std::to_string(::getpid()) + "-" +
                                   std::to_string(groups) + ".thf"))
                                     .string();
        std::ofstream(path, std::ios::binary) << makeCatalogue(groups);
        it = paths.emplace(groups, path).first;
    }
    return it->second;
}

std::int64_t fileSize(const std::string& path)
{
    return static_cast<std::int64_t>(std::filesystem::file_size(path));
}

void BM_LoadCache(benchmark::State& state)
{
    const std::string& path = cataloguePath(static_cast<int>(state.range(0)));
    for (auto _ : state) {
        TTerminalCache cache(path);
        benchmark::DoNotOptimize(cache);
    }
    state.SetBytesProcessed(state.iterations() * fileSize(path));
    state.SetComplexityN(fileSize(path));
    state.counters["file_MB"] = static_cast<double>(fileSize(path)) / 1e6;
}

void BM_LoadProfileDocument(benchmark::State& state)
{
    const std::string& path = cataloguePath(static_cast<int>(state.range(0)));
    for (auto _ : state) {
        IniDocument doc = IniDocument::Load(path);
        benchmark::DoNotOptimize(doc);
    }
    state.SetBytesProcessed(state.iterations() * fileSize(path));
    state.SetComplexityN(fileSize(path));
}

// What building the command tree costs: a profile reader opened on the file, the groups
// listed, then the commands of every group (10,500 key listings, one file read).
void BM_TreeListing(benchmark::State& state)
{
    const std::string& path = cataloguePath(static_cast<int>(state.range(0)));
    std::size_t commands = 0;
    for (auto _ : state) {
        TExtIniFile ini(path);
        commands = 0;
        for (const std::string& group : ini.ReadSection(SectionGroups))
            commands += ini.ReadSection(group).size();
        benchmark::DoNotOptimize(commands);
    }
    if (commands != static_cast<std::size_t>(state.range(0)) * CommandsPerGroup)
        state.SkipWithError("wrong command count");
    state.counters["commands"] = static_cast<double>(commands);
    state.SetComplexityN(fileSize(path));
}

void BM_ParseCommand(benchmark::State& state)
{
    const std::string& path = cataloguePath(static_cast<int>(state.range(0)));
    const TTerminalCache cache(path);
    const std::string section =
        CommandSectionName(groupName(static_cast<int>(state.range(0)) / 2), commandName(7));
    TCommandDefinition def;
    for (auto _ : state) {
        LoadCommandFields(cache, section, def);
        LoadAnswerFields(cache, section, def);
        benchmark::DoNotOptimize(def);
    }
    if (def.FieldCount != 8 || def.AnswerCount != 4)
        state.SkipWithError("wrong field count");
}

// One key written through the one-shot profile function: read the file, change one line,
// write it back as an atomic replacement (temporary file, fsync, rename).
void BM_KeyWriteOneShot(benchmark::State& state)
{
    const std::string& path = cataloguePath(static_cast<int>(state.range(0)));
    int n = 0;
    for (auto _ : state)
        ProfileWriteString(path, "General", "Protocol", std::to_string(++n % 2));
    state.SetComplexityN(fileSize(path));
}

// The same through a TExtIniFile that already holds the file (a dialog writing several keys).
void BM_KeyWriteHeldFile(benchmark::State& state)
{
    const std::string& path = cataloguePath(static_cast<int>(state.range(0)));
    TExtIniFile ini(path);
    ini.ReadSection(SectionGroups);
    int n = 0;
    for (auto _ : state)
        ini.WriteString(SectionGeneral, KeyProtocol, std::to_string(++n % 2));
    state.SetComplexityN(fileSize(path));
}

// Pasting a group of 20 commands as one batch: 41 writes, one replacement of the file.
void BM_PasteGroupBatch(benchmark::State& state)
{
    const std::string& path = cataloguePath(static_cast<int>(state.range(0)));
    int n = 0;
    for (auto _ : state) {
        TExtIniFile ini(path);
        TIniTransaction batch(ini);
        const std::string target = "Pasted" + std::to_string(++n);
        ini.WriteString(SectionGroups, target, "");
        for (int c = 0; c < CommandsPerGroup; ++c) {
            ini.WriteString(target, commandName(c), "");
            CopyCommandSection(ini, CommandSectionName(groupName(0), commandName(c)),
                               CommandSectionName(target, commandName(c)));
        }
        // Undo in the same batch, so that the file keeps its size from one run to the next.
        for (int c = 0; c < CommandsPerGroup; ++c)
            ini.EraseSection(CommandSectionName(target, commandName(c)));
        ini.EraseSection(target);
        ini.DeleteKey(SectionGroups, target);
        batch.Commit();
    }
    state.SetComplexityN(fileSize(path));
}

// tallyhost-cli check without the process: read, both readers, every rule. The catalogue's
// Alpha and Boolean fields carry the default text "0", which their filters refuse, so this
// also measures 2 findings per command.
void BM_CheckCatalogue(benchmark::State& state)
{
    const std::string& path = cataloguePath(static_cast<int>(state.range(0)));
    std::vector<TCheckFinding> findings;
    for (auto _ : state) {
        if (!CheckTerminalFile(path, findings))
            state.SkipWithError("unreadable");
        benchmark::DoNotOptimize(findings);
    }
    if (findings.size() != static_cast<std::size_t>(state.range(0)) * CommandsPerGroup * 2)
        state.SkipWithError("unexpected findings");
    state.counters["findings"] = static_cast<double>(findings.size());
    state.SetComplexityN(fileSize(path));
}

void sizes(benchmark::internal::Benchmark* b)
{
    b->Arg(125)->Arg(250)->Arg(500)->Unit(benchmark::kMillisecond)->Complexity(benchmark::oN);
}

} // namespace

BENCHMARK(BM_LoadCache)->Apply(sizes);
BENCHMARK(BM_LoadProfileDocument)->Apply(sizes);
BENCHMARK(BM_TreeListing)->Apply(sizes);
BENCHMARK(BM_ParseCommand)->Arg(500)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_KeyWriteOneShot)->Apply(sizes);
BENCHMARK(BM_KeyWriteHeldFile)->Apply(sizes);
BENCHMARK(BM_PasteGroupBatch)->Apply(sizes);
BENCHMARK(BM_CheckCatalogue)->Apply(sizes);

int main(int argc, char** argv)
{
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    std::error_code ec;
    for (const auto& [groups, path] : paths)
        std::filesystem::remove(path, ec);
    return 0;
}
