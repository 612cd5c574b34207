#include "platform/operator.h"

namespace actualiz::platform {

std::string_view LookName(MessageLook look) {
  switch (look) {
    case MessageLook::kPlain:
      return "plain";
    case MessageLook::kCritical:
      return "critical";
    case MessageLook::kInformation:
      return "information";
    case MessageLook::kWarning:
      return "warning";
  }
  return "plain";
}

}  // namespace actualiz::platform
