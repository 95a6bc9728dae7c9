#include "tests/support/requests.h"

#include <unistd.h>

#include <cctype>
#include <utility>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

namespace testing_support {

std::string nameRequest(const std::string& name) {
  return R"({"name":)" + nlohmann::json(name).dump() + "}";
}

std::string idRequest(const std::string& bundleId) {
  return R"({"bundleId":)" + nlohmann::json(bundleId).dump() + "}";
}

std::string failureLine(std::string_view code) {
  return "{\"error\":\"" + std::string(code) + "\"}\n";
}

std::optional<int> expectSuccessReply(const Outcome& outcome, const std::string& bundleId,
                                      const std::string& name, const std::string& what) {
  EXPECT_EQ(outcome.status, 0) << what;
  EXPECT_EQ(outcome.err, "") << what;
  if (outcome.out.empty()) {
    ADD_FAILURE() << what << ": no reply";
    return std::nullopt;
  }
  EXPECT_EQ(outcome.out.find('\n'), outcome.out.size() - 1) << what;
  const auto reply = nlohmann::json::parse(outcome.out, nullptr, false);
  if (!reply.is_object() || reply.size() != 3 || !reply.contains("pid") ||
      !reply["pid"].is_number_integer()) {
    ADD_FAILURE() << what << ": " << outcome.out.substr(0, 200);
    return std::nullopt;
  }
  EXPECT_EQ(reply["bundleId"], bundleId) << what;
  // Compared whole, but not printed: a name may be a hundred thousand characters long.
  EXPECT_TRUE(reply["name"] == name) << what;
  return reply["pid"].get<int>();
}

UniqueNames::UniqueNames(std::string owner) : owner_(std::move(owner)) {}

std::string UniqueNames::name(const std::string& word) const {
  std::string capitalised = owner_;
  if (!capitalised.empty()) {
    capitalised[0] = static_cast<char>(std::toupper(static_cast<unsigned char>(capitalised[0])));
  }
  return capitalised + " Fixture " + std::to_string(getpid()) + " " + word;
}

std::string UniqueNames::id(const std::string& word) const {
  return "org.example." + owner_ + "-fixture-" + std::to_string(getpid()) + "." + word;
}

}  // namespace testing_support
