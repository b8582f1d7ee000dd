#include "link/ctl/Ctl.h"

#include "link/ctl/FdOutput.h"
#include "link/text/BusNames.h"
#include "link/text/LinkText.h"

#include <QDBusArgument>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusServiceWatcher>
#include <QFileDevice>
#include <QMetaObject>
#include <QTimer>
#include <cmath>
#include <optional>

namespace qvr {

namespace {

constexpr int kCallTimeoutMs = 5000;
const QString kPropertiesInterface = QStringLiteral("org.freedesktop.DBus.Properties");
const QString kState = QStringLiteral("State");
const QString kNotice = QStringLiteral("Notice");
const QString kReaderErrors = QStringLiteral("com.norvale.QVR100PCI.Error.");
constexpr double kMaxTimeoutSeconds = 24 * 60 * 60;

// Reading again; a caution is reading too, against a zero that raised it.
bool isReading(const QString& state) {
    return state == QLatin1String("reading") || state == QLatin1String("caution");
}

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
        "       qvr100ctl [--timeout SECONDS] zero | wavelength primary|secondary\n"
        "Reads what QVR100PCI serves on the session bus (com.norvale.QVR100PCI, /data)\n"
        "and gives it the Zero and Wavelength commands.\n"
        "\n"
        "  list                   every item, one per line\n"
        "  get ITEM...            the text of each item on its own line, exactly as served\n"
        "  watch ITEM...          one line per change: time, item and text; runs until\n"
        "                         interrupted and waits while QVR100PCI is not running\n"
        "  zero                   zero the reader (both wavelengths, the film out) and wait\n"
        "                         until State is reading again\n"
        "  wavelength WHICH       read at the primary or the secondary wavelength and wait\n"
        "                         until State is reading again\n"
        "  --timeout SECONDS      (zero, wavelength) wait at most this long (10)\n"
        "  --csv                  (watch) RFC 4180 CSV with the header time,item,text\n"
        "  --raw                  (get, watch) undo the escapes of the served texts (\\\\,\n"
        "                         \\xHH, \\uHHHH) and write the original text as UTF-8\n"
        "  -h, --help             this help\n"
        "  --version              the version\n"
        "\n"
        "Items are the labels of the main window and the reader's own Fault (empty when all\n"
        "is well), Notice (what it asks of the user or warns about), Simulated (true or\n"
        "false), State and Zeros (how many zeros it has taken since it started); a watch\n"
        "writes the reader's own items also each time it links to QVR100PCI.\n"
        "\n"
        "Exit status: 0 success (also when the reader of the output goes away),\n"
        "1 QVR100PCI not running or not reachable, or the command refused, 2 usage error\n"
        "or unknown item, 3 the output cannot be written, 4 State not reading again within\n"
        "the timeout.\n");
}

void Ctl::start(const QStringList& arguments) {
    if (!parse(arguments))
        return;
    if (!bus_.isConnected()) {
        finish(NotRunning, QStringLiteral("no D-Bus session bus, QVR100PCI cannot be reached"));
        return;
    }
    if (command_ == Command::Zero || command_ == Command::Wavelength) {
        runCommand();
        return;
    }
    if (command_ == Command::Watch) {
        // Linked before the check, so that no change after it is lost.
        startWatching();
    }
    query();
}

