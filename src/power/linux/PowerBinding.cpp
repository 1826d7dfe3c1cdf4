// The power guard on Linux. Nothing asks applications before suspending or shutting down
// here, so the refusal takes the form of a systemd-logind inhibitor lock in block mode, held
// over the system bus for as long as the guard refuses. UPower's display device supplies the
// low-battery notice and the power status; logind's PrepareForSleep/PrepareForShutdown
// supply the suspend, resume and shutdown notices.
#include "power/PowerBinding.h"

#include <QtCore/QObject>
#include <QtCore/QStringList>
#include <QtCore/QVariantMap>
#include <QtDBus/QDBusArgument>
#include <QtDBus/QDBusConnection>
#include <QtDBus/QDBusError>
#include <QtDBus/QDBusMessage>
#include <QtDBus/QDBusUnixFileDescriptor>
#include <QtDBus/QDBusVariant>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <fcntl.h>
#include <unistd.h>

#include "power/PowerGuard.h"

namespace torvinel {

namespace {

const QString LogindService = QStringLiteral("org.freedesktop.login1");
const QString LogindPath = QStringLiteral("/org/freedesktop/login1");
const QString LogindManager = QStringLiteral("org.freedesktop.login1.Manager");
const QString UPowerService = QStringLiteral("org.freedesktop.UPower");
const QString UPowerPath = QStringLiteral("/org/freedesktop/UPower");
const QString UPowerInterface = QStringLiteral("org.freedesktop.UPower");
const QString DisplayDevicePath = QStringLiteral("/org/freedesktop/UPower/devices/DisplayDevice");
const QString DeviceInterface = QStringLiteral("org.freedesktop.UPower.Device");
const QString PropertiesInterface = QStringLiteral("org.freedesktop.DBus.Properties");

// Start-up waits for these calls; a system service that does not answer in this time is
// treated as absent rather than holding up the program.
constexpr int CallTimeoutMs = 3000;

// UPower's WarningLevel: 1 none, 2 discharging (UPS only), 3 low, 4 critical, 5 action.
constexpr unsigned LowWarningLevel = 3;
// UPower's device State: 1 charging.
constexpr unsigned StateCharging = 1;

std::string text(const QString& s) { return s.toStdString(); }

} // namespace

// Receives the D-Bus signals (QtDBus delivers them to slots only) and passes them on.
class PowerGuardRelay : public QObject {
    Q_OBJECT
public:
    explicit PowerGuardRelay(PowerBinding::Impl& impl) : m_impl(impl) { }

public Q_SLOTS:
    void prepareForSleep(bool start);
    void prepareForShutdown(bool start);
    void propertiesChanged(const QString& interface, const QVariantMap& changed, const QStringList& invalidated);

private:
    PowerBinding::Impl& m_impl;
};

struct PowerBinding::Impl {
    Impl(PowerGuard& owner, LogFn log, const std::string& busAddress);
    ~Impl();

    void refresh();
    int inhibit(const QString& what, QString& error);
    void release();
    QString whatToHold();

    bool readUPower(QString& error);
    void applyDevice(const QVariantMap& values, bool& statusChanged, bool& becameLow);
    std::optional<PowerStatus> status() const;
    void deviceChanged(const QVariantMap& changed);
    void upowerChanged(const QVariantMap& changed);
    void afterEvent() { refresh(); }

    PowerGuard& owner;
    LogFn log;
    QString connectionName;
    QDBusConnection bus;
    PowerGuardRelay relay;

    int lockFd = -1;
    QString heldWhat;
    bool inhibitFailed = false;

