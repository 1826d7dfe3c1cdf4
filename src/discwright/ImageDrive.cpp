#include "discwright/internal/ImageDrive.h"

#include "discwright/internal/JolietTree.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <unistd.h>

namespace fs = std::filesystem;

namespace torvinel {

namespace {

constexpr uint32_t ImageBufferBytes = 2 * 1024 * 1024;

std::string systemText(int error) { return std::strerror(error); }

void writeAll(int fd, const uint8_t* data, std::size_t size, off_t offset, const std::string& path)
{
    while (size > 0) {
        const ssize_t n = ::pwrite(fd, data, size, offset);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            throw DriveFailure(DW_WRITE_FAILED, errno, "Could not write " + path + ": " + systemText(errno));
        data += n;
        size -= static_cast<std::size_t>(n);
        offset += n;
    }
}

// Makes a file's contents and its name durable.
void syncFile(int fd, const std::string& path)
{
    if (::fsync(fd) != 0)
        throw DriveFailure(DW_WRITE_FAILED, errno, "Could not write " + path + ": " + systemText(errno));
}

void syncFolder(const std::string& folder)
{
    const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY);
    if (fd >= 0) {
        ::fsync(fd);
        ::close(fd);
    }
}

} // namespace

ImageDrive::ImageDrive(const ImageDriveSettings& settings)
    : m_settings(settings), m_type(imageMediaType(settings.mediaType))
{
    if (m_type == DISC_TYPE_UNKNOWN)
        m_type = DISC_TYPE_DVDPLUSR;
    m_disc = WriteOnceDisc(m_type, static_cast<int32_t>(std::clamp<int64_t>(settings.blocks, 0, INT32_MAX)));
    m_readSpeed = m_writeSpeed = maximumSpeed();
}

std::string ImageDrive::currentImage() const
{
    std::lock_guard lock(m_mutex);
    return m_image;
}

int32_t ImageDrive::maximumSpeed() const
{
    return m_type == DISC_TYPE_CDR ? 8448 : 22160; // 48x CD, 16x DVD
}

DeviceAddress ImageDrive::address() const { return DeviceAddress{1, ImageDrivePort, 0, 0, 0}; }

std::string ImageDrive::deviceName() const { return "\\\\.\\Image:"; }

DeviceInformation ImageDrive::information() { return {"Torvinel", "Image Drive", "1.1", ImageBufferBytes}; }

SupportedMediaFormats ImageDrive::mediaFormats()
{
    return {true, true, true, true, true, true, true, true, true, true};
}

SupportedMediaFormatsExEx ImageDrive::mediaFormatsExEx() { return {true, true, true, true, true, true}; }

WriteModes ImageDrive::writeModes() { return {true, false, false, false}; }

ReadModes ImageDrive::readModes() { return {true, false, false, false, false, false}; }

BufferUnderrunProtection ImageDrive::bufferUnderrunProtection()
{
    std::lock_guard lock(m_mutex);
    return {m_bup, true};
}

void ImageDrive::setBufferUnderrunProtection(bool enabled)
{
    std::lock_guard lock(m_mutex);
    m_bup = enabled;
}

DISC_TYPE ImageDrive::discType() { return m_type; }

DiscInformation ImageDrive::discInformation()
{
    std::lock_guard lock(m_mutex);
    return m_disc.discInformation();
}

TrackInformation ImageDrive::trackInformation(uint32_t track)
{
    std::lock_guard lock(m_mutex);
    return m_disc.trackInformation(track);
}

TOCInformation ImageDrive::tocInformation()
{
    std::lock_guard lock(m_mutex);
    return m_disc.tocInformation();
}

DiscwrightRPC ImageDrive::regionData() { return DiscwrightRPC{0, 4, 5, 0xFF, 1}; }

MediaTrayStatus ImageDrive::trayStatus()
{
    return {true, false}; // a disc is always loaded
}

DriveSpeeds ImageDrive::speeds()
{
    std::lock_guard lock(m_mutex);
    return {m_readSpeed, maximumSpeed(), m_writeSpeed, maximumSpeed()};
}

void ImageDrive::setSpeeds(int32_t readKBps, int32_t writeKBps)
{
    std::lock_guard lock(m_mutex);
    m_readSpeed = readKBps <= 0 ? maximumSpeed() : std::min(readKBps, maximumSpeed());
    m_writeSpeed = writeKBps <= 0 ? maximumSpeed() : std::min(writeKBps, maximumSpeed());
}

void ImageDrive::lock()
{
    std::lock_guard lock(m_mutex);
    m_locked = true;
}

void ImageDrive::release()
{
    std::lock_guard lock(m_mutex);
    m_locked = false;
}

void ImageDrive::eject()
{
    std::lock_guard lock(m_mutex);
    m_locked = false;
    // The written disc stays on the shelf as its image; a fresh blank goes in.
    m_disc = WriteOnceDisc(m_type, static_cast<int32_t>(std::clamp<int64_t>(m_settings.blocks, 0, INT32_MAX)));
    m_image.clear();
    closeReader();
}

void ImageDrive::closeSession()
{
    std::lock_guard lock(m_mutex);
    if (m_disc.appendable())
        m_disc.close();
}

