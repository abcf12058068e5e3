#include "CommandLine.h"

namespace {

constexpr const char usage[] =
    "Usage: kalvor [FILE...]\n"
    "\n"
    "Kalvor is a small client for FTP and FTPS servers.\n"
    "\n"
    "Without files it opens its window (or brings the running one to the front). With files it offers to\n"
    "upload them into one of your favorite folders, in the window that is already open if there is one.\n"
    "\n"
    "Options:\n"
    "  -h, --help     show this help and exit\n"
    "  --version      show the version and exit\n"
    "  --             every argument after this is a file, even one that starts with \"-\"\n";

} // namespace

std::optional<int> answerInfoOptions(const QStringList& arguments, std::FILE* out) {
    for (const QString& argument : arguments) {
        if (argument == u"--")
            break;
        if (argument == u"--help" || argument == u"-h") {
            std::fputs(usage, out);
            return 0;
        }
        if (argument == u"--version") {
            std::fprintf(out, "kalvor %s\n", KALVOR_VERSION);
            return 0;
        }
    }
    return std::nullopt;
}
