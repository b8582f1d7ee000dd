#include "dose/ui/PdfReport.h"

#include "dose/core/OutputFile.h"
#include "dose/ui/HeatMapPainter.h"

#include <QAbstractTextDocumentLayout>
#include <QBuffer>
#include <QPainter>
#include <QPdfWriter>
#include <QTextDocument>

namespace qvr::dose {

namespace {

constexpr double kImageScale = 3; // image pixels per point of the page's 96 per inch

struct Document {
    QString id, title, html;
    std::vector<std::pair<QString, const MappingMap*>> maps;
};

Outcome<int> writePdf(const Document& report, const QString& path) {
    // Drawn in memory, then written whole or not at all, like every export.
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    QPdfWriter pdf(&buffer);
    pdf.setPageSize(QPageSize(QPageSize::A4));
    pdf.setPageMargins(QMarginsF(15, 15, 15, 20), QPageLayout::Millimeter);
    pdf.setTitle(report.title);
    pdf.setCreator(QStringLiteral("qvr100dose"));
    pdf.setResolution(300);

    QTextDocument doc;
    QFont font(QStringLiteral("Liberation Sans"));
    font.setPointSizeF(9);
    doc.setDefaultFont(font);
    const QRectF page = pdf.pageLayout().paintRectPixels(pdf.resolution());
    // The text's width in the 96-per-inch pixels of the document's images.
    const double width = page.width() * 96 / pdf.resolution();
    for (const auto& [name, map] : report.maps) {
        QImage image = heatMapsImage(*map, font, width, kImageScale);
        image.setDevicePixelRatio(kImageScale);
        doc.addResource(QTextDocument::ImageResource, QUrl(name), image);
    }
    doc.setHtml(report.html);
    const double footer = pdf.resolution() * 0.3; // room for the page line
    const QSizeF body(page.width(), page.height() - footer);
    doc.documentLayout()->setPaintDevice(&pdf);
    doc.setPageSize(body);
    const int pages = doc.pageCount();

    QPainter painter;
    if (!painter.begin(&pdf))
        return Failure{QStringLiteral("cannot write %1").arg(path)};
    painter.setFont(font);
    for (int p = 0; p < pages; ++p) {
        if (p > 0)
            pdf.newPage();
        painter.save();
        painter.translate(0, -p * body.height());
        const QRectF clip(0, p * body.height(), body.width(), body.height());
        QAbstractTextDocumentLayout::PaintContext context;
        context.clip = clip;
        painter.setClipRect(clip);
        doc.documentLayout()->draw(&painter, context);
        painter.restore();
        const QRectF line(0, body.height(), body.width(), footer);
        painter.drawText(line, Qt::AlignLeft | Qt::AlignBottom,
                         QStringLiteral("Report %1").arg(report.id));
        painter.drawText(
            line, Qt::AlignRight | Qt::AlignBottom,
            QStringLiteral("page %1 of %2").arg(QString::number(p + 1), QString::number(pages)));
    }
    if (!painter.end())
        return Failure{QStringLiteral("cannot finish %1").arg(path)};
    if (auto written = writeOutputFile(path, buffer.data()); !written)
        return Failure{written.error()};
    return pages;
}

} // namespace

Outcome<int> writePdfReport(const JobReport& report, const QString& path) {
    return writePdf({report.id, report.title, report.html, {}}, path);
}

Outcome<int> writePdfStudyReport(const StudyReport& report, const QString& path) {
    Document d{report.id, report.title, report.html, {}};
    for (std::size_t i = 0; i < report.maps.size(); ++i)
        d.maps.push_back({QStringLiteral("heatmap-%1").arg(i), &report.maps[i]});
    return writePdf(d, path);
}

} // namespace qvr::dose
