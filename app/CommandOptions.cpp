#include "app/CommandOptions.h"

namespace tessek {

std::optional<std::string> OptionValue(const std::vector<std::string>& arguments, size_t& i, const std::string& name,
                                       bool& missing)
{
    const std::string& a = arguments[i];
    if (a.starts_with(name + "=")) {
        missing = a.size() == name.size() + 1;
        return a.substr(name.size() + 1);
    }
    if (a != name)
        return std::nullopt;
    missing = i + 1 >= arguments.size() || arguments[i + 1].starts_with("--");
    return missing ? std::string() : arguments[++i];
}

std::string PathStem(const std::string& path)
{
    const size_t slash = path.rfind('/');
    const size_t dot = path.rfind('.');
    return path.substr(0,
                       dot != std::string::npos && (slash == std::string::npos || dot > slash + 1) ? dot : path.size());
}

std::string PathFileName(const std::string& path)
{
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

}  // namespace tessek
