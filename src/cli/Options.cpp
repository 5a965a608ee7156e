#include "cli/Options.h"

#include <charconv>
#include <stdexcept>

namespace tolvane::cli {

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

namespace {

template <typename Number>
std::optional<Number> parsed(const std::optional<std::string>& text, const std::string& name,
                             const char* kind) {
    if (!text)
        return std::nullopt;
    Number result{};
    const auto [end, error] = std::from_chars(text->data(), text->data() + text->size(), result);
    if (error != std::errc() || end != text->data() + text->size())
        throw std::invalid_argument(name + " needs " + kind + ", not '" + *text + "'");
    return result;
}

} // namespace

std::optional<long> Options::integer(const std::string& name) const {
    return parsed<long>(value(name), name, "a whole number");
}

std::optional<double> Options::number(const std::string& name) const {
    return parsed<double>(value(name), name, "a number");
}

} // namespace tolvane::cli
