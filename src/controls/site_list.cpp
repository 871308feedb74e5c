// SPDX-License-Identifier: MIT
#include "site_list.hpp"

#include <algorithm>
#include <glib.h>
#include <memory>

namespace corvalen::controls {
namespace {

// The parts of an absolute address, as GLib parses it: scheme in lower case,
// host percent-decoded and in IDNA form, dot segments removed from the path,
// which stays percent-encoded so that an encoded "/" is no segment boundary.
struct Address {
    std::string scheme;
    std::string host;
    bool has_host = false;
    bool has_userinfo = false;
    bool has_query_or_fragment = false;
    int port = -1;
    std::string path;
    std::string query;
};

std::optional<Address> parse_address(std::string_view text, bool decoded = false) {
    const std::string copy(text);
    const auto flags =
        decoded ? G_URI_FLAGS_NONE
                : static_cast<GUriFlags>(G_URI_FLAGS_ENCODED_PATH | G_URI_FLAGS_ENCODED_QUERY |
                                         G_URI_FLAGS_ENCODED_FRAGMENT);
    std::unique_ptr<GUri, decltype(&g_uri_unref)> uri(g_uri_parse(copy.c_str(), flags, nullptr),
                                                      g_uri_unref);
    if (!uri) {
        return std::nullopt;
    }
    Address address;
    address.scheme = g_uri_get_scheme(uri.get());
    const char* host = g_uri_get_host(uri.get());
    address.has_host = host != nullptr && *host != '\0';
    address.host = address.has_host ? host : "";
    address.has_userinfo = g_uri_get_userinfo(uri.get()) != nullptr;
    address.has_query_or_fragment =
        g_uri_get_query(uri.get()) != nullptr || g_uri_get_fragment(uri.get()) != nullptr;
    address.port = g_uri_get_port(uri.get());
    address.path = g_uri_get_path(uri.get());
    const char* query = g_uri_get_query(uri.get());
    address.query = query != nullptr ? query : "";
    return address;
}

// For pages and for the web sockets of their sites.
int default_port(std::string_view scheme) {
    return scheme == "http" || scheme == "ws"     ? 80
           : scheme == "https" || scheme == "wss" ? 443
                                                  : -1;
}

// A host as an address writes it: an IPv6 address in brackets.
std::string host_in_address(const std::string& host) {
    return host.find(':') != std::string::npos ? "[" + host + "]" : host;
}

bool is_web(std::string_view scheme) {
    return scheme == "http" || scheme == "https";
}

// A host name in its canonical ASCII form (lower case, no trailing dot), or
// an IP address as it is; none for anything else.
std::optional<std::string> canonical_host(const std::string& host) {
    if (host.empty()) {
        return std::nullopt;
    }
    if (g_hostname_is_ip_address(host.c_str())) {
        return host;
    }
    std::unique_ptr<gchar, decltype(&g_free)> ascii(g_hostname_to_ascii(host.c_str()), g_free);
    if (!ascii || *ascii == '\0') {
        return std::nullopt;
    }
    std::string result(ascii.get());
    const bool plain = std::all_of(result.begin(), result.end(), [](char c) {
        return (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' || c == '.';
    });
    if (!plain || result.front() == '.' || result.find("..") != std::string::npos) {
        return std::nullopt;
    }
    return result;
}

// A segment that a server takes for "." or "..": also with path parameters
// after a ";", which some servers drop before resolving the path.
bool is_dot_segment(std::string_view segment) {
    segment = segment.substr(0, segment.find(';'));
    return segment == "." || segment == "..";
}

// A percent-encoded path as a server resolves it: the unreserved characters
// decoded, the other escapes in upper case, dot segments removed. None when
// a server could still resolve it elsewhere than it reads: an escape for "/"
// or "\", a "\" itself, or a dot segment that removal leaves behind.
std::optional<std::string> resolved_path(std::string_view path) {
    std::string decoded;
    decoded.reserve(path.size());
    for (std::size_t i = 0; i < path.size(); ++i) {
        const int high =
            path[i] == '%' && i + 2 < path.size() ? g_ascii_xdigit_value(path[i + 1]) : -1;
        const int low = high >= 0 ? g_ascii_xdigit_value(path[i + 2]) : -1;
        if (low < 0) {
            decoded += path[i];
            continue;
        }
        const char c = static_cast<char>(high * 16 + low);
        if (g_ascii_isalnum(c) || c == '-' || c == '.' || c == '_' || c == '~') {
            decoded += c;
        } else if (c == '/' || c == '\\') {
            return std::nullopt;
        } else {
            decoded += '%';
            decoded += g_ascii_toupper(path[i + 1]);
            decoded += g_ascii_toupper(path[i + 2]);
        }
        i += 2;
    }
    if (decoded.find('\\') != std::string::npos) {
        return std::nullopt;
    }
    // Removes "." and ".." segments (RFC 3986, 5.2.4) over whole segments.
    std::vector<std::string_view> segments;
    const std::string_view text(decoded);
    for (std::size_t start = 0; start <= text.size();) {
        const std::size_t end = std::min(text.find('/', start), text.size());
        const std::string_view segment = text.substr(start, end - start);
        const bool last = end == text.size();
        if (segment == "..") {
            if (segments.size() > 1) {
                segments.pop_back();
            }
            if (last) {
                segments.emplace_back();
            }
        } else if (segment == ".") {
            if (last) {
                segments.emplace_back();
            }
        } else if (is_dot_segment(segment)) {
            return std::nullopt;
        } else {
            segments.push_back(segment);
        }
        start = end + 1;
    }
    std::string resolved;
    for (std::size_t i = 0; i < segments.size(); ++i) {
        resolved += i == 0 ? "" : "/";
        resolved += segments[i];
    }
    return resolved;
}

// Whether `path` (percent-encoded) lies at or below `prefix` (resolved), on
// whole segments, whichever way a server resolves it.
bool is_within(std::string_view path, std::string_view prefix) {
    if (prefix.empty()) {
        return true;
    }
    const auto resolved = resolved_path(path);
    return resolved &&
           (*resolved == prefix || (resolved->starts_with(prefix) &&
                                    (prefix.ends_with('/') || (*resolved)[prefix.size()] == '/')));
}

} // namespace

std::optional<SitePattern> SitePattern::parse(std::string_view text) {
    const bool has_scheme = text.find("://") != std::string_view::npos;
    std::string wildcard_free(has_scheme ? text : "http://" + std::string(text));
    // GLib takes "*" for a host character; only a leading "*." is a wildcard.
    SitePattern pattern;
    const std::size_t host_start = wildcard_free.find("://") + 3;
    if (wildcard_free.compare(host_start, 2, "*.") == 0) {
        pattern.m_subdomains = true;
        wildcard_free.erase(host_start, 2);
    }
    if (wildcard_free.find('*') != std::string::npos) {
        return std::nullopt;
    }
    const auto address = parse_address(wildcard_free);
    if (!address || !is_web(address->scheme) || address->has_userinfo ||
        address->has_query_or_fragment || address->port == 0) {
        return std::nullopt;
    }
    const auto host = canonical_host(address->host);
    if (!host || (pattern.m_subdomains && g_hostname_is_ip_address(host->c_str()))) {
        return std::nullopt;
    }
    pattern.m_scheme = has_scheme ? address->scheme : "";
    pattern.m_host = *host;
    pattern.m_port = address->port;
    const auto path = resolved_path(address->path);
    if (!path) {
        return std::nullopt;
    }
    pattern.m_path = *path;
    while (!pattern.m_path.empty() && pattern.m_path.back() == '/') {
        pattern.m_path.pop_back();
    }
    return pattern;
}

std::optional<SitePattern> SitePattern::site_of(std::string_view uri) {
    const auto address = parse_address(uri);
    if (!address || !is_web(address->scheme)) {
        return std::nullopt;
    }
    const auto host = canonical_host(address->host);
    if (!host) {
        return std::nullopt;
    }
    SitePattern site;
    site.m_scheme = address->scheme;
    site.m_host = *host;
    site.m_port = address->port;
    return site;
}

bool SitePattern::matches(std::string_view uri) const {
    const auto address = parse_address(uri);
    if (!address || !is_web(address->scheme) ||
        (!m_scheme.empty() && address->scheme != m_scheme)) {
        return false;
    }
    const auto host = canonical_host(address->host);
    if (!host) {
        return false;
    }
    const bool host_matches = *host == m_host || (m_subdomains && host->ends_with(m_host) &&
                                                  host->size() > m_host.size() &&
                                                  (*host)[host->size() - m_host.size() - 1] == '.');
    const int port = address->port != -1 ? address->port : default_port(address->scheme);
    const int wanted = m_port != -1 ? m_port : default_port(address->scheme);
    return host_matches && port == wanted && is_within(address->path, m_path);
}

bool same_address(std::string_view a, std::string_view b) {
    if (a == b) {
        return true;
    }
    const auto first = parse_address(a, true);
    const auto second = parse_address(b, true);
    if (!first || !second || first->scheme != second->scheme) {
        return false;
    }
    const auto port = [](const Address& address) {
        return address.port != -1 ? address.port : default_port(address.scheme);
    };
    const auto path = [](const Address& address) {
        return address.path.empty() && address.has_host ? std::string("/") : address.path;
    };
    const auto host = [](const Address& address) {
        return canonical_host(address.host).value_or(address.host);
    };
    return host(*first) == host(*second) && port(*first) == port(*second) &&
           path(*first) == path(*second) && first->query == second->query;
}

std::string origin_of(std::string_view uri) {
    const auto address = parse_address(uri);
    if (!address) {
        return "";
    }
    std::string origin = address->scheme + ":";
    if (is_web(address->scheme)) {
        origin += "//" + host_in_address(canonical_host(address->host).value_or(""));
        if (address->port != -1 && address->port != default_port(address->scheme)) {
            origin += ":" + std::to_string(address->port);
        }
    }
    return origin;
}

SiteList::SiteList(std::string home_page, std::vector<SitePattern> patterns, Scope scope)
    : m_enabled(true), m_scope(scope), m_home_page(std::move(home_page)),
      m_home_site(SitePattern::site_of(m_home_page)), m_patterns(std::move(patterns)) {
    const auto home = parse_address(m_home_page);
    if (home && home->scheme == "file" && (home->host.empty() || home->host == "localhost")) {
        m_home_directory =
            resolved_path(home->path.substr(0, home->path.rfind('/') + 1)).value_or("");
    }
}

bool SiteList::allows(std::string_view uri, bool main_frame) const {
    if (!m_enabled || uri == m_home_page) {
        return true;
    }
    const auto address = parse_address(uri);
    if (!address) {
        return false;
    }
    if (address->scheme == "about") {
        return !main_frame && (address->path == "blank" || address->path == "srcdoc");
    }
    if (address->scheme == "file") {
        return !m_home_directory.empty() && !address->has_host &&
               is_within(address->path, m_home_directory);
    }
    if (!is_web(address->scheme)) {
        return false;
    }
    return (m_home_site && m_home_site->matches(uri)) ||
           std::any_of(m_patterns.begin(), m_patterns.end(),
                       [uri](const SitePattern& pattern) { return pattern.matches(uri); });
}

namespace {

// A text that a regular expression matches as it stands.
std::string regex_literal(std::string_view text) {
    std::string literal;
    for (const char c : text) {
        if (std::string_view("\\^$.*+?()[]{}|").find(c) != std::string_view::npos) {
            literal += '\\';
        }
        literal += c;
    }
    return literal;
}

// Where the addresses that a pattern takes in begin, as the engine writes
// them (without a default port), for pages and for web sockets.
std::vector<std::string> address_starts(const std::string& scheme, const std::string& host,
                                        bool subdomains, int port) {
    std::vector<std::string> schemes;
    for (const char* web : {"http", "https"}) {
        if (scheme.empty() || scheme == web) {
            schemes.emplace_back(web);
            schemes.emplace_back(std::string_view(web) == "http" ? "ws" : "wss");
        }
    }
    const std::string name = regex_literal(host_in_address(host));
    std::vector<std::string> starts;
    for (const std::string& each : schemes) {
        const std::string port_part =
            port == -1 || port == default_port(each) ? "" : ":" + std::to_string(port);
        starts.push_back("^" + each + "://" + name + port_part);
        if (subdomains) {
            starts.push_back("^" + each + "://[-.a-z0-9]*\\." + name + port_part);
        }
    }
    return starts;
}

void append_json_string(std::string& json, std::string_view text) {
    json += '"';
    for (const char c : text) {
        if (c == '"' || c == '\\') {
            json += '\\';
            json += c;
        } else if (static_cast<unsigned char>(c) < 0x20) {
            constexpr char kHex[] = "0123456789abcdef";
            json += "\\u00";
            json += kHex[(c >> 4) & 0xF];
            json += kHex[c & 0xF];
        } else {
            json += c;
        }
    }
    json += '"';
}

} // namespace

std::vector<FilterRule> SiteList::filter_rules() const {
    if (!m_enabled) {
        return {};
    }
    // Later rules win: everything is blocked, then a path-limited site is let
    // through, but not where its path could be resolved elsewhere, then a
    // whole site is let through, whatever its paths.
    std::vector<FilterRule> rules{{true, ".*"}};
    for (const char* local : {"^data:", "^blob:", "^about:"}) {
        rules.push_back({false, local});
    }
    std::vector<std::string> limited; // where a path-limited site's addresses begin
    std::vector<std::string> whole;
    if (!m_home_directory.empty()) {
        limited.push_back("^file://" + regex_literal(m_home_directory));
    }
    const auto add = [&](const SitePattern& pattern) {
        for (const std::string& start : address_starts(pattern.m_scheme, pattern.m_host,
                                                       pattern.m_subdomains, pattern.m_port)) {
            if (pattern.m_path.empty()) {
                whole.push_back(start + "/");
            } else {
                limited.push_back(start + regex_literal(pattern.m_path));
            }
        }
    };
    if (m_home_site) {
        add(*m_home_site);
    }
    for (const SitePattern& pattern : m_patterns) {
        add(pattern);
    }
    for (const std::string& start : limited) {
        if (start.ends_with('/')) {
            rules.push_back({false, start});
        } else {
            rules.push_back({false, start + "$"});
            rules.push_back({false, start + "[/?#]"});
        }
    }
    for (const std::string& start : limited) {
        for (const char* escape : {"%2[fF]", "%5[cC]", "/\\.\\.?;", "\\\\"}) {
            rules.push_back({true, start + "[^?#]*" + escape});
        }
    }
    for (const std::string& start : whole) {
        rules.push_back({false, start});
    }
    return rules;
}

std::string SiteList::content_filter() const {
    std::string json = "[";
    for (const FilterRule& rule : filter_rules()) {
        json += json.size() > 1 ? "," : "";
        json += R"({"trigger":{"url-filter":)";
        append_json_string(json, rule.url_filter);
        json += R"(,"url-filter-is-case-sensitive":true},"action":{"type":")";
        json += rule.block ? "block" : "ignore-previous-rules";
        json += R"("}})";
    }
    return json + "]";
}

} // namespace corvalen::controls
