// Application resolution against fake services: every rule, with the services' calls on record.
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

#include <gtest/gtest.h>

#include "launch/resolution.h"
#include "tests/support/fake_launcher_services.h"

namespace launch {

// How a failed comparison shows an application.
void PrintTo(const ResolvedApplication& application, std::ostream* out) {
  *out << '"' << application.path << "\" \"" << application.bundleId << "\" \""
       << application.actualName << '"';
}

}  // namespace launch

namespace {

using common::ApplicationFolder;
using launch::Request;
using launch::Resolution;
using testing_support::FakeBundle;
using testing_support::FakeLauncherServices;
using testing_support::otherValue;
using testing_support::startingWith;
using testing_support::textValue;

// The fake's home folder is "/Users/me".
const std::string kHomeApps = "/Users/me/Apps";
const std::vector<ApplicationFolder> kFolders = {
    {ApplicationFolder::Base::fixed, "/A"},
    {ApplicationFolder::Base::fixed, "/B"},
    {ApplicationFolder::Base::home, "Apps"},
};

// "é" written precomposed, and as "e" followed by a combining acute accent.
const std::string kCafePrecomposed = "Caf\xC3\xA9";
const std::string kCafeDecomposed = "Cafe\xCC\x81";

Request byName(std::string name) { return Request{std::nullopt, std::move(name)}; }
Request byId(std::string id) { return Request{std::move(id), std::nullopt}; }

// A bundle whose only name is its CFBundleName.
FakeBundle named(std::string name, std::optional<std::string> id = "org.example.app") {
  return FakeBundle{std::move(id), {{"CFBundleName", textValue(std::move(name))}}};
}

Resolution resolved(const std::string& path, const std::string& id, const std::string& name) {
  return launch::ResolvedApplication{path, id, name};
}

Resolution failed(std::string_view code) { return code; }

Resolution resolve(const Request& request, FakeLauncherServices& services,
                   const std::vector<ApplicationFolder>& folders = kFolders) {
  return launch::resolveApplication(request, services, folders);
}

TEST(SameText, IsCanonicalEquivalenceWithNothingFolded) {
  const struct {
    std::string a, b;
    bool same;
  } cases[] = {
      {"Safari", "Safari", true},
      {"", "", true},
      {kCafePrecomposed, kCafeDecomposed, true},
      {"\xE2\x84\xAA"
       "elvin",
       "Kelvin", true},                    // U+212A KELVIN SIGN is canonically "K"
      {"\xE2\x84\xAB", "\xC3\x85", true},  // U+212B ANGSTROM SIGN and U+00C5
      // Two combining marks of different classes, in either order.
      {"a\xCC\xA3\xCC\x87", "a\xCC\x87\xCC\xA3", true},
      {"\xE1\x84\x80\xE1\x85\xA1", "\xEA\xB0\x80", true},  // Hangul jamo and the syllable
      {std::string("a\0b", 3), std::string("a\0b", 3), true},
      {"Safari", "safari", false},
      {kCafePrecomposed, "CAF\xC3\x89", false},
      {"Safari", "Safari ", false},
      {"Safari", " Safari", false},
      {"Safari", "Saf ari", false},
      {"", " ", false},
      {"a b",
       "a\xC2\xA0"
       "b",
       false},                                // no-break space is not a space
      {"finder", "\xEF\xAC\x81nder", false},  // the "fi" ligature is a compatibility form
      {"A", "\xEF\xBC\xA1", false},           // nor is a full-width letter
      {kCafePrecomposed, "Cafe", false},      // accents are not ignored
      {std::string("a\0b", 3), std::string("a\0c", 3), false},
      {std::string("a\0b", 3), "a", false},
      // Ill-formed text equals only the very same bytes.
      {"Caf\xE9", "Caf\xE9", true},
      {"Caf\xE9", kCafePrecomposed, false},
      {"Caf\xE9", "Caf\xEF\xBF\xBD", false},
      {"e\xCC\x81\xFF", "\xC3\xA9\xFF", false},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(launch::sameText(c.a, c.b), c.same) << '"' << c.a << "\" \"" << c.b << '"';
    EXPECT_EQ(launch::sameText(c.b, c.a), c.same) << '"' << c.b << "\" \"" << c.a << '"';
  }
}

TEST(DisplayName, PrefersATextDisplayNameThenATextName) {
  using Info = std::map<std::string, platform::InfoValue>;
  const struct {
    const char* what;
    Info info;
    std::optional<std::string> name;
    std::vector<std::string> keysRead;
  } cases[] = {
      {"display name text",
       {{"CFBundleDisplayName", textValue("Shown")}, {"CFBundleName", textValue("Plain")}},
       "Shown",
       {"CFBundleDisplayName"}},
      {"empty display name decides alone",
       {{"CFBundleDisplayName", textValue("")}, {"CFBundleName", textValue("Plain")}},
       "",
       {"CFBundleDisplayName"}},
      {"display name of another kind",
       {{"CFBundleDisplayName", otherValue()}, {"CFBundleName", textValue("Plain")}},
       "Plain",
       {"CFBundleDisplayName", "CFBundleName"}},
      {"name alone",
       {{"CFBundleName", textValue("Plain")}},
       "Plain",
       {"CFBundleDisplayName", "CFBundleName"}},
      {"name of another kind",
       {{"CFBundleName", otherValue()}},
       std::nullopt,
       {"CFBundleDisplayName", "CFBundleName"}},
      {"both of another kind",
       {{"CFBundleDisplayName", otherValue()}, {"CFBundleName", otherValue()}},
       std::nullopt,
       {"CFBundleDisplayName", "CFBundleName"}},
      {"neither",
       {{"CFBundleExecutable", textValue("Plain")}},
       std::nullopt,
       {"CFBundleDisplayName", "CFBundleName"}},
  };
  for (const auto& c : cases) {
    FakeLauncherServices services;
    services.bundles["/X.app"] = FakeBundle{"org.example.x", c.info};
    const auto bundle = services.openBundle("/X.app");
    EXPECT_EQ(launch::displayName(*bundle), c.name) << c.what;
    std::vector<std::string> expected;
    for (const std::string& key : c.keysRead) expected.push_back("info /X.app " + key);
    EXPECT_EQ(startingWith(services.calls, "info "), expected) << c.what;
  }
}

TEST(ResolutionByName, FindsExactlyOneBundleWhoseDisplayNameEqualsTheName) {
  struct Case {
    const char* what;
    std::function<void(FakeLauncherServices&)> install;
    std::string name;
    Resolution resolution;
    std::vector<ApplicationFolder> folders = kFolders;
  };
  const Resolution notFound = failed(launch::codes::kApplicationNotFound);
  const Resolution ambiguous = failed(launch::codes::kApplicationNameAmbiguous);
  const Case cases[] = {
      {"one match, in the home folder",
       [](auto& s) {
         s.addApplication("/A", "Other.app", named("Other"));
         s.addApplication(kHomeApps, "Mine.app", named("Mine", "org.mine"));
       },
       "Mine", resolved(kHomeApps + "/Mine.app", "org.mine", "Mine")},
      {"one match each in two folders",
       [](auto& s) {
         s.addApplication("/A", "Mine.app", named("Mine", "org.one"));
         s.addApplication(kHomeApps, "Mine.app", named("Mine", "org.two"));
       },
       "Mine", ambiguous},
      {"two file names in one folder, one identifier",
       [](auto& s) {
         s.addApplication("/B", "Mine.app", named("Mine"));
         s.addApplication("/B", "Mine copy.app", named("Mine"));
       },
       "Mine", ambiguous},
      {"two matches, one without an identifier",
       [](auto& s) {
         s.addApplication("/A", "Mine.app", named("Mine"));
         s.addApplication("/B", "Mine.app", named("Mine", std::nullopt));
       },
       "Mine", ambiguous},
      {"the same folder listed twice",
       [](auto& s) { s.addApplication("/A", "Mine.app", named("Mine")); },
       "Mine",
       ambiguous,
       {kFolders[0], kFolders[1], kFolders[0]}},
      {"only entries ending exactly in .app are candidates",
       [](auto& s) {
         for (const char* entry : {"Mine.APP", "Mine.App", "Mine", "Mine.app.bak", "Mine.ap",
                                   "Mine.app ", "Mine.appx", ".app"}) {
           s.addApplication("/A", entry, named("Mine", "org.wrong"));
         }
         s.addApplication("/B", "Real.app", named("Mine", "org.right"));
       },
       "Mine", resolved("/B/Real.app", "org.right", "Mine")},
      {"an .app entry that makes no bundle counts for nothing",
       [](auto& s) {
         s.listings["/A"].push_back("/A/Broken.app");
         s.addApplication("/B", "Mine.app", named("Mine"));
       },
       "Mine", resolved("/B/Mine.app", "org.example.app", "Mine")},
      {"an application in a sub-folder is no candidate",
       [](auto& s) {
         s.addApplication("/A", "Utilities", FakeBundle{});
         s.addApplication("/A/Utilities", "Mine.app", named("Mine"));
       },
       "Mine", notFound},
      {"no folder can be listed", [](auto&) {}, "Mine", notFound},
      {"a folder that cannot be listed is passed over",
       [](auto& s) { s.addApplication("/B", "Mine.app", named("Mine")); }, "Mine",
       resolved("/B/Mine.app", "org.example.app", "Mine")},
      {"no home folder: nothing in it",
       [](auto& s) {
         s.home = std::nullopt;
         s.addApplication(kHomeApps, "Mine.app", named("Mine"));
       },
       "Mine", notFound},
      {"no home folder: the other folders still count",
       [](auto& s) {
         s.home = std::nullopt;
         s.addApplication("/A", "Mine.app", named("Mine"));
       },
       "Mine", resolved("/A/Mine.app", "org.example.app", "Mine")},
      {"letter case counts", [](auto& s) { s.addApplication("/A", "Mine.app", named("Mine")); },
       "mine", notFound},
      {"trailing white space counts",
       [](auto& s) { s.addApplication("/A", "Mine.app", named("Mine")); }, "Mine ", notFound},
      {"leading white space counts",
       [](auto& s) { s.addApplication("/A", "Mine.app", named(" Mine")); }, "Mine", notFound},
      {"a precomposed name finds a decomposed one, and reports the bundle's own",
       [&](auto& s) { s.addApplication("/A", "Cafe.app", named(kCafeDecomposed)); },
       kCafePrecomposed, resolved("/A/Cafe.app", "org.example.app", kCafeDecomposed)},
      {"a decomposed name finds a precomposed one",
       [&](auto& s) { s.addApplication("/A", "Cafe.app", named(kCafePrecomposed)); },
       kCafeDecomposed, resolved("/A/Cafe.app", "org.example.app", kCafePrecomposed)},
      {"a compatibility form is another name",
       [](auto& s) { s.addApplication("/A", "Finder.app", named("\xEF\xAC\x81nder")); }, "finder",
       notFound},
      {"an empty display name hides the name",
       [](auto& s) {
         s.addApplication("/A", "Mine.app",
                          FakeBundle{"org.mine",
                                     {{"CFBundleDisplayName", textValue("")},
                                      {"CFBundleName", textValue("Mine")}}});
       },
       "Mine", notFound},
      {"an empty display name matches the empty name",
       [](auto& s) {
         s.addApplication("/A", "Mine.app",
                          FakeBundle{"org.mine",
                                     {{"CFBundleDisplayName", textValue("")},
                                      {"CFBundleName", textValue("Mine")}}});
       },
       "", resolved("/A/Mine.app", "org.mine", "")},
      {"a display name of another kind leaves the name to decide",
       [](auto& s) {
         s.addApplication("/A", "Mine.app",
                          FakeBundle{"org.mine",
                                     {{"CFBundleDisplayName", otherValue()},
                                      {"CFBundleName", textValue("Mine")}}});
       },
       "Mine", resolved("/A/Mine.app", "org.mine", "Mine")},
      {"a bundle without a display name matches not even the empty name",
       [](auto& s) {
         s.addApplication("/A", "Mine.app",
                          FakeBundle{"org.mine", {{"CFBundleName", otherValue()}}});
         s.addApplication("/B", "Bare.app", FakeBundle{"org.bare", {}});
       },
       "", notFound},
      {"the one match has no identifier",
       [](auto& s) { s.addApplication("/A", "Mine.app", named("Mine", std::nullopt)); }, "Mine",
       notFound},
  };
  for (const Case& c : cases) {
    FakeLauncherServices services;
    c.install(services);
    EXPECT_EQ(resolve(byName(c.name), services, c.folders), c.resolution) << c.what;
  }
}

TEST(ResolutionById, TakesWhatTheLookupGivesAndChecksItsIdentifier) {
  struct Case {
    const char* what;
    std::string id;
    std::optional<std::string> lookup;  // where the lookup points for `id`
    std::optional<FakeBundle> bundle;   // what opens there
    Resolution resolution;
  };
  const Resolution notFound = failed(launch::codes::kApplicationNotFound);
  const Resolution mismatch = failed(launch::codes::kApplicationIdMismatch);
  const FakeBundle shown{
      "org.example.app",
      {{"CFBundleDisplayName", textValue("Shown")}, {"CFBundleName", textValue("Plain")}}};
  const Case cases[] = {
      {"found", "org.example.app", "/A/X.app", shown,
       resolved("/A/X.app", "org.example.app", "Shown")},
      {"anywhere, also outside the folders", "org.example.app", "/opt/Elsewhere/X.app", shown,
       resolved("/opt/Elsewhere/X.app", "org.example.app", "Shown")},
      {"the name is the display name rule's", "org.example.app", "/A/X.app",
       FakeBundle{"org.example.app",
                  {{"CFBundleDisplayName", otherValue()}, {"CFBundleName", textValue("Plain")}}},
       resolved("/A/X.app", "org.example.app", "Plain")},
      {"without a display name", "org.example.app", "/A/X.app", FakeBundle{"org.example.app", {}},
       resolved("/A/X.app", "org.example.app", "")},
      {"canonically equivalent, reported in the bundle's own text", "org." + kCafePrecomposed,
       "/A/X.app", named("Cafe", "org." + kCafeDecomposed),
       resolved("/A/X.app", "org." + kCafeDecomposed, "Cafe")},
      {"the lookup gives nothing", "org.example.app", std::nullopt, std::nullopt, notFound},
      {"no bundle where the lookup points", "org.example.app", "/A/X.app", std::nullopt, notFound},
      {"the bundle has no identifier", "org.example.app", "/A/X.app", named("X", std::nullopt),
       notFound},
      {"the identifier differs in letter case", "ORG.Example.App", "/A/X.app", shown, mismatch},
      {"the identifier differs in white space", "org.example.app ", "/A/X.app", shown, mismatch},
      {"an identifier that differs altogether", "org.example.other", "/A/X.app", shown, mismatch},
  };
  for (const Case& c : cases) {
    FakeLauncherServices services;
    if (c.lookup) services.registry[c.id] = *c.lookup;
    if (c.bundle) {
      services.bundles["/A/X.app"] = *c.bundle;
      services.bundles["/opt/Elsewhere/X.app"] = *c.bundle;
    }
    // Something that a scan by name would find, to show that none is made.
    services.addApplication("/A", "Y.app", named(c.id, c.id));
    EXPECT_EQ(resolve(byId(c.id), services), c.resolution) << c.what;
    const std::vector<std::string>& calls = services.calls;
    ASSERT_FALSE(calls.empty()) << c.what;
    EXPECT_EQ(calls.front(), "lookup " + c.id) << c.what;
    EXPECT_TRUE(startingWith(calls, "list ").empty()) << c.what;
    EXPECT_TRUE(startingWith(calls, "home").empty()) << c.what;
  }
}

TEST(ResolutionByName, DecidesAmbiguityBeforeReadingAnyIdentifier) {
  FakeLauncherServices services;
  services.addApplication("/A", "Mine.app", named("Mine", std::nullopt));
  services.addApplication("/B", "Mine.app", named("Mine"));
  services.addApplication(kHomeApps, "Other.app", named("Other"));
  EXPECT_EQ(resolve(byName("Mine"), services), failed(launch::codes::kApplicationNameAmbiguous));
  const std::vector<std::string>& calls = services.calls;
  EXPECT_TRUE(startingWith(calls, "identifier ").empty()) << testing::PrintToString(calls);
  // The scan went on past both matches, and nothing was opened a second time.
  EXPECT_EQ(startingWith(calls, "open "),
            (std::vector<std::string>{"open /A/Mine.app", "open /B/Mine.app",
                                      "open /Users/me/Apps/Other.app"}));
}

TEST(ResolutionByName, ScansEveryCandidateOnceInFolderOrderAndReadsAtMostTwoValues) {
  FakeLauncherServices services;
  services.addApplication("/A", "Mine.app", named("Mine", "org.mine"));
  services.addApplication("/A", "Notes.txt", named("Mine"));
  services.addApplication("/A", "Shown.app",
                          FakeBundle{"org.shown",
                                     {{"CFBundleDisplayName", textValue("Shown")},
                                      {"CFBundleName", textValue("Mine")}}});
  services.listings["/A"].push_back("/A/Broken.app");
  services.addApplication(kHomeApps, "Last.app", named("Last"));
  EXPECT_EQ(resolve(byName("Mine"), services), resolved("/A/Mine.app", "org.mine", "Mine"));
  const std::vector<std::string>& calls = services.calls;

  EXPECT_EQ(startingWith(calls, "home"), std::vector<std::string>{"home"});
  EXPECT_EQ(startingWith(calls, "list "),
            (std::vector<std::string>{"list /A", "list /B", "list /Users/me/Apps"}));
  // No early stop after the match; the file without the extension is never opened; the chosen
  // bundle is opened afresh for the checks.
  EXPECT_EQ(startingWith(calls, "open "),
            (std::vector<std::string>{"open /A/Mine.app", "open /A/Shown.app", "open /A/Broken.app",
                                      "open /Users/me/Apps/Last.app", "open /A/Mine.app"}));
  // A display name that is a text leaves the name unread.
  EXPECT_EQ(startingWith(calls, "info /A/Shown.app"),
            std::vector<std::string>{"info /A/Shown.app CFBundleDisplayName"});
  // The identifier is read once, of the chosen bundle, after the scan.
  EXPECT_EQ(startingWith(calls, "identifier "), std::vector<std::string>{"identifier /A/Mine.app"});
}

// Services whose bundles change once the scan has read them: every opening after the first one of
// a path sees `later` there (no bundle when `later` is empty).
struct ChangingBundles : FakeLauncherServices {
  std::optional<FakeBundle> later;

