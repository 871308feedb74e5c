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

int default_port(std::string_view scheme) {
    return scheme == "http" ? 80 : scheme == "https" ? 443 : -1;
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

bool is_within(std::string_view path, std::string_view prefix) {
    return prefix.empty() || path == prefix ||
           (path.starts_with(prefix) && path[prefix.size()] == '/');
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
    pattern.m_path = address->path;
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

SiteList::SiteList(std::string home_page, std::vector<SitePattern> patterns)
    : m_enabled(true), m_home_page(std::move(home_page)),
      m_home_site(SitePattern::site_of(m_home_page)), m_patterns(std::move(patterns)) {
    const auto home = parse_address(m_home_page);
    if (home && home->scheme == "file" && (home->host.empty() || home->host == "localhost")) {
        m_home_directory = home->path.substr(0, home->path.rfind('/') + 1);
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
               address->path.starts_with(m_home_directory);
    }
    if (!is_web(address->scheme)) {
        return false;
    }
    return (m_home_site && m_home_site->matches(uri)) ||
           std::any_of(m_patterns.begin(), m_patterns.end(),
                       [uri](const SitePattern& pattern) { return pattern.matches(uri); });
}

} // namespace corvalen::controls
