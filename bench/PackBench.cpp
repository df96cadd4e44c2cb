// Packs a generated mod tree with the archive writer and, in the same run,
// alternating with it, with "zip -9 -r -q", and prints both times (median,
// fastest, slowest), their ratio, both archive sizes and the peak memory of
// each packing process.
//
//     voriraz_pack_bench [--size-mb N | --one-file-mb N | --many-files N] [--runs N] [--tree DIR]
//                        [--threads N] [--baseline BENCH] [--parallel-only 1]
//
// Our writer runs twice per round: on one thread, and with --threads
// compressing threads (default: one per core); --parallel-only 1 leaves
// out the runs on one thread. With --baseline, another
// build of this benchmark (an earlier version of the writer) packs the same
// tree both ways in the same rounds, for a comparison from one run. Each
// round also times the compression alone, from memory, on as many threads
// (the baseline's too): the floor the parallel writer can approach.
//
// The tree holds text-like, image-like and incompressible files from a few
// hundred bytes to 8 MB: thousands of small files and enough large ones to
// reach the size asked for; --one-file-mb makes a tree of a single file of
// that size instead, and --many-files a tree of that many small files (200
// bytes to 1.5 KB, a thousand to a folder). It is generated once per size and seed under
// the system's temporary directory and reused. Every pack runs in a process
// of its own, so its peak memory is its own.

#include "packaging/ArchiveWriter.h"
#include "packaging/SourceCompressor.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace fs = std::filesystem;
using namespace voriraz;

