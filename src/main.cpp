#include "gui/shell/startup.h"

int main(int argc, char** argv) {
    return hx::runProgram(argc, argv);
}
