// SPDX-License-Identifier: MIT
#pragma once

// The sites a terminal may show: the home page's own site and the operator's
// patterns. Plain logic over addresses as the engine gives them.

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace corvalen::controls {

// One pattern: [scheme://]host[:port][/path].
//
// Without a scheme, http and https both match; without a port, the scheme's
// default. A host starting with "*." takes in every subdomain and the host
// itself. Hosts compare in their ASCII (IDNA) form, whatever the letter case
// and a trailing dot; an IP address matches only itself. A path matches on
// whole segments: /docs takes in /docs and /docs/a, not /docsx; and only
// where no server could resolve it elsewhere: an address whose path holds an
// escaped "/" or "\", or a dot segment in disguise, is outside every path.
class SitePattern {
public:
    // None for a text that is not such a pattern (userinfo, a query, another
    // scheme, a wildcard anywhere but at the start, a bad port or host).
    static std::optional<SitePattern> parse(std::string_view text);
    // The site (scheme, host and port) of an http or https address.
    static std::optional<SitePattern> site_of(std::string_view uri);

    [[nodiscard]] bool matches(std::string_view uri) const;

private:
    friend class SiteList;

    std::string m_scheme; // empty: http and https
    std::string m_host;   // ASCII form, without the "*."
    bool m_subdomains = false;
    int m_port = -1;    // -1: the scheme's default
    std::string m_path; // resolved, without a trailing "/"; empty: every path
};

// Whether two absolute addresses name the same resource once each is
// written the way an engine writes it: letter case of scheme and host, a
// default port, an empty path, percent-encoding. The fragment does not count.
bool same_address(std::string_view a, std::string_view b);

// What an address tells of the site it is on, and nothing of the page: for a
// web address its scheme, host and port ("https://catalogue.example:8443"),
// for any other its scheme ("file:"); "" for a text that is no address.
std::string origin_of(std::string_view uri);

// One rule of a content filter, in the order given: a request whose address
// the regular expression `url_filter` matches is blocked, or let through
// whatever the rules before said.
struct FilterRule {
    bool block = false;
    std::string url_filter;
    bool operator==(const FilterRule&) const = default;
};

class SiteList {
public:
    // What the list holds to the allowed sites: the documents of pages and
    // frames, or every request of theirs as well.
    enum class Scope { Pages, Requests };

    // Off: every address the other rules allow.
    SiteList() = default;
    // On: the home page's site, and addresses any pattern matches.
    SiteList(std::string home_page, std::vector<SitePattern> patterns, Scope scope = Scope::Pages);

    [[nodiscard]] bool enabled() const { return m_enabled; }
    [[nodiscard]] Scope scope() const { return m_scope; }
    // Whether a frame may show `uri`: only http and https, file: at or below
    // the home page's directory when that is a file: page, the home page
    // itself, and about:blank and about:srcdoc in frames within a page.
    [[nodiscard]] bool allows(std::string_view uri, bool main_frame) const;

    // The rules of a content filter that lets a request through only to
    // what allows() takes in (web sockets to the sites' hosts as well), and
    // to data that never leaves the page (data:, blob:, about:).
    [[nodiscard]] std::vector<FilterRule> filter_rules() const;
    // The same as a rule list in the engine's JSON form.
    [[nodiscard]] std::string content_filter() const;

private:
    bool m_enabled = false;
    Scope m_scope = Scope::Pages;
    std::string m_home_page;
    std::optional<SitePattern> m_home_site;
    std::string m_home_directory; // for a file: home page, resolved, ending in "/"
    std::vector<SitePattern> m_patterns;
};

} // namespace corvalen::controls
