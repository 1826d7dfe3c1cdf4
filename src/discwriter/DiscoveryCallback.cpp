#include "discwriter/DiscoveryCallback.h"

#include <cstring>
#include <functional>
#include <memory>

#include "discwriter/TextFormat.h"
#include "discwriter/WrapperServices.h"
#include "discwright/Discwright.h"
#include "platform/Platform.h"

namespace torvinel {

namespace {

bool isDVD(DISC_TYPE type)
{
    switch (type) {
    case DISC_TYPE_DVDROM: case DISC_TYPE_DVDR: case DISC_TYPE_DVDRAM: case DISC_TYPE_DVDRWRO:
    case DISC_TYPE_DVDRWSR: case DISC_TYPE_DVDPLUSRW: case DISC_TYPE_DVDPLUSR: case DISC_TYPE_DVDPLUSR_DL:
        return true;
    default:
        return false;
    }
}

void deviceFound(DiscoveryContext& c, const DeviceAddress& address)
{
    DriveList& list = c.list;
    auto trace = [&](const std::string& text) { c.logger.WriteTraceLine(text, 0); };

    std::size_t item = list.Items.size(); // not yet listed
    if (address.Valid) {
        list.Items.emplace_back();
        list.Items.back().DeviceAddress = address;
    }
    list.DeviceError.clear();

    DiscwrightHandle drive = nullptr;
    char text[DiscwrightTextSize] = {};
    int32_t status = 0;
    DiscwrightFailure failure{};
    trace("Discwright_Drive_Create (before create)");
    const auto opened = Discwright_Drive_Create(&drive, text, sizeof text, &status, &failure, DiscoveryCallback,
                                                nullptr, address.PortID, address.BusID, address.TargetID,
                                                address.LUN, 0);
    if (opened != 0) {
        list.DeviceError = Format("Discwright_Drive_Create() failed, exception %d, status %d, text \"%s\"", opened,
                                  status, BufferText(text, sizeof text).c_str());
        trace(list.DeviceError);
        return;
    }
    struct Close {
        DiscwrightHandle& drive;
        std::function<void(const std::string&)> trace;
        ~Close()
        {
            trace("Discwright_Destroy: Grabber");
            Discwright_Destroy(&drive);
        }
    } close{drive, trace};

    trace(Format("Discwright_Drive_Create (after create): PortID:%d,BusID:%d,TargetID:%d,LUN:%d", address.PortID,
                 address.BusID, address.TargetID, address.LUN));

    trace("Discwright_GetDeviceNameByDeviceAddress");
    char name[DiscwrightTextSize] = {};
    std::string driveLetter;
    if (Discwright_GetDeviceNameByDeviceAddress(address.PortID, address.BusID, address.TargetID, address.LUN, name,
                                                sizeof name) == 0) {
        const std::string path = BufferText(name, sizeof name);
        driveLetter = path.size() > 4 ? path.substr(4) : std::string();
    }

    trace("Discwright_Drive_GetDeviceInformation");
    char vendor[DiscwrightTextSize] = {}, product[DiscwrightTextSize] = {}, revision[DiscwrightTextSize] = {};
    uint32_t bufferSize = 0;
    Discwright_Drive_GetDeviceInformation(drive, vendor, product, revision, &bufferSize, text, sizeof text, &status,
                                          &failure);

    if (item == list.Items.size())
        list.Items.emplace_back(); // a drive without a valid address: listed with a zero one
    auto at = [&]() -> DriveInfo& { return list.Items[item]; };
    at().Vendor = BufferText(vendor, sizeof vendor);
    at().Product = BufferText(product, sizeof product);
    at().ProductRevisionLevel = BufferText(revision, sizeof revision);
    at().BufferSize = bufferSize;
    at().DriveLetter = driveLetter;

    if (c.deviceFound)
        c.deviceFound(at().Product);

    trace("Discwright_Drive_TestUnitReady");
    if (Discwright_Drive_TestUnitReady(drive, text, sizeof text, &status, &failure) != 0)
        return;

    trace("Discwright_Drive_GetInsertedDiscType");
    at().DiscType = Discwright_Drive_GetInsertedDiscType(drive);
    at().DiscLabel = platform::volumeLabel(driveLetter).substr(0, 255);

    trace("Discwright_Drive_GetDiscInformation");
    DiscInformation discInformation{};
    if (Discwright_Drive_GetDiscInformation(drive, &discInformation, text, sizeof text, &status, &failure) != 0)
        return;
    at().DiscInfo = discInformation;
    trace("Discwright_Drive_GetTrackInformation");
    TrackInformation track{};
    Discwright_Drive_GetTrackInformation(drive, NextWritableTrack, &track, text, sizeof text, &status, &failure);
    at().TrackInfo = track;
    trace("Discwright_Drive_GetTOCInformation");
    auto toc = std::make_unique<TOCInformation>();
    std::memset(toc.get(), 0, sizeof *toc);
    Discwright_Drive_GetTOCInformation(drive, toc.get(), text, sizeof text, &status, &failure);
    at().TOC = *toc;
    if (isDVD(at().DiscType)) {
        trace("Discwright_Drive_GetRPC");
        DiscwrightRPC rpc{};
        Discwright_Drive_GetRPC(drive, &rpc, text, sizeof text, &status, &failure);
        const uint8_t values[] = {rpc.typeCode, rpc.vendorResetsLeft, rpc.userChangesLeft, rpc.regionMask,
                                  rpc.rpcScheme};
        for (std::size_t i = 0; i < 5; ++i)
            at().DVDRPC.Values[i] = std::to_string(values[i]);
        at().DVDRPC.Valid = true;
    }

    trace("Discwright_Drive_GetSupportedMediaFormats");
    Discwright_Drive_GetSupportedMediaFormats(drive, &at().MediaFormats);
    trace("Discwright_Drive_GetSupportedMediaFormatsExEx");
    Discwright_Drive_GetSupportedMediaFormatsExEx(drive, &at().MediaFormatsExEx);
    trace("Discwright_Drive_ProbeSupportedWriteModes");
    WriteModes writeModes;
    if (Discwright_Drive_ProbeSupportedWriteModes(drive, &writeModes, text, sizeof text, &status, &failure) == 0)
        at().SupportedWriteModes = writeModes;
    trace("Discwright_Drive_ProbeSupportedReadModes");
    ReadModes readModes;
    if (Discwright_Drive_ProbeSupportedReadModes(drive, &readModes, text, sizeof text, &status, &failure) == 0)
        at().SupportedReadModes = readModes;
}

} // namespace

void DiscoveryCallback(uint32_t code, void* context, void* parameter1, void* /*parameter2*/)
{
    if ((code & 0xFF) != DEVICE_FOUND || context == nullptr || parameter1 == nullptr)
        return;
    DeviceAddress address;
    std::memcpy(&address, parameter1, sizeof address);
    try {
        deviceFound(*static_cast<DiscoveryContext*>(context), address);
    } catch (...) {
        // A drive that cannot be read fully stays listed with what was read; the search goes on.
    }
}

} // namespace torvinel
