// The Linux power guard against a private bus with mock logind and UPower services.
#include <gtest/gtest.h>

#include <QtCore/QCoreApplication>
#include <QtCore/QElapsedTimer>
#include <QtCore/QProcess>
#include <QtCore/QStandardPaths>
#include <QtCore/QThread>
#include <QtDBus/QDBusArgument>
#include <QtDBus/QDBusConnection>
#include <QtDBus/QDBusConnectionInterface>
#include <QtDBus/QDBusMessage>
#include <QtDBus/QDBusVariant>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "power/PowerGuard.h"
#include "support/QtWaits.h"

namespace torvinel {
namespace {

const char* const Python = "/usr/bin/python3"; // the one interpreter that has dbusmock

void ensureApplication()
{
    static int argc = 1;
    static char name[] = "power_tests";
    static char* argv[] = {name, nullptr};
    if (!QCoreApplication::instance())
        new QCoreApplication(argc, argv); // lives to the end of the test program
}

bool waitUntil(const std::function<bool()>& condition, int ms = 4000) { return test::waitUntil(condition, ms); }

void stop(QProcess& process) { test::stopProcess(process); }

struct Inhibitor {
    QString what, who, why, mode;
};

class PowerGuardDBusTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ensureApplication();
        const QString daemon = QStandardPaths::findExecutable(QStringLiteral("dbus-daemon"));
        if (daemon.isEmpty())
            GTEST_SKIP() << "dbus-daemon is not installed";
        QProcess probe;
        probe.start(QString::fromLatin1(Python), {QStringLiteral("-c"), QStringLiteral("import dbusmock")});
        if (!probe.waitForFinished(10000) || probe.exitStatus() != QProcess::NormalExit || probe.exitCode() != 0)
            GTEST_SKIP() << "python3-dbusmock is not installed";

        m_daemon.start(daemon,
                       {QStringLiteral("--session"), QStringLiteral("--nofork"), QStringLiteral("--print-address")});
        ASSERT_TRUE(m_daemon.waitForStarted(3000));
        ASSERT_TRUE(waitUntil([&] { return m_daemon.canReadLine() || m_daemon.waitForReadyRead(50); }));
        address = QString::fromUtf8(m_daemon.readLine()).trimmed();
        ASSERT_FALSE(address.isEmpty());
        m_bus = std::make_unique<QDBusConnection>(QDBusConnection::connectToBus(address, QStringLiteral("power-test")));
        ASSERT_TRUE(m_bus->isConnected());
    }

    void TearDown() override
    {
        guard.reset(); // closes its connection before the bus goes
        m_bus.reset();
        QDBusConnection::disconnectFromBus(QStringLiteral("power-test"));
        for (auto& mock : m_mocks)
            stop(*mock);
        stop(m_daemon);
    }

