// The OpenSSH client configuration reader: lines, Includes, Host blocks, and each alias's values as ssh takes them.
#include "import/ssh_config.h"

#include <algorithm>
#include <map>
#include <optional>
#include <set>

#include "store/file_system.h"

namespace quorvane {

namespace {

char lowerAscii(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

std::string lowered(std::string_view text) {
    std::string lower(text);
    std::transform(lower.begin(), lower.end(), lower.begin(), lowerAscii);
    return lower;
}

bool isBlank(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\f' || c == '\v';
}

bool hasWildcard(std::string_view text) {
    return text.find_first_of("*?") != std::string_view::npos;
}

// '*' any run, '?' one character; letter case aside, as ssh matches host names. Iterative: no pattern costs
// more than its length times the text's.
bool globMatches(std::string_view pattern, std::string_view text) {
    std::size_t p = 0, t = 0, star = std::string_view::npos, resume = 0;
    while (t < text.size()) {
        if (p < pattern.size() && (pattern[p] == '?' || lowerAscii(pattern[p]) == lowerAscii(text[t]))) {
            ++p;
            ++t;
        } else if (p < pattern.size() && pattern[p] == '*') {
            star = p++;
            resume = t;
        } else if (star != std::string_view::npos) {
            p = star + 1;
            t = ++resume;
        } else {
            return false;
        }
    }
    while (p < pattern.size() && pattern[p] == '*')
        ++p;
    return p == pattern.size();
}

struct ConfigLine {
    std::string keyword; // lower case
    std::vector<std::string> args;
    std::string source;
};

enum class BlockKind { All, Host, Match };

struct Block {
    BlockKind kind = BlockKind::All;
    std::vector<std::string> patterns;
    std::string source;
    std::vector<const ConfigLine*> lines;

    // A negated pattern that matches rules the block out, whatever else matches.
    bool appliesTo(std::string_view alias) const {
        if (kind != BlockKind::Host)
            return kind == BlockKind::All;
        bool matched = false;
        for (const std::string& pattern : patterns) {
            if (pattern.starts_with('!')) {
                if (globMatches(std::string_view(pattern).substr(1), alias))
                    return false;
            } else if (globMatches(pattern, alias)) {
                matched = true;
            }
        }
        return matched;
    }
};

// Splits a line's arguments: blanks separate, double quotes group (and go), '#' at the start of one ends the
// line. False for a quote left open.
bool splitArguments(std::string_view text, std::vector<std::string>& args) {
    std::size_t at = 0;
    while (true) {
        while (at < text.size() && isBlank(text[at]))
            ++at;
        if (at == text.size() || text[at] == '#')
            return true;
        if (text[at] == '"') {
            const std::size_t close = text.find('"', at + 1);
            if (close == std::string_view::npos)
                return false;
            args.emplace_back(text.substr(at + 1, close - at - 1));
            at = close + 1;
            continue;
        }
        const std::size_t start = at;
        while (at < text.size() && !isBlank(text[at]) && text[at] != '"')
            ++at;
        args.emplace_back(text.substr(start, at - start));
    }
}

bool isAbsolute(std::string_view path) {
    return path.starts_with('/') || path.starts_with('\\') || (path.size() > 1 && path[1] == ':');
}

std::string folderOf(const std::string& path) {
    const std::size_t cut = path.find_last_of(fs::separator() == '/' ? "/" : "/\\");
    return cut == std::string::npos ? std::string(".") : path.substr(0, cut);
}

class ConfigReader {
public:
    ConfigReader(const std::string& sshFolder, const std::string& home) : m_sshFolder(sshFolder), m_home(home) {}

    void read(const std::string& path, int depth) {
        if (m_stopped)
            return;
        if (depth > kSshConfigMaxIncludeDepth)
            return refuse(path, "it is included more than " + std::to_string(kSshConfigMaxIncludeDepth) + " deep");
        const std::string canonical = fs::canonicalPath(path);
        if (std::find(m_chain.begin(), m_chain.end(), canonical) != m_chain.end())
            return refuse(path, "it includes itself");
        if (m_files == kSshConfigMaxFiles || m_total >= kSshConfigMaxTotalBytes) {
            m_stopped = true;
            return refuse(path, "the configuration's files are too many or too large together: the rest is not read");
        }
        std::string bytes;
        const fs::FileStatus status = readUserFile(path, kSshConfigMaxFileBytes, bytes);
        if (status == fs::FileStatus::Missing)
            return; // ssh passes over an Include that names nothing
        if (status != fs::FileStatus::Ok)
            return refuse(path, fs::fileProblemWords(status, path, kSshConfigMaxFileBytes));
        ++m_files;
        m_total += bytes.size();
        m_chain.push_back(canonical);
        std::size_t number = 0;
        for (std::size_t start = 0; start < bytes.size();) {
            std::size_t end = bytes.find('\n', start);
            if (end == std::string::npos)
                end = bytes.size();
            ++number;
            readLine(std::string_view(bytes).substr(start, end - start), shown(path) + ":" + std::to_string(number),
                     depth);
            start = end + 1;
        }
        m_chain.pop_back();
    }

    std::vector<ConfigLine> lines; // kept whole: blocks point into it once reading is over
    std::vector<ImportCandidate> refused;

private:
    // A path in the home folder as the user writes it: "~/.ssh/config".
    std::string shown(const std::string& path) const {
        if (!m_home.empty() && path.size() > m_home.size() && path.starts_with(m_home) &&
            (path[m_home.size()] == '/' || path[m_home.size()] == fs::separator()))
            return "~" + path.substr(m_home.size());
        return path;
    }

    void refuse(const std::string& path, std::string words) {
        ImportCandidate candidate;
        candidate.name = shown(path);
        candidate.source = candidate.name;
        candidate.problem = ImportProblem::Unreadable;
        candidate.detail = std::move(words);
        refused.push_back(std::move(candidate));
    }

    void readLine(std::string_view text, std::string source, int depth) {
        std::size_t at = 0;
        while (at < text.size() && isBlank(text[at]))
            ++at;
        std::size_t end = at;
        while (end < text.size() && !isBlank(text[end]) && text[end] != '=')
            ++end;
        if (end == at || text[at] == '#')
            return;
        ConfigLine line{lowered(text.substr(at, end - at)), {}, std::move(source)};
        while (end < text.size() && isBlank(text[end]))
            ++end;
        if (end < text.size() && text[end] == '=')
            ++end;
        if (!splitArguments(text.substr(end), line.args))
            return; // ssh refuses such a line; nothing of it is taken
        if (line.keyword == "include") {
            for (const std::string& pattern : line.args)
                for (const std::string& file : includedFiles(pattern))
                    read(file, depth + 1);
            return;
        }
        lines.push_back(std::move(line));
    }

    std::vector<std::string> includedFiles(const std::string& pattern) const {
        std::string path = pattern;
        if (path.starts_with("~/") || path.starts_with("~\\"))
            path = m_home + path.substr(1);
        else if (!isAbsolute(path))
            path = m_sshFolder + fs::separator() + path;
        const std::string folder = folderOf(path);
        const std::string last = path.substr(folder.size() + 1);
        if (!hasWildcard(last))
            return {path};
        std::vector<std::string> files;
        // As ssh's glob: a wildcard never matches a leading dot (on Windows such a file is not hidden).
        for (const std::string& name : fs::listOrdinaryFiles(folder))
            if (globMatches(last, name) && (!name.starts_with('.') || last.starts_with('.')))
                files.push_back(folder + fs::separator() + name);
        return files;
    }

    const std::string& m_sshFolder;
    const std::string& m_home;
    std::vector<std::string> m_chain;
    std::size_t m_files = 0;
    std::size_t m_total = 0;
    bool m_stopped = false;
};

std::vector<Block> blocksOf(const std::vector<ConfigLine>& lines) {
    std::vector<Block> blocks(1);
    for (const ConfigLine& line : lines) {
        if (line.keyword == "host" || line.keyword == "match") {
            Block block;
            block.kind = line.keyword == "host" ? BlockKind::Host : BlockKind::Match;
            block.patterns = line.args;
            block.source = line.source;
            blocks.push_back(std::move(block));
        } else {
            blocks.back().lines.push_back(&line);
        }
    }
    return blocks;
}

std::string joined(const std::vector<std::string>& words) {
    std::string text;
    for (const std::string& word : words)
        text += (text.empty() ? "" : " ") + word;
    return text;
}

// "%h" the alias, "%d" the home folder, "%r" the user, "%%" a percent sign; '~' at the start the home folder.
std::string expanded(const std::string& value, const std::string& alias, const std::string& home,
                     const std::string& user) {
    std::string text = value.starts_with('~') && (value.size() == 1 || value[1] == '/' || value[1] == '\\')
                           ? home + value.substr(1)
                           : value;
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '%' || i + 1 == text.size()) {
            out += text[i];
            continue;
        }
        switch (text[++i]) {
        case 'h':
            out += alias;
            break;
        case 'd':
            out += home;
            break;
        case 'r':
            out += user;
            break;
        case '%':
            out += '%';
            break;
        default:
            out += text.substr(i - 1, 2);
        }
    }
    return out;
}

// "port", "localhost:port", "[::1]:port", "127.0.0.1/port": the port, when the forward listens on the loopback
// (all a tunnel's forward does); nothing for another address or a socket path.
std::optional<std::string> loopbackPort(std::string_view listen) {
    if (listen.starts_with('/'))
        return std::nullopt;
    const std::size_t cut = listen.find_last_of(":/");
    if (cut == std::string_view::npos)
        return std::string(listen);
    std::string address = lowered(listen.substr(0, cut));
    if (address.size() > 1 && address.front() == '[' && address.back() == ']')
        address = address.substr(1, address.size() - 2);
    if (address != "localhost" && address != "127.0.0.1" && address != "::1")
        return std::nullopt;
    return std::string(listen.substr(cut + 1));
}

// "host:port", "[v6]:port" or "host/port"; nothing for a socket path or a port alone.
std::optional<std::pair<std::string, std::string>> destination(std::string_view text) {
    if (text.starts_with('/'))
        return std::nullopt;
    std::size_t cut = text.find_last_of(':');
    if (cut == std::string_view::npos)
        cut = text.find_last_of('/');
    if (cut == std::string_view::npos || cut == 0)
        return std::nullopt;
    std::string host(text.substr(0, cut));
    if (host.size() > 1 && host.front() == '[' && host.back() == ']')
        host = host.substr(1, host.size() - 2);
    return std::pair{host, std::string(text.substr(cut + 1))};
}

std::string forwardKeyword(const std::string& lowered) {
    return lowered == "localforward" ? "LocalForward" : lowered == "remoteforward" ? "RemoteForward" : "DynamicForward";
}

// A forward line as one of a tunnel's forwards; nothing when no tunnel can hold it.
std::optional<ExtraForward> forwardOf(const ConfigLine& line) {
    const int kind = line.keyword == "localforward"    ? kForwardLocal
                     : line.keyword == "remoteforward" ? kForwardRemote
                                                       : kForwardDynamic;
    const std::size_t wanted = kind == kForwardDynamic ? 1 : 2;
    if (line.args.size() != wanted) // a remote forward without a target is a SOCKS proxy on the server
        return std::nullopt;
    const std::optional<std::string> port = loopbackPort(line.args[0]);
    if (!port)
        return std::nullopt;
    if (kind == kForwardDynamic)
        return ExtraForward{kind, *port, {}, {}};
    const auto target = destination(line.args[1]);
    if (!target)
        return std::nullopt;
    return ExtraForward{kind, *port, target->first, target->second};
}

ImportCandidate candidateFor(const std::string& alias, const std::string& source,
                             const std::vector<const Block*>& blocks, const std::string& home) {
    ImportCandidate candidate;
    candidate.name = alias;
    candidate.tunnelName = tunnelNameFor(alias);
    candidate.source = source;
    std::optional<std::string> hostName, port, user, identity;
    std::vector<ExtraForward> forwards;
    std::string proxy, unsupported;
    auto first = [](std::optional<std::string>& value, const ConfigLine& line) {
        if (!value && !line.args.empty())
            value = line.args.front();
    };
    for (const Block* block : blocks) {
        for (const ConfigLine* line : block->lines) {
            const std::string& keyword = line->keyword;
            if (keyword == "hostname")
                first(hostName, *line);
            else if (keyword == "port")
                first(port, *line);
            else if (keyword == "user")
                first(user, *line);
            else if (keyword == "identityfile")
                first(identity, *line);
            else if ((keyword == "proxyjump" || keyword == "proxycommand") && proxy.empty() && !line->args.empty() &&
                     lowered(line->args.front()) != "none")
                proxy = line->keyword == "proxyjump" ? "ProxyJump" : "ProxyCommand";
            else if (keyword == "localforward" || keyword == "remoteforward" || keyword == "dynamicforward") {
                if (const std::optional<ExtraForward> forward = forwardOf(*line))
                    forwards.push_back(*forward);
                else if (unsupported.empty())
                    unsupported = forwardKeyword(keyword) + " " + joined(line->args);
            }
        }
    }
    TunnelDefinition& definition = candidate.definition;
    definition = newTunnelDefinition();
    definition.IpServer = hostName ? expanded(*hostName, alias, home, user.value_or("")) : alias;
    if (port)
        definition.PortaServer = *port;
    if (user)
        definition.Username = *user;
    if (identity)
        definition.FileChiave = expanded(*identity, alias, home, user.value_or(""));
    setForwards(definition, forwards);
    settleCandidate(candidate, proxy, unsupported, forwards.empty());
    return candidate;
}

} // namespace

