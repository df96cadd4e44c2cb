#pragma once

// Packing a hostile tree under faults. The input bytes describe a small
// tree (names from an alphabet of backslashes, colons, dots, control
// characters, bytes that are not UTF-8, and letters in two cases and two
// normalisations; files of no bytes to two chunks; folders; links inside,
// outside, nowhere and round in a loop; pipes and devices) and a schedule
// of faults (the device filling up after some bytes, files that shrink,
// grow, vanish or cannot be opened, and the answers Ignore, Retry and
// Abort). The tree is packed with the editor's settings and the archive
// held to what packing promises:
//
// - it ends in one of two states: a written archive, or the previous
//   archive byte for byte as it was, and never a temporary file beside it;
// - a written archive is read by a strict reader of its own: end record,
//   central directory and local headers agree field by field, entries
//   follow one another from the start of the file to the central directory
//   with nothing between, each inflates to its size and CRC-32, no name
//   twice, no name that could be extracted elsewhere;
// - every stored file equals its source as it is on the disk after packing;
// - every file and folder of the tree is stored or reported as left out (or
//   lies in a folder reported so).

#include "FuzzCheck.h"
#include "ScratchTree.h"

#include "packaging/ArchiveWriter.h"
#include "packaging/ModArchive.h"
#include "packaging/NameEncoding.h"
#include "packaging/NameRules.h"
#include "platform/OemCodePage.h"
#include "text/Utf8.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdint>
#include <deque>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <string_view>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>
#include <vector>
#include <zlib.h>

namespace voriraz::fuzz {

namespace pack {

// The input, read a byte at a time; zeros once it is used up.
class InputBytes
{
public:
    explicit InputBytes(std::string_view bytes) : mBytes(bytes) {}
    unsigned next() { return mAt < mBytes.size() ? static_cast<unsigned char>(mBytes[mAt++]) : 0u; }
    unsigned next16() { return next() | (next() << 8); }

private:
    std::string_view mBytes;
    std::size_t mAt = 0;
};

// What happens to a file while it is packed.
enum class Fault { None, Shrink, Grow, Vanish, Unopenable };

// The real file system with the scheduled faults: each comes once, at the
// first read of its file (shrink, grow), before its first open (vanish), or
// at its first opens (cannot be opened).
class FaultyFiles : public ArchiveFileSystem
{
public:
    struct Planned
    {
        Fault fault = Fault::None;
        unsigned amount = 0; // bytes left by a shrink, or opens that fail
        bool done = false;
    };
    // By the file's identity, so that a fault comes at the first open or
    // read of the file, whichever path (through a link) it is reached by.
    std::map<std::pair<std::uint64_t, std::uint64_t>, Planned> plan;

    static std::pair<std::uint64_t, std::uint64_t> keyOf(const std::string &path)
    {
        const std::optional<FileIdentity> identity = fileIdentity(path);
        return identity ? std::pair {identity->device, identity->inode} : std::pair<std::uint64_t, std::uint64_t> {};
    }

    std::unique_ptr<ArchiveStream> createArchive(const std::string &path) override
    {
        mReal.setFaultsForTesting(device);
        return mReal.createArchive(path);
    }

    std::unique_ptr<SourceFile> openSource(const std::string &path, TFileShareMode shareMode, int &error) override
    {
        const auto key = keyOf(path);
        std::unique_lock lock(mMutex);
        const auto planned = plan.find(key);
        if (planned != plan.end() && !planned->second.done) {
            Planned &fault = planned->second;
            if (fault.fault == Fault::Vanish) {
                fault.done = true;
                std::error_code ignored;
                std::filesystem::remove(path, ignored);
            } else if (fault.fault == Fault::Unopenable) {
                fault.done = fault.amount-- <= 1;
                error = EACCES;
                return nullptr;
            }
        }
        lock.unlock();
        std::unique_ptr<SourceFile> source = mReal.openSource(path, shareMode, error);
        if (source && planned != plan.end() && (planned->second.fault == Fault::Shrink || planned->second.fault == Fault::Grow))
            return std::make_unique<ChangingSource>(std::move(source), path, key, *this);
        return source;
    }

