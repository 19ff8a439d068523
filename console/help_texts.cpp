// The help texts and their printers. The usage and options texts are fixed word for word;
// the about, contents and release-notes texts describe this program in its own words.
#include "console/help_texts.h"

#include "common/print.h"
#include "engine/sieve_job.h"

const char* const UsageText =
    "Usage :\n"
    "\n"
    "0) : morvane\n"
    "\n"
    "  No command line options ; the program is in full interactive mode.\n"
    "\n"
    "1) : morvane  -[c[i=Inputfilename]] [-c[p=Outputfilename]] [-v]\\\n"
    "     [-oOption1] [-oOption2] ...\n"
    "\n"
    "  Continue to sieve an old file.\n"
    "     -v : Set the Verify option.\n"
    "\n"
    "2) : morvane  -[w[p=Outputfilename]] [-v] [-z] [-u] [-t=number] [-l=number]\\\n"
    "     [-base=number] [-n=number] [-kmin=number] [-kmax=number] (n fixed types)\\\n"
    "     [-base=number] [-k=number] [-nmin=number] [-nmax=number] (k fixed types)\\\n"
    "     [-oOption1] [-oOption2] ...\n"
    "\n"
    "  Create a new file.\n"
    "     -v : Set the Verify option.\n"
    "     -z : Generalized chains (Normal mode only).\n"
    "     -u : Use Primorial mode.\n"
    "     -t=number : Type of sieving ; Use morvane -ht to see them.\n"
    "     -l=number : Chain length ; relevant only for general. CC and BiTwin types.\n"
    "\n"
    "3) : morvane -h\n"
    "  Display this.\n"
    "\n"
    "4) : morvane -ha\n"
    "  Display the Version number of the program.\n"
    "\n"
    "5) : morvane -hc\n"
    "  Display a detailed description of the program.\n"
    "\n"
    "6) : morvane -hw\n"
    "  Display What is new in this release.\n"
    "\n"
    "7) : morvane -ht\n"
    "  Display a list of the available types of sieving.\n"
    "\n"
    "8) : morvane -ho\n"
    "  Display a detailed description of the other command line options.";

const char* const OptionsText =
    "\n"
    "Here is the list of all additional command line options.\n"
    "(These options may also be changed using the interactive menu).\n"
    "\n"
    "-own :        Worker Thread Priority Normal.\n"
    "-ow[^n] :     Worker Thread Priority Lowest(default)\n"
    "\n"
    "-oa :         Automatically continue sieving of last file.\n"
    "-os :         Sieve until manually stopped(default).\n"
    "-osp[=nnnn] : Sieve up to p=nnnn(default=1000).\n"
    "-osu[=nnnn] : Sieve until there are nnnn k or n remaining(default=1000).\n"
    "-osf[=nn] :   Sieve for nn hours(default=24).\n"
    "-osr[=dd.d] : Sieve until the rate is dd.d seconds per k or n(default=0.1).\n"
    "              Note : The five previous options are mutually exclusive !\n"
    "-osw[=nn] :   Automatically increment n or k [by nn, default = 1] when complete.\n"
    "              Note : Only taken into account if there is a stop criterion.\n"
    "-osg[=\"string\"]:Pass the file to ORDAX (with <string> as parameters) when complete.\n"
    "              Note : Only taken into account if there is a stop criterion.\n"
    "-osn[=nnnn] : Stop when n gets to nnnn (default = 1)(autoincrement mode only).\n"
    "-osk[=nnnn] : Stop when k gets to nnnn (default = 1)(autoincrement mode only).\n"
    "\n"
    "-ob[=dd.d] :  Set max RAM to use for the bitmap(default=47.7Mb.).\n"
    "\n"
    "-om[=nn] :    Set Minutes between automatic saves(default=30).\n"
    "\n"
    "-ol :         Append the removed k's or n's in a file.\n"
    "\n"
    "-ot[=nn] :    Number of sieving threads (default or 0 = every processor; 1 = one thread).\n"
    "\n";

const char* const AboutText =
    "Morvane 2.82\n"
    "A console sieve that prepares candidate files for prime searches.\n"
    "Written and maintained by the Morvane developers.";

