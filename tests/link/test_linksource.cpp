// The link source as a client on the bus sees it: items, values, errors, links.

#include "BusProbe.h"
#include "link/BusNames.h"
#include "link/LinkSource.h"
#include "link/LinkText.h"

#include <QDBusConnectionInterface>
#include <QTest>
#include <QXmlStreamReader>

using namespace qvr;
using qvr::test::BusProbe;

namespace {

const QString kProps = QStringLiteral("org.freedesktop.DBus.Properties");

Label labelAt(int i) {
    return static_cast<Label>(i);
}

} // namespace

class TestLinkSource : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void cleanup();

    void itemsInWindowOrder();
    void initialTextsAfterStart();
    void everyItemServesItsText_data();
    void everyItemServesItsText();
    void unknownItemIsNamed();
    void writingIsRefused_data();
    void writingIsRefused();
    void malformedCallsGetErrors_data();
    void malformedCallsGetErrors();
    void simulatedProperty();
    void headRecordBytesSurvive();
    void oneSignalPerEventLoopReturn();
    void earlyFlushStillGivesOneSignal();
    void everyReadingIsSent();
    void nothingWhenNothingWritten();
    void introspectionDescribesTheTopic();

private:
    // Writes `text` once per event-loop return until the probe has seen a change carrying it;
    // every signal sent before it has then arrived as well.
    void barrier(const QString& text);

    std::unique_ptr<LabelModel> labels_;
    std::unique_ptr<LinkSource> source_;
    std::unique_ptr<BusProbe> client_;
    int probes_ = 0;
};

void TestLinkSource::initTestCase() {
    QVERIFY2(QDBusConnection::sessionBus().isConnected(), "needs a private session bus");
    QVERIFY(QDBusConnection::sessionBus().registerService(busService()));
}

void TestLinkSource::init() {
    labels_ = std::make_unique<LabelModel>();
    source_ = std::make_unique<LinkSource>(*labels_, QDBusConnection::sessionBus());
    QVERIFY(source_->publish());
    client_ = std::make_unique<BusProbe>(QStringLiteral("client%1").arg(++probes_));
    QVERIFY(client_->bus().isConnected());
}

void TestLinkSource::cleanup() {
    client_.reset();
    source_.reset();
    labels_.reset();
}

void TestLinkSource::barrier(const QString& text) {
    labels_->set(Label::nc, text);
    for (;;) {
        QVERIFY(client_->waitForChange());
        if (client_->changes.last().value(QStringLiteral("nc")) == text)
            return;
    }
}

void TestLinkSource::itemsInWindowOrder() {
    const QDBusMessage reply = client_->topic(QStringLiteral("Items"));
    QCOMPARE(reply.type(), QDBusMessage::ReplyMessage);
    const QStringList items = reply.arguments().value(0).toStringList();
    QCOMPARE(items.size(), kLabelCount);
    QCOMPARE(items.first(), QStringLiteral("WL"));
    QCOMPARE(items.at(1), QStringLiteral("A"));
    for (const char* name : {"lblA1", "lblA2", "na", "nb", "nc", "lblADC", "lblEEPROM", "Label2"})
        QVERIFY2(items.contains(QLatin1String(name)), name);
    QVERIFY(!items.contains(QStringLiteral("Simulated")));
}

void TestLinkSource::initialTextsAfterStart() {
    const QDBusMessage reply = client_->properties(QStringLiteral("GetAll"), {busInterface()});
    QCOMPARE(reply.type(), QDBusMessage::ReplyMessage);
    const QVariantMap all = qdbus_cast<QVariantMap>(reply.arguments().value(0));
    QCOMPARE(all.size(), kLabelCount + 1);
    QCOMPARE(all.value(QStringLiteral("A")).toString(), QStringLiteral("Zeroing"));
    QCOMPARE(all.value(QStringLiteral("na")).toString(), QStringLiteral(" "));
    QCOMPARE(all.value(QStringLiteral("lblA2")).toString(), QStringLiteral("600 nm"));
    QCOMPARE(all.value(QStringLiteral("Simulated")).typeId(), QMetaType::Bool);
    QCOMPARE(all.value(QStringLiteral("Simulated")).toBool(), false);
    // GetAll with an empty interface name means every interface.
    QCOMPARE(qdbus_cast<QVariantMap>(
                 client_->properties(QStringLiteral("GetAll"), {QString()}).arguments().value(0)),
             all);
}

