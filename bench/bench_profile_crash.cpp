// Crash test of terminal-file saves, run on demand:
//
//   bench_profile_crash [runs] [writes] [megabytes]        (defaults 30, 30, 7)
//
// A writer process makes `writes` key writes to a catalogue of about `megabytes` MB (each one
// an atomic replacement) and is killed with SIGKILL at a random moment. Afterwards the file
// must be exactly the file before or after one of the writes (never torn), and the next load
// of the file must remove the temporary copy the killed writer left. Prints the figures and
// exits 1 when a run failed.

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <thread>

#include <csignal>
#include <sys/wait.h>
#include <unistd.h>

#include "core/profile.h"

using namespace tallyhost;
namespace fs = std::filesystem;

namespace {

std::string readAll(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

int temporaryCopies(const fs::path& dir)
{
    int n = 0;
    for (const auto& entry : fs::directory_iterator(dir)) {
        if (entry.path().filename().string().starts_with(".cat.thf.tmp"))
            ++n;
    }
    return n;
}

// The writer: never returns.
[[noreturn]] void writer(const std::string& path, int writes)
{
    TExtIniFile ini(path);
    for (int i = 1; i <= writes; ++i)
        ini.WriteString("General", "Counter", std::to_string(i));
    std::_Exit(0);
}

} // namespace

int main(int argc, char** argv)
{
    const int runs = argc > 1 ? std::atoi(argv[1]) : 30;
    const int writes = argc > 2 ? std::atoi(argv[2]) : 30;
    const int megabytes = argc > 3 ? std::atoi(argv[3]) : 7;

    char pattern[] = "/tmp/tallyhost-crash-XXXXXX";
    if (!::mkdtemp(pattern))
        return 2;
    const fs::path dir = pattern;
    const std::string path = (dir / "cat.thf").string();

    std::string base = "[General]\r\nProtocol=0\r\nCounter=0\r\n\r\n[Big]\r\n";
    const std::string filler(100, 'x');
    for (int i = 0; base.size() < static_cast<std::size_t>(megabytes) * 1024 * 1024; ++i)
        base += "Key" + std::to_string(i) + "=" + filler + "\r\n";

    // How long an uninterrupted writer takes, to spread the kills over its whole run.
    std::ofstream(path, std::ios::binary) << base;
    const auto start = std::chrono::steady_clock::now();
    if (const pid_t child = ::fork(); child == 0)
        writer(path, writes);
    else
        ::waitpid(child, nullptr, 0);
    const auto whole = std::chrono::steady_clock::now() - start;
    const auto wholeUs = std::chrono::duration_cast<std::chrono::microseconds>(whole).count();

    std::mt19937 rng(std::random_device{}());
    std::uniform_int_distribution<long long> when(0, wholeUs);
    int killed = 0, torn = 0, leftByKill = 0, leftAfterOpen = 0, sawWrites = 0;
    for (int run = 0; run < runs; ++run) {
        std::ofstream(path, std::ios::binary | std::ios::trunc) << base;
        const pid_t child = ::fork();
        if (child == 0)
            writer(path, writes);
        std::this_thread::sleep_for(std::chrono::microseconds(when(rng)));
        int status = 0;
        ::kill(child, SIGKILL);
        ::waitpid(child, &status, 0);
        if (WIFSIGNALED(status))
            ++killed;

        // The file must be the one some number of writes (0 to all) leaves.
        const std::string bytes = readAll(path);
        const std::string counter =
            IniDocument::FromBytes(bytes).ReadString("General", "Counter", "?");
        IniDocument expected = IniDocument::FromBytes(base);
        expected.WriteString("General", "Counter", counter);
        if (bytes != expected.ToBytes())
            ++torn;
        if (counter != "0")
            ++sawWrites;

        leftByKill += temporaryCopies(dir);
        IniDocument::Load(path); // the next open
        leftAfterOpen += temporaryCopies(dir);
    }
    fs::remove_all(dir);

    std::printf("catalogue %.1f MB, %d writes per run, uninterrupted run %.0f ms\n",
                static_cast<double>(base.size()) / (1024 * 1024), writes,
                static_cast<double>(wholeUs) / 1000.0);
    std::printf("runs %d, writer killed %d, file had some writes %d\n", runs, killed, sawWrites);
    std::printf("torn files %d, temporary copies left by the kill %d, left after the next open "
                "%d\n",
                torn, leftByKill, leftAfterOpen);
    return torn == 0 && leftAfterOpen == 0 ? 0 : 1;
}
