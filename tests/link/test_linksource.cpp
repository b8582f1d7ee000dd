// The link source as a client on the bus sees it: items, values, errors, links.

#include "link/LinkSource.h"
#include "link/text/BusNames.h"
#include "link/text/LinkText.h"

#include <QDBusMetaType>
#include <QDBusPendingCallWatcher>
#include <QDBusVariant>
#include <QSignalSpy>
#include <QTest>
#include <QXmlStreamReader>

using namespace qvr;

// A client on its own connection, calling asynchronously: the source shares its thread.
class BusProbe : public QObject {
    Q_OBJECT
public:
    explicit BusProbe(const QString& uniqueName)
        : bus(QDBusConnection::connectToBus(QDBusConnection::SessionBus, uniqueName)) {}
    ~BusProbe() override { QDBusConnection::disconnectFromBus(bus.name()); }

    QDBusMessage call(const QString& interface, const QString& member,
                      const QVariantList& args = {}) {
        QDBusMessage m = QDBusMessage::createMethodCall(busService(), busPath(), interface, member);
        m.setArguments(args);
        QDBusPendingCallWatcher watcher(bus.asyncCall(m, 5000));
        QSignalSpy done(&watcher, &QDBusPendingCallWatcher::finished);
        if (!watcher.isFinished())
            done.wait(10000);
        return watcher.reply();
    }
    QDBusMessage topic(const QString& member, const QVariantList& args = {}) {
        return call(busInterface(), member, args);
    }
    QDBusMessage properties(const QString& member, const QVariantList& args) {
        return call(QStringLiteral("org.freedesktop.DBus.Properties"), member, args);
    }
    QVariant get(const QString& property) {
        const auto r = properties(QStringLiteral("Get"), {busInterface(), property});
        return r.arguments().value(0).value<QDBusVariant>().variant();
    }

    // Records the source's PropertiesChanged from its return on (the bus keeps rule and call in
    // order).
    bool link() {
        return bus.connect(busService(), busPath(),
                           QStringLiteral("org.freedesktop.DBus.Properties"),
                           QStringLiteral("PropertiesChanged"), this,
                           SLOT(onChanged(QString, QVariantMap, QStringList))) &&
               topic(QStringLiteral("Items")).type() == QDBusMessage::ReplyMessage;
    }
    bool waitForChange(int timeoutMs = 10000) {
        QSignalSpy spy(this, &BusProbe::changed);
        return spy.wait(timeoutMs);
    }
    QList<QVariantMap> changes;
    QDBusConnection bus;

signals:
    void changed();

private slots:
    void onChanged(const QString& interface, const QVariantMap& values, const QStringList&) {
        if (interface == busInterface()) {
            changes.append(values);
            emit changed();
        }
    }
};

// The reader's commands as the source sees them: each refused as told, or run.
class FakeCommands : public ReaderCommands {
public:
    CommandRefusal zeroCommand() override {
        calls << QStringLiteral("zero");
        return answer;
    }
    CommandRefusal wavelengthCommand(bool secondary) override {
        calls << (secondary ? QStringLiteral("secondary") : QStringLiteral("primary"));
        return answer;
    }
    CommandRefusal answer = CommandRefusal::None;
    QStringList calls;
};

class TestLinkSource : public QObject {
    Q_OBJECT

    std::unique_ptr<LabelModel> labels_;
    std::unique_ptr<LinkSource> source_;
    std::unique_ptr<BusProbe> client_;
    int probes_ = 0;
    const QString kProps = QStringLiteral("org.freedesktop.DBus.Properties");

    QVariantMap getAll(const QString& interface) {
        return qdbus_cast<QVariantMap>(
            client_->properties(QStringLiteral("GetAll"), {interface}).arguments().value(0));
    }
    // Writes `text` until the probe has seen it; every signal sent before has then arrived too.
    void barrier(const QString& text) {
        labels_->set(Label::nc, text);
        do
            QVERIFY(client_->waitForChange());
        while (client_->changes.last().value(QStringLiteral("nc")) != text);
    }

private slots:
    void initTestCase() { QVERIFY(QDBusConnection::sessionBus().registerService(busService())); }

    void init() {
        client_.reset();
        source_.reset();
        labels_ = std::make_unique<LabelModel>();
        source_ = std::make_unique<LinkSource>(*labels_, QDBusConnection::sessionBus());
        QVERIFY(source_->publish());
        client_ = std::make_unique<BusProbe>(QStringLiteral("client%1").arg(++probes_));
    }

