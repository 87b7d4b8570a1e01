// The engine and the listing thread against the host personalities: log on
// with the SYST adaptation, list, open containers through the tree, fetch
// and store members, go up, and switch an MVS connection between dataset
// names and UNIX paths.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "client/engine/control.h"
#include "client/engine/data.h"
#include "client/engine/keepalive.h"
#include "client/engine/logon.h"
#include "client/listing/listing_thread.h"
#include "client/listing/mainframe_parsers.h"
#include "client/session/connection_log.h"
#include "client/session/password.h"
#include "tests/support/scripted_ui.h"
#include "tests/support/temp_dir.h"
#include "tools/host_personality/host_personality.h"

namespace tarn::listing {
namespace {

using ::testing::Contains;
using ::testing::ElementsAre;
using ::testing::IsSupersetOf;
using ::testing::Not;
using tarn::testing::HostPersonality;
using tarn::testing::Personality;
using tarn::testing::PersonalityOptions;

DateParts Now() { return DateParts{2026, 12, 7, 12, 0, 0}; }

class PersonalityTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_FALSE(dir_.empty());
    ASSERT_TRUE(log_.Create(dir_ + "/Tarn.log"));
    app_.log = &log_;
    app_.settings.bDebugLog = true;
    app_.settings.bPassive = 1;
    c_.app = &app_;
    c_.ui = &ui_;
    c_.net = &net_;
    c_.keepAlive = &keepAlive_;
    c_.iReplyTimeout = 5000;
  }

  void TearDown() override {
    if (c_.sockControl != platform::kInvalidSocket) {
      FtpQuit(c_, c_.sockControl);
      c_.sockControl = FtpCloseSocket(c_, c_.sockControl);
    }
    if (host_) host_->Stop();
  }

  // Logs on as USER1 and lists the start directory under the session's
  // node, as the window does after connecting.
  bool Connect(PersonalityOptions options) {
    host_ = std::make_unique<HostPersonality>(options);
    if (!host_->Start()) return false;
    HostRecord h;
    InitNewSession(&h, "playground", "127.0.0.1");
    SetField(h.cFTPPort, std::to_string(host_->Port()));
    SetField(h.cUserFlag, "S");
    SetField(h.cUserName, "USER1");
    SetField(h.cPasswordFlag, "S");
    PasswordScrambler scrambler(20261207);
    SetField(h.cPassword, scrambler.Scramble("secret"));
    ConnectContext cc;
    cc.conn = &c_;
    // The window's tree keeps the session's own node on top; the listings
    // hang below it.
    cc.hooks.resetListing = [this] {
      ResetListing(c_, &ctx_);
      session_ = ctx_.tree.Insert(kNoNode, kInsertRoot, TreeNode{}, "playground", kIconFolder);
    };
    cc.hooks.processDirectory = [this](const std::string& dir) {
      PathStateFromConn(c_, &ctx_.path);
      return ProcessCurrentDirectory(c_, &ctx_, dir);
    };
    cc.hooks.startListing = [this](const std::string& dir) {
      listed_ = RunListing(c_, &ctx_, FirstListingRequest(ctx_.path, dir), Now());
    };
    session_ = ctx_.tree.Insert(kNoNode, kInsertRoot, TreeNode{}, "playground", kIconFolder);
    return RunConnect(cc, &h) && listed_ == 0;
  }
  bool Connect(Personality p) {
    PersonalityOptions o;
    o.personality = p;
    return Connect(o);
  }

