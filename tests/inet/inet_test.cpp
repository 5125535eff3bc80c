#include <gtest/gtest.h>
#include <unistd.h>

#include <fstream>

#include "Project1_TLB.h"
#include "http_test_server.h"

namespace {

std::string ErrorOf(const IDispatchPtr& inet, const char* member,
                    const std::vector<Variant>& args) {
  try {
    inet->Call(member, args);
  } catch (const std::exception& e) {
    return e.what();
  }
  return "(no error)";
}

std::string Text(const IDispatchPtr& inet, const char* member, const std::vector<Variant>& args) {
  return inet->Call(member, args).ToString();
}

TTestServer::THandler Headers() {
  return [](const TTestRequest& r) {
    if (r.Path == "/missing") return Page(r, 404, "Not Found", "gone");
    return Page(r, 200, "OK", "hello",
                {"Content-Type: text/html; charset=utf-8", "Date: Tue, 08 Dec 2026 23:14:17 GMT",
                 "Set-Cookie: first=1", "Set-Cookie: second=2", "X-Padded:    spaced value   ",
                 "X-Ä-Größe: umlaut"});
  };
}

}  // namespace

// The members reached by name through the object's own dispatch, as scripts reach them.
TEST(Inet, MembersByName) {
  TTestServer server(Headers());
  IDispatchPtr inet = CoInet::Create();
  EXPECT_EQ(Text(inet, "TOSTRING", {server.Url("/")}), "hello");
  EXPECT_EQ(ErrorOf(inet, "toString", {server.Url("/missing")}), "Error: HttpQueryInfo 404");

  std::string file = std::string(ORVEL_BINARY_DIR) + "/tests/inet/tmp_inet_" +
                     std::to_string(::getpid()) + "/a/page.html";
  Variant status = inet->Call("toFile", {server.Url("/"), file});
  EXPECT_EQ(status.type(), VarType::Int);
  EXPECT_EQ(status.ToInt32(), 200);
  // A fetch failure is a status, not an error.
  EXPECT_EQ(inet->Call("toFile", {std::string("http:/"), file}).ToInt32(), -1);

  EXPECT_EQ(Text(inet, "queryInfo", {server.Url("/"), Variant::FromUI4(19)}), "200");
  EXPECT_EQ(Text(inet, "headers", {server.Url("/missing")}),
            "HTTP/1.1 404 Not Found\r\nContent-Length: 4\r\n\r\n");
  // headers asks every time.
  size_t asked = server.Requests().size();
  Text(inet, "headers", {server.Url("/missing")});
  EXPECT_EQ(server.Requests().size(), asked + 1);
}

// Name matching ignores case but not a blank in param; only the first ":" separates;
// the first of two equal headers wins.
TEST(Inet, HeaderByName) {
  TTestServer server(Headers());
  IDispatchPtr inet = CoInet::Create();
  std::string url = server.Url("/");
  EXPECT_EQ(Text(inet, "header", {url, "content-type"}), "text/html; charset=utf-8");
  EXPECT_EQ(Text(inet, "header", {url, "CONTENT-TYPE"}), "text/html; charset=utf-8");
  EXPECT_EQ(Text(inet, "header", {url, " content-type"}), "");
  EXPECT_EQ(Text(inet, "header", {url, "date"}), "Tue, 08 Dec 2026 23:14:17 GMT");
  EXPECT_EQ(Text(inet, "header", {url, "set-cookie"}), "first=1");
  EXPECT_EQ(Text(inet, "header", {url, "x-padded"}), "spaced value");
  EXPECT_EQ(Text(inet, "header", {url, "x-absent"}), "");
  EXPECT_EQ(Text(inet, "header", {url, "http/1.1 200 ok"}), "");
  // Letters beyond ASCII match without regard to case too, on both sides.
  EXPECT_EQ(Text(inet, "header", {url, "x-ä-größe"}), "umlaut");
  EXPECT_EQ(Text(inet, "header", {url, "X-Ä-GRÖSSE"}), "");
  EXPECT_EQ(Text(inet, "header", {url, "X-Ä-GRÖßE"}), "umlaut");
}

// toFile reports -1 whenever the file did not get the whole body, and the file is empty.
TEST(Inet, ToFileOfABodyCutShort) {
  TTestServer server([](const TTestRequest&) {
    return TTestReply{"HTTP/1.1 200 OK\r\nContent-Length: 100000\r\n\r\n" + std::string(800, 'b'),
                      TTestReply::TThen::Close};
  });
  IDispatchPtr inet = CoInet::Create();
  std::string file = std::string(ORVEL_BINARY_DIR) + "/tests/inet/tmp_inet_" +
                     std::to_string(::getpid()) + "/short.bin";
  EXPECT_EQ(inet->Call("toFile", {server.Url("/"), file}).ToInt32(), -1);
  std::ifstream in(file, std::ios::binary);
  EXPECT_TRUE(in.good());
  EXPECT_EQ(in.peek(), std::ifstream::traits_type::eof());
  EXPECT_EQ(ErrorOf(inet, "toString", {server.Url("/")}), "Error: InternetReadFile 18");
}

// One HEAD per URL and object; the key is case-sensitive; failures are not kept.
TEST(Inet, HeaderCache) {
  TTestServer server(Headers());
  IDispatchPtr inet = CoInet::Create();
  std::string url = server.Url("/page");
  EXPECT_EQ(Text(inet, "header", {url, "content-type"}), "text/html; charset=utf-8");
  EXPECT_EQ(Text(inet, "header", {url, "date"}), "Tue, 08 Dec 2026 23:14:17 GMT");
  EXPECT_EQ(server.Requests().size(), 1u);
  Text(inet, "header", {server.Url("/PAGE"), "date"});
  EXPECT_EQ(server.Requests().size(), 2u);
  // A new object (a new run) asks again.
  IDispatchPtr other = CoInet::Create();
  Text(other, "header", {url, "date"});
  EXPECT_EQ(server.Requests().size(), 3u);

  std::string refused = "http://127.0.0.1:" + std::to_string(UnusedPort()) + "/";
  EXPECT_EQ(ErrorOf(inet, "header", {refused, "date"}), "Error: HttpSendRequest 7");
  EXPECT_EQ(ErrorOf(inet, "header", {refused, "date"}), "Error: HttpSendRequest 7");
}
