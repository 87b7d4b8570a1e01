// The TLS layer against an in-process TLS FTP server: the certificate rules,
// the cipher strengths, the TLS steps of the log-on, protected and clear data
// connections with session reuse and orderly closes, and the error report.
#include "client/engine/tls.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <openssl/err.h>
#include <openssl/ssl.h>
#include <unistd.h>

#include <atomic>
#include <fstream>
#include <memory>
#include <random>
#include <sstream>

#include "client/engine/data.h"
#include "client/engine/logon.h"
#include "client/engine/transfer.h"
#include "tests/support/engine_fixture.h"
#include "tests/support/test_certs.h"
#include "tests/support/tls_ftp_server.h"

namespace tarn {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::IsEmpty;
using ::testing::Not;
using platform::kInvalidSocket;
using platform::Socket;
using testing::CertRequest;
using testing::MakeCert;
using testing::TestCert;
using testing::TlsFtpServer;
using testing::TlsServerConfig;

constexpr uint32_t kAllAcceptBits = kSslExpired | kSslFuture | kSslSelf | kSslInvalid;
constexpr const char* kNoCommonCiphers = "Handshake failure.  Most likely no common ciphers found.";

// A Ui that counts the window's disconnect requests and presses Cancel
// once `abortAfter` bytes of a transfer have gone by.
class TlsUi : public testing::ScriptedUi {
 public:
  FtpConn* conn = nullptr;
  int64_t abortAfter = -1;
  std::atomic<int> disconnects{0};
  void PostDisconnect() override { ++disconnects; }
  bool TransferWindowOpen() const override { return abortAfter >= 0; }
  void SetTransferFields(const TransferFields& f) override {
    if (abortAfter >= 0 && f.bytes >= abortAfter && conn) conn->bAbort = 1;
  }
};

CertRequest CaRequest(const std::string& name) {
  CertRequest want;
  want.commonName = name;
  want.dnsNames.clear();
  want.ipAddresses.clear();
  want.isCa = true;
  return want;
}

std::string RandomBytes(size_t n, unsigned seed) {
  std::mt19937 gen(seed);
  std::string s(n, '\0');
  for (auto& ch : s) ch = static_cast<char>(gen());
  return s;
}

class TlsTest : public testing::EngineTest {
 protected:
  void SetUp() override {
    EngineTest::SetUp();
    c_.ui = &tui_;
    tui_.conn = &c_;
    c_.iReplyTimeout = 5000;
    app_.settings.bPassive = 1;
    ca_ = MakeCert(CaRequest("Tarn Test CA"), nullptr);
    leaf_ = MakeCert({}, &ca_);
    Write(dir_ + "/ca.pem", ca_.certPem);
    options_.caFile = dir_ + "/ca.pem";
    options_.caDir = dir_;
    options_.systemStore = false;
    InitNewSession(&host_, "tls", "127.0.0.1");
    host_.uSecurity = kSslUse | (3u << kSslStrengthShift);
    // FtpLogon takes the credentials as they are; RunConnect settles them
    // from the anonymous flag to the same values.
    SetField(host_.cUserFlag, "A");
    SetField(host_.cUserName, "anonymous");
    SetField(host_.cPassword, kAnonymousPlaceholder);
  }

  void TearDown() override {
    Reset();
    EngineTest::TearDown();
  }

  // Forgets the connection of the last log-on so that the next can begin.
  void Reset() {
    if (c_.sockControl != kInvalidSocket) net_.Close(c_.sockControl);
    c_.sockControl = kInvalidSocket;
    c_.tls = nullptr;
    tls_.reset();
    app_.bConnected = 0;
    c_.bAbort = 0;
    c_.cTypeNow = 0;
  }

  static TlsServerConfig ServerWith(const TestCert& leaf) {
    TlsServerConfig config;
    config.chainPem = leaf.chainPem;
    config.keyPem = leaf.keyPem;
    return config;
  }

  // The server's side of a TLS log-on, as far as FtpLogon goes.
  static TlsFtpServer& TlsLogon(TlsFtpServer& s, char prot = 'P') {
    return s.Send("220 ready\r\n")
        .On("AUTH TLS", "234 Proceed with negotiation.\r\n")
        .StartTls()
        .On("PBSZ 0", "200 PBSZ set to 0.\r\n")
        .On(std::string("PROT ") + prot, "200 PROT now set.\r\n")
        .On("USER anonymous", "331 Please specify the password.\r\n")
        .On(std::string("PASS ") + kAnonymousPlaceholder, "230 Login successful.\r\n")
        .On("REST 100", "350 Restart position accepted (100).\r\n")
        .On("REST 0", "350 Restart position accepted (0).\r\n");
  }

