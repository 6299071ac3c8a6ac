#pragma once

// A screen reader's view of the real program, for the tests that start the
// executable: a D-Bus session bus of the test's own, the AT-SPI bus launcher
// on it (the accessibility bus and its registry, as a desktop session starts
// them), accessibility switched on as a screen reader switches it on, and the
// program's objects read back through the registry. Nothing of the machine's
// own session is used: the buses' sockets live in a private runtime folder.
#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusError>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusVariant>
#include <QFileInfo>
#include <QList>
#include <QObject>
#include <QProcess>
#include <QProcessEnvironment>
#include <QStandardPaths>
#include <QString>
#include <QTemporaryDir>
#include <QTest>

namespace cto::test {

// One object as AT-SPI shows it, with its depth in the application's tree.
struct AccessibleNode {
    QString role; // AT-SPI's role name: "dialog", "push button", "table cell", ...
    QString name;
    QString description;
    int depth = 0;
};

// One event as a screen reader receives it: "Object:TextChanged:insert",
// "Window:Activate", "Object:StateChanged:focused"..., the object it came
// from (its bus name and path), its two numbers and its data (the text
// inserted, the window's title, the new name...).
struct AccessibleEvent {
    QString kind;
    QString service;
    QString path;
    int detail1 = 0;
    int detail2 = 0;
    QString data;
};

// Keeps the events that reach it, in order.
class AccessibleEventLog : public QObject {
    Q_OBJECT

public:
    QList<AccessibleEvent> events;

public slots:
    void received(const QDBusMessage& message) {
        const QList<QVariant> arguments = message.arguments();
        const QString interface = message.interface().section(u'.', -1);
        QString kind = interface + QLatin1Char(':') + message.member();
        const QString detail = arguments.value(0).toString();
        if (!detail.isEmpty())
            kind += QLatin1Char(':') + detail;
        events.push_back({kind, message.service(), message.path(), arguments.value(1).toInt(),
                          arguments.value(2).toInt(),
                          arguments.value(3).value<QDBusVariant>().variant().toString()});
    }
};

class AtSpiSession {
public:
    AtSpiSession() = default;
    AtSpiSession(const AtSpiSession&) = delete;
    AtSpiSession& operator=(const AtSpiSession&) = delete;
    ~AtSpiSession() { stop(); }

    // Brings the buses up; answers what did not come up, or an empty text.
    QString start() {
        static const QString launcher = QStringLiteral("/usr/libexec/at-spi-bus-launcher");
        const QString daemon = QStandardPaths::findExecutable(QStringLiteral("dbus-daemon"));
        if (daemon.isEmpty() || !QFileInfo(launcher).isExecutable())
            return QStringLiteral("dbus-daemon and at-spi2-core are needed (scripts/install-deps.sh)");
        if (!runtime_.isValid())
            return QStringLiteral("no private runtime folder");
        environment_ = QProcessEnvironment::systemEnvironment();
        environment_.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtime_.path());

