// The pattern matcher of --exclude. It runs the pattern as a set of positions advanced together over
// the path, one character at a time (never by backtracking), so that no pattern, however many stars
// it holds, can take more than the path's length times its own.
#include "cli/glob.h"

#include <algorithm>

namespace scourvane::cli
{

namespace
{
char folded(char c, bool ignoreCase)
{
    return ignoreCase && c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

char separatorOf(char c)
{
#ifdef _WIN32
    return c == '\\' ? '/' : c;
#else
    return c;
#endif
}
} // namespace

Glob::Glob(std::string_view pattern, bool ignoreCase) : pattern_(pattern), ignoreCase_(ignoreCase)
{
    std::string text;
    for (char c : pattern)
        text += separatorOf(c);
    while (!text.empty() && text.back() == '/')
    {
        foldersOnly_ = true;
        text.pop_back();
    }
    anchored_ = text.find('/') != std::string::npos;
    if (!text.empty() && text.front() == '/') text.erase(0, 1);

    size_t p = 0;
    while (p < text.size())
    {
        const char c = text[p];
#ifndef _WIN32
        if (c == '\\' && p + 1 < text.size())
        {
            tokens_.push_back({Kind::literal, text[p + 1]});
            p += 2;
            continue;
        }
#endif
        if (c == '*')
            p = readStars(text, p);
        else if (c == '?')
        {
            tokens_.push_back({Kind::anyOne});
            ++p;
        }
        else if (c != '[' || !readSet(text, p))
        {
            tokens_.push_back({Kind::literal, c}); // a '[' with no closing bracket included
            ++p;
        }
    }
}

size_t Glob::readStars(const std::string& text, size_t p)
{
    size_t end = p;
    while (end < text.size() && text[end] == '*')
        ++end;
    const bool wholeSegment =
        end - p >= 2 && (p == 0 || text[p - 1] == '/') && (end == text.size() || text[end] == '/');
    if (!wholeSegment)
        tokens_.push_back({Kind::star});
    else if (end == text.size())
        tokens_.push_back({Kind::anyRun});
    else
    {
        // "**/": any run that ends with a slash, or nothing at all.
        Token run{Kind::anyRun};
        run.skipsNext = true;
        tokens_.push_back(run);
        tokens_.push_back({Kind::literal, '/'});
        ++end;
    }
    return end;
}

bool Glob::readSet(const std::string& text, size_t& p)
{
    size_t q = p + 1;
    Token set{Kind::set};
    if (q < text.size() && (text[q] == '!' || text[q] == '^'))
    {
        set.negated = true;
        ++q;
    }
    set.first = static_cast<uint32_t>(ranges_.size());
    const size_t setStart = q;
    bool closed = false;
    while (q < text.size())
    {
        if (text[q] == ']' && q > setStart)
        {
            closed = true;
            break;
        }
        char low = text[q];
#ifndef _WIN32
        if (low == '\\' && q + 1 < text.size()) low = text[++q];
#endif
        char high = low;
        if (q + 2 < text.size() && text[q + 1] == '-' && text[q + 2] != ']')
        {
            high = text[q + 2];
            q += 2;
        }
        ranges_.emplace_back(low, high);
        ++q;
    }
    if (!closed)
    {
        ranges_.resize(set.first);
        return false;
    }
    set.count = static_cast<uint32_t>(ranges_.size()) - set.first;
    tokens_.push_back(set);
    p = q + 1;
    return true;
}

bool Glob::takes(const Token& token, char c) const
{
    switch (token.kind)
    {
    case Kind::literal:
        return folded(token.c, ignoreCase_) == folded(c, ignoreCase_);
    case Kind::anyOne:
    case Kind::star:
        return c != '/';
    case Kind::anyRun:
        return true;
    case Kind::set:
    {
        if (c == '/') return false;
        bool inside = false;
        for (uint32_t k = token.first; k < token.first + token.count; ++k)
        {
            const auto [low, high] = ranges_[k];
            inside = inside || (c >= low && c <= high) ||
                     (ignoreCase_ && folded(c, true) >= folded(low, true) &&
                      folded(c, true) <= folded(high, true));
        }
        return inside != token.negated;
    }
    }
    return false;
}

bool Glob::matches(std::string_view path, bool isFolder) const
{
    if (foldersOnly_ && !isFolder) return false;
    if (!anchored_)
    {
        const size_t slash = path.rfind('/');
        if (slash != std::string_view::npos) path.remove_prefix(slash + 1);
    }
    // active[i]: the pattern's first i tokens match what has been read so far. Every step of the
    // pattern that may match nothing only leads forward, so one forward pass closes the set.
    const size_t n = tokens_.size();
    std::vector<char> active(n + 1, 0), next(n + 1, 0);
    const auto close = [&](std::vector<char>& states)
    {
        for (size_t i = 0; i < n; ++i)
        {
            if (!states[i]) continue;
            const Token& token = tokens_[i];
            if (token.kind == Kind::star || token.kind == Kind::anyRun) states[i + 1] = 1;
            if (token.skipsNext) states[i + 2] = 1; // past the slash that follows it
        }
    };
    active[0] = 1;
    close(active);
    for (char c : path)
    {
        std::fill(next.begin(), next.end(), 0);
        bool any = false;
        for (size_t i = 0; i < n; ++i)
        {
            if (!active[i] || !takes(tokens_[i], c)) continue;
            const bool stays = tokens_[i].kind == Kind::star || tokens_[i].kind == Kind::anyRun;
            if (stays)
                next[i] = 1;
            else
                next[i + 1] = 1;
            any = true;
        }
        if (!any) return false;
        close(next);
        active.swap(next);
    }
    return active[n] != 0;
}

} // namespace scourvane::cli
