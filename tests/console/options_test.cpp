// The command line: every option sets what it says, values that fail their test are
// ignored, help options print their texts, and the full command-line mode test.
#include "console/options.h"

#include <gtest/gtest.h>

#include <functional>
#include <vector>

#include "console/help_texts.h"
#include "tests/console/console_script.h"
#include "tests/support/run_binary.h"

namespace {
// Runs ProcessOptions on the arguments (after a program name) and returns what it printed.
std::string parse(std::vector<std::string> args, bool* twoSave = nullptr) {
  std::vector<char*> argv{const_cast<char*>("morvane")};
  for (auto& a : args) argv.push_back(a.data());
  std::string out;
  setPrintCapture(&out);
  bool two = ProcessOptions(static_cast<int>(argv.size()), argv.data());
  setPrintCapture(nullptr);
  if (twoSave) *twoSave = two;
  return out;
}

struct OptionCase {
  std::vector<std::string> args;
  std::function<bool()> holds;
  const char* what;
};
}  // namespace

TEST(Options, EachOptionSetsWhatItSays) {
  const std::vector<OptionCase> cases = {
      {{"-c"}, [] { return !ui.fGenerateFile && job.State == STATE_STOPPED; }, "-c continues"},
      {{"-ci=in.txt", "-cp=out.txt"}, [] { return job.inbuff == "in.txt" && job.outbuff == "out.txt"; }, "-ci -cp"},
      {{"-CO=Out.TXT"}, [] { return job.outbuff == "Out.TXT" && !ui.fGenerateFile; }, "-co, case kept"},
      {{"-cx=foo"}, [] { return job.inbuff.empty() && job.outbuff.empty() && !ui.fGenerateFile; }, "-cx ignored"},
      {{"-c", "-w"}, [] { return ui.fGenerateFile && job.State == STATE_STOPPED; }, "-w after -c"},
      {{"-wp=a.txt"}, [] { return job.outbuff == "a.txt"; }, "-wp"},
      {{"-wo=b.txt"}, [] { return job.outbuff == "b.txt"; }, "-wo"},
      {{"-wi=b.txt"}, [] { return job.outbuff.empty() && job.inbuff.empty(); }, "-wi ignored"},
      {{"-t"}, [] { return ui.tbuff == "0"; }, "-t alone is type 0"},
      {{"-t=12"}, [] { return ui.tbuff == "12"; }, "-t=12"},
      {{"-t=x"}, [] { return ui.tbuff.empty(); }, "-t=x refused: the dialogue asks for the type"},
      {{"-t=1e1"}, [] { return ui.tbuff == "10"; }, "-t=1e1 kept in plain decimal"},
      {{"-l=5"}, [] { return ui.lbuff == "5"; }, "-l=5"},
      {{"-l=x"}, [] { return ui.lbuff == "3"; }, "-l=x refused"},
      {{"-b"}, [] { return ui.bbuff == "2"; }, "-b alone is base 2"},
      {{"-base=10"}, [] { return ui.bbuff == "10"; }, "-base="},
      {{"-Base=10"}, [] { return ui.bbuff == "10"; }, "option letter in upper case"},
      {{"-BASE=10"}, [] { return ui.bbuff == "2"; }, "\"ase=\" must be lower case"},
      {{"-base=1x"}, [] { return ui.bbuff.empty(); }, "-base= non-digits refused"},
      {{"-base=-2"}, [] { return ui.bbuff.empty(); }, "-base= negative refused"},
      {{"-n=100"}, [] { return ui.nbuff == "100"; }, "-n="},
      {{"-n=1_000"}, [] { return ui.nbuff == "1000"; }, "-n= digit groups"},
      {{"-n=3*5"}, [] { return ui.nbuff.empty(); }, "-n= takes digits only"},
      {{"-k=3*5*11"}, [] { return ui.nbuff == "3*5*11"; }, "-k= product"},
      {{"-k=3*5*"}, [] { return ui.nbuff.empty(); }, "-k= trailing *"},
      {{"-k=3**5"}, [] { return ui.nbuff.empty(); }, "-k= double *"},
      {{"-kmin=5", "-kmax=9"}, [] { return ui.kminbuff == "5" && ui.kmaxbuff == "9"; }, "-kmin -kmax"},
      {{"-nmin=5", "-nmax=9"}, [] { return ui.kminbuff == "5" && ui.kmaxbuff == "9"; }, "-nmin -nmax"},
      {{"-kMIN=5"}, [] { return ui.kminbuff.empty(); }, "\"min=\" must be lower case"},
      {{"-kmin=5x"}, [] { return ui.kminbuff.empty(); }, "-kmin= non-digits"},
      {{"-kmin=0100", "-kmax=0999"}, [] { return ui.kminbuff == "100" && ui.kmaxbuff == "999"; }, "leading 0"},
      {{"-kmin=1e9", "-kmax=2^40"},
       [] { return ui.kminbuff == "1000000000" && ui.kmaxbuff == "1099511627776"; }, "1e9 and 2^40"},
      {{"-k=99999999999999999999*3"}, [] { return ui.nbuff.empty(); }, "-k= factor too large"},
      {{"-k=3*1e1"}, [] { return ui.nbuff == "3*10"; }, "-k= factors read as numbers"},
      {{"-e"}, [] { return job.IncludeEvenKs; }, "-e"},
      {{"-z"}, [] { return job.GeneralizedChains; }, "-z"},
      {{"-u"}, [] { return job.PrimorialMode && ui.primorialdefault == 'y'; }, "-u"},
      {{"-V"}, [] { return job.fVerify && ui.verifydefault == 'y'; }, "-v"},
      {{"-own"}, [] { return ui.WorkerThreadPriority == 0; }, "-own"},
      {{"-own", "-ow"}, [] { return ui.WorkerThreadPriority == 20; }, "-ow"},
      {{"-own", "-owx"}, [] { return ui.WorkerThreadPriority == 20; }, "-owx"},
      {{"-oa"}, [] { return ui.fAutoStartRequired; }, "-oa"},
      {{"-ob"}, [] { return job.BitMapThreshold == 400000000; }, "-ob"},
      {{"-ob=100"}, [] { return job.BitMapThreshold == 838860800; }, "-ob=100"},
      {{"-ob=485"}, [] { return job.BitMapThreshold == 4068474880LL; }, "-ob=485"},
      {{"-ob=100", "-ob=486"}, [] { return job.BitMapThreshold == 400000000; }, "-ob=486"},
      {{"-ob=100", "-ob=0"}, [] { return job.BitMapThreshold == 400000000; }, "-ob=0"},
      {{"-ob=100", "-ob=-1"}, [] { return job.BitMapThreshold == 400000000; }, "-ob=-1"},
      {{"-ob=100", "-ob=x"}, [] { return job.BitMapThreshold == 400000000; }, "-ob=x"},
      {{"-ob=100", "-ob=nan"}, [] { return job.BitMapThreshold == 400000000; }, "-ob=nan"},
      {{"-ob=0.0000001"}, [] { return job.BitMapThreshold == MIN_BITMAP_BITS; }, "-ob tiny is bounded"},
      {{"-om=45"}, [] { return job.WriteIterations == 45; }, "-om=45"},
      {{"-om=0"}, [] { return job.WriteIterations == 30; }, "-om=0"},
      {{"-om=45", "-om"}, [] { return job.WriteIterations == 45; }, "-om alone keeps the value"},
      {{"-ol"}, [] { return job.LogDeleted && ui.LogDefault == 'y'; }, "-ol"},
      {{"-ou"}, [] { return job.TwoSaveFiles; }, "-ou"},
      {{"-osp"}, [] { return job.StopCriterion == STOP_AT_P && job.StopValue == 1000; }, "-osp"},
      {{"-osp=500"}, [] { return job.StopValue == 1000; }, "-osp=500"},
      {{"-osp=123456789012"}, [] { return job.StopValue == 123456789012LL; }, "-osp 64-bit"},
      {{"-osp=02000"}, [] { return job.StopValue == 2000; }, "-osp leading 0 is decimal"},
      {{"-osp=1e9"}, [] { return job.StopValue == 1000000000; }, "-osp=1e9"},
      {{"-osp=2.5e12"}, [] { return job.StopValue == 2500000000000LL; }, "-osp=2.5e12"},
      {{"-osp=abc"}, [] { return job.StopCriterion == STOP_AT_P && job.StopValue == 1000; }, "-osp=abc"},
      {{"-osf=3000000000000000"}, [] { return job.StopValue == MAX_STOP_HOURS; }, "-osf bounded"},
      {{"-osr=inf"}, [] { return job.StopCriterion == STOP_AT_RATE && job.StopValue == 1; }, "-osr=inf"},
      {{"-osu"}, [] { return job.StopCriterion == STOP_AT_COUNT && job.StopValue == 1000; }, "-osu"},
      {{"-osu=0"}, [] { return job.StopValue == 1000; }, "-osu=0"},
      {{"-osu=5"}, [] { return job.StopValue == 5; }, "-osu=5"},
      {{"-osf"}, [] { return job.StopCriterion == STOP_AFTER_HOURS && job.StopValue == 24; }, "-osf"},
      {{"-osf=0"}, [] { return job.StopValue == 24; }, "-osf=0"},
      {{"-osf=2"}, [] { return job.StopValue == 2; }, "-osf=2"},
      {{"-osr"}, [] { return job.StopCriterion == STOP_AT_RATE && job.StopValue == 1; }, "-osr"},
      {{"-osr=0.25"}, [] { return job.StopValue == 2; }, "-osr=0.25"},
      {{"-osr=0"}, [] { return job.StopValue == 1; }, "-osr=0"},
      {{"-osr=-4"}, [] { return job.StopValue == 1; }, "-osr=-4"},
      {{"-osr=3"}, [] { return job.StopValue == 30; }, "-osr=3"},
      {{"-osr=-1e30"}, [] { return job.StopValue == 1; }, "-osr far below range"},
      {{"-osr=1e30"}, [] { return job.StopValue == 1000000000000000000LL; }, "-osr far above range"},
      {{"-osw"}, [] { return job.fAutoIncrement && job.AutoIncrementAmount == 1; }, "-osw"},
      {{"-osw=4"}, [] { return job.AutoIncrementAmount == 4; }, "-osw=4"},
      {{"-osw=0"}, [] { return job.AutoIncrementAmount == 1; }, "-osw=0"},
      {{"-osn"}, [] { return job.MaxN == 1; }, "-osn"},
      {{"-osk=50"}, [] { return job.MaxN == 50; }, "-osk=50"},
      {{"-osn=0"}, [] { return job.MaxN == 1; }, "-osn=0"},
      {{"-osg=-n -x"}, [] { return job.fOrdax && job.OrdaxParameters == "-n -x"; }, "-osg="},
      {{"-osg"}, [] { return job.fOrdax && job.OrdaxParameters.empty(); }, "-osg"},
      {{"-osw", "-osg=x"}, [] { return !job.fOrdax && job.fAutoIncrement; }, "-osg after -osw"},
      {{"-osg=x", "-osw"}, [] { return job.fOrdax && job.fAutoIncrement; }, "-osw after -osg"},
      {{"-osg=" + std::string(300, 'p')}, [] { return job.OrdaxParameters.size() == 127; }, "-osg cut"},
      {{"-osp", "-osw", "-osg", "-osn=9", "-os"},
       [] { return job.StopCriterion == STOP_NONE && !job.fAutoIncrement && !job.fOrdax && job.MaxN == 0; },
       "-os manual stop"},
      {{"-osx"}, [] { return job.StopCriterion == STOP_NONE; }, "-osx manual stop"},
      {{"-ox", "-o"}, [] { return job.StopCriterion == STOP_NONE && job.BitMapThreshold == 400000000; }, "-ox"},
      {{"-wp=" + std::string(2000, 'f')}, [] { return job.outbuff.size() == 1023; }, "long value cut"},
      {{"-t=3", "stop", "-t=5"}, [] { return ui.tbuff == "3"; }, "processing ends at a non-option"},
  };
  for (const auto& c : cases) {
    freshState();
    parse(c.args);
    EXPECT_TRUE(c.holds()) << c.what;
  }
  freshState();
}

