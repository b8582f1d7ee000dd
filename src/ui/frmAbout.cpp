#include "ui/frmAbout.h"

#include "core/Messages.h"
#include "ui/TwipsGeometry.h"

#include <QIcon>
#include <QLabel>
#include <QPainter>
#include <QPushButton>

namespace qvr {

namespace {
const QString kIconResource = QStringLiteral(":/qvr100/qvr100.xpm");

QLabel* label(QWidget* parent, const char* name, int textId, int left, int top, int width,
              int height) {
    auto* l = new QLabel(text(textId), parent);
    l->setObjectName(QLatin1String(name));
    l->setTextFormat(Qt::PlainText);
    l->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    l->setWordWrap(true);
    QPalette black = l->palette();
    black.setColor(QPalette::WindowText, Qt::black);
    l->setPalette(black);
    setTwipsGeometry(l, left, top, width, height);
    return l;
}
} // namespace

QIcon programIcon() {
    return QIcon(kIconResource);
}

frmAbout::frmAbout(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowCloseButtonHint) {
    setObjectName(QStringLiteral("frmAbout"));
    setFont(formFont());
    setAttribute(Qt::WA_DeleteOnClose);
    setModal(false);
    setFixedSize(twipsSize(this, 5730, 3555));

    auto* picIcon = new QLabel(this);
    picIcon->setObjectName(QStringLiteral("picIcon"));
    picIcon->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    picIcon->setPixmap(QPixmap(kIconResource));
    setTwipsGeometry(picIcon, 240, 240, 540, 540);

    // Form_Load, in its order: title, product, version, description, notice, button.
    setWindowTitle(text(400));
    QLabel* title = label(this, "lblTitle", 401, 1050, 240, 3885, 480);
    QFont bigger = title->font();
    bigger.setPointSizeF(bigger.pointSizeF() * 1.25);
    bigger.setBold(true);
    title->setFont(bigger);
    label(this, "lblVersion", 402, 1050, 780, 3885, 225);
    label(this, "lblDescription", 403, 1050, 1125, 3885, 1170);
    label(this, "lblDisclaimer", 404, 255, 2625, 3870, 825);
    auto* cmdOK = new QPushButton(text(405), this);
    cmdOK->setObjectName(QStringLiteral("cmdOK"));
    setTwipsGeometry(cmdOK, 4245, 2625, 1260, 345);
    cmdOK->setDefault(true);
    // Closing (not hiding) deletes the box; Esc reaches reject(), which closes it too.
    connect(cmdOK, &QPushButton::clicked, this, &QWidget::close);
    connect(this, &QDialog::rejected, this, &QWidget::close);
    cmdOK->setFocus();
}

void frmAbout::paintEvent(QPaintEvent* event) {
    QDialog::paintEvent(event);
    // Line1: an etched rule, a grey line with a white one two pixels wide just under it.
    QPainter p(this);
    const QScreen* s = screen();
    const auto px = [s](int twips) { return twipsToPixels(twips, s); };
    p.setPen(QPen(QColor(128, 128, 128), 1));
    p.drawLine(px(90), px(2445), px(5654), px(2445));
    p.setPen(QPen(Qt::white, 2));
    p.drawLine(px(105), px(2460) + 1, px(5654), px(2460) + 1);
}

} // namespace qvr
