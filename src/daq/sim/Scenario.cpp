#include "daq/sim/Scenario.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonParseError>
#include <algorithm>
#include <cmath>
#include <functional>
#include <set>

namespace qvr::sim {

const char* callName(CallKind kind) {
    switch (kind) {
    case CallKind::AIn:
        return "cbAIn";
    case CallKind::DIn:
        return "cbDIn";
    case CallKind::DOut:
        return "cbDOut";
    case CallKind::GetConfig:
        return "cbGetConfig";
    case CallKind::GetBoardName:
        return "cbGetBoardName";
    }
    return "";
}

QByteArray healthyRecord() {
    QByteArray r("QVR10012341.9510600");
    for (int i = 0; i < 11; ++i)
        r += " QVR";
    r += ' ';
    return r;
}

std::array<std::uint16_t, kEepromWords> wordsFromRecord(const QByteArray& bytes) {
    std::array<std::uint16_t, kEepromWords> w;
    w.fill(0xFFFF);
    const auto byteAt = [&](int i) -> std::uint16_t {
        return i < bytes.size() ? static_cast<std::uint8_t>(bytes[i]) : 0xFF;
    };
    for (int i = 0; i < kEepromWords / 2; ++i)
        w[static_cast<std::size_t>(2 * i)] =
            static_cast<std::uint16_t>((byteAt(2 * i) << 8) | byteAt(2 * i + 1));
    return w;
}

double Film::seenOd(std::size_t wavelength) const {
    return std::clamp(od[wavelength] + damage[wavelength], 0.0, 10.0);
}

QByteArray Scenario::record() const {
    QByteArray r;
    for (int i = 0; i < kEepromWords; i += 2) {
        r += static_cast<char>(words[static_cast<std::size_t>(i)] >> 8);
        r += static_cast<char>(words[static_cast<std::size_t>(i)] & 0xFF);
    }
    return r;
}

namespace {

constexpr int kMaxRecordLength = 64;
constexpr int kMaxNameLength = 24;              // the 25-byte name buffer less its NUL
constexpr double kMaxSeed = 9007199254740992.0; // 2^53: every integer up to it is exact

QString num(double v) {
    return QString::number(v, 'g', 12);
}

// Walks one JSON object into a scenario, naming the key of the first fault it meets.
class Reader {
public:
    explicit Reader(QString* error) : error_(error) {}

    bool scenario(Scenario& s, const QJsonObject& o, const QString& prefix, bool inEvent) {
        if (o.contains(QLatin1String("record")) && o.contains(QLatin1String("words")))
            return fail(prefix + QLatin1String("words"),
                        QStringLiteral("give either \"record\" or \"words\", not both"));
        // Keys are read into s directly: a refused scenario is dropped whole by the caller.
        using V = const QJsonValue&;
        using K = const QString&;
        std::vector<Key> table{
            {"boards", [&](V v, K k) { return boards(s.boards, v, k); }},
            {"record", [&](V v, K k) { return record(s, v, k); }},
            {"words", [&](V v, K k) { return words(s, v, k); }},
            {"gain", [&](V v, K k) { return number(s.gain, v, k, 0, 10, false); }},
            {"lamp", [&](V v, K k) { return number(s.lamp, v, k, -5, 5); }},
            {"noise", [&](V v, K k) { return number(s.noise, v, k, 0, 1000); }},
            {"seed", [&](V v, K k) { return seed(s.seed, v, k); }},
            {"conversion_us", [&](V v, K k) { return integer(s.conversionUs, v, k, 0, 1000000); }},
            {"film", [&](V v, K k) { return film(s.film, v, k); }},
            {"button", [&](V v, K k) { return boolean(s.button, v, k); }},
            {"holder", [&](V v, K k) { return holder(s.holder, v, k); }},
            {"filters", [&](V v, K k) { return filters(s.filters, v, k); }},
            {"faults", [&](V v, K k) { return faults(s.faults, v, k); }},
            {"undriven_do", [&](V v, K k) { return integer(s.undrivenDo, v, k, 0, 1); }},
        };
        if (!inEvent)
            table.push_back({"events", [&](V v, K k) { return events(s, v, k); }});
        return keys(o, prefix, table);
    }

private:
    struct Key {
        const char* name;
        std::function<bool(const QJsonValue&, const QString&)> read;
    };

    bool fail(const QString& path, const QString& what) {
        if (error_)
            *error_ = QStringLiteral("scenario key \"%1\": %2").arg(path, what);
        return false;
    }

