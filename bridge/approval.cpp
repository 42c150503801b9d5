#include "bridge/approval.h"

#include "platform/ui/origin_prompt.h"

namespace marqen::bridge {

Approval askApproval(const std::string& origin) {
  switch (ui::askAboutOrigin(origin, std::chrono::seconds(60))) {
    case ui::OriginAnswer::Always:
      return Approval::Always;
    case ui::OriginAnswer::Once:
      return Approval::Once;
    default:
      return Approval::Deny;
  }
}

}  // namespace marqen::bridge
