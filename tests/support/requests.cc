#include "tests/support/requests.h"

#include <unistd.h>

#include <cctype>
#include <utility>

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
