// Folders are layers: a file may include its own folder and the folders below it, nothing
// above. Every folder of src/ must be placed here, so a new one is placed when it is made.

#include <QDirIterator>
#include <QFile>
#include <QMap>
#include <QRegularExpression>
#include <QTest>

namespace {

// Each folder with the folders its files may include (its own always included).
const QMap<QString, QStringList> kLayers = {
    {"core", {}},
    {"daq", {"core"}},
    {"daq/comedi", {"core"}},
    {"daq/sim", {"core"}},
    {"head", {"core", "daq"}},
    {"measure", {"core", "daq", "head"}},
    {"reader", {"core", "daq", "head", "measure"}},
    {"ui", {"core", "daq", "head", "measure", "reader", "link/text"}},
    {"link/text", {}},
    {"link/ctl", {"link/text"}},
    {"link", {"core", "link/text"}},
    {"app", {"core", "daq", "head", "measure", "reader", "ui", "link", "link/text"}},
    {"dose/core", {"core"}},
    {"dose/store", {"core", "dose/core"}},
    {"dose/link", {"core", "link/text", "dose/core"}},
    {"dose/auth", {"dose/core"}},
    {"dose/usecases", {"core", "link/text", "dose/core", "dose/store", "dose/link", "dose/auth"}},
    {"dose/cli",
     {"core", "link/text", "dose/core", "dose/store", "dose/link", "dose/auth", "dose/usecases"}},
    {"dose/ui",
     {"core", "link/text", "dose/core", "dose/store", "dose/link", "dose/auth", "dose/usecases"}},
    {"dose/app",
     {"core", "link/text", "dose/core", "dose/store", "dose/link", "dose/auth", "dose/usecases",
      "dose/cli", "dose/ui"}},
};

// The deepest placed folder that holds path (a path relative to src/).
QString layerOf(const QString& path) {
    QString best;
    for (auto it = kLayers.keyBegin(); it != kLayers.keyEnd(); ++it)
        if (path.startsWith(*it + '/') && it->size() > best.size())
            best = *it;
    return best;
}

// The folders under daq/ are one layer with daq itself.
QString groupOf(const QString& layer) {
    return layer.startsWith(QLatin1String("daq")) ? QStringLiteral("daq") : layer;
}

} // namespace

class TestLayers : public QObject {
    Q_OBJECT

private slots:
    void includesRunDownward() {
        const QString src = QStringLiteral(QVR100_SOURCE_DIR "/src/");
        const QRegularExpression include(QStringLiteral("^\\s*#\\s*include\\s+\"([^\"]+)\""));
        QStringList faults;
        int files = 0;
        QDirIterator it(src, {"*.h", "*.cpp"}, QDir::Files, QDirIterator::Subdirectories);
        while (it.hasNext()) {
            const QString path = it.next().mid(src.size());
            ++files;
            const QString from = layerOf(path);
            if (from.isEmpty()) {
                faults << path + ": folder not placed in the layer order";
                continue;
            }
            QFile file(it.filePath());
            QVERIFY(file.open(QIODevice::ReadOnly));
            int lineNo = 0;
            while (!file.atEnd()) {
                const QString line = QString::fromUtf8(file.readLine());
                ++lineNo;
                const auto m = include.match(line);
                if (!m.hasMatch() || !m.captured(1).contains('/'))
                    continue;
                const QString to = layerOf(m.captured(1));
                if (to.isEmpty() ||
                    !(groupOf(from) == groupOf(to) || kLayers[from].contains(groupOf(to))))
                    faults << QStringLiteral("%1:%2 (%3) includes %4")
                                  .arg(path)
                                  .arg(lineNo)
                                  .arg(from, m.captured(1));
            }
        }
        QVERIFY(files > 0);
        QVERIFY2(faults.isEmpty(), qPrintable(faults.join('\n')));
    }
};

QTEST_GUILESS_MAIN(TestLayers)
#include "test_layers.moc"
