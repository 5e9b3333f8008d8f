// The guide's pages as the maker draws them: the page's number at its foot is whole, in the PDF as on
// the screen.
#include "GuidePages.h"

#include <QImage>
#include <QPainter>
#include <QTextDocument>

#include <gtest/gtest.h>

namespace {

// The rows of the image that hold ink below the top of the page's bottom margin.
int InkedRowsOfFoot(const QImage& image) {
    const int footTop = int(image.height() * (PageHeight - PageMargin) / PageHeight);
    int first = -1, last = -1;
    for (int y = footTop; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            if (image.pixelColor(x, y) != Qt::white) {
                first = first < 0 ? y : first;
                last = y;
                break;
            }
    return first < 0 ? 0 : last - first + 1;
}

// Page one of a document laid out on the guide's pages, drawn at a resolution of dpi.
QImage PageAt(QTextDocument& document, double dpi) {
    const double scale = dpi / LayoutDpi;
    QImage image(int(PageWidth * scale), int(PageHeight * scale), QImage::Format_RGB32);
    image.setDotsPerMeterX(int(dpi / 0.0254));
    image.setDotsPerMeterY(int(dpi / 0.0254));
    image.fill(Qt::white);
    QPainter painter(&image);
    DrawPage(document, painter, 0, 1);
    painter.end();
    return image;
}

} // namespace

TEST(GuidePages, ThePageNumberIsWholeAtEveryResolution) {
    QTextDocument document;
    document.setDocumentMargin(PageMargin);
    document.setPageSize(QSizeF(PageWidth, PageHeight));
    SetGuide(document, "<p>A page.</p>");
    // The number's height is a share of the page, whether the page is drawn on the screen or in the PDF.
    const int onScreen = InkedRowsOfFoot(PageAt(document, LayoutDpi));
    const int inPdf = InkedRowsOfFoot(PageAt(document, 300));
    ASSERT_GT(onScreen, 0);
    const double expected = onScreen * 300 / LayoutDpi;
    EXPECT_NEAR(inPdf, expected, expected * 0.25) << "the number at 300 dpi against 96 dpi";
}