    // Starts a dbusmock template as a system service on the private bus and waits for it.
    void startMock(const QString& templateName, const QString& service, const QString& parameters = {})
    {
        auto process = std::make_unique<QProcess>();
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("DBUS_SYSTEM_BUS_ADDRESS"), address);
        process->setProcessEnvironment(env);
        process->setProcessChannelMode(QProcess::ForwardedErrorChannel);
        QStringList args{QStringLiteral("-m"), QStringLiteral("dbusmock"), QStringLiteral("--system"),
                         QStringLiteral("--template"), templateName};
        if (!parameters.isEmpty())
            args << QStringLiteral("--parameters") << parameters;
        process->start(QString::fromLatin1(Python), args);
        QProcess& started = *process;
        m_mocks.push_back(std::move(process));
        ASSERT_TRUE(started.waitForStarted(3000));
        ASSERT_TRUE(waitUntil([&] {
            return m_bus->interface()->isServiceRegistered(service).value() || started.state() == QProcess::NotRunning;
        }));
        ASSERT_EQ(started.state(), QProcess::Running) << templateName.toStdString() << " mock did not start";
    }

    void startMocks()
    {
        startMock(QStringLiteral("logind"), QStringLiteral("org.freedesktop.login1"));
        startMock(QStringLiteral("upower"), QStringLiteral("org.freedesktop.UPower"));
    }

    std::vector<Inhibitor> inhibitors()
    {
        const QDBusMessage reply = m_bus->call(QDBusMessage::createMethodCall(
            QStringLiteral("org.freedesktop.login1"), QStringLiteral("/org/freedesktop/login1"),
            QStringLiteral("org.freedesktop.login1.Manager"), QStringLiteral("ListInhibitors")));
        EXPECT_EQ(reply.type(), QDBusMessage::ReplyMessage) << reply.errorMessage().toStdString();
        std::vector<Inhibitor> list;
        if (reply.arguments().isEmpty())
            return list;
        const QDBusArgument arg = reply.arguments().at(0).value<QDBusArgument>();
        arg.beginArray();
        while (!arg.atEnd()) {
            Inhibitor i;
            uint uid = 0, pid = 0;
            arg.beginStructure();
            arg >> i.what >> i.who >> i.why >> i.mode >> uid >> pid;
            arg.endStructure();
            list.push_back(i);
        }
        arg.endArray();
        return list;
    }

    void setProperty(const QString& path, const QString& interface, const QString& name, const QVariant& value)
    {
        QDBusMessage call =
            QDBusMessage::createMethodCall(QStringLiteral("org.freedesktop.UPower"), path,
                                           QStringLiteral("org.freedesktop.DBus.Properties"), QStringLiteral("Set"));
        call << interface << name << QVariant::fromValue(QDBusVariant(value));
        const QDBusMessage reply = m_bus->call(call);
        ASSERT_EQ(reply.type(), QDBusMessage::ReplyMessage) << reply.errorMessage().toStdString();
    }

    void setDisplayDevice(const QString& name, const QVariant& value)
    {
        setProperty(QStringLiteral("/org/freedesktop/UPower/devices/DisplayDevice"),
                    QStringLiteral("org.freedesktop.UPower.Device"), name, value);
    }

    void emitLogindSignal(const QString& name, bool start)
    {
        QDBusMessage call = QDBusMessage::createMethodCall(
            QStringLiteral("org.freedesktop.login1"), QStringLiteral("/org/freedesktop/login1"),
            QStringLiteral("org.freedesktop.DBus.Mock"), QStringLiteral("EmitSignal"));
        call << QStringLiteral("org.freedesktop.login1.Manager") << name << QStringLiteral("b")
             << QVariant::fromValue(QVariantList{QVariant::fromValue(QDBusVariant(start))});
        const QDBusMessage reply = m_bus->call(call);
        ASSERT_EQ(reply.type(), QDBusMessage::ReplyMessage) << reply.errorMessage().toStdString();
    }

    // The guard as the main window configures it; events and log lines are recorded.
    void startGuard()
    {
        guard = std::make_unique<PowerGuard>();
        guard->OnBatteryLow = [this](PowerGuard& s) {
            events.push_back("BatteryLow");
            allowSleepOnBatteryLow(s);
        };
        guard->OnSuspend = [this](PowerGuard&) { events.push_back("Suspend"); };
        guard->OnResumeSuspend = [this](PowerGuard&) { events.push_back("ResumeSuspend"); };
        guard->OnPowerStatusChange = [this](PowerGuard&, std::uint8_t ac, std::uint8_t flag, std::uint8_t percent,
                                            std::uint32_t, std::uint32_t) {
            events.push_back("PowerStatusChange " + std::to_string(ac) + " " + std::to_string(flag) + " "
                             + std::to_string(percent));
        };
        guard->start([this](const std::string& line) { log.push_back(line); }, address.toStdString());
    }

    bool allowsAll() const { return guard->AllowSuspend && guard->AllowStandby && guard->AllowEndSession; }

    QString address;
    std::unique_ptr<PowerGuard> guard;
    std::vector<std::string> events;
    std::vector<std::string> log;

private:
    QProcess m_daemon;
    std::vector<std::unique_ptr<QProcess>> m_mocks;
    std::unique_ptr<QDBusConnection> m_bus;
};

