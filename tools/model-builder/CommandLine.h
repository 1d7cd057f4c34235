#pragma once

#include <map>
#include <string>
#include <vector>

// "--name value" pairs and "--flag" switches; anything else is kept as an error message.
struct CommandLine
{
    std::map<std::string, std::string> values;
    std::string error;

    CommandLine (int argc, char** argv);
    bool has (const std::string& name) const { return values.count (name) != 0; }
    std::string get (const std::string& name, const std::string& fallback) const;
    // A comma-separated list of whole numbers; false (with error set) when one is not.
    bool integers (const std::string& name, std::vector<int>& out);
    bool number (const std::string& name, double& out);
};