TEST(Options, TwoSaveFilesOptionIsReported) {
  freshState();
  bool two = false;
  parse({"-t"}, &two);
  EXPECT_FALSE(two);
  parse({"-OU"}, &two);
  EXPECT_TRUE(two);
  freshState();
}

TEST(Options, InvalidOptionPrintsItsRestAndTheUsage) {
  freshState();
  EXPECT_EQ(parse({"-xyz"}), "yz : Invalid option (-xyz)\n" + std::string(UsageText) + "\n");
  EXPECT_EQ(parse({"-"}), " : Invalid option (-)\n" + std::string(UsageText) + "\n");
  EXPECT_EQ(parse({"--"}), " : Invalid option (--)\n" + std::string(UsageText) + "\n");
  EXPECT_EQ(parse({"-x"}), " : Invalid option (-x)\n" + std::string(UsageText) + "\n");
  freshState();
}

TEST(Options, HelpOptionsPrintTheirTexts) {
  freshState();
  EXPECT_EQ(parse({"-h"}), "\n" + std::string(UsageText) + "\n");
  EXPECT_EQ(parse({"-?"}), "\n" + std::string(UsageText) + "\n");
  EXPECT_EQ(parse({"-hz"}), "\n" + std::string(UsageText) + "\n");
  EXPECT_EQ(parse({"-ha"}), "\n" + std::string(AboutText) + "\n");
  EXPECT_EQ(parse({"-hc"}), "\n" + std::string(ContentsText) + "\n");
  EXPECT_EQ(parse({"-hw"}), "\n" + std::string(WhatsNewText) + "\n");
  EXPECT_EQ(parse({"-ho"}), "\n" + std::string(OptionsText));
  std::string types = parse({"-HT"});
  EXPECT_EQ(types.rfind("\nThe available types of sieve are :\n\n     - If not using primorial mode (no option -u) :\n0 : k.b^n+1\n", 0), 0u);
  // Help does not stop the processing of later options.
  parse({"-h", "-t=4"});
  EXPECT_EQ(ui.tbuff, "4");
  freshState();
}

