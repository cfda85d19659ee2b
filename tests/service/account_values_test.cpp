#include <cstdio>

#include "service_fixture.h"
#include "service_internal.h"

namespace {

std::string jsonQuoted(const std::string &text) {
  std::string out = "\"";
  for (unsigned char c : text) {
    if (c == '"' || c == '\\') {
      out += '\\';
      out += static_cast<char>(c);
    } else if (c < 0x20 || c == 0x7F) {
      char buf[8];
      std::snprintf(buf, sizeof buf, "\\u%04x", c);
      out += buf;
    } else {
      out += static_cast<char>(c);
    }
  }
  return out + "\"";
}

std::string answerWith(const std::string &domain, const std::string &user,
                       const std::string &password, const std::string &filas = "[]") {
  return R"({"resposta":{"status":true,"dominio":)" + jsonQuoted(domain) + R"(,"user":)" +
         jsonQuoted(user) + R"(,"pass":)" + jsonQuoted(password) + R"(},"filas":)" + filas + "}";
}

struct AccountValue {
  const char *field; // "dominio", "user" or "pass"
  std::string value;
  bool accepted;
};

// Each value as the checks judge it: plainly a SIP host (with its port), a
// SIP user, a password; anything the SIP library would read as something
// else is refused.
const AccountValue ACCOUNT_VALUES[] = {
    {"dominio", "sip.example.net", true},
    {"dominio", "sip.example.net.", true},
    {"dominio", "sip-1.example.net:5061", true},
    {"dominio", "localhost", true},
    {"dominio", "127.0.0.50", true},
    {"dominio", "127.0.0.50:5060", true},
    {"dominio", "[::1]", true},
    {"dominio", "[2001:db8::7]:5060", true},
    {"dominio", "[::ffff:127.0.0.1]", true},
    {"dominio", "[fe80:0:0:0:0:0:0:1]", true},
    {"dominio", "", false},
    {"dominio", "127.0.0.61 >x", false},
    {"dominio", "sip.example.net;transport=tcp", false},
    {"dominio", "sip.example.net?x=y", false},
    {"dominio", "evil@sip.example.net", false},
    {"dominio", "sip:sip.example.net", false},
    {"dominio", "sip.example.net:", false},
    {"dominio", "sip.example.net:0", false},
    {"dominio", "sip.example.net:65536", false},
    {"dominio", "sip.example.net:50x", false},
    {"dominio", "sip..example.net", false},
    {"dominio", "-sip.example.net", false},
    {"dominio", "sip_x.example.net", false},
    {"dominio", "127.0.0.256", false},
    {"dominio", "127.0.0", false},
    {"dominio", "127.0.0.01", false},
    {"dominio", std::string("127.0.0.50\0x", 12), false},
    {"dominio", "::1", false},
    {"dominio", "[::1", false},
    {"dominio", "[::1]x", false},
    {"dominio", "[1::2::3]", false},
    {"dominio", "[1:2:3:4:5:6:7:8:9]", false},
    {"dominio", "[g::1]", false},
    {"dominio", "[fe80::1%25eth0]", false},
    {"dominio", "[::ffff:127.0.0.01]", false},
    {"dominio", "sip.example.net\r\nVia: x", false},
    {"dominio", "sip.example.n\xc3\xa9t", false},
    {"dominio", std::string("sip.example.net\0x", 17), false},
    {"user", "cliente7", true},
    {"user", "a-b.c_d!e~f*g(h)i'j", true},
    {"user", "+5511&=$,;?/", true},
    {"user", "esc%41ped", true},
    {"user", "name:secret", false},
    {"user", "name@other.example", false},
    {"user", "name>x", false},
    {"user", "na me", false},
    {"user", "name%", false},
    {"user", "name%4", false},
    {"user", "name%3A", false},
    {"user", "name%40x", false},
    {"user", "name%0d%0aVia", false},
    {"user", "name\r\n", false},
    {"user", "jos\xc3\xa9", false},
    {"pass", "", true},
    {"pass", "s3nh@:;/ \"<>\\ \xc3\xa7", true},
    {"pass", "line\nbreak", false},
    {"pass", "tab\there", false},
    {"pass", "del\x7f", false},
    {"pass", "c1\xc2\x85", false},
};

bool checked(const AccountValue &v) {
  std::string field = v.field;
  return field == "dominio" ? validSipDomain(v.value)
         : field == "user"  ? validSipUser(v.value)
                            : validSipPassword(v.value);
}

} // namespace

