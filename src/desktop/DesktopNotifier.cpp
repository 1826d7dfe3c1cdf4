#include "desktop/DesktopNotifier.h"

#include <QtCore/QCoreApplication>
#include <QtCore/QFileInfo>
#include <QtCore/QStringList>
#include <QtCore/QVariantMap>
#include <QtDBus/QDBusConnection>
#include <QtDBus/QDBusMessage>

#include <atomic>
#include <cstdlib>

namespace torvinel {

namespace {

const QString Service = QStringLiteral("org.freedesktop.Notifications");
const QString Path = QStringLiteral("/org/freedesktop/Notifications");
const QString Interface = QStringLiteral("org.freedesktop.Notifications");
// The desktop entry and icon that cmake --install puts in place.
const QString AppId = QStringLiteral("com.quenmark.Torvinel");

// The session bus as libdbus finds it, except that none is auto-launched: a notification is
// not worth starting a bus daemon for.
QString sessionBusAddress()
{
    if (const char* address = std::getenv("DBUS_SESSION_BUS_ADDRESS"); address && *address)
        return QString::fromLocal8Bit(address);
    if (const char* runtime = std::getenv("XDG_RUNTIME_DIR"); runtime && *runtime) {
        const QString socket = QString::fromLocal8Bit(runtime) + QStringLiteral("/bus");
        if (QFileInfo(socket).exists())
            return QStringLiteral("unix:path=") + socket;
    }
    return {};
}

// Each call has a connection of its own, closed when the call is done.
class Connection {
public:
    explicit Connection(const QString& address)
        : m_name(QStringLiteral("torvinel-notify-%1").arg(m_count.fetch_add(1))),
          m_bus(QDBusConnection::connectToBus(address, m_name))
    {
    }
    ~Connection() { QDBusConnection::disconnectFromBus(m_name); }
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;

    QDBusConnection& bus() { return m_bus; }

private:
    static inline std::atomic<int> m_count{0};
    QString m_name;
    QDBusConnection m_bus;
};

} // namespace

DesktopNotifier::DesktopNotifier(std::string busAddress, std::chrono::milliseconds timeout)
    : m_busAddress(std::move(busAddress)), m_timeout(timeout)
{
}

bool DesktopNotifier::notify(const std::string& summary, const std::string& body, Urgency urgency) const
{
    if (!QCoreApplication::instance())
        return false;
    const QString address = m_busAddress.empty() ? sessionBusAddress() : QString::fromStdString(m_busAddress);
    if (address.isEmpty())
        return false;
    Connection connection(address);
    QDBusConnection& bus = connection.bus();
    if (!bus.isConnected())
        return false;
    const int timeout = static_cast<int>(m_timeout.count());

    // The capabilities are asked first: they say whether the body is read as markup, and a
    // missing or stuck service shows here, within one timeout.
    const QDBusMessage capabilities =
        bus.call(QDBusMessage::createMethodCall(Service, Path, Interface, QStringLiteral("GetCapabilities")),
                 QDBus::Block, timeout);
    if (capabilities.type() != QDBusMessage::ReplyMessage || capabilities.arguments().isEmpty())
        return false;
    const bool markup = capabilities.arguments().at(0).toStringList().contains(QStringLiteral("body-markup"));
    QString text = QString::fromStdString(body);
    if (markup)
        text = text.toHtmlEscaped();

    QVariantMap hints;
    hints.insert(QStringLiteral("desktop-entry"), AppId);
    hints.insert(QStringLiteral("urgency"), QVariant::fromValue<uchar>(urgency == Urgency::Critical ? 2 : 1));
    QDBusMessage call = QDBusMessage::createMethodCall(Service, Path, Interface, QStringLiteral("Notify"));
    call << QStringLiteral("Torvinel") << 0u << AppId << QString::fromStdString(summary) << text << QStringList()
         << hints << -1;
    return bus.call(call, QDBus::Block, timeout).type() == QDBusMessage::ReplyMessage;
}

} // namespace torvinel