    StreamFaults device;

private:
    // Changes its file on the disk after the first read, once.
    class ChangingSource : public SourceFile
    {
    public:
        ChangingSource(std::unique_ptr<SourceFile> real, std::string path, std::pair<std::uint64_t, std::uint64_t> key,
                       FaultyFiles &owner)
            : mReal(std::move(real)), mPath(std::move(path)), mKey(key), mOwner(owner)
        {
        }
        std::uint64_t size() const override { return mReal->size(); }
        std::size_t read(char *buffer, std::size_t count) override
        {
            const std::size_t got = mReal->read(buffer, count);
            std::lock_guard lock(mOwner.mMutex);
            Planned &fault = mOwner.plan[mKey];
            if (!fault.done) {
                fault.done = true;
                if (fault.fault == Fault::Shrink) {
                    ::truncate(mPath.c_str(), fault.amount);
                } else {
                    std::ofstream(mPath, std::ios::binary | std::ios::app) << "grown while read";
                }
            }
            return got;
        }
        bool rewind() override { return mReal->rewind(); }
        int error() const override { return mReal->error(); }
        std::uint64_t currentSize() const override { return mReal->currentSize(); }

    private:
        std::unique_ptr<SourceFile> mReal;
        std::string mPath;
        std::pair<std::uint64_t, std::uint64_t> mKey;
        FaultyFiles &mOwner;
    };

