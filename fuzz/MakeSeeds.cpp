// Writes a small seed corpus for every fuzz target into OUT/<target>/, made with the
// program's own writers: archives by ZipArchive, catalog lines by formatCatalogLine, INI
// files by the INI writer, recovery files by the recovery data's writer (and, for the hostile
// ones no writer makes, by the tests' hand). Usage: make_fuzz_seeds OUT
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "app/IniFile.h"
#include "archive/ZipArchive.h"
#include "archive/ZipFormat.h"
#include "catalog/CatalogLine.h"
#include "catalog/FileDigest.h"
#include "recovery/RecoveryData.h"
#include "support/FuzzFiles.h"
#include "support/RecoveryHeaderBytes.h"

namespace {

using namespace torvinel;
using namespace torvinel::fuzz;

std::string textOf(std::size_t size)
{
    std::string text;
    for (std::size_t i = 0; text.size() < size; ++i)
        text += "line " + std::to_string(i * 7919 % 1000) + " of the seed\n";
    text.resize(size);
    return text;
}

// Bytes that deflate does not shrink.
std::string noiseOf(std::size_t size, uint32_t seed)
{
    std::string bytes(size, '\0');
    for (char& c : bytes) {
        seed = seed * 1664525u + 1013904223u;
        c = static_cast<char>(seed >> 24);
    }
    return bytes;
}

// An archive of the files of source (name, content) made as a backup makes one.
std::string archiveOf(const std::string& work, const std::vector<std::pair<std::string, std::string>>& files,
                      const std::vector<std::string>& storedMasks = {})
{
    const std::string source = work + "/source";
    fs::remove_all(source);
    fs::create_directories(source);
    for (const auto& [name, content] : files) {
        fs::create_directories(fs::path(source + "/" + name).parent_path());
        writeFile(source + "/" + name, content);
    }
    const std::string path = work + "/seed.zip";
    fs::remove(path);
    ZipArchive zip;
    zip.fileName = path;
    zip.baseDir = source;
    zip.noCompressionMasks = storedMasks;
    zip.open(ZipOpenMode::Create);
    for (const auto& file : files)
        (void)zip.addFiles(file.first);
    zip.close();
    return readFile(path);
}

void append(std::string& out, uint64_t value, int bytes)
{
    for (int i = 0; i < bytes; ++i)
        out += static_cast<char>(value >> (8 * i));
}

uint64_t field(const std::string& bytes, std::size_t at, int length)
{
    uint64_t value = 0;
    for (int i = length; i-- > 0;)
        value = value << 8 | static_cast<unsigned char>(bytes[at + i]);
    return value;
}

// The same archive closed by a zip64 record and locator, as an archive past 4 GiB is: the
// end record's fields saturated, the real values in the zip64 record.
std::string withZip64End(const std::string& archive)
{
    using namespace zipformat;
    const std::size_t end = archive.size() - endrecord::Size;
    const uint64_t entries = field(archive, end + endrecord::EntriesTotal, 2);
    const uint64_t directorySize = field(archive, end + endrecord::DirectorySize, 4);
    const uint64_t directoryOffset = field(archive, end + endrecord::DirectoryOffset, 4);
    std::string out = archive.substr(0, end);
    const uint64_t recordOffset = out.size();
    append(out, Zip64EndRecordSignature, 4);
    append(out, zip64record::Size - 12, 8);
    append(out, VersionMadeByUs, 2);
    append(out, VersionZip64, 2);
    append(out, 0, 4); // this disk
    append(out, 0, 4); // directory disk
    append(out, entries, 8);
    append(out, entries, 8);
    append(out, directorySize, 8);
    append(out, directoryOffset, 8);
    append(out, Zip64LocatorSignature, 4);
    append(out, 0, 4);
    append(out, recordOffset, 8);
    append(out, 1, 4); // total disks
    append(out, EndRecordSignature, 4);
    append(out, Saturated16, 2);
    append(out, Saturated16, 2);
    append(out, Saturated16, 2);
    append(out, Saturated16, 2);
    append(out, Saturated32, 4);
    append(out, Saturated32, 4);
    append(out, 0, 2);
    return out;
}

// A split archive of files, as the zip_split target takes it: the flag byte, the lengths of
// the volumes before the last, then every volume.
std::string splitSeedOf(const std::string& work, const std::vector<std::pair<std::string, std::string>>& files,
                        unsigned volumes)
{
    const std::string source = work + "/source";
    const std::string out = work + "/split";
    fs::remove_all(source);
    fs::remove_all(out);
    fs::create_directories(source);
    fs::create_directories(out);
    for (const auto& [name, content] : files)
        writeFile(source + "/" + name, content);
    ZipArchive zip;
    zip.volumeSize = 65536;
    zip.setSpanningMode(ZipSpanningMode::Splitting);
    zip.fileName = out + "/base.zip";
    zip.baseDir = source;
    zip.noCompressionMasks = {"*.jpg"};
    zip.open(ZipOpenMode::Create);
    (void)zip.addFiles("*.*"); // a split archive takes one add
    zip.close();
    std::string seed(1, static_cast<char>(volumes == 3 ? 1 : 0));
    std::string body;
    for (unsigned v = 1; v < volumes; ++v) {
        char name[32];
        std::snprintf(name, sizeof name, "/base_%03u.zip", v);
        const std::string volume = readFile(out + name);
        append(seed, volume.size(), 4);
        body += volume;
    }
    body += readFile(out + "/base.zip");
    return seed + body;
}

void save(const std::string& folder, const std::string& name, const std::string& bytes)
{
    fs::create_directories(folder);
    writeFile(folder + "/" + name, bytes);
}

std::string joined(const std::vector<std::string>& parts)
{
    std::string text;
    for (std::size_t i = 0; i < parts.size(); ++i)
        text += (i ? std::string(PartSeparator) : std::string()) + parts[i];
    return text;
}

std::string catalogOf(const std::vector<std::string>& paths, int64_t size, const char* digest)
{
    std::string text;
    for (const std::string& path : paths)
        text += formatCatalogLine(path, {2024, 2, 29, 13, 45, 58}, size++, digest) + "\r\n";
    return text;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: make_fuzz_seeds OUT\n");
        return 2;
    }
    const std::string out = argv[1];
    const std::string work = out + "/.work";
    fs::create_directories(work);

