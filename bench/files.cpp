// File reading speed: a 64 MB file through plain read(), the blocking and threaded direct files
// and an archive member, and the archive LZ decoder's throughput; opening a plain file deep in
// folders through the default file-access table against a plain open(), side by side; threaded
// reads alone against the same reads beside idle reader threads, side by side; images loaded
// from a plain folder against the same images loaded from an archive, side by side; and images
// loaded below a busy folder while it is quiet against while another program changes it.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <sched.h>
#include <signal.h>
#include <stdlib.h>
#include <time.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <fstream>
#include <string>
#include <vector>

#include "alternate.h"
#include "archive_writer.h"
#include "core/core.h"
#include "core/direct_file.h"
#include "core/lz.h"
#include "graphics/graphics.h"

namespace {

constexpr size_t kFileSize = 64u << 20;
constexpr size_t kLzSize = 16u << 20;

std::vector<uint8_t> MakeBytes(size_t size, bool compressible) {
    std::vector<uint8_t> bytes(size);
    uint32_t state = 12345;
    auto next = [&state] { return state = state * 1664525u + 1013904223u; };
    size_t i = 0;
    while (i < size) {
        const uint32_t r = next();
        if (!compressible || i < 4096 || (r >> 29) == 0) {
            bytes[i++] = static_cast<uint8_t>(next() >> 24);  // noise
            continue;
        }
        // A repeat of 4 to 259 bytes from up to 4000 bytes back (now and then much further).
        const size_t distance = 1 + ((r >> 20) % 8 == 0 ? next() % (i - 1) : (r >> 8) % 4000);
        const size_t length = 4 + (next() >> 24);
        for (size_t n = 0; n < length && i < size && distance <= i; ++n, ++i) bytes[i] = bytes[i - distance];
    }
    return bytes;
}

// The benchmark files, made once: the 64 MB file, an archive holding it, and a packed block.
struct Fixture {
    std::string folder;
    std::string plainPath;
    std::string memberPath;
    std::vector<uint8_t> packed;

    Fixture() {
        folder = (std::filesystem::temp_directory_path() /
                  ("velk-bench-files-" + std::to_string(getpid())))
                     .string();
        std::filesystem::create_directories(folder);
        const std::vector<uint8_t> bytes = MakeBytes(kFileSize, false);
        plainPath = folder + "/big.bin";
        std::ofstream(plainPath, std::ios::binary)
            .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
        std::vector<ArchiveWriterFile> files(1);
        files[0].path = "BIG.BIN";
        files[0].data = bytes;
        ArchiveWriterOptions options;
        options.compression = ArchiveCompression::Store;
        std::string error;
        WriteArchive(folder + "/DATA.VKA", files, options, &error);
        memberPath = folder + "/DATA/BIG.BIN";
        const std::vector<uint8_t> text = MakeBytes(kLzSize, true);
        packed = EncodeArchiveData(text.data(), text.size());
    }
    ~Fixture() { std::filesystem::remove_all(folder); }
};

Fixture& GetFixture() {
    static Fixture fixture;
    return fixture;
}

void PlainRead(benchmark::State& state) {
    Fixture& fixture = GetFixture();
    std::vector<uint8_t> buffer(static_cast<size_t>(state.range(0)));
    for (auto _ : state) {
        const int fd = open(fixture.plainPath.c_str(), O_RDONLY);
        size_t total = 0;
        for (ssize_t got; (got = read(fd, buffer.data(), buffer.size())) > 0;) total += static_cast<size_t>(got);
        close(fd);
        benchmark::DoNotOptimize(total);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * kFileSize));
}

// cache and async flags of the direct file.
void DirectFileRead(benchmark::State& state, int cache, int async) {
    Fixture& fixture = GetFixture();
    std::vector<uint8_t> buffer(static_cast<size_t>(state.range(0)));
    for (auto _ : state) {
        DirectFile* file = OpenDirectFile(fixture.plainPath.c_str(), cache, 1, async);
        size_t total = 0;
        for (size_t got; (got = ReadDirectFile(buffer.data(), 1, buffer.size(), file)) > 0;) {
            WaitDirectFile(file);
            total += got;
        }
        CloseDirectFile(file);
        if (total != kFileSize) state.SkipWithError("short read");
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * kFileSize));
}

