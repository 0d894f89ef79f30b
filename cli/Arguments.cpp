#include "cli/Arguments.h"

#include "cli/Serve.h"

#include <array>
#include <utility>

namespace tpg::cli {
namespace {

constexpr std::array<std::pair<const char*, Command>, 6> kCommands = {{
    {"list", Command::List},
    {"show", Command::Show},
    {"set", Command::Set},
    {"defaults", Command::Defaults},
    {"apply", Command::Apply},
    {"serve", Command::Serve},
}};

const char* nameOf(Command command) {
    for (const auto& [name, value] : kCommands) {
        if (value == command) {
            return name;
        }
    }
    return "";
}

// What each command takes, checked once the whole line is read.
bool checkCommand(const Invocation& in, std::string& error) {
    const std::string name = nameOf(in.command);
    if (in.command == Command::None) {
        error = "no command given";
        return false;
    }
    if (in.json && in.command != Command::List && in.command != Command::Show) {
        error = "--json is for list and show, not " + name;
        return false;
    }
    if (in.exact && in.command != Command::Set && in.command != Command::Apply) {
        error = "--exact is for set and apply, not " + name;
        return false;
    }
    if (in.listen && in.command != Command::Serve) {
        error = "--listen is for serve, not " + name;
        return false;
    }
    if (in.maxClients && in.command != Command::Serve) {
        error = "--max-clients is for serve, not " + name;
        return false;
    }
    if (!in.mdns && in.command != Command::Serve) {
        error = "--no-mdns is for serve, not " + name;
        return false;
    }
    if ((in.noVxi11 || in.vxi11Port) && in.command != Command::Serve) {
        error =
            std::string(in.noVxi11 ? "--no-vxi11" : "--vxi11-port") + " is for serve, not " + name;
        return false;
    }
    if (in.noVxi11 && in.vxi11Port) {
        error = "--vxi11-port and --no-vxi11 contradict each other";
        return false;
    }
    if ((in.http || in.noHttp || in.httpPasswordFile) && in.command != Command::Serve) {
        error = std::string(in.http     ? "--http"
                            : in.noHttp ? "--no-http"
                                        : "--http-password-file") +
                " is for serve, not " + name;
        return false;
    }
    if (in.noHttp && (in.http || in.httpPasswordFile)) {
        error = "--no-http leaves no page for --http or --http-password-file";
        return false;
    }
    switch (in.command) {
        case Command::Set:
            if (in.operands.empty()) {
                error = "set needs at least one NAME=VALUE";
                return false;
            }
            return true;
        case Command::Apply:
            if (in.operands.size() != 1) {
                error = "apply takes one FILE (or - for standard input)";
                return false;
            }
            return true;
        default:
            if (!in.operands.empty()) {
                error = name + " takes no arguments, not \"" + in.operands.front() + "\"";
                return false;
            }
            return true;
    }
}

// An option that takes a value, as "--name VALUE" or "--name=VALUE".
bool isValueOption(const std::string& arg, const std::string& name) {
    return arg == name || arg.starts_with(name + "=");
}

// Takes the value of the option at args[i] (advancing past a separate
// value) into slot; false, with the reason, when it is given twice or
// lacks its value.
bool takeValue(const std::vector<std::string>& args, std::size_t& i, const std::string& name,
               const char* what, std::optional<std::string>& slot, std::string& error) {
    if (slot) {
        error = name + " is given twice";
        return false;
    }
    if (args[i] == name) {
        if (i + 1 >= args.size()) {
            error = name + " needs " + what;
            return false;
        }
        slot = args[++i];
    } else {
        slot = args[i].substr(name.size() + 1);
    }
    return true;
}

}  // namespace

bool parseArguments(const std::vector<std::string>& args, Invocation& out, std::string& error) {
    Invocation in;
    bool optionsEnded = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        const bool isOption = !optionsEnded && arg.size() > 1 && arg[0] == '-';
        if (isOption && arg == "--") {
            optionsEnded = true;
        } else if (isOption && (arg == "--help" || arg == "-h")) {
            in.help = true;
        } else if (isOption && arg == "--version") {
            in.version = true;
        } else if (isOption && arg == "--json") {
            in.json = true;
        } else if (isOption && arg == "--exact") {
            in.exact = true;
        } else if (isOption && arg == "--simulate") {
            in.simulate = true;
        } else if (isOption && arg == "--no-mdns") {
            in.mdns = false;
        } else if (isOption && arg == "--no-http") {
            in.noHttp = true;
        } else if (isOption && isValueOption(arg, "--http")) {
            if (!takeValue(args, i, "--http", "HOST:PORT", in.http, error)) {
                return false;
            }
        } else if (isOption && isValueOption(arg, "--http-password-file")) {
            if (!takeValue(args, i, "--http-password-file", "FILE", in.httpPasswordFile, error)) {
                return false;
            }
        } else if (isOption && isValueOption(arg, "--listen")) {
            if (!takeValue(args, i, "--listen", "HOST:PORT", in.listen, error)) {
                return false;
            }
        } else if (isOption && isValueOption(arg, "--max-clients")) {
            if (!takeValue(args, i, "--max-clients", "a number", in.maxClients, error)) {
                return false;
            }
        } else if (isOption && arg == "--no-vxi11") {
            in.noVxi11 = true;
        } else if (isOption && isValueOption(arg, "--vxi11-port")) {
            if (!takeValue(args, i, "--vxi11-port", "a port", in.vxi11Port, error)) {
                return false;
            }
        } else if (isOption && isValueOption(arg, "--serial")) {
            if (!takeValue(args, i, "--serial", "a serial number", in.serial, error)) {
                return false;
            }
        } else if (isOption) {
            error = "unknown option " + arg;
            return false;
        } else if (in.command == Command::None) {
            for (const auto& [name, command] : kCommands) {
                if (arg == name) {
                    in.command = command;
                }
            }
            if (in.command == Command::None) {
                error = "unknown command \"" + arg + "\"";
                return false;
            }
        } else {
            in.operands.push_back(arg);
        }
    }
    if (!in.help && !in.version && !checkCommand(in, error)) {
        return false;
    }
    out = std::move(in);
    return true;
}

