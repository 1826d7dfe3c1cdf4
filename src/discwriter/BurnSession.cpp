#include "discwriter/BurnSession.h"

#include <array>
#include <optional>
#include <thread>
#include <type_traits>

#include "app/Error.h"
#include "app/FileHelpers.h"
#include "app/Progress.h"
#include "catalog/DiscNames.h"
#include "platform/Platform.h"
#include "discwriter/BurnCallbacks.h"
#include "discwriter/TextFormat.h"
#include "discwriter/internal/CallResult.h"
#include "discwright/Discwright.h"
#include "discwright/WriteOnceDisc.h"

namespace torvinel {

namespace {

constexpr std::array<int32_t, 17> CDSpeeds = {65535, 176,  353,  387,  528,  706,  1056, 1400, 1760,
                                              2112,  2800, 3250, 4224, 7040, 7744, 8448, 9152};
constexpr std::array<int32_t, 11> DVDSpeeds = {65535, 1385, 2770, 3324, 4155, 5540, 6925, 8310, 11080, 16620, 22160};

constexpr int64_t Reserve = 10485760;          // kept free on every disc: catalogs, status file, file system
constexpr int64_t PreparationRoom = 400000000; // what preparing a disc needs on the hard disk besides the disc
constexpr int CacheMegabytes = 160;

const char* const TooSmallText = "The disk in the CD/DVD writer is too small: it does not even hold the 10 MB every "
                                 "backup disk keeps free. Please insert a larger blank disk.";
const char* const UnderrunText = "A buffer underrun spoilt the disk in the CD/DVD writer; it is not recorded as a backup "
                                 "disk. Please insert a new blank disk and start the backup again.";

enum class Step {
    Start,
    OpenDrive,
    ReadCapabilities,
    EnableBUP,
    ProbeWriteModes,
    CheckDisc,
    WaitForDisc,
    ReadDisc,
    LockDrive,
    WaitReady,
    SetSpeed,
    ReadSpeeds,
    MeasureTrack,
    CreateTree,
    ImportTrack,
    FindRoot,
    AddFolder,
    BuildImage,
    SendOPC,
    WriteTrack,
    CloseSession,
    Rescan,
    Verify,
    DestroyTree,
    Remeasure,
    ReleaseDrive,
    EjectAndLabel,
    Error,
    Cancelled,
    Done,
    None
};

// Where a stop request sends each step; None: the step does not look.
Step stopTarget(Step step)
{
    switch (step) {
    case Step::Start:
    case Step::OpenDrive:
    case Step::ReadCapabilities:
    case Step::EnableBUP:
    case Step::ProbeWriteModes:
    case Step::CheckDisc:
    case Step::WaitForDisc:
    case Step::ReadDisc:
        return Step::Cancelled;
    case Step::LockDrive:
    case Step::WaitReady:
    case Step::SetSpeed:
    case Step::ReadSpeeds:
    case Step::MeasureTrack:
        return Step::ReleaseDrive;
    case Step::CreateTree:
    case Step::ImportTrack:
    case Step::FindRoot:
    case Step::AddFolder:
    case Step::BuildImage:
    case Step::SendOPC:
        return Step::DestroyTree;
    default:
        return Step::None;
    }
}

class BurnSession {
public:
    BurnSession(RunState& state, View& view, const DriveList& devices, const std::string& name, int64_t& discFreeBytes,
                const BurnOptions& options)
        : m_state(state),
          m_view(view),
          m_devices(devices),
          m_name(name),
          m_discFreeBytes(discFreeBytes),
          m_options(options),
          m_callback{state, view, options.dateTimeText}
    {
    }

    ~BurnSession()
    {
        // Also when an unexpected failure (the log, the view) leaves the session: no handle
        // outlives it and Cancel is not left disabled.
        try {
            if (!m_exited)
                m_view.setEnabled(Window::BackupProgress, Control::CancelButton, true);
            destroyHandles();
        } catch (...) {
        }
    }