void TestLinkSource::everyItemServesItsText_data() {
    QTest::addColumn<int>("label");
    for (int i = 0; i < kLabelCount; ++i)
        QTest::newRow(qPrintable(LabelModel::name(labelAt(i)))) << i;
}

void TestLinkSource::everyItemServesItsText() {
    QFETCH(int, label);
    const QString name = LabelModel::name(labelAt(label));
    const QString text = QStringLiteral("text of ") + name;
    labels_->set(labelAt(label), text);
    const QDBusMessage request = client_->topic(QStringLiteral("Request"), {name});
    QCOMPARE(request.type(), QDBusMessage::ReplyMessage);
    QCOMPARE(request.signature(), QStringLiteral("s"));
    QCOMPARE(request.arguments().value(0).toString(), text);
    QCOMPARE(client_->get(name).toString(), text);
    QCOMPARE(client_->properties(QStringLiteral("Get"), {QString(), name})
                 .arguments()
                 .value(0)
                 .value<QDBusVariant>()
                 .variant()
                 .toString(),
             text);
}

void TestLinkSource::unknownItemIsNamed() {
    const QDBusMessage reply = client_->topic(QStringLiteral("Request"), {QStringLiteral("B2")});
    QCOMPARE(reply.type(), QDBusMessage::ErrorMessage);
    QCOMPARE(reply.errorName(), QString::fromLatin1(kUnknownItemError));
    QVERIFY2(reply.errorMessage().contains(QStringLiteral("B2")), qPrintable(reply.errorMessage()));
    // Property names are case-sensitive like the labels.
    QCOMPARE(client_->topic(QStringLiteral("Request"), {QStringLiteral("a")}).errorName(),
             QString::fromLatin1(kUnknownItemError));
}

void TestLinkSource::writingIsRefused_data() {
    QTest::addColumn<QString>("interface");
    QTest::addColumn<QString>("property");
    QTest::addColumn<QString>("error");
    const QString readOnly = QStringLiteral("org.freedesktop.DBus.Error.PropertyReadOnly");
    QTest::newRow("A") << busInterface() << "A" << readOnly;
    QTest::newRow("lblEEPROM") << busInterface() << "lblEEPROM" << readOnly;
    QTest::newRow("Simulated") << busInterface() << "Simulated" << readOnly;
    QTest::newRow("no interface") << QString() << "WL" << readOnly;
    QTest::newRow("unknown") << busInterface() << "B2"
                             << "org.freedesktop.DBus.Error.UnknownProperty";
    QTest::newRow("other interface") << "org.example.Other"
                                     << "A"
                                     << "org.freedesktop.DBus.Error.UnknownInterface";
}

void TestLinkSource::writingIsRefused() {
    QFETCH(QString, interface);
    QFETCH(QString, property);
    QFETCH(QString, error);
    const QDBusMessage reply = client_->properties(
        QStringLiteral("Set"),
        {interface, property, QVariant::fromValue(QDBusVariant(QStringLiteral("9.999")))});
    QCOMPARE(reply.type(), QDBusMessage::ErrorMessage);
    QCOMPARE(reply.errorName(), error);
    QCOMPARE(labels_->text(Label::A), QStringLiteral("Zeroing"));
    QCOMPARE(client_->get(QStringLiteral("A")).toString(), QStringLiteral("Zeroing"));
}

