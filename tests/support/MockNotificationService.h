#pragma once
// A private session bus with a mock freedesktop notification service (python3-dbusmock's
// notification_daemon template), for the tests of desktop notifications. Header only: its
// users link Qt6::DBus.
#include <QtCore/QCoreApplication>
#include <QtCore/QElapsedTimer>
#include <QtCore/QProcess>
#include <QtCore/QStandardPaths>
#include <QtCore/QThread>
#include <QtDBus/QDBusArgument>
#include <QtDBus/QDBusConnection>
#include <QtDBus/QDBusConnectionInterface>
#include <QtDBus/QDBusMessage>
#include <QtDBus/QDBusMetaType>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "support/QtWaits.h"

namespace torvinel::test {

// One Notify call as the service received it.
struct NotifyCall {
    std::string appName;
    std::string icon;
    std::string summary;
    std::string body;
    std::string desktopEntry; // the hint
    int urgency = -1;         // the hint; -1 when not given
};

class MockNotificationService {
public:
    // QtDBus needs a QCoreApplication; the first call makes one for the whole test program.
    static void ensureApplication()
    {
        static int argc = 1;
        static char name[] = "notification_tests";
        static char* argv[] = {name, nullptr};
        if (!QCoreApplication::instance())
            new QCoreApplication(argc, argv);
    }

    MockNotificationService() : m_name(QStringLiteral("notification-test-%1").arg(++m_count)) { ensureApplication(); }
    ~MockNotificationService()
    {
        if (m_bus) {
            m_bus.reset();
            QDBusConnection::disconnectFromBus(m_name);
        }
        stop(m_mock);
        stop(m_daemon);
    }
    MockNotificationService(const MockNotificationService&) = delete;
    MockNotificationService& operator=(const MockNotificationService&) = delete;

    // Starts the private bus: "" on success, else why it cannot be had (the test then skips).
    std::string startBus()
    {
        const QString daemon = QStandardPaths::findExecutable(QStringLiteral("dbus-daemon"));
        if (daemon.isEmpty())
            return "dbus-daemon is not installed";
        QProcess probe;
        probe.start(QString::fromLatin1(Python), {QStringLiteral("-c"), QStringLiteral("import dbusmock")});
        if (!probe.waitForFinished(10000) || probe.exitStatus() != QProcess::NormalExit || probe.exitCode() != 0)
            return "python3-dbusmock is not installed";
        m_daemon.start(daemon,
                       {QStringLiteral("--session"), QStringLiteral("--nofork"), QStringLiteral("--print-address")});
        if (!m_daemon.waitForStarted(3000)
            || !waitUntil([&] { return m_daemon.canReadLine() || m_daemon.waitForReadyRead(50); }))
            return "dbus-daemon did not start";
        m_address = QString::fromUtf8(m_daemon.readLine()).trimmed();
        m_bus = std::make_unique<QDBusConnection>(
            QDBusConnection::connectToBus(m_address, m_name));
        return m_bus->isConnected() ? "" : "cannot connect to the private bus";
    }

    // Starts the mock service on the bus; capabilities "" for the template's own (which
    // include body-markup). stuck: the service takes every call and never answers.
    bool startService(const QString& capabilities = {}, bool stuck = false)
    {
        QStringList args{QStringLiteral("-m"), QStringLiteral("dbusmock"), QStringLiteral("--template"),
                         QStringLiteral("notification_daemon")};
        if (!capabilities.isEmpty())
            args << QStringLiteral("--parameters") << QStringLiteral("{\"capabilities\": \"%1\"}").arg(capabilities);
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), m_address);
        m_mock.setProcessEnvironment(env);
        m_mock.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        m_mock.start(QString::fromLatin1(Python), args);
        if (!m_mock.waitForStarted(3000)
            || !waitUntil([&] {
                   return m_bus->interface()->isServiceRegistered(Service).value()
                       || m_mock.state() == QProcess::NotRunning;
               })
            || m_mock.state() != QProcess::Running)
            return false;
        if (!stuck)
            return true;
        // The mock runs one call at a time: one that sleeps holds every later one.
        QDBusMessage add = QDBusMessage::createMethodCall(Service, Path, QStringLiteral("org.freedesktop.DBus.Mock"),
                                                          QStringLiteral("AddMethod"));
        add << Interface << QStringLiteral("GetCapabilities") << QString() << QStringLiteral("as")
            << QStringLiteral("import time; time.sleep(3600); ret = []");
        return m_bus->call(add).type() == QDBusMessage::ReplyMessage;
    }

    std::string address() const { return m_address.toStdString(); }

    // The Notify calls the service received, in order.
    std::vector<NotifyCall> notifyCalls()
    {
        std::vector<NotifyCall> calls;
        QDBusMessage ask = QDBusMessage::createMethodCall(Service, Path, QStringLiteral("org.freedesktop.DBus.Mock"),
                                                          QStringLiteral("GetMethodCalls"));
        ask << QStringLiteral("Notify");
        const QDBusMessage reply = m_bus->call(ask);
        if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty())
            return calls;
        const QDBusArgument list = reply.arguments().at(0).value<QDBusArgument>();
        list.beginArray();
        while (!list.atEnd()) {
            qulonglong time = 0;
            QVariantList args;
            list.beginStructure();
            list >> time >> args;
            list.endStructure();
            if (args.size() < 7)
                continue;
            NotifyCall call;
            call.appName = args[0].toString().toStdString();
            call.icon = args[2].toString().toStdString();
            call.summary = args[3].toString().toStdString();
            call.body = args[4].toString().toStdString();
            const QVariantMap hints = qdbus_cast<QVariantMap>(args[6].value<QDBusArgument>());
            call.desktopEntry = hints.value(QStringLiteral("desktop-entry")).toString().toStdString();
            if (hints.contains(QStringLiteral("urgency")))
                call.urgency = hints.value(QStringLiteral("urgency")).toInt();
            calls.push_back(call);
        }
        list.endArray();
        return calls;
    }

private:
    static constexpr const char* Python = "/usr/bin/python3"; // the one interpreter that has dbusmock
    static inline const QString Service = QStringLiteral("org.freedesktop.Notifications");
    static inline const QString Path = QStringLiteral("/org/freedesktop/Notifications");
    static inline const QString Interface = QStringLiteral("org.freedesktop.Notifications");

    static bool waitUntil(const std::function<bool()>& condition) { return test::waitUntil(condition, 10000); }
    static void stop(QProcess& process) { stopProcess(process); }

    static inline int m_count = 0;
    QString m_name; // of the connection: each service's own bus
    QProcess m_daemon;
    QProcess m_mock;
    QString m_address;
    std::unique_ptr<QDBusConnection> m_bus;
};

} // namespace torvinel::test
