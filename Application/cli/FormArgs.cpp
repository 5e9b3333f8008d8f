#include "cli/FormArgs.h"

#include "cli/CliOptions.h"
#include "cli/Command.h"
#include "cli/Help.h"

#include <algorithm>

TFormArgs::TFormArgs(const TCommand& command, const TForm& form, const std::vector<std::string>& args)
    : Help("quorvel-cli " + FormName(command, form) + " --help") {
    for (size_t i = form.sub.empty() ? 0 : 1; i < args.size(); ++i) {
        const std::string& arg = args[i];
        // "-" alone is stdin or stdout, an operand.
        if (arg.size() < 2 || arg[0] != '-') {
            Rest.push_back(arg);
            continue;
        }
        const auto option = std::find_if(form.options.begin(), form.options.end(),
                                         [&](const TOption& o) { return o.name == arg; });
        if (option == form.options.end())
            throw TUsageError("unknown option \"" + arg + "\" for " + FormName(command, form) + " (" + Help +
                              ")");
        if (!option->value.empty() && ++i == args.size())
            throw TUsageError(arg + " needs a value: " + option->value + " (" + Help + ")");
        const std::string& name = option->sameAs.empty() ? option->name : option->sameAs;
        // Which of two values is meant cannot be known.
        if (!option->value.empty() && Values.contains(name) && Values[name] != args[i])
            Refuse(arg + " is given twice");
        Values[name] = option->value.empty() ? std::string() : args[i];
    }
}

std::optional<std::string> TFormArgs::Value(const std::string& option) const {
    const auto it = Values.find(option);
    if (it == Values.end())
        return std::nullopt;
    return it->second;
}

const std::string& TFormArgs::Operand(const char* what) const {
    if (Rest.size() != 1)
        Refuse(Rest.empty() ? std::string(what) + " is needed" : "one " + std::string(what) + " only");
    return Rest.front();
}

std::optional<std::string> TFormArgs::OneOf(const std::vector<std::string>& options) const {
    std::optional<std::string> given;
    for (const std::string& option : options)
        if (Has(option)) {
            if (given)
                Refuse(*given + " and " + option + " exclude each other");
            given = option;
        }
    return given;
}

void TFormArgs::Refuse(const std::string& reason) const {
    throw TUsageError(reason + " (" + Help + ")");
}
