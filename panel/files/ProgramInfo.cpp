#include "ProgramInfo.h"

#include <cstdio>
#include <cstring>

bool AnswerInfoOptions(int argc, char* argv[], const char* program, const char* help) {
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--version") == 0) {
            std::printf("%s %s\n", program, MATRIXPANEL_VERSION);
            return true;
        }
        if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
            std::fputs(help, stdout);
            return true;
        }
    }
    return false;
}