void TestLinkSource::malformedCallsGetErrors_data() {
    QTest::addColumn<QString>("interface");
    QTest::addColumn<QString>("member");
    QTest::addColumn<QVariantList>("args");
    QTest::addColumn<QString>("error");
    const QString invalid = QStringLiteral("org.freedesktop.DBus.Error.InvalidArgs");
    QTest::newRow("Request without item")
        << busInterface() << "Request" << QVariantList{} << invalid;
    QTest::newRow("Request with a number")
        << busInterface() << "Request" << QVariantList{7} << invalid;
    QTest::newRow("Items with an argument")
        << busInterface() << "Items" << QVariantList{"A"} << invalid;
    QTest::newRow("Get with one argument") << kProps << "Get" << QVariantList{"A"} << invalid;
    QTest::newRow("Get unknown") << kProps << "Get" << QVariantList{busInterface(), "B2"}
                                 << "org.freedesktop.DBus.Error.UnknownProperty";
    QTest::newRow("Get other interface")
        << kProps << "Get" << QVariantList{"org.example.Other", "A"}
        << "org.freedesktop.DBus.Error.UnknownInterface";
    QTest::newRow("GetAll other interface")
        << kProps << "GetAll" << QVariantList{"org.example.Other"}
        << "org.freedesktop.DBus.Error.UnknownInterface";
    QTest::newRow("no execute") << busInterface() << "Execute" << QVariantList{"zero"}
                                << "org.freedesktop.DBus.Error.UnknownMethod";
    QTest::newRow("other interface")
        << "org.example.Other"
        << "Request" << QVariantList{"A"} << "org.freedesktop.DBus.Error.UnknownInterface";
}

void TestLinkSource::malformedCallsGetErrors() {
    QFETCH(QString, interface);
    QFETCH(QString, member);
    QFETCH(QVariantList, args);
    QFETCH(QString, error);
    const QDBusMessage reply = client_->call(interface, member, args);
    QCOMPARE(reply.type(), QDBusMessage::ErrorMessage);
    QCOMPARE(reply.errorName(), error);
    // The source goes on answering.
    QCOMPARE(client_->topic(QStringLiteral("Request"), {QStringLiteral("A")}).type(),
             QDBusMessage::ReplyMessage);
}

void TestLinkSource::simulatedProperty() {
    QVERIFY(client_->link());
    source_->setSimulated(true);
    QVERIFY(client_->waitForChange());
    QCOMPARE(client_->changes.size(), 1);
    QCOMPARE(client_->changes.first(), (QVariantMap{{QStringLiteral("Simulated"), true}}));
    const QVariant value = client_->get(QStringLiteral("Simulated"));
    QCOMPARE(value.typeId(), QMetaType::Bool);
    QCOMPARE(value.toBool(), true);
}

void TestLinkSource::headRecordBytesSurvive() {
    // A head record may hold any byte, one character each; replies and links must stay sound.
    QString record;
    for (int b = 0; b < 256; ++b)
        record += QChar(char16_t(b));
    record += QChar(0xDC00); // and a text that is not even valid UTF-16
    QVERIFY(client_->link());
    labels_->set(Label::lblEEPROM, record);
    QVERIFY(client_->waitForChange());
    const QString linked = client_->changes.last().value(QStringLiteral("lblEEPROM")).toString();
    QCOMPARE(fromLinkText(linked), record);

    const QDBusMessage request =
        client_->topic(QStringLiteral("Request"), {QStringLiteral("lblEEPROM")});
    QCOMPARE(request.type(), QDBusMessage::ReplyMessage);
    QCOMPARE(fromLinkText(request.arguments().value(0).toString()), record);
    QCOMPARE(fromLinkText(client_->get(QStringLiteral("lblEEPROM")).toString()), record);
    const QVariantMap all = qdbus_cast<QVariantMap>(
        client_->properties(QStringLiteral("GetAll"), {busInterface()}).arguments().value(0));
    QCOMPARE(fromLinkText(all.value(QStringLiteral("lblEEPROM")).toString()), record);
}

void TestLinkSource::oneSignalPerEventLoopReturn() {
    QVERIFY(client_->link());
    // One reading: thousands of conversions, then the absorbance, all in one handler.
    for (int i = 0; i < 5000; ++i)
        labels_->set(Label::lblADC, QString::number(2000 + i % 7));
    labels_->set(Label::lblADC, QStringLiteral("2047"));
    labels_->set(Label::A, QStringLiteral(" 0.123"));
    QVERIFY(client_->waitForChange());
    barrier(QStringLiteral("barrier"));
    QCOMPARE(client_->changes.size(), 2); // the reading, then the barrier
    const QVariantMap reading = client_->changes.first();
    QCOMPARE(reading.value(QStringLiteral("A")).toString(), QStringLiteral(" 0.123"));
    QCOMPARE(reading.value(QStringLiteral("lblADC")).toString(), QStringLiteral("2047"));
    QCOMPARE(reading.size(), 2);
}

