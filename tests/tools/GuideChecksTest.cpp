// The guide maker's checks of its pages and pictures: a text that leaves its page or a picture that
// shows a temporary path fails the guide with its page and its text.
#include "GuideChecks.h"
#include "GuidePages.h"

#include <QDir>
#include <QImage>
#include <QLabel>
#include <QTextDocument>
#include <QTreeWidget>
#include <QUrl>
#include <QVBoxLayout>
#include <QWidget>

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>

namespace {

// A document laid out on the guide's pages.
void LayOut(QTextDocument& document, const QString& html) {
    document.setDocumentMargin(PageMargin);
    document.setPageSize(QSizeF(PageWidth, PageHeight));
    SetGuide(document, html);
}

// The message the check ends the maker with, or an empty one.
template <typename Check> std::string Failure(Check check) {
    try {
        check();
    } catch (const std::runtime_error& e) {
        return e.what();
    }
    return {};
}

} // namespace

TEST(GuidePages, ATextThatLeavesItsPageFailsTheGuideWithItsPageAndText) {
    QTextDocument fitting;
    QString pages;
    for (int i = 0; i < 120; ++i)
        pages +=
            QString("<p>Paragraph %1 of a guide that runs over several pages, as the guide does.</p>").arg(i);
    LayOut(fitting, "<h1>Guide</h1>" + pages);
    ASSERT_GT(fitting.pageCount(), 2);
    EXPECT_EQ(Failure([&] { CheckPagesHoldTheirText(fitting); }), "") << "text within its pages passes";

    QTextDocument wide;
    LayOut(wide, "<p>The first page.</p><p style=\"page-break-before: always; white-space: pre\">"
                 "quorvel-cli --port COM10,COM11,COM12,COM13,COM14,COM15,COM16 --yes --report run.csv "
                 "station run /srv/handsets/office --only-listed</p>");
    const std::string wideFailure = Failure([&] { CheckPagesHoldTheirText(wide); });
    EXPECT_NE(wideFailure.find("page 2: the text \"quorvel-cli --port COM10"), std::string::npos)
        << wideFailure;
    EXPECT_NE(wideFailure.find("goes beyond the page's margins"), std::string::npos) << wideFailure;

    // A line taller than what is left of any page is cut at its foot.
    QTextDocument tall;
    QImage picture(200, int(PageHeight), QImage::Format_RGB32);
    picture.fill(Qt::gray);
    tall.addResource(QTextDocument::ImageResource, QUrl("tall.png"), picture);
    LayOut(tall, "<p>Above the picture.</p><p><img src=\"tall.png\"> beside it</p>");
    const std::string tallFailure = Failure([&] { CheckPagesHoldTheirText(tall); });
    EXPECT_NE(tallFailure.find("is cut at the page's foot"), std::string::npos) << tallFailure;
    EXPECT_NE(tallFailure.find("beside it"), std::string::npos) << tallFailure;
}

TEST(GuidePictures, APictureThatShowsATemporaryPathFailsTheGuideWithItsPage) {
    QWidget window;
    auto* layout = new QVBoxLayout(&window);
    layout->addWidget(new QLabel("Template: office"));
    auto* table = new QTreeWidget;
    table->setHeaderLabels({"Port", "Message"});
    auto* row = new QTreeWidgetItem(table);
    row->setText(0, "COM10");
    row->setText(1, "done");
    layout->addWidget(table);
    const QString html =
        "<p>The first page.</p><p style=\"page-break-before: always\"><img src=\"Window.png\"></p>";
    QTextDocument document;
    document.addResource(QTextDocument::ImageResource, QUrl("Window.png"), window.grab().toImage());
    LayOut(document, html);

    EXPECT_EQ(Failure([&] {
                  CheckPicturesShowNoTemporaryPath(document, {{"Window.png", ShownTexts(window)}});
              }),
              "")
        << "a window that shows no temporary path passes";

    const QString temporary = QDir::tempPath() + "/guide-x1y2/office";
    row->setText(1, "The template " + temporary + " was checked.");
    const std::string failure = Failure([&] {
        CheckPicturesShowNoTemporaryPath(document, {{"Window.png", ShownTexts(window)}});
    });
    EXPECT_NE(
        failure.find("page 2: the picture Window.png shows the temporary path " + temporary.toStdString()),
        std::string::npos)
        << failure;

    row->setText(1, "kept in /tmp/backups/x.sdl");
    EXPECT_NE(Failure([&] {
                  CheckPicturesShowNoTemporaryPath(document, {{"Window.png", ShownTexts(window)}});
              }).find("/tmp/backups/x.sdl"),
              std::string::npos)
        << "a path under /tmp is temporary whatever the run's temporary folder is";
}
