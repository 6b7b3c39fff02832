#pragma once

namespace hx {

// The program's start-up sequence; returns the exit code when the application ends.
int runProgram(int argc, char** argv);

}  // namespace hx