void TestLinkSource::earlyFlushStillGivesOneSignal() {
    QVERIFY(client_->link());
    labels_->set(Label::lblVolt, QStringLiteral("1.0000"));
    labels_->flush(); // someone delivers early, as before a modal box
    labels_->set(Label::A, QStringLiteral(" 0.500"));
    labels_->flush();
    labels_->set(Label::A, QStringLiteral(" 0.501"));
    QVERIFY(client_->waitForChange());
    barrier(QStringLiteral("after"));
    QCOMPARE(client_->changes.size(), 2);
    QCOMPARE(client_->changes.first(),
             (QVariantMap{{QStringLiteral("lblVolt"), QStringLiteral("1.0000")},
                          {QStringLiteral("A"), QStringLiteral(" 0.501")}}));
}

void TestLinkSource::everyReadingIsSent() {
    // Two readings with the same result are two readings: a linked client hears both.
    QVERIFY(client_->link());
    labels_->set(Label::A, QStringLiteral(" 0.123"));
    QVERIFY(client_->waitForChange());
    labels_->set(Label::A, QStringLiteral(" 0.123"));
    QVERIFY(client_->waitForChange());
    QCOMPARE(client_->changes.size(), 2);
    for (const QVariantMap& change : client_->changes)
        QCOMPARE(change, (QVariantMap{{QStringLiteral("A"), QStringLiteral(" 0.123")}}));
}

void TestLinkSource::nothingWhenNothingWritten() {
    QVERIFY(client_->link());
    // Requests read; they never make a link fire.
    for (int i = 0; i < 3; ++i)
        QCOMPARE(client_->topic(QStringLiteral("Request"), {QStringLiteral("A")}).type(),
                 QDBusMessage::ReplyMessage);
    barrier(QStringLiteral("only"));
    QCOMPARE(client_->changes.size(), 1);
}

void TestLinkSource::introspectionDescribesTheTopic() {
    const QDBusMessage reply = client_->call(QStringLiteral("org.freedesktop.DBus.Introspectable"),
                                             QStringLiteral("Introspect"));
    QCOMPARE(reply.type(), QDBusMessage::ReplyMessage);
    QXmlStreamReader xml(reply.arguments().value(0).toString());
    QString iface;
    QMap<QString, QString> properties; // name -> type/access
    QStringList methods, interfaces;
    while (!xml.atEnd()) {
        if (xml.readNext() != QXmlStreamReader::StartElement)
            continue;
        const auto a = xml.attributes();
        if (xml.name() == QLatin1String("interface")) {
            iface = a.value(QLatin1String("name")).toString();
            interfaces << iface;
        } else if (xml.name() == QLatin1String("property") && iface == busInterface()) {
            properties.insert(a.value(QLatin1String("name")).toString(),
                              a.value(QLatin1String("type")).toString() + u'/' +
                                  a.value(QLatin1String("access")).toString());
        } else if (xml.name() == QLatin1String("method") && iface == busInterface()) {
            methods << a.value(QLatin1String("name")).toString();
        }
    }
    QVERIFY2(!xml.hasError(), qPrintable(xml.errorString()));
    QVERIFY(interfaces.contains(busInterface()));
    QVERIFY(interfaces.contains(kProps));
    QCOMPARE(interfaces.count(busInterface()), 1);
    QCOMPARE(methods, (QStringList{QStringLiteral("Request"), QStringLiteral("Items")}));
    QCOMPARE(properties.size(), kLabelCount + 1);
    for (int i = 0; i < kLabelCount; ++i)
        QCOMPARE(properties.value(LabelModel::name(labelAt(i))), QStringLiteral("s/read"));
    QCOMPARE(properties.value(QStringLiteral("Simulated")), QStringLiteral("b/read"));
}

QTEST_GUILESS_MAIN(TestLinkSource)
#include "moc_BusProbe.cpp"
#include "test_linksource.moc"