void Ctl::runCommand() {
    // Linked before the call, so that the change to reading cannot pass unseen.
    bus_.connect(busService(), busPath(), kPropertiesInterface, QStringLiteral("PropertiesChanged"),
                 this, SLOT(onPropertiesChanged(QString, QVariantMap, QStringList)));
    if (startDeadline_)
        startDeadline_(timeoutMs_, [this] { timedOut(); });
    else
        QTimer::singleShot(timeoutMs_, this, &Ctl::timedOut);
    const bool zero = command_ == Command::Zero;
    call(busInterface(), zero ? QStringLiteral("Zero") : QStringLiteral("SelectWavelength"),
         zero ? QVariantList{} : QVariantList{items_.value(0)}, [this](const QDBusMessage&) {
             // The reader leaves reading before it answers: reading from now on is the
             // command's.
             accepted_ = true;
             call(
                 kPropertiesInterface, QStringLiteral("Get"), {busInterface(), kNotice},
                 [this](const QDBusMessage& reply) {
                     lastNotice_ =
                         qdbus_cast<QDBusVariant>(reply.arguments().value(0)).variant().toString();
                 },
                 true);
             call(
                 kPropertiesInterface, QStringLiteral("Get"), {busInterface(), kState},
                 [this](const QDBusMessage& reply) {
                     noteState(
                         qdbus_cast<QDBusVariant>(reply.arguments().value(0)).variant().toString());
                     if (!done_)
                         emit commandTaken();
                 });
         });
}

void Ctl::noteState(const QString& state) {
    lastState_ = state;
    if (accepted_ && isReading(state))
        finish(Ok);
}

void Ctl::timedOut() {
    if (!accepted_) {
        finish(NotRunning, QStringLiteral("QVR100PCI did not answer the command"));
        return;
    }
    QString text = QStringLiteral("QVR100PCI is not reading again after %1 s (State %2)")
                       .arg(timeoutMs_ / 1000.0)
                       .arg(lastState_.isEmpty() ? QStringLiteral("unknown") : lastState_);
    // The reader's notice says what it waits for, e.g. the film to come out before a zero.
    if (const QString notice = lastNotice_.simplified(); !notice.isEmpty())
        text += QStringLiteral(": ") + notice;
    finish(TimedOut, text);
}

bool Ctl::parseTimeout(const QString& text) {
    bool ok = false;
    const double seconds = text.toDouble(&ok);
    if (!ok || !std::isfinite(seconds) || seconds <= 0 || seconds > kMaxTimeoutSeconds) {
        finish(Usage, QStringLiteral("--timeout takes seconds above 0 up to %1, not %2")
                          .arg(kMaxTimeoutSeconds)
                          .arg(text));
        return false;
    }
    timeoutMs_ = std::max(1, static_cast<int>(std::lround(seconds * 1000)));
    timeoutGiven_ = true;
    return true;
}

// The labels come from Items(), the reader's own items are the other properties; one GetAll
// gives every text from the same moment.
void Ctl::query() {
    call(busInterface(), QStringLiteral("Items"), {}, [this](const QDBusMessage& reply) {
        labels_ = reply.arguments().value(0).toStringList();
        call(kPropertiesInterface, QStringLiteral("GetAll"), {busInterface()},
             [this](const QDBusMessage& all) {
                 checkItems(qdbus_cast<QVariantMap>(all.arguments().value(0)));
             });
    });
}

