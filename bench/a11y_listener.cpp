// A screen reader's share of the accessibility traffic, for measuring a program with
// accessibility on: it joins the session's accessibility bus and registers for the events
// a screen reader listens to, so that Qt's bridge in the measured program sends them, and
// counts what arrives. It answers nothing and asks the program nothing.
//
// Usage: a11y_listener [seconds (default: until SIGTERM or SIGINT)]
// Prints "listening" once registered, and at the end the number of events by kind.
#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusInterface>
#include <QDBusMessage>
#include <QDBusReply>
#include <QMap>
#include <QObject>
#include <QTimer>

#include <csignal>
#include <cstdio>
#include <cstdlib>

namespace {

// The events Orca registers for that a logging program can send.
constexpr const char* kEvents[] = {"object:text-changed",
                                   "object:text-caret-moved",
                                   "object:state-changed",
                                   "object:children-changed",
                                   "object:property-change",
                                   "object:text-selection-changed",
                                   "object:visible-data-changed",
                                   "focus:",
                                   "window:"};

class Counter : public QObject {
    Q_OBJECT
public:
    QMap<QString, long> counts;

public slots:
    void Event(const QDBusMessage& message) { ++counts[message.interface().section('.', -1) + ":" + message.member()]; }
};

volatile std::sig_atomic_t stopAsked = 0;

void AskStop(int)
{
    stopAsked = 1;
}

}  // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QDBusInterface launcher("org.a11y.Bus", "/org/a11y/bus", "org.a11y.Bus", QDBusConnection::sessionBus());
    const QDBusReply<QString> address = launcher.call("GetAddress");
    if (!address.isValid()) {
        std::fprintf(stderr, "a11y_listener: no accessibility bus: %s\n", qPrintable(address.error().message()));
        return 1;
    }
    QDBusConnection bus = QDBusConnection::connectToBus(address.value(), "a11y");
    if (!bus.isConnected()) {
        std::fprintf(stderr, "a11y_listener: cannot connect to %s\n", qPrintable(address.value()));
        return 1;
    }
    Counter counter;
    for (const char* kind : {"Object", "Focus", "Window"})
        bus.connect(QString(), QString(), QStringLiteral("org.a11y.atspi.Event.") + kind, QString(), &counter,
                    SLOT(Event(QDBusMessage)));
    QDBusInterface registry("org.a11y.atspi.Registry", "/org/a11y/atspi/registry", "org.a11y.atspi.Registry", bus);
    for (const char* event : kEvents) {
        const QDBusMessage reply = registry.call("RegisterEvent", QString::fromLatin1(event));
        if (reply.type() == QDBusMessage::ErrorMessage) {
            std::fprintf(stderr, "a11y_listener: RegisterEvent %s: %s\n", event, qPrintable(reply.errorMessage()));
            return 1;
        }
    }
    std::printf("listening\n");
    std::fflush(stdout);
    std::signal(SIGTERM, AskStop);
    std::signal(SIGINT, AskStop);
    QTimer watch;
    QObject::connect(&watch, &QTimer::timeout, &app, [] {
        if (stopAsked)
            QCoreApplication::quit();
    });
    watch.start(200);
    if (argc > 1)
        QTimer::singleShot(std::atoi(argv[1]) * 1000, &app, &QCoreApplication::quit);
    app.exec();
    for (auto it = counter.counts.cbegin(); it != counter.counts.cend(); ++it)
        std::printf("%-40s %ld\n", qPrintable(it.key()), it.value());
    return 0;
}

#include "a11y_listener.moc"
