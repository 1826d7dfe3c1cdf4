#pragma once
#include "discwright/AwaitedFile.h"
#include "discwright/Discwright.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <sstream>
#include <string>
#include <vector>

namespace torvinel::test {

// Starts the disc library once for the whole test program.
inline void startLibrary()
{
    if (!Discwright_IsStarted()) {
        const DiscwrightStartUpBlock block{};
        ASSERT_EQ(Discwright_StartUpEx(&block, sizeof block), 0);
    }
}

// What the library reported through a callback.
struct Notice {
    uint32_t code;
    int64_t p1 = 0;
    int64_t p2 = 0;
};

struct Recorder {
    std::vector<Notice> notices;
    // Answer to a name collision: a new name (reply 2), "" with merge (reply 3), or no answer.
    enum class Answer { Rename, Merge, Nothing } answer = Answer::Rename;
    std::u16string newName = u"renamed";
    std::vector<std::u16string> collisions;

    std::vector<Notice> withCode(uint32_t code) const
    {
        std::vector<Notice> out;
        for (const Notice& n : notices)
            if (n.code == code)
                out.push_back(n);
        return out;
    }
};

inline void recordingCallback(uint32_t code, void* context, void* p1, void* p2)
{
    auto* recorder = static_cast<Recorder*>(context);
    Notice notice{code & 0xFF};
    switch (code & 0xFF) {
    case CN_CDVD_WRITE_PROGRESS:
    case TARGET_FILE_ANALYZE_END:
        notice.p1 = *static_cast<int64_t*>(p1);
        notice.p2 = *static_cast<int64_t*>(p2);
        break;
    case BUFFER_STATUS:
    case VERIFY_PROGRESS:
        notice.p1 = *static_cast<uint32_t*>(p1);
        notice.p2 = *static_cast<uint32_t*>(p2);
        break;
    case TREE_NAME_COLLISION: {
        auto* record = static_cast<NameCollisionRecord*>(p1);
        std::u16string name;
        for (std::size_t i = 0; i + 1 < sizeof record->name; i += 2) {
            char16_t unit;
            std::memcpy(&unit, record->name + i, 2);
            if (unit == 0)
                break;
            name.push_back(unit);
        }
        recorder->collisions.push_back(name);
        uint32_t existing, added;
        std::memcpy(&existing, record->existingAttributes, 4);
        std::memcpy(&added, record->addedAttributes, 4);
        notice.p1 = existing;
        notice.p2 = added;
        if (recorder->answer == Recorder::Answer::Merge && (existing & added & FolderAttribute)) {
            record->reply = CollisionReplyMerge;
        } else if (recorder->answer != Recorder::Answer::Nothing) {
            std::u16string renamed = recorder->newName + std::u16string(1, u'0' + recorder->collisions.size());
            std::memset(record->name, 0, sizeof record->name);
            std::memcpy(record->name, renamed.data(), renamed.size() * 2);
            record->reply = CollisionReplyRenamed;
        }
        break;
    }
    default:
        break;
    }
    recorder->notices.push_back(notice);
}

// The common tail of a drive call, with the text kept for messages.
struct Call {
    char text[DiscwrightTextSize] = {};
    int32_t status = 0;
    DiscwrightFailure failure;
};

// Runs a command and returns its standard output.
inline std::string run(const std::string& command)
{
    std::string out;
    FILE* pipe = popen(command.c_str(), "r");
    if (!pipe)
        return out;
    std::array<char, 4096> buffer;
    std::size_t n;
    while ((n = fread(buffer.data(), 1, buffer.size(), pipe)) > 0)
        out.append(buffer.data(), n);
    pclose(pipe);
    return out;
}

inline std::string quoted(const std::string& path)
{
    std::string out = "'";
    for (char c : path)
        out += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return out + "'";
}

inline std::string fileBytes(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// Every regular file below root, as relative paths.
inline std::vector<std::string> filesBelow(const std::string& root)
{
    std::vector<std::string> files;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(root))
        if (entry.is_regular_file())
            files.push_back(std::filesystem::relative(entry.path(), root).string());
    std::sort(files.begin(), files.end());
    return files;
}

// Opens the first drive the search reports on the given port.
inline DiscwrightHandle openDrive(uint8_t port, uint8_t target, DiscwrightCallback callback, void* context)
{
    Call call;
    DiscwrightHandle drive = nullptr;
    EXPECT_EQ(Discwright_Drive_Create(&drive, call.text, sizeof call.text, &call.status, &call.failure, callback,
                                      context, port, 0, target, 0, 0),
              0)
        << call.text;
    return drive;
}

// A burn as the program does it: the next writable track, a tree of the folder under
// discId, the image at the next writable address, one Track-At-Once track.
struct BurnResult {
    DiscwrightException exception = 0;
    std::string text;
    TrackInformation before{};
    int64_t imageSize = 0;
};

inline BurnResult burnFolder(DiscwrightHandle drive, DiscwrightHandle* tree, const std::string& source,
                             const std::string& discId, bool leaveOpen, Recorder& recorder, bool verify = true)
{
    BurnResult result;
    Call call;
    auto fail = [&](DiscwrightException e) {
        result.exception = e;
        result.text = call.text;
        return result;
    };
    if (auto e = Discwright_Drive_GetTrackInformation(drive, NextWritableTrack, &result.before, call.text,
                                                      sizeof call.text, &call.status, &call.failure))
        return fail(e);
    if (auto e = Discwright_JolietTree_Create(tree, recordingCallback, &recorder, 1, 0, 1, 0, call.text,
                                              sizeof call.text, &call.status))
        return fail(e);
    if (result.before.trackNumber >= 2) {
        if (auto e = Discwright_JolietTree_ImportTrack(drive, *tree, result.before.trackNumber - 1, 0, call.text,
                                                       sizeof call.text, &call.status))
            return fail(e);
    }
    DiscwrightNode* root = Discwright_JolietTree_GetRoot(*tree, call.text, sizeof call.text, &call.status);
    DiscwrightNode* added = nullptr;
    if (auto e = Discwright_JolietTree_Add(*tree, source.c_str(), discId.c_str(), 2, root, &added, call.text,
                                           sizeof call.text, &call.status))
        return fail(e);
    if (auto e = Discwright_JolietTree_BuildImage(*tree, result.before.nextWritableAddress, 8, 1, discId.c_str(),
                                                  "Quenmark", "Torvinel", call.text, sizeof call.text, &call.status))
        return fail(e);
    uint32_t high = 0;
    const uint32_t low = Discwright_JolietTree_GetSizeInUCHARs(*tree, &high);
    result.imageSize = (static_cast<int64_t>(high) << 32) | low;
    if (auto e = Discwright_Drive_TrackAtOnceFromTree(drive, *tree, 1, 0, leaveOpen ? 1 : 0, 1, 1, call.text,
                                                      sizeof call.text, &call.status, &call.failure))
        return fail(e);
    if (verify) {
        uint32_t mismatches = 99;
        if (auto e = Discwright_Drive_VerifyTree(drive, *tree, result.before.nextWritableAddress, &mismatches, 1000,
                                                 call.text, sizeof call.text, &call.status, &call.failure))
            return fail(e);
        EXPECT_EQ(mismatches, 0u);
    }
    return result;
}

// What an awaited file that watches its image saw of it: every byte streamed, each layout and
// how many bytes had been streamed when it came. throwAt makes streamed throw once that many
// bytes were streamed before the call (a negative value: never).
struct ImageWatcher {
    std::vector<uint8_t> streamed;
    std::vector<ImageLayout> layouts;
    std::size_t streamedAtLayout = 0;
    int64_t throwAt = -1;
    bool throwAtLayout = false;
    std::string message = "the recovery data could not be computed";