    SystemArchiveFileSystem mReal;
    std::mutex mMutex;
};

// One entry as the strict reader finds it.
struct ReadEntry
{
    std::string name; // the stored bytes
    std::string text; // the name as UTF-8
    bool directory = false;
    std::string data; // inflated
};

inline std::uint32_t le(std::string_view bytes, std::size_t at, int width)
{
    std::uint32_t value = 0;
    for (int i = 0; i < width; ++i)
        value |= static_cast<std::uint32_t>(static_cast<unsigned char>(bytes[at + i])) << (8 * i);
    return value;
}

// The code page 437 characters of the bytes of a stored name.
inline const std::array<char32_t, 256> &oemCharacters()
{
    static const std::array<char32_t, 256> characters = [] {
        std::array<char32_t, 256> table {};
        // Printable characters first: a control character is never stored.
        for (char32_t cp = 0x20; cp < 0x10000; ++cp) {
            if ((cp >= 0xD800 && cp <= 0xDFFF) || (cp >= 0x7F && cp <= 0x9F))
                continue;
            const std::optional<std::string> byte = platform::oemText(std::u32string(1, cp));
            if (byte && byte->size() == 1 && table[static_cast<unsigned char>((*byte)[0])] == 0)
                table[static_cast<unsigned char>((*byte)[0])] = cp;
        }
        return table;
    }();
    return characters;
}

// Reads an archive as a strict reader would, throwing PropertyViolation at
// the first fault.
inline std::vector<ReadEntry> readStrictly(const std::string &bytes)
{
    check(bytes.size() >= 22, "the archive is shorter than an end record");
    const std::size_t end = bytes.size() - 22;
    check(le(bytes, end, 4) == 0x06054B50, "no end record at the end");
    check(le(bytes, end + 4, 2) == 0 && le(bytes, end + 6, 2) == 0, "disk numbers in the end record");
    const std::uint32_t count = le(bytes, end + 8, 2);
    check(le(bytes, end + 10, 2) == count, "the end record's two counts differ");
    const std::uint32_t cdSize = le(bytes, end + 12, 4);
    const std::uint32_t cdOffset = le(bytes, end + 16, 4);
    check(le(bytes, end + 20, 2) == 0, "an archive comment");
    check(std::uint64_t {cdOffset} + cdSize == end, "the central directory does not end at the end record");

    std::vector<ReadEntry> entries;
    std::set<std::string> names;
    std::size_t at = cdOffset;
    std::uint64_t next = 0;
    for (std::uint32_t i = 0; i < count; ++i) {
        check(at + 46 <= end && le(bytes, at, 4) == 0x02014B50, "a central header is missing");
        const std::uint32_t flags = le(bytes, at + 8, 2);
        const std::uint32_t method = le(bytes, at + 10, 2);
        const std::uint32_t crc = le(bytes, at + 16, 4);
        const std::uint32_t compressed = le(bytes, at + 20, 4);
        const std::uint32_t size = le(bytes, at + 24, 4);
        const std::uint32_t nameLength = le(bytes, at + 28, 2);
        check(le(bytes, at + 30, 2) == 0 && le(bytes, at + 32, 2) == 0, "an extra field or a comment");
        const std::uint32_t offset = le(bytes, at + 42, 4);
        check(at + 46 + nameLength <= end, "a name runs past the central directory");
        ReadEntry entry;
        entry.name = bytes.substr(at + 46, nameLength);
        at += 46 + nameLength;
        check(!entry.name.empty(), "an empty name");
        check(names.insert(entry.name).second, "a name stored twice: " + printableName(entry.name));

        // The local header agrees, and begins where the last entry ended.
        check(offset == next, "bytes between entries, or entries out of order, before " + printableName(entry.name));
        check(offset + 30 <= cdOffset && le(bytes, offset, 4) == 0x04034B50, "a local header is missing");
        check(le(bytes, offset + 6, 2) == flags && le(bytes, offset + 8, 2) == method
                  && le(bytes, offset + 14, 4) == crc && le(bytes, offset + 18, 4) == compressed
                  && le(bytes, offset + 22, 4) == size && le(bytes, offset + 26, 2) == nameLength
                  && le(bytes, offset + 28, 2) == 0,
              "the local header of " + printableName(entry.name) + " differs from its central one");
        check(offset + 30 + nameLength <= cdOffset && bytes.compare(offset + 30, nameLength, entry.name) == 0,
              "the local name differs");
        const std::size_t data = offset + 30 + nameLength;
        check(data + compressed <= cdOffset, "data runs into the central directory");
        next = data + compressed;

        // The name, decoded by its flag.
        if (flags & 0x800) {
            check(firstInvalidUtf8(entry.name) == std::string::npos, "a UTF-8 name that is not UTF-8");
            entry.text = entry.name;
        } else {
            for (const char byte : entry.name)
                appendUtf8(entry.text, oemCharacters()[static_cast<unsigned char>(byte)]);
        }
        check(!unsafeNameReason(entry.text), "an unsafe name was stored: " + printableName(entry.text));
        entry.directory = entry.text.back() == '/';

        const std::string_view stored(bytes.data() + data, compressed);
        if (method == 0) {
            entry.data = std::string(stored);
        } else {
            check(method == 8, "an unknown method");
            z_stream stream {};
            check(inflateInit2(&stream, -15) == Z_OK, "inflateInit2");
            entry.data.resize(size);
            stream.next_in = reinterpret_cast<Bytef *>(const_cast<char *>(stored.data()));
            stream.avail_in = static_cast<uInt>(stored.size());
            stream.next_out = reinterpret_cast<Bytef *>(entry.data.data());
            stream.avail_out = static_cast<uInt>(entry.data.size());
            const int result = inflate(&stream, Z_FINISH);
            const bool whole = result == Z_STREAM_END && stream.avail_in == 0 && stream.avail_out == 0;
            inflateEnd(&stream);
            check(whole, "the data of " + printableName(entry.name) + " does not inflate to its size");
        }
        check(entry.data.size() == size, "the size of " + printableName(entry.name));
        check(static_cast<std::uint32_t>(crc32(0, reinterpret_cast<const Bytef *>(entry.data.data()),
                                                 static_cast<uInt>(entry.data.size())))
                  == crc,
              "the CRC-32 of " + printableName(entry.name));
        check(!entry.directory || (size == 0 && method == 0), "a folder with data");
        entries.push_back(std::move(entry));
    }
    check(at == end, "the central directory holds more than its entries");
    check(next == cdOffset, "bytes between the last entry and the central directory");
    return entries;
}

inline std::string readAll(const std::string &path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

} // namespace pack

class PackTarget
{
public:
    void run(std::string_view bytes)
    {
        using namespace pack;
        const std::string root = mScratch.path() + "/run";
        std::error_code ignored;
        std::filesystem::remove_all(root, ignored);
        const std::string base = root + "/mod";
        const std::string outside = root + "/outside";
        std::filesystem::create_directories(base);
        std::filesystem::create_directories(outside);
        mScratch.write("run/outside/secret.key", "not for the archive");

        InputBytes input(bytes);
        const unsigned settings = input.next();
        const int threads = settings & 1 ? 2 : 1;
        const bool fast = settings & 2;
        const bool archiveInside = settings & 4;
        const std::size_t chunk = fast ? 0x80000 : 0x180000;

        // The tree: items below base, each with its path relative to it.
        struct Item
        {
            std::string relative;
            bool directory = false;
        };
        std::vector<Item> items;
        std::vector<std::string> folders {""};
        auto files = std::make_shared<FaultyFiles>();
        bool large = false;
        const unsigned itemCount = 1 + input.next() % 12;
        for (unsigned n = 0; n < itemCount; ++n) {
            const std::string folder = folders[input.next() % folders.size()];
            const unsigned kind = input.next() % 8;
            std::string name = kind == 6 && !items.empty() ? twinOf(items.back().relative) : nameFrom(input, n);
            while (std::filesystem::symlink_status(base + "/" + folder + name, ignored).type()
                   != std::filesystem::file_type::not_found)
                name += "_";
            const std::string relative = folder + name;
            const std::string path = base + "/" + relative;
            if (kind <= 2 || kind == 6) {
                std::string content = contentFrom(input, chunk, large);
                writeFile(path, content);
                items.push_back({relative, false});
                const unsigned fault = input.next() % 10;
                FaultyFiles::Planned planned;
                planned.fault = fault == 6 ? Fault::Shrink : fault == 7 ? Fault::Grow : fault == 8 ? Fault::Vanish
                                : fault == 9 ? Fault::Unopenable : Fault::None;
                planned.amount = planned.fault == Fault::Unopenable ? 1 + input.next() % 2
                                                                     : input.next16() % (content.size() + 1);
                if (planned.fault != Fault::None)
                    files->plan[FaultyFiles::keyOf(path)] = planned;
            } else if (kind == 3) {
                std::filesystem::create_directory(path, ignored);
                items.push_back({relative, true});
                folders.push_back(relative + "/");
            } else if (kind == 4) {
                // A link: to an item of the tree, outside, nowhere, or to itself.
                const unsigned to = input.next() % 4;
                std::string target = to == 0 && !items.empty() ? base + "/" + items[input.next() % items.size()].relative
                                     : to == 1                  ? outside
                                     : to == 2                  ? std::string("nowhere")
                                                                : name;
                if (to == 0 && items.empty())
                    target = "nowhere";
                std::filesystem::create_symlink(target, path, ignored);
                items.push_back({relative, false});
            } else if (kind == 5 || ::geteuid() != 0) {
                ::mkfifo(path.c_str(), 0644);
                items.push_back({relative, false});
            } else {
                ::mknod(path.c_str(), S_IFCHR | 0644, makedev(1, 3));
                items.push_back({relative, false});
            }
        }

        // The previous archive, beside the tree or inside it (where it is
        // one: an empty archive).
        const std::string target = archiveInside ? base + "/ZavirAru.pak" : root + "/Mod.pak";
        const std::string previous = archiveInside ? std::string("PK\x05\x06", 4) + std::string(18, '\0')
                                                   : "the previous archive " + std::to_string(input.next());
        writeFile(target, previous);

        // Faults of the device, and the answers.
        if (input.next() % 4 == 0)
            files->device = {.writeLimit = input.next16() * 4u, .writeError = ENOSPC};
        std::deque<TPromptAnswer> answers;
        for (unsigned n = input.next() % 6; n > 0; --n) {
            const unsigned answer = input.next() % 20;
            answers.push_back(answer < 10 ? TPromptAnswer::Ignore : answer < 17 ? TPromptAnswer::Retry
                                                                                : TPromptAnswer::Abort);
        }

        TArchiveWriter writer;
        configureModArchiveWriter(writer);
        writer.Threads = threads;
        writer.Options.FlushBuffers = false;
        if (fast)
            writer.SetCompressionMode(1);
        writer.SetFileSystem(files);
        int asked = 0;
        writer.OnFailurePrompt = [&](const std::string &text, TPromptButtons buttons) {
            check(!text.empty(), "a question without a text");
            check(++asked < 200, "asked without end");
            TPromptAnswer answer = TPromptAnswer::Ignore;
            if (!answers.empty()) {
                answer = answers.front();
                answers.pop_front();
            }
            return answer == TPromptAnswer::Retry && buttons == TPromptButtons::AbortIgnore ? TPromptAnswer::Ignore
                                                                                            : answer;
        };

        ModArchiveReport report;
        bool failed = false;
        try {
            report = writeModArchive(writer, target, base);
        } catch (const EArchiveError &e) {
            check(e.nativeError() == NativeError::StreamWriteFailed, std::string("an unexpected failure: ") + e.what());
            failed = true;
        } catch (const StreamWriteError &) {
            failed = true;
        }
        check(!failed || files->device.writeLimit != UINT64_MAX, "a pack failed without a device fault");

        // No temporary file beside the archive, in either state.
        const std::string folder = archiveInside ? base : root;
        for (const auto &item : std::filesystem::directory_iterator(folder))
            check(item.path().filename().string().rfind(archiveInside ? ".ZavirAru.pak." : ".Mod.pak.", 0) != 0,
                  "a temporary file was left");
        if (failed || !report.written) {
            check(readAll(target) == previous, "the previous archive changed although the pack failed");
            return;
        }

        const std::vector<ReadEntry> entries = readStrictly(readAll(target));
        check(entries.size() == report.entries, "the report counts other entries than the archive holds");
        std::set<std::string> stored;
        for (const ReadEntry &entry : entries) {
            check(!archiveInside || entry.text != "ZavirAru.pak", "the archive holds the previous archive");
            stored.insert(entry.directory ? entry.text.substr(0, entry.text.size() - 1) : entry.text);
            if (!entry.directory) {
                const std::string source = base + "/" + entry.text;
                check(std::filesystem::is_regular_file(source, ignored), "a stored file is gone: " + entry.text);
                check(readAll(source) == entry.data, "a stored file differs from its source: " + entry.text);
            }
        }
        std::set<std::string> reported;
        for (const TSkippedItem &item : report.skipped)
            reported.insert(item.name.back() == '/' ? item.name.substr(0, item.name.size() - 1) : item.name);
        check(report.skipped.size() == report.leftOut(), "the report counts other items than it names");
        for (const Item &item : items) {
            // In a folder left out, an item is left out with it.
            bool inLeftOut = false;
            for (std::size_t slash = item.relative.find('/'); slash != std::string::npos;
                 slash = item.relative.find('/', slash + 1))
                inLeftOut = inLeftOut || reported.count(printableName(item.relative.substr(0, slash)));
            if (inLeftOut || stored.count(item.relative) || reported.count(printableName(item.relative)))
                continue;
            // A file that vanished while the tree was packed (opened first
            // through a link to its folder) may be gone before the walk
            // reached its own path: it was reported under the other.
            const std::string name = printableName(item.relative.substr(item.relative.rfind('/') + 1));
            const bool gone = std::filesystem::symlink_status(base + "/" + item.relative, ignored).type()
                              == std::filesystem::file_type::not_found;
            check(gone && std::any_of(reported.begin(), reported.end(),
                                      [&name](const std::string &left) {
                                          return left.size() > name.size() && left.ends_with("/" + name);
                                      }),
                  "neither stored nor reported: " + printableName(item.relative));
        }
    }

private:
    // A name from the hostile alphabet; never empty, "." or "..", nor with a '/'.
    static std::string nameFrom(pack::InputBytes &input, unsigned n)
    {
        static const char *const pieces[] = {
            "a", "B", "x.txt", ".", "..", "\\", ":", "C:", "\x01", "\x1b", "\x7f", "\xC2\x85", "\xFF",
            "\xC3\xA9", "e\xCC\x81", "\xC3\x89", "E\xCC\x81", "README", "readme", " ", "~", "\xE6\x97\xA5",
            "\xB5\xF9", "Maps", "hero.xdb", "\xEA\xB0\x81", "\xE1\x84\x80\xE1\x85\xA1\xE1\x86\xA8", "-"};
        constexpr unsigned pieceCount = sizeof pieces / sizeof pieces[0];
        std::string name;
        for (unsigned count = 1 + input.next() % 3; count > 0; --count)
            name += pieces[input.next() % pieceCount];
        if (name == "." || name == "..")
            name += std::to_string(n);
        return name;
    }

