#include "cli/TemplateCommands.h"

#include "cli/Help.h"
#include "cli/JsonOutput.h"
#include "cli/Summary.h"
#include "core/ProvisionTemplate.h"
#include "platform/TextFormat.h"

#include <QJsonArray>

namespace {

// A template writes at most these four: phone book, speed dial, broadcast groups, profile.
constexpr size_t ProvisionKinds = 4;

// The folder as a template; one that is none is an input that cannot be used.
TProvisionTemplate LoadTemplate(const std::string& folder) {
    try {
        return TProvisionTemplate::Load(folder);
    } catch (const ETemplateError& e) {
        throw TInputError(e.what());
    }
}

int Check(const std::string& folder) {
    const TProvisionTemplate provision = LoadTemplate(folder);
    const std::vector<TTemplateProblem> problems = provision.Check();
    const size_t handsets = provision.Serials().size();

    QJsonArray files, found;
    for (const std::string& name : provision.FileNames())
        files.append(JsonPath(name));
    for (const TTemplateProblem& problem : problems) {
        found.append(QJsonObject{
            {"file", JsonPath(problem.File)}, {"line", problem.Line}, {"text", JsonText(problem.Text)}});
        PrintData(TemplateProblemText(problem) + "\n");
    }
    AddJson({{"template", JsonPath(folder)},
             {"files", files},
             {"handsets", qint64(handsets)},
             {"problems", found}});
    const std::string listed =
        provision.HasHandsetList()
            ? Counted(long(handsets), "handset", "handsets") + " listed"
            : std::string("no ") + TProvisionTemplate::HandsetsName + ", the same files for every handset";
    PrintResult("template " + folder + ": " + JoinedText(provision.Kinds(), ProvisionKinds) + "; " + listed +
                "; " + Counted(long(problems.size()), "problem", "problems"));
    return problems.empty() ? Exit::Done : Exit::Failed;
}

int Template(const TGlobalOptions& options) {
    const std::vector<std::string>& args = options.args;
    if (args.size() != 2 || args[0] != "check" || args[1].empty() || args[1][0] == '-')
        RefuseCall("template");
    return Check(args[1]);
}

} // namespace

std::vector<TCommand> TemplateCommands() {
    return {
        {"template",
         {{"check",
           "DIR",
           "check a provisioning template; no handset is needed",
           "Checks the provisioning template in DIR: a folder holding any of phonebook.phb, speeddial.sdl,\n"
           "groups.BGL and profile.pro, and optionally handsets.csv, whose first column \"serial\" names a\n"
           "handset by its SIM's serial number and whose other columns fill the placeholders \"{column}\" "
           "in\n"
           "phone book names and numbers and speed dial numbers, or, named as profile.pro names a setting\n"
           "(\"ringer volume\"), set it for that handset. Prints every problem as FILE:LINE: TEXT, the "
           "files\n"
           "as each row fills them included (placeholders no column fills, columns that fill nothing,\n"
           "serial numbers missing, malformed or there twice, rows of the wrong number of fields, values a\n"
           "handset cannot store), then a summary. Exit 0 without problems, 1 with problems, 2 when DIR is\n"
           "no template. With --json: {\"template\", \"files\", \"handsets\", \"problems\": [{\"file\", "
           "\"line\",\n"
           "\"text\"}]}. Nothing is sent to a handset.\n",
           {},
           "quorvel-cli template check office-template",
           false,
           false}},
         Template},
    };
}
