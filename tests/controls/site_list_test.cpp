// SPDX-License-Identifier: MIT
// The sites a terminal may show: patterns, and the list with the home page.

#include <gtest/gtest.h>

#include <regex>

#include "controls/site_list.hpp"

namespace corvalen::controls {
namespace {

TEST(SitePattern, MatchesHostsPortsAndPathsAsWritten) {
    const struct {
        const char* pattern;
        const char* uri;
        bool matches;
    } cases[] = {
        {"catalogue.example", "http://catalogue.example/", true},
        {"catalogue.example", "https://catalogue.example/a?b#c", true},
        {"catalogue.example", "http://catalogue.example:8080/", false},
        {"catalogue.example", "ftp://catalogue.example/", false},
        {"catalogue.example", "http://www.catalogue.example/", false},
        {"catalogue.example", "http://catalogue.example.evil.example/", false},
        {"*.catalogue.example", "http://www.catalogue.example/", true},
        {"*.catalogue.example", "http://a.b.catalogue.example/", true},
        {"*.catalogue.example", "http://catalogue.example/", true},
        {"*.catalogue.example", "http://evilcatalogue.example/", false},
        {"https://catalogue.example", "http://catalogue.example/", false},
        {"https://catalogue.example", "https://catalogue.example:443/", true},
        {"catalogue.example:8080", "https://catalogue.example:8080/", true},
        {"http://catalogue.example:80", "http://catalogue.example/", true},
        {"catalogue.example/docs", "http://catalogue.example/docs", true},
        {"catalogue.example/docs/", "http://catalogue.example/docs/a", true},
        {"catalogue.example/docs", "http://catalogue.example/docsx", false},
        {"catalogue.example/docs", "http://catalogue.example/docs%2Fx", false},
        {"catalogue.example/docs", "http://catalogue.example/docs/../admin", false},
        {"catalogue.example/docs", "http://catalogue.example/", false},
        {"catalogue.example/docs", "http://catalogue.example/docs/..%2fsecret.html", false},
        {"catalogue.example/docs", "http://catalogue.example/docs/..%2Fsecret.html", false},
        {"catalogue.example/docs", "http://catalogue.example/docs/..%5csecret.html", false},
        {"catalogue.example/docs", "http://catalogue.example/docs/..\\secret.html", false},
        {"catalogue.example/docs", "http://catalogue.example/docs/%2e%2e/secret.html", false},
        {"catalogue.example/docs", "http://catalogue.example/docs/..;x/secret.html", false},
        {"catalogue.example/docs", "http://catalogue.example/d%6Fcs/a%20b", true},
        {"catalogue.example/docs", "http://catalogue.example/docs/a/../b", true},
        {"catalogue.example", "http://catalogue.example/docs/..%2fsecret.html", true},
        {"Catalogue.EXAMPLE.", "http://catalogue.example./", true},
        {"bücher.example", "http://xn--bcher-kva.example/", true},
        {"xn--bcher-kva.example", "http://BÜCHER.example/", true},
        {"127.0.0.1", "http://127.0.0.1/", true},
        {"127.0.0.1", "http://127.0.0.2/", false},
        {"127.0.0.1", "http://localhost/", false},
        {"[::1]:8080", "http://[::1]:8080/", true},
        {"allowed.example", "http://allowed.example@evil.example/", false},
        {"allowed.example", "http://evil.example/?allowed.example", false},
        {"allowed.example", "http://evil.example#@allowed.example", false},
        {"allowed.example", "http://%61llowed.example/", true},
        {"allowed.example", "http://allowed.example%2eevil.example/", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.pattern) + " ~ " + c.uri);
        const auto pattern = SitePattern::parse(c.pattern);
        ASSERT_TRUE(pattern);
        EXPECT_EQ(pattern->matches(c.uri), c.matches);
    }
}

TEST(SitePattern, RefusesWhatIsNoPattern) {
    for (const char* text :
         {"", "*", "*.", "*.127.0.0.1", "ex*ample.com", "*.*.example.com", "user@example.com",
          "ftp://example.com", "file:///srv", "example.com/?q=1", "example.com#x",
          "example.com:99999", "example.com:0", "exa mple.com", "http://", "about:blank",
          "example.com/a%2Fb"}) {
        EXPECT_FALSE(SitePattern::parse(text)) << text;
    }
}

TEST(SiteList, TheHomeSiteAndThePatternsAndNothingElse) {
    const SiteList web("http://127.0.0.1:8000/home.html",
                       {*SitePattern::parse("localhost:8000/docs")});
    const SiteList closed("http://127.0.0.1:8000/home.html", {});
    const SiteList local("file:///srv/kiosk/index.html", {});
    const struct {
        const SiteList& list;
        const char* uri;
        bool main_frame;
        bool allowed;
    } cases[] = {
        {web, "http://127.0.0.1:8000/other.html", true, true},
        {web, "https://127.0.0.1:8000/", true, false},
        {web, "http://127.0.0.1:8001/", true, false},
        {web, "http://localhost:8000/docs/a", true, true},
        {web, "http://localhost:8000/docs/a", false, true},
        {web, "http://localhost:8000/", false, false},
        {web, "about:blank", false, true},
        {web, "about:srcdoc", false, true},
        {web, "about:blank", true, false},
        {web, "data:text/html,x", false, false},
        {web, "javascript:alert(1)", true, false},
        {web, "webkit://gpu", true, false},
        {web, "view-source:http://127.0.0.1:8000/", true, false},
        {web, "blob:http://127.0.0.1:8000/0b5e", false, false},
        {web, "file:///etc/passwd", true, false},
        {closed, "http://127.0.0.1:8000/a", true, true},
        {closed, "http://localhost:8000/docs/a", true, false},
        {local, "file:///srv/kiosk/index.html", true, true},
        {local, "file:///srv/kiosk/sub/b.html", true, true},
        {local, "file:///srv/kioskx/a.html", true, false},
        {local, "file:///srv/kiosk/../etc/passwd", true, false},
        {local, "file:///srv/kiosk/..%2fetc/passwd", true, false},
        {local, "file:///srv/kiosk/%2e%2e/etc/passwd", true, false},
        {local, "http://127.0.0.1/", true, false},
        {SiteList(), "webkit://gpu", true, true},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(c.list.allows(c.uri, c.main_frame), c.allowed)
            << c.uri << (c.main_frame ? " (main frame)" : " (frame)");
    }
}

TEST(SiteList, AnOriginIsTheSiteAndNothingOfThePage) {
    const struct {
        const char* uri;
        const char* origin;
    } cases[] = {
        {"https://Catalogue.example:443/search?q=a+visitor#x", "https://catalogue.example"},
        {"http://127.0.0.1:8080/home.html", "http://127.0.0.1:8080"},
        {"http://[::1]:8080/", "http://[::1]:8080"},
        {"file:///srv/kiosk/index.html", "file:"},
        {"about:blank", "about:"},
        {"not an address", ""},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(origin_of(c.uri), c.origin) << c.uri;
    }
}

// Whether a content filter of `rules` lets a request for `uri` through, as
// the engine applies it: the last rule that matches decides.
bool filter_lets_through(const std::vector<FilterRule>& rules, const std::string& uri) {
    bool blocked = false;
    for (const FilterRule& rule : rules) {
        if (std::regex_search(uri, std::regex(rule.url_filter))) {
            blocked = rule.block;
        }
    }
    return !blocked;
}

TEST(SiteList, AsAContentFilterLetsThroughWhatItAllows) {
    const SiteList web(
        "http://127.0.0.1:8000/home.html",
        {*SitePattern::parse("localhost:8000/docs"), *SitePattern::parse("*.catalogue.example"),
         *SitePattern::parse("https://[::1]:8443"), *SitePattern::parse("http://plain.example:80")},
        SiteList::Scope::Requests);
    const SiteList local("file:///srv/kiosk/index.html", {}, SiteList::Scope::Requests);
    for (const char* uri : {"http://127.0.0.1:8000/other.html",
                            "https://127.0.0.1:8000/",
                            "http://127.0.0.1:8001/",
                            "http://127.0.0.1/",
                            "http://127.0.0.10:8000/",
                            "http://localhost:8000/docs",
                            "http://localhost:8000/docs/a?b",
                            "http://localhost:8000/docs?x",
                            "http://localhost:8000/docsx",
                            "http://localhost:8000/",
                            "http://localhost:8000/docs/..%2fsecret",
                            "http://localhost:8000/docs/..%5Csecret",
                            "http://localhost:8000/docs/..;x/secret",
                            "http://localhost:8000/docs/a?next=%2F",
                            "http://www.catalogue.example/a",
                            "https://catalogue.example/",
                            "http://evilcatalogue.example/",
                            "http://catalogue.example.evil.example/",
                            "http://catalogue.example@evil.example/",
                            "https://[::1]:8443/x",
                            "http://[::1]:8443/x",
                            "http://plain.example/",
                            "https://plain.example/",
                            "ftp://catalogue.example/",
                            "webkit://gpu"}) {
        EXPECT_EQ(filter_lets_through(web.filter_rules(), uri), web.allows(uri, false)) << uri;
    }
    for (const char* uri : {"file:///srv/kiosk/a.html", "file:///srv/kioskx/a.html",
                            "file:///srv/kiosk/..%2fetc/passwd", "file:///etc/passwd"}) {
        EXPECT_EQ(filter_lets_through(local.filter_rules(), uri), local.allows(uri, false)) << uri;
    }
    const struct {
        const char* uri;
        bool through;
    } others[] = {
        {"ws://127.0.0.1:8000/socket", true},      {"wss://a.catalogue.example/socket", true},
        {"ws://localhost:8000/docs/socket", true}, {"ws://localhost:8000/socket", false},
        {"ws://127.0.0.2:8000/socket", false},     {"data:image/png;base64,AAAA", true},
        {"blob:http://127.0.0.2/0b5e", true},      {"about:blank", true},
    };
    for (const auto& c : others) {
        EXPECT_EQ(filter_lets_through(web.filter_rules(), c.uri), c.through) << c.uri;
    }
    EXPECT_TRUE(SiteList().filter_rules().empty());
}

} // namespace
} // namespace corvalen::controls
