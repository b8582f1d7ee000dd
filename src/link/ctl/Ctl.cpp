#include "link/ctl/Ctl.h"

#include "link/text/BusNames.h"
#include "link/text/LinkText.h"

#include <QDBusArgument>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusServiceWatcher>
#include <QFileDevice>
#include <QMetaObject>

namespace qvr {

namespace {

constexpr int kCallTimeoutMs = 5000;
const QString kPropertiesInterface = QStringLiteral("org.freedesktop.DBus.Properties");

// RFC 4180: a field with a separator, a quote, a line break or blanks at its ends is quoted,
// quotes inside doubled.
QString csvField(const QString& field) {
    const bool quote = field.contains(u',') || field.contains(u'"') || field.contains(u'\r') ||
                       field.contains(u'\n') || field.startsWith(u' ') || field.endsWith(u' ');
    if (!quote)
        return field;
    QString quoted = field;
    quoted.replace(u'"', QStringLiteral("\"\""));
    return u'"' + quoted + u'"';
}

// Local time with its offset, so that records stay in order across a change of summer time.
QString timestamp(const QDateTime& when) {
    const QDateTime local = when.toLocalTime();
    return local.toOffsetFromUtc(local.offsetFromUtc()).toString(Qt::ISODateWithMs);
}

} // namespace

Ctl::Ctl(const QDBusConnection& bus, QIODevice& out, QIODevice& err, QObject* parent)
    : QObject(parent), bus_(bus), out_(out), err_(err),
      now_([] { return QDateTime::currentDateTime(); }) {}

QString Ctl::usage() {
    return QStringLiteral(
        "Usage: qvr100ctl [--raw] list | get ITEM... | watch [--csv] ITEM...\n"
        "Reads what QVR100PCI serves on the session bus (com.norvale.QVR100PCI, /data).\n"
        "\n"
        "  list                   every item, one per line\n"
        "  get ITEM...            the text of each item on its own line, exactly as served\n"
        "  watch ITEM...          one line per change: time, item and text; runs until\n"
        "                         interrupted\n"
        "  --csv                  (watch) RFC 4180 CSV with the header time,item,text\n"
        "  --raw                  (get, watch) undo the escapes of the served texts (\\\\,\n"
        "                         \\xHH, \\uHHHH) and write the original text as UTF-8\n"
        "  -h, --help             this help\n"
        "  --version              the version\n"
        "\n"
        "Exit status: 0 success, 1 QVR100PCI not running or not reachable,\n"
        "2 usage error or unknown item.\n");
}

void Ctl::start(const QStringList& arguments) {
    if (!parse(arguments))
        return;
    if (!bus_.isConnected()) {
        finish(NotRunning, QStringLiteral("no D-Bus session bus, QVR100PCI cannot be reached"));
        return;
    }
    if (command_ == Command::Watch) {
        // Linked before the check, so that no change between the two is lost.
        startWatching();
    }
    call(busInterface(), QStringLiteral("Items"), {}, [this](const QDBusMessage& reply) {
        checkItems(reply.arguments().value(0).toStringList());
    });
}

bool Ctl::parse(const QStringList& arguments) {
    QStringList words;
    bool optionsEnd = false;
    for (const QString& a : arguments) {
        if (optionsEnd || !a.startsWith(u'-') || a == QLatin1String("-")) {
            words << a;
        } else if (a == QLatin1String("--")) {
            optionsEnd = true;
        } else if (a == QLatin1String("-h") || a == QLatin1String("--help")) {
            write(out_, usage());
            finish(Ok);
            return false;
        } else if (a == QLatin1String("--version")) {
            write(out_, QStringLiteral("qvr100ctl %1\n").arg(QStringLiteral(QVR100_VERSION)));
            finish(Ok);
            return false;
        } else if (a == QLatin1String("--csv")) {
            csv_ = true;
        } else if (a == QLatin1String("--raw")) {
            raw_ = true;
        } else {
            finish(Usage, QStringLiteral("unknown option %1 (see qvr100ctl --help)").arg(a));
            return false;
        }
    }
    if (words.isEmpty()) {
        finish(Usage, QStringLiteral("no command given (see qvr100ctl --help)"));
        return false;
    }
    const QString command = words.takeFirst();
    items_ = words;
    if (command == QLatin1String("list"))
        command_ = Command::List;
    else if (command == QLatin1String("get"))
        command_ = Command::Get;
    else if (command == QLatin1String("watch"))
        command_ = Command::Watch;
    else {
        finish(Usage, QStringLiteral("unknown command %1 (see qvr100ctl --help)").arg(command));
        return false;
    }
    if (command_ == Command::List && !items_.isEmpty()) {
        finish(Usage, QStringLiteral("list takes no items"));
        return false;
    }
    if (command_ != Command::List && items_.isEmpty()) {
        finish(Usage, QStringLiteral("%1 needs at least one item").arg(command));
        return false;
    }
    if (csv_ && command_ != Command::Watch) {
        finish(Usage, QStringLiteral("--csv is an option of watch"));
        return false;
    }
    if (raw_ && command_ == Command::List) {
        finish(Usage, QStringLiteral("--raw is an option of get and watch"));
        return false;
    }
    return true;
}

void Ctl::call(const QString& interface, const QString& member, const QVariantList& args,
               std::function<void(const QDBusMessage&)> then) {
    QDBusMessage message =
        QDBusMessage::createMethodCall(busService(), busPath(), interface, member);
    message.setArguments(args);
    auto* watcher = new QDBusPendingCallWatcher(bus_.asyncCall(message, kCallTimeoutMs), this);
    connect(
        watcher, &QDBusPendingCallWatcher::finished, this,
        [this, then = std::move(then)](QDBusPendingCallWatcher* w) {
            w->deleteLater();
            const QDBusMessage reply = w->reply();
            if (reply.type() == QDBusMessage::ReplyMessage) {
                then(reply);
                return;
            }
            const QString name = reply.errorName();
            if (name == QLatin1String("org.freedesktop.DBus.Error.ServiceUnknown") ||
                name == QLatin1String("org.freedesktop.DBus.Error.NameHasNoOwner"))
                finish(NotRunning, QStringLiteral("QVR100PCI is not running"));
            else
                finish(NotRunning,
                       QStringLiteral("QVR100PCI is not reachable (%1)").arg(reply.errorMessage()));
        });
}

void Ctl::checkItems(const QStringList& served) {
    for (const QString& item : items_)
        if (!served.contains(item)) {
            finish(Usage, QStringLiteral("unknown item %1").arg(item));
            return;
        }
    switch (command_) {
    case Command::List:
        for (const QString& item : served)
            write(out_, item + u'\n');
        finish(Ok);
        break;
    case Command::Get:
        // One GetAll: every text printed comes from the same moment.
        call(kPropertiesInterface, QStringLiteral("GetAll"), {busInterface()},
             [this](const QDBusMessage& reply) {
                 printTexts(qdbus_cast<QVariantMap>(reply.arguments().value(0)));
             });
        break;
    case Command::Watch:
        if (csv_)
            write(out_, QStringLiteral("time,item,text\r\n"));
        emit watching();
        break;
    }
}

void Ctl::printTexts(const QVariantMap& all) {
    for (const QString& item : items_)
        write(out_, shown(all.value(item).toString()) + u'\n');
    finish(Ok);
}

void Ctl::startWatching() {
    bus_.connect(busService(), busPath(), kPropertiesInterface, QStringLiteral("PropertiesChanged"),
                 this, SLOT(onPropertiesChanged(QString, QVariantMap, QStringList)));
    auto* watcher =
        new QDBusServiceWatcher(busService(), bus_, QDBusServiceWatcher::WatchForOwnerChange, this);
    connect(watcher, &QDBusServiceWatcher::serviceUnregistered, this, &Ctl::onServiceGone);
    connect(watcher, &QDBusServiceWatcher::serviceRegistered, this, &Ctl::onServiceBack);
}

void Ctl::onPropertiesChanged(const QString& interface, const QVariantMap& changed,
                              const QStringList&) {
    if (done_ || interface != busInterface())
        return;
    const QDateTime when = now_();
    for (const QString& item : items_) {
        const auto it = changed.constFind(item);
        if (it != changed.constEnd())
            writeRecord(when, item, it->toString());
    }
}

void Ctl::writeRecord(const QDateTime& when, const QString& item, const QString& text) {
    const QString time = timestamp(when);
    if (csv_)
        write(out_, csvField(time) + u',' + csvField(item) + u',' + csvField(shown(text)) +
                        QStringLiteral("\r\n"));
    else
        write(out_, time + u' ' + item + u' ' + shown(text) + u'\n');
}

void Ctl::onServiceGone() {
    if (!done_)
        write(err_, QStringLiteral("qvr100ctl: QVR100PCI stopped; waiting for it\n"));
}

void Ctl::onServiceBack() {
    if (!done_)
        write(err_, QStringLiteral("qvr100ctl: QVR100PCI is running again\n"));
}

QString Ctl::shown(const QString& served) const {
    return raw_ ? fromLinkText(served) : served;
}

void Ctl::write(QIODevice& to, const QString& text) {
    to.write(text.toUtf8());
    if (auto* file = qobject_cast<QFileDevice*>(&to))
        file->flush();
}

void Ctl::finish(int status, const QString& message) {
    if (done_)
        return;
    done_ = true;
    if (!message.isEmpty())
        write(err_, QStringLiteral("qvr100ctl: ") + message + u'\n');
    QMetaObject::invokeMethod(
        this, [this, status] { emit finished(status); }, Qt::QueuedConnection);
}

} // namespace qvr