    const std::string zips = out + "/zip_archive";
    const std::string ordinary = archiveOf(work, {{"notes.txt", textOf(1500)}, {"sub/deeper/list.txt", textOf(300)}});
    save(zips, "deflated.zip", ordinary);
    save(zips, "stored-and-deflated.zip",
         archiveOf(work, {{"photo.jpg", noiseOf(700, 1)}, {"read me.txt", textOf(900)}, {"empty.txt", ""}},
                   {"*.jpg"}));
    save(zips, "empty.zip", archiveOf(work, {}));
    save(zips, "zip64-end.zip", withZip64End(ordinary));

    save(out + "/zip_split", "two-volumes", splitSeedOf(work, {{"a.jpg", noiseOf(70000, 2)}, {"b.txt", textOf(2000)}}, 2));
    save(out + "/zip_split", "three-volumes", splitSeedOf(work, {{"a.jpg", noiseOf(140000, 3)}}, 3));

    const std::string catalog = catalogOf({"/home/ann/photos/2024/img 001.jpg", "/home/ann/a\"quote", "/srv/x,y"}, 12,
                                          "d41d8cd98f00b204e9800998ecf8427e")
        + catalogOf({"/home/ann/notes.txt"}, 0, "");
    save(out + "/catalog_line", "lines", catalog);

    save(out + "/disc_names", "names",
         "20240229\n20240229001\n20240301999\n2024022900001rn.csv\n2024022900002rf_003.csv\n"
         "2024022900003rd.CSV\n19991231001\n20230229001\n");

    const std::string ini = work + "/Torvinel.ini";
    fs::remove(ini);
    IniWriteString(ini, "Status", "HighestDiscId", "20240229001");
    IniWriteBool(ini, "Options", "CompareMD5", true);
    IniWriteInteger(ini, "ImageDrive", "Blocks", 2295104);
    IniWriteString(ini, "ImageDrive", "MediaType", "DVD+R");
    save(out + "/ini_file", "settings", joined({readFile(ini), "ImageDrive", "Blocks", "359849"}));

    const std::string status = work + "/STATUS.INI";
    fs::remove(status);
    const std::string discCatalog = catalogOf({"/home/ann/new.txt", "/home/ann/old.txt"}, 5, "");
    const std::string deleted = catalogOf({"/home/ann/gone.txt"}, 1, "");
    IniWriteString(status, "MD5", "2024030100002rn.csv", "00000000000000000000000000000000");
    IniWriteString(status, "MD5", "2024030100001rn.zip", "d41d8cd98f00b204e9800998ecf8427e");
    save(out + "/ini_file", "status", joined({readFile(status), "MD5", "2024030100003rd.csv", "0123"}));
    save(out + "/add_disc", "disc",
         joined({"2024030100002rn.csv\n2024030100003rd.csv", readFile(status), discCatalog, deleted,
                 catalogOf({"/home/ann/gone.txt", "/home/ann/old.txt"}, 1, "")}));
    save(out + "/add_disc", "no-status", joined({"", "", discCatalog, "", discCatalog}));

    // A small disc: an archive, its catalog and STATUS.INI, with parity at two shares.
    const std::string disc = work + "/disc";
    fs::create_directories(disc);
    std::vector<ProtectedFile> protectedFiles;
    for (const auto& [name, content] : std::vector<std::pair<std::string, std::string>>{
             {"STATUS.INI", readFile(status)}, {"2024030100001rn.zip", ordinary}, {"2024030100001rn.csv", catalog}}) {
        writeFile(disc + "/" + name, content);
        protectedFiles.push_back({name, content.size(), FileDigest(disc + "/" + name)});
    }
    for (const int percent : {12, 50}) {
        const std::string recovery = work + "/RECOVERY.DAT";
        writeRecoveryFile(disc, protectedFiles, percent, recovery);
        save(out + "/recovery_header", "parity-" + std::to_string(percent), readFile(recovery));
    }
    // Headers no writer makes, as a disc made to do harm may carry them, their CRCs right:
    // counts that wrap a careless reader's sums round, and a name that climbs out of the
    // disc's folder.
    save(out + "/recovery_header", "wrapping-counts", test::wrappingRecoveryHeader());
    const std::string sound = readFile(work + "/RECOVERY.DAT");
    const RecoveryFileRead read = [&](uint64_t offset, std::size_t length, uint8_t* bytes) {
        if (offset > sound.size() || length > sound.size() - offset)
            return false;
        std::memcpy(bytes, sound.data() + offset, length);
        return true;
    };
    if (auto header = readRecoveryHeader(read, sound.size())) {
        header->files[0].name = "../victim";
        const std::vector<uint8_t> copy = serializeHeader(*header);
        save(out + "/recovery_header", "climbing-name", std::string(copy.begin(), copy.end()));
    }

    fs::remove_all(work);
    return 0;
}