    // Hands every key of o to its reader; a key without one is refused.
    bool keys(const QJsonObject& o, const QString& prefix, const std::vector<Key>& table) {
        for (auto it = o.begin(); it != o.end(); ++it) {
            const QString path = prefix + it.key();
            const auto known = std::find_if(table.begin(), table.end(), [&](const Key& k) {
                return it.key() == QLatin1String(k.name);
            });
            if (known == table.end())
                return fail(path, QStringLiteral("unknown key"));
            if (!known->read(it.value(), path))
                return false;
        }
        return true;
    }

    // Reads the object at v into a copy of out with table, then stores it.
    template <typename T, typename MakeTable>
    bool part(T& out, const QJsonValue& v, const QString& path, MakeTable makeTable) {
        QJsonObject o;
        if (!object(o, v, path))
            return false;
        T copy = out;
        if (!keys(o, path + QLatin1Char('.'), makeTable(copy)))
            return false;
        out = copy;
        return true;
    }

    bool object(QJsonObject& out, const QJsonValue& v, const QString& path) {
        if (!v.isObject())
            return fail(path, QStringLiteral("expected an object"));
        out = v.toObject();
        return true;
    }

    bool number(double& out, const QJsonValue& v, const QString& path, double lo, double hi,
                bool loIncluded = true) {
        if (!v.isDouble())
            return fail(path, QStringLiteral("expected a number"));
        const double x = v.toDouble();
        if (!std::isfinite(x) || x > hi || x < lo || (!loIncluded && x == lo))
            return fail(path,
                        QStringLiteral("%1 is out of range (%2 %3 to %4)")
                            .arg(num(x),
                                 loIncluded ? QStringLiteral("from") : QStringLiteral("above"),
                                 num(lo), num(hi)));
        out = x;
        return true;
    }

    bool wholeNumber(double& out, const QJsonValue& v, const QString& path, double lo, double hi) {
        if (!v.isDouble() || std::floor(v.toDouble()) != v.toDouble())
            return fail(path, QStringLiteral("expected a whole number"));
        return number(out, v, path, lo, hi);
    }

    bool integer(int& out, const QJsonValue& v, const QString& path, int lo, int hi) {
        double x = 0;
        if (!wholeNumber(x, v, path, lo, hi))
            return false;
        out = static_cast<int>(x);
        return true;
    }

    bool seed(std::uint64_t& out, const QJsonValue& v, const QString& path) {
        double x = 0;
        if (!wholeNumber(x, v, path, 0, kMaxSeed))
            return false;
        out = static_cast<std::uint64_t>(x);
        return true;
    }

    bool boolean(bool& out, const QJsonValue& v, const QString& path) {
        if (!v.isBool())
            return fail(path, QStringLiteral("expected true or false"));
        out = v.toBool();
        return true;
    }

    template <typename E, std::size_t N>
    bool choice(E& out, const QJsonValue& v, const QString& path,
                const std::array<std::pair<const char*, E>, N>& names) {
        QStringList quoted;
        for (const auto& [name, value] : names) {
            if (v.isString() && v.toString() == QLatin1String(name)) {
                out = value;
                return true;
            }
            quoted << QStringLiteral("\"%1\"").arg(QLatin1String(name));
        }
        return fail(path, QStringLiteral("expected one of %1").arg(quoted.join(", ")));
    }

    bool holder(Holder& out, const QJsonValue& v, const QString& path) {
        return choice(out, v, path,
                      std::array<std::pair<const char*, Holder>, 2>{
                          {{"film", Holder::Film}, {"filter", Holder::Filter}}});
    }

    bool boards(QList<Board>& out, const QJsonValue& v, const QString& path) {
        if (!v.isArray())
            return fail(path, QStringLiteral("expected a list of boards"));
        QList<Board> list;
        std::set<int> numbers;
        const QJsonArray a = v.toArray();
        for (qsizetype i = 0; i < a.size(); ++i) {
            const QString at = QStringLiteral("%1[%2]").arg(path).arg(i);
            QJsonObject o;
            if (!object(o, a[i], at))
                return false;
            Board b;
            bool typeGiven = false;
            if (!o.contains(QLatin1String("number")))
                return fail(at + QLatin1String(".number"), QStringLiteral("missing"));
            if (!o.contains(QLatin1String("name")))
                return fail(at + QLatin1String(".name"), QStringLiteral("missing"));
            for (auto it = o.begin(); it != o.end(); ++it) {
                const QString key = at + QLatin1Char('.') + it.key();
                if (it.key() == QLatin1String("number")) {
                    if (!integer(b.number, it.value(), key, 0, 199))
                        return false;
                    if (!numbers.insert(b.number).second)
                        return fail(key, QStringLiteral("board %1 is listed twice").arg(b.number));
                } else if (it.key() == QLatin1String("name")) {
                    if (!boardName(b.name, it.value(), key))
                        return false;
                } else if (it.key() == QLatin1String("type")) {
                    int t = 0;
                    if (!integer(t, it.value(), key, 1, 0x7FFFFFFF))
                        return false;
                    b.type = t;
                    typeGiven = true;
                } else {
                    return fail(key, QStringLiteral("unknown key"));
                }
            }
            if (!typeGiven)
                b.type = b.name == QLatin1String(kDas08Name) ? kDas08BoardType : kOtherBoardType;
            list.append(b);
        }
        out = list;
        return true;
    }

