// The vendor host a launcher is built for: what is a host, and the addresses made from it.
#include <gtest/gtest.h>

#include "launcher/constants.h"
#include "launcher/vendor_address.h"

namespace kvat {
namespace {

TEST(VendorHost, SchemeAndPortAreOptional) {
    struct Case {
        std::string_view text, scheme, host;
        unsigned port;
    };
    for (const Case& c : {Case{"www.example.com", "http://", "www.example.com", 0},
                          Case{"127.0.0.1:47318", "http://", "127.0.0.1", 47318},
                          Case{"https://www.example.com", "https://", "www.example.com", 0},
                          Case{"https://localhost:65535", "https://", "localhost", 65535},
                          Case{"http://my-host.example:1", "http://", "my-host.example", 1}}) {
        SCOPED_TRACE(c.text);
        const auto address = ParseVendorHost(c.text);
        ASSERT_TRUE(address);
        EXPECT_EQ(address->scheme, c.scheme);
        EXPECT_EQ(address->host, c.host);
        EXPECT_EQ(address->port, c.port);
    }
}

TEST(VendorHost, AnythingButAHostIsRefused) {
    for (const std::string_view junk : {"",
                                        "https://",
                                        "www.example.com/",
                                        "https://www.example.com/download",
                                        "ftp://www.example.com",
                                        "HTTPS://www.example.com",
                                        "//www.example.com",
                                        "user@www.example.com",
                                        "www.example.com?x",
                                        "www example.com",
                                        "www..example.com",
                                        ".example.com",
                                        "example.com.",
                                        "-bad.example",
                                        "host:",
                                        "host:0",
                                        "host:065",
                                        "host:65536",
                                        "host:80:81",
                                        "host:8o",
                                        "[::1]:80",
                                        "http://https://host"}) {
        EXPECT_FALSE(ParseVendorHost(junk)) << junk;
    }
}

TEST(VendorHost, AddressesKeepTheGivenSchemeAndDefaultToHttp) {
    EXPECT_EQ(WebAddress("www.example.com", "/a.txt"), "http://www.example.com/a.txt");
    EXPECT_EQ(WebAddress("127.0.0.1:8080"), "http://127.0.0.1:8080");
    EXPECT_EQ(WebAddress("https://www.example.com:8443", "/a.txt"),
              "https://www.example.com:8443/a.txt");
    EXPECT_EQ(WebAddress("http://www.example.com"), "http://www.example.com");
}

}  // namespace
}  // namespace kvat
