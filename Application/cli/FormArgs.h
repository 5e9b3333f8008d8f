#pragma once

#include <map>
#include <optional>
#include <string>
#include <vector>

struct TCommand;
struct TForm;

// A command's arguments read through the options its form declares: which were given, the value of
// each that takes one, and the operands (what is no option) in order. An option a form names as the
// same as another ("--output", the same as "-o") is read under the other's name.
class TFormArgs {
public:
    TFormArgs() = default;
    // Reads args, the subcommand first where the form has one. An option the form does not declare, one
    // without its value, or one given twice, is a usage error that names the form's help.
    TFormArgs(const TCommand& command, const TForm& form, const std::vector<std::string>& args);

    bool Has(const std::string& option) const { return Values.contains(option); }
    // The value given with the option; nothing when it was not given.
    std::optional<std::string> Value(const std::string& option) const;
    const std::vector<std::string>& Operands() const { return Rest; }
    // The one operand a form takes; a usage error naming the form's help when there is not exactly one.
    const std::string& Operand(const char* what) const;
    // Of options that exclude each other (--add, --replace): the one given, or nothing; two of them are
    // a usage error.
    std::optional<std::string> OneOf(const std::vector<std::string>& options) const;
    // The usage error of this form, with the reason first.
    [[noreturn]] void Refuse(const std::string& reason) const;

private:
    std::map<std::string, std::string> Values;
    std::vector<std::string> Rest;
    std::string Help;
};