    // The last known UPower state; haveStatus is false until UPower has answered once.
    bool haveStatus = false;
    bool onBattery = false;
    bool present = false;
    double percentage = 0;
    unsigned state = 0;
    qint64 timeToEmpty = 0;
    bool low = false;
};

namespace {

QString nextConnectionName()
{
    static std::atomic<int> counter{0};
    return QStringLiteral("torvinel-power-%1").arg(counter++);
}

QDBusConnection openBus(const std::string& busAddress, const QString& name)
{
    if (busAddress.empty())
        return QDBusConnection::connectToBus(QDBusConnection::SystemBus, name);
    return QDBusConnection::connectToBus(QString::fromStdString(busAddress), name);
}

} // namespace

PowerBinding::Impl::Impl(PowerGuard& owner_, LogFn log_, const std::string& busAddress)
    : owner(owner_),
      log(std::move(log_)),
      connectionName(nextConnectionName()),
      bus(openBus(busAddress, connectionName)),
      relay(*this)
{
    if (!bus.isConnected()) {
        if (log)
            log("Power guard: no system bus (" + text(bus.lastError().message())
                + "), running without holding off sleep and shutdown");
        return;
    }
    // Signals first, then the current state, so that no change falls between the two.
    bus.connect(LogindService, LogindPath, LogindManager, QStringLiteral("PrepareForSleep"), &relay,
                SLOT(prepareForSleep(bool)));
    bus.connect(LogindService, LogindPath, LogindManager, QStringLiteral("PrepareForShutdown"), &relay,
                SLOT(prepareForShutdown(bool)));
    bus.connect(UPowerService, DisplayDevicePath, PropertiesInterface, QStringLiteral("PropertiesChanged"), &relay,
                SLOT(propertiesChanged(QString, QVariantMap, QStringList)));
    bus.connect(UPowerService, UPowerPath, PropertiesInterface, QStringLiteral("PropertiesChanged"), &relay,
                SLOT(propertiesChanged(QString, QVariantMap, QStringList)));

    QString upowerError;
    const bool upower = readUPower(upowerError);
    // A battery that is already low when the program starts counts as the notice: holding
    // off sleep now would only end in the battery running flat.
    if (upower && low)
        owner.PowerBroadcast(PowerEvent::BatteryLow, 0);
    refresh();
    if (!upower && lockFd >= 0 && log)
        log("Power guard: no battery information from UPower (" + text(upowerError)
            + "), a low battery will not end the hold");
}

PowerBinding::Impl::~Impl()
{
    release();
    QDBusConnection::disconnectFromBus(connectionName);
}

QString PowerBinding::Impl::whatToHold()
{
    QStringList what;
    const bool sleep = owner.refusesSleep();
    if (sleep)
        what << QStringLiteral("sleep");
    if (owner.refusesEndSession())
        what << QStringLiteral("shutdown");
    if (sleep)
        what << QStringLiteral("idle"); // idle leads to suspend on many systems
    return what.join(QLatin1Char(':'));
}

void PowerBinding::Impl::refresh()
{
    if (!bus.isConnected())
        return;
    const QString what = whatToHold();
    if (what == heldWhat)
        return;
    if (what.isEmpty()) {
        release();
        if (log)
            log("Power guard: sleep and shutdown are no longer held off");
        return;
    }
    if (inhibitFailed)
        return;
    QString error;
    const int fd = inhibit(what, error);
    if (fd < 0) {
        inhibitFailed = true;
        if (log)
            log("Power guard: no inhibitor lock from logind (" + text(error)
                + "), running without holding off sleep and shutdown");
        return;
    }
    // The new lock is taken before the old one goes, so there is no gap between them.
    release();
    lockFd = fd;
    heldWhat = what;
}

int PowerBinding::Impl::inhibit(const QString& what, QString& error)
{
    QDBusMessage call =
        QDBusMessage::createMethodCall(LogindService, LogindPath, LogindManager, QStringLiteral("Inhibit"));
    call << what << QStringLiteral("Torvinel") << QStringLiteral("Torvinel keeps the computer running until it closes")
         << QStringLiteral("block");
    const QDBusMessage reply = bus.call(call, QDBus::Block, CallTimeoutMs);
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty()) {
        error = reply.errorMessage().isEmpty() ? reply.errorName() : reply.errorMessage();
        return -1;
    }
    const auto descriptor = qdbus_cast<QDBusUnixFileDescriptor>(reply.arguments().at(0));
    if (!descriptor.isValid()) {
        error = QStringLiteral("no file descriptor in the answer");
        return -1;
    }
    // Our own copy: the lock lasts exactly as long as this descriptor stays open.
    const int fd = ::fcntl(descriptor.fileDescriptor(), F_DUPFD_CLOEXEC, 0);
    if (fd < 0)
        error = QStringLiteral("could not keep the file descriptor");
    return fd;
}

void PowerBinding::Impl::release()
{
    if (lockFd >= 0)
        ::close(lockFd);
    lockFd = -1;
    heldWhat.clear();
}

bool PowerBinding::Impl::readUPower(QString& error)
{
    QDBusMessage getAll =
        QDBusMessage::createMethodCall(UPowerService, DisplayDevicePath, PropertiesInterface, QStringLiteral("GetAll"));
    getAll << DeviceInterface;
    const QDBusMessage device = bus.call(getAll, QDBus::Block, CallTimeoutMs);
    if (device.type() != QDBusMessage::ReplyMessage || device.arguments().isEmpty()) {
        error = device.errorMessage().isEmpty() ? device.errorName() : device.errorMessage();
        return false;
    }
    bool statusChanged = false;
    bool becameLow = false;
    applyDevice(qdbus_cast<QVariantMap>(device.arguments().at(0)), statusChanged, becameLow);

    QDBusMessage get =
        QDBusMessage::createMethodCall(UPowerService, UPowerPath, PropertiesInterface, QStringLiteral("Get"));
    get << UPowerInterface << QStringLiteral("OnBattery");
    const QDBusMessage main = bus.call(get, QDBus::Block, CallTimeoutMs);
    if (main.type() == QDBusMessage::ReplyMessage && !main.arguments().isEmpty())
        onBattery = qdbus_cast<QDBusVariant>(main.arguments().at(0)).variant().toBool();
    haveStatus = true;
    return true;
}

