#include "ZipInspection.h"

#include "SystemSupport.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include "packaging/NameEncoding.h"

#include <cstdio>
#include <map>
#include <zlib.h>

namespace voriraz::test {

namespace {

struct Reader
{
    const std::string &bytes;
    std::size_t pos;
    bool ok = true;

    std::uint64_t get(int width)
    {
        if (pos + width > bytes.size()) {
            ok = false;
            return 0;
        }
        std::uint64_t value = 0;
        for (int i = 0; i < width; ++i)
            value |= static_cast<std::uint64_t>(static_cast<unsigned char>(bytes[pos + i])) << (8 * i);
        pos += width;
        return value;
    }
    std::uint16_t u16() { return static_cast<std::uint16_t>(get(2)); }
    std::uint32_t u32() { return static_cast<std::uint32_t>(get(4)); }
    std::uint64_t u64() { return get(8); }
    std::string take(std::size_t n)
    {
        if (pos + n > bytes.size()) {
            ok = false;
            return {};
        }
        std::string out = bytes.substr(pos, n);
        pos += n;
        return out;
    }
};

} // namespace

bool inflateRaw(const std::string &data, std::string &out)
{
    z_stream stream {};
    if (inflateInit2(&stream, -15) != Z_OK)
        return false;
    stream.next_in = reinterpret_cast<Bytef *>(const_cast<char *>(data.data()));
    stream.avail_in = static_cast<uInt>(data.size());
    char buffer[65536];
    int result = Z_OK;
    while (result == Z_OK) {
        stream.next_out = reinterpret_cast<Bytef *>(buffer);
        stream.avail_out = sizeof buffer;
        result = inflate(&stream, Z_NO_FLUSH);
        out.append(buffer, sizeof buffer - stream.avail_out);
        if (result == Z_BUF_ERROR && stream.avail_in == 0)
            break;
    }
    const bool clean = result == Z_STREAM_END && stream.avail_in == 0;
    inflateEnd(&stream);
    return clean;
}

std::vector<std::string> InspectedArchive::names() const
{
    std::vector<std::string> out;
    for (const auto &entry : entries)
        out.push_back(entry.central.name);
    return out;
}

const InspectedEntry *InspectedArchive::find(const std::string &name) const
{
    for (const auto &entry : entries)
        if (entry.central.name == name)
            return &entry;
    return nullptr;
}

InspectedArchive inspectArchive(const std::filesystem::path &path, bool inflateData)
{
    InspectedArchive archive;
    const std::string bytes = readFile(path);
    archive.fileSize = bytes.size();
    if (bytes.size() < 22) {
        ADD_FAILURE() << "archive shorter than an end record";
        return archive;
    }
    Reader end {bytes, bytes.size() - 22};
    EXPECT_EQ(end.u32(), 0x06054B50u) << "end record signature (archives here carry no comment)";
    EXPECT_EQ(end.u16(), 0) << "number of this disk";
    EXPECT_EQ(end.u16(), 0) << "disk of the central directory";
    archive.entriesOnDisk = end.u16();
    archive.totalEntries = end.u16();
    archive.centralDirectorySize = end.u32();
    archive.centralDirectoryOffset = end.u32();
    archive.commentLength = end.u16();

    std::uint64_t count = archive.totalEntries;
    std::uint64_t cdOffset = archive.centralDirectoryOffset;
    std::uint64_t cdSize = archive.centralDirectorySize;
    if (bytes.size() >= 22 + 20 + 56) {
        Reader locator {bytes, bytes.size() - 22 - 20};
        if (locator.u32() == 0x07064B50) {
            archive.hasZip64EndRecord = true;
            EXPECT_EQ(locator.u32(), 0u) << "locator: disk";
            const std::uint64_t recordOffset = locator.u64();
            EXPECT_EQ(locator.u32(), 1u) << "locator: total disks";
            EXPECT_EQ(recordOffset, bytes.size() - 22 - 20 - 56);
            Reader z64 {bytes, static_cast<std::size_t>(recordOffset)};
            EXPECT_EQ(z64.u32(), 0x06064B50u);
            EXPECT_EQ(z64.u64(), 44u);
            EXPECT_EQ(z64.u16(), 45);
            EXPECT_EQ(z64.u16(), 45);
            EXPECT_EQ(z64.u32(), 0u);
            EXPECT_EQ(z64.u32(), 0u);
            const std::uint64_t onDisk = z64.u64();
            archive.zip64Entries = z64.u64();
            EXPECT_EQ(onDisk, archive.zip64Entries);
            archive.zip64CentralDirectorySize = z64.u64();
            archive.zip64CentralDirectoryOffset = z64.u64();
            count = archive.zip64Entries;
            cdSize = archive.zip64CentralDirectorySize;
            cdOffset = archive.zip64CentralDirectoryOffset;
        }
    }

    Reader central {bytes, static_cast<std::size_t>(cdOffset)};
    for (std::uint64_t i = 0; i < count && central.ok; ++i) {
        InspectedEntry entry;
        auto &c = entry.central;
        EXPECT_EQ(central.u32(), 0x02014B50u) << "central header signature of entry " << i;
        c.versionMadeBy = central.u16();
        c.versionNeeded = central.u16();
        c.flags = central.u16();
        c.method = central.u16();
        c.dosTime = central.u16();
        c.dosDate = central.u16();
        c.crc32 = central.u32();
        c.compressedSize = central.u32();
        c.uncompressedSize = central.u32();
        const std::uint16_t nameLength = central.u16();
        c.extraLength = central.u16();
        c.commentLength = central.u16();
        c.diskNumberStart = central.u16();
        c.internalAttributes = central.u16();
        c.externalAttributes = central.u32();
        c.headerOffset = central.u32();
        c.name = central.take(nameLength);
        central.take(c.extraLength + c.commentLength);

        Reader local {bytes, c.headerOffset};
        auto &l = entry.local;
        EXPECT_EQ(local.u32(), 0x04034B50u) << "local header signature of " << c.name;
        l.versionNeeded = local.u16();
        l.flags = local.u16();
        l.method = local.u16();
        l.dosTime = local.u16();
        l.dosDate = local.u16();
        l.crc32 = local.u32();
        l.compressedSize = local.u32();
        l.uncompressedSize = local.u32();
        const std::uint16_t localNameLength = local.u16();
        l.extraLength = local.u16();
        l.name = local.take(localNameLength);
        local.take(l.extraLength);
        entry.data = local.take(c.compressedSize);
        EXPECT_TRUE(local.ok) << "entry data of " << c.name << " runs past the file";
        if (inflateData) {
            if (c.method == 8) {
                entry.inflatedCleanly = inflateRaw(entry.data, entry.inflated);
            } else {
                entry.inflated = entry.data;
                entry.inflatedCleanly = true;
            }
        }
        archive.entries.push_back(std::move(entry));
    }
    EXPECT_TRUE(central.ok) << "central directory runs past the file";
    EXPECT_EQ(central.pos - cdOffset, cdSize) << "central directory size";
    return archive;
}

namespace {

// The readers are Linux programs, which a Windows program under Wine cannot
// start and wait for; there the test says so and goes on without them
// (scripts/test-windows runs them on the archives voriraz-cli.exe writes).
bool runReader(const std::string &program, std::vector<std::string> arguments, std::string *log)
{
    if constexpr (onWindows) {
        [&] { GTEST_SKIP() << "POSIX only: the Linux archive readers; " << program << " did not check the archive"; }();
        return true;
    }
    ProcessRequest request;
    request.program = program;
    request.arguments = std::move(arguments);
    const ProcessRun run = runProcess(request);
    if (log)
        *log += run.failure + run.out + run.err;
    return run.finished && run.status == 0;
}

} // namespace

bool readerAccepts(const std::string &reader, const std::filesystem::path &archive, std::string *log)
{
    const std::string path = archive.string();
    if (reader == "python")
        return runReader("/usr/bin/python3", {"-m", "zipfile", "-t", path}, log);
    if (reader == "unzip")
        return runReader("/usr/bin/unzip", {"-tq", path}, log);
    if (reader == "7z")
        return runReader("/usr/bin/7z", {"t", "-bd", path}, log);
    // Extracted to standard output, so that the data and its CRC-32 are
    // checked, not the headers alone.
    if (reader == "bsdtar")
        return runReader("/usr/bin/bsdtar", {"-xOf", path}, log);
    return false;
}

std::vector<std::string> expectWholeArchive(const std::filesystem::path &archive, const std::filesystem::path &base)
{
    // The files of the tree by the bytes their names are stored as.
    std::map<std::string, std::filesystem::path> files;
    std::error_code error;
    for (auto item = std::filesystem::recursive_directory_iterator(base, error);
         !error && item != std::filesystem::recursive_directory_iterator(); item.increment(error)) {
        const std::u8string relative = std::filesystem::relative(item->path(), base, error).generic_u8string();
        if (const auto name = encodeName(std::string(relative.begin(), relative.end()), true))
            files.emplace(name->bytes, item->path());
    }
    const InspectedArchive inspected = inspectArchive(archive);
    std::uint64_t next = 0;
    for (const InspectedEntry &entry : inspected.entries) {
        const InspectedHeader &central = entry.central;
        EXPECT_EQ(central.headerOffset, next) << central.name << ": bytes between the entries, or entries out of order";
        next = std::uint64_t {central.headerOffset} + 30 + entry.local.name.size() + entry.local.extraLength
               + central.compressedSize;
        if (central.name.empty() || central.name.back() == '/')
            continue;
        EXPECT_TRUE(entry.inflatedCleanly) << central.name;
        EXPECT_EQ(central.crc32, crc32Of(entry.inflated)) << central.name;
        const auto source = files.find(central.name);
        if (source == files.end() || !std::filesystem::is_regular_file(source->second, error)) {
            ADD_FAILURE() << central.name << " is no file of the tree";
            continue;
        }
        EXPECT_TRUE(entry.inflated == readFile(source->second)) << central.name << ": the stored data is not the file's";
    }
    EXPECT_EQ(inspected.centralDirectoryOffset, next) << "bytes between the last entry and the central directory";
    for (const char *reader : {"python", "unzip", "7z", "bsdtar"}) {
        // unzip calls an archive without entries empty, with a warning.
        if (inspected.entries.empty() && std::string(reader) == "unzip")
            continue;
        std::string log;
        EXPECT_TRUE(readerAccepts(reader, archive, &log)) << reader << ":\n" << log;
    }
    return inspected.names();
}

bool readerExtracts(const std::string &reader, const std::filesystem::path &archive,
                    const std::filesystem::path &into, std::string *log)
{
    std::filesystem::create_directories(into);
    const std::string from = archive.string();
    const std::string to = into.string();
    if (reader == "python")
        return runReader("/usr/bin/python3", {"-m", "zipfile", "-e", from, to}, log);
    if (reader == "unzip")
        return runReader("/usr/bin/unzip", {"-q", from, "-d", to}, log);
    if (reader == "7z")
        return runReader("/usr/bin/7z", {"x", "-bd", "-y", "-o" + to, from}, log);
    return false;
}

std::vector<std::string> chunkedDeflatePieces(const std::string &data, const std::string &content,
                                              std::size_t chunkSize)
{
    const std::string emptyStored("\x00\x00\xff\xff", 4);
    const std::string emptyFinal("\x01\x00\x00\xff\xff", 5);
    std::vector<std::string> pieces;
    std::size_t at = 0;
    for (std::size_t from = 0; from < content.size(); from += chunkSize) {
        const std::string chunk = content.substr(from, chunkSize);
        std::string inflated;
        if (from + chunkSize >= content.size()) {
            if (!inflateRaw(data.substr(at), inflated) || inflated != chunk)
                return {};
            pieces.push_back(data.substr(at));
            return pieces;
        }
        // The piece ends after an empty stored block; with an empty final
        // one added it must inflate to its chunk alone.
        std::size_t end = data.find(emptyStored, at);
        for (; end != std::string::npos; end = data.find(emptyStored, end + 1)) {
            inflated.clear();
            const std::string piece = data.substr(at, end + emptyStored.size() - at);
            if (inflateRaw(piece + emptyFinal, inflated) && inflated == chunk) {
                pieces.push_back(piece);
                at = end + emptyStored.size();
                break;
            }
        }
        if (end == std::string::npos)
            return {};
    }
    return pieces;
}

std::uint32_t crc32Of(const std::string &bytes)
{
    return static_cast<std::uint32_t>(
        crc32(0, reinterpret_cast<const Bytef *>(bytes.data()), static_cast<uInt>(bytes.size())));
}

TakenChunks takeChunks(EntrySource &source)
{
    TakenChunks taken;
    ReadyChunk ready;
    while (source.next(ready)) {
        taken.failed = ready.failed;
        if (ready.failed)
            break;
        taken.data.append(ready.data, ready.size);
        taken.crc32 = taken.last.empty() ? ready.crc32
                                         : static_cast<std::uint32_t>(crc32_combine(
                                               taken.crc32, ready.crc32, static_cast<z_off_t>(ready.inputLength)));
        taken.inputLength += ready.inputLength;
        taken.last.push_back(ready.last);
    }
    return taken;
}

} // namespace voriraz::test
