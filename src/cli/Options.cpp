#include "cli/Options.h"

#include <charconv>
#include <cmath>
#include <stdexcept>

namespace tolvane::cli {
namespace {

// "--smooth needs a whole number from 0 to 60, not '61'"
[[noreturn]] void refuse(const std::string& option, const std::string& kind,
                         const std::string& range, const std::string& text) {
    throw std::invalid_argument(option + " needs " + kind + " from " + range + ", not '" + text +
                                "'");
}

std::string numberText(double value) {
    std::string text = std::to_string(value);
    text.erase(text.find_last_not_of('0') + 1);
    if (text.back() == '.')
        text.pop_back();
    return text;
}

} // namespace

long long parseWholeNumber(const std::string& option, const std::string& text, long long min,
                           long long max) {
    long long value = 0;
    const char* end = text.data() + text.size();
    // from_chars reports a value out of range of the type instead of wrapping it.
    const auto [stop, error] = std::from_chars(text.data(), end, value);
    if (text.empty() || error != std::errc() || stop != end || value < min || value > max)
        refuse(option, "a whole number", std::to_string(min) + " to " + std::to_string(max), text);
    return value;
}

double parseNumber(const std::string& option, const std::string& text, double min, double max) {
    double value = 0;
    const char* end = text.data() + text.size();
    const auto [stop, error] = std::from_chars(text.data(), end, value);
    if (text.empty() || error != std::errc() || stop != end || !std::isfinite(value) ||
        value < min || value > max)
        refuse(option, "a number", numberText(min) + " to " + numberText(max), text);
    return value;
}

Options::Options(const std::vector<std::string>& args, const std::set<std::string>& valued,
                 const std::set<std::string>& flags) {
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (!arg.starts_with("--") || arg == "--") {
            m_positional.push_back(arg);
        } else if (valued.contains(arg)) {
            if (i + 1 >= args.size())
                throw std::invalid_argument(arg + " needs a value");
            m_values[arg] = args[++i];
        } else if (flags.contains(arg)) {
            m_values[arg] = "";
        } else {
            throw std::invalid_argument("unknown option " + arg);
        }
    }
}

std::optional<std::string> Options::value(const std::string& name) const {
    const auto it = m_values.find(name);
    if (it == m_values.end())
        return std::nullopt;
    return it->second;
}

std::optional<long long> Options::wholeNumber(const std::string& name, long long min,
                                              long long max) const {
    const auto text = value(name);
    if (!text)
        return std::nullopt;
    return parseWholeNumber(name, *text, min, max);
}

std::optional<double> Options::number(const std::string& name, double min, double max) const {
    const auto text = value(name);
    if (!text)
        return std::nullopt;
    return parseNumber(name, *text, min, max);
}

} // namespace tolvane::cli