    bool boardName(QString& out, const QJsonValue& v, const QString& path) {
        if (!v.isString())
            return fail(path, QStringLiteral("expected a text"));
        const QString name = v.toString();
        if (name.isEmpty() || name.size() > kMaxNameLength)
            return fail(path, QStringLiteral("expected 1 to %1 characters").arg(kMaxNameLength));
        for (QChar c : name)
            if (c.unicode() < 0x21 || c.unicode() > 0x7E)
                return fail(path, QStringLiteral("only printable ASCII without blanks"));
        out = name;
        return true;
    }

    bool record(Scenario& s, const QJsonValue& v, const QString& path) {
        if (!v.isString())
            return fail(path, QStringLiteral("expected a text"));
        const QString text = v.toString();
        if (text.size() > kMaxRecordLength)
            return fail(path, QStringLiteral("longer than %1 characters").arg(kMaxRecordLength));
        for (QChar c : text)
            if (c.unicode() > 0xFF)
                return fail(path, QStringLiteral("character U+%1 is not one byte")
                                      .arg(c.unicode(), 4, 16, QLatin1Char('0')));
        s.setRecord(text.toLatin1());
        return true;
    }

    bool words(Scenario& s, const QJsonValue& v, const QString& path) {
        if (!v.isArray() || v.toArray().size() != kEepromWords)
            return fail(path, QStringLiteral("expected a list of %1 words").arg(kEepromWords));
        const QJsonArray a = v.toArray();
        std::array<std::uint16_t, kEepromWords> w{};
        for (int i = 0; i < kEepromWords; ++i) {
            int x = 0;
            if (!integer(x, a[i], QStringLiteral("%1[%2]").arg(path).arg(i), 0, 0xFFFF))
                return false;
            w[static_cast<std::size_t>(i)] = static_cast<std::uint16_t>(x);
        }
        s.words = w;
        return true;
    }

    bool film(Film& out, const QJsonValue& v, const QString& path) {
        return part(out, v, path, [this](Film& f) {
            return std::vector<Key>{
                {"present", [&](auto& x, auto& k) { return boolean(f.present, x, k); }},
                {"od", [&](auto& x, auto& k) { return odPair(f.od, x, k); }},
                {"damage", [&](auto& x, auto& k) { return odPair(f.damage, x, k, -10); }},
            };
        });
    }

    bool odPair(std::array<double, 2>& out, const QJsonValue& v, const QString& path,
                double lo = 0) {
        if (!v.isArray() || v.toArray().size() != 2)
            return fail(path, QStringLiteral("expected a list of 2 ods"));
        const QJsonArray a = v.toArray();
        std::array<double, 2> od{};
        for (int i = 0; i < 2; ++i)
            if (!number(od[static_cast<std::size_t>(i)], a[i],
                        QStringLiteral("%1[%2]").arg(path).arg(i), lo, 10))
                return false;
        out = od;
        return true;
    }

    bool filters(Filters& out, const QJsonValue& v, const QString& path) {
        return part(out, v, path, [this](Filters& f) {
            return std::vector<Key>{
                {"light", [&](auto& x, auto& k) { return number(f.od[0], x, k, 0, 10); }},
                {"medium", [&](auto& x, auto& k) { return number(f.od[1], x, k, 0, 10); }},
                {"dark", [&](auto& x, auto& k) { return number(f.od[2], x, k, 0, 10); }},
                {"inserted", [&](auto& x, auto& k) { return filter(f.inserted, x, k); }},
            };
        });
    }

    bool filter(Filter& out, const QJsonValue& v, const QString& path) {
        return choice(out, v, path,
                      std::array<std::pair<const char*, Filter>, 4>{{{"none", Filter::None},
                                                                     {"light", Filter::Light},
                                                                     {"medium", Filter::Medium},
                                                                     {"dark", Filter::Dark}}});
    }