  // A click on a node of the tree.
  int Select(NodeId node) {
    return RunListing(c_, &ctx_, RequestForSelection(ctx_.tree, node, &ctx_.path, ctx_.nameCase, &ui_), Now());
  }
  // "Up One Level (Host)" from the node the last listing selected.
  int Up() {
    UpOneLevelStep up = UpOneLevel(ctx_.tree, ctx_.selected, ctx_.path, ctx_.nameCase, &ui_);
    if (up.select != kNoNode) return Select(up.select);
    if (!up.request) return -1;
    return RunListing(c_, &ctx_, *up.request, Now());
  }
  NodeId Child(NodeId parent, const std::string& path) const {
    for (NodeId child : ctx_.tree.Children(parent))
      if (ctx_.tree.Record(child).path == path) return child;
    return kNoNode;
  }
  std::vector<std::string> Paths() const {
    std::vector<std::string> out;
    for (const auto& e : ctx_.listing.rows()) out.emplace_back(ctx_.listing.Path(e));
    for (const auto& e : ctx_.listing.vseRows()) out.emplace_back(ctx_.listing.Path(e));
    return out;
  }
  std::string Size(const std::string& path) const {
    for (const auto& e : ctx_.listing.rows())
      if (ctx_.listing.Path(e) == path) return RowSizeText(e, platform::PinnedLocale());
    return "(no row)";
  }
  std::string LocalFile(const std::string& name, const std::string& content = "") {
    const std::string path = dir_ + "/" + name;
    if (!content.empty()) std::ofstream(path, std::ios::binary) << content;
    return path;
  }
  static std::string Slurp(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
  }
  std::string Log() const { return Slurp(dir_ + "/Tarn.log"); }

  testing::TempDir tmp_{"tarn-personality"};
  std::string dir_ = tmp_.Path();
  AppState app_;
  ConnLog log_;
  tarn::testing::ScriptedUi ui_;
  platform::Net net_;
  KeepAliveTimer keepAlive_;
  FtpConn c_;
  ListingContext ctx_;
  std::unique_ptr<HostPersonality> host_;
  NodeId session_ = kNoNode;
  int listed_ = -1;
};

// ---------------------------------------------------------------------------
// MVS
// ---------------------------------------------------------------------------

