#include "CommandLine.h"

#include <cstdlib>
#include <sstream>

CommandLine::CommandLine (int argc, char** argv)
{
    for (int a = 1; a < argc; ++a)
    {
        const std::string arg = argv[a];
        if (arg.rfind ("--", 0) != 0)
        {
            error = "unexpected argument '" + arg + "'";
            return;
        }
        const std::string name = arg.substr (2);
        if (a + 1 < argc && std::string (argv[a + 1]).rfind ("--", 0) != 0)
            values[name] = argv[++a];
        else
            values[name] = "";
    }
}

std::string CommandLine::get (const std::string& name, const std::string& fallback) const
{
    const auto it = values.find (name);
    return it == values.end() ? fallback : it->second;
}

bool CommandLine::integers (const std::string& name, std::vector<int>& out)
{
    if (!has (name))
        return true;
    out.clear();
    std::stringstream list (values[name]);
    std::string item;
    while (std::getline (list, item, ','))
    {
        char* end = nullptr;
        const long v = std::strtol (item.c_str(), &end, 10);
        if (item.empty() || *end != '\0' || v < 0 || v > 10000000)
        {
            error = "--" + name + ": '" + item + "' is not a whole number in range";
            return false;
        }
        out.push_back (static_cast<int> (v));
    }
    return true;
}

bool CommandLine::number (const std::string& name, double& out)
{
    if (!has (name))
        return true;
    char* end = nullptr;
    const double v = std::strtod (values[name].c_str(), &end);
    if (values[name].empty() || *end != '\0' || !(v > 0.0))
    {
        error = "--" + name + ": '" + values[name] + "' is not a positive number";
        return false;
    }
    out = v;
    return true;
}