TEST(Options, TypeListsReadAsSpecifiedRowByRow) {
  std::string out;
  setPrintCapture(&out);
  printTypes();
  setPrintCapture(nullptr);
  const std::string expected =
      "The available types of sieve are :\n\n"
      "     - If not using primorial mode (no option -u) :\n"
      "0 : k.b^n+1\n"
      "1 : k.b^n-1\n"
      "2 : Twin: k.b^n±1\n"
      "3 : SG: k.b^n-1 & k.b^(n+1)-1 if genzed chains, k.b^n-1 & 2k.b^n-1 if not.\n"
      "4 : CC: k.b^n+1 & k.b^(n+1)+1 if genzed chains, k.b^n+1 & 2k.b^n+1 if not.\n"
      "5 : BiTwin: k.b^n±1 & k.b^(n+1)±1 if genzed chains, k.b^n±1 & 2k.b^n±1 if not.\n"
      "6 : Twin/SG: k.b^n±1 & k.b^(n+1)-1 if genzed chains, k.b^n±1 & 2k.b^n-1 if not.\n"
      "7 : Twin/CC: k.b^n±1 & k.b^(n+1)+1 if genzed chains, k.b^n±1 & 2k.b^n+1 if not.\n"
      "8 : LP: k.b^n±1 & k.b^(n-1)+1 & k.b^(n+1)+1\n"
      "9 : LM: k.b^n±1 & k.b^(n-1)-1 & k.b^(n+1)-1\n"
      "10 : CC 1st kind\n"
      "11 : CC 2nd kind\n"
      "12 : BiTwin\n"
      "13 : AP: b^n+2k-1 (-2 if b is odd)\n"
      "14 : 3-tuple: k.b^n±1 & k.b^n+5\n"
      "15 : 4-tuple: k.b^n±1, +5, +7\n"
      "16 : k.b^n+1 with k fixed\n"
      "17 : k.b^n-1 with k fixed\n"
      "18 : SG: k.b^n+1 & 2k.b^n+3\n"
      "19 : b^n+k with k fixed\n"
      "20 : b^n-k with k fixed\n"
      "\n"
      "     - If using primorial mode (option -u) :\n"
      "0 : k.n#+1\n"
      "1 : k.n#-1\n"
      "2 : Twin: k.n#±1\n"
      "3 : SG: k.n#-1 & 2.k.n#-1\n"
      "4 : CC: k.n#+1 & 2.k.n#+1\n"
      "5 : BiTwin: k.n#±1 & 2.k.n#±1\n"
      "6 : Twin/SG: k.n#±1 & 2.k.n#-1\n"
      "7 : Twin/CC: k.n#±1 & 2.k.n#+1\n"
      "8 : LP: k.n#±1 & ½.k.n#+1 & 2.k.n#+1\n"
      "9 : LM: k.n#±1 & ½.k.n#-1 & 2.k.n#-1\n"
      "10 : CC 1st kind\n"
      "11 : CC 2nd kind\n"
      "12 : BiTwin\n"
      "13 : AP: n#+2k-1\n"
      "14 : 3-tuple: k.n#/5±1 & k.n#/5+5\n"
      "15 : 4-tuple: k.n#/35±1, +5, +7\n"
      "16 : PrimoProth: k#.2^n+1 with k fixed\n"
      "17 : PrimoProth: k#.2^n-1 with k fixed\n"
      "\n";
  EXPECT_EQ(out, expected);
}

