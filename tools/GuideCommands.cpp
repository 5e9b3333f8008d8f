#include "GuideCommands.h"

#include "GuideFailure.h"

#include <QList>
#include <QProcess>
#include <QRegularExpression>
#include <QStringList>

#include <algorithm>
#include <utility>

namespace {

constexpr int HelpTimeoutMs = 10000;

QString Run(const QString& program, const QStringList& arguments) {
    QProcess process;
    process.start(program, arguments);
    if (!process.waitForFinished(HelpTimeoutMs) || process.exitCode() != 0)
        Fail(program + " " + arguments.join(' ') + " did not run");
    return QString::fromLocal8Bit(process.readAllStandardOutput());
}

// Lines of help as a block of fixed-width text, without the indent they share.
QString Pre(const QString& text) {
    QStringList lines = text.split('\n');
    while (!lines.isEmpty() && lines.back().trimmed().isEmpty())
        lines.removeLast();
    qsizetype indent = -1;
    for (const QString& line : lines)
        if (!line.trimmed().isEmpty()) {
            const qsizetype blanks = line.indexOf(QRegularExpression("\\S"));
            indent = indent < 0 ? blanks : std::min(indent, blanks);
        }
    for (QString& line : lines)
        line = line.mid(std::max<qsizetype>(indent, 0));
    return "<pre>" + lines.join('\n').toHtmlEscaped() + "</pre>";
}

// Lines of help that name an option or command in a first column and tell of it in a second, the
// second column going on in lines that begin with blanks, as a table whose second column wraps.
QString Table(const QString& text) {
    QList<std::pair<QString, QString>> rows;
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
    QString html = "<table cellspacing=\"0\">";
    for (const auto& [name, what] : rows)
        html += "<tr><td width=\"34%\"><tt>" + name.toHtmlEscaped() + "</tt></td><td>" +
                what.toHtmlEscaped() + "</td></tr>";
    return html + "</table>";
}

// One command's help without what every command's help repeats (the global options and the exit
// status, which the chapter gives once): its usage, what it does, its options and its example.
QString CommandHtml(const QString& help) {
    QString html;
    for (const QString& part : help.split(QRegularExpression("\n\\s*\n"), Qt::SkipEmptyParts)) {
        const QString text = part.trimmed();
        if (text.startsWith("global options:") || text.startsWith("Exit status:"))
            continue;
        if (text.startsWith("usage: "))
            html += Pre(text.mid(7));
        else if (text.startsWith("options:"))
            html += "<p class=\"label\">options</p>" + Table(part.section('\n', 1));
        else if (text.startsWith("example:") || text.startsWith("examples:"))
            html += "<p class=\"label\">" + text.section('\n', 0, 0).chopped(1).toHtmlEscaped() + "</p>" +
                    Pre(text.section('\n', 1));
        else
            html += "<p>" + text.simplified().toHtmlEscaped() + "</p>";
    }
    return html;
}

} // namespace

QString CommandsHtml(const QString& programs) {
    const QString cli = programs + "/quorvel-cli";
    const QString help = Run(cli, {"--help"});
    const qsizetype list = help.indexOf("commands:");
    const qsizetype global = help.indexOf("global options:");
    const qsizetype status = help.indexOf("Exit status:");
    if (list < 0 || global < list || status < global)
        Fail("quorvel-cli --help no longer has its commands, global options and exit status");
    QString html = "<h3>All commands</h3>" + Table(help.mid(list, global - list).section('\n', 1));
    html += "<h3>Global options</h3><p>They go before the command and work with every command.</p>" +
            Table(help.mid(global, status - global).section('\n', 1));
    html += "<h3>Exit status</h3><p>" +
            help.mid(status)
                .section("\n\n", 0, 0)
                .mid(QString("Exit status:").size())
                .simplified()
                .toHtmlEscaped() +
            "</p>";
    const QRegularExpression command(R"(^  ([a-z][a-z-]*(?: [a-z][a-z-]*)?)  )",
                                     QRegularExpression::MultilineOption);
    for (auto it = command.globalMatch(help.left(global), list); it.hasNext();) {
        const QString name = it.next().captured(1);
        html += "<h4>quorvel-cli " + name + "</h4>" + CommandHtml(Run(cli, name.split(' ') << "--help"));
    }
    return html;
}
