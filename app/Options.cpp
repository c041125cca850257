#include "app/Options.h"

#include <utility>

namespace app {

Options parseOptions(const std::vector<std::string>& arguments, std::string& unknown) {
    Options options;
    const std::pair<const char*, bool Options::*> switches[] = {
        {"dev", &Options::dev}, {"debug", &Options::debug}, {"trace", &Options::trace}, {"output", &Options::output}};
    unknown.clear();
    for (const std::string& argument : arguments) {
        bool known = false;
        for (const auto& [name, field] : switches) {
            if (argument == std::string("--") + name) {
                options.*field = true;
                known = true;
            } else if (argument == std::string("--no-") + name) {
                options.*field = false;
                known = true;
            }
        }
        if (argument == "--quit") {
            options.quit = true;
            known = true;
        } else if (argument == "--fullscreen") {
            options.fullscreen = true;
            known = true;
        }
        if (!known) {
            unknown = argument;
            break;
        }
    }
    return options;
}

}  // namespace app
