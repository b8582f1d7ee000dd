#pragma once
// qvr100ctl, the command-line client of the link source:
//
//   qvr100ctl list                     every item, one per line: the labels in window order,
//                                      then the reader's own items (State, Fault, Notice, Zeros,
//                                      Simulated)
//   qvr100ctl get ITEM...              each item's text on its own line, exactly as served
//   qvr100ctl watch [--csv] ITEM...    one line per change: local time (ISO 8601 with
//                                      milliseconds and offset), item, text; runs until
//                                      interrupted. The reader's own items are also written
//                                      each time the watch links to QVR100PCI, so that every
//                                      later reading is known to come from that state. A
//                                      watch waits for QVR100PCI when it is not running.
//   qvr100ctl zero                     the Zero command, then waits until State is reading
//   qvr100ctl wavelength primary|secondary   the wavelength command, then waits likewise
//   --raw (get, watch)                 undo the served mapping (LinkText.h), write UTF-8
//   --timeout SECONDS (zero, wavelength)   how long to wait for reading (10)
//
// Exit status: 0 success, also when the reader of the output went away (broken pipe);
// 1 QVR100PCI not running or not reachable, or the command refused; 2 usage error or unknown
// item; 3 the output could not be written (a full disk); 4 State was not reading again in
// time. Every failure says so in one line on the error stream.

#include <QDBusConnection>
#include <QDateTime>
#include <QIODevice>
#include <QStringList>
#include <functional>

class QDBusPendingCallWatcher;

namespace qvr {

class Ctl : public QObject {
    Q_OBJECT
public:
    enum Status { Ok = 0, NotRunning = 1, Usage = 2, OutputFailed = 3, TimedOut = 4 };

    Ctl(const QDBusConnection& bus, QIODevice& out, QIODevice& err, QObject* parent = nullptr);

    // Runs the command line (without the program name). The result arrives as finished(),
    // always from the event loop; a watch never finishes by itself.
    void start(const QStringList& arguments);

    // Where the watch's timestamps come from (the wall clock unless a test says otherwise).
    void setClock(std::function<QDateTime()> now) { now_ = std::move(now); }
    // Starts the deadline of zero and wavelength: fire is called ms later (by a QTimer unless a
    // test says otherwise).
    using Deadline = std::function<void(int ms, std::function<void()> fire)>;
    void setDeadline(Deadline start) { startDeadline_ = std::move(start); }

    static QString usage();

signals:
    void finished(int status);
    // A watch has checked its items, written the reader's own and is linked: every later
    // change is written.
    void watching();
    // zero or wavelength: the reader took the command and is not reading yet; the wait goes on.
    void commandTaken();

private slots:
    void onPropertiesChanged(const QString& interface, const QVariantMap& changed,
                             const QStringList& invalidated);
    void onServiceGone();
    void onServiceBack();

private:
    enum class Command { List, Get, Watch, Zero, Wavelength };

    bool parse(const QStringList& arguments);
    void query();
    // then() gets the reply; a failure ends the command unless mayFail.
    void call(const QString& interface, const QString& member, const QVariantList& args,
              std::function<void(const QDBusMessage&)> then, bool mayFail = false);
    void readerMissing();
    void checkItems(const QVariantMap& all);
    void printTexts(const QVariantMap& all);
    void startWatching();
    bool parseTimeout(const QString& text);
    // Sends the command, then waits for State to be reading.
    void runCommand();
    void noteState(const QString& state);
    void timedOut();
    void writeReaderItems(const QVariantMap& all);
    bool writeRecord(const QDateTime& when, const QString& item, const QString& text);
    QString shown(const QString& served) const;
    bool writeOut(const QString& text);
    void say(const QString& text);
    void finish(int status, const QString& message = QString());

    QDBusConnection bus_;
    QIODevice& out_;
    QIODevice& err_;
    std::function<QDateTime()> now_;
    Command command_ = Command::List;
    QStringList items_;
    QStringList labels_; // as served by Items()
    bool csv_ = false;
    bool raw_ = false;
    bool linked_ = false;  // a watch's items are checked; changes are written
    bool waiting_ = false; // said that QVR100PCI is not running
    bool done_ = false;
    int timeoutMs_ = 10000;
    bool timeoutGiven_ = false;
    bool expectTimeout_ = false; // the next argument is the value of --timeout
    bool accepted_ = false;      // the reader ran the command
    QString lastState_;
    QString lastNotice_; // why the reader is not reading again, when it says
    Deadline startDeadline_;
};

} // namespace qvr
