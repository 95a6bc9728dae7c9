// Folders and bundles (platform/macos/macos_bundles.mm): path extensions, the home folder, the
// scan's hidden entries and the bundle's information files, through the backend and through the
// shipped launcher. Those that need no Mac run on the stand-in too, against the same
// expectations; each prints what it saw, so that the log answers the question.
#include <sys/stat.h>

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "platform/launcher_services.h"
#include "tests/macos/macos_support.h"
#include "tests/support/requests.h"
#include "tests/support/temp_folder.h"

namespace {

using macos_testing::describe;
using macos_testing::environmentWith;
using macos_testing::kHomeVariable;
using macos_testing::kTovrin;
using macos_testing::Outcome;
using macos_testing::runBounded;
using macos_testing::seen;
using testing_support::me;
using testing_support::nameRequest;
using testing_support::TempFolder;

// The extension that decides which entries are candidates, from whichever backend this is.
TEST(MacPathExtension, IsTheSameOnEveryBackend) {
  const struct {
    const char* path;
    const char* extension;
  } cases[] = {
      {"/Applications/X.app", "app"}, {"/Applications/X.APP", "APP"}, {"/Applications/X", ""},
      {"/Applications/.app", ""},     {"/Applications/X.app.", ""},   {"X.app", "app"},
      {"/Applications/X.app/", "app"}, {"/A.b/X", ""},                {"/A/My.Tool.app", "app"},
      {"/A/Caf\xC3\xA9.\xC3\xA0pp", "\xC3\xA0pp"},
  };
  const auto services = platform::makeLauncherServices();
  for (const auto& c : cases) {
    const std::string extension = services->pathExtension(c.path);
    seen(std::string("pathExtension(\"") + c.path + "\") = \"" + extension + "\"");
    EXPECT_EQ(extension, c.extension) << '"' << c.path << '"';
  }
}

// Where the launcher looks for the home folder's Applications: Foundation's home folder follows
// CFFIXED_USER_HOME and ignores HOME, so a private home on a Mac is given through the former.
TEST(MacHomeFolder, FollowsCfFixedUserHomeAndNotHome) {
#ifndef __APPLE__
  GTEST_SKIP() << "needs macOS (the stand-in reads HOME)";
#endif
  TempFolder home;
  // Two bundles of one name: found, they answer without anything being launched.
  const std::string name = "Tovrin Home Check " + me();
  for (const char* file : {"Applications/One.app", "Applications/Two.app"}) {
    home.makeBundle(file, testing_support::xmlInfoPlist(
                              {{"CFBundleIdentifier", "org.example.home-check"},
                               {"CFBundleName", name}}));
  }
  const std::string request = nameRequest(name);
  const Outcome fixed = runBounded(
      kTovrin, {request, me()}, environmentWith("CFFIXED_USER_HOME", home.path()));
  seen("CFFIXED_USER_HOME=<private home> -> " + describe(fixed));
  EXPECT_EQ(fixed.out, "{\"error\":\"APPLICATION_NAME_AMBIGUOUS\"}\n");
  const Outcome plain = runBounded(kTovrin, {request, me()},
                                  environmentWith("HOME", home.path(), {"CFFIXED_USER_HOME"}));
  seen("HOME=<private home> -> " + describe(plain));
  EXPECT_EQ(plain.out, "{\"error\":\"APPLICATION_NOT_FOUND\"}\n");
}

// Information files that are not files, and an identifier that is not a string: the bundle is read
// without waiting on a FIFO and without taking a number for text. None of these launches anything.
TEST(MacBundles, HostileInformationFilesAnswerAtOnce) {
  TempFolder home;
  const std::string tag = " " + me();
  // An Info.plist that is a FIFO: no dictionary, so no name.
  home.makeFolder("Applications/Fifo.app/Contents");
  ASSERT_EQ(mkfifo((home / "Applications/Fifo.app/Contents/Info.plist").c_str(), 0644), 0);
  // Localised texts behind FIFOs: the Info.plist's own values count, so both bundles are found.
  for (const char* file : {"Applications/Strings One.app", "Applications/Strings Two.app"}) {
    home.makeBundle(file, testing_support::xmlInfoPlist({{"CFBundleIdentifier", "org.example.s"},
                                                         {"CFBundleName", "Strings" + tag}}));
    for (const char* language : {"en", "Base", "de"}) {
      const std::string folder = home.makeFolder(std::string(file) + "/Contents/Resources/" +
                                                 language + ".lproj");
      ASSERT_EQ(mkfifo((folder + "/InfoPlist.strings").c_str(), 0644), 0);
    }
  }
  // A number where the identifier belongs: the bundle has no identifier.
  home.makeBundle("Applications/Numbered.app",
                  "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\"><dict>"
                  "<key>CFBundleIdentifier</key><integer>42</integer>"
                  "<key>CFBundleName</key><string>Numbered" + tag + "</string></dict></plist>\n");

  const struct {
    std::string name;
    const char* reply;
  } cases[] = {
      {"Fifo" + tag, "{\"error\":\"APPLICATION_NOT_FOUND\"}\n"},
      {"Strings" + tag, "{\"error\":\"APPLICATION_NAME_AMBIGUOUS\"}\n"},
      {"Numbered" + tag, "{\"error\":\"APPLICATION_NOT_FOUND\"}\n"},
  };
  for (const auto& c : cases) {
    const std::string request = nameRequest(c.name);
    const Outcome outcome =
        runBounded(kTovrin, {request, me()}, environmentWith(kHomeVariable, home.path()));
    seen(request + " -> " + describe(outcome) + ", in " + std::to_string(outcome.seconds) + " s");
    EXPECT_EQ(outcome.out, c.reply) << request;
    EXPECT_EQ(outcome.status, 1) << request;
    EXPECT_EQ(outcome.err, "") << request;
    // Nothing waits on a FIFO. The launcher answers within a second, but the scan also reads every
    // bundle of the system's own folders (several copies of Xcode on a hosted image), on a runner
    // that may be cold: the bound only tells an answer from a launcher blocked until its kill
    // after 30 s (and sanitizers slow the build down).
    EXPECT_LT(outcome.seconds, 5.0 * macos_testing::kSlowdown) << request;
  }
}

// "Hidden" is the system's notion on a Mac: a name that begins with "." or the hidden flag
// (chflags hidden). The scan lists folders with NSDirectoryEnumerationSkipsHiddenFiles, which
// skips both. Two bundles of one name answer APPLICATION_NAME_AMBIGUOUS when the scan finds them,
// APPLICATION_NOT_FOUND when it does not: nothing is launched either way.
TEST(MacBundles, TheHiddenFlagKeepsABundleOutOfTheScan) {
#ifndef __APPLE__
  GTEST_SKIP() << "needs macOS (the stand-in knows only names that begin with \".\")";
#endif
  TempFolder home;
  const std::string tag = " " + me();
  for (const char* file : {"Applications/Shown One.app", "Applications/Shown Two.app"}) {
    home.makeBundle(file, testing_support::xmlInfoPlist(
                              {{"CFBundleIdentifier", "org.example.shown"},
                               {"CFBundleName", "Shown" + tag}}));
  }
  for (const char* file : {"Applications/Flagged One.app", "Applications/Flagged Two.app"}) {
    const std::string bundle = home.makeBundle(
        file, testing_support::xmlInfoPlist({{"CFBundleIdentifier", "org.example.flagged"},
                                             {"CFBundleName", "Flagged" + tag}}));
    const Outcome flagged = runBounded("/usr/bin/chflags", {"hidden", bundle});
    ASSERT_EQ(flagged.status, 0) << flagged.err;
    const Outcome listed = runBounded("/bin/ls", {"-ldO", bundle});
    seen("ls -ldO: " + listed.out.substr(0, listed.out.find('\n')));
  }
  const struct {
    std::string name;
    const char* reply;
  } cases[] = {
      {"Shown" + tag, "{\"error\":\"APPLICATION_NAME_AMBIGUOUS\"}\n"},  // the folder is scanned
      {"Flagged" + tag, "{\"error\":\"APPLICATION_NOT_FOUND\"}\n"},     // but not what is hidden
  };
  for (const auto& c : cases) {
    const std::string request = nameRequest(c.name);
    const Outcome outcome =
        runBounded(kTovrin, {request, me()}, environmentWith(kHomeVariable, home.path()));
    seen(request + " -> " + describe(outcome));
    EXPECT_EQ(outcome.out, c.reply) << request;
    EXPECT_EQ(outcome.err, "") << request;
  }
}

}  // namespace