std::vector<ImportCandidate> readSshConfig(const std::string& configFile, const std::string& sshFolder,
                                           const std::string& home) {
    ConfigReader reader(sshFolder, home);
    reader.read(configFile, 0);
    const std::vector<Block> blocks = blocksOf(reader.lines);
    std::vector<ImportCandidate> found = std::move(reader.refused);
    // Blocks that name their hosts plainly are found by name, the others are asked: thousands of Host blocks
    // cost thousands of look-ups, not millions of matches.
    std::vector<std::size_t> asked;
    std::map<std::string, std::vector<std::size_t>> named;
    for (std::size_t i = 0; i < blocks.size(); ++i) {
        const Block& block = blocks[i];
        const bool plain = block.kind == BlockKind::Host &&
                           std::none_of(block.patterns.begin(), block.patterns.end(), [](const std::string& name) {
                               return hasWildcard(name) || name.starts_with('!');
                           });
        if (!plain) {
            asked.push_back(i);
            continue;
        }
        for (const std::string& name : block.patterns) {
            std::vector<std::size_t>& list = named[lowered(name)];
            if (list.empty() || list.back() != i)
                list.push_back(i);
        }
    }
    auto applying = [&](const std::string& alias) {
        std::vector<std::size_t> indices = named[lowered(alias)];
        for (const std::size_t i : asked)
            if (blocks[i].appliesTo(alias))
                indices.push_back(i);
        std::sort(indices.begin(), indices.end());
        std::vector<const Block*> list;
        for (const std::size_t i : indices)
            list.push_back(&blocks[i]);
        return list;
    };
    std::set<std::string> seen;
    for (const Block& block : blocks) {
        if (block.kind == BlockKind::All)
            continue;
        bool pattern = block.kind == BlockKind::Match;
        for (const std::string& name : block.patterns) {
            if (hasWildcard(name) && !name.starts_with('!'))
                pattern = true;
            if (block.kind != BlockKind::Host || hasWildcard(name) || name.starts_with('!') ||
                !seen.insert(lowered(name)).second)
                continue;
            found.push_back(candidateFor(name, block.source, applying(name), home));
        }
        if (pattern) {
            ImportCandidate listed;
            listed.name = (block.kind == BlockKind::Match ? "Match " : "Host ") + joined(block.patterns);
            listed.source = block.source;
            listed.problem = block.kind == BlockKind::Match ? ImportProblem::MatchBlock : ImportProblem::PatternHost;
            found.push_back(std::move(listed));
        }
    }
    return found;
}

} // namespace quorvane
