// Folders and bundles (platform/macos/macos_bundles.mm): path extensions, the home folder, the
// scan's hidden entries and the bundle's information files, through the backend and through the
// shipped launcher. Those that need no Mac run on the stand-in too, against the same
// expectations; each prints what it saw, so that the log answers the question.
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#ifdef __APPLE__
#include <CoreFoundation/CoreFoundation.h>
#endif

#include "platform/launcher_services.h"
#include "tests/macos/macos_support.h"
#include "tests/support/bundle_builders.h"
#include "tests/support/requests.h"

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
using testing_support::xmlInfoPlist;

// Where a bundle keeps its Info.plist.
enum class Layout {
  contents,         // an application for the Mac: Contents/Info.plist
  wrapped,          // an iPhone or iPad application installed on a Mac with Apple silicon
  wrappedContents,  // the same, around a bundle with Contents
  flat,             // Info.plist at the top, as in an iPhone application itself
};

// Makes a bundle at `relative` in `home` with `info` as its Info.plist, in `layout`. A wrapped
// application is a folder that holds Wrapper/, with the application itself inside under the same
// name, and WrappedBundle, a relative link to it; it has no Contents of its own. Returns the path
// of the file that holds `info`.
std::string makeBundleIn(const TempFolder& home, const std::string& relative, Layout layout,
                         const std::string& info) {
  const std::string inner = "Wrapper/" + relative.substr(relative.rfind('/') + 1);
  switch (layout) {
    case Layout::contents: return home.write(relative + "/Contents/Info.plist", info);
    case Layout::flat: return home.write(relative + "/Info.plist", info);
    case Layout::wrapped:
    case Layout::wrappedContents: {
      const std::string file =
          home.write(relative + "/" + inner +
                         (layout == Layout::wrapped ? "/Info.plist" : "/Contents/Info.plist"),
                     info);
      std::filesystem::create_symlink(inner, home / (relative + "/WrappedBundle"));
      return file;
    }
  }
  return {};
}

#ifdef __APPLE__
std::string textOf(CFTypeRef ref) {
  char buffer[1024];
  if (ref == nullptr || CFGetTypeID(ref) != CFStringGetTypeID() ||
      !CFStringGetCString(static_cast<CFStringRef>(ref), buffer, sizeof buffer,
                          kCFStringEncodingUTF8)) {
    return "(none)";
  }
  return buffer;
}

// What the system's own bundle makes of the folder at `path`, without the backend's checks: the
// folder it takes its resources from (which tells the layout it chose), and the identifier and
// name it read.
std::string systemView(const std::string& path) {
  const CFURLRef url = CFURLCreateFromFileSystemRepresentation(
      kCFAllocatorDefault, reinterpret_cast<const UInt8*>(path.data()),
      static_cast<CFIndex>(path.size()), true);
  if (url == nullptr) return "no URL";
  const CFBundleRef bundle = CFBundleCreate(kCFAllocatorDefault, url);
  CFRelease(url);
  if (bundle == nullptr) return "no bundle";
  std::string text = "resources ";
  if (const CFURLRef resources = CFBundleCopyResourcesDirectoryURL(bundle)) {
    UInt8 buffer[4096];
    const bool got = CFURLGetFileSystemRepresentation(resources, true, buffer, sizeof buffer);
    text += got ? reinterpret_cast<const char*>(buffer) : "(no path)";
    CFRelease(resources);
  } else {
    text += "(none)";
  }
  text += ", identifier " + textOf(CFBundleGetIdentifier(bundle));
  const CFStringRef key =
      CFStringCreateWithCString(kCFAllocatorDefault, "CFBundleName", kCFStringEncodingUTF8);
  if (key != nullptr) {
    text += ", CFBundleName " + textOf(CFBundleGetValueForInfoDictionaryKey(bundle, key));
    CFRelease(key);
  }
  CFRelease(bundle);
  return text;
}
#endif