const char* const ContentsText =
    "What Morvane does\n"
    "\n"
    "Morvane takes a family of numbers of one shape, for instance k.2^n+1 for a fixed n and a\n"
    "range of k, and removes every member that has a small prime factor. It walks up through\n"
    "the primes p in order and, for each p, works out directly which candidates p divides, so\n"
    "no division of the candidates themselves is ever needed. What survives is written to a\n"
    "plain-text sieve file: a header line, then one line per remaining candidate. Primality\n"
    "testing programs read these files as they stand. Sieve until candidates disappear about\n"
    "as fast as a primality test could dispose of them, then test the survivors.\n"
    "\n"
    "Types of sieve\n"
    "\n"
    "  Single numbers: k.b^n+1 and k.b^n-1 over a range of k.\n"
    "  Twins: both k.b^n-1 and k.b^n+1 must be prime.\n"
    "  Sophie Germain and Cunningham pairs: k.b^n-1 with 2k.b^n-1, or k.b^n+1 with 2k.b^n+1.\n"
    "  With a base other than 2 the second member may instead be k.b^(n+1)+-1 (generalized\n"
    "  chains).\n"
    "  BiTwins and the mixed Twin/SG and Twin/CC sets combine the pairs above.\n"
    "  Lucky Plus and Lucky Minus sets add the members one exponent below and above.\n"
    "  Cunningham chains of the first and second kind and BiTwin chains of any length\n"
    "  (at least 3 links).\n"
    "  Arithmetic progressions b^n+2k-1, and the 3-tuples and 4-tuples k.b^n-1, +1, +5 (+7).\n"
    "  The pair k.b^n+1 with 2k.b^n+3.\n"
    "  Fixed-k forms, where k is fixed and a range of n is sieved: k.b^n+1, k.b^n-1,\n"
    "  b^n+k and b^n-k. For base 2, k may be given as a product such as 3*5*11.\n"
    "\n"
    "Primorial mode\n"
    "\n"
    "  In primorial mode the power b^n is replaced by the primorial n#, the product of all\n"
    "  primes up to n. The n entered is lowered to the largest prime not above it. The\n"
    "  fixed-k primorial forms are k#.2^n+1 and k#.2^n-1.\n"
    "\n"
    "Saving your work\n"
    "\n"
    "  The sieve file is saved at regular intervals (every 30 minutes unless you choose\n"
    "  otherwise) and when the sieve stops, so an interrupted sieve can be continued later\n"
    "  from where it was saved. With the 'two save files' option the previous contents are\n"
    "  first kept under the same name followed by a tilde, so a failure during a save can\n"
    "  never cost you the file.\n"
    "\n"
    "Verification\n"
    "\n"
    "  With the verify option every removal is checked by a direct computation before it is\n"
    "  accepted. This is slower and is meant for checking the program, not for daily use.\n"
    "\n"
    "Stopping\n"
    "\n"
    "  Sieve until you press Control-C, up to a chosen prime p, for a number of hours,\n"
    "  until only a given number of candidates remain, or until candidates are being\n"
    "  removed more slowly than a chosen number of seconds each. With a stop criterion the\n"
    "  program can go on with the next n or k by itself, or pass the finished file to the\n"
    "  ORDAX tester.\n"
    "\n"
    "Memory\n"
    "\n"
    "  A new range is held as a bitmap, one bit per value; its size limit is set in the\n"
    "  options (47.7 Mb by default). A range too large for it is cut into pieces that are\n"
    "  each sieved to one billion, then put together and sieved on as one file.";

const char* const WhatsNewText =
    "Morvane 2.82\n"
    "  - Settings are kept in Morvane.ini in the working directory.\n"
    "  - The end of the console input now ends the program cleanly instead of waiting.\n"
    "  - An existing output file is never truncated before the first save.\n"
    "  - Clear messages for a base below 2, a low limit below 1 and malformed products of k.\n"
    "\n"
    "Earlier releases\n"
    "  - Two save files, fixed-k sieves for other bases and b^n+-k forms.\n"
    "  - Primorial mode, generalized chains and the duplicate, merge and split services.";

namespace {
void printWithLineEnd(const char* text) {
  printRaw(text);
  printRaw("\n");
}
}  // namespace

void printUsage() { printWithLineEnd(UsageText); }
void printOptions() { printRaw(OptionsText); }
void printAbout() { printWithLineEnd(AboutText); }
void printContents() { printWithLineEnd(ContentsText); }
void printWhatsNew() { printWithLineEnd(WhatsNewText); }

void printNormalTypes() {
  for (int t = 0; t < NUM_TYPES; ++t) {
    if (t >= 3 && t <= 7) {
      // The normal list's text without its label ("SG: ", "BiTwin: ", "Twin/SG: ", ...).
      static const int labelLength[5] = {4, 4, 8, 9, 9};
      fprintRaw("%d : %s if genzed chains, %s if not.\n", t, Gtypes[t], NGtypes[t] + labelLength[t - 3]);
    } else {
      fprintRaw("%d : %s\n", t, Gtypes[t]);
    }
  }
  printRaw("\n");
}

void printPrimorialTypes() {
  for (int t = 0; t < NUM_PRIMORIAL_TYPES; ++t) fprintRaw("%d : %s\n", t, Ptypes[t]);
  printRaw("\n");
}

void printTypes() {
  printRaw("The available types of sieve are :\n\n");
  printRaw("     - If not using primorial mode (no option -u) :\n");
  printNormalTypes();
  printRaw("     - If using primorial mode (option -u) :\n");
  printPrimorialTypes();
}