void BlockingDirectFile(benchmark::State& state) { DirectFileRead(state, 0, 0); }
void ThreadedDirectFile(benchmark::State& state) { DirectFileRead(state, 1, 0); }
void ThreadedAsyncDirectFile(benchmark::State& state) { DirectFileRead(state, 0, 1); }

void ArchiveMemberRead(benchmark::State& state) {
    Fixture& fixture = GetFixture();
    std::vector<uint8_t> buffer(static_cast<size_t>(state.range(0)));
    for (auto _ : state) {
        const intptr_t handle = OpenFileHandle(fixture.memberPath.c_str(), 0, 1, 0);
        size_t total = 0;
        for (size_t got; (got = ReadFileHandle(buffer.data(), 1, buffer.size(), handle)) > 0;) total += got;
        CloseFileHandle(handle);
        if (total != kFileSize) state.SkipWithError("short read");
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * kFileSize));
}

void LzDecode(benchmark::State& state) {
    Fixture& fixture = GetFixture();
    std::vector<uint8_t> output(kLzSize);
    for (auto _ : state) {
        const int64_t size =
            DecodeArchiveData(fixture.packed.data(), fixture.packed.size(), output.data(), output.size());
        if (size != static_cast<int64_t>(kLzSize)) state.SkipWithError("decode failed");
        benchmark::DoNotOptimize(output.data());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * kLzSize));
    state.counters["ratio"] = static_cast<double>(kLzSize) / static_cast<double>(fixture.packed.size());
}

// A plain file 13 path components deep in the working folder (program data sits beside the
// program), with no archive anywhere on its way.
struct DeepFile {
    std::string root;
    std::string path;
    DeepFile() {
        const std::filesystem::path here = std::filesystem::current_path();
        int depth = 0;
        for (const auto& part : here.relative_path()) {
            (void)part;
            ++depth;
        }
        root = (here / ("velk-bench-open-" + std::to_string(getpid()))).string();
        std::string folder = root;
        for (int level = 1; depth + 1 + level < 13; ++level) folder += "/Level" + std::to_string(level);
        std::filesystem::create_directories(folder);
        path = folder + "/Plain.bin";
        std::ofstream(path, std::ios::binary) << "plain";
        // Folder listings are kept only once the folders are older than the file system's
        // time step: let them settle, as installed data has.
        usleep(2100 * 1000);
    }
    ~DeepFile() { std::filesystem::remove_all(root); }
};

double NowMicroseconds() {
    timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<double>(now.tv_sec) * 1e6 + static_cast<double>(now.tv_nsec) / 1e3;
}

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

// One side's times of a comparison, in microseconds.
struct Side {
    const char* name;
    const std::vector<double>& times;
};

// Prints the two sides' medians and the median ratio (second / first) with the machine's load,
// and keeps them as the benchmark's counters.
void ReportMedians(benchmark::State& state, const char* what, Side first, Side second,
                   const std::vector<double>& ratios) {
    double load[3] = {0, 0, 0};
    getloadavg(load, 3);
    std::printf("%s  median %s %.2f us  %s %.2f us  ratio %.2f  (load average %.2f %.2f %.2f)\n",
                what, first.name, Median(first.times), second.name, Median(second.times),
                Median(ratios), load[0], load[1], load[2]);
    state.counters[std::string(first.name) + "_us"] = Median(first.times);
    state.counters[std::string(second.name) + "_us"] = Median(second.times);
    state.counters["ratio"] = Median(ratios);
    state.counters["load1"] = load[0];
}

