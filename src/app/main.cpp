// wavetolvane [FILE] [--settings FILE] [--screenshot OUT.png [--sensitivity PCT] [--zoom N]
// [--split]]
#include "app/ConsoleDialogs.h"
#include "app/Help.h"
#include "app/TMainForm.h"
#include "app/dialogs/AboutForm.h"
#include "document/OutputFiles.h"
#include "document/SafeFileWriter.h"
#include "document/TemporaryFiles.h"
#include "plugins/PlugInProbe.h"
#include "samplers/ProfileStore.h"

#include <QApplication>
#include <QBuffer>
#include <QCommandLineParser>
#include <QElapsedTimer>
#include <QSaveFile>
#include <QSplashScreen>
#include <QTemporaryDir>
#include <QTimer>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iostream>

namespace {

using namespace tolvane;

struct Options {
    QString file;
    QString settingsFile;
    QString screenshot;
    double sensitivity = -1;
    int zoomSteps = 0;
    bool split = false;
};

constexpr int kExitUsage = 64;
constexpr const char* kProbeOption = "--probe-plugin";
constexpr int kExitCannotWrite = 73;

[[noreturn]] void usageError(const QString& text) {
    std::fprintf(stderr, "wavetolvane: %s\n", qPrintable(text));
    std::exit(kExitUsage);
}

Options parseOptions(const QApplication& app) {
    QCommandLineParser parser;
    parser.setApplicationDescription("WaveTolvane: loop slicing for samplers");
    parser.addHelpOption();
    parser.addVersionOption();
    parser.addPositionalArgument("file", "A 16-bit WAV or AIFF file to open.");
    const QCommandLineOption settings("settings", "Keep the settings in this INI file.", "FILE");
    const QCommandLineOption screenshot("screenshot",
                                        "Open FILE (or the demo loop), wait for the scan, "
                                        "save a picture of the window and exit.",
                                        "OUT.png");
    const QCommandLineOption sensitivity("sensitivity",
                                         "With --screenshot: the sensitivity in percent.", "PCT");
    const QCommandLineOption zoom("zoom", "With --screenshot: zoom in N times at the middle.", "N");
    const QCommandLineOption split("split",
                                   "With --screenshot: keep the stereo channels apart (L / R).");
    parser.addOptions({settings, screenshot, sensitivity, zoom, split});
    parser.process(app);
    Options options;
    options.file = parser.positionalArguments().value(0);
    options.settingsFile = parser.value(settings);
    options.screenshot = parser.value(screenshot);
    // Numbers are read in full and within their range, or the run stops with a usage error.
    bool ok = true;
    if (parser.isSet(sensitivity)) {
        options.sensitivity = parser.value(sensitivity).toDouble(&ok);
        if (!ok || !(options.sensitivity >= 0 && options.sensitivity <= 100))
            usageError("--sensitivity needs a number from 0 to 100, not '" +
                       parser.value(sensitivity) + "'");
    }
    if (parser.isSet(zoom)) {
        options.zoomSteps = parser.value(zoom).toInt(&ok);
        if (!ok || options.zoomSteps < 0 || options.zoomSteps > 9)
            usageError("--zoom needs a whole number from 0 to 9, not '" + parser.value(zoom) + "'");
    }
    options.split = parser.isSet(split);
    return options;
}

// Opens the file, waits for the scan, sets sensitivity and zoom, saves the window's picture.
int takeScreenshot(const Options& options) {
    QTemporaryDir scratch;
    QSettingsStore store(options.settingsFile.isEmpty() ? scratch.filePath("settings.ini")
                                                        : options.settingsFile);
    ConsoleDialogs dialogs;
    TMainForm form(store, dialogs, nullptr); // pictures need no sound
    form.show();
    form.resize(form.settings().Width, form.settings().Height);
    const QString file = options.file.isEmpty() ? demoLoopPath() : options.file;
    form.openDroppedFile(file);
    QElapsedTimer timer;
    timer.start();
    while ((form.isBusy() || form.document().DetectPending) && timer.elapsed() < 60000)
        QApplication::processEvents(QEventLoop::AllEvents, 20);
    if (!form.document().DocumentOpen) {
        std::fprintf(stderr, "wavetolvane: could not open %s\n", qPrintable(file));
        return 2;
    }
    if (options.split)
        form.LR2Click();
    if (options.sensitivity >= 0)
        form.setSensitivityPercent(options.sensitivity);
    // Zoom at the middle of the view.
    form.pointAt(form.waveWidth() / 2);
    for (int i = 0; i < options.zoomSteps; ++i)
        form.PopupZinClick();
    QApplication::processEvents();
    form.redrawAll();
    QApplication::processEvents();
    // Encoded in memory, then written whole or not at all: a failed write leaves no partial
    // picture (nor replaces one), and the encoder never meets a failing file.
    try {
        refuseNonRegularOutput(options.screenshot.toStdString());
    } catch (const FileWriteError& e) {
        std::fprintf(stderr, "wavetolvane: %s\n", e.what());
        return kExitCannotWrite;
    }
    QByteArray png;
    QBuffer encoded(&png);
    encoded.open(QIODevice::WriteOnly);
    QSaveFile picture(options.screenshot);
    if (!form.grab().save(&encoded, "PNG") || !picture.open(QIODevice::WriteOnly) ||
        picture.write(png) != png.size() || !picture.commit()) {
        std::fprintf(stderr, "wavetolvane: cannot write %s\n", qPrintable(options.screenshot));
        return kExitCannotWrite;
    }
    return 0;
}

// `wavetolvane --probe-plugin URI --rate R`: the child the editor starts to try an effect before
// loading it (no window).
int probePlugin(int argc, char** argv) {
    if (argc != 5 || std::strcmp(argv[3], "--rate") != 0) {
        std::fprintf(stderr, "wavetolvane: --probe-plugin URI --rate R\n");
        return kExitUsage;
    }
    const long rate = std::strtol(argv[4], nullptr, 10);
    if (rate < 1000 || rate > 768000)
        usageError(QString("--rate needs a rate from 1000 to 768000, not '") + argv[4] + "'");
    return tryEffect(argv[2], static_cast<std::uint32_t>(rate), kProbeSeconds, std::cout);
}

} // namespace