TEST(Options, AboutTextNamesProgramVersionAndDevelopers) {
  std::string about = AboutText;
  EXPECT_NE(about.find("Morvane"), std::string::npos);
  EXPECT_NE(about.find("2.82"), std::string::npos);
  EXPECT_NE(about.find("the Morvane developers"), std::string::npos);
}

TEST(ReadyToStart, NeedsEveryAnswerOfTheJob) {
  freshState();
  job.outbuff = "o";
  ui.tbuff = "0";
  ui.bbuff = "2";
  ui.nbuff = "100";
  ui.kminbuff = "1";
  EXPECT_FALSE(isReadyToStart());
  ui.kmaxbuff = "1000";
  EXPECT_TRUE(isReadyToStart());
  ui.fGenerateFile = false;
  EXPECT_FALSE(isReadyToStart());
  job.inbuff = "i";
  EXPECT_TRUE(isReadyToStart());
  freshState();
}

TEST(ReadyToStart, SettingsFileContinuesAnExistingFileOnly) {
  ScratchDir dir;
  freshState();
  ui.fAutoStart = true;
  ui.AutoRunFile = dir.file("17_work.txt");
  std::string out;
  setPrintCapture(&out);
  EXPECT_FALSE(isReadyToStart());
  EXPECT_EQ(out, "The sieve could not continue sieving the previous file!\n");
  writeFile(ui.AutoRunFile, "1:P:1:2:1\n");
  out.clear();
  EXPECT_TRUE(isReadyToStart());
  setPrintCapture(nullptr);
  EXPECT_EQ(out, "");
  EXPECT_EQ(job.inbuff, ui.AutoRunFile);
  EXPECT_EQ(job.outbuff, ui.AutoRunFile);
  EXPECT_FALSE(ui.fGenerateFile);
  EXPECT_EQ(job.State, STATE_STOPPED);
  freshState();
}
