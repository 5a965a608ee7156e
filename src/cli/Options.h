#pragma once

#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace tolvane::cli {

// A whole number in [min, max] written in decimal, nothing else (no sign for 0 and up, no
// spaces, no fraction); throws std::invalid_argument naming `option` otherwise.
long long parseWholeNumber(const std::string& option, const std::string& text, long long min,
                           long long max);
// A finite decimal number in [min, max]; throws std::invalid_argument naming `option`.
double parseNumber(const std::string& option, const std::string& text, double min, double max);

// Command-line options of one command: "--name value" for the names that take a value,
// "--name" for flags, everything else positional.
class Options {
public:
    // Throws std::invalid_argument for unknown options or a missing value.
    Options(const std::vector<std::string>& args, const std::set<std::string>& valued,
            const std::set<std::string>& flags);

    bool has(const std::string& name) const { return m_values.contains(name); }
    std::optional<std::string> value(const std::string& name) const;
    // The value as a number within [min, max]; throws std::invalid_argument when it is not one.
    std::optional<long long> wholeNumber(const std::string& name, long long min,
                                         long long max) const;
    std::optional<double> number(const std::string& name, double min, double max) const;
    const std::vector<std::string>& positional() const { return m_positional; }

private:
    std::map<std::string, std::string> m_values;
    std::vector<std::string> m_positional;
};

} // namespace tolvane::cli
