// Command-line parsing and the help text.
// The parser is a table of a dozen options and reports by result. A parsing library would report
// usage errors by exception, would have to be found by the MinGW cross build as well, and would
// still need the did-you-mean and the checks between options written here.
#include "cli/cli.h"

#include <algorithm>

#ifndef SCOURVANE_VERSION
#define SCOURVANE_VERSION "unknown"
#endif

namespace scourvane::cli
{

namespace
{
// The options that take a value, or do more than set one flag; every other option sets the flag
// its table row names.
enum class Option : uint8_t
{
    flag,
    noLog,
    log,
    output,
    jobs,
    filesFrom,
    exclude,
    base,
};

// The most workers -j takes.
constexpr unsigned maxJobs = 256;

struct OptionSpec
{
    Option option;
    char shortName; // '\0' when there is none
    std::string_view longName;
    bool Options::*flag = nullptr; // set by Option::flag
};

constexpr bool takesValue(const OptionSpec& spec)
{
    return spec.option != Option::flag && spec.option != Option::noLog;
}

constexpr OptionSpec optionSpecs[] = {
    {Option::flag, 'r', "recursive", &Options::recursive},
    {Option::flag, 'n', "dry-run", &Options::dryRun},
    {Option::flag, '\0', "check", &Options::check},
    {Option::flag, 'b', "backup", &Options::backup},
    {Option::flag, 'p', "preserve", &Options::preserveTimes},
    {Option::flag, '\0', "explain", &Options::explain},
    {Option::flag, '\0', "json", &Options::json},
    {Option::log, '\0', "log"},
    {Option::noLog, '\0', "no-log"},
    {Option::output, 'o', "output"},
    {Option::filesFrom, '\0', "files-from"},
    {Option::flag, '0', "null", &Options::nulSeparated},
    {Option::exclude, '\0', "exclude"},
    {Option::flag, 'a', "archives", &Options::archives},
    {Option::flag, '\0', "textures", &Options::textures},
    {Option::base, '\0', "base"},
    {Option::jobs, 'j', "jobs"},
    {Option::flag, 'q', "quiet", &Options::quiet},
    {Option::flag, 'v', "verbose", &Options::verbose},
    {Option::flag, 'h', "help", &Options::help},
    {Option::flag, 'V', "version", &Options::version},
};

// A plain count from 1 to maxJobs: more workers than that only wait on the disk.
bool parseJobs(std::string_view value, Options& options, std::string& error)
{
    unsigned count = 0;
    bool valid = !value.empty() && value.size() <= 4;
    for (char c : value)
    {
        valid = valid && c >= '0' && c <= '9';
        if (valid) count = count * 10 + static_cast<unsigned>(c - '0');
    }
    if (!valid || count == 0 || count > maxJobs)
    {
        error = "--jobs needs a number of files to clean at once, from 1 to " + std::to_string(maxJobs);
        return false;
    }
    options.jobs = count;
    return true;
}

// What an option whose value is empty says it needs; "" for one that is not refused so (a flag, or
// -j, whose own check says more).
std::string_view neededValue(Option option)
{
    switch (option)
    {
    case Option::log:
        return "--log needs a file name";
    case Option::output:
        return "--output needs a folder";
    case Option::filesFrom:
        return "--files-from needs a file (- for standard input)";
    case Option::base:
        return "--base needs the base game's folder or archive";
    case Option::exclude:
        return "--exclude needs a pattern, such as original/ or *_old.3do";
    default:
        return "";
    }
}

bool apply(const OptionSpec& spec, std::string_view value, Options& options, std::string& error)
{
    if (value.empty() && !neededValue(spec.option).empty())
    {
        error = neededValue(spec.option);
        return false;
    }
    switch (spec.option)
    {
    case Option::flag:
        options.*spec.flag = true;
        break;
    case Option::noLog:
        options.writeLog = false;
        break;
    case Option::log:
        options.logPath = value;
        options.writeLog = true;
        break;
    case Option::output:
        options.outputDir = value;
        break;
    case Option::jobs:
        return parseJobs(value, options, error);
    case Option::filesFrom:
        options.filesFrom.emplace_back(value);
        break;
    case Option::exclude:
        options.excludes.emplace_back(value);
        break;
    case Option::base:
        options.bases.emplace_back(value);
        break;
    }
    return true;
}

// Edits (insert, delete, change, swap two neighbours) that turn `a` into `b`.
size_t editDistance(std::string_view a, std::string_view b)
{
    std::vector<std::vector<size_t>> d(a.size() + 1, std::vector<size_t>(b.size() + 1));
    for (size_t i = 0; i <= a.size(); ++i)
        d[i][0] = i;
    for (size_t j = 0; j <= b.size(); ++j)
        d[0][j] = j;
    for (size_t i = 1; i <= a.size(); ++i)
        for (size_t j = 1; j <= b.size(); ++j)
        {
            d[i][j] = std::min({d[i - 1][j] + 1, d[i][j - 1] + 1, d[i - 1][j - 1] + (a[i - 1] != b[j - 1])});
            if (i > 1 && j > 1 && a[i - 1] == b[j - 2] && a[i - 2] == b[j - 1])
                d[i][j] = std::min(d[i][j], d[i - 2][j - 2] + 1);
        }
    return d[a.size()][b.size()];
}

bool checkCombination(const Options& options, std::string& error)
{
    const bool pipe = std::find(options.paths.begin(), options.paths.end(), "-") != options.paths.end();
    if (pipe && (options.paths.size() > 1 || !options.filesFrom.empty()))
        error = "- (a model on standard input) cannot be cleaned with other paths; name ./- for a file "
                "called -";
    else if (pipe && !options.outputDir.empty())
        error = "- writes the cleaned model to standard output, so it takes no --output";
    else if (pipe && options.backup)
        error = "- leaves standard input as it is, so it takes no --backup";
    else if (pipe && options.preserveTimes)
        error = "- writes to standard output, which has no times to keep, so it takes no --preserve";
    else if (options.textures &&
             (pipe || !options.outputDir.empty() || options.backup || options.dryRun || options.check))
        error = "--textures writes nothing and cleans nothing, so it takes no -, --output, --backup, "
                "--dry-run or --check";
    else if (!options.bases.empty() && !options.textures)
        error = "--base names the base game for --textures";
    else if (options.quiet && options.verbose)
        error = "-q and -v cannot be used together";
    else if (options.quiet && options.explain)
        error = "-q and --explain cannot be used together";
    else if (options.textures && options.explain)
        error = "--textures cleans nothing, so it takes no --explain";
    else if (options.check && !options.outputDir.empty())
        error = "--check writes nothing, so it takes no --output";
    else if (options.backup && !options.outputDir.empty())
        error = "--output leaves the models as they are, so it takes no --backup";
    else if (options.nulSeparated && options.filesFrom.empty())
        error = "-0 (--null) says how a --files-from list is separated, and there is none";
    else if (std::count(options.filesFrom.begin(), options.filesFrom.end(), "-") > 1)
        error = "standard input can take only one --files-from list";
    else if (options.paths.empty() && options.filesFrom.empty())
        error = "no PATH given";
    return error.empty();
}
} // namespace

bool cleansPipe(const Options& options)
{
    return options.paths.size() == 1 && options.paths.front() == "-" && options.filesFrom.empty();
}

std::string nearestOption(std::string_view typed)
{
    while (!typed.empty() && typed.front() == '-')
        typed.remove_prefix(1);
    typed = typed.substr(0, typed.find('='));
    std::string_view best;
    size_t bestDistance = 3; // farther than two edits is no near miss
    for (const OptionSpec& spec : optionSpecs)
    {
        size_t distance = editDistance(typed, spec.longName);
        if (typed.size() >= 3 && spec.longName.starts_with(typed)) distance = 1;
        if (distance < bestDistance && distance < spec.longName.size())
        {
            best = spec.longName;
            bestDistance = distance;
        }
    }
    return best.empty() ? std::string() : "--" + std::string(best);
}

bool parseOptions(int argc, const char* const* argv, Options& options, std::string& error)
{
    bool optionsEnded = false;
    for (int i = 1; i < argc; ++i)
    {
        std::string_view argument = argv[i];
        auto nextValue = [&](std::string_view& value)
        {
            if (i + 1 >= argc) return false;
            value = argv[++i];
            return true;
        };
        if (optionsEnded || argument.size() < 2 || argument[0] != '-')
        {
            options.paths.emplace_back(argument);
            continue;
        }
        if (argument == "--")
        {
            optionsEnded = true;
            continue;
        }
        if (argument.starts_with("--"))
        {
            const std::string_view name = argument.substr(2, argument.find('=') - 2);
            const OptionSpec* spec = nullptr;
            for (const OptionSpec& candidate : optionSpecs)
                if (candidate.longName == name) spec = &candidate;
            if (spec == nullptr)
            {
                error = "unknown option " + std::string(argument);
                if (const std::string suggestion = nearestOption(argument); !suggestion.empty())
                    error += " (did you mean " + suggestion + "?)";
                return false;
            }
            std::string_view value;
            const bool hasEquals = argument.find('=') != std::string_view::npos;
            if (hasEquals && !takesValue(*spec))
            {
                error = "--" + std::string(spec->longName) + " takes no value";
                return false;
            }
            if (hasEquals)
                value = argument.substr(argument.find('=') + 1);
            else if (takesValue(*spec))
                nextValue(value);
            if (!apply(*spec, value, options, error)) return false;
            continue;
        }
        // A bundle of short options; one that takes a value takes the rest of the bundle, or the
        // next argument.
        for (size_t k = 1; k < argument.size(); ++k)
        {
            const OptionSpec* spec = nullptr;
            for (const OptionSpec& candidate : optionSpecs)
                if (candidate.shortName == argument[k]) spec = &candidate;
            if (spec == nullptr)
            {
                error = "unknown option -" + std::string(1, argument[k]);
                if (argument.size() > 2) error += " in " + std::string(argument);
                return false;
            }
            std::string_view value;
            if (takesValue(*spec))
            {
                if (k + 1 < argument.size())
                    value = argument.substr(k + 1);
                else
                    nextValue(value);
                k = argument.size();
            }
            if (!apply(*spec, value, options, error)) return false;
        }
    }
    if (options.help || options.version) return true;
    return checkCombination(options, error);
}

std::string usageText()
{
    return "Usage: scourvane-cli [options] PATH...\n"
           "       scourvane-cli [options] --files-from FILE [PATH]...\n"
           "       scourvane-cli [options] - < MODEL > CLEANED\n"
           "       scourvane-cli --textures [--base PATH]... [options] ROOT...\n"
           "Cleans 3DO model files in place: merges duplicate vertexes, drops untextured faces of\n"
           "colour 0 (lines and the protected face excepted) and unused vertexes, gives empty parts a\n"
           "single point, and stores each texture name once.\n"
           "\n"
           "Each PATH is a 3DO file or a directory (its *.3do files, any case). A PATH of - alone\n"
           "cleans the model on standard input to standard output (the original bytes when it is\n"
           "already clean, nothing when it cannot be cleaned), with the report on standard error\n"
           "and no log.\n"
           "\n"
           "An archive (.sdz .zip, or TA's .hpi .ufo .ccx .gp3) named as a PATH, whatever its\n"
           "extension, has its models cleaned inside it; reported as ARCHIVE:entry.\n"
           "\n"
           "Options:\n"
           "  -r, --recursive   also clean the *.3do files of all subdirectories\n"
           "  -n, --dry-run     only report what cleaning would remove; write nothing, not even a log\n"
           "      --check       list the files cleaning would change; write nothing; exit 1 if any\n"
           "                    would change, 3 if any cannot be read or cleaned\n"
           "  -o, --output DIR  write the cleaned models below DIR (each at its path relative to the\n"
           "                    PATH that named it) and leave the originals alone\n"
           "  -b, --backup      keep each original as NAME.bak before replacing it\n"
           "  -p, --preserve    give each written model the modification and access times it had\n"
           "                    (a copy below --output those of its source)\n"
           "      --explain     also tell, part by part, what cleaning takes: vertexes merged,\n"
           "                    unused vertexes dropped, the numbers of the faces dropped, and a\n"
           "                    point added to a part left without faces\n"
           "      --files-from FILE\n"
           "                    also clean the paths listed in FILE, one a line (- for standard\n"
           "                    input); one run, one report and one log for them all\n"
           "  -0, --null        the --files-from list separates names with NUL (find -print0)\n"
           "      --exclude GLOB\n"
           "                    skip the files and folders whose path below a folder PATH, or whose\n"
           "                    name, matches GLOB (*, ?, ** and [...] as in .gitignore; a trailing /\n"
           "                    for folders only); may be repeated\n"
           "  -a, --archives    in folders, also clean the models inside the archives met (an archive\n"
           "                    named as a PATH is always opened)\n"
           "      --textures    report the textures the models of each ROOT (a mod's folder or\n"
           "                    archive) name that nothing provides, and the texture files no model\n"
           "                    uses; writes nothing; exit 1 if one is missing\n"
           "      --base PATH   with --textures: the base game's folder or archive, whose textures\n"
           "                    count as provided and are never reported unused; may be repeated\n"
           "  -j, --jobs N      clean N files at once (default: one per core; the report keeps\n"
           "                    the files' order)\n"
           "      --json        print one JSON object for the run instead of the report\n"
           "      --log FILE    write the report to FILE instead of log.txt\n"
           "      --no-log      write no report file\n"
           "  -q, --quiet       print only errors and the summary\n"
           "  -v, --verbose     also say for each file whether it was written or left alone\n"
           "  -h, --help        show this help\n"
           "  -V, --version     show the version\n"
           "\n"
           "A model that is already clean is not rewritten. Every cleaned model is checked to draw\n"
           "exactly what the original drew before it is written.\n"
           "\n"
           "Exit status: 0 when every file was cleaned, 1 when any failed, none was found or the\n"
           "log could not be written, 2 for a usage error, 130 (143, 129) when interrupted by Ctrl+C\n"
           "(SIGTERM, SIGHUP). With --check: 0 when every model is clean, 1 when every model could\n"
           "be read and some would change, 3 when any cannot be read or cleaned (or none was found).\n"
           "With --textures: 0 when nothing is missing, 1 when a texture is missing, 3 when a model\n"
           "or texture source cannot be read.\n";
}

const char* versionText()
{
    return SCOURVANE_VERSION;
}

} // namespace scourvane::cli
