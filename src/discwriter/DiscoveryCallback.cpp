#include "discwriter/DiscoveryCallback.h"

#include <cstring>
#include <memory>

#include "discwright/Discwright.h"
#include "discwriter/TextFormat.h"
#include "discwriter/WrapperServices.h"
#include "discwriter/internal/CallResult.h"
#include "platform/Platform.h"

namespace torvinel {

namespace {

bool isDVD(DISC_TYPE type)
{
    switch (type) {
    case DISC_TYPE_DVDROM:
    case DISC_TYPE_DVDR:
    case DISC_TYPE_DVDRAM:
    case DISC_TYPE_DVDRWRO:
    case DISC_TYPE_DVDRWSR:
    case DISC_TYPE_DVDPLUSRW:
    case DISC_TYPE_DVDPLUSR:
    case DISC_TYPE_DVDPLUSR_DL:
        return true;
    default:
        return false;
    }
}

// One drive the search reported, read step by step. The reads whose failure only leaves a
// field empty discard their results: a drive is listed with what could be read.
class DriveReading {
public:
    DriveReading(DiscoveryContext& context, const DeviceAddress& address) : m_context(context), m_address(address) { }
    ~DriveReading()
    {
        if (m_drive) {
            trace("Discwright_Destroy: Grabber");
            Discwright_Destroy(&m_drive);
        }
    }
    DriveReading(const DriveReading&) = delete;
    DriveReading& operator=(const DriveReading&) = delete;

    void run()
    {
        listByAddress();
        if (!open())
            return;
        const std::string driveLetter = readDriveLetter();
        readNames(driveLetter);
        if (!readDisc(driveLetter))
            return;
        readCapabilities();
    }

private:
    void trace(const std::string& text) { m_context.logger.WriteTraceLine(text, 0); }
    DriveInfo& item() { return m_context.list.Items[m_item]; }

    // A drive with a valid address is listed before it is opened, so it stays listed when
    // the open fails.
    void listByAddress()
    {
        DriveList& list = m_context.list;
        m_item = list.Items.size();
        if (m_address.Valid) {
            list.Items.emplace_back();
            list.Items.back().DeviceAddress = m_address;
        }
        list.DeviceError.clear();
    }

    // false: the open failed; DeviceError holds its message.
    bool open()
    {
        trace("Discwright_Drive_Create (before create)");
        CallResult result;
        const DeviceAddress& a = m_address;
        if (const auto exception =
                Discwright_Drive_Create(&m_drive, result.text, sizeof result.text, &result.status, &result.failure,
                                        DiscoveryCallback, nullptr, a.PortID, a.BusID, a.TargetID, a.LUN, 0)) {
            m_context.list.DeviceError = result.failureMessage("Discwright_Drive_Create", exception);
            trace(m_context.list.DeviceError);
            return false;
        }
        trace(Format("Discwright_Drive_Create (after create): PortID:%d,BusID:%d,TargetID:%d,LUN:%d", a.PortID, a.BusID,
                     a.TargetID, a.LUN));
        return true;
    }

    // The device name without its four-character prefix; empty when it cannot be had.
    std::string readDriveLetter()
    {
        trace("Discwright_GetDeviceNameByDeviceAddress");
        char name[DiscwrightTextSize] = {};
        const DeviceAddress& a = m_address;
        if (Discwright_GetDeviceNameByDeviceAddress(a.PortID, a.BusID, a.TargetID, a.LUN, name, sizeof name) != 0)
            return {};
        const std::string path = BufferText(name, sizeof name);
        return path.size() > 4 ? path.substr(4) : std::string();
    }

    // Vendor, product, revision and cache; then the drive is named to the finder.
    void readNames(const std::string& driveLetter)
    {
        trace("Discwright_Drive_GetDeviceInformation");
        char vendor[DiscwrightTextSize] = {}, product[DiscwrightTextSize] = {}, revision[DiscwrightTextSize] = {};
        uint32_t bufferSize = 0;
        CallResult result;
        static_cast<void>(Discwright_Drive_GetDeviceInformation(m_drive, vendor, product, revision, &bufferSize,
                                                                result.text, sizeof result.text, &result.status,
                                                                &result.failure));

        if (m_item == m_context.list.Items.size())
            m_context.list.Items.emplace_back(); // a drive without a valid address: listed with a zero one
        item().Vendor = BufferText(vendor, sizeof vendor);
        item().Product = BufferText(product, sizeof product);
        item().ProductRevisionLevel = BufferText(revision, sizeof revision);
        item().BufferSize = bufferSize;
        item().DriveLetter = driveLetter;

        if (m_context.deviceFound)
            m_context.deviceFound(item().Product);
    }