TEST_F(PersonalityTest, MvsLogOnListOpenAPdsGetPutAndGoUp) {
  ASSERT_TRUE(Connect(Personality::kMvs)) << Log();
  EXPECT_EQ(c_.HostFamily, HOST_MVS);
  EXPECT_EQ(c_.ServerType, SERVER_MVS);
  EXPECT_EQ(c_.SystemCode, 13);
  EXPECT_THAT(host_->Commands(), Contains("SITE LISTFMT=IBM"));
  EXPECT_THAT(host_->Commands(), Contains("CWD 'USER1.'"));

  // The level: datasets by full name, every special line, PDS nodes.
  const NodeId level = ctx_.selected;
  ASSERT_NE(level, kNoNode);
  EXPECT_EQ(ctx_.tree.Record(level).kind, kKindDatasetLevel);
  EXPECT_TRUE(ctx_.sort.fullPaths);
  EXPECT_THAT(Paths(), IsSupersetOf({"USER1.CNTL", "USER1.LOAD", "USER1.DATA.TXT", "USER1.OLD.DATA",
                                     "USER1.KSDS", "USER1.BROKEN", "USER1.ARCHIVE", "USER1.TAPECOPY",
                                     "USER1.PROJ"}));
  EXPECT_EQ(Paths().front(), "USER1.CLIST");  // folders first, by full name
  const NodeId cntl = Child(level, "USER1.CNTL");
  const NodeId clist = Child(level, "USER1.CLIST");
  const NodeId load = Child(level, "USER1.LOAD");
  ASSERT_NE(cntl, kNoNode);
  ASSERT_NE(clist, kNoNode);
  ASSERT_NE(load, kNoNode);
  EXPECT_EQ(ctx_.tree.Record(cntl).kind, kKindPdsFixed);
  EXPECT_EQ(ctx_.tree.Record(cntl).recordLength, 80);
  EXPECT_EQ(ctx_.tree.Record(clist).kind, kKindPdsVariable);
  EXPECT_EQ(ctx_.tree.Record(load).kind, kKindPdsLoad);

  // Open the PDS.
  ASSERT_EQ(Select(cntl), 0);
  EXPECT_EQ(ctx_.path.currentDir, "USER1.CNTL");
  EXPECT_EQ(ctx_.path.parentDir, "USER1");
  EXPECT_THAT(host_->Commands(), Contains("CWD 'USER1.CNTL'"));
  EXPECT_THAT(Paths(), ElementsAre("USER1.CNTL(ALLOCJCL)", "USER1.CNTL(BACKUP)", "USER1.CNTL(NOSTATS)"));
  EXPECT_EQ(Size("USER1.CNTL(ALLOCJCL)"), "1KB");  // 3 lines of 80
  EXPECT_EQ(Size("USER1.CNTL(NOSTATS)"), "");

  // Get a member, put one, and see it listed.
  const std::string got = LocalFile("ALLOCJCL.CNTL");
  ASSERT_EQ(FtpGetFile(c_, c_.sockControl, "RETR 'USER1.CNTL(ALLOCJCL)'", got, 'I'), kReplyComplete) << Log();
  EXPECT_EQ(Slurp(got), host_->File("USER1.CNTL(ALLOCJCL)").value_or("?"));
  const std::string job = "//NEWJOB   JOB (ACCT),'NEW',CLASS=A\n//STEP1    EXEC PGM=IEFBR14\n";
  ASSERT_EQ(FtpPutFile(c_, c_.sockControl, "STOR 'USER1.CNTL(NEWJOB)'", LocalFile("NEWJOB.CNTL", job), 'I'),
            kReplyComplete) << Log();
  EXPECT_EQ(host_->File("USER1.CNTL(NEWJOB)"), job);
  auto again = RequestForRefresh(&ctx_.tree, ctx_.selected, ctx_.path, ctx_.nameCase, &ui_);
  ASSERT_TRUE(again.has_value());
  ASSERT_EQ(RunListing(c_, &ctx_, *again, Now()), 0);
  EXPECT_THAT(Paths(), Contains("USER1.CNTL(NEWJOB)"));
  EXPECT_EQ(Size("USER1.CNTL(NEWJOB)"), "1KB");

  // Up to the level again, then into the load library.
  ASSERT_EQ(Up(), 0);
  EXPECT_EQ(ctx_.selected, level);
  EXPECT_THAT(Paths(), Contains("USER1.DATA.TXT"));
  ASSERT_EQ(Select(load), 0);
  EXPECT_THAT(Paths(), ElementsAre("USER1.LOAD(IEFBR14)", "USER1.LOAD(PAYRL)", "USER1.LOAD(PAYROLL)"));
  EXPECT_EQ(Size("USER1.LOAD(IEFBR14)"), "~3KB");

  // Above the start: the parent level is listed under a new root node, as
  // a dataset level whatever the listing held before.
  ASSERT_EQ(Select(cntl), 0);
  ASSERT_EQ(Select(level), 0);
  ASSERT_EQ(Up(), 0);
  EXPECT_EQ(ctx_.path.currentDir, "USER1");
  EXPECT_NE(ctx_.selected, level);
  EXPECT_EQ(ctx_.tree.Record(ctx_.selected).kind, kKindDatasetLevel);
  EXPECT_THAT(Paths(), Contains("USER1.DATA.TXT"));
  EXPECT_TRUE(ui_.Boxes().empty());
}

// A PDS listed as if it were a level: the member header hands the listing
// over and the node learns what it is.
TEST_F(PersonalityTest, MvsMemberListMetAsALevelTeachesTheNodeItsKind) {
  ASSERT_TRUE(Connect(Personality::kMvs)) << Log();
  const NodeId clist = Child(ctx_.selected, "USER1.CLIST");
  ASSERT_NE(clist, kNoNode);
  ctx_.tree.MutableRecord(clist).kind = kKindDatasetLevel;
  ASSERT_EQ(Select(clist), 0);
  EXPECT_THAT(Paths(), ElementsAre("USER1.CLIST(LOGON)"));
  EXPECT_EQ(ctx_.tree.Record(clist).kind, kKindPdsFixed);
}