    void everyItemServesItsText() {
        const QStringList items =
            client_->topic(QStringLiteral("Items")).arguments()[0].toStringList();
        QCOMPARE(items.size(), kLabelCount);
        QCOMPARE(items.mid(0, 2), (QStringList{QStringLiteral("WL"), QStringLiteral("A")}));
        QVERIFY(!items.contains(QStringLiteral("Simulated")));

        QVariantMap all = getAll(busInterface());
        QCOMPARE(all.size(), kLabelCount + 1);
        QCOMPARE(all.value(QStringLiteral("A")), QVariant(QStringLiteral("Zeroing")));
        QCOMPARE(all.value(QStringLiteral("Simulated")), QVariant(false));

        for (const QString& name : items)
            labels_->set(*LabelModel::find(name), QStringLiteral("text of ") + name);
        all = getAll(QString()); // an empty interface name means every interface
        for (const QString& name : items) {
            const QVariant text(QStringLiteral("text of ") + name);
            QCOMPARE(client_->topic(QStringLiteral("Request"), {name}).arguments().value(0), text);
            QCOMPARE(client_->get(name), text);
            QCOMPARE(all.value(name), text);
        }
    }

    void refusals_data() {
        QTest::addColumn<QString>("interface");
        QTest::addColumn<QString>("member");
        QTest::addColumn<QVariantList>("args");
        QTest::addColumn<QString>("error");
        const QString t = busInterface(), other = QStringLiteral("org.example.Other");
        const QVariant v = QVariant::fromValue(QDBusVariant(QStringLiteral("9.999")));
        const auto row = [](const char* name, const QString& iface, const char* member,
                            const QVariantList& args, const char* error) {
            QTest::newRow(name) << iface << QString::fromLatin1(member) << args
                                << QString::fromLatin1(error);
        };
        row("unknown item", t, "Request", {"B2"}, kUnknownItemError);
        row("Set A", kProps, "Set", {t, "A", v}, "PropertyReadOnly");
        row("Set unknown", kProps, "Set", {t, "B2", v}, "UnknownProperty");
        row("Get unknown", kProps, "Get", {t, "B2"}, "UnknownProperty");
        row("Get other", kProps, "Get", {other, "A"}, "UnknownInterface");
        row("Get, one argument", kProps, "Get", {"A"}, "InvalidArgs");
        row("Request, number", t, "Request", {7}, "InvalidArgs");
        row("no execute", t, "Execute", {"zero"}, "UnknownMethod");
        row("other interface", other, "Request", {"A"}, "UnknownInterface");
    }
    void refusals() {
        QFETCH(QString, interface);
        QFETCH(QString, member);
        QFETCH(QVariantList, args);
        QFETCH(QString, error);
        const QDBusMessage reply = client_->call(interface, member, args);
        QCOMPARE(reply.errorName(), error.contains(u'.')
                                        ? error
                                        : QStringLiteral("org.freedesktop.DBus.Error.") + error);
        if (error == QLatin1String(kUnknownItemError)) // the error names the item
            QVERIFY2(reply.errorMessage().contains(args.value(0).toString()),
                     qPrintable(reply.errorMessage()));
        // Nothing changed, and the source goes on answering.
        QCOMPARE(labels_->text(Label::A), QStringLiteral("Zeroing"));
        QCOMPARE(client_->get(QStringLiteral("A")), QVariant(QStringLiteral("Zeroing")));
    }

    // Each command reaches the reader once, with its argument, or comes back with the error
    // the reader's refusal names; a malformed call reaches nothing.
    void commands_data() {
        QTest::addColumn<QString>("member");
        QTest::addColumn<QVariantList>("args");
        QTest::addColumn<int>("refusal");
        QTest::addColumn<QString>("call");
        QTest::addColumn<QString>("error");
        const auto row = [](const char* name, const char* member, const QVariantList& args,
                            CommandRefusal refusal, const char* call, const char* error) {
            QTest::newRow(name) << QString::fromLatin1(member) << args << int(refusal)
                                << QString::fromLatin1(call) << QString::fromLatin1(error);
        };
        const auto none = CommandRefusal::None;
        row("Zero", "Zero", {}, none, "zero", "");
        row("primary", "SelectWavelength", {"primary"}, none, "primary", "");
        row("secondary", "SelectWavelength", {"secondary"}, none, "secondary", "");
        row("filter check", "Zero", {}, CommandRefusal::FilterCheck, "zero", kFilterCheckError);
        row("fault", "SelectWavelength", {"primary"}, CommandRefusal::Fault, "primary",
            kFaultError);
        row("busy", "Zero", {}, CommandRefusal::Busy, "zero", kBusyError);
        row("read-only", "SelectWavelength", {"secondary"}, CommandRefusal::ReadOnly, "secondary",
            kReadOnlyError);
        row("no such wavelength", "SelectWavelength", {"Primary"}, none, "",
            "org.freedesktop.DBus.Error.InvalidArgs");
        row("a number", "SelectWavelength", {2}, none, "",
            "org.freedesktop.DBus.Error.InvalidArgs");
        row("Zero with an argument", "Zero", {"now"}, none, "",
            "org.freedesktop.DBus.Error.InvalidArgs");
    }
    void commands() {
        QFETCH(QString, member);
        QFETCH(QVariantList, args);
        QFETCH(int, refusal);
        QFETCH(QString, call);
        QFETCH(QString, error);
        FakeCommands commands;
        commands.answer = static_cast<CommandRefusal>(refusal);
        source_->setCommands(&commands);
        labels_->set(Label::Fault, QStringLiteral("card gone"));
        const QDBusMessage reply = client_->topic(member, args);
        QCOMPARE(reply.errorName(), error);
        QCOMPARE(commands.calls, call.isEmpty() ? QStringList() : QStringList{call});
        if (error == QLatin1String(kFaultError)) // says which fault
            QVERIFY2(reply.errorMessage().contains(QStringLiteral("card gone")),
                     qPrintable(reply.errorMessage()));
    }

