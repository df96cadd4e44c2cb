#pragma once

// The records of a ZIP archive as this writer lays it out:
//
//   [local header][name][data]   for each entry, in directory order
//   [central header][name]       for each entry, in the same order
//   [ZIP64 end record][locator]  only from 65,535 entries on, or when the
//                                central directory ends beyond 4 GiB
//   [end of central directory]   22 bytes, no archive comment
//
// Names are stored in code page 437 with the UTF-8 flag clear where the code
// page holds them, else in UTF-8 with flag bit 11 set; such an entry is
// "made by" Windows NTFS rather than MS-DOS (the same attribute bits), since
// some readers decode the names of MS-DOS entries as code page 437 whatever
// the flag says. Entries carry no extra fields and no comments, and no data
// descriptors follow the data: the local header is written before the data
// and patched in place after it.
// Encryption, spanning and ZIP64 entries (sizes or offsets of 4 GiB and more)
// are not written.

#include <cstdint>
#include <string>
#include <string_view>

namespace voriraz {

namespace zip {
constexpr std::uint32_t localHeaderSignature = 0x04034B50;
constexpr std::uint32_t centralHeaderSignature = 0x02014B50;
constexpr std::uint32_t endRecordSignature = 0x06054B50;
constexpr std::uint32_t zip64EndRecordSignature = 0x06064B50;
constexpr std::uint32_t zip64LocatorSignature = 0x07064B50;
constexpr std::size_t localHeaderSize = 30;
constexpr std::size_t centralHeaderSize = 46;
constexpr std::size_t endRecordSize = 22;
constexpr std::size_t zip64EndRecordSize = 56;
constexpr std::size_t zip64LocatorSize = 20;
constexpr std::uint16_t version20 = 20;
constexpr std::uint16_t version45 = 45;
constexpr std::uint16_t hostNtfs = 11 << 8; // in the high byte of "version made by"
constexpr std::uint16_t flagDirectory = 2;
constexpr std::uint16_t methodStored = 0;
constexpr std::uint16_t methodDeflated = 8;
constexpr std::uint32_t attributeReadOnly = 0x01;
constexpr std::uint32_t attributeHidden = 0x02;
constexpr std::uint32_t attributeDirectory = 0x10;
constexpr std::uint32_t attributeArchive = 0x20;
constexpr std::uint32_t max32 = 0xFFFFFFFF;
constexpr std::uint16_t max16 = 0xFFFF;
} // namespace zip

// Appends little-endian fields to a byte string.
class LittleEndianWriter
{
public:
    explicit LittleEndianWriter(std::string &out) : mOut(out) {}

    LittleEndianWriter &u16(std::uint16_t value);
    LittleEndianWriter &u32(std::uint32_t value);
    LittleEndianWriter &u64(std::uint64_t value);
    LittleEndianWriter &bytes(std::string_view value);

private:
    std::string &mOut;
};

// The fields an entry shares between its local and its central header, kept
// as the central header holds them.
struct CentralHeader
{
    std::uint16_t versionMadeBy = zip::version20;
    std::uint16_t versionNeeded = zip::version20;
    std::uint16_t flags = 0;
    std::uint16_t method = zip::methodDeflated;
    std::uint16_t dosTime = 0;
    std::uint16_t dosDate = 0;
    std::uint32_t crc32 = 0;
    std::uint32_t compressedSize = 0;
    std::uint32_t uncompressedSize = 0;
    std::uint16_t nameLength = 0;
    std::uint16_t extraLength = 0;
    std::uint16_t commentLength = 0;
    std::uint16_t diskNumberStart = 0;
    std::uint16_t internalAttributes = 0;
    std::uint32_t externalAttributes = 0;
    std::uint32_t headerOffset = 0;
};

// The end of central directory record.
struct EndRecord
{
    std::uint16_t diskNumber = 0;
    std::uint16_t centralDirectoryDisk = 0;
    std::uint16_t entriesOnDisk = 0;
    std::uint16_t totalEntries = 0;
    std::uint32_t centralDirectorySize = 0;
    std::uint32_t centralDirectoryOffset = 0;
    std::uint16_t commentLength = 0;
};

// Appends the 30-byte local header of an entry (without its name).
void appendLocalHeader(std::string &out, const CentralHeader &header);
// Appends the 46-byte central directory header of an entry (without its name).
void appendCentralHeader(std::string &out, const CentralHeader &header);
// Appends the 22-byte end of central directory record.
void appendEndRecord(std::string &out, const EndRecord &record);
// Appends the 56-byte ZIP64 end of central directory record followed by its
// 20-byte locator, for a ZIP64 end record written at recordOffset.
void appendZip64EndRecords(std::string &out, std::uint64_t entryCount, std::uint64_t centralDirectorySize,
                           std::uint64_t centralDirectoryOffset, std::uint64_t recordOffset);

} // namespace voriraz