        sessionBus_.setProcessEnvironment(environment_);
        sessionBus_.start(daemon, {QStringLiteral("--session"), QStringLiteral("--nofork"),
                                   QStringLiteral("--nopidfile"), QStringLiteral("--print-address=1")});
        if (!sessionBus_.waitForStarted() ||
            !QTest::qWaitFor([&] { return sessionBus_.canReadLine(); }, kStartTimeoutMs))
            return QStringLiteral("the session bus did not start");
        const QString sessionAddress = QString::fromUtf8(sessionBus_.readLine()).trimmed();
        environment_.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), sessionAddress);

        launcher_.setProcessEnvironment(environment_);
        launcher_.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        launcher_.start(launcher, {QStringLiteral("--launch-immediately")});
        if (!launcher_.waitForStarted())
            return QStringLiteral("the AT-SPI bus launcher did not start");

        const QDBusConnection session = QDBusConnection::connectToBus(sessionAddress, kSessionName);
        QString accessibilityAddress;
        (void)QTest::qWaitFor(
            [&] {
                const QDBusMessage reply = session.call(QDBusMessage::createMethodCall(
                    kA11yBus, kA11yPath, kA11yBus, QStringLiteral("GetAddress")));
                if (reply.type() == QDBusMessage::ReplyMessage)
                    accessibilityAddress = reply.arguments().value(0).toString();
                return !accessibilityAddress.isEmpty();
            },
            kStartTimeoutMs);
        if (accessibilityAddress.isEmpty())
            return QStringLiteral("the accessibility bus did not come up");
        // What a screen reader does when it starts: applications that see
        // it build their accessible trees.
        QDBusMessage enable =
            QDBusMessage::createMethodCall(kA11yBus, kA11yPath, kProperties, QStringLiteral("Set"));
        enable << QStringLiteral("org.a11y.Status") << QStringLiteral("IsEnabled")
               << QVariant::fromValue(QDBusVariant(true));
        if (session.call(enable).type() != QDBusMessage::ReplyMessage)
            return QStringLiteral("accessibility could not be switched on");
        bus_ = QDBusConnection::connectToBus(accessibilityAddress, kAccessibilityName);
        return bus_.isConnected() ? QString() : QStringLiteral("the accessibility bus did not answer");
    }

    // Listens from now on to the events of these kinds ("object:", "window:",
    // "focus:"), as a screen reader does: the registry tells applications
    // what is listened to, and they send only that. Answers what failed, or
    // an empty text.
    QString listen(const QStringList& kinds) {
        for (const QString& kind : kinds) {
            QDBusMessage registration =
                QDBusMessage::createMethodCall(kRegistry, QStringLiteral("/org/a11y/atspi/registry"),
                                               kRegistry, QStringLiteral("RegisterEvent"));
            registration << kind;
            const QDBusMessage reply = bus_.call(registration);
            if (reply.type() != QDBusMessage::ReplyMessage)
                return QStringLiteral("the registry refused %1: %2").arg(kind, reply.errorMessage());
        }
        for (const char* family : {"Object", "Window", "Focus"}) {
            const QString interface = QStringLiteral("org.a11y.atspi.Event.") + QLatin1String(family);
            for (const QString& member : eventMembers(QLatin1String(family)))
                if (!bus_.connect(QString(), QString(), interface, member, &events_,
                                  SLOT(received(QDBusMessage))))
                    return QStringLiteral("no match for %1.%2: %3")
                        .arg(interface, member, bus_.lastError().message());
        }
        return {};
    }

    // The events received so far; the test's event loop must have run.
    const QList<AccessibleEvent>& events() const { return events_.events; }

    // The name and role of the object an event came from, asked now.
    AccessibleNode describe(const AccessibleEvent& event) const {
        const QDBusMessage role = bus_.call(QDBusMessage::createMethodCall(
            event.service, event.path, kAccessible, QStringLiteral("GetRoleName")));
        return {role.arguments().value(0).toString(),
                property(event.service, event.path, QStringLiteral("Name")),
                property(event.service, event.path, QStringLiteral("Description")), 0};
    }

    void stop() {
        QDBusConnection::disconnectFromBus(kAccessibilityName);
        QDBusConnection::disconnectFromBus(kSessionName);
        // The launcher stops the accessibility bus, and with it the registry.
        for (QProcess* process : {&launcher_, &sessionBus_}) {
            if (process->state() == QProcess::NotRunning)
                continue;
            process->terminate();
            if (!process->waitForFinished(5000)) {
                process->kill();
                process->waitForFinished(5000);
            }
        }
    }

    // What a program needs to be seen: this session's bus and runtime folder.
    QProcessEnvironment programVariables() const {
        QProcessEnvironment variables;
        for (const char* name : {"DBUS_SESSION_BUS_ADDRESS", "XDG_RUNTIME_DIR"})
            variables.insert(QLatin1String(name), environment_.value(QLatin1String(name)));
        return variables;
    }

    // The objects of the application of that name, depth first, as the
    // registry hands them to a screen reader; empty when it is not there.
    QList<AccessibleNode> applicationTree(const QString& application) const {
        QList<AccessibleNode> nodes;
        for (const auto& [service, path] : children(kRegistry, kRootPath))
            if (property(service, path, QStringLiteral("Name")) == application)
                walk(service, path, 0, nodes);
        return nodes;
    }

    // The window of that role and name with everything in it, from a tree
    // that applicationTree answered; empty when there is none.
    static QList<AccessibleNode> windowIn(const QList<AccessibleNode>& tree, const QString& role,
                                          const QString& name) {
        for (qsizetype at = 0; at < tree.size(); ++at) {
            if (tree[at].role != role || tree[at].name != name)
                continue;
            qsizetype end = at + 1;
            while (end < tree.size() && tree[end].depth > tree[at].depth)
                ++end;
            return tree.mid(at, end - at);
        }
        return {};
    }