void ImageDrive::writeTrack(JolietTree& tree, bool leaveDiscOpen, const DriveNotify& notify)
{
    std::unique_lock lock(m_mutex);
    if (m_disc.closed())
        throw DriveFailure(DW_WRITE_FAILED, 0, "The disc is closed");
    const uint32_t nwa = m_disc.nextWritableAddress();
    if (!tree.built() || tree.startBlock() != nwa)
        throw DriveFailure(DW_WRITE_FAILED, 0,
                           "The image was not built for block " + std::to_string(nwa) + " of this disc");
    const int64_t blocks = (tree.imageSize() + 2047) / 2048;
    if (blocks > m_disc.freeBlocks())
        throw DriveFailure(DW_WRITE_FAILED, 0,
                           "The image of " + std::to_string(blocks) + " blocks does not fit into "
                               + std::to_string(m_disc.freeBlocks()) + " free blocks");
    const std::string label = tree.volumeLabel();
    if (label.empty() || label.find('/') != std::string::npos || label == "." || label == "..")
        throw DriveFailure(DW_WRITE_FAILED, 0, "The volume label \"" + label + "\" cannot name an image");
    std::error_code ec;
    fs::create_directories(m_settings.folder, ec);
    if (!fs::is_directory(m_settings.folder))
        throw DriveFailure(DW_WRITE_FAILED, ec.value(), "Could not create the folder " + m_settings.folder);

    const bool firstSession = m_disc.blank();
    const std::string target = firstSession ? (fs::path(m_settings.folder) / (label + ".iso")).string() : m_image;
    // A first session goes to a temporary name first, so an image never stands half written.
    const std::string path = firstSession ? target + ".part" : target;
    // Progress notices reach the caller while the image is written: no lock held meanwhile.
    lock.unlock();
    const int fd = ::open(path.c_str(), firstSession ? (O_WRONLY | O_CREAT | O_TRUNC) : O_WRONLY, 0644);
    if (fd < 0)
        throw DriveFailure(DW_WRITE_FAILED, errno, "Could not create " + path + ": " + systemText(errno));
    int64_t written = 0;
    try {
        const off_t base = static_cast<off_t>(nwa) * 2048;
        tree.pumpImage(
            [&](const uint8_t* data, std::size_t size) {
                writeAll(fd, data, size, base + written, path);
                written += static_cast<int64_t>(size);
            },
            notify);
        if (written != tree.imageSize())
            throw DriveFailure(DW_WRITE_FAILED, 0,
                               "Wrote " + std::to_string(written) + " of " + std::to_string(tree.imageSize())
                                   + " bytes to " + path);
        // A later session makes itself the one readers find at the start of the medium.
        if (!firstSession && !tree.overwriteBuffer().empty())
            writeAll(fd, tree.overwriteBuffer().data(), tree.overwriteBuffer().size(), 0, path);
        syncFile(fd, path);
    } catch (...) {
        ::close(fd);
        if (firstSession)
            ::unlink(path.c_str());
        throw;
    }
    if (::close(fd) != 0) {
        if (firstSession)
            ::unlink(path.c_str());
        throw DriveFailure(DW_WRITE_FAILED, errno, "Could not write " + path + ": " + systemText(errno));
    }
    if (firstSession) {
        // An older image of the same name is another disc: keep it under a free name.
        if (fs::exists(target)) {
            for (int k = 1;; ++k) {
                const std::string aside =
                    (fs::path(m_settings.folder) / (label + "-" + std::to_string(k) + ".iso")).string();
                if (!fs::exists(aside)) {
                    if (::rename(target.c_str(), aside.c_str()) != 0) {
                        ::unlink(path.c_str());
                        throw DriveFailure(DW_WRITE_FAILED, errno,
                                           "Could not move " + target + " aside: " + systemText(errno));
                    }
                    break;
                }
            }
        }
        if (::rename(path.c_str(), target.c_str()) != 0) {
            const int error = errno;
            ::unlink(path.c_str());
            throw DriveFailure(DW_WRITE_FAILED, error, "Could not rename " + path + ": " + systemText(error));
        }
        syncFolder(m_settings.folder);
    }
    lock.lock();
    if (firstSession)
        m_image = target;
    m_disc.recordTrack(static_cast<uint32_t>(blocks), leaveDiscOpen);
}

void ImageDrive::readBlock(uint32_t block, uint8_t* buffer)
{
    std::lock_guard lock(m_mutex);
    if (m_image.empty() || block >= m_disc.nextWritableAddress())
        throw DriveFailure(DW_READ_FAILED, 0, "Block " + std::to_string(block) + " is not written");
    if (m_readFd < 0 || m_readPath != m_image) {
        closeReader();
        m_readFd = ::open(m_image.c_str(), O_RDONLY);
        if (m_readFd < 0)
            throw DriveFailure(DW_READ_FAILED, errno, "Could not open " + m_image + ": " + systemText(errno));
        m_readPath = m_image;
    }
    std::size_t got = 0;
    while (got < 2048) {
        const ssize_t n =
            ::pread(m_readFd, buffer + got, 2048 - got, static_cast<off_t>(block) * 2048 + static_cast<off_t>(got));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        got += static_cast<std::size_t>(n);
    }
    if (got != 2048)
        throw DriveFailure(DW_READ_FAILED, 0, "Could not read block " + std::to_string(block) + " of " + m_image);
}

void ImageDrive::closeReader()
{
    if (m_readFd >= 0)
        ::close(m_readFd);
    m_readFd = -1;
    m_readPath.clear();
}

ImageDrive::~ImageDrive() { closeReader(); }

} // namespace torvinel
