#include "probe/probe.h"

#include <cstdint>
#include <optional>
#include <string>

#include "common/parent_pid.h"
#include "common/process_end.h"
#include "probe/result.h"
#include "probe/selection.h"

namespace probe {

void runProbe(int argc, const char* const argv[], platform::ProbeServices& services) {
  if (argc != 2) common::endSilently(1);
  // The pid argument is read as it stands: bytes that are not UTF-8 would become U+FFFD, which is
  // no digit either, so replacing them first could not change the verdict.
  const std::optional<std::int32_t> parent = common::acceptParent(argv[1], services.parentPid());
  if (!parent) common::endSilently(1);
  common::reserveStandardDescriptors();

  const Snapshot snapshot = gather(services);
  // The answer is the first window whose result can be written, or null when there is none.
  std::optional<std::string> answer;
  walk(snapshot, *parent, [&answer](const Result& result) {
    answer = encodeResult(result);
    return answer.has_value();
  });
  common::endWithLine(answer.value_or("null"), 0);
}

}  // namespace probe