    // The disc in the drive. false: the drive is not ready or its disc cannot be read; the
    // drive is then listed without its capabilities.
    bool readDisc(const std::string& driveLetter)
    {
        trace("Discwright_Drive_TestUnitReady");
        if (CallResult result;
            Discwright_Drive_TestUnitReady(m_drive, result.text, sizeof result.text, &result.status, &result.failure)
            != 0)
            return false;

        trace("Discwright_Drive_GetInsertedDiscType");
        item().DiscType = Discwright_Drive_GetInsertedDiscType(m_drive);
        item().DiscLabel = platform::volumeLabel(driveLetter).substr(0, 255);

        trace("Discwright_Drive_GetDiscInformation");
        DiscInformation discInformation{};
        if (CallResult result; Discwright_Drive_GetDiscInformation(m_drive, &discInformation, result.text,
                                                                   sizeof result.text, &result.status, &result.failure)
            != 0)
            return false;
        item().DiscInfo = discInformation;

        trace("Discwright_Drive_GetTrackInformation");
        TrackInformation track{};
        CallResult result;
        static_cast<void>(Discwright_Drive_GetTrackInformation(m_drive, NextWritableTrack, &track, result.text,
                                                               sizeof result.text, &result.status, &result.failure));
        item().TrackInfo = track;

        trace("Discwright_Drive_GetTOCInformation");
        auto toc = std::make_unique<TOCInformation>();
        std::memset(toc.get(), 0, sizeof *toc);
        static_cast<void>(Discwright_Drive_GetTOCInformation(m_drive, toc.get(), result.text, sizeof result.text,
                                                             &result.status, &result.failure));
        item().TOC = *toc;

        if (isDVD(item().DiscType))
            readRegion();
        return true;
    }

    void readRegion()
    {
        trace("Discwright_Drive_GetRPC");
        DiscwrightRPC rpc{};
        CallResult result;
        static_cast<void>(
            Discwright_Drive_GetRPC(m_drive, &rpc, result.text, sizeof result.text, &result.status, &result.failure));
        const uint8_t values[] = {rpc.typeCode, rpc.vendorResetsLeft, rpc.userChangesLeft, rpc.regionMask,
                                  rpc.rpcScheme};
        for (std::size_t i = 0; i < 5; ++i)
            item().DVDRPC.Values[i] = std::to_string(values[i]);
        item().DVDRPC.Valid = true;
    }

    void readCapabilities()
    {
        trace("Discwright_Drive_GetSupportedMediaFormats");
        Discwright_Drive_GetSupportedMediaFormats(m_drive, &item().MediaFormats);
        trace("Discwright_Drive_GetSupportedMediaFormatsExEx");
        Discwright_Drive_GetSupportedMediaFormatsExEx(m_drive, &item().MediaFormatsExEx);

        CallResult result;
        trace("Discwright_Drive_ProbeSupportedWriteModes");
        if (WriteModes writeModes;
            Discwright_Drive_ProbeSupportedWriteModes(m_drive, &writeModes, result.text, sizeof result.text,
                                                      &result.status, &result.failure)
            == 0)
            item().SupportedWriteModes = writeModes;
        trace("Discwright_Drive_ProbeSupportedReadModes");
        if (ReadModes readModes;
            Discwright_Drive_ProbeSupportedReadModes(m_drive, &readModes, result.text, sizeof result.text,
                                                     &result.status, &result.failure)
            == 0)
            item().SupportedReadModes = readModes;
    }

    DiscoveryContext& m_context;
    const DeviceAddress m_address;
    DiscwrightHandle m_drive = nullptr;
    std::size_t m_item = 0; // where the drive is (or will be) listed
};

} // namespace

void DiscoveryCallback(uint32_t code, void* context, void* parameter1, void* /*parameter2*/)
{
    if ((code & 0xFF) != DEVICE_FOUND || context == nullptr || parameter1 == nullptr)
        return;
    DeviceAddress address;
    std::memcpy(&address, parameter1, sizeof address);
    try {
        DriveReading(*static_cast<DiscoveryContext*>(context), address).run();
    } catch (...) {
        // A drive that cannot be read fully stays listed with what was read; the search goes on.
    }
}

} // namespace torvinel
