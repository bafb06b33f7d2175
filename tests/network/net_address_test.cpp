// The typed printer address and the texts of network failures.
#include <cerrno>
#include <string>

#include <gtest/gtest.h>

#include "link/network/net_address.h"
#include "link/network/net_error.h"

namespace tillvane::net {
namespace {

struct Good {
  const char* text;
  const char* host;
  uint16_t port;
};

TEST(NetworkAddressTest, EveryFormTheOperatorMayType) {
  const Good cases[] = {
      {"printer.local", "printer.local", 9100},
      {"printer", "printer", 9100},
      {"192.168.1.50", "192.168.1.50", 9100},
      {"192.168.1.50:9101", "192.168.1.50", 9101},
      {"  10.0.0.7:1  ", "10.0.0.7", 1},
      {"host:65535", "host", 65535},
      {"[::1]", "::1", 9100},
      {"[::1]:9100", "::1", 9100},
      {"[fe80::1%eth0]:631", "fe80::1%eth0", 631},
      {"::1", "::1", 9100},
      {"fe80::1:2", "fe80::1:2", 9100},  // unbracketed IPv6: the last group is no port
      {"host:00080", "host", 80},
  };
  for (const Good& g : cases) {
    NetworkAddress a;
    std::string error = "unchanged";
    ASSERT_TRUE(ParseNetworkAddress(g.text, &a, &error)) << g.text << ": " << error;
    EXPECT_EQ(a.host, g.host) << g.text;
    EXPECT_EQ(a.port, g.port) << g.text;
    EXPECT_TRUE(error.empty());
  }
}

TEST(NetworkAddressTest, BadAddressesAreRefusedWithAReason) {
  const char* cases[] = {
      "",          "   ",       ":9100", "host:",     "host:0",    "host:65536", "host:99999999999",
      "host:91a",  "host:-1",   "[::1",  "[]:9100",   "[::1]9100", "[::1]:",     "[host]:9100",
      "two words", "tab\there", "a/b",   "user@host", "[::1]:0",   "host:+80",
  };
  for (const char* text : cases) {
    NetworkAddress a{"kept", 1234};
    std::string error;
    EXPECT_FALSE(ParseNetworkAddress(text, &a, &error)) << '"' << text << '"';
    EXPECT_FALSE(error.empty()) << text;
    EXPECT_EQ(a.host, "kept") << "a refused address leaves the result alone: " << text;
  }
  // Bytes below a blank and DEL are refused inside a host name, high bytes are left
  // to the resolver.
  EXPECT_FALSE(ParseNetworkAddress(std::string("ho\0st", 5), nullptr, nullptr));
  EXPECT_FALSE(ParseNetworkAddress("ho\x7Fst", nullptr, nullptr));
  EXPECT_TRUE(ParseNetworkAddress("h\xC3\xA9te", nullptr, nullptr));
}

TEST(NetworkAddressTest, FormattingPutsIPv6InBracketsAndParsesBack) {
  EXPECT_EQ(FormatNetworkAddress({"127.0.0.1", 9100}), "127.0.0.1:9100");
  EXPECT_EQ(FormatNetworkAddress({"::1", 9101}), "[::1]:9101");
  for (const char* text : {"printer:1", "[::1]:2", "10.1.2.3:65535"}) {
    NetworkAddress a;
    ASSERT_TRUE(ParseNetworkAddress(text, &a, nullptr));
    EXPECT_EQ(FormatNetworkAddress(a), text);
  }
}

TEST(NetworkErrorTest, ErrnoSortsIntoKindsAndTheTextCarriesTheSystemsReason) {
  EXPECT_EQ(KindFromErrno(ECONNREFUSED), NetErrorKind::Refused);
  EXPECT_EQ(KindFromErrno(ETIMEDOUT), NetErrorKind::Timeout);
  EXPECT_EQ(KindFromErrno(EHOSTUNREACH), NetErrorKind::Unreachable);
  EXPECT_EQ(KindFromErrno(ENETUNREACH), NetErrorKind::Unreachable);
  EXPECT_EQ(KindFromErrno(ECONNRESET), NetErrorKind::Reset);
  EXPECT_EQ(KindFromErrno(EPIPE), NetErrorKind::Reset);
  EXPECT_EQ(KindFromErrno(EMFILE), NetErrorKind::Resource);
  EXPECT_EQ(KindFromErrno(EINVAL), NetErrorKind::Unknown);
  EXPECT_EQ(ErrorFromErrno(0, "x").kind, NetErrorKind::Unknown) << "an error is never ok()";

  const NetError refused = ErrorFromErrno(ECONNREFUSED, "connect", "127.0.0.1:9100");
  EXPECT_EQ(refused.Message(),
            "connect 127.0.0.1:9100: Connection refused (the printer is busy with another host, "
            "or nothing listens on that port)");
  EXPECT_EQ(ErrorOfKind(NetErrorKind::Timeout, "connect", "[::1]:9100").Message(),
            "connect [::1]:9100: deadline passed");
  EXPECT_NE(ErrorOfKind(NetErrorKind::Closed, "send", "h:1").Message().find("apply the link"),
            std::string::npos);
  EXPECT_EQ(NetError{}.Message(), "");
}

}  // namespace
}  // namespace tillvane::net
