#include "ui/TerminalStart.h"

#include "product/ProductVersion.h"

#include <QString>
#include <QtGlobal>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

namespace tvr::ui {

namespace {

constexpr const char* kUsage =
    "Usage: tvr [--profile NAME] [P1:<main password>] [P2:<reserve password>]\n"
    "           [--password-file FILE] [-A [--reseed]]\n"
    "       tvr --service [--profile NAME] [--password-file FILE] [--reseed]\n"
    "       tvr --failover [--fence] [--profile NAME] [P1:<password>] [P2:<password>]\n"
    "       tvr [--profile NAME] ... [--metrics FILE]\n"
    "       tvr --check [--profile NAME]\n"
    "       tvr --status\n"
    "       tvr --help | --version\n"
    "\n"
    "Travenor keeps a warm-standby Adaptive Server database in step with the main one: the main\n"
    "server dumps the database or its transaction log, the reserve server loads the dump, pass\n"
    "after pass.\n"
    "\n"
    "  P1:<password>  log on to the main server with this password, as the login of the last\n"
    "                 logon; without it, or when it is wrong, the logon dialog asks\n"
    "  P2:<password>  the same for the reserve server\n"
    "  --password-file FILE\n"
    "                 the passwords from FILE, lines P1:<password> and P2:<password>; the\n"
    "                 file must be readable by its owner alone (chmod 600)\n"
    "  -A             start processing at once and run in the tray (with P1:)\n"
    "  --reseed       with -A or --service: the start replaces the reserve database with a\n"
    "                 full dump and load, even when it is online (after a failover, or\n"
    "                 changed by hand), without the question of Re-seed the reserve...\n"
    "  --profile NAME the settings, logs, dump names and instance guard of profile NAME\n"
    "                 (letters, digits, - and _; \"default\" is the one without a name)\n"
    "  --service      run without a window and without a display (for systemd): log on\n"
    "                 with the passwords of --password-file or TVR_P1/TVR_P2 (never the\n"
    "                 command line) and start processing; boxes become error log entries,\n"
    "                 errors are also written to standard error; a configuration fault\n"
    "                 ends it at once with its reason and exit code 1\n"
    "  --failover     bring the reserve database online now, without a window: the tail of\n"
    "                 the main server's log is saved and loaded when the main server answers,\n"
    "                 every dump since the last full load must be loaded, then online\n"
    "                 database; prints the report. Exit code 0 done, 1 settings or command\n"
    "                 line fault (nothing sent), 2 stopped (the report says what is left);\n"
    "                 SIGTERM or SIGINT stop it only before anything is sent to the main\n"
    "                 server, later it runs to its end\n"
    "  --fence        with --failover: make the main database read only (sp_dboption) before\n"
    "                 its tail is saved, so that nothing committed there afterwards is lost\n"
    "  --metrics FILE rewrite FILE after every pass with Prometheus metrics (lag, passes,\n"
    "                 failures, bytes shipped)\n"
    "  --check        print one line on the standby's lag from the pass history and end:\n"
    "                 exit code 0 OK, 1 WARNING, 2 CRITICAL, 3 UNKNOWN; needs no display\n"
    "  --status       print one line for each profile set up here: whether its program\n"
    "                 runs, the verdict of --check and the dumps waiting for their load\n"
    "  --help         print this text and end\n"
    "  --version      print the version and end\n"
    "\n"
    "Environment:\n"
    "  SYBASE         the Open Client folder, with ini/sql.ini or interfaces (required)\n"
    "  TVR_P1, TVR_P2 the main and the reserve password, kept out of the process list\n"
    "  TVR_REGISTRY   the settings file (default ~/.config/travenor/registry.reg);\n"
    "                 profile NAME's is profiles/NAME/registry.reg beside it\n"
    "\n"
    "SIGTERM and SIGINT stop it as a confirmed Exit: the pass under way finishes, then it ends\n"
    "with exit code 0 (--service: 1 when processing ended by itself after a failure).\n"
    "\n"
    "Without --service the program shows windows and so needs a display (X11 or Wayland).\n"
    "Its help opens with F1 and is the file ";

// Where the help window finds the help: share/travenor beside the program's bin folder.
std::string helpFile() {
    std::error_code noLink;
    const std::filesystem::path exe = std::filesystem::read_symlink("/proc/self/exe", noLink);
    if (noLink) return "share/travenor/tvr.html beside the program's bin folder";
    return (exe.parent_path().parent_path() / "share" / "travenor" / "tvr.html").string();
}

bool has(int argc, char** argv, const char* option) {
    for (int i = 1; i < argc; ++i)
        if (std::strcmp(argv[i], option) == 0) return true;
    return false;
}

bool nonEmpty(const char* name) {
    const char* value = std::getenv(name);
    return value && *value;
}

// A platform named on purpose (QT_QPA_PLATFORM or -platform, such as offscreen) or a display
// of X11 or Wayland to open; without any of these Qt's default plugin cannot start.
bool somewhereToShow(int argc, char** argv) {
    return nonEmpty("QT_QPA_PLATFORM") || has(argc, argv, "-platform") || nonEmpty("DISPLAY") ||
           nonEmpty("WAYLAND_DISPLAY");
}

// What Qt says while the platform starts, held back until it is known to have started (then
// handed on) or not (then replaced by one line of ours).
struct HeldMessage {
    QtMsgType type;
    std::string category;
    QString text;
};
QtMessageHandler previousHandler = nullptr;
std::vector<HeldMessage> held;

void holdOrEnd(QtMsgType type, const QMessageLogContext& context, const QString& text) {
    if (type == QtFatalMsg) {
        const char* display = std::getenv("DISPLAY");
        std::fprintf(stderr,
                     "tvr: cannot open a window on the display%s%s; it needs a working "
                     "X11 or Wayland session\n",
                     display && *display ? " " : "", display ? display : "");
        std::fflush(stderr);
        std::_Exit(1);
    }
    held.push_back({type, context.category ? context.category : "", text});
}

}  // namespace

std::optional<int> answerOnTerminal(int argc, char** argv, std::ostream& out, std::ostream& err) {
    if (has(argc, argv, "--help")) {
        out << kUsage << helpFile() << ".\n" << std::flush;
        return 0;
    }
    if (has(argc, argv, "--version")) {
        out << "tvr (Travenor) " << kProductVersion << "\nMaintainer: " << kProductMaintainer
            << "\n"
            << std::flush;
        return 0;
    }
    if (!serviceRequested(argc, argv) && !somewhereToShow(argc, argv)) {
        err << "tvr: no display (neither DISPLAY nor WAYLAND_DISPLAY is set); start it in a "
               "desktop session, or see tvr --help\n"
            << std::flush;
        return 1;
    }
    return std::nullopt;
}

bool serviceRequested(int argc, char** argv) { return has(argc, argv, "--service"); }

void watchPlatformStart() {
    held.clear();
    previousHandler = qInstallMessageHandler(holdOrEnd);
}

void endPlatformWatch() {
    qInstallMessageHandler(previousHandler);
    for (const HeldMessage& m : held) {
        const QMessageLogContext context(nullptr, 0, nullptr, m.category.c_str());
        if (previousHandler)
            previousHandler(m.type, context, m.text);
        else
            qt_message_output(m.type, context, m.text);
    }
    held.clear();
}

}  // namespace tvr::ui
