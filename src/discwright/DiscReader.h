#pragma once
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace torvinel {

// Reads the discs the program wrote, for restore and for adding a disc to the database.
// Paths inside a disc are '/'-separated and begin with the disc's folder: "<DiscId>/<file>".
class DiscReader {
public:
    struct Entry {
        std::string name;
        bool isFolder = false;
    };

    // A file of the disc as one unbroken run of bytes of a local file.
    struct Extent {
        std::string file;
        uint64_t offset = 0;
        uint64_t length = 0;
    };

    virtual ~DiscReader() = default;

    // Where the reader reads from, for messages ("/media/cdrom", "/home/u/Torvinel Discs").
    virtual std::string location() const = 0;
    // Whether the file exists on the disc (for the image shelf: on the disc named by the
    // path's first part, whose image is loaded when present).
    virtual bool exists(const std::string& path) = 0;
    // Copies a file of the disc to target, replacing it. False when the file is missing or
    // the copy did not complete; then no partial target is left behind.
    virtual bool copy(const std::string& path, const std::string& target) = 0;
    // Where a file of the disc can be read in place, without a copy: the file itself on a
    // disc mounted or copied at a folder, its extent inside a disc image. nullopt when the
    // file is missing or not stored in one piece (it is then copied).
    virtual std::optional<Extent> locate(const std::string& path)
    {
        static_cast<void>(path);
        return std::nullopt;
    }
    // The image file (or device) that holds disc discId's blocks at their places on the medium,
    // so that they can be read where the disc's file tree cannot; nullopt when the reader reads
    // files only. Of one image file, that file unless its tree is readable and lacks the disc.
    virtual std::optional<std::string> medium(const std::string& discId)
    {
        static_cast<void>(discId);
        return std::nullopt;
    }
    // The entries of a folder of the disc, sorted by name; "" is the top level. The image
    // shelf's top level holds one folder per image on the shelf.
    virtual std::vector<Entry> list(const std::string& folder) = 0;
};

// A disc mounted (or copied) at a folder; also an optical drive's mount point.
std::unique_ptr<DiscReader> makeFolderReader(const std::string& root);
// The image drive's shelf: asked for disc N, it reads N.iso without mounting it.
std::unique_ptr<DiscReader> makeImageShelfReader(const std::string& folder);
// One given image file.
std::unique_ptr<DiscReader> makeIsoFileReader(const std::string& isoFile);

// A reader for a drive the user names (an item of RestoreDrive or AddDiscDrive, or a command
// line argument): the image drive's shelf for its folder, one disc image for a .iso file,
// the current mount point for an optical device (the device itself while nothing is
// mounted), else a folder read both as a disc mounted or copied there and as a shelf of
// <DiscId>.iso images. An optical disc's mount point changes with the disc (its label is its
// DiscId), so callers open the drive again when a disc they ask for is not found.
std::unique_ptr<DiscReader> OpenRestoreDrive(const std::string& item);

} // namespace torvinel
