#include "launch/fail.h"

#include <string>

#include "common/process_end.h"

namespace launch {

void fail(std::string_view code) {
  Reply reply;
  reply.error = std::string(code);
  common::endWithLine(encodeReply(reply), 1);
}

}  // namespace launch