namespace {

std::string textLike(std::mt19937 &random, std::size_t size)
{
    static const char *words[] = {"<Item>",   "</Item>", "<Creature>", "</Creature>", "CRT_VARM", "CRT_OSSIK",
                                  "<Count>",  "</Count>", "<Spell>",   "SPL_GLIMMER", "\r\n",    "    ",
                                  "<Power>",  "</Power>", "Tallow",    "href=\"/GameMechanics/Creature/"};
    std::string text;
    text.reserve(size + 64);
    while (text.size() < size) {
        text += words[random() % 16];
        if (random() % 4 == 0)
            text += std::to_string(random() % 100000);
    }
    text.resize(size);
    return text;
}

std::string imageLike(std::mt19937 &random, std::size_t size)
{
    // Smooth gradients with a little noise, as an uncompressed bitmap.
    std::string pixels(size, '\0');
    const int width = 256 + static_cast<int>(random() % 768);
    const double fx = 0.01 + (random() % 100) / 2000.0, fy = 0.01 + (random() % 100) / 3000.0;
    for (std::size_t i = 0; i < size; ++i) {
        const std::size_t p = i / 3;
        const double x = static_cast<double>(p % width), y = static_cast<double>(p / width);
        const double value = 127 + 100 * std::sin(x * fx + (i % 3)) * std::cos(y * fy) + (random() % 9);
        pixels[i] = static_cast<char>(static_cast<int>(value) & 0xFF);
    }
    return pixels;
}

std::string incompressible(std::mt19937 &random, std::size_t size)
{
    std::string bytes(size, '\0');
    for (std::size_t i = 0; i + 4 <= size; i += 4) {
        const std::uint32_t r = random();
        std::memcpy(&bytes[i], &r, 4);
    }
    return bytes;
}

std::size_t logUniform(std::mt19937 &random, double low, double high)
{
    std::uniform_real_distribution<double> d(std::log(low), std::log(high));
    return static_cast<std::size_t>(std::exp(d(random)));
}

void generateTree(const fs::path &root, std::uint64_t targetBytes)
{
    std::mt19937 random(2026);
    std::uint64_t total = 0;
    std::size_t files = 0;
    const auto writeOne = [&](std::size_t size) {
        const int kind = static_cast<int>(random() % 10);
        const fs::path dir = root / ("Area" + std::to_string(random() % 12)) / ("Set" + std::to_string(random() % 16));
        fs::create_directories(dir);
        const std::string name = "file" + std::to_string(files++);
        std::string content;
        std::string ext;
        if (kind < 5) {
            content = textLike(random, size);
            ext = ".xdb";
        } else if (kind < 8) {
            content = imageLike(random, size);
            ext = ".bmp";
        } else {
            content = incompressible(random, size);
            ext = ".jpg";
        }
        std::ofstream(dir / (name + ext), std::ios::binary).write(content.data(), static_cast<std::streamsize>(content.size()));
        total += size;
    };
    // Thousands of small files take about a third of the size...
    while (total < targetBytes / 3)
        writeOne(logUniform(random, 200, 16384));
    // ...and files up to 8 MB, several over one compression chunk, the rest.
    while (total < targetBytes)
        writeOne(logUniform(random, 65536, 8 * 1048576));
    std::printf("generated %zu files, %.1f MB in %s\n", files, total / 1e6, root.c_str());
}

// One file of the given size, in pieces of every kind of content, written
// as it is generated.
void generateOneFile(const fs::path &root, std::uint64_t targetBytes)
{
    std::mt19937 random(2027);
    fs::create_directories(root / "Area0");
    std::ofstream out(root / "Area0" / "huge.bin", std::ios::binary);
    std::uint64_t total = 0;
    while (total < targetBytes) {
        const std::size_t size =
            static_cast<std::size_t>(std::min<std::uint64_t>(logUniform(random, 65536, 8 * 1048576), targetBytes - total));
        const int kind = static_cast<int>(random() % 10);
        const std::string piece =
            kind < 5 ? textLike(random, size) : kind < 8 ? imageLike(random, size) : incompressible(random, size);
        out.write(piece.data(), static_cast<std::streamsize>(piece.size()));
        total += size;
    }
    std::printf("generated one file, %.1f MB in %s\n", total / 1e6, root.c_str());
}

// Many small files, a thousand to a folder, mostly text: the tree where the
// memory kept per entry shows.
void generateManyFiles(const fs::path &root, std::uint64_t count)
{
    std::mt19937 random(2028);
    std::uint64_t total = 0;
    for (std::uint64_t i = 0; i < count; ++i) {
        const fs::path dir = root / ("Area" + std::to_string(i / 10000)) / ("Set" + std::to_string(i / 1000 % 10));
        if (i % 1000 == 0)
            fs::create_directories(dir);
        const std::size_t size = 200 + random() % 1337;
        const int kind = static_cast<int>(random() % 10);
        const std::string content = kind < 8 ? textLike(random, size) : kind < 9 ? imageLike(random, size)
                                                                                 : incompressible(random, size);
        std::ofstream(dir / ("file" + std::to_string(i) + (kind < 8 ? ".xdb" : ".bin")), std::ios::binary)
            .write(content.data(), static_cast<std::streamsize>(content.size()));
        total += size;
    }
    std::printf("generated %ju small files, %.1f MB in %s\n", static_cast<std::uintmax_t>(count), total / 1e6,
                root.c_str());
}

struct RunResult
{
    double seconds = 0;
    long peakKb = 0;
    bool ok = false;
};

// Runs argv in a child process (optionally in dir) and measures it.
RunResult runChild(const std::vector<std::string> &args, const fs::path &dir = {})
{
    const auto start = std::chrono::steady_clock::now();
    const pid_t pid = ::fork();
    if (pid == 0) {
        if (!dir.empty() && ::chdir(dir.c_str()) != 0)
            _exit(127);
        std::vector<char *> argv;
        for (const auto &a : args)
            argv.push_back(const_cast<char *>(a.c_str()));
        argv.push_back(nullptr);
        ::execvp(argv[0], argv.data());
        _exit(127);
    }
    int status = 0;
    struct rusage usage {};
    ::wait4(pid, &status, 0, &usage);
    RunResult result;
    result.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    result.peakKb = usage.ru_maxrss;
    result.ok = WIFEXITED(status) && WEXITSTATUS(status) == 0;
    return result;
}

int packOnce(const char *archive, const char *base, int threads)
{
    TArchiveWriter writer;
    writer.Name = "ArchiveWriter1";
    writer.Options.FlushBuffers = false; // both tools leave the data in the page cache
    writer.Threads = threads;
    writer.FileName = archive;
    writer.CreateArchive(fmCreate);
    writer.BaseDir = base;
    writer.AddByMask("*.*", searchAttr::all, "");
    writer.Close();
    return 0;
}

// The tree's files cut into chunks as the writer cuts them.
struct MemoryChunk
{
    std::string data;
    bool last = false;
};

std::vector<MemoryChunk> loadChunks(const fs::path &tree)
{
    std::vector<MemoryChunk> chunks;
    for (const auto &item : fs::recursive_directory_iterator(tree)) {
        if (!item.is_regular_file() || item.path().filename() == ".complete")
            continue;
        std::ifstream in(item.path(), std::ios::binary);
        const std::string content((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        const std::size_t chunkSize = std::max<std::size_t>(1, sourceStepSize(9, 8, content.size()));
        for (std::size_t at = 0; at < content.size(); at += chunkSize) {
            MemoryChunk chunk;
            chunk.data = content.substr(at, chunkSize);
            chunk.last = at + chunkSize >= content.size();
            chunks.push_back(std::move(chunk));
        }
    }
    return chunks;
}

// Compresses the chunks from memory exactly as the writer's workers do
// (CRC-32 and deflate), on this many threads: the floor for a pack that
// reads, writes and orders nothing.
double compressionOnly(const std::vector<MemoryChunk> &chunks, int threads)
{
    const auto start = std::chrono::steady_clock::now();
    std::vector<std::thread> workers;
    std::atomic<std::size_t> next {0};
    for (int t = 0; t < threads; ++t)
        workers.emplace_back([&chunks, &next] {
            ChunkDeflater deflater;
            ChunkBuffer output;
            for (std::size_t i = next++; i < chunks.size(); i = next++) {
                const MemoryChunk &chunk = chunks[i];
                volatile std::uint32_t crc = updateCrc32(0, chunk.data.data(), chunk.data.size());
                (void)crc;
                output.grow(deflateOutputBound(chunk.data.size()), 0);
                deflater.deflate(9, chunk.data.data(), chunk.data.size(), chunk.last, output);
            }
        });
    for (auto &worker : workers)
        worker.join();
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

void report(const char *label, const std::vector<RunResult> &runs, std::uintmax_t size)
{
    std::vector<double> times;
    long peak = 0;
    for (const auto &r : runs) {
        times.push_back(r.seconds);
        peak = std::max(peak, r.peakKb);
    }
    std::printf("%-28s median %7.3f s  (fastest %7.3f, slowest %7.3f)  archive %11ju bytes  peak memory %6.1f MB\n",
                label, median(times), *std::min_element(times.begin(), times.end()),
                *std::max_element(times.begin(), times.end()), size, peak / 1024.0);
}

} // namespace

int main(int argc, char **argv)
{
    if (argc >= 4 && std::strcmp(argv[1], "--pack-once") == 0)
        return packOnce(argv[2], argv[3], argc >= 5 ? std::atoi(argv[4]) : 0);
    if (argc >= 5 && std::strcmp(argv[1], "--compress-once") == 0) {
        // Loading is not timed; the time goes to the parent through a file.
        const double seconds = compressionOnly(loadChunks(argv[2]), std::atoi(argv[3]));
        std::ofstream(argv[4]) << seconds;
        return 0;
    }

    std::uint64_t sizeMb = 200;
    bool oneFile = false;
    std::uint64_t manyFiles = 0;
    int runs = 3;
    fs::path tree;
    int threads = 0;
    std::string baseline;
    bool parallelOnly = false;
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string option = argv[i];
        if (option == "--size-mb")
            sizeMb = std::strtoull(argv[i + 1], nullptr, 10);
        else if (option == "--one-file-mb") {
            sizeMb = std::strtoull(argv[i + 1], nullptr, 10);
            oneFile = true;
        }
        else if (option == "--many-files")
            manyFiles = std::strtoull(argv[i + 1], nullptr, 10);
        else if (option == "--runs")
            runs = std::max(1, std::atoi(argv[i + 1]));
        else if (option == "--tree")
            tree = argv[i + 1];
        else if (option == "--threads")
            threads = std::atoi(argv[i + 1]);
        else if (option == "--baseline")
            baseline = fs::canonical(argv[i + 1]).string();
        else if (option == "--parallel-only")
            parallelOnly = std::atoi(argv[i + 1]) != 0;
        else {
            std::fprintf(stderr, "Unknown option %s\n", option.c_str());
            return 2;
        }
    }
    if (tree.empty()) {
        tree = fs::temp_directory_path()
               / (manyFiles > 0 ? "voriraz-pack-bench-many-" + std::to_string(manyFiles)
                                : "voriraz-pack-bench-" + std::string(oneFile ? "one-" : "") + std::to_string(sizeMb) + "mb");
        if (!fs::exists(tree / ".complete")) {
            fs::remove_all(tree);
            if (manyFiles > 0)
                generateManyFiles(tree, manyFiles);
            else if (oneFile)
                generateOneFile(tree, sizeMb * 1000000);
            else
                generateTree(tree, sizeMb * 1000000);
            std::ofstream(tree / ".complete");
        }
    }
    const fs::path out = fs::temp_directory_path() / "voriraz-pack-bench-out";
    fs::create_directories(out);
    const fs::path ours = out / "ours.pak";
    const fs::path oursParallel = out / "ours-parallel.pak";
    const fs::path theirs = out / "theirs.zip";
    const fs::path before = out / "before.pak";
    const fs::path beforeParallel = out / "before-parallel.pak";
    const std::string self = fs::canonical("/proc/self/exe").string();

    // Warm the page cache once so every run reads from memory. (tar into
    // /dev/null would not do: it notices and reads no file.)
    {
        std::vector<char> buffer(1u << 20);
        for (const auto &item : fs::recursive_directory_iterator(tree))
            if (item.is_regular_file())
                for (std::ifstream in(item.path(), std::ios::binary); in.read(buffer.data(), static_cast<std::streamsize>(buffer.size()));)
                    ;
    }

    const int floorThreads = threads > 0 ? threads : static_cast<int>(std::max(1u, std::thread::hardware_concurrency()));
    std::vector<double> floorRuns, beforeFloorRuns;
    std::vector<RunResult> ourRuns, parallelRuns, zipRuns, beforeRuns, beforeParallelRuns;
    for (int run = 0; run < runs; ++run) {
        if (!parallelOnly) {
            fs::remove(ours);
            ourRuns.push_back(runChild({self, "--pack-once", ours.string(), tree.string(), "1"}));
        }
        fs::remove(oursParallel);
        parallelRuns.push_back(
            runChild({self, "--pack-once", oursParallel.string(), tree.string(), std::to_string(threads)}));
        if (!baseline.empty()) {
            if (!parallelOnly) {
                fs::remove(before);
                beforeRuns.push_back(runChild({baseline, "--pack-once", before.string(), tree.string(), "1"}));
            }
            fs::remove(beforeParallel);
            beforeParallelRuns.push_back(
                runChild({baseline, "--pack-once", beforeParallel.string(), tree.string(), std::to_string(threads)}));
        }
        // In a process of its own too, so the chunks it holds in memory
        // weigh on no other run's peak memory.
        const fs::path floorTime = out / "compression-only.time";
        runChild({self, "--compress-once", tree.string(), std::to_string(floorThreads), floorTime.string()});
        double seconds = 0;
        std::ifstream(floorTime) >> seconds;
        floorRuns.push_back(seconds);
        if (!baseline.empty()) {
            runChild({baseline, "--compress-once", tree.string(), std::to_string(floorThreads), floorTime.string()});
            std::ifstream(floorTime) >> seconds;
            beforeFloorRuns.push_back(seconds);
        }
        fs::remove(theirs);
        zipRuns.push_back(runChild({"zip", "-9", "-r", "-q", theirs.string(), "."}, tree));
        if ((!parallelOnly && !ourRuns.back().ok) || !parallelRuns.back().ok || !zipRuns.back().ok
            || (!baseline.empty() && !beforeParallelRuns.back().ok)) {
            std::fprintf(stderr, "a packing run failed (is zip installed?)\n");
            return 1;
        }
    }
    const auto zipSize = fs::file_size(theirs);
    const auto medianOf = [](const std::vector<RunResult> &results) {
        std::vector<double> times;
        for (const auto &r : results)
            times.push_back(r.seconds);
        return median(times);
    };
    const auto peakOf = [](const std::vector<RunResult> &results) {
        long peak = 0;
        for (const auto &r : results)
            peak = std::max(peak, r.peakKb);
        return peak / 1024.0;
    };
    const double zipTime = medianOf(zipRuns);
    const std::string parallelLabel =
        "voriraz (" + (threads > 0 ? std::to_string(threads) : std::string("all cores")) + ")";
    if (!parallelOnly)
        report("voriraz (1 thread)", ourRuns, fs::file_size(ours));
    report(parallelLabel.c_str(), parallelRuns, fs::file_size(oursParallel));
    if (!baseline.empty()) {
        if (!parallelOnly)
            report("baseline (1 thread)", beforeRuns, fs::file_size(before));
        report(("baseline " + parallelLabel.substr(8)).c_str(), beforeParallelRuns, fs::file_size(beforeParallel));
    }
    report("zip -9 -r -q", zipRuns, zipSize);
    std::printf("%-28s median %7.3f s  (fastest %7.3f, slowest %7.3f)  in memory, %d threads\n",
                "compression only", median(floorRuns), *std::min_element(floorRuns.begin(), floorRuns.end()),
                *std::max_element(floorRuns.begin(), floorRuns.end()), floorThreads);
    // One line per build: the parallel writer against zip -9, for the report.
    const auto summary = [&](const char *label, const std::vector<RunResult> &single,
                             const std::vector<RunResult> &parallel, const fs::path &archive,
                             const std::vector<double> &floor) {
        std::printf("%-8s relative to zip -9 (%.3f s): parallel time %.3f size %.4f peak %.1f MB; compression only %.3f",
                    label, zipTime, medianOf(parallel) / zipTime,
                    static_cast<double>(fs::file_size(archive)) / static_cast<double>(zipSize), peakOf(parallel),
                    median(floor) / zipTime);
        if (!single.empty())
            std::printf("; 1 thread time %.3f", medianOf(single) / zipTime);
        std::printf("\n");
    };
    summary("after", ourRuns, parallelRuns, oursParallel, floorRuns);
    if (!baseline.empty())
        summary("before", beforeRuns, beforeParallelRuns, beforeParallel, beforeFloorRuns);
    return 0;
}
