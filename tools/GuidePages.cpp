#include "GuidePages.h"

#include "GuideFailure.h"

#include <QAbstractTextDocumentLayout>
#include <QFont>
#include <QFontMetricsF>
#include <QImage>
#include <QList>
#include <QPageSize>
#include <QPainter>
#include <QPdfWriter>
#include <QRegularExpression>
#include <QTextBlock>
#include <QTextDocument>
#include <QTextLayout>

namespace {

constexpr int PdfResolution = 300;
// A heading closer than this to the foot of its page goes to the next page with what follows it.
constexpr double HeadingKeep = 1.2 * LayoutDpi;

// Which heading, counted from the first, would sit alone at the foot of a page (its text begins on
// the next, or too little room is left below it); -1 for none.
int HeadingAlone(const QTextDocument& document) {
    const QAbstractTextDocumentLayout* layout = document.documentLayout();
    int heading = -1;
    for (QTextBlock block = document.begin(); block.isValid(); block = block.next()) {
        if (block.blockFormat().headingLevel() == 0)
            continue;
        ++heading;
        const QTextBlock next = block.next();
        if (!next.isValid())
            continue;
        const double top = layout->blockBoundingRect(block).top();
        const QTextLayout* nextLines = next.layout();
        double nextEnd = layout->blockBoundingRect(next).top();
        if (nextLines && nextLines->lineCount() > 0)
            nextEnd += nextLines->lineAt(0).y() + nextLines->lineAt(0).height();
        const int page = int(top / PageHeight);
        const bool alone = int(nextEnd / PageHeight) != page || (page + 1) * PageHeight - top < HeadingKeep;
        if (alone && top - page * PageHeight > PageMargin + 1)
            return heading;
    }
    return -1;
}

} // namespace

QRectF PageNumberRect(const QFont& font) {
    const double height = QFontMetricsF(font).height();
    return QRectF(PageMargin, PageHeight - (PageMargin + height) / 2, PageWidth - 2 * PageMargin, height);
}

void SetGuide(QTextDocument& document, const QString& html) {
    const QRegularExpression headingTag("<h[1-6]");
    QList<int> breaks;
    for (;;) {
        QString broken = html;
        int heading = 0;
        qsizetype at = 0;
        for (auto it = headingTag.globalMatch(html); it.hasNext(); ++heading) {
            const QRegularExpressionMatch match = it.next();
            if (!breaks.contains(heading))
                continue;
            const QString style = " style=\"page-break-before: always\"";
            broken.insert(match.capturedEnd() + at, style);
            at += style.size();
        }
        document.setHtml(broken);
        const int alone = HeadingAlone(document);
        if (alone < 0 || breaks.contains(alone))
            return;
        breaks.append(alone);
    }
}

void DrawPage(QTextDocument& document, QPainter& painter, int index, int count) {
    const QRect device = painter.viewport();
    painter.save();
    painter.scale(device.width() / PageWidth, device.height() / PageHeight);
    painter.save();
    painter.translate(0, -index * PageHeight);
    QAbstractTextDocumentLayout::PaintContext context;
    context.clip = QRectF(0, index * PageHeight, PageWidth, PageHeight);
    painter.setClipRect(context.clip);
    document.documentLayout()->draw(&painter, context);
    painter.restore();
    // Sized in the page's own units, not in points: a point is resolved against the device, and at
    // the PDF's resolution the number grew taller than its line and was cut in half.
    QFont font = document.defaultFont();
    font.setPixelSize(PageNumberPixels);
    painter.setFont(font);
    painter.setPen(Qt::darkGray);
    painter.drawText(PageNumberRect(font), Qt::AlignRight | Qt::AlignVCenter,
                     QString("%1 / %2").arg(index + 1).arg(count));
    painter.restore();
}

void Print(QTextDocument& document, const QString& output) {
    const int count = document.pageCount();
    QPdfWriter writer(output);
    writer.setPageSize(QPageSize(QPageSize::A4));
    writer.setPageMargins(QMarginsF(0, 0, 0, 0));
    writer.setResolution(PdfResolution);
    writer.setTitle("Quorvel User Guide");
    writer.setCreator("Quorvel");
    QPainter painter(&writer);
    for (int page = 0; page < count; ++page) {
        if (page > 0)
            writer.newPage();
        DrawPage(document, painter, page, count);
    }
    if (!painter.end())
        Fail("cannot write " + output);

    if (const QString keep = qEnvironmentVariable("QUORVEL_GUIDE_PAGES"); !keep.isEmpty())
        for (int page = 0; page < count; ++page) {
            QImage image(int(PageWidth * 2), int(PageHeight * 2), QImage::Format_RGB32);
            image.fill(Qt::white);
            QPainter onImage(&image);
            DrawPage(document, onImage, page, count);
            onImage.end();
            const QString file = QString("%1/page-%2.png").arg(keep).arg(page + 1, 2, 10, QChar('0'));
            if (!image.save(file))
                Fail("cannot write " + file);
        }
}
