#include "GuideChecks.h"

#include "GuideFailure.h"
#include "GuidePages.h"

#include <QAbstractButton>
#include <QAbstractItemModel>
#include <QAbstractItemView>
#include <QAbstractTextDocumentLayout>
#include <QComboBox>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QTextBlock>
#include <QTextDocument>
#include <QTextFragment>
#include <QTextLayout>
#include <QWidget>

#include <cmath>

namespace {

// Room for rounding in the layout's figures.
constexpr double Slack = 0.5;
// The longest piece of a line a message quotes.
constexpr qsizetype QuotedLength = 80;

void AddModelTexts(const QAbstractItemModel& model, const QModelIndex& parent, QStringList& texts) {
    for (int row = 0; row < model.rowCount(parent); ++row)
        for (int column = 0; column < model.columnCount(parent); ++column) {
            const QModelIndex cell = model.index(row, column, parent);
            texts << model.data(cell).toString();
            if (column == 0)
                AddModelTexts(model, cell, texts);
        }
    for (int column = 0; column < model.columnCount(parent); ++column)
        texts << model.headerData(column, Qt::Horizontal).toString();
}

int PageOf(double y) {
    return int(std::floor(y / PageHeight));
}

// The text of a line as a message quotes it; a picture stands in the text as one character.
QString Quoted(const QString& text) {
    QString shown = text.simplified();
    shown.replace(QChar::ObjectReplacementCharacter, "[picture]");
    if (shown.size() > QuotedLength)
        shown = shown.left(QuotedLength) + "...";
    return "\"" + shown + "\"";
}

// The temporary path a text holds, or an empty string.
QString TemporaryPathIn(const QString& text) {
    const QString temporary = QDir::tempPath();
    for (const QString& path : {temporary + "/", QString("/tmp/")})
        if (const qsizetype at = text.indexOf(path); at >= 0)
            return text.mid(at).section(' ', 0, 0);
    return {};
}

} // namespace

QStringList ShownTexts(const QWidget& window) {
    QStringList texts{window.windowTitle()};
    for (const QWidget* widget : window.findChildren<QWidget*>()) {
        if (!widget->isVisibleTo(&window))
            continue;
        if (const auto* label = qobject_cast<const QLabel*>(widget))
            texts << label->text();
        else if (const auto* edit = qobject_cast<const QLineEdit*>(widget))
            texts << edit->text();
        else if (const auto* button = qobject_cast<const QAbstractButton*>(widget))
            texts << button->text();
        else if (const auto* box = qobject_cast<const QComboBox*>(widget))
            texts << box->currentText();
        else if (const auto* view = qobject_cast<const QAbstractItemView*>(widget); view && view->model())
            AddModelTexts(*view->model(), view->rootIndex(), texts);
    }
    texts.removeAll(QString());
    return texts;
}

void CheckPagesHoldTheirText(const QTextDocument& document) {
    const QAbstractTextDocumentLayout* layout = document.documentLayout();
    for (QTextBlock block = document.begin(); block.isValid(); block = block.next()) {
        const QTextLayout* lines = block.layout();
        if (!lines)
            continue;
        // The block's lines lie below its origin; a line the layout moved to the next page lies there.
        const QPointF origin = layout->blockBoundingRect(block).topLeft();
        for (int i = 0; i < lines->lineCount(); ++i) {
            const QTextLine line = lines->lineAt(i);
            const QRectF drawn = line.naturalTextRect().translated(origin);
            const int page = PageOf(drawn.top());
            const double top = page * PageHeight;
            const QString text = Quoted(block.text().mid(line.textStart(), line.textLength()));
            if (drawn.left() < PageMargin - Slack || drawn.right() > PageWidth - PageMargin + Slack)
                Fail(QString("page %1: the text %2 goes beyond the page's margins").arg(page + 1).arg(text));
            if (drawn.top() < top + PageMargin - Slack)
                Fail(QString("page %1: the text %2 is drawn in the page's top margin")
                         .arg(page + 1)
                         .arg(text));
            if (drawn.bottom() > top + PageHeight - PageMargin + Slack)
                Fail(QString("page %1: the text %2 is cut at the page's foot").arg(page + 1).arg(text));
        }
    }
}

void CheckPicturesShowNoTemporaryPath(const QTextDocument& document, const TPictureTexts& pictures) {
    const QAbstractTextDocumentLayout* layout = document.documentLayout();
    for (QTextBlock block = document.begin(); block.isValid(); block = block.next())
        for (auto fragment = block.begin(); !fragment.atEnd(); ++fragment) {
            const QTextCharFormat format = fragment.fragment().charFormat();
            if (!format.isImageFormat())
                continue;
            const QString name = format.toImageFormat().name();
            const auto shown = pictures.find(name);
            if (shown == pictures.end())
                continue;
            const QTextLine line =
                block.layout()->lineForTextPosition(fragment.fragment().position() - block.position());
            const double top = layout->blockBoundingRect(block).top() + (line.isValid() ? line.y() : 0);
            for (const QString& text : shown->second)
                if (const QString path = TemporaryPathIn(text); !path.isEmpty())
                    Fail(QString("page %1: the picture %2 shows the temporary path %3 in %4")
                             .arg(PageOf(top) + 1)
                             .arg(name, path, Quoted(text)));
        }
}
