// What the tests hand the launcher and what it answers: requests written as a parent writes them,
// the failure line, and names that no installed application has.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "tests/support/child.h"

namespace testing_support {

/// A request by name, {"name":NAME}, with `name` written as a JSON string (escaped as needed).
/// `name` must be UTF-8.
std::string nameRequest(const std::string& name);

/// A request by identifier, {"bundleId":ID}, written as `nameRequest` writes a name.
std::string idRequest(const std::string& bundleId);

/// The launcher's answer line for a failure: {"error":"CODE"} and a line feed.
std::string failureLine(std::string_view code);

/// Checks that `outcome` is the launcher's success reply for `bundleId` and `name`: status 0,
/// nothing on standard error, and one line of a JSON object with exactly "bundleId", "name" and an
/// integer "pid"; `what` names the case in a failure. The reply's pid, or none (having failed the
/// test) when the line is no such reply.
std::optional<int> expectSuccessReply(const Outcome& outcome, const std::string& bundleId,
                                      const std::string& name, const std::string& what);

/// Names and identifiers that no installed application has, so that the system's own application
/// folders, present or not, never change an answer: each holds the owner's word and this
/// process's pid.
class UniqueNames {
 public:
  /// `owner`: one lower-case word, such as the suite's program.
  explicit UniqueNames(std::string owner);

  /// "<Owner> Fixture <pid> <word>".
  std::string name(const std::string& word) const;
  /// "org.example.<owner>-fixture-<pid>.<word>".
  std::string id(const std::string& word) const;

 private:
  std::string owner_;
};

}  // namespace testing_support