  std::unique_ptr<platform::Bundle> openBundle(const std::string& path) override {
    std::unique_ptr<platform::Bundle> bundle = FakeLauncherServices::openBundle(path);
    if (later) {
      bundles[path] = *later;
    } else {
      bundles.erase(path);
    }
    return bundle;
  }
};

TEST(ResolutionByName, ChecksTheChosenBundleAgainWhenItIsOpenedForTheLaunch) {
  const struct {
    const char* what;
    std::optional<FakeBundle> later;
    Resolution resolution;
  } cases[] = {
      {"unchanged", named("Mine", "org.mine"), resolved("/A/Mine.app", "org.mine", "Mine")},
      {"renamed", named("Yours", "org.mine"), failed("APPLICATION_NAME_MISMATCH")},
      {"its names gone", FakeBundle{"org.mine", {}},
       failed(launch::codes::kApplicationNameMismatch)},
      {"its identifier gone", named("Mine", std::nullopt),
       failed(launch::codes::kApplicationNotFound)},
      {"the bundle gone", std::nullopt, failed(launch::codes::kApplicationNotFound)},
  };
  for (const auto& c : cases) {
    ChangingBundles services;
    services.later = c.later;
    services.addApplication("/A", "Mine.app", named("Mine", "org.mine"));
    EXPECT_EQ(resolve(byName("Mine"), services), c.resolution) << c.what;
  }
}

}  // namespace
