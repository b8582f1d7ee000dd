#include "dose/ui/PdfReport.h"

#include "dose/core/OutputFile.h"

#include <QAbstractTextDocumentLayout>
#include <QBuffer>
#include <QPainter>
#include <QPdfWriter>
#include <QTextDocument>

namespace qvr::dose {

Outcome<int> writePdfReport(const JobReport& report, const QString& path) {
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
    doc.setHtml(report.html);
    const QRectF page = pdf.pageLayout().paintRectPixels(pdf.resolution());
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

} // namespace qvr::dose