TEST_F(PersonalityTest, MvsConnectionTurnsToUnixPathsAndBack) {
  ASSERT_TRUE(Connect(Personality::kMvs)) << Log();
  const NodeId level = ctx_.selected;
  const NodeId cntl = Child(level, "USER1.CNTL");
  ASSERT_NE(cntl, kNoNode);

  // A typed UNIX path: the PWD reply shows "/" and the connection takes
  // UNIX paths before the listing is parsed.
  ListingRequest req;
  req.directory = "/u/user1";
  req.kind = kKindDatasetLevel;
  ASSERT_EQ(RunListing(c_, &ctx_, req, Now()), 0) << Log();
  EXPECT_EQ(c_.HostFamily, HOST_GENERIC);
  EXPECT_EQ(c_.ServerType, SERVER_UNIX);
  EXPECT_STREQ(c_.cRootDir, "/");
  EXPECT_EQ(ctx_.path.parentDir, "/u");
  EXPECT_THAT(Paths(), ElementsAre("/u/user1/src", "/u/user1/notes.txt"));
  EXPECT_FALSE(ctx_.sort.fullPaths);

  // A tree node of a dataset name brings the dataset names back.
  ASSERT_EQ(Select(cntl), 0) << Log();
  EXPECT_EQ(ctx_.path.hostFamily, HOST_MVS);
  EXPECT_EQ(c_.HostFamily, HOST_MVS);
  EXPECT_EQ(c_.ServerType, SERVER_MVS);
  EXPECT_STREQ(c_.cRootDir, "");
  EXPECT_THAT(Paths(), Contains("USER1.CNTL(ALLOCJCL)"));
  EXPECT_THAT(host_->Commands(), Contains("CWD 'USER1.CNTL'"));
}

TEST_F(PersonalityTest, MvsRefusedNameKeepsTheDirectory) {
  ASSERT_TRUE(Connect(Personality::kMvs)) << Log();
  ListingRequest req;
  req.directory = "USER1.9BAD";
  req.kind = kKindDatasetLevel;
  EXPECT_EQ(RunListing(c_, &ctx_, req, Now()), 1);
  EXPECT_EQ(ctx_.path.currentDir, "USER1.");
  EXPECT_THAT(ui_.BoxCaptions(), ElementsAre("Error changing directory"));
}

// ---------------------------------------------------------------------------
// VM
// ---------------------------------------------------------------------------

TEST_F(PersonalityTest, VmLogOnListOpenADirectoryGetPutAndGoUp) {
  ASSERT_TRUE(Connect(Personality::kVm)) << Log();
  EXPECT_EQ(c_.HostFamily, HOST_VM);
  EXPECT_EQ(c_.ServerType, SERVER_VM);
  EXPECT_EQ(c_.SystemCode, 16);
  EXPECT_THAT(host_->Commands(), Not(Contains(::testing::StartsWith("SITE"))));
  const NodeId root = ctx_.selected;
  EXPECT_THAT(Paths(), ElementsAre("VMSYSU:USER1.PROJ.", "VMSYSU:USER1.(DATA.FILE)",
                                   "VMSYSU:USER1.(NOTES.TEXT)", "VMSYSU:USER1.(PROFILE.EXEC)"));
  EXPECT_EQ(Size("VMSYSU:USER1.(DATA.FILE)"), "1KB");
  EXPECT_EQ(Size("VMSYSU:USER1.(PROFILE.EXEC)"), "~4KB");
  const NodeId proj = Child(root, "VMSYSU:USER1.PROJ.");
  ASSERT_NE(proj, kNoNode);
  EXPECT_EQ(ctx_.tree.Record(proj).kind, kKindVmDirectory);

  ASSERT_EQ(Select(proj), 0) << Log();
  EXPECT_EQ(ctx_.path.currentDir, "VMSYSU:USER1.PROJ.");
  EXPECT_EQ(ctx_.path.parentDir, "");
  EXPECT_THAT(Paths(), ElementsAre("VMSYSU:USER1.PROJ.(PLAN.SCRIPT)"));
  const std::string got = LocalFile("PLAN.SCRIPT");
  ASSERT_EQ(FtpGetFile(c_, c_.sockControl, "RETR " + LastPathComponent(HOST_VM, Paths()[0]), got, 'I'),
            kReplyComplete);
  EXPECT_EQ(Slurp(got), host_->File("VMSYSU:USER1.PROJ.PLAN.SCRIPT"));
  ASSERT_EQ(FtpPutFile(c_, c_.sockControl, "STOR NEW.FILE", LocalFile("new.file", "NEW\n"), 'I'), kReplyComplete);
  EXPECT_EQ(host_->File("VMSYSU:USER1.PROJ.NEW.FILE"), "NEW\n");

  ASSERT_EQ(Up(), 0);
  EXPECT_EQ(ctx_.path.currentDir, "VMSYSU:USER1.");
  EXPECT_THAT(Paths(), Contains("VMSYSU:USER1.(PROFILE.EXEC)"));
}

