#include "GetCommand.h"
#include "HandoverChannel.h"
#include "LogHandler.h"
#include "SafeText.h"
#include "Sniffer.h"
#include "Version.h"

#include <QApplication>
#include <QCommandLineParser>

#include <cstdio>
#include <cstring>

// vidarro [ADDRESS…]                 the window; a running one is handed the addresses
// vidarro --queue ADDRESS…           the addresses queued at the default quality
// vidarro --get ADDRESS [--quality best|HEIGHT|audio] [--folder FOLDER]
//              [--limit-rate RATE] [--proxy ADDRESS]
//                                    one address saved without a window
//     [--subs en,de] [--subs-beside] [--section FROM-TO]
//                                    with subtitles (in the file, or beside it as .srt), only a part
//     [--items 1,3-5]                of a playlist, the entries named (all without --items)

namespace {

void describe(QCommandLineParser &parser)
{
    parser.setApplicationDescription(QStringLiteral(
        "Saves online video and audio. Addresses given to a later start go to the window already running."));
    parser.addHelpOption();
    parser.addVersionOption();
    parser.addOptions({
        {QStringLiteral("queue"), QStringLiteral("Queue the addresses at the default quality instead of opening them.")},
        {QStringLiteral("get"), QStringLiteral("Save the address without a window; the file's path is printed."),
         QStringLiteral("address")},
        {QStringLiteral("quality"), QStringLiteral("With --get: best (default), a height such as 720, or audio (MP3)."),
         QStringLiteral("quality"), QStringLiteral("best")},
        {QStringLiteral("folder"), QStringLiteral("With --get: the folder to save in (default: the window's folder)."),
         QStringLiteral("folder")},
        {QStringLiteral("limit-rate"), QStringLiteral("With --get: the most to take a second, such as 200K or 1.5M "
                                                      "(default: the settings')."),
         QStringLiteral("rate")},
        {QStringLiteral("proxy"), QStringLiteral("With --get: http://HOST:PORT, socks5://HOST:PORT, none or system "
                                                 "(default: the settings')."),
         QStringLiteral("address")},
    });
    parser.addOptions({
        {QStringLiteral("subs"), QStringLiteral("With --get: subtitles of these languages (en,de), in the file."),
         QStringLiteral("languages")},
        {QStringLiteral("subs-beside"), QStringLiteral("With --get and --subs: the subtitles beside the file, as .srt.")},
        {QStringLiteral("section"), QStringLiteral("With --get: only this part, FROM-TO as h:mm:ss (0:01-0:03)."),
         QStringLiteral("range")},
        {QStringLiteral("items"), QStringLiteral("With --get of a playlist: the entries to save, such as 1,3-5 (default: all)."),
         QStringLiteral("items")},
    });
    parser.addPositionalArgument(QStringLiteral("addresses"), QStringLiteral("http(s) addresses to open in the window."),
                                 QStringLiteral("[address…]"));
}

int usage(const QString &error)
{
    std::fprintf(stderr, "vidarro: %s\nTry 'vidarro --help'.\n", qUtf8Printable(error));
    return GetCommand::Usage;
}

// False, with a usage message, for a command line that cannot be read;
// --help and --version end the program here.
bool parse(QCommandLineParser &parser, const QCoreApplication &app)
{
    describe(parser);
    if (!parser.parse(app.arguments())) {
        usage(parser.errorText());
        return false;
    }
    if (parser.isSet(QStringLiteral("help")))
        parser.showHelp(0);
    if (parser.isSet(QStringLiteral("version")))
        parser.showVersion();
    return true;
}

// --get, --help and --version need no display.
bool windowless(const char *argument)
{
    for (const char *option : {"--get", "--help", "--help-all", "-h", "-?", "--version", "-v"}) {
        if (std::strcmp(argument, option) == 0)
            return true;
    }
    return std::strncmp(argument, "--get=", 6) == 0;
}

int runWithoutWindow(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("Vidarro"));
    QCoreApplication::setApplicationVersion(QStringLiteral(VIDARRO_VERSION));
    QCommandLineParser parser;
    if (!parse(parser, app))
        return GetCommand::Usage;
    if (!parser.isSet(QStringLiteral("get")))
        return usage(QStringLiteral("--get needs an address"));
    if (parser.isSet(QStringLiteral("queue")) || !parser.positionalArguments().isEmpty())
        return usage(QStringLiteral("--get takes one address and no other"));
    GetCommand::Options options{parser.value(QStringLiteral("get")), parser.value(QStringLiteral("quality")),
                                parser.value(QStringLiteral("folder"))};
    options.subs = parser.value(QStringLiteral("subs"));
    options.subsBeside = parser.isSet(QStringLiteral("subs-beside"));
    options.section = parser.value(QStringLiteral("section"));
    options.limitRate = parser.value(QStringLiteral("limit-rate"));
    options.proxy = parser.value(QStringLiteral("proxy"));
    GetCommand command;
    options.items = parser.value(QStringLiteral("items"));
    return command.run(options);
}

} // namespace

