#include "deploy/arguments.h"

#include <set>

#include "common/text.h"
#include "deploy/work_dir.h"

namespace ssdprep::deploy {

const char kUsage[] =
    "usage: ssdprep-deploy [--work-dir DIR] [--decline-stops] [--create-without-hibernation]\n"
    "                      [--timeout SECONDS]\n"
    "       ssdprep-deploy --forget [--work-dir DIR] | --help | --version\n";

const char kHelp[] =
    "\n"
    "Runs ssdprep.exe once, unattended, and ends with 0 (set-up may go on) or 3\n"
    "(stop set-up). ssdprep.exe and ssdprep-inspect.exe must lie beside this\n"
    "program. Every step goes into ssdprep-deploy.log in the work dir. Where an\n"
    "earlier run left its trace, ssdprep.exe is not started again.\n"
    "\n"
    "  --work-dir DIR     an existing folder on a local fixed drive, as X:\\...:\n"
    "                     the current directory of the programs it starts, and\n"
    "                     where the scripts, the log and the state file go\n"
    "                     (default: this program's folder, which must then be\n"
    "                     on a local fixed drive too)\n"
    "  --decline-stops    end with 3 where ssdprep.exe would decline the machine\n"
    "                     or cannot serve it (default: 0)\n"
    "  --create-without-hibernation\n"
    "                     run ssdprep.exe even where drive 0 has no hibernation\n"
    "                     partition: it deletes nothing and adds a partition\n"
    "  --timeout SECONDS  wait at most this long for ssdprep.exe, 1 to 86400\n"
    "                     (default 600; under 60 only for tests: it warns)\n"
    "  --forget           before an image is captured: remove the state file,\n"
    "                     the tool's scripts and the record HKLM\\SOFTWARE\\ssdprep\n"
    "                     of a run that ended done; refuse, removing nothing,\n"
    "                     where drive 0 may be half changed\n"
    "\n"
    "Exit codes: 0 done, already done, or nothing to do here; 3 stop set-up,\n"
    "for the reason the log's last line gives. A usage error ends with 3 too.\n"
    "A stop before the work dir's log is open goes to standard error and to\n"
    "ssdprep-deploy.log in the temp folder.\n";

namespace {

// X:\...: a folder on a drive letter, which does not depend on the current
// directory or drive. Shares and \\?\ paths are refused by name.
std::string WorkDirProblem(const std::u16string& path) {
    if (path.starts_with(u"\\\\?\\") || path.starts_with(u"\\\\.\\")) {
        return "--work-dir takes a folder as X:\\..., not a \\\\?\\ or \\\\.\\ path: " +
               Bytes(path);
    }
    if (path.starts_with(u"\\\\")) {
        return "--work-dir takes a folder on a local fixed drive, as X:\\..., not the network "
               "path " +
               Bytes(path);
    }
    return IsDrivePath(path)
               ? ""
               : "--work-dir needs an absolute path, such as C:\\Deploy\\ssdprep, not " +
                     Bytes(path);
}

// Whole seconds from 1 to the most, in decimal digits only.
bool ParseSeconds(const std::u16string& text, std::uint32_t* seconds) {
    std::uint64_t value = 0;
    for (const char16_t c : text) {
        if (c < u'0' || c > u'9' || value > kLongestTimeoutSeconds) {
            return false;
        }
        value = value * 10 + static_cast<std::uint64_t>(c - u'0');
    }
    *seconds = static_cast<std::uint32_t>(value);
    return !text.empty() && value >= 1 && value <= kLongestTimeoutSeconds;
}

Arguments Usage(const std::string& error) {
    Arguments parsed;
    parsed.kind = Arguments::Kind::Usage;
    parsed.error = error;
    return parsed;
}

bool IsBlank(char16_t c) { return c == u' ' || c == u'\t'; }

}  // namespace

std::vector<std::u16string> SplitCommandLine(std::u16string_view line) {
    // The program's name: quotes group, and nothing is escaped.
    std::size_t i = 0;
    for (bool quoted = false; i < line.size() && (quoted || !IsBlank(line[i])); ++i) {
        quoted = line[i] == u'"' ? !quoted : quoted;
    }
    std::vector<std::u16string> arguments;
    for (;;) {
        while (i < line.size() && IsBlank(line[i])) {
            ++i;
        }
        if (i == line.size()) {
            return arguments;
        }
        std::u16string argument;
        for (bool quoted = false; i < line.size() && (quoted || !IsBlank(line[i]));) {
            std::size_t backslashes = 0;
            for (; i < line.size() && line[i] == u'\\'; ++i) {
                ++backslashes;
            }
            if (i == line.size() || line[i] != u'"') {
                argument.append(backslashes, u'\\');
                if (i < line.size() && (quoted || !IsBlank(line[i]))) {
                    argument.push_back(line[i++]);
                }
                continue;
            }
            // Backslashes before a quotation mark: half of them stay, and an
            // odd one makes the mark a character.
            argument.append(backslashes / 2, u'\\');
            if (backslashes % 2 == 1) {
                argument.push_back(line[i++]);
            } else if (quoted && i + 1 < line.size() && line[i + 1] == u'"') {
                argument.push_back(u'"');  // "" inside quotes: one mark
                i += 2;
                quoted = false;
            } else {
                quoted = !quoted;
                ++i;
            }
        }
        arguments.push_back(argument);
    }
}

Arguments ParseArguments(const std::vector<std::u16string>& arguments) {
    Arguments parsed;
    std::set<std::u16string> seen;
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        const std::u16string& option = arguments[i];
        const std::string name = Bytes(option);
        if (!seen.insert(option).second) {
            return Usage(name + " is given twice");
        }
        if (option == u"--help" || option == u"--version") {
            parsed.kind = option == u"--help" ? Arguments::Kind::Help : Arguments::Kind::Version;
            return parsed;
        }
        if (option == u"--forget") {
            parsed.settings.options.forget = true;
        } else if (option == u"--decline-stops") {
            parsed.settings.options.declineStops = true;
        } else if (option == u"--create-without-hibernation") {
            parsed.settings.options.createWithoutHibernation = true;
        } else if (option == u"--work-dir" || option == u"--timeout") {
            if (i + 1 == arguments.size()) {
                return Usage(name + " needs a value");
            }
            const std::u16string& value = arguments[++i];
            if (option == u"--timeout") {
                if (!ParseSeconds(value, &parsed.settings.timeoutSeconds)) {
                    return Usage("--timeout needs whole seconds from 1 to 86400, not " +
                                 Bytes(value));
                }
            } else if (const std::string problem = WorkDirProblem(value); !problem.empty()) {
                return Usage(problem);
            } else {
                parsed.settings.workDir = value;
            }
        } else {
            return Usage("unknown option " + name);
        }
    }
    const Options& options = parsed.settings.options;
    if (options.forget &&
        (options.declineStops || options.createWithoutHibernation || seen.count(u"--timeout"))) {
        return Usage("--forget takes no option but --work-dir");
    }
    return parsed;
}

}  // namespace ssdprep::deploy
