// Patterns that pick files and folders by name or by path, as a .gitignore line does: `*` and `?`
// within a name, `[...]` for one character of a set, `**` across folders.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace scourvane::cli
{

class Glob
{
  public:
    // Reads `pattern` as a .gitignore line reads it. A pattern with a slash before its end matches a
    // path from its start (a leading slash only says so); one without matches a name at any depth.
    // A trailing slash matches folders only. `*` matches any run of characters but a slash, `?` one
    // such character, `[a-z]`, `[!0-9]` (or `[^...]`) one character of a set or outside it; `**` as a
    // whole segment matches any number of folders ("**/x", "a/**/b", "a/**"). A backslash takes the
    // next character as it is (on Windows, where it separates folders, it is a slash). A `[` with no
    // closing `]` is an ordinary character. With `ignoreCase`, ASCII letters match either case.
    explicit Glob(std::string_view pattern, bool ignoreCase = false);

    // True when the file or folder at `path` (relative, its segments separated by '/') matches.
    // Time is at most the path's length times the pattern's, whatever either holds.
    bool matches(std::string_view path, bool isFolder) const;

    const std::string& pattern() const { return pattern_; }

  private:
    enum class Kind : uint8_t
    {
        literal, // `c`
        anyOne,  // ?
        set,     // [...]: `first` indexes ranges_, `count` ranges, `negated`
        star,    // * : any run without a slash
        anyRun,  // ** : any run at all
    };
    struct Token
    {
        Kind kind;
        char c = 0;
        bool negated = false;
        bool skipsNext = false; // "**/": may also match nothing, slash included
        uint32_t first = 0;
        uint32_t count = 0;
    };

    // The pattern's pieces as tokens: a run of stars at `p`, one star or, as a whole segment, any
    // run of folders (returns where the run ends); a set "[...]" at `p` (false, nothing read, when
    // it has no closing bracket; else `p` moves past it).
    size_t readStars(const std::string& text, size_t p);
    bool readSet(const std::string& text, size_t& p);
    bool takes(const Token& token, char c) const;

    std::string pattern_;
    std::vector<Token> tokens_;
    std::vector<std::pair<char, char>> ranges_; // the sets' ranges, a single character as c-c
    bool anchored_ = false;
    bool foldersOnly_ = false;
    bool ignoreCase_ = false;
};

} // namespace scourvane::cli