    bool faults(Faults& out, const QJsonValue& v, const QString& path) {
        return part(out, v, path, [this](Faults& f) {
            return std::vector<Key>{
                {"fail", [&](auto& x, auto& k) { return failures(f.failEvery, x, k); }},
                {"fail_status",
                 [&](auto& x, auto& k) { return integer(f.failStatus, x, k, 1, 0x7FFFFFFF); }},
                {"no_board", [&](auto& x, auto& k) { return boolean(f.noBoard, x, k); }},
                {"other_model", [&](auto& x, auto& k) { return boolean(f.otherModel, x, k); }},
                {"blank_eeprom", [&](auto& x, auto& k) { return boolean(f.blankEeprom, x, k); }},
                {"do_stuck", [&](auto& x, auto& k) { return stuck(f.doStuck, x, k); }},
                {"dead_converter",
                 [&](auto& x, auto& k) { return boolean(f.deadConverter, x, k); }},
                {"disconnected", [&](auto& x, auto& k) { return boolean(f.disconnected, x, k); }},
            };
        });
    }

    bool stuck(int& out, const QJsonValue& v, const QString& path) {
        if (v.isNull()) {
            out = -1;
            return true;
        }
        if (!v.isDouble() || (v.toDouble() != 0 && v.toDouble() != 1))
            return fail(path, QStringLiteral("expected 0, 1 or null"));
        out = static_cast<int>(v.toDouble());
        return true;
    }

    bool failures(std::array<int, kCallKinds>& out, const QJsonValue& v, const QString& path) {
        return part(out, v, path, [this](std::array<int, kCallKinds>& every) {
            std::vector<Key> table;
            for (int k = 0; k < kCallKinds; ++k)
                table.push_back({callName(static_cast<CallKind>(k)), [&, k](auto& x, auto& key) {
                                     return integer(every[static_cast<std::size_t>(k)], x, key, 0,
                                                    1000000000);
                                 }});
            return table;
        });
    }

    bool events(Scenario& s, const QJsonValue& v, const QString& path) {
        if (!v.isArray())
            return fail(path, QStringLiteral("expected a list of events"));
        const QJsonArray a = v.toArray();
        std::vector<Event> list;
        // Each event is checked against a scratch copy, so a bad one is refused now, not
        // when it falls due.
        Scenario scratch = s;
        for (qsizetype i = 0; i < a.size(); ++i) {
            const QString at = QStringLiteral("%1[%2]").arg(path).arg(i);
            QJsonObject o;
            if (!object(o, a[i], at))
                return false;
            if (!o.contains(QLatin1String("at")))
                return fail(at + QLatin1String(".at"), QStringLiteral("missing"));
            double seconds = 0;
            if (!number(seconds, o.value(QLatin1String("at")), at + QLatin1String(".at"), 0, 1e9))
                return false;
            o.remove(QLatin1String("at"));
            if (!scenario(scratch, o, at + QLatin1Char('.'), true))
                return false;
            list.push_back(Event{static_cast<qint64>(std::llround(seconds * 1000)), o});
        }
        std::stable_sort(list.begin(), list.end(),
                         [](const Event& a, const Event& b) { return a.atMs < b.atMs; });
        s.events = std::move(list);
        return true;
    }

    QString* error_;
};

} // namespace

Scenario Scenario::healthy() {
    return Scenario{};
}

Scenario Scenario::quiet() {
    Scenario s;
    s.noise = 0;
    s.conversionUs = 0;
    return s;
}

std::optional<Scenario> parseScenario(const QByteArray& json, QString* error) {
    QJsonParseError pe;
    const QJsonDocument doc = QJsonDocument::fromJson(json, &pe);
    if (pe.error != QJsonParseError::NoError) {
        if (error)
            *error = QStringLiteral("scenario is not valid JSON (at offset %1: %2)")
                         .arg(pe.offset)
                         .arg(pe.errorString());
        return std::nullopt;
    }
    if (!doc.isObject()) {
        if (error)
            *error = QStringLiteral("scenario must be a JSON object");
        return std::nullopt;
    }
    Scenario s = Scenario::healthy();
    if (!Reader(error).scenario(s, doc.object(), QString(), false))
        return std::nullopt;
    return s;
}

void applyChanges(Scenario& scenario, const QJsonObject& changes) {
    // The changes were checked when the scenario was read; a failure here leaves the
    // scenario as it was. The event list stays out of the working copy: copying it for every
    // event made thousands of events due at once take quadratic time.
    std::vector<Event> events = std::move(scenario.events);
    Scenario next = scenario;
    if (Reader(nullptr).scenario(next, changes, QString(), true))
        scenario = std::move(next);
    scenario.events = std::move(events);
}

} // namespace qvr::sim
