// The README pictures: the program that draws them runs headless and writes every one.

#include <QDir>
#include <QImage>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

class TestScreenshots : public QObject {
    Q_OBJECT
private slots:
    void drawsEveryPicture();
};

void TestScreenshots::drawsEveryPicture() {
    QTemporaryDir out;
    QProcess p;
    p.start(QStringLiteral(QVR100_BIN_DIR "/qvr100screenshots"), {out.path()});
    QVERIFY(p.waitForFinished(120000));
    QCOMPARE(p.exitStatus(), QProcess::NormalExit);
    QVERIFY2(p.exitCode() == 0, p.readAllStandardError().constData());
    for (const char* name :
         {"main-window.png", "zero-waits-for-film.png", "diagnostics-panel.png",
          "diagnostics-tooltip.png", "large-display.png", "simulator-window.png",
          "board-dialog.png", "filter-check.png", "about-box.png", "user-guide.png"}) {
        const QImage image(QDir(out.path()).filePath(QLatin1String(name)));
        QVERIFY2(!image.isNull(), name);
        QVERIFY(image.width() > 100 && image.height() > 40);
    }
}

QTEST_GUILESS_MAIN(TestScreenshots)
#include "test_screenshots.moc"
