// velmora-data: writes the show's pictures and music into a directory (default "Data").

#include "DataGenerator.h"

#include <CLI/CLI.hpp>

#include <algorithm>
#include <cstdio>
#include <exception>
#include <string>
#include <vector>

int main(int argc, char** argv) {
    CLI::App app{"Writes every picture and the music module of the show, the same bytes on every run."};
    datagen::GeneratorOptions options;
    bool quiet = false;
    app.add_option("--out", options.directory, "directory to write into (created if missing)")
        ->capture_default_str();
    app.add_option("--threads", options.threads, "painting threads, 1 or 2")->check(CLI::Range(1, 2))
        ->capture_default_str();
    app.add_option("--only", options.only, "write only these files (names as in the directory)");
    app.add_flag("--quiet", quiet, "no progress lines");
    try {
        app.parse(argc, argv);
    } catch (const CLI::CallForHelp& help) {
        return app.exit(help);
    } catch (const CLI::ParseError& error) {
        // One line and status 1, as the show's other programs answer a mistake.
        std::string message = error.what();
        std::replace(message.begin(), message.end(), '\n', ' ');
        std::fprintf(stderr, "velmora-data: %s\n", message.c_str());
        return 1;
    }
    if (!quiet)
        options.progress = [](const std::string& line) { std::fprintf(stderr, "velmora-data: %s\n", line.c_str()); };
    try {
        datagen::generateData(options);
    } catch (const std::exception& error) {
        std::fprintf(stderr, "velmora-data: %s\n", error.what());
        return 1;
    }
    return 0;
}