// ---------------------------------------------------------------------------
// VSE
// ---------------------------------------------------------------------------

TEST_F(PersonalityTest, VseViewsFromTheTopDownToAMemberAndBack) {
  ASSERT_TRUE(Connect(Personality::kVse)) << Log();
  EXPECT_EQ(c_.HostFamily, HOST_VSE);
  EXPECT_EQ(c_.ServerType, SERVER_VSE);
  EXPECT_EQ(c_.SystemCode, 5);
  EXPECT_STREQ(c_.cRootDir, ".");
  EXPECT_THAT(host_->Commands(), Contains("SITE UNIX OFF"));

  const NodeId top = ctx_.selected;
  EXPECT_THAT(Paths(), ElementsAre("\\IJSYSCT", "\\POWER", "\\PRD1", "\\PRD2", "\\VTOC", "\\SYSRES"));
  const NodeId prd2 = Child(top, "\\PRD2");
  const NodeId power = Child(top, "\\POWER");
  const NodeId catalog = Child(top, "\\IJSYSCT");
  const NodeId vtoc = Child(top, "\\VTOC");
  ASSERT_NE(prd2, kNoNode);
  EXPECT_EQ(ctx_.tree.Record(prd2).vseKind, 12);
  EXPECT_EQ(ctx_.tree.Record(power).vseKind, 11);
  EXPECT_EQ(ctx_.tree.Record(catalog).vseKind, 15);
  EXPECT_EQ(ctx_.tree.Record(vtoc).vseKind, 16);

  ASSERT_EQ(Select(prd2), 0) << Log();
  EXPECT_EQ(ctx_.listing.viewCode, 12);
  EXPECT_THAT(Paths(), ElementsAre("\\PRD2.CONFIG", "\\PRD2.GEN"));
  const NodeId config = Child(prd2, "\\PRD2.CONFIG");
  ASSERT_NE(config, kNoNode);
  EXPECT_EQ(ctx_.tree.Record(config).vseKind, 13);

  ASSERT_EQ(Select(config), 0) << Log();
  EXPECT_THAT(Paths(), ElementsAre("\\PRD2.CONFIG.$$A$SUP1.PHASE", "\\PRD2.CONFIG.IPLPROC.PROC",
                                   "\\PRD2.CONFIG.STDLABEL.PROC"));
  const VseEntry& phase = ctx_.listing.vseRows()[0];
  EXPECT_EQ(ctx_.listing.Cell(phase, 4), "");  // never updated
  EXPECT_EQ(ctx_.listing.Cell(phase, 6), "S");
  EXPECT_EQ(ctx_.listing.Cell(ctx_.listing.vseRows()[1], 6), "F");

  const std::string got = LocalFile("IPLPROC.PROC");
  ASSERT_EQ(FtpGetFile(c_, c_.sockControl, "RETR IPLPROC.PROC", got, 'I'), kReplyComplete);
  EXPECT_EQ(Slurp(got), host_->File("\\PRD2.CONFIG.IPLPROC.PROC"));
  ASSERT_EQ(FtpPutFile(c_, c_.sockControl, "STOR NEWJOB.JCL", LocalFile("NEWJOB.JCL", "// JOB NEWJOB\n"), 'I'),
            kReplyComplete);
  EXPECT_EQ(host_->File("\\PRD2.CONFIG.NEWJOB.JCL"), "// JOB NEWJOB\n");

  ASSERT_EQ(Up(), 0);
  EXPECT_EQ(ctx_.path.currentDir, "\\PRD2");
  EXPECT_EQ(ctx_.listing.viewCode, 12);

  // POWER: the queues, a queue's classes, a class's jobs.
  ASSERT_EQ(Select(power), 0);
  const NodeId lst = Child(power, "\\POWER.LST");
  ASSERT_NE(lst, kNoNode);
  ASSERT_EQ(Select(lst), 0);
  const NodeId classA = Child(lst, "\\POWER.LST.A");
  ASSERT_NE(classA, kNoNode);
  EXPECT_EQ(ctx_.tree.Record(classA).vseKind, 14);
  ASSERT_EQ(Select(classA), 0);
  EXPECT_EQ(ctx_.listing.viewCode, 14);
  EXPECT_THAT(Paths(), ElementsAre("\\POWER.LST.A.NIGHTLY", "\\POWER.LST.A.PAYROLL1"));
  EXPECT_EQ(ctx_.listing.Cell(ctx_.listing.vseRows()[1], 5), "USER1");

  ASSERT_EQ(Select(catalog), 0);
  EXPECT_EQ(ctx_.listing.viewCode, 15);
  ASSERT_EQ(Select(vtoc), 0);
  EXPECT_EQ(ctx_.listing.viewCode, 16);
  EXPECT_EQ(ctx_.listing.Cell(ctx_.listing.vseRows()[0], 3), "BDAM");  // OLD.DIRECT, "DA"
  EXPECT_TRUE(ui_.Boxes().empty());
}