// Rounds of A (open + close) and B (the default table's open + close), alternating, each timing
// kOpens opens; one core. touchFolder: the file's folder changes before every B, so the table
// reads the folder again each time (the case where keeping listings cannot help).
void OpenThroughTableAgainstOpen(benchmark::State& state, bool touchFolder) {
    static DeepFile deep;
    constexpr int kRounds = 15;
    constexpr int kOpens = 2000;
    cpu_set_t one;
    CPU_ZERO(&one);
    CPU_SET(sched_getcpu(), &one);
    sched_setaffinity(0, sizeof(one), &one);
    const std::string folder = deep.path.substr(0, deep.path.find_last_of('/'));
    const std::string marker = folder + "/marker";
    for (auto _ : state) {
        std::vector<double> ratios, openTimes, tableTimes;
        for (int round = 0; round < kRounds; ++round) {
            double start = NowMicroseconds();
            for (int i = 0; i < kOpens; ++i) {
                const int fd = open(deep.path.c_str(), O_RDONLY);
                if (fd < 0) state.SkipWithError("open failed");
                close(fd);
            }
            const double a = (NowMicroseconds() - start) / kOpens;
            double b = 0;
            if (touchFolder) {
                for (int i = 0; i < kOpens; ++i) {
                    std::ofstream(marker) << i;  // the folder's time moves
                    const double one = NowMicroseconds();
                    const intptr_t handle = OpenFileHandle(deep.path.c_str(), 0, 1, 0);
                    if (handle == 0) state.SkipWithError("table open failed");
                    CloseFileHandle(handle);
                    b += NowMicroseconds() - one;
                    std::remove(marker.c_str());
                }
                b /= kOpens;
            } else {
                start = NowMicroseconds();
                for (int i = 0; i < kOpens; ++i) {
                    const intptr_t handle = OpenFileHandle(deep.path.c_str(), 0, 1, 0);
                    if (handle == 0) state.SkipWithError("table open failed");
                    CloseFileHandle(handle);
                }
                b = (NowMicroseconds() - start) / kOpens;
            }
            openTimes.push_back(a);
            tableTimes.push_back(b);
            ratios.push_back(b / a);
            std::printf("round %2d  open %7.2f us  table %8.2f us  ratio %6.1f\n", round, a, b,
                        b / a);
        }
        double load[3] = {0, 0, 0};
        getloadavg(load, 3);
        std::printf("median ratio %.1f  (load average %.2f %.2f %.2f)\n", Median(ratios), load[0],
                    load[1], load[2]);
        state.counters["open_us"] = Median(openTimes);
        state.counters["table_us"] = Median(tableTimes);
        state.counters["ratio"] = Median(ratios);
        state.counters["load1"] = load[0];
    }
}

void PlainFileOpenAgainstOpen(benchmark::State& state) { OpenThroughTableAgainstOpen(state, false); }
void ChangedFolderOpenAgainstOpen(benchmark::State& state) {
    OpenThroughTableAgainstOpen(state, true);
}

// 88 small pictures (37 x 23, 24-bit BMP) in a plain folder "Plain/Data/Img" and the same files
// in an archive "Packed/Data.vka" as "Img/...", beside the program as its data is. Every other
// picture is made of runs of one colour, which the archive keeps compressed; the others are
// noise, kept stored.
constexpr int kLoadImages = 88;
constexpr int kLoadRounds = 15;

std::vector<uint8_t> MakeBmp(int width, int height, uint32_t seed, bool runs) {
    const int pitch = (width * 3 + 3) & ~3;
    const uint32_t pixels = static_cast<uint32_t>(pitch * height);
    std::vector<uint8_t> bmp(54 + pixels);
    auto put = [&bmp](size_t at, uint32_t value, int bytes) {
        for (int i = 0; i < bytes; ++i) bmp[at + i] = static_cast<uint8_t>(value >> (8 * i));
    };
    bmp[0] = 'B';
    bmp[1] = 'M';
    put(2, static_cast<uint32_t>(bmp.size()), 4);
    put(10, 54, 4);
    put(14, 40, 4);
    put(18, static_cast<uint32_t>(width), 4);
    put(22, static_cast<uint32_t>(height), 4);
    put(26, 1, 2);
    put(28, 24, 2);
    put(34, pixels, 4);
    for (uint32_t i = 0; i < pixels; ++i) {
        if (!runs || i % 24 == 0) seed = seed * 1664525u + 1013904223u;
        bmp[54 + i] = static_cast<uint8_t>(seed >> (runs ? 8 * (i % 3) : 24));
    }
    return bmp;
}

