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

namespace korvex::cli {

DeviceOption TextOption(const std::string& name, const std::string& missing, std::string& out,
                        bool refuseEmpty) {
    return {name, true, missing, refuseEmpty, [&out](const std::string& value) {
                out = value;
                return static_cast<int>(ExitOk);
            }};
}

DeviceOption CountOption(const std::string& name, unsigned long max, const std::string& error,
                         std::function<void(unsigned long)> store) {
    return {name, true, error, true, [=](const std::string& value) {
                if (value.empty() || value.size() > 10 ||
                    value.find_first_not_of("0123456789") != std::string::npos)
                    return UsageError(error);
                const unsigned long number = std::stoul(value);
                if (number < 1 || number > max)
                    return UsageError(error);
                store(number);
                return static_cast<int>(ExitOk);
            }};
}

std::vector<DeviceOption> LoginOptions(uint16_t& port, std::string& user, std::string& knownHosts) {
    return {CountOption("--port", 65535, "--port needs a number from 1 to 65535",
                        [&port](unsigned long n) { port = static_cast<uint16_t>(n); }),
            TextOption("--user", "--user needs a name", user),
            TextOption("--known-hosts", "--known-hosts needs a file", knownHosts)};
}

} // namespace korvex::cli
