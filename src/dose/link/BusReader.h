#pragma once
// The reader's items from the running qvr100pci: GetAll once, then every PropertiesChanged of
// the reader's object, with the served texts unmapped. Beside them, kOwnerItem names the reader
// process that served them; when another process starts serving, its items are read whole.

#include "dose/link/ReaderSource.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QObject>
#include <QStringList>
#include <deque>

namespace qvr::dose {

class BusReader : public QObject, public ReaderSource {
    Q_OBJECT
public:
    explicit BusReader(const QDBusConnection& bus);
    ~BusReader() override;

    Outcome<ReaderItems> items() override;
    Outcome<ReaderItems> nextReading(int timeoutMs) override;
    Outcome<Done> selectWavelength(bool secondary) override;

signals:
    void absorbanceWritten();

private slots:
    void onPropertiesChanged(const QString& interface, const QVariantMap& changed,
                             const QStringList& invalidated, const QDBusMessage& message);

private:
    Outcome<ReaderItems> load();
    void merge(const QVariantMap& served);

    QDBusConnection bus_;
    bool subscribed_ = false;
    bool loaded_ = false;
    ReaderItems items_;
    // The items at each write of A since the last reading given, while readings are followed.
    bool following_ = false;
    std::deque<ReaderItems> written_;
};

} // namespace qvr::dose
