#include "cli/Options.h"
#include "cli/Tolvane.h"
#include "document/UndoRecord.h"
#include "processing/FormatConversion.h"
#include "processing/LevelOperations.h"
#include "processing/ProcessedSamples.h"
#include "processing/StripSilence.h"
#include "processing/WriteSampleFile.h"

#include <filesystem>
#include <functional>
#include <stdexcept>

namespace tolvane::cli {
namespace {

constexpr long long kMaxPercent = 1000;

// One option of the command: what it does to the document, and what it tells about it.
struct Step {
    std::string option; // as given, for messages
    std::function<std::string(SampleDocument&, UndoRecord&)> run;
};

struct ProcessRequest {
    std::string file;
    std::string output;
    std::vector<Step> steps;
    bool convert = false;
};

// The value after option i; throws std::invalid_argument when there is none.
const std::string& valueAfter(const std::vector<std::string>& args, std::size_t& i) {
    if (i + 1 >= args.size())
        throw std::invalid_argument(args[i] + " needs a value");
    return args[++i];
}

Step normaliseStep(const std::string& arg) {
    NormaliseOptions options;
    if (arg != "--normalise")
        options.percent = static_cast<int>(
            parseWholeNumber("--normalise", arg.substr(arg.find('=') + 1), 1, kMaxPercent));
    return {arg, [options](SampleDocument& doc, UndoRecord& undo) {
                normaliseSample(doc, undo, options);
                return "normalised to " + std::to_string(options.percent) + " %";
            }};
}

Step quantiseStep(const std::string& text) {
    const int bits = static_cast<int>(parseWholeNumber("--quantise", text, 0, 16));
    return {"--quantise " + text, [bits](SampleDocument& doc, UndoRecord& undo) {
                quantiseSample(doc, undo, bits);
                return "quantised to " + std::to_string(bits) + " bits";
            }};
}

Step toMonoStep(const std::string& text) {
    const MonoSource source =
        text == "left"    ? MonoSource::Left
        : text == "right" ? MonoSource::Right
        : text == "mix"
            ? MonoSource::Mix
            : throw std::invalid_argument("--to-mono is left, right or mix, not '" + text + "'");
    return {"--to-mono " + text, [source, text](SampleDocument& doc, UndoRecord& undo) {
                convertToMono(doc, undo, source);
                return "converted to mono (" + text + ")";
            }};
}

Step rateStep(const std::string& text) {
    const auto rate = static_cast<std::uint32_t>(
        parseWholeNumber("--rate", text, kMinSampleRate, kMaxSampleRate));
    return {"--rate " + text, [rate](SampleDocument& doc, UndoRecord& undo) {
                changeSampleRate(doc, undo, rate);
                return "sample rate " + std::to_string(rate) + " Hz";
            }};
}

Step stripSilenceStep(const std::string& threshold, const std::string& gap) {
    StripSilenceOptions options;
    options.threshold = static_cast<int>(
        parseWholeNumber("--strip-silence", threshold, kStripThresholdMin, kStripThresholdMax));
    options.gap =
        static_cast<int>(parseWholeNumber("--strip-silence", gap, kStripGapMin, kStripGapMax));
    return {"--strip-silence " + threshold + " " + gap,
            [options](SampleDocument& doc, UndoRecord& undo) {
                const StripSilenceReport report = stripSilence(doc, undo, options);
                return "stripped " + std::to_string(report.silences.size()) + " silences (" +
                       std::to_string(report.removedBytes) + " bytes)";
            }};
}

// The channel the following level operations work on, as the channel items choose it.
Step channelStep(const std::string& text) {
    if (text != "left" && text != "right" && text != "both")
        throw std::invalid_argument("--channel is left, right or both, not '" + text + "'");
    return {"--channel " + text, [text](SampleDocument& doc, UndoRecord&) {
                if (doc.Channels != 2)
                    throw ProcessingRefused("the sample is mono: it has no channel to choose");
                chooseChannels(doc, text != "right", text != "left");
                return text == "both" ? std::string("both channels") : text + " channel only";
            }};
}

Step simpleStep(const std::string& option,
                const std::function<void(SampleDocument&, UndoRecord&)>& operation,
                const std::string& done) {
    return {option, [operation, done](SampleDocument& doc, UndoRecord& undo) {
                operation(doc, undo);
                return done;
            }};
}

// Reads the request, the steps in the order given; throws std::invalid_argument naming what is
// wrong.
ProcessRequest parseRequest(const std::vector<std::string>& args) {
    ProcessRequest request;
    std::vector<std::string> files;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (arg == "--normalise" || arg.starts_with("--normalise=")) {
            request.steps.push_back(normaliseStep(arg));
        } else if (arg == "--invert") {
            request.steps.push_back(simpleStep(arg, invertSample, "inverted"));
        } else if (arg == "--quantise") {
            request.steps.push_back(quantiseStep(valueAfter(args, i)));
        } else if (arg == "--to-mono") {
            request.steps.push_back(toMonoStep(valueAfter(args, i)));
        } else if (arg == "--to-stereo") {
            request.steps.push_back(simpleStep(arg, convertToStereo, "converted to stereo"));
        } else if (arg == "--rate") {
            request.steps.push_back(rateStep(valueAfter(args, i)));
        } else if (arg == "--strip-silence") {
            if (i + 2 >= args.size())
                throw std::invalid_argument("--strip-silence needs two values, THOLD and GAP");
            request.steps.push_back(stripSilenceStep(args[i + 1], args[i + 2]));
            i += 2;
        } else if (arg == "--channel") {
            request.steps.push_back(channelStep(valueAfter(args, i)));
        } else if (arg == "--convert") {
            request.convert = true;
        } else if (arg.starts_with("--") && arg != "--") {
            throw std::invalid_argument("unknown option " + arg);
        } else {
            files.push_back(arg);
        }
    }
    if (files.size() != 2)
        throw std::invalid_argument("give FILE and OUT");
    request.file = files[0];
    request.output = files[1];
    return request;
}

} // namespace

int runProcess(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    ProcessRequest request;
    try {
        request = parseRequest(args);
    } catch (const std::invalid_argument& e) {
        err << "tolvane process: " << e.what() << "\n";
        return kExitUsage;
    }

    // OUT may be FILE itself: the result is whole in memory before the file is replaced.
    if (const int status = checkOutputs({request.output}, nullptr, err); status != kExitOk)
        return status;
    SampleDocument doc;
    if (const int status = openDocument(request.file, doc, out, err, request.convert);
        status != kExitOk)
        return status;
    // The command keeps no undo step (and no undo file); the output is written only when every
    // step succeeded.
    UndoRecord undo{NoUndoFile{}};
    for (const Step& step : request.steps) {
        try {
            out << step.run(doc, undo) << "\n";
        } catch (const ProcessingRefused& e) {
            err << "tolvane process: " << step.option << ": " << e.what() << "; nothing written\n";
            return kExitUsage;
        }
    }
    return writeWholeDocument(doc, request.output, out, err);
}

} // namespace tolvane::cli
