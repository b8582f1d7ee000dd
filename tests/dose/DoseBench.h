#pragma once
// A dose store in a temporary folder with a film batch, a fitted calibration on head 1234 at
// 600 nm, a training job and a real one, reader checks on demand; and a reader whose items the
// test sets.

#include "DoseFixtures.h"
#include "DoseRoles.h"

#include "dose/core/Fitting.h"
#include "dose/link/ReaderSource.h"
#include "dose/store/Store.h"

#include <QTemporaryDir>
#include <QTest>
#include <memory>

namespace qvr::dose::test {

inline QDateTime benchTime() {
    return QDateTime(QDate(2026, 12, 7), QTime(9, 0), Qt::UTC);
}

class FakeReader : public ReaderSource {
public:
    bool running = true;
    ReaderItems served{{"State", "reading"},   {"Fault", ""},        {"Simulated", true},
                       {"lblPresent", "Film"}, {"WL", "600 nm"},     {"lblSN", "1234"},
                       {"A", "0.850"},         {"lblZero", "3.604"}, {"Zeros", "1"},
                       {kOwnerItem, ":1.7"}};
    Outcome<ReaderItems> items() override {
        if (!running)
            return Failure{QStringLiteral("QVR100PCI is not running")};
        return served;
    }
    Outcome<ReaderItems> nextReading(int) override { return items(); }
    Outcome<Done> selectWavelength(bool secondary) override {
        served.insert(QStringLiteral("WL"), secondary ? "600 nm" : "510 nm");
        return Done{};
    }
};

struct DoseBench {
    QTemporaryDir dir;
    QString path = dir.filePath(QStringLiteral("dose.sqlite"));
    QDateTime now = benchTime();
    std::unique_ptr<Store> store;
    qint64 calibrationId = 0;

    Now clock() {
        return [this] {
            now = now.addMSecs(500);
            return now;
        };
    }

    bool open() {
        auto s = Store::open(path, clock());
        if (!s)
            return false;
        store = std::move(*s);
        Batch b;
        b.id = QStringLiteral("LOT-A");
        b.description = QStringLiteral("film");
        b.thicknessUm = 50;
        b.uThicknessUm = 0.8;
        b.background = {{600, 0.12}};
        b.operatorName = QStringLiteral("ana");
        Calibration c = filmCalibration();
        c.batchId = b.id;
        c.headSerial = QStringLiteral("1234");
        c.wavelengthNm = 600;
        c.certificate = QStringLiteral("NPL-2026-117");
        c.validUntil = QDate(2027, 6, 30);
        if (!store->addBatch(b))
            return false;
        auto cal = store->addCalibration(c);
        if (!cal)
            return false;
        c.id = calibrationId = cal->id;
        auto fit = fitCalibration(c, Model::Power, false);
        Job training{QStringLiteral("T1"),
                     QStringLiteral("practice"),
                     5.0,
                     30.0,
                     true,
                     QStringLiteral("ana"),
                     {},
                     DecisionRule::Guarded,
                     true,
                     false,
                     {},
                     {},
                     0,
                     {}};
        Job real{QStringLiteral("R1"),
                 QStringLiteral("syringes"),
                 5.0,
                 30.0,
                 false,
                 QStringLiteral("ana"),
                 {},
                 DecisionRule::Guarded,
                 true,
                 false,
                 {},
                 {},
                 0,
                 {}};
        // The bench's two people may do anything their roles allow: ana reads, ben reviews.
        return fit && store->addFit(*fit) && store->addJob(training) && store->addJob(real) &&
               qvr::test::grantRoles(*store, QStringLiteral("ana")) &&
               qvr::test::grantRoles(*store, QStringLiteral("ben"));
    }

    // A filter check of the head at 600 nm, now: a passing one lets the real job be read.
    bool check(bool passed) {
        ReaderCheck check;
        check.headSerial = QStringLiteral("1234");
        check.wavelengthNm = 600;
        check.certificate = QStringLiteral("NDF-7");
        check.tolerancePercent = 1;
        check.passed = passed;
        check.operatorName = QStringLiteral("ana");
        return bool(store->addCheck(check));
    }
};

} // namespace qvr::dose::test
