#include "EditorArgs.h"

#include "UnitAbout.h"

#include <QCommandLineParser>
#include <QFile>
#include <QStringList>

#include <algorithm>

namespace velmora {

namespace {

constexpr const char* kUsage =
    "Usage: velmora [--quit-when-idle] [--timing] [--screenshots DIR] [QT OPTIONS] [--] [FILE]\n"
    "       velmora --help | --version\n"
    "  Opens the editor, and FILE in it as the Open command would.\n"
    "  --quit-when-idle  print the information box, then quit; messages go to stderr and the\n"
    "                    exit status is 1 when an error was shown\n"
    "  --timing          print how long the open took and the event loop's longest wait\n"
    "  --screenshots DIR write PNGs of the main window (also in a dark palette), the advanced\n"
    "                    information and the About box into DIR, then quit\n"
    "  -h, --help        print this help\n"
    "  --version         print the version\n"
    "  Qt's standard options work as in any Qt program, for example -style NAME,\n"
    "  -platform NAME, -stylesheet FILE, -reverse and -qwindowgeometry WxH+X+Y.\n";

constexpr const char* kHelpHint = "Try \"velmora --help\" for more information.\n";

ArgumentsOutcome Refuse(const std::string& line) {
    return {2, {}, "velmora: " + line + "\n" + kHelpHint};
}

QString Decoded(const std::string& arg) {
    return QFile::decodeName(QByteArray::fromStdString(arg));
}

// The positions of the arguments the parser took as positional: after "--", or any that is
// not an option or the value of --screenshots.
std::vector<std::size_t> PositionalIndexes(const std::vector<std::string>& args) {
    std::vector<std::size_t> positional;
    bool optionsEnded = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (optionsEnded || arg.size() < 2 || arg[0] != '-')
            positional.push_back(i);
        else if (arg == "--")
            optionsEnded = true;
        else if (arg == "--screenshots")
            ++i;
    }
    return positional;
}

// Qt's standard options that take a value, and those that take none.
constexpr const char* kQtValueOptions[] = {"platform",
                                           "platformpluginpath",
                                           "platformtheme",
                                           "plugin",
                                           "qwindowgeometry",
                                           "qwindowicon",
                                           "qwindowtitle",
                                           "session",
                                           "style",
                                           "stylesheet",
                                           "display",
                                           "geometry",
                                           "name",
                                           "title",
                                           "visual",
                                           "ncols",
                                           "font",
                                           "fn",
                                           "bg",
                                           "background",
                                           "fg",
                                           "foreground",
                                           "btn",
                                           "button",
                                           "im",
                                           "inputstyle"};
constexpr const char* kQtFlags[] = {"reverse", "widgetcount", "nograb",     "dograb",
                                    "sync",    "cmap",        "testability"};

// The option's name without its dashes and value: "--style=Fusion" gives "style".
std::string QtOptionName(const std::string& arg) {
    const std::size_t start = arg.rfind("--", 0) == 0 ? 2 : 1;
    return arg.substr(start, arg.find('=') == std::string::npos ? std::string::npos
                                                                : arg.find('=') - start);
}

// The parser's complaint in our words: the option as it was typed.
std::string ParseError(const QCommandLineParser& parser, const std::vector<std::string>& args) {
    if (!parser.unknownOptionNames().isEmpty()) {
        const QString name = parser.unknownOptionNames().constFirst();
        const auto given = std::find_if(args.begin(), args.end(), [&](const std::string& a) {
            return a.size() > 1 && a[0] == '-' && Decoded(a).section(u'=', 0, 0).endsWith(name);
        });
        return "unknown option \"" +
               (given != args.end() ? given->substr(0, given->find('='))
                                    : "-" + name.toStdString()) +
               "\"";
    }
    if (!args.empty() && args.back() == "--screenshots")
        return "--screenshots needs a folder";
    return parser.errorText().toStdString();
}

} // namespace

std::vector<std::string> WithoutQtOptions(const std::vector<std::string>& args) {
    std::vector<std::string> ours;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (arg == "--") {
            ours.insert(ours.end(), args.begin() + static_cast<long>(i), args.end());
            break;
        }
        const bool option = arg.size() > 1 && arg[0] == '-';
        const std::string name = option ? QtOptionName(arg) : std::string();
        const bool takesValue = std::find(std::begin(kQtValueOptions), std::end(kQtValueOptions),
                                          name) != std::end(kQtValueOptions);
        if (takesValue && arg.find('=') == std::string::npos)
            ++i;
        else if (!takesValue && (!option || std::find(std::begin(kQtFlags), std::end(kQtFlags),
                                                      name) == std::end(kQtFlags)))
            ours.push_back(arg);
    }
    return ours;
}

std::optional<ArgumentsOutcome> HelpOrVersion(const std::vector<std::string>& args) {
    for (const std::string& arg : args) {
        if (arg == "--")
            break;
        if (arg == "--help" || arg == "-h" || arg == "-?")
            return ArgumentsOutcome{0, kUsage, {}};
        if (arg == "--version")
            return ArgumentsOutcome{0, std::string("velmora ") + kVersionText + "\n", {}};
    }
    return std::nullopt;
}

std::optional<std::string> PlatformArgument(const std::vector<std::string>& args) {
    for (std::size_t i = 0; i + 1 < args.size(); ++i) {
        if (args[i] == "--")
            break;
        if (args[i] == "-platform" || args[i] == "--platform")
            return args[i + 1];
    }
    return std::nullopt;
}

ArgumentsOutcome ParseEditorArguments(const std::vector<std::string>& args,
                                      EditorArguments& options) {
    if (std::optional<ArgumentsOutcome> early = HelpOrVersion(args))
        return *early;
    QCommandLineParser parser;
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    const QCommandLineOption quit(QStringLiteral("quit-when-idle"));
    const QCommandLineOption timing(QStringLiteral("timing"));
    const QCommandLineOption screenshots(QStringLiteral("screenshots"), QString(),
                                         QStringLiteral("DIR"));
    parser.addOptions({quit, timing, screenshots});
    parser.addPositionalArgument(QStringLiteral("FILE"), QString(), QStringLiteral("[FILE]"));
    QStringList list{QStringLiteral("velmora")};
    for (const std::string& arg : args)
        list << Decoded(arg);
    if (!parser.parse(list))
        return Refuse(ParseError(parser, args));
    options.quitWhenIdle = parser.isSet(quit);
    options.timing = parser.isSet(timing);
    if (parser.isSet(screenshots))
        options.screenshots = parser.value(screenshots);
    // The file's own bytes, not the parser's decoded text.
    const std::vector<std::size_t> positional = PositionalIndexes(args);
    if (positional.size() > 1)
        return Refuse("one file at a time: \"" + args[positional[1]] +
                      "\" is not opened besides \"" + args[positional[0]] + "\"");
    if (!positional.empty())
        options.file = args[positional.front()];
    if (options.file && options.file->empty())
        return Refuse("the file name is empty");
    return {};
}

} // namespace velmora