private:
    static constexpr int kStartTimeoutMs = 10000;
    // Deep enough for any window of the program; a cycle cannot hang the walk.
    static constexpr int kDeepest = 20;
    inline static const QString kSessionName = QStringLiteral("cto-atspi-session");
    inline static const QString kAccessibilityName = QStringLiteral("cto-atspi-accessibility");
    inline static const QString kA11yBus = QStringLiteral("org.a11y.Bus");
    inline static const QString kA11yPath = QStringLiteral("/org/a11y/bus");
    inline static const QString kRegistry = QStringLiteral("org.a11y.atspi.Registry");
    inline static const QString kRootPath = QStringLiteral("/org/a11y/atspi/accessible/root");
    inline static const QString kAccessible = QStringLiteral("org.a11y.atspi.Accessible");
    inline static const QString kProperties = QStringLiteral("org.freedesktop.DBus.Properties");

    static QStringList eventMembers(const QString& family) {
        if (family == QLatin1String("Window"))
            return {QStringLiteral("Activate"), QStringLiteral("Deactivate"), QStringLiteral("Create")};
        if (family == QLatin1String("Focus"))
            return {QStringLiteral("Focus")};
        return {QStringLiteral("TextChanged"), QStringLiteral("PropertyChange"),
                QStringLiteral("StateChanged"), QStringLiteral("Announcement")};
    }

    void walk(const QString& service, const QString& path, int depth, QList<AccessibleNode>& nodes) const {
        const QDBusMessage role = bus_.call(
            QDBusMessage::createMethodCall(service, path, kAccessible, QStringLiteral("GetRoleName")));
        nodes.push_back({role.arguments().value(0).toString(),
                         property(service, path, QStringLiteral("Name")),
                         property(service, path, QStringLiteral("Description")), depth});
        if (depth < kDeepest)
            for (const auto& [childService, childPath] : children(service, path))
                walk(childService, childPath, depth + 1, nodes);
    }

    QString property(const QString& service, const QString& path, const QString& name) const {
        QDBusMessage get = QDBusMessage::createMethodCall(service, path, kProperties, QStringLiteral("Get"));
        get << kAccessible << name;
        const QDBusMessage reply = bus_.call(get);
        return reply.arguments().value(0).value<QDBusVariant>().variant().toString();
    }

    // GetChildren answers a(so): each child's bus name and object path.
    QList<std::pair<QString, QString>> children(const QString& service, const QString& path) const {
        const QDBusMessage reply = bus_.call(
            QDBusMessage::createMethodCall(service, path, kAccessible, QStringLiteral("GetChildren")));
        QList<std::pair<QString, QString>> found;
        if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty())
            return found;
        const QDBusArgument list = reply.arguments().constFirst().value<QDBusArgument>();
        list.beginArray();
        while (!list.atEnd()) {
            QString childService;
            QDBusObjectPath childPath;
            list.beginStructure();
            list >> childService >> childPath;
            list.endStructure();
            found.push_back({childService, childPath.path()});
        }
        list.endArray();
        return found;
    }

    QTemporaryDir runtime_;
    QProcessEnvironment environment_;
    QProcess sessionBus_;
    QProcess launcher_;
    QDBusConnection bus_{QString()};
    AccessibleEventLog events_;
};

} // namespace cto::test