struct LoadFixture {
    std::string root;
    std::vector<std::string> plainNames;
    std::vector<std::string> packedNames;
    LoadFixture() {
        root = (std::filesystem::current_path() / ("velk-bench-load-" + std::to_string(getpid()))).string();
        std::filesystem::create_directories(root + "/Plain/Data/Img");
        std::filesystem::create_directories(root + "/Packed");
        std::vector<ArchiveWriterFile> files;
        for (int i = 0; i < kLoadImages; ++i) {
            const std::string name = "pic" + std::to_string(i) + ".bmp";
            const std::vector<uint8_t> bmp = MakeBmp(37, 23, static_cast<uint32_t>(i + 1), i % 2 == 1);
            std::ofstream(root + "/Plain/Data/Img/" + name, std::ios::binary)
                .write(reinterpret_cast<const char*>(bmp.data()), static_cast<std::streamsize>(bmp.size()));
            files.push_back(ArchiveWriterFile{"Img\\" + name, bmp});
            plainNames.push_back(root + "/Plain/Data/Img/" + name);
            packedNames.push_back(root + "/Packed/Data/Img/" + name);
        }
        ArchiveWriterOptions options;
        options.compression = ArchiveCompression::WhenSmaller;
        std::string error;
        WriteArchive(root + "/Packed/Data.vka", files, options, &error);
        // Installed data has settled folders (see DeepFile).
        usleep(2100 * 1000);
    }
    ~LoadFixture() { std::filesystem::remove_all(root); }
};

// Microseconds per image to load every picture with its alpha companion (there is none), as a
// graph load does.
double LoadAll(const std::vector<std::string>& names, bool& failed) {
    const double start = NowMicroseconds();
    for (const std::string& name : names) {
        ImageRecord image{}, alpha{};
        const int result = LoadImageWithAlpha(name.c_str(), nullptr, 0, 0, nullptr, 0, 0, &image, &alpha, 0);
        if (result < 0) failed = true;
        else ReleaseImageRecord(&image);
        if (result == 0) ReleaseImageRecord(&alpha);
    }
    return (NowMicroseconds() - start) / static_cast<double>(names.size());
}

// Rounds of the plain folder's loads and the archive's loads of the same pictures, alternating,
// on one core; the ratio archive / plain per round and the median.
void PlainFolderLoadAgainstArchive(benchmark::State& state) {
    static LoadFixture fixture;
    cpu_set_t one;
    CPU_ZERO(&one);
    CPU_SET(sched_getcpu(), &one);
    sched_setaffinity(0, sizeof(one), &one);
    alternate::PrintMachine();
    bool failed = false;
    LoadAll(fixture.plainNames, failed);  // warm
    LoadAll(fixture.packedNames, failed);
    for (auto _ : state) {
        std::vector<double> plain, packed, ratios;
        for (int round = 0; round < kLoadRounds; ++round) {
            plain.push_back(LoadAll(fixture.plainNames, failed));
            packed.push_back(LoadAll(fixture.packedNames, failed));
            ratios.push_back(packed.back() / plain.back());
            std::printf("load round %2d  plain %7.2f us  archive %7.2f us  ratio %5.2f\n", round,
                        plain.back(), packed.back(), ratios.back());
        }
        if (failed) state.SkipWithError("a load failed");
        ReportMedians(state, "load of 37 x 23 BMP", {"plain", plain}, {"archive", packed}, ratios);
    }
    CloseArchives();
}