  // ... and as far as RunConnect goes.
  static TlsFtpServer& FullLogon(TlsFtpServer& s) {
    return TlsLogon(s).On("SYST", "215 UNIX Type: L8\r\n").On("PWD", "257 \"/\" is the current directory\r\n");
  }

  void NewLayer() {
    tls_ = std::make_unique<TlsLayer>(c_, options_);
    c_.tls = tls_.get();
  }

  // Starts `srv` and runs FtpLogon against it; the control socket or
  // kInvalidSocket.
  Socket Logon(TlsFtpServer& srv, const std::string& host = "127.0.0.1") {
    srv.Start();
    NewLayer();
    SetField(host_.cHostName, host);
    SetField(host_.cFTPPort, std::to_string(srv.Port()));
    Socket s = FtpLogon(c_, &host_, srv.Port());
    c_.sockControl = s;
    return s;
  }

  // Starts `srv` and connects as the window does (the failure box included).
  bool Connect(TlsFtpServer& srv, const std::string& host = "127.0.0.1") {
    srv.Start();
    NewLayer();
    SetField(host_.cHostName, host);
    SetField(host_.cFTPPort, std::to_string(srv.Port()));
    ConnectContext ctx;
    ctx.conn = &c_;
    ctx.replyTimeoutMs = 5000;
    return RunConnect(ctx, &host_);
  }


