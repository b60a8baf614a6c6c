// Running another program (the plotting tool) and finding it on the PATH.
#pragma once

#include <string>
#include <vector>

namespace plughost {

// The full path of `name` found on the PATH, or empty.
std::string findOnPath(const std::string &name);

// Runs `program` with `args` and waits for it. Its standard output is
// discarded; its standard error goes to `errorLog` (a file name) when one is
// given. Answers the exit status, or -1 when it could not be started.
int runProgram(const std::string &program, const std::vector<std::string> &args,
               const std::string &errorLog = std::string());

} // namespace plughost