// The same 88 pictures below a folder of 2,000 entries ("Busy/Data/Img"), loaded while the busy
// folder is quiet and while another program creates and removes a file in it again and again
// (as /tmp sees all day), alternating, on one core (the other program on the others); the
// ratio churn / quiet per round and the median. Arg 0: the names as they are on disk; arg 1:
// "Busy/DATA/img/...", so every load looks a name up in the busy folder's listing.
constexpr int kBusyEntries = 2000;

struct BusyFixture {
    std::string root;
    std::string busy;
    std::vector<std::string> exactNames;
    std::vector<std::string> foldedNames;
    BusyFixture() {
        root = (std::filesystem::current_path() / ("velk-bench-busy-" + std::to_string(getpid()))).string();
        busy = root + "/Busy";
        std::filesystem::create_directories(busy + "/Data/Img");
        for (int i = 0; i < kBusyEntries; ++i) std::ofstream(busy + "/entry" + std::to_string(i) + ".dat");
        for (int i = 0; i < kLoadImages; ++i) {
            const std::string name = "pic" + std::to_string(i) + ".bmp";
            const std::vector<uint8_t> bmp = MakeBmp(37, 23, static_cast<uint32_t>(i + 1), i % 2 == 1);
            std::ofstream(busy + "/Data/Img/" + name, std::ios::binary)
                .write(reinterpret_cast<const char*>(bmp.data()), static_cast<std::streamsize>(bmp.size()));
            exactNames.push_back(busy + "/Data/Img/" + name);
            foldedNames.push_back(busy + "/DATA/img/" + name);
        }
        usleep(2100 * 1000);  // settled, as installed data is (see DeepFile)
    }
    ~BusyFixture() { std::filesystem::remove_all(root); }
};

// Another program that creates and removes one file in the folder until killed, on every core
// but this one; stopped between churn rounds.
pid_t StartChurn(const std::string& folder) {
    const int here = sched_getcpu();
    const std::string name = folder + "/churn.tmp";  // made before the fork: the child only calls the system
    const pid_t child = fork();
    if (child != 0) return child;
    cpu_set_t others;
    CPU_ZERO(&others);
    for (int cpu = 0; cpu < CPU_SETSIZE; ++cpu)
        if (cpu != here) CPU_SET(cpu, &others);
    sched_setaffinity(0, sizeof(others), &others);
    for (;;) {
        const int fd = open(name.c_str(), O_CREAT | O_WRONLY, 0644);
        if (fd >= 0) close(fd);
        unlink(name.c_str());
    }
}

void BusyFolderLoadQuietAgainstChurn(benchmark::State& state) {
    static BusyFixture fixture;
    const std::vector<std::string>& names = state.range(0) ? fixture.foldedNames : fixture.exactNames;
    cpu_set_t one;
    CPU_ZERO(&one);
    CPU_SET(sched_getcpu(), &one);
    sched_setaffinity(0, sizeof(one), &one);
    alternate::PrintMachine();
    const pid_t churn = StartChurn(fixture.busy);
    kill(churn, SIGSTOP);
    bool failed = false;
    LoadAll(names, failed);  // warm
    for (auto _ : state) {
        std::vector<double> quiet, busy, ratios;
        for (int round = 0; round < kLoadRounds; ++round) {
            quiet.push_back(LoadAll(names, failed));
            kill(churn, SIGCONT);
            usleep(20 * 1000);  // the other program under way
            busy.push_back(LoadAll(names, failed));
            kill(churn, SIGSTOP);
            ratios.push_back(busy.back() / quiet.back());
            std::printf("busy-folder round %2d  quiet %7.2f us  churn %8.2f us  ratio %6.2f\n", round,
                        quiet.back(), busy.back(), ratios.back());
        }
        if (failed) state.SkipWithError("a load failed");
        ReportMedians(state,
                      state.range(0) ? "load below a busy folder (folded names)"
                                     : "load below a busy folder (exact names)",
                      {"quiet", quiet}, {"churn", busy}, ratios);
    }
    kill(churn, SIGKILL);
    waitpid(churn, nullptr, 0);
}

