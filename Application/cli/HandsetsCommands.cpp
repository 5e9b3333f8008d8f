#include "cli/HandsetsCommands.h"

#include "cli/Help.h"
#include "cli/JsonOutput.h"
#include "cli/Summary.h"
#include "core/ProvisionTemplate.h"
#include "platform/ChangeStore.h"

#include <QJsonArray>

#include <cstdio>
#include <stdexcept>

namespace {

int Handsets(const TGlobalOptions& options) {
    std::optional<TProvisionTemplate> templ;
    if (!options.form.Operands().empty())
        RefuseCall("handsets");
    if (const std::optional<std::string> folder = options.form.Value("--template")) {
        try {
            templ = TProvisionTemplate::Load(*folder);
        } catch (const ETemplateError& e) {
            throw TInputError(e.what());
        }
    }
    TChangeStore& store = ChangeStore();
    std::vector<THandsetRow> rows;
    try {
        rows = store.Handsets();
    } catch (const std::runtime_error& e) {
        throw TCommandFailure(e.what());
    }
    const std::string hash = templ ? templ->ContentHash() : std::string();
    QJsonArray list;
    int outdated = 0;
    if (!JsonWanted() && !rows.empty())
        std::printf("%-14s %-9s %-4s %-8s %-26s %-12s %-7s %s\n", "handset", "software", "PCS", "capacity",
                    "last seen", "PC", "port", templ ? "template" : "last template");
    for (const THandsetRow& row : rows) {
        // Not given this template's current content, or given it without a verify that found it held.
        const bool behind = templ && (row.TemplateHash != hash || row.Verify != "verified");
        outdated += behind;
        QJsonObject item{{"serial", JsonText(row.Serial)},
                         {"software", JsonText(row.Software)},
                         {"pcs", JsonText(row.Pcs)},
                         {"model", row.Model},
                         {"capacity", row.Capacity},
                         {"firstSeen", JsonText(row.FirstSeen)},
                         {"lastSeen", JsonText(row.LastSeen)},
                         {"lastPc", JsonText(row.LastPc)},
                         {"lastPort", JsonText(row.LastPort)},
                         {"template", JsonText(row.Template)},
                         {"templateHash", JsonText(row.TemplateHash)},
                         {"templateTime", JsonText(row.TemplateTime)},
                         {"verify", JsonText(row.Verify)}};
        if (templ)
            item["outdated"] = behind;
        list.append(item);
        const std::string given = row.Template.empty() ? std::string("none")
                                                       : row.Template + " " + row.TemplateTime.substr(0, 10) +
                                                             " " + (row.Verify.empty() ? "-" : row.Verify);
        if (!JsonWanted())
            std::printf("%-14s %-9s %-4s %-8d %-26s %-12s %-7s %s\n", row.Serial.c_str(),
                        row.Software.c_str(), row.Pcs.c_str(), row.Capacity, row.LastSeen.c_str(),
                        row.LastPc.c_str(), row.LastPort.c_str(),
                        templ ? (behind ? "outdated" : "current") : given.c_str());
    }
    AddJson({{"handsets", list}});
    std::string summary =
        Counted(long(rows.size()), "handset", "handsets") +
        (store.Shared() ? " known to the PCs that share " + store.Where() : " known on this PC");
    if (templ)
        summary += "; " + std::to_string(outdated) + " without the current content of " + templ->Folder();
    PrintMessage(summary + ".");
    return Exit::Done;
}

} // namespace

std::vector<TCommand> HandsetsCommands() {
    return {
        {"handsets",
         {{"",
           "[--template DIR]",
           "the handsets this PC has connected to",
           "Lists every handset this PC (with every PC that shares its SIM records) has connected to, by\n"
           "its SIM's serial number: its software, PCS,\n"
           "phone book capacity, when, on which PC and at which port it was last seen, and the last "
           "template\n"
           "it was given with the verify's outcome. With --template, each is \"current\" when it was given\n"
           "that folder's present content and verified, else \"outdated\" (station run --only-outdated\n"
           "then writes those alone). No handset is needed.\n",
           {{"--template", "DIR", "say which handsets lack this template's current content"}},
           "quorvel-cli handsets --template /srv/handsets/office",
           false,
           false}},
         Handsets},
    };
}