int main(int argc, char *argv[])
{
    for (int i = 1; i < argc; ++i) {
        if (windowless(argv[i]))
            return runWithoutWindow(argc, argv);
    }

    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Vidarro"));
    QApplication::setApplicationVersion(QStringLiteral(VIDARRO_VERSION));
    QCommandLineParser parser;
    if (!parse(parser, app))
        return GetCommand::Usage;
    if (parser.isSet(QStringLiteral("quality")) || parser.isSet(QStringLiteral("folder")))
        return usage(QStringLiteral("--quality and --folder go with --get"));
    if (parser.isSet(QStringLiteral("limit-rate")) || parser.isSet(QStringLiteral("proxy")))
        return usage(QStringLiteral("--limit-rate and --proxy go with --get"));
    for (const char *option : {"subs", "subs-beside", "section"}) {
        if (parser.isSet(QLatin1String(option)))
            return usage(QStringLiteral("--%1 goes with --get").arg(QLatin1String(option)));
    }
    if (parser.isSet(QStringLiteral("items")))
        return usage(QStringLiteral("--items goes with --get"));
    Handover::Message message;
    message.action = parser.isSet(QStringLiteral("queue")) ? Handover::Action::Queue : Handover::Action::Open;
    for (const QString &text : parser.positionalArguments()) {
        const std::optional<QUrl> address = Handover::address(text, QUrl::TolerantMode);
        if (!address)
            return usage(QStringLiteral("not an http(s) address: ") + SafeText::address(text));
        message.addresses.append(*address);
    }
    if (message.action == Handover::Action::Queue && message.addresses.isEmpty())
        return usage(QStringLiteral("--queue needs at least one address"));
    if (message.addresses.size() > Handover::maxAddresses)
        return usage(QStringLiteral("at most %1 addresses at once").arg(Handover::maxAddresses));

    // One window per user: a later start hands its addresses over and ends.
    HandoverServer handover;
    for (int attempt = 0; attempt < 2; ++attempt) {
        const Handover::Sent sent = Handover::deliver(message);
        if (sent.outcome == Handover::Sent::Delivered)
            return 0;
        if (sent.outcome != Handover::Sent::NoWindow) {
            std::fprintf(stderr, "vidarro: %s\n", qUtf8Printable(sent.error));
            return GetCommand::Failed;
        }
        // Listening before the window is made: of two starts at once, one wins.
        const HandoverServer::Listen listening = handover.listen();
        if (listening != HandoverServer::Listen::Taken) {
            if (listening == HandoverServer::Listen::Failed)
                std::fprintf(stderr, "vidarro: later starts cannot reach this window: %s\n",
                             qUtf8Printable(handover.errorString()));
            break;
        }
    }

    qInstallMessageHandler(logMessageHandler);
    Sniffer window;
    window.initialise();
    QObject::connect(&handover, &HandoverServer::handed, &window, &Sniffer::takeHandover);
    QObject::connect(&handover, &HandoverServer::saveRequested, &window, &Sniffer::saveBrowserStreams);
    if (!window.launchUpdater())
        return 0;
    window.showMainDialog();
    QObject::connect(&app, &QApplication::focusChanged, &window, &Sniffer::focusChanged);
    if (!message.addresses.isEmpty())
        window.takeHandover(message.addresses, message.action == Handover::Action::Queue);
    return app.exec();
}