// Threaded reads beside idle reader threads: every threaded file and open archive has a reader
// thread that sleeps in a wait most of the time; a read elsewhere must not pay for them.
constexpr size_t kMemberSize = 4u << 20;
constexpr size_t kPieceSize = 4096;
constexpr int kOtherArchives = 32;
constexpr int kIdleReaders = 64;
constexpr int kSeekReadPairs = 2000;
constexpr int kBesideRounds = 9;

// A 4 MB stored member, 32 other archives of one small member each, and a plain file.
struct BesideFixture {
    std::string folder;
    std::string memberPath;
    std::string plainPath;
    std::vector<std::string> otherMembers;

    BesideFixture() {
        folder = (std::filesystem::temp_directory_path() /
                  ("velk-bench-beside-" + std::to_string(getpid())))
                     .string();
        std::filesystem::create_directories(folder);
        ArchiveWriterOptions options;
        options.compression = ArchiveCompression::Store;
        std::string error;
        std::vector<ArchiveWriterFile> files(1);
        files[0].path = "MEMBER.BIN";
        files[0].data = MakeBytes(kMemberSize, false);
        WriteArchive(folder + "/MAIN.VKA", files, options, &error);
        memberPath = folder + "/MAIN/MEMBER.BIN";
        plainPath = folder + "/plain.bin";
        std::ofstream(plainPath, std::ios::binary)
            .write(reinterpret_cast<const char*>(files[0].data.data()),
                   static_cast<std::streamsize>(files[0].data.size()));
        files[0].path = "SMALL.BIN";
        files[0].data.assign(4096, 7);
        for (int i = 0; i < kOtherArchives; ++i) {
            const std::string name = "OTHER" + std::to_string(i);
            WriteArchive(folder + "/" + name + ".VKA", files, options, &error);
            otherMembers.push_back(folder + "/" + name + "/SMALL.BIN");
        }
    }
    ~BesideFixture() { std::filesystem::remove_all(folder); }
};

BesideFixture& GetBesideFixture() {
    static BesideFixture fixture;
    return fixture;
}

// Milliseconds to read the member from its start in 4 KB pieces.
double ReadMemberInPieces(intptr_t member, std::vector<uint8_t>& buffer) {
    const double start = NowMicroseconds();
    SeekFileHandle(member, 0, 0);
    size_t total = 0;
    for (size_t got; (got = ReadFileHandle(buffer.data(), 1, kPieceSize, member)) > 0;) total += got;
    if (total != kMemberSize) std::printf("short member read: %zu bytes\n", total);
    return (NowMicroseconds() - start) / 1000;
}

// Milliseconds for 2,000 seeks and 4 KB reads of a threaded file, each read waited for.
double SeekAndReadPairs(DirectFile* file, std::vector<uint8_t>& buffer) {
    uint32_t state = 99;
    const double start = NowMicroseconds();
    for (int i = 0; i < kSeekReadPairs; ++i) {
        state = state * 1664525u + 1013904223u;
        SeekDirectFile(file, static_cast<int32_t>((state >> 8) % (kMemberSize - kPieceSize)), 0);
        ReadDirectFile(buffer.data(), 1, kPieceSize, file);
        WaitDirectFile(file);
    }
    return (NowMicroseconds() - start) / 1000;
}

