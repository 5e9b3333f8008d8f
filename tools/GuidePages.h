#pragma once

#include <QRectF>
#include <QString>

class QFont;
class QPainter;
class QTextDocument;

// The page, A4 with margins of 2 cm, in the units the document is laid out in: pixels of 1/96 inch,
// the resolution the offscreen platform gives text and pictures.
constexpr double LayoutDpi = 96;
constexpr double PageWidth = 210 / 25.4 * LayoutDpi;
constexpr double PageHeight = 297 / 25.4 * LayoutDpi;
constexpr double PageMargin = 2 / 2.54 * LayoutDpi;
// The page's number at its foot: 8 points in the page's units.
constexpr int PageNumberPixels = 11;

// Where the page's number is drawn, in the middle of the bottom margin.
QRectF PageNumberRect(const QFont& font);

// Lays the guide out with headings kept to what follows them: one that would end a page begins the
// next instead. The renderer takes "page-break-before: always" but no "page-break-after: avoid", so
// the breaks are put into the guide's headings here, one at a time, each on a fresh layout, as each
// moves what comes after it.
void SetGuide(QTextDocument& document, const QString& html);

// Draws page index of the laid-out document, with its number at the foot, on a painter whose device
// is a page.
void DrawPage(QTextDocument& document, QPainter& painter, int index, int count);

// The laid-out document as a PDF of A4 pages; QUORVEL_GUIDE_PAGES=DIR keeps each page as page-NN.png too.
void Print(QTextDocument& document, const QString& output);