TEST_F(PersonalityTest, VseHostWithoutNativeListingsIsReadAsUnix) {
  PersonalityOptions o;
  o.personality = Personality::kVse;
  o.vseAcceptsUnixOff = false;
  ASSERT_TRUE(Connect(o)) << Log();
  EXPECT_EQ(c_.HostFamily, HOST_GENERIC);
  EXPECT_EQ(c_.ServerType, SERVER_UNIX);
  EXPECT_THAT(ui_.BoxCaptions(), ElementsAre("VSE type listings not supported"));
  EXPECT_THAT(Paths(), Contains("\\PRD2"));
  EXPECT_TRUE(ctx_.listing.vseRows().empty());
}

// ---------------------------------------------------------------------------
// NetWare and Windows
// ---------------------------------------------------------------------------

TEST_F(PersonalityTest, NetWareAsksForDosNames) {
  ASSERT_TRUE(Connect(Personality::kNetWare)) << Log();
  EXPECT_EQ(c_.ServerType, SERVER_NETWARE);
  EXPECT_EQ(c_.SystemCode, 17);
  EXPECT_THAT(host_->Commands(), Contains("SITE DOS"));
  EXPECT_THAT(Paths(), ElementsAre("/docs", "/login", "/Program Files", "/a b.txt", "/notes.txt"));
  EXPECT_EQ(Size("/notes.txt"), "2KB");
}

// SITE DIRSTYLE toggles: a server in MS-DOS style is toggled out of it and
// back, one in UNIX style into it once.
class WindowsPersonalityTest : public PersonalityTest, public ::testing::WithParamInterface<bool> {};

TEST_P(WindowsPersonalityTest, EndsInMsDosStyle) {
  PersonalityOptions o;
  o.personality = Personality::kWindows;
  o.windowsStartsInDosStyle = GetParam();
  ASSERT_TRUE(Connect(o)) << Log();
  EXPECT_EQ(c_.ServerType, SERVER_MICROSOFT);
  EXPECT_EQ(c_.SystemCode, 15);
  const auto commands = host_->Commands();
  EXPECT_EQ(std::count(commands.begin(), commands.end(), "SITE DIRSTYLE"), GetParam() ? 2 : 1);
  EXPECT_THAT(Paths(), ElementsAre("/docs", "/login", "/Program Files", "/a b.txt", "/notes.txt"));
  EXPECT_EQ(Size("/a b.txt"), "1KB");
}

INSTANTIATE_TEST_SUITE_P(StartingStyle, WindowsPersonalityTest, ::testing::Bool());

}  // namespace
}  // namespace tarn::listing