void PowerBinding::Impl::applyDevice(const QVariantMap& values, bool& statusChanged, bool& becameLow)
{
    for (auto it = values.cbegin(); it != values.cend(); ++it) {
        const QString& key = it.key();
        const QVariant& value = it.value();
        if (key == QLatin1String("Percentage")) {
            percentage = value.toDouble();
            statusChanged = true;
        } else if (key == QLatin1String("State")) {
            state = value.toUInt();
            statusChanged = true;
        } else if (key == QLatin1String("IsPresent")) {
            present = value.toBool();
            statusChanged = true;
        } else if (key == QLatin1String("TimeToEmpty")) {
            timeToEmpty = value.toLongLong();
            statusChanged = true;
        } else if (key == QLatin1String("WarningLevel")) {
            const bool nowLow = value.toUInt() >= LowWarningLevel;
            becameLow = nowLow && !low;
            low = nowLow;
        }
    }
}

std::optional<PowerStatus> PowerBinding::Impl::status() const
{
    if (!haveStatus)
        return std::nullopt;
    PowerStatus s;
    s.ACLineStatus = onBattery ? 0 : 1;
    if (!present) {
        s.BatteryFlag = 128;
        return s;
    }
    const int percent = std::clamp(static_cast<int>(std::lround(percentage)), 0, 100);
    s.BatteryLifePercent = static_cast<std::uint8_t>(percent);
    s.BatteryFlag = 0;
    if (percent > 66)
        s.BatteryFlag |= 1;
    if (percent < 33)
        s.BatteryFlag |= 2;
    if (percent < 5)
        s.BatteryFlag |= 4;
    if (state == StateCharging)
        s.BatteryFlag |= 8;
    if (onBattery && timeToEmpty > 0)
        s.BatteryLifeTime = static_cast<std::uint32_t>(std::min<qint64>(timeToEmpty, 0xFFFFFFFE));
    return s;
}

void PowerBinding::Impl::deviceChanged(const QVariantMap& changed)
{
    bool statusChanged = false;
    bool becameLow = false;
    applyDevice(changed, statusChanged, becameLow);
    haveStatus = true;
    if (statusChanged)
        owner.PowerBroadcast(PowerEvent::PowerStatusChange, 0, [this] { return status(); });
    if (becameLow)
        owner.PowerBroadcast(PowerEvent::BatteryLow, 0);
    afterEvent();
}

void PowerBinding::Impl::upowerChanged(const QVariantMap& changed)
{
    const auto it = changed.constFind(QStringLiteral("OnBattery"));
    if (it == changed.cend())
        return;
    onBattery = it.value().toBool();
    owner.PowerBroadcast(PowerEvent::PowerStatusChange, 0, [this] { return status(); });
    afterEvent();
}

void PowerGuardRelay::prepareForSleep(bool start)
{
    if (start && m_impl.heldWhat.contains(QLatin1String("sleep")) && m_impl.log)
        m_impl.log("Power guard: the system is going to sleep despite the inhibitor lock");
    m_impl.owner.PowerBroadcast(start ? PowerEvent::Suspend : PowerEvent::ResumeSuspend, 0);
    m_impl.afterEvent();
}

void PowerGuardRelay::prepareForShutdown(bool start)
{
    // logind has no end-of-session query; the shutdown is already decided when this comes, so
    // the query is put to the handlers for their say and its answer can only be logged.
    if (!start)
        return;
    const bool refused = !m_impl.owner.QueryEndSession(false);
    if (refused && m_impl.heldWhat.contains(QLatin1String("shutdown")) && m_impl.log)
        m_impl.log("Power guard: the system is shutting down despite the inhibitor lock");
    m_impl.afterEvent();
}

void PowerGuardRelay::propertiesChanged(const QString& interface, const QVariantMap& changed, const QStringList&)
{
    if (interface == DeviceInterface)
        m_impl.deviceChanged(changed);
    else if (interface == UPowerInterface)
        m_impl.upowerChanged(changed);
}

PowerBinding::PowerBinding(PowerGuard& owner, LogFn log, const std::string& busAddress)
    : m_impl(std::make_unique<Impl>(owner, std::move(log), busAddress))
{
}

PowerBinding::~PowerBinding() = default;

void PowerBinding::refresh() { m_impl->refresh(); }

bool PowerBinding::holding() const { return m_impl->lockFd >= 0; }

} // namespace torvinel

#include "PowerBinding.moc"