  TlsUi tui_;
  TestCert ca_;
  TestCert leaf_;
  TlsOptions options_;
  HostRecord host_;
  std::unique_ptr<TlsLayer> tls_;
};

// ---- Certificate rules --------------------------------------------------------------

TEST_F(TlsTest, EachCertificateFailureIsAcceptedOnlyByItsOwnSetting) {
  const TestCert otherCa = MakeCert(CaRequest("Unknown CA"), nullptr);
  CertRequest notCaRequest = CaRequest("Not a CA");
  notCaRequest.isCa = false;
  const TestCert notCa = MakeCert(notCaRequest, &ca_);
  CertRequest expired;
  expired.notBeforeSeconds = -30L * 86400;
  expired.notAfterSeconds = -86400;
  CertRequest future;
  future.notBeforeSeconds = 86400;
  CertRequest otherHost;
  otherHost.commonName = "other.example";
  otherHost.dnsNames = {"other.example"};
  otherHost.ipAddresses.clear();
  CertRequest otherAddress;
  otherAddress.ipAddresses = {"10.1.2.3"};
  TestCert inChain = MakeCert({}, &otherCa);
  inChain.chainPem += otherCa.certPem;  // the untrusted root travels with it

  struct Row {
    const char* name;
    TestCert leaf;
    const char* host;
    const char* subject;  // of the certificate the rule is about
    const char* issuer;
    uint32_t bit;         // the setting that accepts it; 0 = nothing to accept
    const char* line;     // the log line after "Accepted"/"Rejected"
    const char* text;     // the handshake error when rejected
  };
  const Row rows[] = {
      {"valid chain", leaf_, "localhost", "/CN=localhost", "/CN=Tarn Test CA", 0, nullptr, nullptr},
      {"expired", MakeCert(expired, &ca_), "127.0.0.1", "/CN=localhost", "/CN=Tarn Test CA",
       kSslExpired, "Server Certificate has expired", "Handshake failure: Server Certificate has expired."},
      {"not yet valid", MakeCert(future, &ca_), "127.0.0.1", "/CN=localhost", "/CN=Tarn Test CA",
       kSslFuture, "Server Certificate not yet valid",
       "Handshake failure: Server Certificate is not yet valid."},
      {"self-signed", MakeCert({}, nullptr), "127.0.0.1", "/CN=localhost", "/CN=localhost", kSslSelf,
       "Server Certificate is Self Signed", "Handshake failure: Server Certificate is Self Signed."},
      {"self-signed root in the chain", inChain, "localhost", "/CN=Unknown CA", "/CN=Unknown CA",
       kSslSelf, "Server Certificate is Self Signed", "Handshake failure: Server Certificate is Self Signed."},
      {"unknown CA", MakeCert({}, &otherCa), "127.0.0.1", "/CN=localhost", "/CN=Unknown CA",
       kSslInvalid, "Server Certificate is not valid", "Handshake failure: Server Certificate is not valid."},
      {"host name mismatch", MakeCert(otherHost, &ca_), "localhost", "/CN=other.example",
       "/CN=Tarn Test CA", kSslInvalid, "Server Certificate is not valid",
       "Handshake failure: Server Certificate is not valid."},
      {"address mismatch", MakeCert(otherAddress, &ca_), "127.0.0.1", "/CN=localhost",
       "/CN=Tarn Test CA", kSslInvalid, "Server Certificate is not valid",
       "Handshake failure: Server Certificate is not valid."},
      {"issuer is not a CA", MakeCert({}, &notCa), "127.0.0.1", "/CN=Not a CA", "/CN=Tarn Test CA",
       kSslInvalid, "Certificate Authority not valid",
       "Handshake failure: Certificate Authority is not valid."},
  };
  for (const Row& row : rows) {
    for (bool allowed : {false, true}) {
      if (allowed && !row.bit) continue;
      SCOPED_TRACE(std::string(row.name) + (allowed ? ", its setting on" : ", every other setting on"));
      host_.uSecurity = kSslUse | (3u << kSslStrengthShift) |
                        (allowed ? row.bit : (kAllAcceptBits & ~row.bit));
      const bool accepted = allowed || !row.bit;
      TlsFtpServer srv(ServerWith(row.leaf));
      if (accepted)
        FullLogon(srv);
      else
        srv.Send("220 ready\r\n").On("AUTH TLS", "234 Proceed with negotiation.\r\n").StartTls();
      const size_t mark = Log().size();
      const size_t boxes = tui_.Boxes().size();
      const int disconnects = tui_.disconnects;

      EXPECT_EQ(Connect(srv, row.host), accepted);
      EXPECT_TRUE(srv.Finish()) << ::testing::PrintToString(srv.Failures());
      const std::string log = Log().substr(mark);
      EXPECT_THAT(log, HasSubstr(std::string("current_cert subject:   ") + row.subject +
                                 "\r\ncurrent_cert issuer:    " + row.issuer + "\r\n"));
      if (accepted) {
        if (row.line) {
          EXPECT_THAT(log, HasSubstr(std::string("\r\nAccepted --> ") + row.line + "\r\n"));
        }
        EXPECT_THAT(log, Not(HasSubstr("Rejected")));
        EXPECT_THAT(log, HasSubstr("SSL connection established using "));
        EXPECT_EQ(tui_.Boxes().size(), boxes);
      } else {
        EXPECT_THAT(log, HasSubstr(std::string("\r\nRejected --> ") + row.line + "\r\n"));
        EXPECT_THAT(log, HasSubstr("\r\n-- *** Error! *** --\r\n"
                                   "Handshake failure.  Reason reported: certificate verify failed\r\n"
                                   "File: tls.cpp\r\n"));
        EXPECT_TRUE(srv.HandshakeFailed());
        EXPECT_GT(tui_.disconnects, disconnects);
        ASSERT_EQ(tui_.Boxes().size(), boxes + 1);
        EXPECT_EQ(tui_.Boxes().back().caption, "Error connecting to host");
        EXPECT_EQ(tui_.Boxes().back().text, row.text);
        EXPECT_EQ(c_.sockControl, kInvalidSocket);
      }
      Reset();
    }
  }
}

TEST_F(TlsTest, CaBundleIsFoundInTheCurrentDirectory) {
  // The default name, relative: only the copy in the current directory can
  // make the server's CA known.
  options_ = TlsOptions{};
  options_.systemStore = false;
  const std::string elsewhere = dir_ + "/elsewhere";
  ASSERT_EQ(mkdir(elsewhere.c_str(), 0700), 0);
  char old[4096];
  ASSERT_NE(getcwd(old, sizeof old), nullptr);

  for (bool bundleHere : {false, true}) {
    SCOPED_TRACE(bundleHere ? "ca-cert.pem present" : "no ca-cert.pem");
    const std::string cwd = bundleHere ? dir_ : elsewhere;
    if (bundleHere) Write(dir_ + "/ca-cert.pem", ca_.certPem);
    ASSERT_EQ(chdir(cwd.c_str()), 0);
    TlsFtpServer srv(ServerWith(leaf_));
    if (bundleHere)
      TlsLogon(srv);
    else
      srv.Send("220 ready\r\n").On("AUTH TLS", "234 go\r\n").StartTls();
    const size_t mark = Log().size();
    Socket s = Logon(srv);
    ASSERT_EQ(chdir(old), 0);
    srv.Finish();
    if (bundleHere) {
      EXPECT_NE(s, kInvalidSocket);
    } else {
      // A missing bundle is no error of its own: the server is unknown.
      EXPECT_EQ(s, kInvalidSocket);
      EXPECT_STREQ(c_.cReply, "Handshake failure: Server Certificate is not valid.");
      EXPECT_THAT(Log().substr(mark), Not(HasSubstr("Error setting CA verification file location")));
    }
    Reset();
  }
}

TEST_F(TlsTest, UnreadableCaBundleEndsTheLogOn) {
  Write(options_.caFile, "-----BEGIN CERTIFICATE-----\nnot base64 at all\n-----END CERTIFICATE-----\n");
  TlsFtpServer srv(ServerWith(leaf_));
  srv.Send("220 ready\r\n").On("AUTH TLS", "234 go\r\n").DrainUntilClosed();
  EXPECT_EQ(Logon(srv), kInvalidSocket);
  EXPECT_TRUE(srv.Finish());
  EXPECT_STREQ(c_.cReply, "Error setting CA verification file location");
  EXPECT_THAT(Log(), HasSubstr("Error setting CA verification file location.  Reason reported: "));
}

// ---- Cipher strengths ----------------------------------------------------------------

TEST_F(TlsTest, CipherStrengthDecidesWhatIsOffered) {
  CertRequest rsaRequest;
  rsaRequest.rsa = true;
  const TestCert rsaLeaf = MakeCert(rsaRequest, &ca_);
  auto server = [&](const TestCert& leaf, int maxVersion, const char* ciphers) {
    TlsServerConfig config = ServerWith(leaf);
    config.maxVersion = maxVersion;
    if (ciphers) {
      config.cipherList = ciphers;
      config.securityLevel = 0;
    }
    return config;
  };
  struct Row {
    const char* name;
    int strength;
    TlsServerConfig server;
    const char* version;  // null: the handshake fails
    const char* cipher;
  };
  const Row rows[] = {
      {"no encryption, server with unencrypted suites", 0,
       server(leaf_, TLS1_2_VERSION, "eNULL:@SECLEVEL=0"), "TLSv1.2", "AECDH-NULL-SHA"},
      {"no encryption, ordinary server", 0, server(leaf_, 0, nullptr), nullptr, nullptr},
      {"weak, TLS 1.2 server", 1, server(rsaLeaf, TLS1_2_VERSION, "ALL:@SECLEVEL=0"), "TLSv1.2",
       "AES128-SHA"},
      {"weak, TLS 1.3 server", 1, server(leaf_, 0, nullptr), "TLSv1.3", "TLS_AES_128_GCM_SHA256"},
      {"medium, TLS 1.2 server", 2, server(rsaLeaf, TLS1_2_VERSION, "ALL:@SECLEVEL=0"), "TLSv1.2",
       "ECDHE-RSA-AES256-SHA"},
      {"strong, TLS 1.3 server", 3, server(leaf_, 0, nullptr), "TLSv1.3", "TLS_AES_256_GCM_SHA384"},
      {"strong, TLS 1.2 server", 3, server(leaf_, TLS1_2_VERSION, nullptr), "TLSv1.2",
       "ECDHE-ECDSA-AES256-GCM-SHA384"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    host_.uSecurity = kSslUse | (static_cast<uint32_t>(row.strength) << kSslStrengthShift);
    TlsFtpServer srv(row.server);
    if (row.version)
      TlsLogon(srv);
    else
      srv.Send("220 ready\r\n").On("AUTH TLS", "234 go\r\n").StartTls();
    const size_t mark = Log().size();
    Socket s = Logon(srv);
    EXPECT_TRUE(srv.Finish()) << ::testing::PrintToString(srv.Failures());
    if (row.version) {
      ASSERT_NE(s, kInvalidSocket) << c_.cReply;
      EXPECT_EQ(tls_->Protocol(), row.version);
      EXPECT_EQ(tls_->Cipher(), row.cipher);
      EXPECT_EQ(srv.CipherName(), row.cipher);
      EXPECT_THAT(Log().substr(mark),
                  HasSubstr(std::string("SSL connection established using ") + row.cipher + "\r\n\r\n"));
    } else {
      EXPECT_EQ(s, kInvalidSocket);
      EXPECT_STREQ(c_.cReply, kNoCommonCiphers);
      EXPECT_THAT(Log().substr(mark), HasSubstr("Handshake failure.  Reason reported: "));
    }
    Reset();
  }
}

TEST_F(TlsTest, ProtocolCeilingIsHonoured) {
  options_.maxVersion = TLS1_2_VERSION;
  TlsFtpServer srv(ServerWith(leaf_));
  TlsLogon(srv);
  ASSERT_NE(Logon(srv), kInvalidSocket) << c_.cReply;
  EXPECT_TRUE(srv.Finish());
  EXPECT_EQ(srv.Version(), "TLSv1.2");
}

// ---- The TLS steps of the log-on --------------------------------------------------------

TEST_F(TlsTest, AuthRepliesDecideBetweenTlsSslAndGivingUp) {
  constexpr const char* kNotUnderstood =
      "The server did not understand our AUTH command.\r\n"
      "Possibly the server does not understand the SSL protocol.";
  struct Row {
    const char* name;
    const char* tlsReply;
    const char* sslReply;  // null: AUTH SSL must not be sent
    bool ok;
  };
  const Row rows[] = {
      {"AUTH TLS accepted", "234 Proceed with negotiation.\r\n", nullptr, true},
      {"AUTH TLS answered 334", "334 ADAT needed.\r\n", nullptr, true},
      {"AUTH TLS refused for now, AUTH SSL accepted", "431 Unable to accept security mechanism.\r\n",
       "234 AUTH SSL OK.\r\n", true},
      {"AUTH TLS refused for good", "504 Unknown AUTH type.\r\n", nullptr, false},
      {"both refused", "431 Not now.\r\n", "500 AUTH not understood.\r\n", false},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    TlsFtpServer srv(ServerWith(leaf_));
    srv.Send("220 ready\r\n").On("AUTH TLS", row.tlsReply);
    if (row.sslReply) srv.On("AUTH SSL", row.sslReply);
    if (row.ok) {
      srv.StartTls().On("PBSZ 0", "200 ok\r\n").On("PROT P", "200 ok\r\n");
      srv.On("USER anonymous", "230 in\r\n").On("REST 100", "350 ok\r\n").On("REST 0", "350 ok\r\n");
      srv.On("SYST", "215 UNIX\r\n").On("PWD", "257 \"/\"\r\n");
    } else {
      srv.DrainUntilClosed();
    }
    const size_t boxes = tui_.Boxes().size();
    const size_t statuses = tui_.StatusTexts().size();
    EXPECT_EQ(Connect(srv), row.ok);
    EXPECT_TRUE(srv.Finish()) << ::testing::PrintToString(srv.Failures());
    std::vector<std::string> auth;
    for (const auto& line : srv.Received())
      if (line.compare(0, 5, "AUTH ") == 0) auth.push_back(line);
    if (row.sslReply)
      EXPECT_THAT(auth, ElementsAre("AUTH TLS", "AUTH SSL"));
    else
      EXPECT_THAT(auth, ElementsAre("AUTH TLS"));
    std::vector<std::string> status;
    for (size_t i = statuses; i < tui_.StatusTexts().size(); ++i)
      if (tui_.StatusTexts()[i].second.find("Authorization") != std::string::npos)
        status.push_back(tui_.StatusTexts()[i].second);
    if (row.sslReply)
      EXPECT_THAT(status, ElementsAre("Starting TLS Authorization...", "Starting SSL Authorization..."));
    else
      EXPECT_THAT(status, ElementsAre("Starting TLS Authorization..."));
    auto shown = tui_.Boxes();
    if (row.ok) {
      EXPECT_EQ(shown.size(), boxes);
    } else {
      ASSERT_EQ(shown.size(), boxes + 2);
      EXPECT_EQ(shown[boxes].text, kNotUnderstood);
      EXPECT_EQ(shown[boxes].caption, "Tarn");
      EXPECT_EQ(shown[boxes + 1].caption, "Error connecting to host");
      EXPECT_EQ(c_.sockControl, kInvalidSocket);
    }
    Reset();
  }
}

TEST_F(TlsTest, RefusedPbszOrProtShowsItsBoxAndClosesTheConnection) {
  struct Row {
    const char* name;
    int sslType;
    const char* refused;  // the line the server refuses
    const char* box;
  };
  const Row rows[] = {
      {"PBSZ refused", 0, "PBSZ 0",
       "Error setting protection buffer (PBSZ).\r\nPossibly the server does not understand the SSL protocol."},
      {"PROT P refused", 0, "PROT P",
       "Server does not support encrypted data channel communication.\r\nTry using clear data channel."},
      {"PROT C refused", 1, "PROT C",
       "Server does not support clear data channel communication.\r\nTry using encrypted data channel."},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    host_.uSecurity = kSslUse | (3u << kSslStrengthShift) | (static_cast<uint32_t>(row.sslType) << kSslTypeShift);
    TlsFtpServer srv(ServerWith(leaf_));
    srv.Send("220 ready\r\n").On("AUTH TLS", "234 go\r\n").StartTls();
    if (std::string(row.refused) != "PBSZ 0") srv.On("PBSZ 0", "200 ok\r\n");
    srv.On(row.refused, "536 Requested PROT level not supported by mechanism.\r\n").DrainUntilClosed();
    const size_t boxes = tui_.Boxes().size();
    EXPECT_FALSE(Connect(srv));
    EXPECT_TRUE(srv.Finish()) << ::testing::PrintToString(srv.Failures());
    EXPECT_EQ(srv.Received().back(), row.refused);
    auto shown = tui_.Boxes();
    ASSERT_EQ(shown.size(), boxes + 2);
    EXPECT_EQ(shown[boxes].text, row.box);
    EXPECT_EQ(shown[boxes].caption, "Tarn");
    EXPECT_EQ(shown[boxes + 1].caption, "Error connecting to host");
    EXPECT_EQ(shown[boxes + 1].text, "536 Requested PROT level not supported by mechanism.");
    EXPECT_EQ(c_.sockControl, kInvalidSocket);
    EXPECT_FALSE(tls_->Active(true));
    Reset();
  }
}

TEST_F(TlsTest, RepliesSplitOverRecordsAreJoined) {
  const std::string longLine = "230-" + std::string(150, 'w') + "\r\n";
  TlsFtpServer srv(ServerWith(leaf_));
  TlsLogon(srv).Expect("STAT").SendPieces({longLine.substr(0, 40), longLine.substr(40) + "230-se",
                                           "cond\r\n230 Logged in.\r\n211 next\r\n"});
  srv.On("NOOP", "200 NOOP ok.\r\n");
  Socket s = Logon(srv);
  ASSERT_NE(s, kInvalidSocket);
  EXPECT_EQ(FtpCommand(c_, s, "STAT"), kReplyComplete);
  EXPECT_STREQ(c_.cReply, "230 Logged in.");
  // The line after the reply stays buffered in TLS for the next read.
  EXPECT_EQ(FtpGetReply(c_, s), kReplyComplete);
  EXPECT_STREQ(c_.cReply, "211 next");
  EXPECT_EQ(FtpCommand(c_, s, "NOOP"), kReplyComplete);
  EXPECT_TRUE(srv.Finish()) << ::testing::PrintToString(srv.Failures());
}

// ---- Data connections ------------------------------------------------------------------

TEST_F(TlsTest, EveryDataConnectionResumesASessionAndUploadsEndWithCloseNotify) {
  const std::string file = RandomBytes(300000, 7);
  Write(Local("src"), file);
  const std::string listing = "-rw-r--r--    1 ftp      ftp        300000 Dec 07 12:00 f\r\n";
  for (int version : {TLS1_2_VERSION, TLS1_3_VERSION}) {
    SCOPED_TRACE(version == TLS1_2_VERSION ? "TLS 1.2" : "TLS 1.3");
    TlsServerConfig config = ServerWith(leaf_);
    config.maxVersion = version;
    TlsFtpServer srv(config);
    TlsLogon(srv);
    srv.On("TYPE A", "200 ASCII\r\n").Pasv().On("LIST", "150 Here comes the listing.\r\n");
    srv.DataAccept(true).DataSend(listing).DataClose().Send("226 Directory send OK.\r\n");
    srv.On("TYPE I", "200 Binary\r\n").Pasv().On("RETR f", "150 Opening (300000 bytes).\r\n");
    srv.DataAccept(true).DataSend(file).DataClose().Send("226 Transfer complete.\r\n");
    srv.Pasv().On("STOR g", "150 Ok to send data.\r\n");
    srv.DataAccept(true).DataRecv().DataClose().Send("226 Transfer complete.\r\n");
    srv.Pasv().On("RETR f", "150 Opening (300000 bytes).\r\n");
    srv.DataAccept(true).DataSend(file).DataClose().Send("226 Transfer complete.\r\n");
    Socket s = Logon(srv);
    ASSERT_NE(s, kInvalidSocket) << c_.cReply;

    ASSERT_EQ(FtpListToTemp(c_, s, "LIST"), kReplyComplete);
    EXPECT_EQ(Read(c_.cTempFile), listing);
    unlink(c_.cTempFile);
    EXPECT_EQ(FtpGetFile(c_, s, "RETR f", Local("f1"), 'I'), kReplyComplete);
    EXPECT_EQ(FtpPutFile(c_, s, "STOR g", Local("src"), 'I'), kReplyComplete);
    EXPECT_EQ(FtpGetFile(c_, s, "RETR f", Local("f2"), 'I'), kReplyComplete);
    EXPECT_TRUE(tls_->DataResumed());
    EXPECT_TRUE(srv.Finish()) << ::testing::PrintToString(srv.Failures());
    EXPECT_EQ(Read(Local("f1")), file);
    EXPECT_EQ(Read(Local("f2")), file);
    EXPECT_EQ(srv.ReceivedData(), file);
    EXPECT_TRUE(srv.DataCloseNotify());
    EXPECT_THAT(srv.DataResumed(), ElementsAre(true, true, true, true));
    Reset();
  }
}

TEST_F(TlsTest, PartialSecurityKeepsDataInClear) {
  host_.uSecurity = kSslUse | (3u << kSslStrengthShift) | (1u << kSslTypeShift);
  const std::string file = RandomBytes(100000, 9);
  TlsFtpServer srv(ServerWith(leaf_));
  TlsLogon(srv, 'C').On("TYPE I", "200 Binary\r\n").Pasv().On("RETR f", "150 ok\r\n");
  srv.DataAccept(false).DataSend(file).DataClose().Send("226 done\r\n");
  Socket s = Logon(srv);
  ASSERT_NE(s, kInvalidSocket) << c_.cReply;
  EXPECT_FALSE(tls_->DataProtected());
  EXPECT_TRUE(tls_->Active(true));
  EXPECT_EQ(FtpGetFile(c_, s, "RETR f", Local("f"), 'I'), kReplyComplete);
  EXPECT_TRUE(srv.Finish()) << ::testing::PrintToString(srv.Failures());
  EXPECT_EQ(Read(Local("f")), file);
  EXPECT_THAT(srv.DataResumed(), IsEmpty());
}

TEST_F(TlsTest, FailedDataHandshakeFailsTheTransferButNotTheConnection) {
  TlsFtpServer srv(ServerWith(leaf_));
  TlsLogon(srv).On("TYPE I", "200 Binary\r\n").Pasv().On("RETR f", "150 ok\r\n");
  srv.DataAccept(false).DataSend("this is no TLS record\r\n").DataClose();
  srv.Send("522 SSL handshake failed.\r\n").On("NOOP", "200 NOOP ok.\r\n");
  Socket s = Logon(srv);
  ASSERT_NE(s, kInvalidSocket) << c_.cReply;
  EXPECT_EQ(FtpGetFile(c_, s, "RETR f", Local("f"), 'I'), kReplyPermanent);
  EXPECT_STREQ(c_.cReply, "522 SSL handshake failed.");
  auto shown = tui_.Boxes();
  ASSERT_EQ(shown.size(), 1u);
  EXPECT_EQ(shown[0].text, "Handshake failure on data socket");
  EXPECT_EQ(shown[0].caption, "Tarn");
  EXPECT_EQ(shown[0].icon, BoxIcon::kInformation);
  EXPECT_THAT(Log(), HasSubstr("Error negotiating SSL data connection\r\n"));
  EXPECT_THAT(Log(), HasSubstr("Handshake failure.  Reason reported: "));
  // The control connection is still protected and still works.
  EXPECT_TRUE(tls_->Active(true));
  EXPECT_EQ(FtpCommand(c_, s, "NOOP"), kReplyComplete);
  EXPECT_TRUE(srv.Finish()) << ::testing::PrintToString(srv.Failures());
}

TEST_F(TlsTest, AbortOnAProtectedConnectionSendsAbortInsideTls) {
  tui_.abortAfter = 1;
  TlsFtpServer srv(ServerWith(leaf_));
  TlsLogon(srv).On("TYPE I", "200 Binary\r\n").Pasv().On("RETR big", "150 ok\r\n");
  // No urgent Telnet bytes: they cannot be carried inside TLS.
  srv.DataAccept(true).DataSend(RandomBytes(400000, 3)).Expect("ABOR");
  srv.Send("426 Failure writing network stream.\r\n226 ABOR successful.\r\n").On("NOOP", "200 NOOP ok.\r\n");
  Socket s = Logon(srv);
  ASSERT_NE(s, kInvalidSocket) << c_.cReply;
  EXPECT_EQ(FtpGetFile(c_, s, "RETR big", Local("big"), 'I'), kReplyAborted);
  EXPECT_STREQ(c_.cReply, "226 ABOR successful.");
  c_.bAbort = 0;
  EXPECT_EQ(FtpCommand(c_, s, "NOOP"), kReplyComplete);
  EXPECT_TRUE(srv.Finish()) << ::testing::PrintToString(srv.Failures());
}

// ---- Client certificate -----------------------------------------------------------------

TEST_F(TlsTest, ClientCertificateWithEncryptedKey) {
  CertRequest clientRequest;
  clientRequest.commonName = "tarn client";
  clientRequest.dnsNames.clear();
  clientRequest.ipAddresses.clear();
  const TestCert client = MakeCert(clientRequest, &ca_);
  const std::string certFile = Local("client.pem");
  Write(certFile, client.certPem + testing::EncryptedKeyPem(client.keyPem, "s3cret pass"));
  struct Row {
    const char* name;
    const char* password;
    bool ok;
  };
  const Row rows[] = {{"right password", "s3cret pass", true}, {"wrong password", "guess", false}};
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    SetField(host_.cCertFile, certFile);
    SetField(host_.cCertPassword, row.password);
    TlsServerConfig config = ServerWith(leaf_);
    config.clientCaPem = ca_.certPem;
    TlsFtpServer srv(config);
    if (row.ok)
      TlsLogon(srv);
    else
      srv.Send("220 ready\r\n").On("AUTH TLS", "234 go\r\n").DrainUntilClosed();
    const size_t mark = Log().size();
    Socket s = Logon(srv);
    EXPECT_TRUE(srv.Finish()) << ::testing::PrintToString(srv.Failures());
    if (row.ok) {
      EXPECT_NE(s, kInvalidSocket) << c_.cReply;
      EXPECT_EQ(srv.ClientSubject(), "/CN=tarn client");
    } else {
      EXPECT_EQ(s, kInvalidSocket);
      EXPECT_STREQ(c_.cReply, "Unable to load specified certificate file");
      EXPECT_THAT(Log().substr(mark),
                  HasSubstr("\r\n-- *** Error! *** --\r\nUnable to load specified certificate file.  Reason reported: "));
    }
    Reset();
  }
}

// ---- Error report ----------------------------------------------------------------------------

TEST_F(TlsTest, ReportWritesOneBlockPerQueuedErrorAndEmptiesTheQueue) {
  SSL_CTX* ctx = SSL_CTX_new(TLS_client_method());
  ASSERT_NE(ctx, nullptr);
  ERR_clear_error();
  EXPECT_EQ(SSL_CTX_set_cipher_list(ctx, "NO-SUCH-SUITE"), 0);
  SSL_CTX_free(ctx);
  const size_t mark = Log().size();
  TlsReport(c_, "Unable to load cipher list", 77);
  EXPECT_EQ(Log().substr(mark),
            "\r\n-- *** Error! *** --\r\n"
            "Unable to load cipher list.  Reason reported: no cipher match\r\n"
            "File: tls.cpp\r\n"
            "Line 77\r\n"
            "Library: SSL routines\r\n"
            "Function: SSL_CTX_set_cipher_list\r\n");
  const size_t after = Log().size();
  TlsReport(c_, "Nothing queued", 78);
  EXPECT_EQ(Log().size(), after);
}

// A library update that drops the suites of a strength would otherwise only
// show as "Unable to load cipher list" on some user's log-on.
TEST(TlsCipherList, EveryStrengthStillNamesSuitesOfThisLibrary) {
  for (int strength = 0; strength <= 3; ++strength) {
    SCOPED_TRACE(strength);
    SSL_CTX* ctx = SSL_CTX_new(TLS_client_method());
    SSL_CTX_set_security_level(ctx, 0);
    EXPECT_EQ(SSL_CTX_set_cipher_list(ctx, TlsCipherList(strength)), 1);
    SSL_CTX_free(ctx);
  }
}

}  // namespace
}  // namespace tarn
