#pragma once
#include <cstddef>
#include <cstdint>

// The on-disk ZIP records, written down once. Every multi-byte field is little-endian
// (see ZipEndian.h); nothing is ever read by casting a struct over bytes.
//
// An archive (or the chain of volumes of a split archive, read in order) is:
//
//   [local file header + name + extra][file data] ...   one per entry
//   [central directory header + name + extra + comment] ... one per entry
//   [zip64 end of central directory record]       only when a value overflows
//   [zip64 end of central directory locator]      only with the record above
//   [end of central directory record + comment]   always last
//
// Local file header (30 bytes, then name and extra field):
//    0  4  signature 0x04034b50          14  4  CRC-32
//    4  2  version needed to extract     18  4  compressed size   (0xffffffff: see zip64 extra)
//    6  2  general purpose flags         22  4  uncompressed size (0xffffffff: see zip64 extra)
//    8  2  compression method            26  2  name length
//   10  2  last-write time (DOS)         28  2  extra field length
//   12  2  last-write date (DOS)
//
// Central directory header (46 bytes, then name, extra field and comment):
//    0  4  signature 0x02014b50          28  2  name length
//    4  2  version made by (host << 8)   30  2  extra field length
//    6  2  version needed to extract     32  2  comment length
//    8  2  general purpose flags         34  2  disk number where the local header is
//   10  2  compression method            36  2  internal attributes
//   12  2  last-write time (DOS)         38  4  external attributes (Unix mode << 16 | DOS byte)
//   14  2  last-write date (DOS)         42  4  offset of the local header on its disk
//   16  4  CRC-32
//   20  4  compressed size
//   24  4  uncompressed size
//
// End of central directory record (22 bytes, then comment):
//    0  4  signature 0x06054b50          12  4  size of the central directory
//    4  2  number of this disk           16  4  offset of the central directory on its disk
//    6  2  disk where the directory starts 20 2 comment length
//    8  2  entries on this disk
//   10  2  entries in total
//
// Zip64 end of central directory record (56 bytes):
//    0  4  signature 0x06064b50          20  4  disk where the directory starts
//    4  8  size of the rest (44)         24  8  entries on this disk
//   12  2  version made by               32  8  entries in total
//   14  2  version needed                40  8  size of the central directory
//   16  4  number of this disk           48  8  offset of the central directory
//
// Zip64 end of central directory locator (20 bytes):
//    0  4  signature 0x07064b50           8  8  offset of the zip64 record
//    4  4  disk holding the zip64 record 16  4  total number of disks
//
// Extra fields are a list of (id 2, size 2, data). Zip64 extended information (id 0x0001)
// holds, in this order, only the values whose header field is saturated: uncompressed
// size 8, compressed size 8, local header offset 8, disk number 4; a local header that has
// it carries both sizes. The Unicode path field (id 0x7075) holds version 1, the CRC-32 of
// the header's name and the name in UTF-8.
namespace torvinel::zipformat {

constexpr uint32_t LocalHeaderSignature = 0x04034b50;
constexpr uint32_t CentralHeaderSignature = 0x02014b50;
constexpr uint32_t EndRecordSignature = 0x06054b50;
constexpr uint32_t Zip64EndRecordSignature = 0x06064b50;
constexpr uint32_t Zip64LocatorSignature = 0x07064b50;

namespace local {
constexpr std::size_t Signature = 0, VersionNeeded = 4, Flags = 6, Method = 8, Time = 10, Date = 12, Crc = 14,
                      CompressedSize = 18, UncompressedSize = 22, NameLength = 26, ExtraLength = 28;
constexpr std::size_t Size = 30;
} // namespace local

namespace central {
constexpr std::size_t Signature = 0, VersionMadeBy = 4, VersionNeeded = 6, Flags = 8, Method = 10, Time = 12, Date = 14,
                      Crc = 16, CompressedSize = 20, UncompressedSize = 24, NameLength = 28, ExtraLength = 30,
                      CommentLength = 32, DiskStart = 34, InternalAttributes = 36, ExternalAttributes = 38,
                      LocalHeaderOffset = 42;
constexpr std::size_t Size = 46;
} // namespace central

namespace endrecord {
constexpr std::size_t Signature = 0, ThisDisk = 4, DirectoryDisk = 6, EntriesOnDisk = 8, EntriesTotal = 10,
                      DirectorySize = 12, DirectoryOffset = 16, CommentLength = 20;
constexpr std::size_t Size = 22;
constexpr std::size_t MaxCommentLength = 0xffff;
} // namespace endrecord

namespace zip64record {
constexpr std::size_t Signature = 0, RecordSize = 4, VersionMadeBy = 12, VersionNeeded = 14, ThisDisk = 16,
                      DirectoryDisk = 20, EntriesOnDisk = 24, EntriesTotal = 32, DirectorySize = 40,
                      DirectoryOffset = 48;
constexpr std::size_t Size = 56;
} // namespace zip64record

namespace zip64locator {
constexpr std::size_t Signature = 0, RecordDisk = 4, RecordOffset = 8, TotalDisks = 16;
constexpr std::size_t Size = 20;
} // namespace zip64locator

namespace extra {
constexpr std::size_t HeaderSize = 4; // id 2, size 2
constexpr uint16_t Zip64Id = 0x0001;
constexpr uint16_t UnicodePathId = 0x7075;
constexpr uint8_t UnicodePathVersion = 1;
} // namespace extra

// General purpose flags.
constexpr uint16_t FlagEncrypted = 0x0001;
constexpr uint16_t FlagDataDescriptor = 0x0008;
constexpr uint16_t FlagUtf8 = 0x0800; // language encoding: name and comment are UTF-8

// Compression methods.
constexpr uint16_t MethodStored = 0;
constexpr uint16_t MethodDeflated = 8;

// Versions (major * 10 + minor).
constexpr uint16_t VersionStored = 10;
constexpr uint16_t VersionDeflateOrFolder = 20;
constexpr uint16_t VersionZip64 = 45;
constexpr uint16_t VersionMadeByUs = 45;

// Host systems in the high byte of "version made by".
constexpr uint8_t HostMsDos = 0;
constexpr uint8_t HostUnix = 3;
constexpr uint8_t HostMacOsX = 19;

// Values that mean "look in the zip64 field".
constexpr uint32_t Saturated32 = 0xffffffff;
constexpr uint16_t Saturated16 = 0xffff;

// DOS attribute bits in the low byte of the external attributes.
constexpr uint32_t AttrReadOnly = 0x01;
constexpr uint32_t AttrHidden = 0x02;
constexpr uint32_t AttrSystem = 0x04;
constexpr uint32_t AttrVolumeLabel = 0x08;
constexpr uint32_t AttrFolder = 0x10;
constexpr uint32_t AttrArchive = 0x20;

} // namespace torvinel::zipformat
