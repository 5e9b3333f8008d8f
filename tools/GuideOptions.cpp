#include "GuideOptions.h"

#include "GuideFailure.h"
#include "GuidePages.h"

#include <QFont>
#include <QFontMetricsF>
#include <QList>
#include <QProcess>
#include <QRegularExpression>
#include <QStringList>

#include <utility>

namespace {

constexpr int HelpTimeoutMs = 10000;
// The options' table: its first column's share of the page's text, the padding of its cells
// ("td { padding: 2px; }") and the size of the guide's text ("body { font-size: 10pt; }").
constexpr int NameColumnPercent = 34;
constexpr double CellPadding = 2;
constexpr double TextPoints = 10;

using TRows = QList<std::pair<QString, QString>>;

QString Run(const QString& program, const QStringList& arguments) {
    QProcess process;
    process.start(program, arguments);
    if (!process.waitForFinished(HelpTimeoutMs) || process.exitCode() != 0)
        Fail(program + " " + arguments.join(' ') + " did not run");
    return QString::fromLocal8Bit(process.readAllStandardOutput());
}

// Lines of help that name an option in a first column and tell of it in a second, the second column
// going on in lines that begin with blanks.
TRows Rows(const QString& text) {
    TRows rows;
    const QRegularExpression columns("^(\\S(?:.*?\\S)?)(?:\\s{2,}(.*))?$");
    for (const QString& line : text.split('\n')) {
        const QString trimmed = line.trimmed();
        if (trimmed.isEmpty())
            continue;
        const QRegularExpressionMatch row = columns.match(line.mid(2));
        if (line.startsWith("  ") && !line.startsWith("   ") && row.hasMatch())
            rows.append({row.captured(1), row.captured(2)});
        else if (!rows.isEmpty())
            rows.back().second += ' ' + trimmed;
    }
    return rows;
}

// Whether an option's name fits the table's first column on the guide's page, in the fixed-width font of
// the guide's text.
bool FitsNameColumn(const QString& name) {
    QFont fixed(QStringList{"Courier New", "courier"});
    fixed.setStyleHint(QFont::TypeWriter);
    fixed.setFixedPitch(true);
    fixed.setPointSizeF(TextPoints);
    const double column = (PageWidth - 2 * PageMargin) * NameColumnPercent / 100 - 2 * CellPadding;
    return QFontMetricsF(fixed).horizontalAdvance(name) <= column;
}

// The options as a table whose second column wraps; a name longer than its column has a row of its
// own, its description below it, so that neither runs over the other.
QString Table(const TRows& rows) {
    QString html = "<table cellspacing=\"0\">";
    const QString nameCell = QString("<td width=\"%1%\"").arg(NameColumnPercent);
    for (const auto& [name, what] : rows) {
        const QString shownName = "<tt>" + name.toHtmlEscaped() + "</tt>";
        if (FitsNameColumn(name))
            html += "<tr>" + nameCell + ">" + shownName + "</td><td>" + what.toHtmlEscaped() + "</td></tr>";
        else
            html += "<tr><td colspan=\"2\">" + shownName + "</td></tr><tr>" + nameCell + "></td><td>" +
                    what.toHtmlEscaped() + "</td></tr>";
    }
    return html + "</table>";
}

// The global options of quorvel-cli's help.
TRows GlobalOptions(const QString& programs) {
    const QString help = Run(programs + "/quorvel-cli", {"--help"});
    const qsizetype global = help.indexOf("global options:");
    const qsizetype status = help.indexOf("Exit status:");
    if (global < 0 || status < global)
        Fail("quorvel-cli --help no longer has its global options and exit status");
    return Rows(help.mid(global, status - global).section('\n', 1));
}

} // namespace

QString WithOptionTables(const QString& html, const QString& programs) {
    const QRegularExpression mark("<!--OPTIONS((?: --?[a-z-]+)+)\\s*-->");
    QString result = html;
    TRows options;
    for (QRegularExpressionMatch found = mark.match(result); found.hasMatch(); found = mark.match(result)) {
        if (options.isEmpty())
            options = GlobalOptions(programs);
        TRows chosen;
        for (const QString& name : found.captured(1).split(' ', Qt::SkipEmptyParts)) {
            const qsizetype before = chosen.size();
            for (const auto& row : options)
                if (row.first == name || row.first.startsWith(name + ' ') || row.first.startsWith(name + ','))
                    chosen.append(row);
            if (chosen.size() == before)
                Fail("quorvel-cli --help has no global option " + name + ", which the guide names");
        }
        result.replace(found.capturedStart(), found.capturedLength(), Table(chosen));
    }
    return result;
}
