#pragma once
// The reader's items from the running qvr100pci: GetAll once, then every PropertiesChanged of
// the reader's object, with the served texts unmapped.

#include "dose/link/ReaderSource.h"

#include <QDBusConnection>
#include <QObject>
#include <QStringList>

namespace qvr::dose {

class BusReader : public QObject, public ReaderSource {
    Q_OBJECT
public:
    explicit BusReader(const QDBusConnection& bus);
    ~BusReader() override;

    Outcome<ReaderItems> items() override;
    Outcome<ReaderItems> nextReading(int timeoutMs) override;

signals:
    void absorbanceWritten();

private slots:
    void onPropertiesChanged(const QString& interface, const QVariantMap& changed,
                             const QStringList& invalidated);

private:
    void merge(const QVariantMap& served);

    QDBusConnection bus_;
    bool subscribed_ = false;
    bool loaded_ = false;
    ReaderItems items_;
};

} // namespace qvr::dose