    BurnOutcome run();

private:
    Step step(Step current);
    Step start() { return Step::OpenDrive; }
    Step openDrive();
    Step readCapabilities();
    Step enableBUP();
    Step probeWriteModes();
    Step checkDisc();
    Step waitForDisc();
    Step readDisc();
    Step lockDrive();
    Step waitReady();
    Step setSpeed();
    Step readSpeeds();
    Step measureTrack();
    Step createTree();
    Step importTrack();
    Step findRoot();
    Step addFolder();
    Step buildImage();
    Step sendOPC();
    Step writeTrack();
    Step closeSession();
    Step rescan();
    Step verify();
    Step destroyTree();
    Step remeasure();
    Step releaseDrive();
    Step ejectAndLabel();

    void log(const std::string& line) { m_state.WriteLog(line); }
    // The phase bar goes back to 0 for each step, unless the run shows its whole work there.
    std::optional<int> ownBar() const { return m_state.OnBurnProgress ? std::nullopt : std::optional<int>(0); }
    // One library call as the session logs it: doing (when not empty), the call with a fresh
    // CallResult, then done (when not empty) once it succeeded. A failed call's message is
    // kept for the error exit. false: the call failed.
    template <class Call>
    [[nodiscard]] bool attempt(const std::string& doing, const char* name, const char* done, Call&& call)
    {
        if (!doing.empty())
            log(doing);
        CallResult result;
        if (const DiscwrightException exception = call(result)) {
            m_errorText = result.failureMessage(name, exception);
            return false;
        }
        if (*done)
            log(done);
        return true;
    }
    // The same for a call whose out values (text, its size, status and, for drive calls,
    // the failure record) come after its own arguments.
    template <class Function, class... Arguments>
    [[nodiscard]] bool attemptCall(const std::string& doing, const char* name, const char* done, Function function,
                                   Arguments... arguments)
    {
        return attempt(doing, name, done, [&](CallResult& r) {
            constexpr uint32_t size = sizeof r.text;
            if constexpr (std::is_invocable_v<Function, Arguments..., char*, uint32_t, int32_t*, DiscwrightFailure*>)
                return function(arguments..., r.text, size, &r.status, &r.failure);
            else
                return function(arguments..., r.text, size, &r.status);
        });
    }
    // Reads and logs the kinds of disc the writer reads and writes; sets the insert request.
    void readFormats();
    Step refuse(const std::string& reason);
    Step ejectAndWait();
    bool readTrack(); // false: the read failed, its message kept for the error exit
    void logTrack();
    void pause() const
    {
        if (m_options.pollInterval.count() > 0)
            std::this_thread::sleep_for(m_options.pollInterval);
    }
    void destroyHandles();

    RunState& m_state;
    View& m_view;
    const DriveList& m_devices;
    const std::string m_name;
    int64_t& m_discFreeBytes;
    const BurnOptions& m_options;
    BurnCallbackContext m_callback;

