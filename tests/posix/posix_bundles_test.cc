// The stand-in's answers about applications, on real folders.
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <plist/plist.h>
#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "platform/posix/posix_bundles.h"
#include "platform/posix/posix_launcher_services.h"
#include "tests/support/bundle_builders.h"
#include "tests/support/child.h"

namespace {

using platform::InfoValue;
using platform::posix::PosixLauncherServices;
using testing_support::readFile;
using testing_support::TempFolder;
using testing_support::xmlInfoPlist;

const std::string kFixtures = INFO_PLISTS_DIR;

std::string fixture(const std::string& name) { return readFile(kFixtures + "/" + name); }

// The same property list in the binary format.
std::string toBinary(const std::string& xml) {
  plist_t root = nullptr;
  plist_from_xml(xml.data(), static_cast<std::uint32_t>(xml.size()), &root);
  if (root == nullptr) throw std::runtime_error("not a property list");
  char* bytes = nullptr;
  std::uint32_t length = 0;
  plist_to_bin(root, &bytes, &length);
  plist_free(root);
  std::string binary(bytes, length);
  plist_to_bin_free(bytes);
  return binary;
}

std::vector<std::string> sorted(std::vector<std::string> entries) {
  std::sort(entries.begin(), entries.end());
  return entries;
}

// An information value as one comparable word: "-" none, "?" another kind, otherwise "=text".
std::string describe(const InfoValue& value) {
  switch (value.kind) {
    case InfoValue::Kind::none: return "-";
    case InfoValue::Kind::other: return "?";
    case InfoValue::Kind::text: return "=" + value.text;
  }
  return "!";
}

TEST(PosixFolderEntries, ListsImmediateVisibleEntriesAsFullPaths) {
  const TempFolder root;
  root.makeBundle("Apps/Shown.app", xmlInfoPlist({}));
  root.makeFolder("Apps/Upper.APP");
  root.write("Apps/File.app", "not a folder");
  root.makeBundle("Apps/.Hidden.app", xmlInfoPlist({}));
  root.write("Apps/.DS_Store", "");
  root.makeBundle("Apps/Utilities/Deep.app", xmlInfoPlist({}));
  const std::vector<std::string> expected = {root / "Apps/File.app", root / "Apps/Shown.app",
                                             root / "Apps/Upper.APP", root / "Apps/Utilities"};
  EXPECT_EQ(sorted(PosixLauncherServices().folderEntries(root / "Apps")), expected);
  EXPECT_EQ(sorted(PosixLauncherServices().folderEntries(root / "Apps/")), expected);

  root.makeFolder("Empty");
  EXPECT_TRUE(PosixLauncherServices().folderEntries(root / "Empty").empty());
  EXPECT_TRUE(PosixLauncherServices().folderEntries(root / "Missing").empty());
  EXPECT_TRUE(PosixLauncherServices().folderEntries(root / "Apps/File.app").empty());
  EXPECT_TRUE(PosixLauncherServices().folderEntries("").empty());
}

TEST(PosixPathExtension, IsTheTextAfterTheLastDotOfTheLastComponent) {
  const struct {
    const char* path;
    const char* extension;
  } cases[] = {
      {"X.app", "app"},
      {"X.APP", "APP"},
      {"X", ""},
      {"/A/X.app", "app"},
      {"/A/X.app/", "app"},
      {"/A/My.Tool.app", "app"},
      {"/A/X.tar.gz", "gz"},
      {"/A.b/X", ""},
      {"/A/X.", ""},
      {"/A/X.app ", "app "},
      {"", ""},
      {"/", ""},
      {"/A/Caf\xC3\xA9.\xC3\xA0pp", "\xC3\xA0pp"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(PosixLauncherServices().pathExtension(c.path), c.extension) << '"' << c.path << '"';
  }
}

TEST(PosixOpenBundle, MakesABundleForAFolderAfterLinksAndForNothingElse) {
  const TempFolder root;
  root.makeBundle("Real.app", fixture("alacritty.plist"));
  root.makeFolder("Empty.app");
  root.write("File.app", fixture("alacritty.plist"));
  std::filesystem::create_directory_symlink(root / "Real.app", root / "Link.app");
  std::filesystem::create_symlink(root / "File.app", root / "FileLink.app");
  std::filesystem::create_directory_symlink(root / "Gone.app", root / "Dangling.app");
  const struct {
    const char* entry;
    bool bundle;
  } cases[] = {
      {"Real.app", true},      {"Empty.app", true},     {"Link.app", true},     {"File.app", false},
      {"FileLink.app", false}, {"Dangling.app", false}, {"Missing.app", false},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(PosixLauncherServices().openBundle(root / c.entry) != nullptr, c.bundle) << c.entry;
  }
  // Through the link, the folder's own Info.plist.
  const auto linked = PosixLauncherServices().openBundle(root / "Link.app");
  ASSERT_NE(linked, nullptr);
  EXPECT_EQ(linked->identifier(), "org.alacritty");
}

// An Info.plist in XML of exactly `size` bytes, padded with a comment: one byte more than the
// stand-in reads at a time leaves a last read of a single byte.
std::string paddedInfoPlist(const std::vector<std::pair<std::string, std::string>>& texts,
                            std::size_t size) {
  std::string xml = xmlInfoPlist(texts);
  const std::string open = "<!--", close = "-->\n";
  const std::size_t padding = size - xml.size() - open.size() - close.size();
  xml.insert(xml.rfind("</dict>"), open + std::string(padding, 'x') + close);
  return xml;
}

TEST(PosixBundle, ReadsRealInfoPlistsInBothFormats) {
  const struct {
    const char* file;
    std::string xml;
    std::optional<std::string> identifier;
    const char* displayName;
    const char* name;
  } cases[] = {
      {"alacritty.plist", fixture("alacritty.plist"), "org.alacritty", "=Alacritty", "=Alacritty"},
      {"wezterm.plist", fixture("wezterm.plist"), "com.github.wez.wezterm", "=WezTerm", "=WezTerm"},
      {"mpv.plist", fixture("mpv.plist"), "io.mpv", "-", "=mpv"},
      {"ministats.plist", fixture("ministats.plist"), "eu.exelban.Mini-Stats", "-", "=Mini Stats"},
      {"transmission.plist", fixture("transmission.plist"), "$(PRODUCT_BUNDLE_IDENTIFIER)", "-",
       "=Transmission"},
      {"macvim.plist", fixture("macvim.plist"), "$(PRODUCT_BUNDLE_IDENTIFIER)", "-",
       "=${PRODUCT_NAME}"},
      {"iina.plist", fixture("iina.plist"), std::nullopt, "-", "-"},
      {"16 385 bytes",
       paddedInfoPlist({{"CFBundleIdentifier", "org.example.long"}, {"CFBundleName", "Long"}},
                       16385),
       "org.example.long", "-", "=Long"},
  };
  const TempFolder root;
  for (const auto& c : cases) {
    const std::string forms[] = {c.xml, toBinary(c.xml)};
    for (const std::string& form : forms) {
      const bool binary = &form != &forms[0];
      const std::string path =
          root.makeBundle(std::string(c.file) + (binary ? ".bin" : ".xml") + ".app", form);
      const auto bundle = PosixLauncherServices().openBundle(path);
      ASSERT_NE(bundle, nullptr) << c.file;
      EXPECT_EQ(bundle->identifier(), c.identifier) << c.file << (binary ? " binary" : " xml");
      EXPECT_EQ(describe(bundle->infoValue("CFBundleDisplayName")), c.displayName) << c.file;
      EXPECT_EQ(describe(bundle->infoValue("CFBundleName")), c.name) << c.file;
    }
  }
}

TEST(PosixBundle, CountsOnlyTextsAndTakesABadDictionaryAsEmpty) {
  const TempFolder root;
  const std::string typed = root.makeBundle("Typed.app", R"(<?xml version="1.0" encoding="UTF-8"?>
<plist version="1.0"><dict>
  <key>CFBundleIdentifier</key><array><string>org.example.typed</string></array>
  <key>CFBundleDisplayName</key><integer>5</integer>
  <key>CFBundleName</key><true/>
  <key>CFBundleExecutable</key><dict><key>a</key><string>b</string></dict>
  <key>Empty</key><string></string>
  <key>Escaped</key><string>Tom &amp; Jerry &lt;3</string>
  <key>Decomposed</key><string>U&#x308;bersicht</string>
</dict></plist>
)");
  const auto bundle = PosixLauncherServices().openBundle(typed);
  ASSERT_NE(bundle, nullptr);
  EXPECT_EQ(bundle->identifier(), std::nullopt);
  EXPECT_EQ(describe(bundle->infoValue("CFBundleIdentifier")), "?");
  EXPECT_EQ(describe(bundle->infoValue("CFBundleDisplayName")), "?");
  EXPECT_EQ(describe(bundle->infoValue("CFBundleName")), "?");
  EXPECT_EQ(describe(bundle->infoValue("CFBundleExecutable")), "?");
  EXPECT_EQ(describe(bundle->infoValue("Empty")), "=");
  EXPECT_EQ(describe(bundle->infoValue("Escaped")), "=Tom & Jerry <3");
  EXPECT_EQ(describe(bundle->infoValue("Decomposed")),
            "=U\xCC\x88"
            "bersicht");
  EXPECT_EQ(describe(bundle->infoValue("Missing")), "-");

  // Texts outside ASCII come back as UTF-8 from the binary format too (stored there as UTF-16).
  const std::string name =
      "U\xCC\x88"
      "bersicht \xE9\xBC\xA0";
  const std::string binary =
      root.makeBundle("Binary.app", toBinary(xmlInfoPlist({{"CFBundleName", name}})));
  const auto fromBinary = PosixLauncherServices().openBundle(binary);
  ASSERT_NE(fromBinary, nullptr);
  EXPECT_EQ(describe(fromBinary->infoValue("CFBundleName")), "=" + name);

  root.makeBundle("Template.app", fixture("godot-template.plist"));  // does not parse
  root.makeBundle("Array.app", "<plist version=\"1.0\"><array><string>X</string></array></plist>");
  root.makeBundle("EmptyFile.app", "");
  root.makeBundle("Garbage.app", "bplist00 and then nothing that makes sense");
  root.makeFolder("NoContents.app");
  root.makeFolder("InfoIsAFolder.app/Contents/Info.plist");
  // Only Contents/Info.plist counts.
  root.write("Shallow.app/Info.plist",
             xmlInfoPlist({{"CFBundleIdentifier", "org.x"}, {"CFBundleName", "X"}}));
  for (const char* entry : {"Template.app", "Array.app", "EmptyFile.app", "Garbage.app",
                            "NoContents.app", "InfoIsAFolder.app", "Shallow.app"}) {
    const auto opened = PosixLauncherServices().openBundle(root / entry);
    ASSERT_NE(opened, nullptr) << entry;
    EXPECT_EQ(opened->identifier(), std::nullopt) << entry;
    EXPECT_EQ(describe(opened->infoValue("CFBundleName")), "-") << entry;
  }
}

// A string that holds U+0000 must not stop the program. The property-list library's copying
// accessor asserts that a string has no NUL, which aborted the launcher over one application's
// Info.plist. The library itself keeps nothing reliable past the NUL, so only the text up to it
// is checked.
TEST(PosixBundle, ReadsATextThatHoldsUPlus0000WithoutStopping) {
  const TempFolder root;
  const std::string xml = xmlInfoPlist(
      {{"CFBundleIdentifier", "org.example.nul"}, {"CFBundleName", std::string("Nul\0Name", 8)}});
  // The binary form by hand (the library's writer cuts a string at its NUL): a dictionary of one
  // entry, "CFBundleName" -> "Nul\0Name", then the offset table and the trailer.
  const std::string binary = std::string(
                                 "bplist00\xD1\x01\x02\x5C"
                                 "CFBundleName\x58"
                                 "Nul\0Name"
                                 "\x08\x0B\x18"
                                 "\0\0\0\0\0\0\x01\x01",
                                 44) +
                             std::string(
                                 "\0\0\0\0\0\0\0\x03"
                                 "\0\0\0\0\0\0\0\0"
                                 "\0\0\0\0\0\0\0\x21",
                                 24);
  for (const auto& [entry, form] : {std::pair{"Xml.app", xml}, std::pair{"Binary.app", binary}}) {
    const std::string path = root.makeBundle(entry, form);
    const auto outcome = testing_support::runInChild([&] {
      const auto bundle = PosixLauncherServices().openBundle(path);
      _exit(bundle && describe(bundle->infoValue("CFBundleName")).starts_with("=Nul") ? 0 : 1);
    });
    EXPECT_EQ(outcome.signal, std::nullopt) << entry;
    EXPECT_EQ(outcome.status, 0) << entry;
    EXPECT_EQ(outcome.err, "") << entry;
  }
}

// Anyone who can write to an application folder can put a FIFO or a link to a device where the
// Info.plist should be. Opening a FIFO for reading waits for a writer, and a device may never
// end; both must count as no Info.plist, at once.
TEST(PosixBundle, TakesAnInfoPlistThatIsNoRegularFileAsMissing) {
  const TempFolder root;
  root.makeFolder("Fifo.app/Contents");
  ASSERT_EQ(mkfifo((root / "Fifo.app/Contents/Info.plist").c_str(), 0600), 0);
  root.makeFolder("Device.app/Contents");
  std::filesystem::create_symlink("/dev/zero", root / "Device.app/Contents/Info.plist");
  for (const char* entry : {"Fifo.app", "Device.app"}) {
    const auto outcome = testing_support::runInChild([&] {
      alarm(5);  // a read that blocks ends the child by SIGALRM instead of hanging the test
      const auto bundle = PosixLauncherServices().openBundle(root / entry);
      _exit(bundle && !bundle->identifier() ? 0 : 1);
    });
    EXPECT_EQ(outcome.signal, std::nullopt) << entry;
    EXPECT_EQ(outcome.status, 0) << entry;
  }
}

// An iPhone or iPad application installed on a Mac: Wrapper/ holds the application, and
// WrappedBundle links to it. The link is followed only when it is relative, leads to a bundle of
// the same extension and stays inside the wrapper; otherwise the system takes the folder for a
// flat bundle, which the stand-in does not read. A WrappedBundle that is no link makes no wrapper.
TEST(PosixBundle, ReadsAWrapperThroughARelativeLinkInsideIt) {
  const TempFolder root;
  const std::string info = xmlInfoPlist({{"CFBundleIdentifier", "org.example.wrapped"}});
  const struct {
    const char* bundle;
    const char* application;  // written inside the bundle, holding the Info.plist
    const char* link;         // WrappedBundle's target
    bool read;
  } cases[] = {
      {"Flat.app", "Wrapper/Flat.app/Info.plist", "Wrapper/Flat.app", true},
      {"Deep.app", "Wrapper/Deep.app/Contents/Info.plist", "Wrapper/Deep.app", true},
      {"Dotted.app", "Wrapper/Dotted.app/Info.plist", "./Wrapper/Dotted.app", true},
      {"Absolute.app", "Wrapper/Absolute.app/Info.plist", "", false},  // link: its absolute path
      {"Outside.app", "Wrapper/Outside.app/Info.plist", "../Elsewhere.app", false},
      {"Other.app", "Wrapper/Other.bundle/Info.plist", "Wrapper/Other.bundle", false},
      {"Itself.app", "Wrapper/Itself.app/Info.plist", ".", false},
  };
  // Where "Outside.app" leads: a bundle beside it that would be read.
  root.write("Elsewhere.app/Info.plist", info);
  for (const auto& c : cases) {
    root.write(std::string(c.bundle) + "/" + c.application, info);
    const std::string application =
        std::string(c.application).substr(0, std::string(c.application).find(".app/") + 4);
    const std::string bundlePath = root / c.bundle;
    std::filesystem::create_symlink(*c.link != '\0' ? c.link : bundlePath + "/" + application,
                                    bundlePath + "/WrappedBundle");
    const auto bundle = PosixLauncherServices().openBundle(root / c.bundle);
    ASSERT_NE(bundle, nullptr) << c.bundle;
    EXPECT_EQ(bundle->identifier(),
              c.read ? std::optional<std::string>("org.example.wrapped") : std::nullopt)
        << c.bundle;
  }
  // A WrappedBundle folder beside Contents: an application of the usual layout.
  root.makeBundle("Plain.app", xmlInfoPlist({{"CFBundleIdentifier", "org.example.plain"}}));
  root.write("Plain.app/Wrapper/Plain.app/Info.plist", info);
  root.write("Plain.app/WrappedBundle/Info.plist", info);
  const auto plain = PosixLauncherServices().openBundle(root / "Plain.app");
  ASSERT_NE(plain, nullptr);
  EXPECT_EQ(plain->identifier(), "org.example.plain");
}

TEST(PosixHomeFolder, IsHomeWhenSetAndNotEmptyOtherwiseTheUserDatabase) {
  const passwd* user = getpwuid(getuid());
  ASSERT_NE(user, nullptr);
  const std::string fromDatabase = user->pw_dir;
  const struct {
    const char* home;  // nullptr: not set
    std::string expected;
    std::size_t bufferSize = 0;  // when not 0, the user database is read with a buffer this large
  } cases[] = {
      {"/some/where", "/some/where"},
      {"relative/home", "relative/home"},
      {"", fromDatabase},
      {nullptr, fromDatabase},
      // A buffer too small for the entry grows until it holds it.
      {nullptr, fromDatabase, 1},
  };
  for (const auto& c : cases) {
    const auto outcome = testing_support::runInChild([&] {
      alarm(5);  // a buffer that never grew enough would keep it asking for ever
      if (c.home != nullptr) {
        setenv("HOME", c.home, 1);
      } else {
        unsetenv("HOME");
      }
      const std::string home = (c.bufferSize == 0 ? PosixLauncherServices().homeFolder()
                                                  : platform::posix::userDatabaseHome(c.bufferSize))
                                   .value_or("(none)");
      if (write(STDOUT_FILENO, home.data(), home.size()) < 0) _exit(98);
      _exit(0);
    });
    EXPECT_EQ(outcome.out, c.expected)
        << (c.home != nullptr ? c.home : "(unset)") << ", buffer " << c.bufferSize;
  }
}

TEST(PosixFindApplication, TakesTheFirstBundleInFolderOrderIgnoringAsciiCase) {
  const TempFolder root;
  const auto bundle = [&](const std::string& relative, const std::string& id) {
    return root.makeBundle(relative, xmlInfoPlist({{"CFBundleIdentifier", id}}));
  };
  bundle("One/Other.app", "org.other");
  const std::string second = bundle("Two/Second.app", "org.Example.App");
  bundle("Three/Third.app", "org.example.app");
  const std::string cafe = bundle("Three/Cafe.app", "org.caf\xC3\xA9");
  bundle("One/.Hidden.app", "org.hidden");
  bundle("One/Utilities/Deep.app", "org.deep");
  const std::string shout = bundle("Three/Shout.APP", "org.shout");
  const std::string zebra = bundle("Three/Zebra.app", "org.Zebra.az");
  const std::string binary = root.makeBundle(
      "Two/Binary.app", toBinary(xmlInfoPlist({{"CFBundleIdentifier", "org.binary"}})));
  root.write("One/File.app", xmlInfoPlist({{"CFBundleIdentifier", "org.file"}}));

  const std::vector<std::string> folders = {root / "Missing", root / "One", root / "Two",
                                            root / "Three"};
  const struct {
    const char* id;
    std::optional<std::string> found;
  } cases[] = {
      {"ORG.EXAMPLE.APP", second},
      {"org.example.app", second},
      {"org.other", root / "One/Other.app"},
      {"org.binary", binary},
      {"ORG.SHOUT", shout},
      {"ORG.ZEBRA.AZ", zebra},  // the first and the last letter, on either side
      {"org.zebra.aZ", zebra},
      {"ORG.caf\xC3\xA9", cafe},
      {"org.CAF\xC3\x89", std::nullopt},  // letters outside ASCII keep their case
      {"org.example.app ", std::nullopt},
      {"org.hidden", std::nullopt},
      {"org.deep", std::nullopt},
      {"org.file", std::nullopt},
      {"org.missing", std::nullopt},
      {"", std::nullopt},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(PosixLauncherServices().findApplication(c.id, folders), c.found) << c.id;
  }
}

}  // namespace