// The extension that decides which entries are candidates, from whichever backend this is.
TEST(MacPathExtension, IsTheSameOnEveryBackend) {
  const struct {
    const char* path;
    const char* extension;
  } cases[] = {
      {"/Applications/X.app", "app"},  {"/Applications/X.APP", "APP"},
      {"/Applications/X", ""},         {"/Applications/.app", ""},
      {"/Applications/X.app.", ""},    {"X.app", "app"},
      {"/Applications/X.app/", "app"}, {"/A.b/X", ""},
      {"/A/My.Tool.app", "app"},       {"/A/Caf\xC3\xA9.\xC3\xA0pp", "\xC3\xA0pp"},
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
    home.makeBundle(
        file, testing_support::xmlInfoPlist(
                  {{"CFBundleIdentifier", "org.example.home-check"}, {"CFBundleName", name}}));
  }
  const std::string request = nameRequest(name);
  const Outcome fixed =
      runBounded(kTovrin, {request, me()}, environmentWith("CFFIXED_USER_HOME", home.path()));
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
      const std::string folder =
          home.makeFolder(std::string(file) + "/Contents/Resources/" + language + ".lproj");
      ASSERT_EQ(mkfifo((folder + "/InfoPlist.strings").c_str(), 0644), 0);
    }
  }
  // The same in the other layouts: an Info.plist that is a FIFO in the application a wrapper
  // holds, and at the top of a flat bundle (every request below scans them all); localised texts
  // behind FIFOs in a wrapped application.
  for (const auto& [file, layout] : {std::pair{"Applications/Wrapped Fifo.app", Layout::wrapped},
                                     std::pair{"Applications/Flat Fifo.app", Layout::flat}}) {
    const std::string info = makeBundleIn(home, file, layout, "");
    ASSERT_EQ(unlink(info.c_str()), 0);
    ASSERT_EQ(mkfifo(info.c_str(), 0644), 0);
  }
  for (const char* file :
       {"Applications/Wrapped Strings One.app", "Applications/Wrapped Strings Two.app"}) {
    const std::string info = makeBundleIn(
        home, file, Layout::wrapped,
        xmlInfoPlist({{"CFBundleIdentifier", "org.example.ws"}, {"CFBundleName", "WS" + tag}}));
    const std::string application = info.substr(0, info.rfind('/'));
    for (const char* language : {"en", "Base"}) {
      const std::string folder = application + "/" + language + ".lproj";
      std::filesystem::create_directories(folder);
      ASSERT_EQ(mkfifo((folder + "/InfoPlist.strings").c_str(), 0644), 0);
    }
  }
  // A number where the identifier belongs: the bundle has no identifier.
  home.makeBundle("Applications/Numbered.app",
                  "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\"><dict>"
                  "<key>CFBundleIdentifier</key><integer>42</integer>"
                  "<key>CFBundleName</key><string>Numbered" +
                      tag + "</string></dict></plist>\n");

  const struct {
    std::string name;
    const char* reply;
  } cases[] = {
      {"Fifo" + tag, "{\"error\":\"APPLICATION_NOT_FOUND\"}\n"},
      {"Strings" + tag, "{\"error\":\"APPLICATION_NAME_AMBIGUOUS\"}\n"},
      {"Numbered" + tag, "{\"error\":\"APPLICATION_NOT_FOUND\"}\n"},
      {"WS" + tag, "{\"error\":\"APPLICATION_NAME_AMBIGUOUS\"}\n"},
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

// A bundle is read from the Info.plist its layout puts where the system reads it. An iPhone or
// iPad application that a Mac with Apple silicon installs has no Contents: its wrapper's
// WrappedBundle link leads to the application, whose Info.plist is at its top. Such a bundle has
// an identifier (what the lookup by identifier checks) and a name (what the scan by name
// matches): two of one name are both found, and the identifier is read. The stand-in reads the
// wrapper too, but no flat bundle. On a Mac, what the system's own bundle read is printed beside
// what the backend gives.
TEST(MacBundles, EveryLayoutIsReadFromTheFileTheSystemReads) {
#ifdef __APPLE__
  constexpr bool kMac = true;
#else
  constexpr bool kMac = false;
#endif
  TempFolder home;
  const std::string tag = " " + me();
  const auto services = platform::makeLauncherServices();
  const struct {
    const char* word;
    Layout layout;
    bool read;  // whether this backend reads the layout
  } cases[] = {
      {"Contents", Layout::contents, true},
      {"Wrapped", Layout::wrapped, true},
      {"WrappedContents", Layout::wrappedContents, true},
      {"Flat", Layout::flat, kMac},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.word);
    const std::string name = std::string(c.word) + " Layout" + tag;
    const std::string identifier = std::string("org.example.layout.") + c.word;
    std::string first;
    for (const char* which : {" One.app", " Two.app"}) {
      const std::string relative = "Applications/" + std::string(c.word) + which;
      makeBundleIn(home, relative, c.layout,
                   xmlInfoPlist({{"CFBundleIdentifier", identifier}, {"CFBundleName", name}}));
      if (first.empty()) first = home / relative;
    }
    const auto bundle = services->openBundle(first);
    ASSERT_NE(bundle, nullptr);
    const std::optional<std::string> read = bundle->identifier();
    const platform::InfoValue readName = bundle->infoValue("CFBundleName");
    seen(std::string(c.word) + ": the backend reads identifier " + read.value_or("(none)") +
         ", CFBundleName " + readName.text);
#ifdef __APPLE__
    seen(std::string(c.word) + ": the system's bundle: " + systemView(first));
#endif
    EXPECT_EQ(read, c.read ? std::optional(identifier) : std::nullopt);
    EXPECT_EQ(readName.text, c.read ? name : "");

    const std::string request = nameRequest(name);
    const Outcome outcome =
        runBounded(kTovrin, {request, me()}, environmentWith(kHomeVariable, home.path()));
    seen(request + " -> " + describe(outcome));
    EXPECT_EQ(outcome.out, c.read ? "{\"error\":\"APPLICATION_NAME_AMBIGUOUS\"}\n"
                                  : "{\"error\":\"APPLICATION_NOT_FOUND\"}\n");
    EXPECT_EQ(outcome.status, 1);
    EXPECT_EQ(outcome.err, "");

    // By identifier, in other letters: the lookup ignores letter case, the launcher does not, so
    // a bundle that is read answers APPLICATION_ID_MISMATCH and nothing is launched. The stand-in
    // looks in the application folders. On a Mac the system's database need not know a bundle in
    // a temporary folder yet, so there the answer is only printed.
    std::string upper = identifier;
    for (char& letter : upper) letter = static_cast<char>(std::toupper(letter));
    const std::string byIdentifier = testing_support::idRequest(upper);
    const Outcome found =
        runBounded(kTovrin, {byIdentifier, me()}, environmentWith(kHomeVariable, home.path()));
    seen(byIdentifier + " -> " + describe(found));
    if (!kMac) {
      EXPECT_EQ(found.out, c.read ? "{\"error\":\"APPLICATION_ID_MISMATCH\"}\n"
                                  : "{\"error\":\"APPLICATION_NOT_FOUND\"}\n");
    }
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
    home.makeBundle(
        file, testing_support::xmlInfoPlist(
                  {{"CFBundleIdentifier", "org.example.shown"}, {"CFBundleName", "Shown" + tag}}));
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