int main(int argc, char** argv) {
    // A file that reaches the file-size limit (a full disk, for root) must fail its write with
    // EFBIG, so that the save reports it and removes its temporary file, rather than end the
    // program.
    std::signal(SIGXFSZ, SIG_IGN);
    // Interrupted or closed from outside, the editor asks nothing but leaves no temporary file.
    removeTemporaryFilesOnSignals();
    if (argc > 1 && std::strcmp(argv[1], kProbeOption) == 0)
        return probePlugin(argc, argv);
    QApplication app(argc, argv);
    QApplication::setApplicationName("WaveTolvane");
    QApplication::setOrganizationName("Quorvex");
    QApplication::setApplicationVersion(TOLVANE_VERSION);
    const Options options = parseOptions(app);
    if (!options.screenshot.isEmpty())
        return takeScreenshot(options);

    QSplashScreen splash(aboutPicture());
    splash.show();
    QApplication::processEvents();
    QSettingsStore store(options.settingsFile);
    QtDialogs dialogs;
    const std::unique_ptr<AudioBackend> audio = makePortAudioBackend();
    TMainForm form(store, dialogs, audio.get());
    form.setProfileFile(profileStoreBeside(store.location().toStdString()));
    form.plugins().setProbe({QCoreApplication::applicationFilePath().toStdString(), kProbeOption},
                            probeStoreBeside(store.location().toStdString()));
    dialogs.setParent(&form);
    dialogs.setPlayer(form.player());
    form.show();
    splash.finish(&form);
    QTimer::singleShot(0, &form, [&form, &options] { form.FormShow(options.file); });
    return QApplication::exec();
}
