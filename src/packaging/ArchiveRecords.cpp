#include "packaging/ArchiveRecords.h"

namespace voriraz {

LittleEndianWriter &LittleEndianWriter::u16(std::uint16_t value)
{
    mOut.push_back(static_cast<char>(value & 0xFF));
    mOut.push_back(static_cast<char>(value >> 8));
    return *this;
}

LittleEndianWriter &LittleEndianWriter::u32(std::uint32_t value)
{
    u16(static_cast<std::uint16_t>(value & 0xFFFF));
    return u16(static_cast<std::uint16_t>(value >> 16));
}

LittleEndianWriter &LittleEndianWriter::u64(std::uint64_t value)
{
    u32(static_cast<std::uint32_t>(value & 0xFFFFFFFF));
    return u32(static_cast<std::uint32_t>(value >> 32));
}

LittleEndianWriter &LittleEndianWriter::bytes(std::string_view value)
{
    mOut.append(value);
    return *this;
}

void appendLocalHeader(std::string &out, const CentralHeader &header)
{
    LittleEndianWriter(out)
        .u32(zip::localHeaderSignature) // signature
        .u16(header.versionNeeded)      // version needed to extract
        .u16(header.flags)              // general purpose bit flag
        .u16(header.method)             // compression method
        .u16(header.dosTime)            // last modification time
        .u16(header.dosDate)            // last modification date
        .u32(header.crc32)              // CRC-32
        .u32(header.compressedSize)     // compressed size
        .u32(header.uncompressedSize)   // uncompressed size
        .u16(header.nameLength)         // file name length
        .u16(header.extraLength);       // extra field length
}

void appendCentralHeader(std::string &out, const CentralHeader &header)
{
    LittleEndianWriter(out)
        .u32(zip::centralHeaderSignature) // signature
        .u16(header.versionMadeBy)        // version made by
        .u16(header.versionNeeded)        // version needed to extract
        .u16(header.flags)                // general purpose bit flag
        .u16(header.method)               // compression method
        .u16(header.dosTime)              // last modification time
        .u16(header.dosDate)              // last modification date
        .u32(header.crc32)                // CRC-32
        .u32(header.compressedSize)       // compressed size
        .u32(header.uncompressedSize)     // uncompressed size
        .u16(header.nameLength)           // file name length
        .u16(header.extraLength)          // extra field length
        .u16(header.commentLength)        // file comment length
        .u16(header.diskNumberStart)      // disk number start
        .u16(header.internalAttributes)   // internal file attributes
        .u32(header.externalAttributes)   // external file attributes
        .u32(header.headerOffset);        // relative offset of local header
}

void appendEndRecord(std::string &out, const EndRecord &record)
{
    LittleEndianWriter(out)
        .u32(zip::endRecordSignature)         // signature
        .u16(record.diskNumber)               // number of this disk
        .u16(record.centralDirectoryDisk)     // disk where the central directory starts
        .u16(record.entriesOnDisk)            // entries on this disk
        .u16(record.totalEntries)             // total entries
        .u32(record.centralDirectorySize)     // size of the central directory
        .u32(record.centralDirectoryOffset)   // offset of the central directory
        .u16(record.commentLength);           // comment length
}

void appendZip64EndRecords(std::string &out, std::uint64_t entryCount, std::uint64_t centralDirectorySize,
                           std::uint64_t centralDirectoryOffset, std::uint64_t recordOffset)
{
    LittleEndianWriter(out)
        .u32(zip::zip64EndRecordSignature)      // signature
        .u64(zip::zip64EndRecordSize - 12)      // size of the rest of the record
        .u16(zip::version45)                    // version made by
        .u16(zip::version45)                    // version needed
        .u32(0)                                 // number of this disk
        .u32(0)                                 // disk where the central directory starts
        .u64(entryCount)                        // entries on this disk
        .u64(entryCount)                        // total entries
        .u64(centralDirectorySize)              // size of the central directory
        .u64(centralDirectoryOffset)            // offset of the central directory
        .u32(zip::zip64LocatorSignature)        // locator: signature
        .u32(0)                                 // disk with the ZIP64 end record
        .u64(recordOffset)                      // offset of the ZIP64 end record
        .u32(1);                                // total number of disks
}

} // namespace voriraz