TEST(AccountValues, ChecksAcceptPlainSipHostsUsersAndPasswordsOnly) {
  for (const AccountValue &v : ACCOUNT_VALUES)
    EXPECT_EQ(checked(v), v.accepted) << v.field << " = " << jsonQuoted(v.value);
}

// A login stores the account only when every value passes, and refuses an
// empty user and a user too long to keep whole: a few values of each kind go
// through a whole login, the first accepted and the first refused of each
// field among them.
TEST_F(ServiceTest, AccountValuesAreStoredOnlyWhenPlainlySipHostUserAndPassword) {
  std::vector<AccountValue> logins = {{"user", "", false},
                                      {"user", std::string(SIP_USER_CAP, 'u'), false},
                                      {"user", std::string(SIP_USER_CAP - 1, 'u'), true}};
  for (const char *field : {"dominio", "user", "pass"})
    for (bool accepted : {true, false})
      for (const AccountValue &v : ACCOUNT_VALUES)
        if (v.field == std::string(field) && v.accepted == accepted) {
          logins.push_back(v);
          break;
        }
  for (const AccountValue &c : logins) {
    SCOPED_TRACE(std::string(c.field) + " = " + jsonQuoted(c.value));
    forgetLogin();
    std::string domain = "sip.example.net", user = "cliente7", password = "pw";
    (c.field == std::string("dominio") ? domain
     : c.field == std::string("user")  ? user
                                       : password) = c.value;
    EXPECT_EQ(loginWith(answerWith(domain, user, password)), c.accepted);
    if (c.accepted) {
      EXPECT_TRUE(winapi_test::shownBoxes().empty());
      EXPECT_EQ(app.sipDomain, domain);
      EXPECT_EQ(app.sipUser, user);
      EXPECT_EQ(app.sipPassword, password);
    } else {
      ASSERT_EQ(winapi_test::shownBoxes().size(), 1u);
      // The service did answer: it granted an account this program cannot use.
      EXPECT_EQ(winapi_test::shownBoxes()[0].text,
                "O servi\xe7o respondeu com uma conta que este programa n\xe3o pode usar.");
      EXPECT_STREQ(app.sipDomain, "");
      EXPECT_STREQ(app.sipUser, "");
      EXPECT_STREQ(app.sipPassword, "");
    }
  }
}

TEST_F(ServiceTest, QueuesWhoseUserIsNotASipUserAreLeftOutAndTheListsStayAligned) {
  std::string filas = R"j([{"info":[
    {"nome":"Fiscal","info":{"user":"fiscal-01"}},
    {"nome":"Com senha","info":{"user":"fila:segredo"}},
    {"nome":"Outro host","info":{"user":"fila@evil.example"}},
    {"nome":"Parametro","info":{"user":"fila>x"}},
    {"nome":"Quebra","info":{"user":"fila\r\nVia"}},
    {"nome":"Trabalhista","info":{"user":"trab.(01)"}},
    {"nome":"Sem user","info":{}}]}])j";
  EXPECT_TRUE(loginWith(answerWith("sip.example.net", "cliente7", "pw", filas)));
  // Not silently: the user learns that queues are missing.
  ASSERT_EQ(winapi_test::shownBoxes().size(), 1u);
  EXPECT_EQ(winapi_test::shownBoxes()[0].text,
            "O servi\xe7o enviou 4 filas que este programa n\xe3o pode chamar; elas n\xe3o "
            "aparecem na lista.");
  EXPECT_EQ(winapi_test::shownBoxes()[0].caption, "Aten\xe7\xe3o");
  EXPECT_EQ(app.queueNames, (TextList{"Fiscal", "Trabalhista", "Semuser"}));
  EXPECT_EQ(app.queueUsers, (TextList{"fiscal-01", "trab.(01)", ""}));
}
