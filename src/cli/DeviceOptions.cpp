#include "cli/DeviceOptions.h"

#include "cli/Cli.h"

namespace korvex::cli {

namespace {

const DeviceOption* Find(const std::vector<DeviceOption>& options, const std::string& name) {
    for (const DeviceOption& o : options)
        if (o.name == name)
            return &o;
    return nullptr;
}

} // namespace

int ParseDeviceOptions(const std::vector<std::string>& args, const std::vector<DeviceOption>& options,
                       const std::string& usage, size_t& next) {
    size_t i = 0;
    for (; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (const DeviceOption* o = Find(options, arg)) {
            std::string value;
            if (o->takesValue) {
                if (i + 1 >= args.size() || (o->refuseEmpty && args[i + 1].empty()))
                    return UsageError(o->missing.empty() ? arg + " needs a value" : o->missing);
                value = args[++i];
            }
            if (const int status = o->take(value); status != ExitOk)
                return status;
        } else if (arg == "--password" || arg.rfind("--password=", 0) == 0) {
            return UsageError("the password is never taken from the command line; set KORVEX_PASSWORD");
        } else if (arg.rfind("--", 0) == 0) {
            return UsageError("unknown option " + arg + "\n" + usage);
        } else {
            break;
        }
    }
    next = i;
    return ExitOk;
}

} // namespace korvex::cli
