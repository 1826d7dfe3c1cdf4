#pragma once
#include <cstdint>
#include <functional>
#include <optional>
#include <string>

namespace torvinel {

// A file of a folder about to be burnt that is still being written when the burn starts (the
// disc's recovery data, computed while the other files are written). The burn takes its size
// from here, places it after every other file of the disc, and reads it only once ready()
// returned: ready blocks until the file is written and tells whether it was (false fails the
// burn). ready is called from the burn's own thread.
struct AwaitedFile {
    uint64_t size = 0;
    std::function<bool()> ready;
};

// Makes path (a file in a folder the next burn takes) an awaited file until the registration
// ends; the file must exist in its folder, at any size, for the burn to meet it.
class AwaitedFileRegistration {
public:
    AwaitedFileRegistration(const std::string& path, AwaitedFile file);
    ~AwaitedFileRegistration();
    AwaitedFileRegistration(const AwaitedFileRegistration&) = delete;
    AwaitedFileRegistration& operator=(const AwaitedFileRegistration&) = delete;

private:
    std::string m_key;
};

// The awaited file registered for path, if any.
std::optional<AwaitedFile> awaitedFile(const std::string& path);

} // namespace torvinel
