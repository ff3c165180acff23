// velmora: the show's entry point.
#include "app/CommandLine.h"
#include "app/Show.h"

#include <iostream>

int main(int argc, char** argv) {
    ShowOptions options;
    switch (parseCommandLine(argc, argv, options, std::cout, std::cerr)) {
    case ParseOutcome::ExitSuccess:
        return 0;
    case ParseOutcome::ExitFailure:
        return 1;
    case ParseOutcome::Run:
        break;
    }
    return runShow(options);
}
