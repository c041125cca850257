#pragma once
// The command-line options of the program.

#include <string>
#include <vector>

namespace app {

struct Options {
    bool dev = false;
    bool debug = false;
    bool trace = false;   // log at TRACE3 whatever the settings say
    bool output = false;  // echo the log on the console
    bool quit = false;    // ask the running instance to stop
    bool fullscreen = false;
};

// Parses the arguments after the program name; an unknown argument is returned in
// `unknown` and leaves the options as far as they were read.
Options parseOptions(const std::vector<std::string>& arguments, std::string& unknown);

}  // namespace app