bool Ctl::parse(const QStringList& arguments) {
    QStringList words;
    bool optionsEnd = false;
    for (const QString& a : arguments) {
        if (std::exchange(expectTimeout_, false)) {
            if (!parseTimeout(a))
                return false;
        } else if (a == QLatin1String("--timeout") && !optionsEnd) {
            expectTimeout_ = true;
        } else if (a.startsWith(QLatin1String("--timeout=")) && !optionsEnd) {
            if (!parseTimeout(a.mid(10)))
                return false;
        } else if (optionsEnd || !a.startsWith(u'-') || a == QLatin1String("-")) {
            words << a;
        } else if (a == QLatin1String("--")) {
            optionsEnd = true;
        } else if (a == QLatin1String("-h") || a == QLatin1String("--help")) {
            if (writeOut(usage()))
                finish(Ok);
            return false;
        } else if (a == QLatin1String("--version")) {
            if (writeOut(QStringLiteral("qvr100ctl %1\n").arg(QStringLiteral(QVR100_VERSION))))
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
    if (expectTimeout_) {
        finish(Usage, QStringLiteral("--timeout needs a number of seconds"));
        return false;
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
    else if (command == QLatin1String("zero"))
        command_ = Command::Zero;
    else if (command == QLatin1String("wavelength"))
        command_ = Command::Wavelength;
    else {
        finish(Usage, QStringLiteral("unknown command %1 (see qvr100ctl --help)").arg(command));
        return false;
    }
    const bool readerCommand = command_ == Command::Zero || command_ == Command::Wavelength;
    if (timeoutGiven_ && !readerCommand) {
        finish(Usage, QStringLiteral("--timeout is an option of zero and wavelength"));
        return false;
    }
    if ((command_ == Command::List || command_ == Command::Zero) && !items_.isEmpty()) {
        finish(Usage, QStringLiteral("%1 takes no items").arg(command));
        return false;
    }
    if (command_ == Command::Wavelength &&
        (items_.size() != 1 ||
         (items_[0] != QLatin1String("primary") && items_[0] != QLatin1String("secondary")))) {
        finish(Usage, QStringLiteral("wavelength takes primary or secondary"));
        return false;
    }
    if ((command_ == Command::Get || command_ == Command::Watch) && items_.isEmpty()) {
        finish(Usage, QStringLiteral("%1 needs at least one item").arg(command));
        return false;
    }
    if (csv_ && command_ != Command::Watch) {
        finish(Usage, QStringLiteral("--csv is an option of watch"));
        return false;
    }
    if (raw_ && command_ != Command::Get && command_ != Command::Watch) {
        finish(Usage, QStringLiteral("--raw is an option of get and watch"));
        return false;
    }
    return true;
}

void Ctl::call(const QString& interface, const QString& member, const QVariantList& args,
               std::function<void(const QDBusMessage&)> then, bool mayFail) {
    QDBusMessage message =
        QDBusMessage::createMethodCall(busService(), busPath(), interface, member);
    message.setArguments(args);
    auto* watcher = new QDBusPendingCallWatcher(bus_.asyncCall(message, kCallTimeoutMs), this);
    connect(
        watcher, &QDBusPendingCallWatcher::finished, this,
        [this, then = std::move(then), mayFail](QDBusPendingCallWatcher* w) {
            w->deleteLater();
            const QDBusMessage reply = w->reply();
            if (reply.type() == QDBusMessage::ReplyMessage) {
                then(reply);
                return;
            }
            if (mayFail)
                return;
            const QString name = reply.errorName();
            if (name.startsWith(kReaderErrors))
                finish(NotRunning, QStringLiteral("refused: %1 (%2)")
                                       .arg(reply.errorMessage(), name.mid(kReaderErrors.size())));
            else if (name == QLatin1String("org.freedesktop.DBus.Error.ServiceUnknown") ||
                     name == QLatin1String("org.freedesktop.DBus.Error.NameHasNoOwner"))
                readerMissing();
            else
                finish(NotRunning,
                       QStringLiteral("QVR100PCI is not reachable (%1)").arg(reply.errorMessage()));
        });
}

// A watch waits for the reader: the service watcher starts the query again when it comes.
void Ctl::readerMissing() {
    if (command_ != Command::Watch) {
        finish(NotRunning, QStringLiteral("QVR100PCI is not running"));
        return;
    }
    if (!linked_ && !waiting_) {
        waiting_ = true;
        say(QStringLiteral("QVR100PCI is not running; waiting for it"));
    }
}

void Ctl::checkItems(const QVariantMap& all) {
    if (done_ || linked_)
        return;
    QStringList served = labels_;
    for (auto it = all.constBegin(); it != all.constEnd(); ++it)
        if (!served.contains(it.key()))
            served << it.key();
    for (const QString& item : items_)
        if (!served.contains(item)) {
            finish(Usage, QStringLiteral("unknown item %1").arg(item));
            return;
        }
    switch (command_) {
    case Command::List:
        for (const QString& item : served)
            if (!writeOut(item + u'\n'))
                return;
        finish(Ok);
        break;
    case Command::Get:
        printTexts(all);
        break;
    case Command::Watch:
        linked_ = true;
        if (csv_ && !writeOut(QStringLiteral("time,item,text\r\n")))
            return;
        writeReaderItems(all);
        if (!done_)
            emit watching();
        break;
    case Command::Zero:
    case Command::Wavelength:
        break; // never queried
    }
}

void Ctl::printTexts(const QVariantMap& all) {
    for (const QString& item : items_)
        if (!writeOut(shown(all.value(item).toString()) + u'\n'))
            return;
    finish(Ok);
}

// The state the readings that follow come from: written whenever the watch links.
void Ctl::writeReaderItems(const QVariantMap& all) {
    std::optional<QDateTime> when;
    for (const QString& item : items_) {
        if (labels_.contains(item) || !all.contains(item))
            continue;
        if (!when)
            when = now_();
        if (!writeRecord(*when, item, all.value(item).toString()))
            return;
    }
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
    if (command_ == Command::Zero || command_ == Command::Wavelength) {
        if (const auto it = changed.constFind(kNotice); it != changed.constEnd())
            lastNotice_ = it->toString();
        if (const auto it = changed.constFind(kState); it != changed.constEnd())
            noteState(it->toString());
        return;
    }
    if (!linked_)
        return;
    const QDateTime when = now_();
    for (const QString& item : items_) {
        const auto it = changed.constFind(item);
        if (it != changed.constEnd() && !writeRecord(when, item, it->toString()))
            return;
    }
}

bool Ctl::writeRecord(const QDateTime& when, const QString& item, const QString& text) {
    const QString time = timestamp(when);
    if (csv_)
        return writeOut(csvField(time) + u',' + csvField(item) + u',' + csvField(shown(text)) +
                        QStringLiteral("\r\n"));
    return writeOut(time + u' ' + item + u' ' + shown(text) + u'\n');
}

void Ctl::onServiceGone() {
    if (!done_ && linked_)
        say(QStringLiteral("QVR100PCI stopped; waiting for it"));
}

void Ctl::onServiceBack() {
    if (done_)
        return;
    if (!linked_) {
        if (waiting_)
            say(QStringLiteral("QVR100PCI is running"));
        query();
        return;
    }
    say(QStringLiteral("QVR100PCI is running again"));
    // A program that is gone again, or not yet serving, ends no watch: its changes follow.
    call(
        kPropertiesInterface, QStringLiteral("GetAll"), {busInterface()},
        [this](const QDBusMessage& reply) {
            if (!done_)
                writeReaderItems(qdbus_cast<QVariantMap>(reply.arguments().value(0)));
        },
        true);
}

QString Ctl::shown(const QString& served) const {
    return raw_ ? fromLinkText(served) : served;
}

// A failed write ends the command: a reader of the output that went away ends it quietly,
// any other failure (a full disk) is an error, never a reading dropped in silence.
bool Ctl::writeOut(const QString& text) {
    if (done_)
        return false;
    const QByteArray bytes = text.toUtf8();
    bool written = out_.write(bytes) == bytes.size();
    if (auto* file = qobject_cast<QFileDevice*>(&out_); written && file)
        written = file->flush();
    if (written)
        return true;
    const auto* fd = qobject_cast<const FdOutput*>(&out_);
    if (fd && fd->brokenPipe())
        finish(Ok);
    else
        finish(OutputFailed, QStringLiteral("cannot write the output: %1").arg(out_.errorString()));
    return false;
}

void Ctl::say(const QString& text) {
    err_.write((QStringLiteral("qvr100ctl: ") + text + u'\n').toUtf8());
}

void Ctl::finish(int status, const QString& message) {
    if (done_)
        return;
    done_ = true;
    if (!message.isEmpty())
        say(message);
    QMetaObject::invokeMethod(
        this, [this, status] { emit finished(status); }, Qt::QueuedConnection);
}

} // namespace qvr