    // A source given no commands (a program that offers none) knows no such methods.
    void noCommandsNoMethods() {
        QCOMPARE(client_->topic(QStringLiteral("Zero")).errorName(),
                 QStringLiteral("org.freedesktop.DBus.Error.UnknownMethod"));
    }

    void headRecordBytesSurvive() {
        // Any byte, one character each, and a text that is not even valid UTF-16.
        QString record;
        for (int b = 0; b < 256; ++b)
            record += QChar(char16_t(b));
        record += QChar(0xDC00);
        QVERIFY(client_->link());
        labels_->set(Label::lblEEPROM, record);
        QVERIFY(client_->waitForChange());
        const QString item = QStringLiteral("lblEEPROM");
        const QDBusMessage request = client_->topic(QStringLiteral("Request"), {item});
        for (QChar c : request.arguments().value(0).toString()) // one line, no control character
            QVERIFY2(c.unicode() >= 0x20 && !(c.unicode() >= 0x7F && c.unicode() <= 0x9F),
                     qPrintable(QString::number(c.unicode(), 16)));
        for (const QVariant& served :
             {client_->changes.last().value(item), request.arguments().value(0), client_->get(item),
              getAll(busInterface()).value(item)})
            QCOMPARE(fromLinkText(served.toString()), record);
    }

    void oneSignalPerEventLoopReturn() {
        QVERIFY(client_->link());
        client_->topic(QStringLiteral("Request"), {QStringLiteral("A")}); // fires no link
        // Someone delivers early, as before a modal box: still one signal.
        labels_->set(Label::lblVolt, QStringLiteral("1.0000"));
        labels_->flush();
        labels_->set(Label::A, QStringLiteral(" 0.500"));
        labels_->flush();
        // One reading: thousands of conversions, then the absorbance, all in one handler.
        for (int i = 0; i < 5000; ++i)
            labels_->set(Label::lblADC, QString::number(2000 + i % 7));
        labels_->set(Label::lblADC, QStringLiteral("2047"));
        labels_->set(Label::A, QStringLiteral(" 0.123"));
        QVERIFY(client_->waitForChange());
        barrier(QStringLiteral("barrier"));
        QCOMPARE(client_->changes.size(), 2); // the reading, then the barrier
        QCOMPARE(client_->changes.first(),
                 (QVariantMap{{QStringLiteral("A"), QStringLiteral(" 0.123")},
                              {QStringLiteral("lblADC"), QStringLiteral("2047")},
                              {QStringLiteral("lblVolt"), QStringLiteral("1.0000")}}));
    }

    void introspectionDescribesTheTopic() {
        FakeCommands commands;
        source_->setCommands(&commands);
        QXmlStreamReader xml(client_
                                 ->call(QStringLiteral("org.freedesktop.DBus.Introspectable"),
                                        QStringLiteral("Introspect"))
                                 .arguments()[0]
                                 .toString());
        const auto attr = [&](const char* n) {
            return xml.attributes().value(QLatin1String(n)).toString();
        };
        QStringList properties, methods;
        while (!xml.atEnd())
            if (xml.readNext() == QXmlStreamReader::StartElement &&
                xml.name() == QLatin1String("property"))
                properties << attr("name") + u' ' + attr("type") + u' ' + attr("access");
            else if (xml.isStartElement() && xml.name() == QLatin1String("method"))
                methods << attr("name");
        QVERIFY2(!xml.hasError(), qPrintable(xml.errorString()));
        QStringList expected;
        for (const QString& item : LinkSource::items())
            expected << item + QStringLiteral(" s read");
        QCOMPARE(properties, expected << QStringLiteral("Simulated b read"));
        QVERIFY2(methods.contains(QStringLiteral("Zero")) &&
                     methods.contains(QStringLiteral("SelectWavelength")),
                 qPrintable(methods.join(u' ')));
    }
};

QTEST_GUILESS_MAIN(TestLinkSource)
#include "test_linksource.moc"