TEST_F(PowerGuardDBusTest, HoldsTheLockUntilTheBatteryRunsLow)
{
    startMocks();
    startGuard();
    EXPECT_TRUE(log.empty()) << log.front();
    ASSERT_TRUE(guard->holding());
    auto held = inhibitors();
    ASSERT_EQ(held.size(), 1u);
    EXPECT_EQ(held[0].what, QStringLiteral("sleep:shutdown:idle"));
    EXPECT_EQ(held[0].who, QStringLiteral("Torvinel"));
    EXPECT_EQ(held[0].mode, QStringLiteral("block"));

    // A power status change is reported and changes nothing.
    setDisplayDevice(QStringLiteral("IsPresent"), true);
    setDisplayDevice(QStringLiteral("Percentage"), 20.0);
    setProperty(QStringLiteral("/org/freedesktop/UPower"), QStringLiteral("org.freedesktop.UPower"),
                QStringLiteral("OnBattery"), true);
    ASSERT_TRUE(waitUntil([&] { return events.size() == 3; })) << events.size();
    EXPECT_EQ(events.back(), "PowerStatusChange 0 2 20");
    EXPECT_FALSE(allowsAll());
    EXPECT_EQ(inhibitors().size(), 1u);

    // A low warning level is the low-battery notice: the lock goes.
    events.clear();
    setDisplayDevice(QStringLiteral("WarningLevel"), 3u);
    ASSERT_TRUE(waitUntil([&] { return !events.empty(); }));
    EXPECT_EQ(events, std::vector<std::string>{"BatteryLow"});
    EXPECT_TRUE(allowsAll());
    EXPECT_FALSE(guard->holding());
    EXPECT_TRUE(waitUntil([&] { return inhibitors().empty(); })) << "the lock's descriptor is still open";

    // Nothing returns the guard to guarding: not a recovered battery, not a second notice.
    setDisplayDevice(QStringLiteral("WarningLevel"), 1u);
    setDisplayDevice(QStringLiteral("WarningLevel"), 4u);
    ASSERT_TRUE(waitUntil([&] { return events.size() == 2; }));
    QThread::msleep(100);
    QCoreApplication::processEvents();
    EXPECT_FALSE(guard->holding());
    EXPECT_TRUE(inhibitors().empty());
}

TEST_F(PowerGuardDBusTest, RelaysSleepAndResumeWhileHoldingOn)
{
    startMocks();
    startGuard();
    emitLogindSignal(QStringLiteral("PrepareForSleep"), true);
    emitLogindSignal(QStringLiteral("PrepareForSleep"), false);
    ASSERT_TRUE(waitUntil([&] { return events.size() == 2; }));
    EXPECT_EQ(events, (std::vector<std::string>{"Suspend", "ResumeSuspend"}));
    ASSERT_EQ(log.size(), 1u) << "a sleep despite the lock is logged";
    EXPECT_TRUE(guard->holding());
    EXPECT_EQ(inhibitors().size(), 1u);
}

TEST_F(PowerGuardDBusTest, ABatteryAlreadyLowAtStartReleasesAtOnce)
{
    startMock(QStringLiteral("logind"), QStringLiteral("org.freedesktop.login1"));
    startMock(QStringLiteral("upower"), QStringLiteral("org.freedesktop.UPower"));
    setDisplayDevice(QStringLiteral("WarningLevel"), 4u);
    startGuard();
    EXPECT_EQ(events, std::vector<std::string>{"BatteryLow"});
    EXPECT_FALSE(guard->holding());
    EXPECT_TRUE(inhibitors().empty());
}

TEST_F(PowerGuardDBusTest, WithoutLogindLogsOneLineAndRunsUnguarded)
{
    startMock(QStringLiteral("upower"), QStringLiteral("org.freedesktop.UPower"));
    startGuard();
    ASSERT_EQ(log.size(), 1u);
    EXPECT_NE(log[0].find("logind"), std::string::npos) << log[0];
    EXPECT_FALSE(guard->holding());
    // The answers themselves stay those of a guard.
    EXPECT_TRUE(guard->refusesSleep());
}

TEST(PowerGuardNoBusTest, WithoutASystemBusLogsOneLineAndRunsUnguarded)
{
    ensureApplication();
    PowerGuard guard;
    guard.OnBatteryLow = allowSleepOnBatteryLow;
    std::vector<std::string> log;
    guard.start([&](const std::string& line) { log.push_back(line); },
                "unix:path=/nonexistent/torvinel-power-test-bus");
    ASSERT_EQ(log.size(), 1u);
    EXPECT_NE(log[0].find("no system bus"), std::string::npos) << log[0];
    EXPECT_FALSE(guard.holding());
    EXPECT_EQ(guard.PowerBroadcast(PowerEvent::QuerySuspend, 0), BroadcastQueryDeny);
    guard.refresh();
    EXPECT_FALSE(guard.holding());
}

} // namespace
} // namespace torvinel
