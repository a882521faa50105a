// The one parser of velmora-cli's command line, on CLI11: every command's options are declared
// here (CliCommands.cpp), and the help texts are made from the declarations.

#include "CliParser.h"

#include <CLI/CLI.hpp>

#include <algorithm>
#include <memory>
#include <sstream>

namespace velmora::cli {

namespace {

constexpr const char* kProgram = "velmora-cli";
constexpr std::size_t kDescriptionColumn = 26;
constexpr std::size_t kLineWidth = 79;

// `text` broken into lines of at most kLineWidth, each after `indent` blanks but the first.
std::string Wrapped(const std::string& text, std::size_t firstColumn, std::size_t indent) {
    std::string out;
    std::size_t column = firstColumn;
    std::istringstream words(text);
    bool first = true;
    for (std::string word; words >> word;) {
        if (!first && column + 1 + word.size() > kLineWidth) {
            out += "\n" + std::string(indent, ' ');
            column = indent;
        } else if (!first) {
            out += ' ';
            ++column;
        }
        out += word;
        column += word.size();
        first = false;
    }
    return out;
}

std::string OptionNames(const CLI::Option& option) {
    std::string names;
    for (const std::string& s : option.get_snames())
        names += (names.empty() ? "-" : ", -") + s;
    for (const std::string& l : option.get_lnames())
        names += (names.empty() ? "--" : ", --") + l;
    const std::string type = option.get_type_name();
    if (option.get_type_size() != 0 || option.get_expected_max() > 0)
        names += " " + type;
    else if (type.rfind("[=", 0) == 0)
        names += type; // a flag with an optional "=value"
    return names;
}

void OptionLines(std::ostream& out, const std::vector<const CLI::Option*>& options) {
    for (const CLI::Option* o : options) {
        if (o->get_positional())
            continue;
        std::string line = "  " + OptionNames(*o);
        if (line.size() + 2 > kDescriptionColumn)
            line += "\n" + std::string(kDescriptionColumn, ' ');
        else
            line.resize(kDescriptionColumn, ' ');
        out << line << Wrapped(o->get_description(), kDescriptionColumn, kDescriptionColumn)
            << "\n";
    }
}

void Paragraphs(std::ostream& out, const std::string& text) {
    std::istringstream lines(text);
    for (std::string paragraph; std::getline(lines, paragraph);)
        out << (paragraph.empty() ? "" : Wrapped(paragraph, 0, 0)) << "\n";
}

std::string CommandHelp(const CLI::App& root, const CLI::App& command) {
    std::ostringstream out;
    const CommandDoc& doc = DocOf(command.get_name());
    out << "Usage: " << kProgram << " " << command.get_name() << " " << doc.synopsis << "\n";
    Paragraphs(out, doc.about);
    out << "\nOptions:\n";
    OptionLines(out, command.get_options());
    out << "\nGlobal options, before or after the command:\n";
    OptionLines(out, root.get_options([](const CLI::Option* o) {
        const std::vector<std::string>& names = o->get_lnames();
        return names.empty() || (names.front() != "help" && names.front() != "version");
    }));
    if (doc.after[0] != '\0') {
        out << "\n";
        Paragraphs(out, doc.after);
    }
    return out.str();
}

std::string ProgramHelp(const CLI::App& root) {
    std::ostringstream out;
    out << "Usage: " << kProgram << " [GLOBAL OPTIONS] COMMAND [ARGUMENTS]\n"
        << "       " << kProgram << " help COMMAND | --help | --version\n"
        << "Edits MPEG audio files without re-encoding them, as the editor velmora does.\n"
        << "\nCommands:\n";
    for (const CLI::App* c :
         root.get_subcommands([](const CLI::App* a) { return a->get_name() != "help"; })) {
        std::string line = "  " + c->get_name();
        line.resize(13, ' ');
        out << line << Wrapped(c->get_description(), 13, 13) << "\n";
    }
    out << "\nGlobal options, before or after the command:\n";
    OptionLines(out, root.get_options());
    out << "\n\"" << kProgram
        << " COMMAND --help\" tells what a command does and takes. The exit status is 0 on\n"
           "success, 1 when a file failed and 2 for a usage error.\n";
    return out.str();
}

// The command the parser had reached, or null.
const CLI::App* Reached(const CLI::App& root) {
    const std::vector<const CLI::App*> reached =
        root.get_subcommands([](const CLI::App* a) { return a->parsed(); });
    return reached.empty() ? nullptr : reached.front();
}

std::string Quoted(const std::string& text) {
    return "\"" + text + "\"";
}

// The parser's complaint as one line of ours.
std::string Complaint(const CLI::ParseError& e, const CLI::App& root) {
    std::string what = e.what();
    // A check's own text already names the option: "--gain: --gain takes ..." says it twice.
    if (const std::size_t colon = what.find(": ");
        colon != std::string::npos && what.compare(colon + 2, colon, what, 0, colon) == 0)
        what.erase(0, colon + 2);
    if (dynamic_cast<const CLI::ExtrasError*>(&e)) {
        const std::vector<std::string> extras = root.remaining(true);
        const std::string first = extras.empty() ? what : extras.front();
        if (first.size() > 1 && first[0] == '-')
            return "unknown option " + Quoted(first);
        return Reached(root) ? "unexpected argument " + Quoted(first)
                             : "unknown command " + Quoted(first);
    }
    if (dynamic_cast<const CLI::ArgumentMismatch*>(&e)) {
        const std::size_t colon = what.find(':');
        if (colon != std::string::npos && what.find("missing") != std::string::npos)
            return what.substr(0, colon) + " needs a value";
    }
    if (dynamic_cast<const CLI::RequiredError*>(&e) && what.ends_with(" is required"))
        return what.substr(0, what.size() - 12) + " is missing";
    if (dynamic_cast<const CLI::RequiresError*>(&e)) {
        const std::size_t at = what.find(" requires ");
        if (at != std::string::npos)
            return what.substr(0, at) + " works with " + what.substr(at + 10) + " only";
    }
    return what;
}

std::string UsageError(const std::string& complaint, const CLI::App* command) {
    const std::string name = command ? command->get_name() : "";
    return std::string(kProgram) + ": " + (name.empty() ? "" : name + ": ") + complaint +
           " (see \"" + kProgram + (name.empty() ? "" : " " + name) + " --help\")\n";
}

ParseOutcome Stop(int status, std::string text) {
    ParseOutcome outcome;
    outcome.exitStatus = status;
    outcome.text = std::move(text);
    return outcome;
}

std::unique_ptr<CLI::App> MakeApp(CommandLine& line, bool& version, std::string& helpTopic) {
    auto app = std::make_unique<CLI::App>("", kProgram);
    app->set_help_flag("-h,--help", "print the help and exit");
    app->add_flag("--version", version, "print the version and exit");
    app->fallthrough();
    app->require_subcommand(0, 1);
    DeclareGlobalOptions(*app, line.global);
    DeclareCommands(*app, line);
    CLI::App* help = app->add_subcommand("help", "the help of a command");
    help->add_option("COMMAND", helpTopic, "the command");
    return app;
}

} // namespace

CLI::Option* TakeLast(CLI::Option* option) {
    return option->multi_option_policy(CLI::MultiOptionPolicy::TakeLast);
}

std::string HelpText(const std::string& command) {
    CommandLine line;
    bool version = false;
    std::string topic;
    const std::unique_ptr<CLI::App> app = MakeApp(line, version, topic);
    if (command.empty())
        return ProgramHelp(*app);
    for (const CLI::App* c : app->get_subcommands({}))
        if (c->get_name() == command && command != "help")
            return CommandHelp(*app, *c);
    return {};
}

ParseOutcome ParseCommandLine(const std::vector<std::string>& args) {
    ParseOutcome outcome;
    bool version = false;
    std::string topic;
    const std::unique_ptr<CLI::App> app = MakeApp(outcome.line, version, topic);
    std::vector<std::string> reversed;
    // Arguments after the first "--" are names, whatever they look like.
    const auto optionsEnd = std::find(args.begin(), args.end(), "--");
    for (auto it = args.rbegin(); it != args.rend(); ++it) {
        // "--name=" gives the empty value, as getopt does (CLI11 would take the next argument).
        const bool optionsEnded = it.base() - 1 > optionsEnd;
        if (!optionsEnded && it->size() > 3 && it->starts_with("--") && it->back() == '=' &&
            it->find('=') == it->size() - 1) {
            reversed.push_back("");
            reversed.push_back(it->substr(0, it->size() - 1));
        } else {
            reversed.push_back(*it);
        }
    }
    try {
        app->parse(reversed);
    } catch (const CLI::CallForHelp&) {
        const CLI::App* command = Reached(*app);
        return Stop(0, HelpText(command ? command->get_name() : ""));
    } catch (const CLI::ParseError& e) {
        return Stop(2, UsageError(Complaint(e, *app), Reached(*app)));
    }
    const CLI::App* command = Reached(*app);
    if (command && command->get_name() == "help") {
        const std::string text = HelpText(topic);
        if (text.empty())
            return Stop(2, UsageError("unknown command " + Quoted(topic), nullptr));
        return Stop(0, text);
    }
    if (version)
        return Stop(0, std::string(kProgram) + " " VELMORA_VERSION "\n");
    if (!command)
        return Stop(2, UsageError("no command given", nullptr));
    outcome.line.command = command->get_name();
    if (const std::string problem = CheckCommand(outcome.line); !problem.empty())
        return Stop(2, UsageError(problem, command));
    return outcome;
}

} // namespace velmora::cli