    // The name of an item in another letter case or normalisation.
    static std::string twinOf(const std::string &relative)
    {
        std::string twin = relative.substr(relative.rfind('/') == std::string::npos ? 0 : relative.rfind('/') + 1);
        for (char &c : twin)
            if (c >= 'a' && c <= 'z')
                c = static_cast<char>(c - 'a' + 'A');
            else if (c >= 'A' && c <= 'Z')
                c = static_cast<char>(c - 'A' + 'a');
        if (const auto at = twin.find("\xC3\xA9"); at != std::string::npos)
            twin.replace(at, 2, "e\xCC\x81");
        return twin;
    }

    // The content of a file: empty, small, medium or, once per tree, up
    // to two chunks; text-like, so deflate has work to do.
    static std::string contentFrom(pack::InputBytes &input, std::size_t chunk, bool &large)
    {
        const unsigned size = input.next() % 8;
        std::size_t length = size == 0 ? 0 : size < 5 ? input.next() % 200 : size < 7 ? input.next16() % 20000 : 0;
        if (size == 7 && !large) {
            large = true;
            length = chunk + input.next16() * 8;
        }
        const unsigned seed = input.next();
        std::string content(length, '\0');
        std::uint32_t state = seed * 2654435761u + 1;
        for (std::size_t i = 0; i < length; ++i) {
            state = state * 1103515245u + 12345u;
            content[i] = "etaoin shrdlu\n"[(state >> 16) % 14];
        }
        return content;
    }

    static void writeFile(const std::string &path, const std::string &content)
    {
        std::ofstream out(path, std::ios::binary | std::ios::trunc);
        out.write(content.data(), static_cast<std::streamsize>(content.size()));
    }

    ScratchTree mScratch;
};

} // namespace voriraz::fuzz