    AwaitedFile awaited(uint64_t size)
    {
        return {size, [] { return true; },
                [this](const uint8_t* data, std::size_t bytes) {
                    if (throwAt >= 0 && static_cast<int64_t>(streamed.size() + bytes) > throwAt)
                        throw std::runtime_error(message);
                    streamed.insert(streamed.end(), data, data + bytes);
                },
                [this](const ImageLayout& layout) {
                    if (throwAtLayout)
                        throw std::runtime_error(message);
                    layouts.push_back(layout);
                    streamedAtLayout = streamed.size();
                }};
    }
};

// Where a file's data lies in an image: its first block and its bytes.
struct Placed {
    uint64_t block = 0;
    uint64_t size = 0;
    bool operator==(const Placed&) const = default;
};

inline std::ostream& operator<<(std::ostream& out, const Placed& placed)
{
    return out << "block " << placed.block << ", " << placed.size << " bytes";
}

// The files of the last session of image as xorriso places them, by path.
inline std::map<std::string, Placed> xorrisoPlacements(const std::string& image)
{
    std::map<std::string, Placed> placements;
    std::istringstream report(run("xorriso -indev " + quoted(image) + " -find / -exec report_lba -- 2>/dev/null"));
    // File data lba:  0 ,       33 ,        1 ,        5 , '/a.txt'
    const std::string prefix = "File data lba:";
    for (std::string line; std::getline(report, line);) {
        if (line.rfind(prefix, 0) != 0)
            continue;
        const auto open = line.find('\'');
        const auto close = line.rfind('\'');
        if (open == std::string::npos || close <= open)
            continue;
        std::istringstream fields(line.substr(prefix.size(), open - prefix.size()));
        uint64_t extent = 0, block = 0, blocks = 0, size = 0;
        char comma = 0;
        fields >> extent >> comma >> block >> comma >> blocks >> comma >> size;
        placements[line.substr(open + 1, close - open - 1)] = {block, size};
    }
    return placements;
}

} // namespace torvinel::test
