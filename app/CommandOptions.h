#pragma once
// What the one-shot commands (tessek --dyno, tessek --advise) share in reading their
// arguments and naming the files they write beside a log. Pure.
#include <cstddef>
#include <optional>
#include <string>
#include <vector>

namespace tessek {

// The value of "--name VALUE" or "--name=VALUE" at arguments[i] (i moves past it); none
// when arguments[i] is not that option. `missing` is set when the value is not there.
std::optional<std::string> OptionValue(const std::vector<std::string>& arguments, size_t& i, const std::string& name,
                                       bool& missing);

// `path` without the extension of its file name ("logs/run.csv" -> "logs/run"; a name
// that only starts with a dot keeps it).
std::string PathStem(const std::string& path);
// The file's name without its folder.
std::string PathFileName(const std::string& path);

}  // namespace tessek
