#include "EditorArgs.h"

#include "UnitAbout.h"

#include <QFile>

namespace velmora {

namespace {

constexpr const char* kUsage =
    "Usage: velmora [--quit-when-idle] [--timing] [--screenshots DIR] [--] [FILE]\n"
    "       velmora --help | --version\n"
    "  Opens the editor, and FILE in it as the Open command would.\n"
    "  --quit-when-idle  print the information box, then quit; messages go to stderr and the\n"
    "                    exit status is 1 when an error was shown\n"
    "  --timing          print how long the open took and the event loop's longest wait\n"
    "  --screenshots DIR write PNGs of the main window (also in a dark palette), the advanced\n"
    "                    information and the About box into DIR, then quit\n";

constexpr const char* kHelpHint = "Try \"velmora --help\" for more information.\n";

ArgumentsOutcome Refuse(const std::string& line) {
    return {2, {}, "velmora: " + line + "\n" + kHelpHint};
}

} // namespace

ArgumentsOutcome ParseEditorArguments(const std::vector<std::string>& args,
                                      EditorArguments& options) {
    bool optionsEnded = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        const bool option = !optionsEnded && arg.size() > 1 && arg[0] == '-';
        if (!option) {
            if (options.file)
                return Refuse("one file at a time: \"" + arg + "\" is not opened besides \"" +
                              *options.file + "\"");
            options.file = arg;
        } else if (arg == "--") {
            optionsEnded = true;
        } else if (arg == "--help" || arg == "-h") {
            return {0, kUsage, {}};
        } else if (arg == "--version") {
            return {0, std::string("velmora ") + kVersionText + "\n", {}};
        } else if (arg == "--quit-when-idle") {
            options.quitWhenIdle = true;
        } else if (arg == "--timing") {
            options.timing = true;
        } else if (arg == "--screenshots") {
            if (i + 1 == args.size())
                return Refuse("--screenshots needs a folder");
            options.screenshots = QFile::decodeName(QByteArray::fromStdString(args[++i]));
        } else {
            return Refuse("unknown option \"" + arg + "\"");
        }
    }
    if (options.file && options.file->empty())
        return Refuse("the file name is empty");
    return {};
}

} // namespace velmora
