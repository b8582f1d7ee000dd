// The user guide as HTML for installing, rendered from its Markdown by Qt itself, the same
// rendering the program shows under Help.
//
//   qvr100mdhtml <guide.md> <guide.html>

#include <QFile>
#include <QGuiApplication>
#include <QSaveFile>
#include <QTextBlock>
#include <QTextDocument>
#include <cstdio>

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    if (argc != 3) {
        std::fprintf(stderr, "usage: qvr100mdhtml <guide.md> <guide.html>\n");
        return 2;
    }
    QFile in(QString::fromLocal8Bit(argv[1]));
    if (!in.open(QIODevice::ReadOnly)) {
        std::fprintf(stderr, "qvr100mdhtml: cannot read %s\n", argv[1]);
        return 1;
    }
    QTextDocument doc;
    doc.setMarkdown(QString::fromUtf8(in.readAll()));
    // A page title from the first heading, for the browser's tab.
    doc.setMetaInformation(QTextDocument::DocumentTitle, doc.firstBlock().text());
    QSaveFile out(QString::fromLocal8Bit(argv[2]));
    if (!out.open(QIODevice::WriteOnly) || out.write(doc.toHtml().toUtf8()) < 0 || !out.commit()) {
        std::fprintf(stderr, "qvr100mdhtml: cannot write %s\n", argv[2]);
        return 1;
    }
    return 0;
}