    DiscwrightHandle m_drive = nullptr;
    DiscwrightHandle m_tree = nullptr;
    DiscwrightNode* m_root = nullptr;
    std::string m_errorText;
    std::string m_failureAfterRelease; // the drive is released before the session fails with it
    std::string m_insertRequest;
    DriveInfo m_item;
    SupportedMediaFormats m_formats;
    SupportedMediaFormatsExEx m_formatsExEx;
    DISC_TYPE m_discType = DISC_TYPE_UNKNOWN;
    int m_trackLimit = 1;
    int32_t m_writeSpeed = 65535;
    bool m_leaveDiscOpen = true;
    bool m_discBurned = false;
    uint32_t m_trackToImport = 1;
    TrackInformation m_track{};
    int64_t m_imageSize = 0;
    bool m_letQueueRun = true;
    bool m_bupSupported = false;
    bool m_exited = false;
};

BurnOutcome BurnSession::run()
{
    m_state.CancelRequested = false;

    Step current = Step::Start;
    while (current != Step::Error && current != Step::Cancelled && current != Step::Done) {
        m_letQueueRun = true;
        Step next = step(current);
        if (m_letQueueRun)
            m_view.processEvents();
        const Step target = stopTarget(current);
        if (target != Step::None && m_state.CancelRequested)
            next = target;
        current = next;
    }

    m_exited = true;
    m_view.setEnabled(Window::BackupProgress, Control::CancelButton, true);
    if (current == Step::Error) {
        log(m_errorText);
        destroyHandles();
        throw Error(m_errorText);
    }
    const BurnOutcome outcome = current == Step::Cancelled ? BurnOutcome::Cancelled : BurnOutcome::Done;
    log(outcome == BurnOutcome::Cancelled ? "Cancelled" : "Done.");
    destroyHandles();
    return outcome;
}

void BurnSession::destroyHandles()
{
    if (m_drive) {
        Discwright_Destroy(&m_drive);
        m_drive = nullptr;
        log("Burner object destroyed");
    }
    if (m_tree) {
        Discwright_Destroy(&m_tree);
        m_tree = nullptr;
        log("Tree object destroyed");
    }
}

Step BurnSession::step(Step current)
{
    switch (current) {
    case Step::Start:
        return start();
    case Step::OpenDrive:
        return openDrive();
    case Step::ReadCapabilities:
        return readCapabilities();
    case Step::EnableBUP:
        return enableBUP();
    case Step::ProbeWriteModes:
        return probeWriteModes();
    case Step::CheckDisc:
        return checkDisc();
    case Step::WaitForDisc:
        return waitForDisc();
    case Step::ReadDisc:
        return readDisc();
    case Step::LockDrive:
        return lockDrive();
    case Step::WaitReady:
        return waitReady();
    case Step::SetSpeed:
        return setSpeed();
    case Step::ReadSpeeds:
        return readSpeeds();
    case Step::MeasureTrack:
        return measureTrack();
    case Step::CreateTree:
        return createTree();
    case Step::ImportTrack:
        return importTrack();
    case Step::FindRoot:
        return findRoot();
    case Step::AddFolder:
        return addFolder();
    case Step::BuildImage:
        return buildImage();
    case Step::SendOPC:
        return sendOPC();
    case Step::WriteTrack:
        return writeTrack();
    case Step::CloseSession:
        return closeSession();
    case Step::Rescan:
        return rescan();
    case Step::Verify:
        return verify();
    case Step::DestroyTree:
        return destroyTree();
    case Step::Remeasure:
        return remeasure();
    case Step::ReleaseDrive:
        return releaseDrive();
    case Step::EjectAndLabel:
        return ejectAndLabel();
    default:
        return Step::Error;
    }
}

Step BurnSession::openDrive()
{
    log("Initialising drive:");
    const int index = m_view.options().writerIndex;
    if (index < 0 || static_cast<std::size_t>(index) >= m_devices.size()) {
        m_errorText = "No disc writer is chosen.";
        return Step::Error;
    }
    m_item = m_devices[static_cast<std::size_t>(index)];
    const DeviceAddress& a = m_item.DeviceAddress;
    log(Format("%s %s: %d %d %d %d", m_item.DriveLetter.c_str(), m_item.Product.c_str(), a.PortID, a.BusID, a.TargetID,
               a.LUN));
    if (!a.Valid) {
        m_errorText = "SCSI Info for the drive is not valid";
        return Step::Error;
    }
    if (!attempt("Creating Burner object:", "Discwright_Drive_Create", "OK!", [&](CallResult& r) {
            return Discwright_Drive_Create(&m_drive, r.text, sizeof r.text, &r.status, &r.failure, BurnCallback,
                                           &m_callback, a.PortID, a.BusID, a.TargetID, a.LUN, 0);
        }))
        return Step::Error;
    return Step::ReadCapabilities;
}

Step BurnSession::readCapabilities()
{
    readFormats();
    log(Format("%d MBs of cache will be used during burn process", CacheMegabytes));
    log(Format("Found CD/DVD device \"%s\" - \"%s\" - \"%s\" with %u UCHARs of cache", m_item.Vendor.c_str(),
               m_item.Product.c_str(), m_item.ProductRevisionLevel.c_str(), m_item.BufferSize));
    bool enabled = false, supported = false;
    if (!attemptCall("Getting BUP (Buffer Underrun Protection) support... ", "Discwright_Drive_GetBUP", "OK!",
                     Discwright_Drive_GetBUP, m_drive, &enabled, &supported))
        return Step::Error;
    log(Format("BUP (Buffer Underrun Protection) Enabled: %s, Supported: %s", YesNo(enabled), YesNo(supported)));
    m_bupSupported = supported;
    return Step::EnableBUP;
}

void BurnSession::readFormats()
{
    // These reads fail only on an unusable handle, which the open has ruled out.
    Discwright_Drive_GetSupportedMediaFormats(m_drive, &m_formats);
    Discwright_Drive_GetSupportedMediaFormatsExEx(m_drive, &m_formatsExEx);
    const SupportedMediaFormats& f = m_formats;
    const SupportedMediaFormatsExEx& x = m_formatsExEx;
    const std::pair<const char*, bool> flags[] = {{"IsCDRRead:", f.IsCDRRead},
                                                  {"IsCDERead:", f.IsCDERead},
                                                  {"IsDVDROMRead:", f.IsDVDROMRead},
                                                  {"IsDVDRRead:", f.IsDVDRRead},
                                                  {"IsDVDRAMRead:", f.IsDVDRAMRead},
                                                  {"IsTestWrite:", f.IsTestWrite},
                                                  {"IsCDRWrite:", f.IsCDRWrite},
                                                  {"IsCDEWrite:", f.IsCDEWrite},
                                                  {"IsDVDRWrite:", f.IsDVDRWrite},
                                                  {"IsDVDRAMWrite:", f.IsDVDRAMWrite},
                                                  {"IsDVDPLUSRWRead:", x.IsDVDPLUSRWRead},
                                                  {"IsDVDPLUSRRead:", x.IsDVDPLUSRRead},
                                                  {"IsDVDPLUSRDLRead:", x.IsDVDPLUSRDLRead},
                                                  {"IsDVDPLUSRWWrite:", x.IsDVDPLUSRWWrite},
                                                  {"IsDVDPLUSRWrite:", x.IsDVDPLUSRWrite},
                                                  {"IsDVDPLUSRDLWrite:", x.IsDVDPLUSRDLWrite}};
    for (const auto& [label, value] : flags)
        log(std::string(label) + YesNo(value));
    m_insertRequest = InsertRequestFor(f.IsCDRWrite, f.IsDVDRWrite, x.IsDVDPLUSRWrite, x.IsDVDPLUSRDLWrite);
}

Step BurnSession::enableBUP()
{
    if (!m_bupSupported) {
        log("BUP is not supported, so will not be enabled.");
        return Step::ProbeWriteModes;
    }
    if (!attemptCall("Enabling BUP (Buffer Underrun Protection)... ", "Discwright_Drive_SetBUP", "OK!",
                     Discwright_Drive_SetBUP, m_drive, 1u))
        return Step::Error;
    return Step::ProbeWriteModes;
}

Step BurnSession::probeWriteModes()
{
    WriteModes modes;
    if (!attemptCall("Probing supported write modes... ", "Discwright_Drive_ProbeSupportedWriteModes", "OK!",
                     Discwright_Drive_ProbeSupportedWriteModes, m_drive, &modes))
        return Step::Error;
    log(Format("Track-At-Once: %s, Session-At-Once: %s, Disc-At-Once PQ: %s, Disc-At-Once raw P-W: %s",
               YesNo(modes.TrackAtOnce), YesNo(modes.SessionAtOnce), YesNo(modes.DiscAtOncePQ),
               YesNo(modes.DiscAtOnceRawPW)));
    if (!modes.TrackAtOnce) {
        m_view.showInformation("Track-At-Once is not supported on this drive. Cancelling.");
        m_state.CancelRequested = true;
        return Step::Cancelled;
    }
    log("OK!");
    return Step::CheckDisc;
}

Step BurnSession::ejectAndWait()
{
    if (!attemptCall("", "Discwright_Drive_Eject", "", Discwright_Drive_Eject, m_drive))
        return Step::Error;
    return Step::WaitForDisc;
}

Step BurnSession::refuse(const std::string& reason)
{
    log(reason);
    log(m_insertRequest);
    showBackupProgress(m_view, {.message = m_insertRequest});
    return ejectAndWait();
}

Step BurnSession::checkDisc()
{
    m_discType = Discwright_Drive_GetInsertedDiscType(m_drive);
    const int cdIndex = m_view.options().cdSpeedIndex;
    const int dvdIndex = m_view.options().dvdSpeedIndex;
    auto takeDVD = [&] {
        m_trackLimit = m_state.DVDTrackLimit;
        if (const int32_t speed = DVDWriteSpeed(dvdIndex); speed >= 0)
            m_writeSpeed = speed;
        return Step::ReadDisc;
    };
    if (isRewritable(m_discType))
        return refuse("Torvinel currently does not support rewritable disks.");
    switch (m_discType) {
    case DISC_TYPE_UNKNOWN:
    case DISC_TYPE_NO_MEDIA:
        showBackupProgress(m_view, {.message = m_insertRequest});
        log(m_insertRequest);
        return ejectAndWait();
    case DISC_TYPE_CDROM:
    case DISC_TYPE_DVDROM:
    case DISC_TYPE_DDCDROM:
        return refuse("The disk cannot be written to.");
    case DISC_TYPE_CDR:
        if (!m_formats.IsCDRWrite)
            return refuse("Your CD/DVD writer does not support CD-R Disks.");
        m_trackLimit = m_state.CDTrackLimit;
        if (const int32_t speed = CDWriteSpeed(cdIndex); speed >= 0)
            m_writeSpeed = speed;
        return Step::ReadDisc;
    case DISC_TYPE_DVDR:
        if (!m_formats.IsDVDRWrite)
            return refuse("Your CD/DVD writer does not support DVD-R Disks.");
        return takeDVD();
    case DISC_TYPE_DVDPLUSR:
        if (!m_formatsExEx.IsDVDPLUSRWrite)
            return refuse("Your CD/DVD writer does not support DVD+R Disks.");
        return takeDVD();
    case DISC_TYPE_DVDPLUSR_DL:
        // Written like a DVD+R: one track, DVD speeds.
        if (!m_formatsExEx.IsDVDPLUSRDLWrite)
            return refuse("Your CD/DVD writer does not support DVD+R DL Disks.");
        return takeDVD();
    default:
        // Kinds the program does not write (a double-density CD-R): ask again until the disc
        // is changed or the user cancels.
        pause();
        return Step::CheckDisc;
    }
}

Step BurnSession::waitForDisc()
{
    MediaTrayStatus tray;
    if (!attemptCall("", "Discwright_Drive_GetMediaTrayStatus", "", Discwright_Drive_GetMediaTrayStatus, m_drive,
                     &tray))
        return Step::Error;
    if (tray.DiscPresent)
        return Step::CheckDisc;
    pause();
    return Step::WaitForDisc;
}

Step BurnSession::readDisc()
{
    showBackupProgress(m_view, {.message = ""});
    DiscInformation info{};
    if (!attemptCall("Getting disc information... ", "Discwright_Drive_GetDiscInformation", "",
                     Discwright_Drive_GetDiscInformation, m_drive, &info))
        return Step::Error;
    log(Format("Disc erasable: %s, Disc status: 0x%02X, Last session status: 0x%02X, Disc type: %d",
               YesNo(info.erasable != 0), info.discStatus, info.lastSessionStatus, static_cast<int>(m_discType)));
    if (info.discStatus == DiscStatusBlank) {
        log("Yay, everything is great!");
        return Step::LockDrive;
    }
    log("This disc is not blank.");
    log(m_insertRequest);
    return ejectAndWait();
}

Step BurnSession::lockDrive()
{
    if (!attemptCall("Locking the drive for writing...", "Discwright_Drive_Lock", "OK!", Discwright_Drive_Lock,
                     m_drive))
        return Step::Error;
    m_view.setEnabled(Window::BackupProgress, Control::CancelButton, false);
    return Step::WaitReady;
}

Step BurnSession::waitReady()
{
    log("Waiting for unit ready...");
    const auto deadline = m_options.clock() + m_options.readyTimeout;
    for (;;) {
        m_view.processEvents();
        CallResult r;
        if (Discwright_Drive_TestUnitReady(m_drive, r.text, sizeof r.text, &r.status, &r.failure) == 0)
            break;
        if (m_state.CancelRequested)
            return Step::SetSpeed; // the stop request sends the session on to ReleaseDrive
        if (m_options.clock() >= deadline) {
            m_errorText = "The drive did not become ready.";
            return Step::Error;
        }
        pause();
    }
    log("OK!");
    return Step::SetSpeed;
}

Step BurnSession::setSpeed()
{
    if (!attemptCall(Format("Setting CD/DVD speeds to %d KBps.", m_writeSpeed), "Discwright_Drive_SetSpeeds", "Ok!",
                     Discwright_Drive_SetSpeeds, m_drive, m_writeSpeed, m_writeSpeed))
        return Step::Error;
    return Step::ReadSpeeds;
}

Step BurnSession::readSpeeds()
{
    int32_t read = 0, readMaximum = 0, write = 0, writeMaximum = 0;
    if (!attemptCall("Getting current CD/DVD speeds... ", "Discwright_Drive_GetSpeeds", "Ok!",
                     Discwright_Drive_GetSpeeds, m_drive, &read, &readMaximum, &write, &writeMaximum))
        return Step::Error;
    log(Format("Current read speed %d KBps (%d maximum)", read, readMaximum));
    log(Format("Current write speed %d KBps (%d maximum)", write, writeMaximum));
    return Step::MeasureTrack;
}

bool BurnSession::readTrack()
{
    log("Getting track information... ");
    CallResult r;
    TrackInformation info{};
    if (const DiscwrightException exception = Discwright_Drive_GetTrackInformation(
            m_drive, NextWritableTrack, &info, r.text, sizeof r.text, &r.status, &r.failure)) {
        m_errorText = r.failureMessage("Discwright_Drive_GetTrackInformation", exception);
        return false;
    }
    m_track = info;
    return true;
}

void BurnSession::logTrack()
{
    log("Ok!");
    log(Format("Track Blank: %s, NWA valid: %s, free LBs %d, NWA %u, track number %d", YesNo(m_track.blank != 0),
               YesNo(m_track.nwaValid != 0), m_track.freeBlocks, m_track.nextWritableAddress, m_track.trackNumber));
}

Step BurnSession::measureTrack()
{
    // Without the track's room nothing can be written or planned.
    if (!readTrack())
        return Step::Error;
    logTrack();
    m_discFreeBytes = RoomOnDisc(m_track.trackNumber, m_track.freeBlocks, m_trackLimit);
    if (m_track.trackNumber == m_trackLimit)
        m_leaveDiscOpen = false;
    log(Format("Track size: %lld", static_cast<long long>(m_discFreeBytes)));
    if (!m_name.empty())
        return Step::CreateTree;
    // A blank disc that cannot even keep the reserve takes nothing; it is refused before
    // anything is packed for it.
    if (m_discFreeBytes == 0) {
        m_failureAfterRelease = TooSmallText;
        return Step::ReleaseDrive;
    }

    const int64_t free =
        m_options.freeSpace ? m_options.freeSpace(m_state.TempFolder) : DriveFreeSpace(m_state.TempFolder);
    if (m_discFreeBytes + PreparationRoom > free) {
        m_view.showInformation("You do not have enough space on your hard drive to prepare the backup. Cancelling.");
        m_state.CancelRequested = true;
    }
    return Step::ReleaseDrive;
}

Step BurnSession::createTree()
{
    if (!attemptCall("", "Discwright_IsoTree_Create", "OK!", Discwright_JolietTree_Create, &m_tree, BurnCallback,
                     static_cast<void*>(&m_callback), 1u, 0u, 1u, 0u))
        return Step::Error;
    if (m_track.trackNumber >= 2) {
        m_trackToImport = m_track.trackNumber - 1u;
        return Step::ImportTrack;
    }
    return Step::FindRoot;
}

Step BurnSession::importTrack()
{
    if (!attemptCall(Format("Importing Track %u... ", m_trackToImport), "Discwright_JolietTree_ImportTrack", "OK!",
                     Discwright_JolietTree_ImportTrack, m_drive, m_tree, m_trackToImport, 0u))
        return Step::Error;
    return Step::FindRoot;
}

Step BurnSession::findRoot()
{
    log("Getting Root of the file tree... ");
    CallResult r;
    m_root = Discwright_JolietTree_GetRoot(m_tree, r.text, sizeof r.text, &r.status);
    if (m_root)
        log("OK!");
    else
        m_errorText = "Warning: Discwright_JolietTree_GetRoot() failed.";
    return Step::AddFolder;
}

Step BurnSession::addFolder()
{
    const std::string source = m_state.TempFolder + "/";
    DiscwrightNode* added = nullptr;
    if (!attemptCall(Format("Adding \"%s\" to the file tree...", m_name.c_str()), "Discwright_IsoTree_Add", "OK!",
                     Discwright_JolietTree_Add, m_tree, source.c_str(), m_name.c_str(), 2u, m_root, &added))
        return Step::Error;
    // What tells the files on the disc apart and rebuilds the database lies where a disc is
    // read most reliably.
    std::vector<std::string> first{DiscIndexFolder};
    for (const auto& status : platform::listFolder(m_state.TempFolder, "status.ini"))
        first.push_back(status.name);
    for (const auto& name : first) {
        CallResult r;
        if (const auto e = Discwright_JolietTree_PlaceFirst(m_tree, added, name.c_str(), r.text, sizeof r.text, &r.status))
            log(r.failureMessage("Discwright_JolietTree_PlaceFirst", e)); // the disc is whole all the same
    }
    return Step::BuildImage;
}

Step BurnSession::buildImage()
{
    if (!attemptCall("Building ISO image... ", "Discwright_IsoTree_BuildImage", "OK!", Discwright_JolietTree_BuildImage,
                     m_tree, m_track.nextWritableAddress, 8u, 1u, m_name.c_str(), "Quenmark", "Torvinel"))
        return Step::Error;
    uint32_t high = 0;
    const uint32_t low = Discwright_JolietTree_GetSizeInUCHARs(m_tree, &high);
    m_imageSize = static_cast<int64_t>((static_cast<uint64_t>(high) << 32) | low);
    return Step::SendOPC;
}

Step BurnSession::sendOPC()
{
    log("Sending OPC (Optimum Power Calibration)... ");
    CallResult r;
    if (const auto e = Discwright_Drive_SendOPC(m_drive, r.text, sizeof r.text, &r.status, &r.failure)) {
        log("FAILED!");
        // A failure must say what failed: without an earlier warning, the call's own message.
        if (m_errorText.empty())
            m_errorText = r.failureMessage("Discwright_Drive_SendOPC", e);
        return Step::Error;
    }
    log("OK!");
    return Step::WriteTrack;
}

Step BurnSession::writeTrack()
{
    m_state.LastWritePercent = 0;
    if (!attemptCall(Format("Burning %lld UCHARs of ISO9660/Joliet image...", static_cast<long long>(m_imageSize)),
                     "Discwright_Drive_TrackAtOnceFromTree", "OK!", Discwright_Drive_TrackAtOnceFromTree, m_drive,
                     m_tree, 1u, 0u, m_leaveDiscOpen ? 1u : 0u, 1u, 1u))
        return Step::Error;
    m_discBurned = true;
    return Step::CloseSession;
}

Step BurnSession::closeSession()
{
    m_letQueueRun = false;
    if (!m_discBurned)
        return Step::ReleaseDrive;
    showBackupProgress(m_view, {.phase = "Closing the disk:", .extra = "", .phaseBar = ownBar(), .extraBar = 0});
    if (!attemptCall("Closing session... ", "Discwright_Drive_CloseSession", "OK!", Discwright_Drive_CloseSession,
                     m_drive))
        return Step::Error;
    return Step::Rescan;
}

Step BurnSession::rescan()
{
    if (m_discType != DISC_TYPE_CDR) {
        m_letQueueRun = false;
        return Step::Verify;
    }
    if (!attemptCall("Rescanning the disk for added information... ", "Discwright_Drive_StopPlayScan", "OK!",
                     Discwright_Drive_StopPlayScan, m_drive))
        return Step::Error;
    return Step::Verify;
}

Step BurnSession::verify()
{
    Step next = Step::DestroyTree;
    if (m_view.options().verify) {
        showBackupProgress(
            m_view,
            {.phase = "Verifying the disk: This will take a couple of minutes.", .phaseBar = ownBar(), .extraBar = 0});
        uint32_t mismatches = 0;
        if (!attemptCall("Verifying the file tree.", "Discwright_Drive_VerifyTree", "OK!", Discwright_Drive_VerifyTree,
                         m_drive, m_tree, m_track.nextWritableAddress, &mismatches, 1000u))
            next = Step::Error;
    } else {
        log("No verification will be done.");
    }
    showBackupProgress(m_view, {.phase = "", .extra = "", .message = "", .phaseBar = ownBar(), .extraBar = 0});
    return next;
}

Step BurnSession::destroyTree()
{
    log("Destroying the File Tree... ");
    if (m_tree) {
        Discwright_Destroy(&m_tree);
        m_tree = nullptr;
        log("OK!");
    } else {
        log("Nothing to Destroy!");
    }
    return Step::Remeasure;
}

Step BurnSession::remeasure()
{
    if (!readTrack()) {
        m_discFreeBytes = 0;
        return Step::ReleaseDrive;
    }
    logTrack();
    m_discFreeBytes = RoomOnDisc(m_track.trackNumber, m_track.freeBlocks, m_trackLimit);
    log(Format("Track size: %lld", static_cast<long long>(m_discFreeBytes)));
    return Step::ReleaseDrive;
}

Step BurnSession::releaseDrive()
{
    if (!attemptCall("Releasing the drive lock...", "Discwright_Drive_Release", "OK!", Discwright_Drive_Release,
                     m_drive))
        return Step::Error;
    if (m_callback.underrun)
        m_failureAfterRelease = UnderrunText;
    if (!m_failureAfterRelease.empty()) {
        m_errorText = m_failureAfterRelease;
        return Step::Error;
    }
    // A disc counts as written, and is labelled, only once its track went through: a stop
    // before the write leaves the disc as it was, whatever its room.
    if (!m_discBurned && (!m_name.empty() || m_state.CancelRequested))
        return Step::Cancelled;
    return m_discFreeBytes != 0 ? Step::Done : Step::EjectAndLabel;
}

Step BurnSession::ejectAndLabel()
{
    if (!attemptCall("Ejecting...", "Discwright_Drive_Eject", "OK!", Discwright_Drive_Eject, m_drive))
        return Step::Error;
    m_view.showInformation("Please remove the disk and mark it with the following number: " + m_name);
    return Step::Done;
}

} // namespace

int32_t CDWriteSpeed(int index)
{
    return index >= 0 && static_cast<std::size_t>(index) < CDSpeeds.size() ? CDSpeeds[static_cast<std::size_t>(index)]
                                                                           : -1;
}

int32_t DVDWriteSpeed(int index)
{
    return index >= 0 && static_cast<std::size_t>(index) < DVDSpeeds.size() ? DVDSpeeds[static_cast<std::size_t>(index)]
                                                                            : -1;
}

std::string InsertRequestFor(bool cdr, bool dvdr, bool dvdPlusR, bool dvdPlusRDL)
{
    const std::pair<const char*, bool> kinds[] = {
        {"DVD+R DL", dvdPlusRDL}, {"DVD+R", dvdPlusR}, {"DVD-R", dvdr}, {"CD-R", cdr}};
    std::string taken;
    int count = 0;
    for (const auto& [kind, writable] : kinds) {
        if (!writable)
            continue;
        taken = count == 0 ? std::string(kind) : std::string(kind) + (count == 1 ? " or " : ", ") + taken;
        ++count;
    }
    return "Please insert a blank " + taken + " disk.";
}

int64_t RoomOnDisc(int trackNumber, int32_t freeBlocks, int trackLimit)
{
    if (trackNumber > trackLimit)
        return 0;
    const int64_t room = static_cast<int64_t>(freeBlocks) / (trackLimit - trackNumber + 1) * 2048 - Reserve;
    return room < 0 ? 0 : room;
}

BurnOutcome burnDisc(RunState& state, View& view, const DriveList& devices, const std::string& Name,
                     int64_t& DiscFreeBytes, const BurnOptions& options)
{
    BurnSession session(state, view, devices, Name, DiscFreeBytes, options);
    return session.run();
}

} // namespace torvinel
