#pragma once
// qvr100ctl, the command-line client of the link source:
//
//   qvr100ctl list                     every item, one per line
//   qvr100ctl get ITEM...              each item's text on its own line, exactly as served
//   qvr100ctl watch [--csv] ITEM...    one line per change: local time (ISO 8601 with
//                                      milliseconds and offset), item, text; runs until
//                                      interrupted
//   --raw (get, watch)                 undo the served mapping (LinkText.h), write UTF-8
//
// Exit status: 0 success, 1 QVR100PCI not running or not reachable, 2 usage error or unknown
// item; every failure says so in one line on the error stream.

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
    enum Status { Ok = 0, NotRunning = 1, Usage = 2 };

    Ctl(const QDBusConnection& bus, QIODevice& out, QIODevice& err, QObject* parent = nullptr);

    // Runs the command line (without the program name). The result arrives as finished(),
    // always from the event loop; a watch never finishes by itself.
    void start(const QStringList& arguments);

    // Where the watch's timestamps come from (the wall clock unless a test says otherwise).
    void setClock(std::function<QDateTime()> now) { now_ = std::move(now); }

    static QString usage();

signals:
    void finished(int status);
    // A watch has checked its items and is linked: every later change is written.
    void watching();

private slots:
    void onPropertiesChanged(const QString& interface, const QVariantMap& changed,
                             const QStringList& invalidated);
    void onServiceGone();
    void onServiceBack();

private:
    enum class Command { List, Get, Watch };

    bool parse(const QStringList& arguments);
    void call(const QString& interface, const QString& member, const QVariantList& args,
              std::function<void(const QDBusMessage&)> then);
    void checkItems(const QStringList& served);
    void printTexts(const QVariantMap& all);
    void startWatching();
    void writeRecord(const QDateTime& when, const QString& item, const QString& text);
    QString shown(const QString& served) const;
    void write(QIODevice& to, const QString& text);
    void finish(int status, const QString& message = QString());

    QDBusConnection bus_;
    QIODevice& out_;
    QIODevice& err_;
    std::function<QDateTime()> now_;
    Command command_ = Command::List;
    QStringList items_;
    bool csv_ = false;
    bool raw_ = false;
    bool done_ = false;
};

} // namespace qvr