std::string helpText(Command command) {
    switch (command) {
        case Command::List:
            return "Usage: trelvix-pulse-cli [--serial SERIAL] [--json] list\n"
                   "\n"
                   "Lists every generator present, one line each, the fields separated by tabs:\n"
                   "serial number, maker, product, version, path. With --serial, only the\n"
                   "generators with exactly that serial number. No generator: exit status 2.\n";
        case Command::Show:
            return "Usage: trelvix-pulse-cli [--serial SERIAL] [--json] show\n"
                   "\n"
                   "Reads the settings of one generator and prints them as NAME=VALUE lines\n"
                   "(freq, amplitude-mv, amplitude-index, polarity, trigger, sync-freq), after\n"
                   "its serial number, maker, product, version and path. A value the generator\n"
                   "holds outside its range is shown as the window shows it, and marked.\n"
                   "--json prints the same as one JSON object, which apply reads back.\n";
        case Command::Set:
            return "Usage: trelvix-pulse-cli [--serial SERIAL] [--exact] set NAME=VALUE...\n"
                   "\n"
                   "Checks every value, then sends one report per setting, in the order given.\n"
                   "One bad value sends nothing (exit status 1).\n"
                   "\n"
                   "  freq=HZ              pulse frequency, 25000 to 350000000 Hz; a fraction\n"
                   "                       is rounded, halves up\n"
                   "  sync-freq=HZ         external sync frequency, 1000000 to 300000000 Hz; a\n"
                   "                       fraction is rounded to the nearest, halves to even\n"
                   "  amplitude-mv=MV      amplitude into 50 ohm, 49 to 1624 mV: the nearest\n"
                   "                       listed step; with --exact MV must be a listed step\n"
                   "  amplitude-index=N    amplitude step, 0 to 510\n"
                   "  polarity=normal|inverted\n"
                   "  trigger=output|sync  the trigger/sync connector: trigger output or sync\n"
                   "                       input\n"
                   "\n"
                   "A number is digits with an optional sign, an optional fraction after a\n"
                   "point and an optional exponent (2.5e4), blanks around it allowed.\n";
        case Command::Defaults:
            return "Usage: trelvix-pulse-cli [--serial SERIAL] defaults\n"
                   "\n"
                   "Restores the default settings as the window's \"Restore default settings\"\n"
                   "does, with the same eight reports in the same order: pulse frequency\n"
                   "10000000 Hz, amplitude 1096 mV (twice), trigger output (twice), sync\n"
                   "frequency 10000000 Hz, polarity normal (twice).\n";
        case Command::Apply:
            return "Usage: trelvix-pulse-cli [--serial SERIAL] [--exact] apply FILE\n"
                   "       trelvix-pulse-cli [--serial SERIAL] [--exact] apply -\n"
                   "\n"
                   "Applies a setup saved with 'show --json' (from standard input with -): its\n"
                   "\"settings\" object must hold freq, amplitude_index or amplitude_mv,\n"
                   "polarity, trigger and sync_freq. Every value is checked as set checks it,\n"
                   "then the five settings are sent in the order defaults uses: pulse\n"
                   "frequency, amplitude, trigger, sync frequency, polarity. The serial number\n"
                   "in the file is not used to choose the generator.\n";
        case Command::Serve:
            return serveHelpText();
        case Command::None:
            break;
    }
    return "Usage: trelvix-pulse-cli [--serial SERIAL] [--json] [--exact] COMMAND [ARGUMENTS]\n"
           "\n"
           "Reads and changes the settings of Trelvix Pulse Generators, for scripts.\n"
           "\n"
           "Commands:\n"
           "  list               the generators present\n"
           "  show               the settings of one generator\n"
           "  set NAME=VALUE...  sends settings: freq, amplitude-mv, amplitude-index,\n"
           "                     polarity, trigger, sync-freq\n"
           "  defaults           restores the default settings\n"
           "  apply FILE|-       applies a setup saved with 'show --json'\n"
           "  serve              serves one generator as an SCPI instrument over TCP\n"
           "\n"
           "Options:\n"
           "  --serial SERIAL    the generator with exactly this serial number; without\n"
           "                     it, the only generator present\n"
           "  --json             JSON output, for list and show\n"
           "  --exact            amplitude-mv must be a listed step, for set and apply\n"
           "  --simulate         the demo's two simulated generators (maker \"(simulated)\")\n"
           "                     instead of the generators attached, for trying\n"
           "                     scripts; without --serial, the one the demo's\n"
           "                     window opens, the last listed\n"
           "  --listen HOST:PORT where serve listens (default 127.0.0.1:5025)\n"
           "  --max-clients N    how many clients serve takes at once (default 8)\n"
           "  --no-mdns          serve does not announce itself on the network\n"
           "  --no-vxi11         serve without VXI-11 (the socket only)\n"
           "  --vxi11-port PORT  serve's VXI-11 core channel port (default: any free)\n"
           "  --http HOST:PORT   where serve's page is (default 127.0.0.1:8080)\n"
           "  --no-http          serve without the page\n"
           "  --http-password-file FILE\n"
           "                     the password for changes from the page on other than\n"
           "                     loopback\n"
           "  --help             this help; after a command, the command's\n"
           "  --version          the program's version\n"
           "\n"
           "Exit status: 0 done; 1 bad usage or value (nothing is sent); 2 no generator,\n"
           "or none with the serial number given; 3 a platform call failed.\n";
}

}  // namespace tpg::cli