// Rounds of A (alone) and B (the same beside the others, opened before and closed after B,
// untimed), alternating; the ratio B / A per round and the median.
void AloneAndBeside(benchmark::State& state, const char* what, const std::function<double()>& run,
                    const std::function<void()>& openOthers, const std::function<void()>& closeOthers) {
    alternate::PrintMachine();
    run();  // warm
    for (auto _ : state) {
        std::vector<double> alone, beside, ratios;
        for (int round = 0; round < kBesideRounds; ++round) {
            alone.push_back(run());
            openOthers();
            beside.push_back(run());
            closeOthers();
            ratios.push_back(beside.back() / alone.back());
            std::printf("%s round %d  alone %8.2f ms  beside %8.2f ms  ratio %6.2f\n", what, round,
                        alone.back(), beside.back(), ratios.back());
        }
        double load[3] = {0, 0, 0};
        getloadavg(load, 3);
        std::printf("%s  median alone %.2f ms  beside %.2f ms  ratio %.2f  (load average %.2f %.2f %.2f)\n",
                    what, Median(alone), Median(beside), Median(ratios), load[0], load[1], load[2]);
        state.counters["alone_ms"] = Median(alone);
        state.counters["beside_ms"] = Median(beside);
        state.counters["ratio"] = Median(ratios);
        state.counters["load1"] = load[0];
    }
}

// A 4 MB archive member read in 4 KB pieces, alone and with 32 other archives open (a member
// of each held open, so each archive's reader thread waits idle).
void MemberReadBesideOpenArchives(benchmark::State& state) {
    BesideFixture& fixture = GetBesideFixture();
    std::vector<uint8_t> buffer(kPieceSize);
    const intptr_t member = OpenFileHandle(fixture.memberPath.c_str(), 0, 1, 0);
    if (member == 0) {
        state.SkipWithError("member open failed");
        return;
    }
    std::vector<intptr_t> others;
    AloneAndBeside(
        state, "member read, 32 archives", [&] { return ReadMemberInPieces(member, buffer); },
        [&] {
            for (const std::string& path : fixture.otherMembers) {
                const intptr_t handle = OpenFileHandle(path.c_str(), 0, 1, 0);
                if (handle != 0) others.push_back(handle);
            }
            if (others.size() != kOtherArchives) std::printf("only %zu archives open\n", others.size());
        },
        [&] {
            for (intptr_t handle : others) CloseFileHandle(handle);
            others.clear();
            CloseArchives();
        });
    CloseFileHandle(member);
    CloseArchives();
}

// 2,000 seek and read pairs of a threaded file, alone and beside 64 idle threaded files (half
// with a read-ahead cache, whose threads wake now and then on their own, half without).
void SeekReadBesideIdleReaders(benchmark::State& state) {
    BesideFixture& fixture = GetBesideFixture();
    std::vector<uint8_t> buffer(kPieceSize);
    DirectFile* file = OpenDirectFile(fixture.plainPath.c_str(), 0, 1, 1);
    if (file == nullptr) {
        state.SkipWithError("open failed");
        return;
    }
    std::vector<DirectFile*> idle;
    AloneAndBeside(
        state, "seek+read, 64 idle readers", [&] { return SeekAndReadPairs(file, buffer); },
        [&] {
            for (int i = 0; i < kIdleReaders; ++i) {
                DirectFile* other = OpenDirectFile(fixture.plainPath.c_str(), i % 2, 1, 1 - i % 2);
                if (other != nullptr) idle.push_back(other);
            }
        },
        [&] {
            for (DirectFile* other : idle) CloseDirectFile(other);
            idle.clear();
        });
    CloseDirectFile(file);
}

}  // namespace

BENCHMARK(PlainFileOpenAgainstOpen)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(ChangedFolderOpenAgainstOpen)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(PlainFolderLoadAgainstArchive)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BusyFolderLoadQuietAgainstChurn)->Arg(0)->Arg(1)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(PlainRead)->Arg(64 << 10)->Arg(1 << 20)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BlockingDirectFile)->Arg(64 << 10)->Arg(1 << 20)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(ThreadedDirectFile)->Arg(64 << 10)->Arg(1 << 20)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(ThreadedAsyncDirectFile)->Arg(64 << 10)->Arg(1 << 20)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(ArchiveMemberRead)->Arg(64 << 10)->Arg(1 << 20)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(LzDecode)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(MemberReadBesideOpenArchives)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(SeekReadBesideIdleReaders)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();

BENCHMARK_MAIN();
